#pragma once
// The frame the three programs (zarkel, zarkel-batch, zarkel-import) run in:
// temporary result files removed when a signal ends the run, standard output
// and error as streams of their own, an exception that escapes the body
// reported as an internal error of `name` (exit status 3), and the streams
// flushed at the end (a stream that could not be written turns status 0
// into 1).
#include <functional>
#include <ostream>
#include <string>
#include <vector>

namespace zk {

// The work of a program: its arguments (the program name left out), its
// standard output and error; returns the exit status.
using ProgramBody =
    std::function<int(const std::vector<std::string>& args, std::ostream& out, std::ostream& err)>;

// Runs `body` on the command line of main(argc, argv) and returns the exit
// status for main to return.
int program_main(const char* name, int argc, char** argv, const ProgramBody& body);

}  // namespace zk
