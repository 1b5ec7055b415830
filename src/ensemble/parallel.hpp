#pragma once
// The parallel runner: independent tasks on worker threads, each worker with
// its own Workspace, results written by task index so that they never depend
// on the number of threads or on the order in which tasks finish.
#include <cstddef>
#include <functional>

#include "areas/workspace.hpp"

namespace zk::ensemble {

// Called by a task after each unit of work (from any worker thread).
using Tick = std::function<void()>;
// A task: its index, the worker's own workspace, the tick to call.
using Task = std::function<void(std::size_t index, Workspace& ws, const Tick& tick)>;
// Called on the calling thread about four times a second and once at the
// end, with the units of work done so far. It is also the run's cancellation
// hook: when it throws, no further task starts, the running ones finish, and
// run_parallel rethrows that exception (a front end's interrupt, a binding's
// KeyboardInterrupt).
using Report = std::function<void(long long done)>;

// Runs tasks 0 .. count-1 on min(jobs, count) worker threads (jobs >= 1) and
// returns when all have ended. A task that throws stops the others from
// starting new tasks; the exception of the lowest such task index is then
// rethrown here.
void run_parallel(std::size_t count, int jobs, const Task& task, const Report& report);

// The number of hardware threads (at least 1).
int hardware_jobs();

}  // namespace zk::ensemble
