#include "mechanisms/choice.hpp"

#include <algorithm>
#include <cmath>
#include <random>

#include "mechanisms/calibration.hpp"
#include "runtime/errors.hpp"

namespace zk::mech {
namespace {

Vec3 as_float(const AxisVector& v) {
  return Vec3{{static_cast<float>(v[0]), static_cast<float>(v[1]), static_cast<float>(v[2])}};
}

std::vector<DoubleCouple> planes_of(const std::vector<Event>& events, const Choice& c) {
  std::vector<DoubleCouple> out;
  out.reserve(events.size());
  for (std::size_t k = 0; k < events.size(); ++k) out.push_back(events[k].exact[static_cast<std::size_t>(c[k] - 1)]);
  return out;
}

// The plane of the larger instability (known planes kept).
Choice more_unstable(const std::vector<Event>& events, const Principal& s, double mu) {
  return choose_under(events, s, mu, Rule::Instability, 0.0).planes;
}

double mean_instability(const std::vector<Event>& events, const Choice& c, const Principal& s, double mu) {
  double sum = 0.0;
  for (std::size_t k = 0; k < events.size(); ++k) {
    sum += instability(s, events[k].exact[static_cast<std::size_t>(c[k] - 1)].normal, mu);
  }
  return sum / static_cast<double>(events.size());
}

LinearResult linear_of(const std::vector<Event>& events, const Choice& c) {
  return linear_inversion(planes_of(events, c));
}

}  // namespace

std::optional<Rule> rule_named(std::string_view name) {
  for (Rule r : {Rule::Hybrid, Rule::Misfit, Rule::Instability, Rule::Given}) {
    if (name == rule_name(r)) return r;
  }
  return std::nullopt;
}

const char* rule_name(Rule r) {
  switch (r) {
    case Rule::Hybrid: return "hybrid";
    case Rule::Misfit: return "misfit";
    case Rule::Instability: return "instability";
    case Rule::Given: return "given";
  }
  return "";
}

const char* basis_name(Basis b) {
  switch (b) {
    case Basis::Misfit: return "misfit";
    case Basis::Instability: return "instability";
    case Basis::Given: return "given";
    case Basis::Known: return "known";
  }
  return "";
}

const char* ended_name(Ended e) {
  switch (e) {
    case Ended::Converged: return "converged";
    case Ended::Cycle: return "cycle";
    case Ended::Limit: return "limit";
  }
  return "";
}

FaultSet chosen_set(const FaultSet& base, const std::vector<Event>& events, const Choice& choice) {
  FaultSet s;
  s.file = base.file;
  s.title = base.title;
  s.from_table = true;
  s.data.reserve(events.size());
  for (std::size_t k = 0; k < events.size(); ++k) {
    const auto c = static_cast<std::size_t>(choice[k] - 1);
    FaultDatum d;
    d.record = events[k].encoded[c].record;
    d.line = events[k].line;
    d.FN = as_float(events[k].exact[c].normal);
    d.STR = as_float(events[k].exact[c].slip);
    s.data.push_back(d);
  }
  return s;
}

Taken take_plane(const std::array<DoubleCouple, 2>& exact, int known, const Matrix3& T, const Principal& stress,
                 double mu, Rule rule, double gap_deg) {
  if (known != 0) return {known, Basis::Known};
  if (rule == Rule::Given) return {1, Basis::Given};
  const double m1 = misfit_deg(T, exact[0]), m2 = misfit_deg(T, exact[1]);
  if (rule == Rule::Misfit || (rule == Rule::Hybrid && std::fabs(m1 - m2) >= gap_deg)) {
    return {m2 < m1 - kTieMisfitDeg ? 2 : 1, Basis::Misfit};
  }
  const bool second = instability(stress, exact[1].normal, mu) > instability(stress, exact[0].normal, mu) + kTieInstability;
  return {second ? 2 : 1, Basis::Instability};
}

Step choose_under(const std::vector<Event>& events, const Principal& stress, double mu, Rule rule, double gap_deg) {
  const Matrix3 T = tensor_of(stress);
  Step s;
  for (const Event& e : events) {
    const Taken t = take_plane(e.exact, e.known, T, stress, mu, rule, gap_deg);
    s.planes.push_back(t.plane);
    s.basis.push_back(t.basis);
  }
  return s;
}

std::string options_problem(const Options& o) {
  if (!(o.gap_deg >= 0.0 && o.gap_deg <= 90.0)) return "the choice gap must be from 0 to 90 degrees";
  if (o.friction && !(*o.friction > 0.0 && *o.friction <= 10.0)) return "the friction must be above 0 and at most 10";
  if (o.starts < 1) return "the plane choice needs at least 1 start, not " + std::to_string(o.starts);
  if (o.jobs < 1) return "the plane choice needs at least 1 thread, not " + std::to_string(o.jobs);
  return "";
}

namespace {
void check(const Options& o) {
  if (const std::string why = options_problem(o); !why.empty()) throw ensemble::OptionError(why);
}
}  // namespace

Start start_tensor(const std::vector<Event>& events, const Options& o) {
  check(o);
  // The mean of the (normalised) linear tensors of random choices.
  std::mt19937_64 gen(o.seed);
  Matrix3 sum{};
  int used = 0;
  for (int r = 0; r < kRandomChoices; ++r) {
    Choice c;
    for (const Event& e : events) {
      const int drawn = static_cast<int>(gen() >> 63) + 1;
      c.push_back(e.known != 0 ? e.known : drawn);
    }
    const LinearResult lin = linear_of(events, c);
    if (!lin.ok) continue;
    double norm = 0.0;
    for (const auto& row : lin.tensor) {
      for (double v : row) norm += v * v;
    }
    norm = std::sqrt(norm);
    for (std::size_t i = 0; i < 3; ++i) {
      for (std::size_t j = 0; j < 3; ++j) sum[i][j] += lin.tensor[i][j] / norm;
    }
    ++used;
  }
  if (used == 0) {
    throw rt::RunStop("the linear inversion cannot start the plane choice: " + std::to_string(events.size()) +
                      (events.size() < 3 ? " events (at least 3 are needed)" : " events whose planes do not constrain a tensor"));
  }
  const Principal mean = principal_of(sum);

  // The planes of the larger instability, iterated with the linear inversion.
  const auto iterate = [&](double mu, int limit) {
    Principal s = mean;
    Choice previous;
    for (int k = 0; k < limit; ++k) {
      const Choice c = more_unstable(events, s, mu);
      if (c == previous) break;
      const LinearResult lin = linear_of(events, c);
      if (!lin.ok) break;
      s = lin.stress;
      previous = c;
    }
    return s;
  };
  Start st;
  if (o.friction) {
    st.friction = *o.friction;
  } else {
    double best = -1e300;
    const int steps = static_cast<int>(std::lround((kFrictionHigh - kFrictionLow) / kFrictionStep));
    for (int k = 0; k <= steps; ++k) {
      const double mu = kFrictionLow + kFrictionStep * k;
      const Principal s = iterate(mu, kScanIterations);
      const double m = mean_instability(events, more_unstable(events, s, mu), s, mu);
      if (m > best) {
        best = m;
        st.friction = mu;
      }
    }
  }
  st.stress = iterate(st.friction, 100);
  return st;
}

double plane_diversity(const std::vector<Event>& events) {
  Matrix3 M{};
  for (const Event& e : events) {
    for (const DoubleCouple& d : e.exact) {
      for (std::size_t i = 0; i < 3; ++i) {
        for (std::size_t j = 0; j < 3; ++j) M[i][j] += d.normal[i] * d.normal[j];
      }
    }
  }
  if (events.empty()) return 0.0;
  for (auto& row : M) {
    for (double& v : row) v /= 2.0 * static_cast<double>(events.size());
  }
  std::array<double, 3> values{};
  principal_of(M, &values);
  return values[0];
}

Outcome choose_planes(const std::vector<Event>& events, const RunInput& base, const Options& o,
                      const ensemble::Report& report) {
  return iterate_choice(events, base, o, start_tensor(events, o), report);
}

Outcome iterate_choice(const std::vector<Event>& events, const RunInput& base, const Options& o, const Start& start,
                       const ensemble::Report& report) {
  check(o);
  Outcome out;
  out.start = start;
  out.friction_fixed = o.friction.has_value();
  const double mu = out.start.friction;
  const ensemble::Options eo{o.starts, 0, 95.0, 1, o.jobs};

  Step step = choose_under(events, out.start.stress, mu, o.rule, o.gap_deg);
  std::vector<Choice> visited{step.planes};
  Principal final_stress;
  while (true) {
    RunInput input{chosen_set(base.faults, events, step.planes), base.params, {}};
    if (o.engine_run) o.engine_run(out.engine_runs + 1);
    out.final = ensemble::solve(input, eo, report);
    out.chosen_data = std::move(input.faults);
    ++out.engine_runs;
    final_stress = principal_of(out.final.best_tensor);
    const Step next = choose_under(events, final_stress, mu, o.rule, o.gap_deg);
    if (next.planes == step.planes) {
      out.ended = Ended::Converged;
      break;
    }
    if (std::find(visited.begin(), visited.end(), next.planes) != visited.end()) {
      out.ended = Ended::Cycle;
      break;
    }
    if (out.engine_runs >= kMaxEngineRuns) {
      out.ended = Ended::Limit;
      break;
    }
    visited.push_back(next.planes);
    step = next;
  }

  assess(out, events, step, final_stress, mu);
  return out;
}

void assess(Outcome& out, const std::vector<Event>& events, const Step& step, const Principal& final_stress, double mu) {
  const Matrix3 T = tensor_of(final_stress);
  double sum2 = 0.0;
  out.events.clear();
  out.undecided = out.low_shear = out.gross_misfits = 0;
  for (std::size_t k = 0; k < events.size(); ++k) {
    EventOutcome eo_k;
    eo_k.plane = step.planes[k];
    eo_k.basis = step.basis[k];
    for (std::size_t p = 0; p < 2; ++p) {
      eo_k.misfit[p] = misfit_deg(T, events[k].exact[p]);
      eo_k.instability[p] = instability(final_stress, events[k].exact[p].normal, mu);
    }
    eo_k.undecided = std::fabs(eo_k.misfit[0] - eo_k.misfit[1]) < kUndecidedMisfitDeg &&
                     std::fabs(eo_k.instability[0] - eo_k.instability[1]) < kUndecidedInstability;
    const auto chosen = static_cast<std::size_t>(eo_k.plane - 1);
    const double m = eo_k.misfit[chosen];
    sum2 += m * m;
    // sigma 1 - sigma 3 = 1 in the reduced tensor: the largest shear is 1/2.
    eo_k.shear = plane_stress(T, events[k].exact[chosen].normal).shear / 0.5;
    eo_k.low_shear = eo_k.shear < kLowShearShare;
    eo_k.gross_misfit = eo_k.misfit[0] > kGrossMisfitDeg && eo_k.misfit[1] > kGrossMisfitDeg;
    if (eo_k.undecided) ++out.undecided;
    if (eo_k.low_shear) ++out.low_shear;
    if (eo_k.gross_misfit) ++out.gross_misfits;
    out.events.push_back(eo_k);
  }
  out.rms_misfit = events.empty() ? 0.0 : std::sqrt(sum2 / static_cast<double>(events.size()));
  out.diversity = plane_diversity(events);
}

bool leaves_out_gross_misfits(const Outcome& with) {
  return with.gross_misfits > 0 &&
         static_cast<double>(with.gross_misfits) <= kMaxLeftOutShare * static_cast<double>(with.events.size());
}

Outcome without_gross_misfits(const std::vector<Event>& events, const RunInput& base, const Options& o,
                              const Outcome& with, const ensemble::Report& report) {
  std::vector<Event> rest;
  for (std::size_t k = 0; k < events.size(); ++k) {
    if (!with.events[k].gross_misfit) rest.push_back(events[k]);
  }
  Outcome out = iterate_choice(rest, base, o, with.start, report);
  // Every event under the new answer: the others as chosen, those left out
  // by the rule under it, and flagged as left out.
  const Principal stress = principal_of(out.final.best_tensor);
  const Step alone = choose_under(events, stress, with.start.friction, o.rule, o.gap_deg);
  Step all;
  for (std::size_t k = 0, j = 0; k < events.size(); ++k) {
    const bool left_out = with.events[k].gross_misfit;
    all.planes.push_back(left_out ? alone.planes[k] : out.events[j].plane);
    all.basis.push_back(left_out ? alone.basis[k] : out.events[j].basis);
    if (!left_out) ++j;
  }
  const double rms = out.rms_misfit;  // of the events of the answer
  assess(out, events, all, stress, with.start.friction);
  out.rms_misfit = rms;
  out.gross_misfits = 0;
  for (std::size_t k = 0; k < events.size(); ++k) {
    out.events[k].gross_misfit = with.events[k].gross_misfit;
    out.gross_misfits += out.events[k].gross_misfit ? 1 : 0;
  }
  return out;
}

ensemble::BootstrapReport bootstrap_choice(const std::vector<Event>& events, const RunInput& base, const Options& o,
                                           const Start& start, const TensorSnapshot& main, int B, std::uint64_t seed,
                                           double confidence, const ensemble::Report& report,
                                           std::vector<std::optional<Principal>>* linear, bool own_start,
                                           RCalibration* calibration) {
  check(o);
  if (const std::string why = ensemble::bootstrap_problem(B, confidence); !why.empty()) {
    throw ensemble::OptionError(why);
  }
  const Principal answer = principal_of(main);
  RCalibration cal;
  cal.noise = noise_level(events, answer, start.friction, o, seed);
  // The events drawn are those ensemble::resample draws for a fault set of
  // the same size: its data carry the event positions.
  FaultSet positions;
  positions.data.resize(events.size());
  for (std::size_t k = 0; k < events.size(); ++k) positions.data[k].line = static_cast<int>(k);
  std::vector<ensemble::Replicate> reps(static_cast<std::size_t>(B));
  cal.simulated_R.resize(reps.size());
  cal.simulated_stress.resize(reps.size());
  std::vector<std::optional<Principal>> lin(linear != nullptr ? reps.size() : 0);
  // Tasks 0 to B - 1 resample the events, B to 2 B - 1 simulate a catalogue.
  const ensemble::Task task = [&](std::size_t i, Workspace&, const ensemble::Tick& tick) {
    const bool simulated = i >= reps.size();
    const std::size_t at = simulated ? i - reps.size() : i;
    const int b = static_cast<int>(at);
    std::vector<Event> drawn;
    if (simulated) {
      std::mt19937_64 gen = ensemble::replicate_stream(seed, b, 2);
      drawn = simulated_catalogue(events, cal.noise.faults, answer, cal.noise.noise_deg, gen);
    } else {
      for (const FaultDatum& d : ensemble::resample(positions, seed, b).data) drawn.push_back(events[static_cast<std::size_t>(d.line)]);
    }
    RunInput input{base.faults, base.params, {}};
    input.params.NSEED = ensemble::replicate_seed(base.params, o.starts, seed, b);
    Options one = o;
    one.jobs = 1;
    one.engine_run = nullptr;
    if (!simulated) {
      reps[at].index = b;
      reps[at].NSEED = input.params.NSEED;
    }
    try {
      // The replicate's own start (T0 and, unless fixed, the friction) from
      // its events: the start is part of the answer's uncertainty.
      const Outcome out = iterate_choice(drawn, input, one, own_start ? start_tensor(drawn, one) : start, [](long long) {});
      const TensorSnapshot& t = out.final.best_tensor;
      const bool ok = out.final.starts.runs[out.final.starts.best].fit_ok && std::isfinite(t.P(1)) &&
                      std::isfinite(t.P(2)) && std::isfinite(t.P(3)) && std::isfinite(t.P(4));
      if (simulated) {
        if (ok) {
          cal.simulated_R[at] = static_cast<double>(t.P(4));
          cal.simulated_stress[at] = principal_of(t);
        }
      } else {
        ensemble::Replicate& rep = reps[at];
        rep.tensor = t;
        rep.ok = ok;
        if (linear != nullptr && rep.ok) {
          if (const LinearResult l = linear_of_set(out.chosen_data); l.ok) lin[at] = l.stress;
        }
      }
    } catch (const rt::RunError&) {
      if (!simulated) reps[at].ok = false;  // refused: left out of the statistics and counted
    }
    tick();  // one replicate done
  };
  // A replicate is done when both its catalogues are (on average).
  ensemble::run_parallel(kChoicesPerReplicate * reps.size(), o.jobs, task, [&report](long long done) {
    if (report) report(done / kChoicesPerReplicate);
  });
  ensemble::BootstrapReport r;
  r.replicates = B;
  r.confidence = confidence;
  r.seed = seed;
  r.stats = ensemble::bootstrap_stats(main, reps, confidence);
  allow_for_bias(r.stats, main, reps);
  cal.resampled = r.stats.R;
  std::vector<double> simulated_R;
  for (const std::optional<double>& v : cal.simulated_R) {
    if (v) simulated_R.push_back(*v);
  }
  cal.simulated = either_way_interval(static_cast<double>(main.P(4)), simulated_R, confidence, 0.0, 1.0);
  cal.simulated_cones = axis_cones(answer, cal.simulated_stress, confidence);
  join_simulated_cones(r.stats, cal.simulated_cones);
  if (r.stats.R && cal.simulated) {
    r.stats.R = ensemble::Interval{std::min(r.stats.R->low, cal.simulated->low), std::max(r.stats.R->high, cal.simulated->high)};
  }
  r.samples = std::move(reps);
  if (linear != nullptr) *linear = std::move(lin);
  if (calibration != nullptr) *calibration = std::move(cal);
  return r;
}

void allow_for_bias(ensemble::BootstrapStats& s, const TensorSnapshot& main, const std::vector<ensemble::Replicate>& reps) {
  if (s.used == 0) return;
  const Principal answer = principal_of(main);
  for (std::size_t L = 0; L < 3; ++L) {
    Matrix3 M{};
    for (const ensemble::Replicate& rep : reps) {
      if (!rep.ok) continue;
      const AxisVector a = principal_of(rep.tensor).axes[L];
      for (std::size_t i = 0; i < 3; ++i) {
        for (std::size_t j = 0; j < 3; ++j) M[i][j] += a[i] * a[j];
      }
    }
    if (s.cone_deg[L]) *s.cone_deg[L] += axial_angle_deg(principal_of(M).axes[0], answer.axes[L]);
  }
  if (s.R) {
    const double R = static_cast<double>(main.P(4));
    s.R = ensemble::Interval{std::max(0.0, std::min(s.R->low, 2.0 * R - s.R->high)),
                             std::min(1.0, std::max(s.R->high, 2.0 * R - s.R->low))};
  }
}

LinearResult linear_of_set(const FaultSet& faults) {
  std::vector<DoubleCouple> planes;
  planes.reserve(faults.data.size());
  for (const FaultDatum& d : faults.data) {
    planes.push_back({{static_cast<double>(d.FN(1)), static_cast<double>(d.FN(2)), static_cast<double>(d.FN(3))},
                      {static_cast<double>(d.STR(1)), static_cast<double>(d.STR(2)), static_cast<double>(d.STR(3))}});
  }
  return linear_inversion(planes);
}

AxisCones axis_cones(const Principal& main, const std::vector<std::optional<Principal>>& replicates, double confidence) {
  AxisCones c;
  std::vector<double> angles[3];
  for (const std::optional<Principal>& r : replicates) {
    if (!r) continue;
    ++c.used;
    for (std::size_t L = 0; L < 3; ++L) angles[L].push_back(axial_angle_deg(main.axes[L], r->axes[L]));
  }
  if (c.used == 0) return c;
  for (std::size_t L = 0; L < 3; ++L) c.cone_deg[L] = ensemble::nearest_rank(angles[L], confidence);
  return c;
}

}  // namespace zk::mech
