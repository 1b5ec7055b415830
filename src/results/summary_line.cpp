#include "results/summary_line.hpp"

#include <algorithm>
#include <cstdio>

#include "results/ensemble_output.hpp"
#include "results/linear_output.hpp"
#include "results/mechanisms_output.hpp"
#include "results/phases_output.hpp"

namespace zk::batch {

std::string summary_line(const RunReport& r) {
  const TensorSnapshot& t = r.run.final_tensor();
  const StressState& st = r.state;
  std::string s = r.data_path + ": N=" + std::to_string(r.run.N) + " NMIN=" + std::to_string(r.run.NMIN);
  char buf[96];
  for (int L = 1; L <= 3; ++L) {
    std::snprintf(buf, sizeof buf, "  sigma%d %5.1f/%4.1f", L, static_cast<double>(t.DIRE(L)),
                  static_cast<double>(t.PEN(L)));
    s += buf;
  }
  std::snprintf(buf, sizeof buf, "  R=%4.2f", static_cast<double>(t.P(4)));
  s += buf;
  if (st.defined) {
    std::snprintf(buf, sizeof buf, "  R'=%4.2f (%s)", st.r_prime, r_prime_class_name(st.r_prime_class));
    s += buf;
    if (!st.shmax) {
      s += "  SHmax none (equal horizontal stresses)";
    } else {
      std::snprintf(buf, sizeof buf, "  SHmax %.1f", *st.shmax);
      s += buf;
    }
    s += std::string(st.shmax && st.shmax_poorly_defined ? " (poorly defined; WSM " : " (WSM ") +
         wsm_regime_code(st.wsm.regime);
    if (st.wsm.shmax) {
      std::snprintf(buf, sizeof buf, " %.1f", *st.wsm.shmax);
      s += buf;
    }
    s += ")";
  } else {
    s += "  stress state undefined";
  }
  std::snprintf(buf, sizeof buf, "  residual std dev %.1f deg", static_cast<double>(r.run.fit.ECART));
  s += buf;
  // The quality of the answer ends its part, before the ambiguity warning.
  std::string ensemble = ensemble_summary(r);
  const std::size_t warned = std::min(ensemble.find("  warning: "), ensemble.size());
  if (!r.quality.reasons.empty()) {
    ensemble.insert(warned, std::string(", quality ") + r.quality.rank + " (" + r.quality.reasons.front() + ")");
  }
  return s + ensemble + phases_summary(r) + linear_summary(r) + mechanisms_summary(r);
}

}  // namespace zk::batch
