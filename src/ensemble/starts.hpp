#pragma once
// Independent starts of one inversion: start k runs stages 1 to 3 from its own
// stretch of the generator, the start with the lowest final misfit sum is
// kept, and the final tensors are grouped into distinct minima.
#include <string>
#include <vector>

#include "engine/engine.hpp"

namespace zk::ensemble {

// Generator values one stage-1 draw takes: 4 with INDX 1 (three angles and
// R), 2 with INDX 2 or 3 (one angle and R), 1 with INDX 4 (R); 0 when there
// is no random search (INDX 5, 6).
int values_per_draw(const RunParams& p);

// NSEED of start k: NSEED + k x values_per_draw x NTIR, so that the starts
// draw disjoint stretches of the generator. Computed wide.
long long start_seed(const RunParams& p, int k);

// Why K starts cannot run with `p` ("" when they can): K below 1, several
// starts without a random search, or an NSEED beyond what a PARAMETERS file
// can hold.
std::string starts_problem(const RunParams& p, int K);

// Starts a run makes when none are asked for: kDefaultStarts with a random
// search, 1 without (INDX 5, 6: the start is imposed). Fewer when NSEED and
// NTIR leave room for fewer below the largest NSEED (never below 1).
constexpr int kDefaultStarts = 10;
int default_starts(const RunParams& p);

// The parameters of start k (NSEED replaced by start_seed).
RunParams start_params(const RunParams& p, int k);

// The outcome of stages 1 to 3 of one start (or of one replicate).
struct Solution {
  int start = 0;
  int NSEED = 0;
  TensorSnapshot tensor;  // after stage 3
  bool fit_ok = true;     // false: a decomposition of the regression failed
};

// Stages 1 to 3 of start k on `faults`, listing discarded.
Solution solve_start(const FaultSet& faults, const RunParams& p, int k, Workspace& ws);

// The start with the lowest F; ties (and a run of non-numbers) go to the
// lowest start.
std::size_t choose_start(const std::vector<Solution>& runs);

// Axial angle in degrees (0 to 90, computed in double) between axis L of
// two tensors, from their unit axes ROT(L, .).
double axis_angle_deg(const TensorSnapshot& a, const TensorSnapshot& b, int L);

// Distinct minima: final tensors grouped with the lowest-F member first.
// Two tensors are the same minimum when their stress difference (the angle
// between the normalised deviators, zk::stress_difference_deg) is small: an
// exchange of sigma 2 and sigma 3 at R near 0, which leaves the stress state
// as it is, does not make a second minimum, while tensors whose axes look
// alike but whose stress states differ do.
struct Minimum {
  std::size_t best = 0;  // index in the runs of the group's best member
  int count = 0;         // starts that reached it
  double stress_difference_deg = 0.0;  // of its best member from the first group's (double; NaN: undefined)
};
constexpr double kSameStateDeg = 10.0;    // within this of a group's best member: the same minimum
constexpr double kAmbiguousShare = 0.05;  // another minimum's F within 5 % of the best

// The stress difference of two final tensors (from their axes and R), in
// degrees (double).
double stress_difference_deg(const TensorSnapshot& a, const TensorSnapshot& b);

// Groups `runs` in order of F (ties by start): a run joins the first group
// whose best member is within kSameStateDeg of stress difference, else it
// opens a new group. The groups come out sorted by F.
std::vector<Minimum> group_minima(const std::vector<Solution>& runs);

// The minima other than the first whose F is within kAmbiguousShare of the
// first's: the answer is ambiguous when there is one.
int close_minima(const std::vector<Solution>& runs, const std::vector<Minimum>& minima);

}  // namespace zk::ensemble
