#pragma once
// zarkel-import: a spreadsheet export (CSV) of fault-slip measurements into a
// DATA file, with the conventions of the plane and the striation stated by
// the columns (and options), never guessed.
#include <ostream>
#include <string>
#include <vector>

#include "runtime/exit_status.hpp"

namespace zk::import {

// Exit statuses: the table of runtime/exit_status.hpp, shared by the three
// programs.
constexpr int kExitOk = rt::kExitDone;
constexpr int kExitRefused = rt::kExitFailed;  // bad table: nothing written
constexpr int kExitUsage = rt::kExitUsage;     // bad command line, a refused result path

// The whole program: `args` are the arguments after the program name; help
// and version go to `out`, the report, warnings and messages to `err`.
int import_main(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace zk::import
