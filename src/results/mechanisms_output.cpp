#include "results/mechanisms_output.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "mechanisms/calibration.hpp"
#include "results/result_json.hpp"
#include "runtime/errors.hpp"

namespace zk::batch {

using json = nlohmann::ordered_json;

namespace {

json plane_json(const mech::NodalPlane& p, double misfit, double instability) {
  return {{"strike_deg", json_real(p.strike)},
          {"dip_deg", json_real(p.dip)},
          {"rake_deg", json_real(p.rake)},
          {"misfit_deg", json_real(misfit)},
          {"instability", json_real(instability)}};
}

}  // namespace

json cones_json(int replicates, int used, double confidence, std::uint64_t seed, const std::optional<double> (&cones)[3]) {
  json axes = json::array();
  for (int L = 1; L <= 3; ++L) axes.push_back({{"sigma", L}, {"cone_deg", json_optional_real(cones[L - 1])}});
  return {{"replicates", replicates},
          {"failed", replicates - used},
          {"confidence", confidence / 100.0},
          {"seed", seed},
          {"axes", axes}};
}

namespace {

// An answer beside the one given (without or with the events of gross
// misfit): the events left out, its axes and R, how far from the answer, its
// cones when bootstrapped.
json aside_json(const MechanismsReport::WithoutGross& w) {
  json j = {{"events", w.events}};
  if (!w.found) {
    j["axes"] = nullptr;
    j["R"] = nullptr;
    j["stress_difference_deg"] = nullptr;
    j["why"] = w.why;
    return j;
  }
  const mech::Principal p = mech::principal_of(w.tensor);
  const Matrix3 T = mech::tensor_of(p);
  json axes = json::array();
  for (std::size_t L = 0; L < 3; ++L) {
    json a = {{"sigma", L + 1}, {"value", json_real(plane_stress(T, p.axes[L]).normal)}};
    a.update(attitude_json(p.axes[L]));
    axes.push_back(a);
  }
  j["axes"] = axes;
  j["R"] = json_float(w.tensor.P(4));
  j["stress_difference_deg"] = json_real(w.stress_difference_deg);
  if (w.bootstrap) {
    const ensemble::BootstrapReport& b = *w.bootstrap;
    json cones = cones_json(b.replicates, b.stats.used, b.confidence, b.seed, b.stats.cone_deg);
    // The bounds are replicate values of R, floats: written as such.
    cones["R"] = b.stats.R ? json{{"low", json_float(static_cast<float>(b.stats.R->low))},
                                  {"high", json_float(static_cast<float>(b.stats.R->high))}}
                           : json(nullptr);
    j["bootstrap"] = cones;
  }
  return j;
}

}  // namespace

json mechanism_event_json(const MechanismsReport& m, std::size_t k) {
  const mech::Event& e = m.events[k];
  const mech::EventOutcome& c = m.outcome.events[k];
  return {{"number", e.number},
          {"planes", json::array({plane_json(e.planes[0], c.misfit[0], c.instability[0]),
                                  plane_json(e.planes[1], c.misfit[1], c.instability[1])})},
          {"chosen", c.plane},
          {"basis", mech::basis_name(c.basis)},
          {"undecided", c.undecided},
          {"low_shear", c.low_shear},
          {"gross_misfit", c.gross_misfit},
          {"P", attitude_json(e.pt.P)},
          {"T", attitude_json(e.pt.T)}};
}

json mechanisms_json(const RunReport& r, const char* events_in_place) {
  const MechanismsReport& m = *r.mechanisms;
  const mech::Outcome& o = m.outcome;
  json events = json::array();
  if (events_in_place != nullptr) {
    events = events_in_place;
  } else {
    for (std::size_t k = 0; k < m.events.size(); ++k) events.push_back(mechanism_event_json(m, k));
  }
  json without = m.without_gross ? aside_json(*m.without_gross) : json(nullptr);
  json with = m.with_gross ? aside_json(*m.with_gross) : json(nullptr);
  return {{"plane_choice", mech::rule_name(m.options.rule)},
          {"gap_deg", json_real(m.options.gap_deg)},
          {"friction", json_real(o.start.friction)},
          {"friction_fixed", o.friction_fixed},
          {"engine_runs", o.engine_runs},
          {"ended", mech::ended_name(o.ended)},
          {"NSEED", o.final.best_params.NSEED},
          {"undecided", o.undecided},
          {"low_shear", o.low_shear},
          {"gross_misfits", o.gross_misfits},
          {"plane_diversity", json_real(o.diversity)},
          {"rms_misfit_deg", json_real(o.rms_misfit)},
          {"without_gross_misfits", without},
          {"with_gross_misfits", with},
          {"events", events}};
}

std::string chosen_planes_csv(const MechanismsReport& m) {
  std::string out =
      "id,strike,dip,rake,chosen,basis,misfit_deg,instability,undecided,low_shear,P_trend,P_plunge,T_trend,T_plunge\n";
  char buf[256];
  for (std::size_t k = 0; k < m.events.size(); ++k) {
    const mech::Event& e = m.events[k];
    const mech::EventOutcome& c = m.outcome.events[k];
    const auto p = static_cast<std::size_t>(c.plane - 1);
    const mech::NodalPlane& plane = e.planes[p];
    const Attitude P = attitude_of(e.pt.P), T = attitude_of(e.pt.T);
    std::snprintf(buf, sizeof buf, "%d,%.6f,%.6f,%.6f,%d,%s,%.4f,%.4f,%d,%d,%.2f,%.2f,%.2f,%.2f\n", e.number,
                  plane.strike, plane.dip, plane.rake, c.plane, mech::basis_name(c.basis), c.misfit[p],
                  c.instability[p], c.undecided ? 1 : 0, c.low_shear ? 1 : 0, P.trend >= 359.995 ? 0.0 : P.trend,
                  P.plunge, T.trend >= 359.995 ? 0.0 : T.trend, T.plunge);
    out += buf;
  }
  return out;
}

std::string mechanisms_summary(const RunReport& r) {
  if (!r.mechanisms) return "";
  const MechanismsReport& m = *r.mechanisms;
  const mech::Outcome& o = m.outcome;
  int second = 0;
  for (const mech::EventOutcome& e : o.events) second += e.plane == 2;
  return std::string("  planes ") + mech::rule_name(m.options.rule) + ": " + std::to_string(second) + "/" +
         std::to_string(o.events.size()) + " auxiliary, " + std::to_string(o.undecided) + " undecided, friction" +
         format_number(" %.2f", o.start.friction) + ", " + mech::ended_name(o.ended) + " after " +
         std::to_string(o.engine_runs) + (o.engine_runs == 1 ? " run" : " runs");
}

}  // namespace zk::batch

namespace zk::batch {

void complete_choice(MechanismsReport& m, const RunInput& base, const BootstrapAsk& b, const BootstrapProgress& progress) {
  if (m.outcome.gross_misfits > 0) {
    // The default answer leaves them out when they are outliers (inverted
    // again once, from the same start); the answer with every event stays
    // beside. Too many of them are kept, and the answer without them beside.
    MechanismsReport::WithoutGross without, with;
    for (std::size_t k = 0; k < m.events.size(); ++k) {
      if (m.outcome.events[k].gross_misfit) without.events.push_back(m.events[k].number);
    }
    with.events = without.events;
    try {
      mech::Outcome left = mech::without_gross_misfits(m.events, base, m.options, m.outcome);
      without.found = true;
      without.tensor = left.final.best_tensor;
      const double apart =
          stress_difference_deg(reduced_tensor(without.tensor), reduced_tensor(m.outcome.final.best_tensor));
      if (mech::leaves_out_gross_misfits(m.outcome)) {
        with.found = true;
        with.tensor = m.outcome.final.best_tensor;
        with.stress_difference_deg = apart;
        m.with_gross = with;
        m.outcome = std::move(left);
      } else {
        without.stress_difference_deg = apart;
      }
    } catch (const rt::RunError& e) {
      without.why = e.what();  // too few events left for the PARAMETERS, say: the answer keeps them
    }
    m.without_gross = without;
  }
  if (b.replicates <= 0) return;
  // The answer's events: those the answer was inverted from.
  const mech::Outcome& o = m.outcome;
  std::vector<mech::Event> used;
  const bool left_out = m.with_gross.has_value();
  for (std::size_t k = 0; k < m.events.size(); ++k) {
    if (!left_out || !o.events[k].gross_misfit) used.push_back(m.events[k]);
  }
  std::vector<std::optional<mech::Principal>> linear;
  mech::RCalibration calibration;
  m.bootstrap = mech::bootstrap_choice(used, base, m.options, o.start, o.final.best_tensor, b.replicates, b.seed,
                                       b.confidence, progress("replicates of the plane choice"), &linear, true,
                                       &calibration);
  m.simulated_failed = static_cast<int>(std::count(calibration.simulated_R.begin(), calibration.simulated_R.end(),
                                                   std::optional<double>{}));
  m.bootstrap_options = {m.options.starts, b.replicates, b.confidence, b.seed, m.options.jobs};
  if (const mech::LinearResult main = mech::linear_of_set(o.chosen_data); main.ok) {
    m.linear_bootstrap = MechanismsReport::LinearBootstrap{b.replicates, b.confidence, b.seed,
                                                           mech::axis_cones(main.stress, linear, b.confidence)};
  }
  if (left_out) {
    m.without_gross->bootstrap = m.bootstrap;  // the answer is the one without them
  } else if (m.without_gross && m.without_gross->found) {
    std::vector<mech::Event> rest;
    for (std::size_t k = 0; k < m.events.size(); ++k) {
      if (!o.events[k].gross_misfit) rest.push_back(m.events[k]);
    }
    m.without_gross->bootstrap =
        mech::bootstrap_choice(rest, base, m.options, o.start, m.without_gross->tensor, b.replicates, b.seed,
                               b.confidence, progress("replicates without the gross misfits"));
  }
}

}  // namespace zk::batch
