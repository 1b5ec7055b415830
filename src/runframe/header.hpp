#pragma once
// The run header (shown at start, waits for RETURN) and the run trailer
// (dates, elapsed and processor time, a closing picture), both on iostdout
// from the run information recorded by smaininfo2.
#include <cstdint>

#include "areas/workspace.hpp"

namespace zk {

void zarkelhead2(Workspace& ws);
void progtail2(Workspace& ws);

// The elapsed-time lines of the trailer for a clock read at `count` with its
// `rate` and `max`, started at runinfo3com.riclock0.
void write_elapsed_time(Workspace& ws, int32_t count, int32_t rate, int32_t max);

}  // namespace zk
