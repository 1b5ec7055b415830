#pragma once
// The error types of the record layer. The programs report them (the
// console run, a batch run or a campaign's station, the import); below
// those they are caught only to be thrown again with more context, to mark
// a bootstrap replicate failed, or to carry a worker thread's failure to the
// thread that waits for it.
#include <stdexcept>
#include <string>

#include "runtime/exit_status.hpp"

namespace zk::rt {

// The base of every error that ends a run for a reason of the user's (bad
// input, the end of the console, a deliberate stop): front ends catch this
// one type; anything else is a fault of the program (exit status 3).
struct RunError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// Bad or missing input in a file or on the console: names the file, the line
// (1-based, 0 when unknown) and what was wrong.
struct InputError : RunError {
  std::string file;
  int line = 0;
  InputError(std::string file_, int line_, const std::string& what_)
      : RunError(what_), file(std::move(file_)), line(line_) {}
};

// No record could be read at all from the console (end of standard input).
// Never retried: a retry loop on a closed input would spin for ever.
struct EndOfInput : RunError {
  using RunError::RunError;
};

// The run stops on purpose ("===> STOPPING EXECUTION", a refused input...).
// The message has already been shown when `shown` is true.
struct RunStop : RunError {
  int status;
  bool shown;
  RunStop(const std::string& what_, int status_ = 1, bool shown_ = false)
      : RunError(what_), status(status_), shown(shown_) {}
};

// A format string that does not parse: a programming error, not a user error.
struct FormatError : std::logic_error {
  using std::logic_error::logic_error;
};

}  // namespace zk::rt
