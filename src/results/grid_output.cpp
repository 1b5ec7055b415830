#include "results/grid_output.hpp"

#include "results/ensemble_output.hpp"
#include "results/result_json.hpp"

namespace zk::batch {

using json = nlohmann::ordered_json;

json principal_axes_json(const mech::Principal& p) {
  const Matrix3 T = mech::tensor_of(p);
  json axes = json::array();
  for (std::size_t L = 0; L < 3; ++L) {
    const PlaneStress on = plane_stress(T, p.axes[L]);
    json a = {{"sigma", L + 1}, {"value", json_real(on.normal)}};
    a.update(attitude_json(p.axes[L]));
    axes.push_back(a);
  }
  return axes;
}

json damped_answer_json(const DampedCellView& v) {
  json bootstrap = nullptr;
  if (v.bootstrap != nullptr) {
    ensemble::BootstrapReport b;
    b.replicates = v.replicates;
    b.confidence = v.confidence;
    b.seed = v.seed;
    b.stats = *v.bootstrap;
    bootstrap = bootstrap_json(b);  // its samples empty: the replicates stay out of grid.json
  }
  const bool shmax = v.solved && v.state.shmax.has_value();
  return {{"axes", v.solved ? principal_axes_json(v.stress) : json(nullptr)},
          {"R", v.solved ? json_real(v.stress.R) : json(nullptr)},
          {"SHmax_deg", shmax ? json_real(*v.state.shmax < 180.0 ? *v.state.shmax : 0.0) : json(nullptr)},
          {"regime", v.solved ? json(wsm_regime_code(v.state.wsm.regime)) : json(nullptr)},
          {"bootstrap", bootstrap},
          {"status", v.status},
          {"planes", v.planes},
          {"mean_misfit_deg", v.solved ? json_real(v.mean_misfit_deg) : json(nullptr)},
          {"rests_on_neighbours", v.rests_on_neighbours}};
}

json damping_json(double chosen, const std::string& method, const std::vector<DampingPoint>& curve,
                  const std::string& plane_choice) {
  json points = json::array();
  for (const DampingPoint& p : curve) {
    points.push_back({{"e", p.e}, {"misfit", p.misfit}, {"model_length", p.model_length}});
  }
  return {{"chosen", chosen}, {"method", method}, {"curve", points}, {"plane_choice", plane_choice}};
}

}  // namespace zk::batch
