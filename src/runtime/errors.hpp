#pragma once
// The error types of the record layer. Only main (and the retry loops of the
// console frame) catch them.
#include <stdexcept>
#include <string>

namespace zk::rt {

// Bad or missing input in a file or on the console: names the file, the line
// (1-based, 0 when unknown) and what was wrong.
struct InputError : std::runtime_error {
  std::string file;
  int line = 0;
  InputError(std::string file_, int line_, const std::string& what_)
      : std::runtime_error(what_), file(std::move(file_)), line(line_) {}
};

// No record could be read at all from the console (end of standard input).
// Never retried: a retry loop on a closed input would spin for ever.
struct EndOfInput : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// The run stops on purpose ("===> STOPPING EXECUTION", a refused input...).
// The message has already been shown when `shown` is true.
struct RunStop : std::runtime_error {
  int status;
  bool shown;
  RunStop(const std::string& what_, int status_ = 1, bool shown_ = false)
      : std::runtime_error(what_), status(status_), shown(shown_) {}
};

// A format string that does not parse: a programming error, not a user error.
struct FormatError : std::logic_error {
  using std::logic_error::logic_error;
};

}  // namespace zk::rt
