#include "results/run_report.hpp"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "data/field_faults.hpp"

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

double rake_deg(const Datum& d) {
  const field::V3 n{static_cast<double>(d.FN(1)), static_cast<double>(d.FN(2)), static_cast<double>(d.FN(3))};
  const field::V3 s{static_cast<double>(d.STR(1)), static_cast<double>(d.STR(2)), static_cast<double>(d.STR(3))};
  return field::rake_of(field::plane_of_normal(n), s);
}

namespace {

std::optional<ensemble::AnswerInput::Spread> spread_of(const ensemble::BootstrapReport* b) {
  if (b == nullptr) return std::nullopt;
  ensemble::AnswerInput::Spread s;
  s.shmax = b->stats.quality;
  if (b->stats.R) {
    s.R_low = b->stats.R->low;
    s.R_high = b->stats.R->high;
  }
  int largest = 0;
  for (int k = 0; k < 5; ++k) largest = std::max(largest, b->stats.regimes[k]);  // U is no regime
  s.largest_regime_share = b->stats.used > 0 ? static_cast<double>(largest) / b->stats.used : 0.0;
  return s;
}

}  // namespace

void rank_quality(RunReport& r) {
  ensemble::AnswerInput all;
  all.n_used = r.misfit_best.count;
  all.n_given = static_cast<int>(r.data.size());
  all.mean_misfit_deg = r.misfit_best.mean;
  all.R = static_cast<double>(r.run.final_tensor().P(4));
  all.spread = spread_of(r.ensemble && r.ensemble->bootstrap ? &*r.ensemble->bootstrap : nullptr);
  r.quality = ensemble::answer_quality(all);
  r.phase_quality.clear();
  if (!r.separation) return;
  const phases::Separation& s = *r.separation;
  for (std::size_t j = 0; j < s.phases.size(); ++j) {
    const phases::Phase& p = s.phases[j];
    ensemble::AnswerInput in;
    in.n_used = static_cast<int>(p.members.size());
    in.n_given = all.n_given;
    double sum = 0.0;
    std::optional<ensemble::Family> family;
    bool one = !p.members.empty();
    for (int i : p.members) {
      const auto ui = static_cast<std::size_t>(i);
      sum += s.data[ui].misfit_deg[j];
      const ensemble::Family f = ensemble::kinematic_family(rake_deg(r.data[ui]));
      if (!family) family = f;
      one = one && *family == f;
    }
    in.mean_misfit_deg = p.members.empty() ? 0.0 : sum / static_cast<double>(p.members.size());
    in.R = static_cast<double>(p.tensor.P(4));
    if (one) in.one_family = family;
    in.spread = spread_of(j < s.bootstrap.size() ? &s.bootstrap[j] : nullptr);
    r.phase_quality.push_back(ensemble::answer_quality(in));
  }
}

}  // namespace zk::batch
