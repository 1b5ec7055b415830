#pragma once
// What a focal-mechanism run adds to the result document, the summary line
// and the warnings.
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "results/run_report.hpp"

namespace zk::batch {

// "mechanisms": the choice and every event.
nlohmann::ordered_json mechanisms_json(const RunReport& r);

// --chosen-planes: a header row and one row per event of the choice: id,
// strike, dip, rake of the chosen plane (degrees, as given or as the
// auxiliary plane computes), chosen, basis, misfit_deg, instability,
// undecided, low_shear (0 or 1), P_trend, P_plunge, T_trend, T_plunge.
std::string chosen_planes_csv(const MechanismsReport& m);

// The summary line's clause "  planes ...".
std::string mechanisms_summary(const RunReport& r);


// The answer without the events of gross misfit: the choice iterated again
// on the others from the same start (T0 and friction).
MechanismsReport::WithoutGross without_gross(const std::vector<mech::Event>& kept, const RunInput& base,
                                             const mech::Options& mo, const mech::Outcome& with);

}  // namespace zk::batch
