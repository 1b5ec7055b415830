#include "ensemble/quality.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>

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
