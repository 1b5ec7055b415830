#pragma once
// The command line of zarkel-import (CLI11):
//   zarkel-import FIELD.csv DATA [--delimiter D] [--column ROLE=HEADER]...
//       [--plane FORM] [--striation FORM] [--sense-map WORD=LETTER]... [--title TEXT]
//       [--warn-off-plane DEG] [--max-off-plane DEG] [--report FILE]
//   zarkel-import --mechanisms MECHANISMS.csv DATA [--delimiter D] [--title TEXT]
#include <ostream>
#include <string>
#include <vector>

#include "import/import.hpp"

namespace zk::import {

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
