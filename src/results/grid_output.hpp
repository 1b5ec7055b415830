#pragma once
// The damped answers of a grid's cells and the choice of the damping, in the
// forms of the result document (axes as the linear answer writes them,
// bootstrap as the document's bootstrap), for grid.json.
#include <cstdint>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "engine/stress_state.hpp"
#include "ensemble/bootstrap.hpp"
#include "mechanisms/linear.hpp"

namespace zk::batch {

// [{"sigma", "value", "trend_deg", "plunge_deg"}] of a principal frame, the
// values those of its reduced tensor (sigma 1 = 1, sigma 3 = 0 shifted to
// trace 0 as the linear answer writes them).
nlohmann::ordered_json principal_axes_json(const mech::Principal& p);

struct DampedCellView {
  std::string status;         // "solved", "underdetermined", "isotropic"
  bool solved = false;        // axes, R and SHmax are numbers
  mech::Principal stress;
  StressState state;
  int planes = 0;
  double mean_misfit_deg = 0.0;
  bool rests_on_neighbours = false;  // fewer events than --min-events, or none (a gap cell)
  const ensemble::BootstrapStats* bootstrap = nullptr;  // null: no bootstrap
  int replicates = 0;
  double confidence = 95.0;
  std::uint64_t seed = 1;
};

// {"axes", "R", "SHmax_deg", "regime", "bootstrap", "status", "planes",
// "mean_misfit_deg", "rests_on_neighbours"}: nulls where not solved.
nlohmann::ordered_json damped_answer_json(const DampedCellView& v);

struct DampingPoint {
  double e = 0.0, misfit = 0.0, model_length = 0.0;
};
// {"chosen", "method", "curve": [{"e", "misfit", "model_length"}], "plane_choice"}
nlohmann::ordered_json damping_json(double chosen, const std::string& method, const std::vector<DampingPoint>& curve,
                                    const std::string& plane_choice);

}  // namespace zk::batch
