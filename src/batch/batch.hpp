#pragma once
// zarkel-batch: the four stages on files named on the command line, with the
// same listing as the console program, and optionally a JSON document and an
// SVG figure of the results.
#include <ostream>
#include <string>
#include <vector>

#include "runtime/exit_status.hpp"

namespace zk::batch {

// Exit statuses: the table of runtime/exit_status.hpp, shared by the three
// programs.
constexpr int kExitOk = rt::kExitDone;
constexpr int kExitInput = rt::kExitFailed;  // bad input, failed work, a result that could not be written
constexpr int kExitUsage = rt::kExitUsage;   // bad command line, a refused result path

// The whole program: `args` are the arguments after the program name. The
// summary line goes to `out`, messages to `err`.
int batch_main(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace zk::batch
