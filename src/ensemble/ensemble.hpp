#pragma once
// Several independent starts and a bootstrap of one inversion, run in
// parallel: the best tensor the method finds, whether another minimum comes
// close to it, and confidence regions from resampling the data.
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <vector>

#include "ensemble/bootstrap.hpp"
#include "ensemble/parallel.hpp"
#include "ensemble/starts.hpp"

namespace zk::ensemble {

struct Options {
  int starts = 1;            // K
  int bootstrap = 0;         // B replicates (0: none)
  double confidence = 95.0;  // P, per cent, in (0, 100)
  std::uint64_t seed = 1;    // S, keys the resamples with the replicate index
  int jobs = 1;              // worker threads
  bool active() const { return starts > 1 || bootstrap > 0; }
};

// A combination of options the run's parameters cannot take (several starts
// without a random search, starts beyond the largest NSEED).
struct OptionError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// Why these options cannot run at all, whatever the parameters (a count
// below its least, a confidence outside 0 to 100); "" when they can. Every
// entry point of the layer checks its options so, and throws OptionError:
// a caller other than the command line cannot make it allocate a negative
// count.
std::string options_problem(const Options& o);
// The same for a bootstrap of B replicates at `confidence` per cent.
std::string bootstrap_problem(int B, double confidence);

struct StartsReport {
  std::vector<Solution> runs;  // start order
  std::size_t best = 0;        // the start kept (choose_start)
  std::vector<Minimum> minima;  // sorted by F
  int close_minima = 0;  // other minima within 5 % of the best F
  bool ambiguous() const { return close_minima > 0; }
};

struct BootstrapReport {
  int replicates = 0;
  double confidence = 95.0;
  std::uint64_t seed = 1;
  std::vector<Replicate> samples;  // replicate order, failed ones included (ok = false)
  BootstrapStats stats;
  int failed() const { return replicates - stats.used; }
};

struct Ensemble {
  RunParams best_params;            // the parameters of the kept start (its NSEED)
  TensorSnapshot best_tensor;       // its tensor after stage 3
  StartsReport starts;              // every start (one when K = 1)
  std::optional<BootstrapReport> bootstrap;
};

// Units of work solve() reports: one per start of the main run and of each
// replicate.
long long work_units(const Options& o);

// When the K x (1 + B) runs of stage 1 are predicted to take more than an
// hour on o.jobs threads, the warning that says how long (wall and
// processor time, in double); else "". Given whether or not a terminal shows
// the progress line, so a job script's log has it too.
std::string ensemble_time_warning(const RunParams& p, int N, const Options& o);

// Runs the K starts of the main run and the B replicates on o.jobs threads,
// listing discarded, and chooses the start to list. Throws rt::RunStop when
// the parameters cannot run on these data (as invert does) and OptionError
// when the options cannot run with them. `report` as for run_parallel.
Ensemble solve(const RunInput& input, const Options& o, const Report& report);

}  // namespace zk::ensemble
