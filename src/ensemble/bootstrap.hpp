#pragma once
// Bootstrap of an inversion: replicate b inverts N data drawn with
// replacement from the kept data, and the spread of the replicate tensors
// around the main tensor gives confidence cones on the axes and an interval
// on R.
#include <cstdint>
#include <functional>
#include <optional>
#include <random>
#include <vector>

#include "engine/stress_state.hpp"
#include "ensemble/quality.hpp"
#include "ensemble/starts.hpp"

namespace zk::ensemble {

// The resample of replicate b: N data drawn with replacement from `faults`,
// in draw order. The generator is std::mt19937_64 seeded through
// std::seed_seq from the 32-bit halves of (seed, b), and an index is drawn
// by rejection from its 64-bit output, so a resample depends on (seed, b)
// and the data only, on every platform.
FaultSet resample(const FaultSet& faults, std::uint64_t seed, int b);

// The generator of stream `which` of replicate b: std::mt19937_64 seeded
// through std::seed_seq from the 32-bit halves of seed, b and `which`.
// Streams 0 (the resample) and 1 (the NSEED) are taken here; 2 (the
// catalogue simulated for replicate b) and 3 (the draws of the noise level,
// b = 0) by the plane choice's bootstrap (mechanisms/calibration.hpp).
std::mt19937_64 replicate_stream(std::uint64_t seed, int b, std::uint32_t which);

// The NSEED of replicate b's first start, drawn uniformly from 0 to the
// largest value that leaves room for K starts (start k adds k x v x NTIR),
// from a second stream keyed by (seed, b) only. Each replicate thus starts
// its random search from candidates of its own, as an independent run of
// the program would: the spread of the replicates includes how far from the
// exact minimum the optimisation ends, which the main run's answer carries
// too. p.NSEED when there is no random search.
int replicate_seed(const RunParams& p, int K, std::uint64_t seed, int b);

// One replicate solved like the main run (K starts from its own seed, the
// lowest F kept). `ok` is false when the run was refused or the kept start's
// regression failed a decomposition; such a replicate is left out of the
// statistics and counted.
struct Replicate {
  int index = 0;
  int NSEED = 0;  // of its first start
  bool ok = false;
  TensorSnapshot tensor;
};

// The resample of replicate b solved with K starts on `ws`; `run_done` (may
// be empty) is called after each start.
Replicate solve_replicate(const FaultSet& faults, const RunParams& p, int K, std::uint64_t seed, int b,
                          Workspace& ws, const std::function<void()>& run_done);

// Statistics of the replicates (double).
struct Interval {
  double low = 0.0, high = 0.0;
};
struct BootstrapStats {
  int used = 0;                             // replicates that did not fail
  std::optional<double> cone_deg[3];        // per axis: half-angle holding P % of the replicate axes
  std::optional<Interval> R;                // P % percentile interval of R
  // SHmax (Lund & Townend, degrees): the main value plus the P % percentile
  // interval of the replicates' deviations from it, folded into (-90, 90]
  // (an axial angle), so low <= SHmax <= high and the bounds may leave
  // [0, 180) when the interval crosses north. None when the main tensor has
  // no SHmax or no replicate has one.
  std::optional<Interval> SHmax;
  int shmax_undefined = 0;  // replicates without an SHmax (radial stress), left out of it
  int regimes[6] = {};      // replicates per World Stress Map regime, in WsmRegime order
  std::optional<double> shmax_sd_deg;  // axial standard deviation of the replicates' SHmax (axial_sd_deg)
  Quality quality;                     // World Stress Map rank of the final SHmax from them
};

// Nearest-rank percentile: the smallest value of `values` with at least
// `percent` % of the values at or below it (values sorted in place).
double nearest_rank(std::vector<double>& values, double percent);

// Cones around the axes of `main` and the percentile interval of R over the
// replicates that did not fail; empty when none did.
BootstrapStats bootstrap_stats(const TensorSnapshot& main, const std::vector<Replicate>& reps, double percent);

}  // namespace zk::ensemble
