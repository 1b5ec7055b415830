#pragma once
// The exit statuses of the three programs (zarkel, zarkel-batch and
// zarkel-import): one table, stated in docs/exit-statuses.md and checked by the
// command-line tests. No result file is replaced unless the status is 0.
namespace zk::rt {

constexpr int kExitDone = 0;      // the work is done (or help and version shown)
constexpr int kExitFailed = 1;    // refused input, failed work, or a result that could not be written
constexpr int kExitUsage = 2;     // bad command line, or a result path refused before any work
constexpr int kExitInternal = 3;  // a fault of the program itself
constexpr int kExitSignal = 128;  // plus the number of the signal that ended the run

}  // namespace zk::rt
