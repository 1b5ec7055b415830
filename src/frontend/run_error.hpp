#pragma once
// How a run that ends on an error is reported, the same for both front ends.
#include <ostream>
#include <string>

namespace zk {

// Reports the run error being handled (call only from a catch block) on `out`
// and returns the exit status. `listing_started`: the OUTPUT unit was open, so
// the message says that no listing replaced the file. Exceptions that are not
// run errors are thrown on. With `program` (a front end of its own, not the
// console), the lines start with its name instead of " *** ZARKEL STOPPED".
int report_run_error(std::ostream& out, bool listing_started, const char* program = nullptr);

// The message (file and line included) and exit status of the run error
// being handled, as report_run_error shows them, for a caller that keeps
// them as values. Call only from a catch block; others are thrown on.
struct RunErrorText {
  std::string message;
  int status = 1;
};
RunErrorText run_error_text();

}  // namespace zk
