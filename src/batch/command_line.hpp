#pragma once
// The command line of zarkel-batch:
//   zarkel-batch PARAMETERS DATA OUTPUT [--svg FIGURE.svg] [--json RESULT.json]
//                [--no-planes] [--labels] [--quiet] [--strict]
// plus --help and --version.
#include <string>
#include <vector>

#include "batch/figure_svg.hpp"

namespace zk::batch {

struct Options {
  std::string parameters, data, output;
  std::string svg;   // empty: no figure
  std::string json;  // empty: no result document
  bool quiet = false;
  FigureOptions figure;  // --no-planes, --labels
  bool strict = false;   // a warning refuses the run
};

extern const char* const kUsageLine;

struct CommandLine {
  enum class Action { Run, Help, Version, Usage };
  Action action = Action::Usage;
  Options options;
  std::string error;  // Usage: what is wrong with the command line
};

// Parses the arguments after the program name. "--svg=F" and "--svg F" are
// both accepted; "--" ends the options; a lone "-" is an operand.
CommandLine parse_command_line(const std::vector<std::string>& args);

// A path of the command line that names the same file as another (an input
// overwritten by a result, two results on one file): the message, else "".
std::string conflicting_paths(const Options& o);

std::string usage_text();
std::string version_text();

}  // namespace zk::batch
