#pragma once
// What the linear inversion and a focal-mechanism run add to the result
// document, the summary line and the warnings.
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "batch/result.hpp"

namespace zk::batch {

// "linear": axes, R, stress difference from the final tensor; null when the
// data cannot constrain it.
nlohmann::ordered_json linear_json(const BatchResult& r);
// "mechanisms": the choice and every event.
nlohmann::ordered_json mechanisms_json(const BatchResult& r);

// The summary line's clauses: "  linear sigma1 ..." and "  planes ...".
std::string linear_summary(const BatchResult& r);
std::string mechanisms_summary(const BatchResult& r);

// Thresholds of the warnings of a plane choice.
constexpr double kUndecidedShareWarning = 0.30;
constexpr double kRmsMisfitWarningDeg = 30.0;
constexpr int kFewEvents = 20;
constexpr double kLowR = 0.25, kHighR = 0.75;
constexpr int kMaxIdsListed = 20;  // event ids named in one warning

// --chosen-planes: a header row and one row per event of the choice: id,
// strike, dip, rake of the chosen plane (degrees, as given or as the
// auxiliary plane computes), chosen, basis, misfit_deg, instability,
// undecided, low_shear (0 or 1), P_trend, P_plunge, T_trend, T_plunge.
std::string chosen_planes_csv(const MechanismsReport& m);

// When the answer and the linear inversion beside it differ by more than
// kLinearApartDeg in stress difference, the warning that says so (naming
// POURC when it leaves data out of the fit); else "".
constexpr double kLinearApartDeg = 20.0;
std::string linear_apart_warning(const BatchResult& r, const RunParams& p);

// When the plane choice (up to mech::kMaxEngineRuns engine runs of `starts`
// starts, and again for each of `bootstrap` replicates) is predicted to take
// more than an hour on `jobs` threads, the warning that says how long, as
// the ensemble's; else "".
std::string choice_time_warning(const RunParams& p, int N, int starts, int bootstrap, int jobs);
// The same for a separation into phases (phases::inversion_count() inversions at most).
std::string separation_time_warning(const RunParams& p, int N, int jobs);

// The warnings of a plane choice, one line each (without "warning: ").
std::vector<std::string> mechanisms_warnings(const MechanismsReport& m);

}  // namespace zk::batch
