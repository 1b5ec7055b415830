#include "ensemble/quality.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <utility>

namespace zk::ensemble {

namespace {
constexpr double kPi = 3.14159265358979323846;
}

std::optional<double> axial_sd_deg(const std::vector<double>& azimuths_deg) {
  if (azimuths_deg.empty()) return std::nullopt;
  double c = 0.0, s = 0.0;
  for (const double a : azimuths_deg) {
    const double doubled = 2.0 * a * kPi / 180.0;
    c += std::cos(doubled);
    s += std::sin(doubled);
  }
  const double rbar = std::hypot(c, s) / static_cast<double>(azimuths_deg.size());
  if (rbar < 1e-12) return std::nullopt;
  // max: replicates all alike give log 1 = 0, whose negation is -0.
  const double sd = std::sqrt(std::max(0.0, -2.0 * std::log(std::min(rbar, 1.0))));
  return sd * 180.0 / kPi / 2.0;
}

Quality shmax_quality(const QualityInput& in) {
  if (in.used == 0) return {'E', "every replicate failed"};
  if (!in.shmax) return {'E', "SHmax undefined"};
  if (in.poorly_defined) return {'E', "SHmax poorly defined"};
  const double undefined_share = static_cast<double>(in.undefined) / static_cast<double>(in.used);
  char buf[96];
  if (undefined_share > kQualityUndefinedShare) {
    std::snprintf(buf, sizeof buf, "SHmax undefined in %.0f %% of the replicates", 100.0 * undefined_share);
    return {'E', buf};
  }
  if (!in.sd_deg) return {'E', "replicates' SHmax without a preferred direction"};
  std::snprintf(buf, sizeof buf, "SHmax sd %.1f deg", *in.sd_deg);
  char rank = 'E';
  for (int k = 3; k >= 0; --k) {
    if (*in.sd_deg <= kQualityBoundDeg[k]) rank = static_cast<char>('A' + k);
  }
  return {rank, buf};
}

}  // namespace zk::ensemble

namespace zk::ensemble {

namespace {

std::string fixed(const char* f, double v) {
  char buf[64];
  std::snprintf(buf, sizeof buf, f, v);
  return buf;
}

}  // namespace

Family kinematic_family(double rake_deg) {
  double r = std::fmod(rake_deg, 360.0);
  if (r > 180.0) r -= 360.0;
  if (r <= -180.0) r += 360.0;
  const double a = std::fabs(r);
  if (a <= 45.0) return Family::Sinistral;
  if (a >= 135.0) return Family::Dextral;
  return r > 0.0 ? Family::Reverse : Family::Normal;
}

const char* family_name(Family f) {
  switch (f) {
    case Family::Normal: return "normal";
    case Family::Reverse: return "reverse";
    case Family::Sinistral: return "sinistral";
    case Family::Dextral: return "dextral";
  }
  return "";
}

bool R_at_bound(double R) { return R < kRBound || R > 1.0 - kRBound; }

char fit_rank(int n_used, int n_given, double mean_misfit_deg) {
  const double share = n_given > 0 ? static_cast<double>(n_used) / static_cast<double>(n_given) : 0.0;
  for (int k = 0; k < 4; ++k) {
    const FitBound& b = kFitBounds[k];
    if (n_used >= b.n && share >= b.share && mean_misfit_deg <= b.misfit_deg) return static_cast<char>('A' + k);
  }
  return 'E';
}

AnswerQuality answer_quality(const AnswerInput& in) {
  AnswerQuality q;
  q.n_used = in.n_used;
  q.n_given = in.n_given;
  q.mean_misfit_deg = in.mean_misfit_deg;
  q.R_at_bound = R_at_bound(in.R);
  q.fit_rank = fit_rank(in.n_used, in.n_given, in.mean_misfit_deg);
  // Each cap with its reason, in the order of ties.
  std::vector<std::pair<char, std::string>> caps;
  if (q.R_at_bound) {
    caps.emplace_back('E', "R = " + fixed("%.2f", in.R) + " at a bound (" +
                               (in.R < kRBound ? "sigma 2 and sigma 3" : "sigma 1 and sigma 2") + " not told apart)");
  }
  if (in.spread && in.spread->R_low && in.spread->R_high) {
    const double lo = *in.spread->R_low, hi = *in.spread->R_high;
    if ((lo < kRBound || hi > 1.0 - kRBound) && hi - lo > kWideRInterval) {
      caps.emplace_back('E', "R interval " + fixed("%.2f", lo) + "-" + fixed("%.2f", hi) + " reaches a bound and is wider than " +
                                 fixed("%.1f", kWideRInterval));
    }
  }
  if (in.spread && !(in.spread->largest_regime_share >= kRegimeMajority)) {
    caps.emplace_back('E', "no regime holds half of the replicates (the most frequent " +
                               fixed("%.0f", 100.0 * in.spread->largest_regime_share) + " %)");
  }
  if (in.one_family) {
    caps.emplace_back(kOneFamilyRank, std::string("every datum of the phase is ") + family_name(*in.one_family) +
                                          " (one kinematic family): at most " + kOneFamilyRank);
  }
  const double share = in.n_given > 0 ? 100.0 * in.n_used / in.n_given : 0.0;
  caps.emplace_back(q.fit_rank, std::string("fit ") + q.fit_rank + ": " + std::to_string(in.n_used) + " of " +
                                    std::to_string(in.n_given) + " data used (" + fixed("%.0f", share) +
                                    " %), mean misfit " + fixed("%.1f", in.mean_misfit_deg) + " deg");
  if (in.spread) {
    q.spread_rank = in.spread->shmax.rank;
    caps.emplace_back(in.spread->shmax.rank, in.spread->shmax.reason);
  }
  std::stable_sort(caps.begin(), caps.end(), [](const auto& a, const auto& b) { return a.first > b.first; });
  q.rank = caps.front().first;
  for (auto& c : caps) q.reasons.push_back(std::move(c.second));
  return q;
}

}  // namespace zk::ensemble
