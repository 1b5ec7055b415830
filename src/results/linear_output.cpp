#include "results/linear_output.hpp"

#include <cstdio>

#include "results/grid_output.hpp"
#include "results/mechanisms_output.hpp"
#include "results/result_json.hpp"

namespace zk::batch {

using json = nlohmann::ordered_json;

json linear_json(const RunReport& r) {
  if (!r.linear) return nullptr;
  const mech::Principal& p = r.linear->fit.stress;
  json j = {{"method", "Michael (1984) least squares, equal shear stress magnitudes"},
            {"axes", principal_axes_json(p)},
            {"R", json_real(p.R)},
            {"stress_difference_deg", json_real(r.linear->stress_difference_deg)}};
  // A focal-mechanism run with a bootstrap: the cones of the linear answer,
  // the plane choice redone in every replicate (axes only).
  if (r.mechanisms && r.mechanisms->linear_bootstrap) {
    const MechanismsReport::LinearBootstrap& b = *r.mechanisms->linear_bootstrap;
    j["bootstrap"] = cones_json(b.replicates, b.cones.used, b.confidence, b.seed, b.cones.cone_deg);
  }
  return j;
}

std::string linear_summary(const RunReport& r) {
  if (!r.linear) return "  linear: none";
  const mech::Principal& p = r.linear->fit.stress;
  std::string s = "  linear";
  for (std::size_t L : {std::size_t{0}, std::size_t{2}}) {
    const Attitude a = attitude_of(p.axes[L]);
    char buf[48];
    std::snprintf(buf, sizeof buf, " sigma%zu %5.1f/%4.1f", L + 1, a.trend, a.plunge);
    s += buf;
  }
  return s + format_number(" R=%4.2f", p.R) + format_number(" (%.1f deg from the answer)", r.linear->stress_difference_deg);
}

}  // namespace zk::batch
