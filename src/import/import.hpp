#pragma once
// zarkel-import: a spreadsheet export (CSV) of fault-slip measurements into a
// DATA file, with the conventions of the plane and the striation stated by
// the columns (and options), never guessed.
#include <ostream>
#include <string>
#include <vector>

namespace zk::import {

constexpr int kExitOk = 0;
constexpr int kExitRefused = 1;  // bad table: nothing written
constexpr int kExitUsage = 2;    // bad command line

// The whole program: `args` are the arguments after the program name; help
// and version go to `out`, the report, warnings and messages to `err`.
int import_main(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace zk::import
