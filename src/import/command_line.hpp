#pragma once
// The command line of zarkel-import (CLI11):
//   zarkel-import FIELD.csv DATA [--delimiter D] [--column ROLE=HEADER]...
//       [--plane FORM] [--striation FORM] [--sense-map WORD=LETTER]... [--title TEXT]
//       [--warn-off-plane DEG] [--max-off-plane DEG] [--report FILE]
#include <map>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace zk::import {

struct Options {
  std::string csv, data, report;
  char delimiter = 0;                         // 0: detected from the header row
  std::map<std::string, std::string> column;  // role -> header name (--column)
  std::string plane;                          // "" or dip-direction, strike-rhr, strike-quadrant
  std::string striation;                      // "" or rake, unsigned-rake, trend-plunge, pitch
  std::map<std::string, char> sense_map;      // column_key(word) -> N, I, D or S (--sense-map)
  std::optional<std::string> title;
  double warn_off_plane = 10.0;
  double max_off_plane = 20.0;
};

// The column roles, in the order the help lists them.
const std::vector<std::string>& column_roles();

struct CommandLine {
  enum class Action { Run, Done, Usage };  // Done: help or version shown
  Action action = Action::Usage;
  Options options;
};

// Parses the arguments; help, version and errors are written to out / err.
CommandLine parse_command_line(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace zk::import
