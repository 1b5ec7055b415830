#pragma once
// How a run that ends on an error is reported, the same for both front ends.
#include <ostream>

namespace zk {

// Reports the run error being handled (call only from a catch block) on `out`
// and returns the exit status. `listing_started`: the OUTPUT unit was open, so
// the message says that no listing replaced the file. Exceptions that are not
// run errors are thrown on. With `program` (a front end of its own, not the
// console), the lines start with its name instead of " *** ZARKEL STOPPED".
int report_run_error(std::ostream& out, bool listing_started, const char* program = nullptr);

}  // namespace zk
