#include "results/warnings.hpp"

#include "results/phases_output.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "inversion/random_search.hpp"
#include "results/result_json.hpp"

namespace zk::batch {

std::string ambiguity_warning(const RunReport& r) {
  if (!r.ensemble || !r.ensemble->starts.ambiguous()) return "";
  const ensemble::StartsReport& s = r.ensemble->starts;
  const TensorSnapshot& best = s.runs[s.minima[0].best].tensor;
  // The minima are sorted by F: the first after the best is the closest.
  const ensemble::Minimum& other = s.minima[1];
  const TensorSnapshot& t = s.runs[other.best].tensor;
  const auto F = static_cast<double>(t.F), F0 = static_cast<double>(best.F);
  const auto axis = [&t](int L) {
    char buf[48];
    std::snprintf(buf, sizeof buf, "sigma%d %03.0f/%02.0f", L, static_cast<double>(t.DIRE(L)),
                  static_cast<double>(t.PEN(L)));
    return std::string(buf);
  };
  std::string w = "warning: ambiguous answer: another minimum " + format_number("%.1f", F0 > 0.0 ? 100.0 * (F - F0) / F0 : 0.0) +
                  " % above the best (F " + format_number("%.4g", F) + " vs " + format_number("%.4g", F0) +
                  ") is a different stress state (stress difference " + format_number("%.0f", other.stress_difference_deg) +
                  " deg): " + axis(1) + ", " + axis(3) + ", R " + format_number("%.2f", static_cast<double>(t.P(4)));
  if (s.close_minima > 1) w += " (" + std::to_string(s.close_minima - 1) + " more within 5 %)";
  return w;
}

std::string rough_bootstrap_warning(const ensemble::Options& o) {
  if (o.bootstrap == 0 || o.bootstrap >= kFewReplicates) return "";
  return "warning: a bootstrap of " + std::to_string(o.bootstrap) + (o.bootstrap == 1 ? " replicate" : " replicates") +
         " gives rough intervals and quality rank (" + std::to_string(kFewReplicates) + " or more advised)";
}

std::vector<std::string> phase_warnings(const RunReport& r) {
  std::vector<std::string> out;
  if (!r.separation) return out;
  const phases::Separation& s = *r.separation;
  const int voted_for = static_cast<int>(std::count_if(s.k_votes.begin(), s.k_votes.end(), [](int v) { return v > 0; }));
  int votes = 0;
  for (int v : s.k_votes) votes += v;
  if (voted_for > 1 || (votes < s.restarts && voted_for == 1)) {
    out.push_back("the " + std::to_string(s.restarts) + " phase searches disagree on the number of phases (" +
                  votes_text(s) + (votes < s.restarts ? ", " + std::to_string(s.restarts - votes) + " by none" : "") +
                  "); the lowest objective of each k gives " + std::to_string(s.k) +
                  ": a single search would not be reproducible (more --phase-starts or a larger NTIR search harder; "
                  "see phases.k_votes)");
  }
  // The two best models among those the automatic choice may take.
  const int N = static_cast<int>(s.data.size());
  std::vector<const phases::Model*> m;
  for (const phases::Model& x : s.models) {
    const std::vector<phases::Model> one{x};
    if (phases::choose_model(one, N)) m.push_back(&x);
  }
  std::stable_sort(m.begin(), m.end(), [](const phases::Model* a, const phases::Model* b) { return a->bic < b->bic; });
  if (m.size() >= 2 && m[1]->bic - m[0]->bic < kStrongBic) {
    out.push_back("BIC of " + std::to_string(m[0]->k) + " and " + std::to_string(m[1]->k) + " phases differ by " +
                  format_number("%.1f", m[1]->bic - m[0]->bic) + ", less than " + format_number("%g", kStrongBic) +
                  ": no strong evidence for either (by convention a difference of 6 to 10 is strong evidence, above "
                  "10 very strong; see phases.models)");
  }
  return out;
}

namespace {
constexpr double kLongWait = 3600.0;  // seconds: a longer wait is announced, as for the ensemble
}  // namespace

std::string choice_time_warning(const RunParams& p, int N, int starts, int bootstrap, int jobs) {
  if (!p.random_search()) return "";
  const double run = static_cast<double>(starts) * expected_stage1_seconds(p.NTIR, N);  // processor seconds
  const double runs = mech::kMaxEngineRuns;
  const int choices = mech::kChoicesPerReplicate * bootstrap;  // of the replicates
  const double processor = runs * run * (1.0 + choices);
  const double wall = runs * run / std::clamp(jobs, 1, std::max(starts, 1)) +
                      (choices > 0 ? runs * run * choices / std::clamp(jobs, 1, choices) : 0.0);
  if (wall <= kLongWait) return "";
  return "the plane choice runs the engine up to " + std::to_string(mech::kMaxEngineRuns) + " times (" +
         std::to_string(starts) + (starts == 1 ? " start" : " starts") + " of NTIR = " + std::to_string(p.NTIR) + " draws on N = " +
         std::to_string(N) + " events)" +
         (bootstrap > 0 ? ", and twice again for each of " + std::to_string(bootstrap) + " replicates" : std::string()) +
         ": up to about " + duration_text(wall) + " on " + std::to_string(std::max(jobs, 1)) + " threads (" +
         duration_text(processor) + " of processor time)";
}

std::string separation_time_warning(const RunParams& p, int N, int jobs, int starts) {
  if (!p.random_search()) return "";
  const double processor = static_cast<double>(phases::inversion_count(starts)) * expected_stage1_seconds(p.NTIR, N);
  const double wall = processor / std::max(jobs, 1);
  if (wall <= kLongWait) return "";
  return "the separation into phases runs up to " + std::to_string(phases::inversion_count(starts)) +
         " inversions of NTIR = " + std::to_string(p.NTIR) + " draws on N = " + std::to_string(N) +
         " data: up to about " + duration_text(wall) + " on " + std::to_string(std::max(jobs, 1)) + " threads (" +
         duration_text(processor) + " of processor time)";
}

std::string linear_apart_warning(const RunReport& r, const RunParams& p) {
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
    if (m.with_gross) {
      moved = "; they are left out of the answer: without them the answer moves" +
              format_number(" %.1f", m.with_gross->stress_difference_deg) +
              " degrees in stress difference (the answer with them: mechanisms.with_gross_misfits)";
    } else if (m.without_gross && m.without_gross->found) {
      moved = "; more than 10 % of the events, they are no outliers and the answer keeps them: without them it "
              "moves" + format_number(" %.1f", m.without_gross->stress_difference_deg) +
              " degrees in stress difference (mechanisms.without_gross_misfits)";
    } else if (m.without_gross && !m.without_gross->found) {
      moved = "; the answer keeps them: without them " + m.without_gross->why;
    }
    w.push_back(std::to_string(o.gross_misfits) + " of " + std::to_string(o.events.size()) +
                (o.gross_misfits == 1 ? " event misfits" : " events misfit") +
                " by more than 45 degrees on both planes under the answer with every event (gross_misfit): " + ids +
                moved);
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
  if (m.bootstrap && m.simulated_failed > 0) {
    const int B = m.bootstrap->replicates;
    w.push_back(std::to_string(m.simulated_failed) + " of " + std::to_string(B) +
                " catalogues simulated under the answer could not be inverted: " +
                (m.simulated_failed < B ? "the R interval rests on the other " + std::to_string(B - m.simulated_failed)
                                        : std::string("the R interval is that of the resampled events alone, which "
                                                      "misses the lean of the choice's R (not calibrated)")));
  }
  const double R = static_cast<double>(o.final.best_tensor.P(4));
  if (R < kLowR || R > kHighR) {
    w.push_back("R =" + format_number(" %.2f", R) + (R < kLowR ? " (below 0.25)" : " (above 0.75)") +
                ": the axis nearest sigma 2 is weakly constrained");
  }
  return w;
}

}  // namespace zk::batch
