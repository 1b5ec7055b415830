#pragma once
// What a focal-mechanism run adds to the result document, the summary line
// and the warnings.
#include <functional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "results/run_report.hpp"

namespace zk::batch {

// "mechanisms": the choice and every event; with `events_in_place` the
// string `events_in_place` stands for the array of events, which
// mechanism_event_json gives one by one.
nlohmann::ordered_json mechanisms_json(const RunReport& r, const char* events_in_place = nullptr);
nlohmann::ordered_json mechanism_event_json(const MechanismsReport& m, std::size_t k);

// Cones of a bootstrap: replicates, failed, confidence (a fraction), seed
// and axes (sigma, cone_deg).
nlohmann::ordered_json cones_json(int replicates, int used, double confidence, std::uint64_t seed,
                                  const std::optional<double> (&cones)[3]);

// --chosen-planes: a header row and one row per event of the choice: id,
// strike, dip, rake of the chosen plane (degrees, as given or as the
// auxiliary plane computes), chosen, basis, misfit_deg, instability,
// undecided, low_shear (0 or 1), P_trend, P_plunge, T_trend, T_plunge.
std::string chosen_planes_csv(const MechanismsReport& m);

// The summary line's clause "  planes ...".
std::string mechanisms_summary(const RunReport& r);


// What follows the choice of m.events (m.outcome, m.options set): with
// events of gross misfit, the answer without them becomes the answer
// (m.outcome; mech::without_gross_misfits) and the one with every event goes
// to m.with_gross (when the rest cannot be inverted, the answer keeps them
// and m.without_gross says why); with `replicates` > 0 the bootstrap of the
// choice on the answer's events (m.bootstrap, with the linear cones). `progress` gives the report of each bootstrap, told
// what it resamples.
struct BootstrapAsk {
  int replicates = 0;
  double confidence = 95.0;
  std::uint64_t seed = 1;
};
using BootstrapProgress = std::function<ensemble::Report(const std::string& what)>;
void complete_choice(MechanismsReport& m, const RunInput& base, const BootstrapAsk& b, const BootstrapProgress& progress);

}  // namespace zk::batch
