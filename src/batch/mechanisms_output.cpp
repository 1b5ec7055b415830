#include "batch/mechanisms_output.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "batch/result_json.hpp"
#include "inversion/random_search.hpp"

namespace zk::batch {

using json = nlohmann::ordered_json;

namespace {


json attitude_json(const AxisVector& v) {
  const Attitude a = attitude_of(v);
  return {{"trend_deg", json_real(a.trend >= 359.99999 ? 0.0 : a.trend)}, {"plunge_deg", json_real(a.plunge)}};
}

json plane_json(const mech::NodalPlane& p, double misfit, double instability) {
  return {{"strike_deg", json_real(p.strike)},
          {"dip_deg", json_real(p.dip)},
          {"rake_deg", json_real(p.rake)},
          {"misfit_deg", json_real(misfit)},
          {"instability", json_real(instability)}};
}

}  // namespace

json linear_json(const BatchResult& r) {
  if (!r.linear) return nullptr;
  const mech::Principal& p = r.linear->fit.stress;
  const Matrix3 T = mech::tensor_of(p);
  json axes = json::array();
  for (std::size_t L = 0; L < 3; ++L) {
    const PlaneStress on = plane_stress(T, p.axes[L]);
    json a = {{"sigma", L + 1}, {"value", json_real(on.normal)}};
    a.update(attitude_json(p.axes[L]));
    axes.push_back(a);
  }
  return {{"method", "Michael (1984) least squares, equal shear stress magnitudes"},
          {"axes", axes},
          {"R", json_real(p.R)},
          {"stress_difference_deg", json_real(r.linear->stress_difference_deg)}};
}

json mechanisms_json(const BatchResult& r) {
  const MechanismsReport& m = *r.mechanisms;
  const mech::Outcome& o = m.outcome;
  json events = json::array();
  for (std::size_t k = 0; k < m.events.size(); ++k) {
    const mech::Event& e = m.events[k];
    const mech::EventOutcome& c = o.events[k];
    events.push_back({{"number", e.number},
                      {"planes", json::array({plane_json(e.planes[0], c.misfit[0], c.instability[0]),
                                              plane_json(e.planes[1], c.misfit[1], c.instability[1])})},
                      {"chosen", c.chosen},
                      {"basis", mech::basis_name(c.basis)},
                      {"undecided", c.undecided},
                      {"low_shear", c.low_shear},
                      {"gross_misfit", c.gross_misfit},
                      {"P", attitude_json(e.pt.P)},
                      {"T", attitude_json(e.pt.T)}});
  }
  json without = nullptr;
  if (m.without_gross) {
    const MechanismsReport::WithoutGross& w = *m.without_gross;
    without = {{"events", w.events}};
    if (w.found) {
      const mech::Principal p = mech::principal_of(w.tensor);
      const Matrix3 T = mech::tensor_of(p);
      json axes = json::array();
      for (std::size_t L = 0; L < 3; ++L) {
        json a = {{"sigma", L + 1}, {"value", json_real(plane_stress(T, p.axes[L]).normal)}};
        a.update(attitude_json(p.axes[L]));
        axes.push_back(a);
      }
      without["axes"] = axes;
      without["R"] = json_float(w.tensor.P(4));
      without["stress_difference_deg"] = json_real(w.stress_difference_deg);
    } else {
      without["axes"] = nullptr;
      without["R"] = nullptr;
      without["stress_difference_deg"] = nullptr;
      without["why"] = w.why;
    }
  }
  return {{"plane_choice", mech::rule_name(m.options.rule)},
          {"gap_deg", json_real(m.options.gap_deg)},
          {"friction", json_real(o.start.friction)},
          {"friction_fixed", o.friction_fixed},
          {"engine_runs", o.engine_runs},
          {"ended", mech::ended_name(o.ended)},
          {"NSEED", o.final.chosen.NSEED},
          {"undecided", o.undecided},
          {"low_shear", o.low_shear},
          {"gross_misfits", o.gross_misfits},
          {"plane_diversity", json_real(o.diversity)},
          {"rms_misfit_deg", json_real(o.rms_misfit)},
          {"without_gross_misfits", without},
          {"events", events}};
}

namespace {
constexpr double kLongWait = 3600.0;  // seconds: a longer wait is announced, as for the ensemble
}  // namespace

std::string choice_time_warning(const RunParams& p, int N, int starts, int bootstrap, int jobs) {
  if (!p.random_search()) return "";
  const double run = static_cast<double>(starts) * expected_stage1_seconds(p.NTIR, N);  // processor seconds
  const double runs = mech::kMaxEngineRuns;
  const double processor = runs * run * (1.0 + bootstrap);
  const double wall = runs * run / std::clamp(jobs, 1, std::max(starts, 1)) +
                      (bootstrap > 0 ? runs * run * bootstrap / std::clamp(jobs, 1, bootstrap) : 0.0);
  if (wall <= kLongWait) return "";
  return "the plane choice runs the engine up to " + std::to_string(mech::kMaxEngineRuns) + " times (" +
         std::to_string(starts) + (starts == 1 ? " start" : " starts") + " of NTIR = " + std::to_string(p.NTIR) + " draws on N = " +
         std::to_string(N) + " events)" +
         (bootstrap > 0 ? ", and again for each of " + std::to_string(bootstrap) + " replicates" : std::string()) +
         ": up to about " + duration_text(wall) + " on " + std::to_string(std::max(jobs, 1)) + " threads (" +
         duration_text(processor) + " of processor time)";
}

std::string separation_time_warning(const RunParams& p, int N, int jobs) {
  if (!p.random_search()) return "";
  const double processor = static_cast<double>(phases::inversion_count()) * expected_stage1_seconds(p.NTIR, N);
  const double wall = processor / std::max(jobs, 1);
  if (wall <= kLongWait) return "";
  return "the separation into phases runs up to " + std::to_string(phases::inversion_count()) +
         " inversions of NTIR = " + std::to_string(p.NTIR) + " draws on N = " + std::to_string(N) +
         " data: up to about " + duration_text(wall) + " on " + std::to_string(std::max(jobs, 1)) + " threads (" +
         duration_text(processor) + " of processor time)";
}

std::string linear_apart_warning(const BatchResult& r, const RunParams& p) {
  if (!r.linear || !(r.linear->stress_difference_deg > kLinearApartDeg)) return "";
  std::string w = "the linear inversion differs from the answer by" +
                  format_number(" %.1f", r.linear->stress_difference_deg) + " degrees in stress difference (more than 20)";
  if (p.POURC < 100) {
    return w + ": the answer fits the " + std::to_string(p.POURC) + " % of the data that fit best (POURC " +
           std::to_string(p.POURC) + "), the linear inversion all of them; POURC 100 fits every datum";
  }
  return w + ": the data may not share one uniform stress, or the equal shear stress magnitudes the linear "
             "inversion assumes do not hold";
}

std::string chosen_planes_csv(const MechanismsReport& m) {
  std::string out =
      "id,strike,dip,rake,chosen,basis,misfit_deg,instability,undecided,low_shear,P_trend,P_plunge,T_trend,T_plunge\n";
  char buf[256];
  for (std::size_t k = 0; k < m.events.size(); ++k) {
    const mech::Event& e = m.events[k];
    const mech::EventOutcome& c = m.outcome.events[k];
    const auto p = static_cast<std::size_t>(c.chosen - 1);
    const mech::NodalPlane& plane = e.planes[p];
    const Attitude P = attitude_of(e.pt.P), T = attitude_of(e.pt.T);
    std::snprintf(buf, sizeof buf, "%d,%.6f,%.6f,%.6f,%d,%s,%.4f,%.4f,%d,%d,%.2f,%.2f,%.2f,%.2f\n", e.number,
                  plane.strike, plane.dip, plane.rake, c.chosen, mech::basis_name(c.basis), c.misfit[p],
                  c.instability[p], c.undecided ? 1 : 0, c.low_shear ? 1 : 0, P.trend >= 359.995 ? 0.0 : P.trend,
                  P.plunge, T.trend >= 359.995 ? 0.0 : T.trend, T.plunge);
    out += buf;
  }
  return out;
}

std::string linear_summary(const BatchResult& r) {
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

std::string mechanisms_summary(const BatchResult& r) {
  if (!r.mechanisms) return "";
  const MechanismsReport& m = *r.mechanisms;
  const mech::Outcome& o = m.outcome;
  int second = 0;
  for (const mech::EventOutcome& e : o.events) second += e.chosen == 2;
  return std::string("  planes ") + mech::rule_name(m.options.rule) + ": " + std::to_string(second) + "/" +
         std::to_string(o.events.size()) + " auxiliary, " + std::to_string(o.undecided) + " undecided, friction" +
         format_number(" %.2f", o.start.friction) + ", " + mech::ended_name(o.ended) + " after " +
         std::to_string(o.engine_runs) + (o.engine_runs == 1 ? " run" : " runs");
}

std::vector<std::string> mechanisms_warnings(const MechanismsReport& m) {
  const mech::Outcome& o = m.outcome;
  std::vector<std::string> w;
  const auto n = static_cast<double>(o.events.size());
  if (n > 0 && o.undecided > kUndecidedShareWarning * n) {
    w.push_back(std::to_string(o.undecided) + " of " + std::to_string(o.events.size()) +
                " events are undecided (misfits within 5 degrees and instabilities within 0.05): the fault planes "
                "are poorly identified");
  }
  if (o.low_shear > 0) {
    w.push_back(std::to_string(o.low_shear) + " of " + std::to_string(o.events.size()) +
                (o.low_shear == 1 ? " event carries" : " events carry") +
                " a resolved shear stress below 2 % of the largest under the answer (low_shear): their misfits and "
                "predicted slips mean nothing");
  }
  if (o.gross_misfits > 0) {
    std::string ids;
    int listed = 0;
    for (std::size_t k = 0; k < o.events.size(); ++k) {
      if (!o.events[k].gross_misfit) continue;
      if (listed++ < kMaxIdsListed) ids += (ids.empty() ? "" : ", ") + std::to_string(m.events[k].number);
    }
    if (listed > kMaxIdsListed) ids += " and " + std::to_string(listed - kMaxIdsListed) + " more";
    std::string moved;
    if (m.without_gross && m.without_gross->found) {
      moved = "; without them the answer moves" + format_number(" %.1f", m.without_gross->stress_difference_deg) +
              " degrees in stress difference (mechanisms.without_gross_misfits)";
    }
    w.push_back(std::to_string(o.gross_misfits) + " of " + std::to_string(o.events.size()) +
                (o.gross_misfits == 1 ? " event misfits" : " events misfit") +
                " by more than 45 degrees on both planes (gross_misfit): " + ids + moved);
  }
  if (!o.friction_fixed && (std::fabs(o.start.friction - mech::kFrictionLow) < 1e-9 ||
                            std::fabs(o.start.friction - mech::kFrictionHigh) < 1e-9)) {
    w.push_back("the friction found," + format_number(" %.2f,", o.start.friction) +
                " is at an end of the range scanned (0.40 to 0.95): give it with --friction if it is known");
  }
  if (o.ended == mech::Ended::Cycle) {
    w.push_back("the plane choice cycles: a choice of planes came back after " + std::to_string(o.engine_runs) +
                " engine runs; the last one is listed");
  }
  if (o.ended == mech::Ended::Limit) {
    w.push_back("the plane choice did not settle in " + std::to_string(o.engine_runs) + " engine runs; the last one is listed");
  }
  if (o.rms_misfit > kRmsMisfitWarningDeg) {
    w.push_back("the rms misfit of the chosen planes is" + format_number(" %.1f", o.rms_misfit) +
                " degrees (above 30): the stress is probably not uniform over these events");
  }
  if (o.events.size() < static_cast<std::size_t>(kFewEvents)) {
    w.push_back("only " + std::to_string(o.events.size()) + " events: fewer than 20 constrain the tensor and the plane choice poorly");
  }
  const double R = static_cast<double>(o.final.chosen_tensor.P(4));
  if (R < kLowR || R > kHighR) {
    w.push_back("R =" + format_number(" %.2f", R) + (R < kLowR ? " (below 0.25)" : " (above 0.75)") +
                ": the axis nearest sigma 2 is weakly constrained");
  }
  return w;
}

}  // namespace zk::batch
