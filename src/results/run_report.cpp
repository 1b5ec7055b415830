#include "results/run_report.hpp"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace zk::batch {

MisfitSummary summarise_misfits(std::vector<double> degrees) {
  MisfitSummary s;
  s.count = static_cast<int>(degrees.size());
  if (degrees.empty()) return s;
  std::sort(degrees.begin(), degrees.end());
  double sum = 0.0, squares = 0.0;
  for (double v : degrees) {
    sum += v;
    squares += v * v;
  }
  const std::size_t n = degrees.size();
  s.mean = sum / static_cast<double>(n);
  s.rms = std::sqrt(squares / static_cast<double>(n));
  s.median = n % 2 == 1 ? degrees[n / 2] : 0.5 * (degrees[n / 2 - 1] + degrees[n / 2]);
  return s;
}

std::optional<float> RunReport::cutoff() const {
  for (const Datum& d : data) {
    if (d.rank == run.NMIN) return d.misfit;
  }
  return std::nullopt;
}

bool same_bits(const TensorSnapshot& a, const TensorSnapshot& b) {
  const float x[5] = {a.P(1), a.P(2), a.P(3), a.P(4), a.F};
  const float y[5] = {b.P(1), b.P(2), b.P(3), b.P(4), b.F};
  return std::memcmp(x, y, sizeof x) == 0;
}

RunReport collect_report(const RunInput& input, const InversionResult& run) {
  RunReport r;
  r.title = input.faults.title.str();
  while (!r.title.empty() && (r.title.back() == ' ' || r.title.back() == '\0')) r.title.pop_back();
  r.warnings = input.warnings;
  r.params = input.params;
  r.run = run;
  r.state = stress_state(run.final_tensor());
  const Matrix3 T = reduced_tensor(run.final_tensor());
  std::vector<double> all, best;
  const std::size_t N = input.faults.data.size();
  for (std::size_t i = 0; i < N; ++i) {
    const FaultDatum& f = input.faults.data[i];
    Datum d;
    d.NUM = f.record.NUM;
    d.line = f.line;
    d.as_read = f.record;
    d.FN = f.FN;
    d.STR = f.STR;
    d.misfit = run.misfit[i];
    d.rank = run.rank[i];
    if (run.has_stage4) d.nearest = run.nearest[i];
    d.stress = plane_stress(T, {static_cast<double>(f.FN(1)), static_cast<double>(f.FN(2)), static_cast<double>(f.FN(3))});
    const double deg = static_cast<double>(misfit_degrees(d));
    all.push_back(deg);
    if (r.among_best(d)) best.push_back(deg);
    r.data.push_back(d);
  }
  std::vector<mech::DoubleCouple> planes;
  for (const Datum& d : r.data) {
    planes.push_back({{static_cast<double>(d.FN(1)), static_cast<double>(d.FN(2)), static_cast<double>(d.FN(3))},
                      {static_cast<double>(d.STR(1)), static_cast<double>(d.STR(2)), static_cast<double>(d.STR(3))}});
  }
  if (mech::LinearResult fit = mech::linear_inversion(planes); fit.ok) {
    const double diff = stress_difference_deg(mech::tensor_of(fit.stress), T);
    r.linear = LinearCheck{fit, diff};
  }
  r.misfit_all = summarise_misfits(all);
  r.misfit_best = summarise_misfits(best);
  return r;
}

}  // namespace zk::batch
