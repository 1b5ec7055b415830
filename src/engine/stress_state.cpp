#include "engine/stress_state.hpp"

#include <algorithm>
#include <cmath>

namespace zk {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kDegPerRad = 180.0 / kPi;

bool unit_vector(const AxisVector& v) {
  const double n2 = v[0] * v[0] + v[1] * v[1] + v[2] * v[2];
  return std::isfinite(n2) && std::fabs(n2 - 1.0) < 2e-3;
}

}  // namespace

HorizontalStress horizontal_stress(const AxisVector& v1, const AxisVector& v2, double R) {
  const double hnn = v1[1] * v1[1] + R * v2[1] * v2[1];
  const double hee = v1[0] * v1[0] + R * v2[0] * v2[0];
  const double hne = v1[1] * v1[0] + R * v2[1] * v2[0];
  HorizontalStress h;
  h.anisotropy = std::hypot(hnn - hee, 2.0 * hne);
  h.shmax = wrap_degrees(0.5 * std::atan2(2.0 * hne, hnn - hee) * kDegPerRad, 180.0);
  return h;
}

double r_prime(const std::array<double, 3>& plunges, double R) {
  int steepest = 0;
  for (int k = 1; k < 3; ++k) {
    if (plunges[static_cast<std::size_t>(k)] > plunges[static_cast<std::size_t>(steepest)]) steepest = k;
  }
  if (steepest == 0) return R;
  return steepest == 1 ? 2.0 - R : 2.0 + R;
}

RPrimeClass r_prime_class(double rp) {
  static constexpr RPrimeClass kClasses[] = {RPrimeClass::RadialExtension, RPrimeClass::PureExtension,
                                             RPrimeClass::Transtension,    RPrimeClass::PureStrikeSlip,
                                             RPrimeClass::Transpression,   RPrimeClass::PureCompression};
  // Upper bounds of the first six classes; everything from 2.75 on is radial compression.
  static constexpr double kUpper[] = {0.25, 0.75, 1.25, 1.75, 2.25, 2.75};
  for (int k = 0; k < 6; ++k) {
    if (rp < kUpper[k]) return kClasses[k];
  }
  return RPrimeClass::RadialCompression;
}

const char* r_prime_class_name(RPrimeClass c) {
  switch (c) {
    case RPrimeClass::RadialExtension: return "radial extension";
    case RPrimeClass::PureExtension: return "pure extension";
    case RPrimeClass::Transtension: return "transtension";
    case RPrimeClass::PureStrikeSlip: return "pure strike-slip";
    case RPrimeClass::Transpression: return "transpression";
    case RPrimeClass::PureCompression: return "pure compression";
    case RPrimeClass::RadialCompression: return "radial compression";
  }
  return "";
}

WsmResult wsm_regime(const std::array<Attitude, 3>& a) {
  const double pl1 = a[0].plunge, pl2 = a[1].plunge, pl3 = a[2].plunge;
  const auto result = [](WsmRegime r, double azimuth) { return WsmResult{r, wrap_degrees(azimuth, 180.0)}; };
  if (pl1 >= 52.0 && pl3 <= 35.0) return result(WsmRegime::NF, a[1].trend);
  if (pl1 >= 40.0 && pl1 < 52.0 && pl3 <= 20.0) return result(WsmRegime::NS, a[2].trend + 90.0);
  if (pl1 < 40.0 && pl2 >= 45.0 && pl3 <= 20.0) return result(WsmRegime::SS, a[2].trend + 90.0);
  if (pl1 <= 20.0 && pl2 >= 45.0 && pl3 < 40.0) return result(WsmRegime::SS, a[0].trend);
  if (pl1 <= 20.0 && pl3 >= 40.0 && pl3 < 52.0) return result(WsmRegime::TS, a[0].trend);
  if (pl1 <= 35.0 && pl3 >= 52.0) return result(WsmRegime::TF, a[0].trend);
  return WsmResult{};
}

const char* wsm_regime_code(WsmRegime r) {
  switch (r) {
    case WsmRegime::NF: return "NF";
    case WsmRegime::NS: return "NS";
    case WsmRegime::SS: return "SS";
    case WsmRegime::TS: return "TS";
    case WsmRegime::TF: return "TF";
    case WsmRegime::U: return "U";
  }
  return "U";
}

StressState stress_state(const std::array<AxisVector, 3>& axes, double R) {
  StressState s;
  for (const AxisVector& v : axes) {
    if (!unit_vector(v)) return s;
  }
  if (!std::isfinite(R)) return s;
  s.defined = true;
  const HorizontalStress h = horizontal_stress(axes[0], axes[1], R);
  s.anisotropy = h.anisotropy;
  if (h.anisotropy >= kShmaxNull) s.shmax = h.shmax;
  s.shmax_poorly_defined = h.anisotropy < kShmaxPoorlyDefined;
  const std::array<Attitude, 3> att = {attitude_of(axes[0]), attitude_of(axes[1]), attitude_of(axes[2])};
  s.r_prime = r_prime({att[0].plunge, att[1].plunge, att[2].plunge}, R);
  s.r_prime_class = r_prime_class(s.r_prime);
  s.wsm = wsm_regime(att);
  return s;
}

StressState stress_state(const TensorSnapshot& t) {
  std::array<AxisVector, 3> axes;
  for (int L = 1; L <= 3; ++L) {
    for (int c = 1; c <= 3; ++c) {
      axes[static_cast<std::size_t>(L - 1)][static_cast<std::size_t>(c - 1)] = static_cast<double>(t.ROT(L, c));
    }
  }
  return stress_state(axes, static_cast<double>(t.P(4)));
}

Matrix3 reduced_tensor(const TensorSnapshot& t) {
  Matrix3 T{};
  for (int L = 1; L <= 3; ++L) {
    const double s = static_cast<double>(t.VP(L));
    for (int i = 1; i <= 3; ++i) {
      for (int j = 1; j <= 3; ++j) {
        T[static_cast<std::size_t>(i - 1)][static_cast<std::size_t>(j - 1)] +=
            s * static_cast<double>(t.ROT(L, i)) * static_cast<double>(t.ROT(L, j));
      }
    }
  }
  return T;
}

PlaneStress plane_stress(const Matrix3& T, const AxisVector& n) {
  AxisVector t{};
  for (std::size_t i = 0; i < 3; ++i) {
    for (std::size_t j = 0; j < 3; ++j) t[i] += T[i][j] * n[j];
  }
  PlaneStress p;
  p.normal = t[0] * n[0] + t[1] * n[1] + t[2] * n[2];
  const AxisVector tau = {t[0] - p.normal * n[0], t[1] - p.normal * n[1], t[2] - p.normal * n[2]};
  p.shear = std::sqrt(tau[0] * tau[0] + tau[1] * tau[1] + tau[2] * tau[2]);
  if (p.shear >= 1e-9) p.slip = AxisVector{tau[0] / p.shear, tau[1] / p.shear, tau[2] / p.shear};
  return p;
}

Matrix3 reduced_tensor(const std::array<AxisVector, 3>& axes, double R) {
  const double s[3] = {1.0 - (1.0 + R) / 3.0, R - (1.0 + R) / 3.0, -(1.0 + R) / 3.0};
  Matrix3 T{};
  for (std::size_t L = 0; L < 3; ++L) {
    for (std::size_t i = 0; i < 3; ++i) {
      for (std::size_t j = 0; j < 3; ++j) T[i][j] += s[L] * axes[L][i] * axes[L][j];
    }
  }
  return T;
}

double slip_misfit_rad(const Matrix3& T, const AxisVector& n, const AxisVector& slip) {
  const PlaneStress ps = plane_stress(T, n);
  if (!ps.slip) return kPi / 2.0;
  const AxisVector& p = *ps.slip;
  const AxisVector c{slip[1] * p[2] - slip[2] * p[1], slip[2] * p[0] - slip[0] * p[2], slip[0] * p[1] - slip[1] * p[0]};
  return std::atan2(std::sqrt(c[0] * c[0] + c[1] * c[1] + c[2] * c[2]), slip[0] * p[0] + slip[1] * p[1] + slip[2] * p[2]);
}

double stress_difference_deg(const Matrix3& a, const Matrix3& b) {
  // Deviatoric parts; the angle is the arccosine of their normalised inner
  // product (the double contraction A:B).
  const double ta = (a[0][0] + a[1][1] + a[2][2]) / 3.0, tb = (b[0][0] + b[1][1] + b[2][2]) / 3.0;
  double ab = 0.0, aa = 0.0, bb = 0.0;
  for (std::size_t i = 0; i < 3; ++i) {
    for (std::size_t j = 0; j < 3; ++j) {
      const double x = a[i][j] - (i == j ? ta : 0.0), y = b[i][j] - (i == j ? tb : 0.0);
      ab += x * y;
      aa += x * x;
      bb += y * y;
    }
  }
  const double norm = std::sqrt(aa * bb);
  if (!std::isfinite(norm) || !std::isfinite(ab) || norm < 1e-12) return std::nan("");
  return std::acos(std::clamp(ab / norm, -1.0, 1.0)) * kDegPerRad;
}

}  // namespace zk
