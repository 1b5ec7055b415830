#pragma once
// The warnings a run's answer gives (not those of its input files): an
// ambiguous answer, a bootstrap too small for its intervals, a number of
// stress phases the searches or the BIC do not settle, and those of a plane
// choice.
#include <string>
#include <vector>

#include "results/run_report.hpp"

namespace zk::batch {

// The ambiguity warning ("warning: ..."), or "" when the answer is not
// ambiguous.
std::string ambiguity_warning(const RunReport& r);

// Below this many replicates a bootstrap's intervals are rough: a warning.
constexpr int kFewReplicates = 100;
// That warning ("warning: ...", no newline), or "".
std::string rough_bootstrap_warning(const ensemble::Options& o);

// Difference of BIC below which the evidence for the better of two models
// is not strong (the usual reading: 2 to 6 positive, 6 to 10 strong, above
// 10 very strong).
constexpr double kStrongBic = 6.0;
// The warnings on the number of phases, without "warning: ": the search
// streams chose different k on their own (the votes named), and the two
// admissible models of lowest BIC are within kStrongBic.
std::vector<std::string> phase_warnings(const RunReport& r);

// Thresholds of the warnings of a plane choice.
constexpr double kUndecidedShareWarning = 0.30;
constexpr double kRmsMisfitWarningDeg = 30.0;
constexpr int kFewEvents = 20;
constexpr double kLowR = 0.25, kHighR = 0.75;
constexpr int kMaxIdsListed = 20;  // event ids named in one warning

// When the answer and the linear inversion beside it differ by more than
// kLinearApartDeg in stress difference, the warning that says so (naming
// POURC when it leaves data out of the fit); else "".
constexpr double kLinearApartDeg = 20.0;
std::string linear_apart_warning(const RunReport& r, const RunParams& p);

// When the plane choice (up to mech::kMaxEngineRuns engine runs of `starts`
// starts, and again for each of `bootstrap` replicates) is predicted to take
// more than an hour on `jobs` threads, the warning that says how long, as
// the ensemble's; else "".
std::string choice_time_warning(const RunParams& p, int N, int starts, int bootstrap, int jobs);
// The same for a separation into phases (phases::inversion_count(starts) inversions at most, for `starts` search streams).
std::string separation_time_warning(const RunParams& p, int N, int jobs, int starts);

// The warnings of a plane choice, one line each (without "warning: ").
std::vector<std::string> mechanisms_warnings(const MechanismsReport& m);

}  // namespace zk::batch
