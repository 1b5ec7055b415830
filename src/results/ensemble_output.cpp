#include "results/ensemble_output.hpp"

#include <cmath>
#include <cstdio>

#include "results/result_json.hpp"
#include "results/warnings.hpp"

namespace zk::batch {

using json = nlohmann::ordered_json;

void add_ensemble_json(json& doc, const RunReport& r) {
  if (!r.ensemble) return;
  const ensemble::Ensemble& e = *r.ensemble;
  if (r.ensemble_options.starts > 1) {
    const ensemble::StartsReport& s = e.starts;
    json runs = json::array();
    for (const ensemble::Solution& run : s.runs) {
      runs.push_back({{"start", run.start},
                      {"NSEED", run.NSEED},
                      {"F", json_float(run.tensor.F)},
                      {"axes", axes_json(run.tensor)},
                      {"R", json_float(run.tensor.P(4))}});
    }
    json minima = json::array();
    for (const ensemble::Minimum& m : s.minima) {
      const TensorSnapshot& t = s.runs[m.best].tensor;
      minima.push_back({{"F", json_float(t.F)},
                        {"axes", axes_json(t)},
                        {"R", json_float(t.P(4))},
                        {"starts", m.count},
                        {"stress_difference_deg", json_real(m.stress_difference_deg)}});
    }
    doc["starts"] = {{"count", static_cast<int>(s.runs.size())},
                     {"chosen", static_cast<int>(s.best)},
                     {"NSEED", e.best_params.NSEED},
                     {"runs", runs},
                     {"minima", minima},
                     {"ambiguous", s.ambiguous()}};
  }
  if (e.bootstrap) doc["bootstrap"] = bootstrap_json(*e.bootstrap);
}

json bootstrap_json(const ensemble::BootstrapReport& b) {
  json axes = json::array();
  for (int L = 1; L <= 3; ++L) axes.push_back({{"sigma", L}, {"cone_deg", json_optional_real(b.stats.cone_deg[L - 1])}});
  // The bounds are replicate values of R, floats: written as such.
  json R = b.stats.R ? json{{"low", json_float(static_cast<float>(b.stats.R->low))},
                            {"high", json_float(static_cast<float>(b.stats.R->high))}}
                     : json(nullptr);
  json samples = json::array();
  for (const ensemble::Replicate& rep : b.samples) {
    if (!rep.ok) continue;
    const StressState st = stress_state(rep.tensor);
    samples.push_back({{"replicate", rep.index},
                       {"NSEED", rep.NSEED},
                       {"axes", axes_json(rep.tensor)},
                       {"R", json_float(rep.tensor.P(4))},
                       {"F", json_float(rep.tensor.F)},
                       {"SHmax_deg", st.shmax ? json_real(*st.shmax < 180.0 ? *st.shmax : 0.0) : json(nullptr)},
                       {"wsm_regime", wsm_regime_code(st.wsm.regime)}});
  }
  json shmax = b.stats.SHmax ? json{{"low", json_real(b.stats.SHmax->low)}, {"high", json_real(b.stats.SHmax->high)},
                                    {"undefined", b.stats.shmax_undefined},
                                    {"sd_deg", json_optional_real(b.stats.shmax_sd_deg)}}
                             : json(nullptr);
  json regimes = json::object();
  for (int k = 0; k < 6; ++k) {
    const int n = b.stats.regimes[k];
    regimes[wsm_regime_code(static_cast<WsmRegime>(k))] = b.stats.used > 0 ? json(static_cast<double>(n) / b.stats.used) : json(nullptr);
  }
  return {{"replicates", b.replicates},
          {"failed", b.failed()},
          {"confidence", b.confidence / 100.0},
          {"seed", b.seed},
          {"axes", axes},
          {"R", R},
          {"SHmax", shmax},
          {"regimes", regimes},
          {"quality", std::string(1, b.stats.quality.rank)},
          {"quality_reason", b.stats.quality.reason},
          {"samples", samples}};
}

std::string ensemble_summary(const RunReport& r) {
  if (!r.ensemble) return "";
  const ensemble::Ensemble& e = *r.ensemble;
  std::string s;
  if (r.ensemble_options.starts > 1) {
    s += "  start " + std::to_string(e.starts.best) + " of " + std::to_string(e.starts.runs.size()) +
         " (NSEED " + std::to_string(e.best_params.NSEED) + ", " + std::to_string(e.starts.minima.size()) +
         (e.starts.minima.size() == 1 ? " minimum)" : " distinct minima)");
  }
  if (e.bootstrap) {
    const ensemble::BootstrapReport& b = *e.bootstrap;
    s += "  " + format_number("%g", b.confidence) + "% cones";
    for (int L = 1; L <= 3; ++L) {
      const auto& c = b.stats.cone_deg[L - 1];
      s += " sigma" + std::to_string(L) + " " + (c ? format_number("%.1f", *c) : std::string("-"));
    }
    s += " deg, R " + (b.stats.R ? format_number("%.2f", b.stats.R->low) + "-" + format_number("%.2f", b.stats.R->high) : "-");
    // SHmax is an axis: the bounds in [0, 180), so an interval across north reads "172.0 to 18.5".
    const auto axial = [](double a) {
      const std::string t = format_number("%.1f", std::fmod(std::fmod(a, 180.0) + 180.0, 180.0));
      return t == "180.0" ? std::string("0.0") : t;
    };
    if (b.stats.SHmax) s += ", SHmax " + axial(b.stats.SHmax->low) + " to " + axial(b.stats.SHmax->high);
    s += " (" + std::to_string(b.replicates) + (b.replicates == 1 ? " replicate, " : " replicates, ") +
         std::to_string(b.failed()) + " failed)";
  }
  const std::string warning = ambiguity_warning(r);
  if (!warning.empty()) s += "  " + warning;
  return s;
}

}  // namespace zk::batch
