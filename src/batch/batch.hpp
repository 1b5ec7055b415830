#pragma once
// zarkel-batch: the four stages on files named on the command line, with the
// same listing as the console program, and optionally a JSON document and an
// SVG figure of the results.
#include <ostream>
#include <string>
#include <vector>

namespace zk::batch {

// Exit status of a batch run.
constexpr int kExitOk = 0;
constexpr int kExitInput = 1;  // bad input, a file that cannot be read or written
constexpr int kExitUsage = 2;  // bad command line

// The whole program: `args` are the arguments after the program name. The
// summary line goes to `out`, messages to `err`.
int batch_main(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace zk::batch
