// SHmax, R' and the World Stress Map regime: published values, Andersonian
// tensors, and every class boundary on both sides.
#include "engine/stress_state.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace zk {
namespace {

constexpr double kNone = std::numeric_limits<double>::quiet_NaN();

// Axes from sigma 1 and sigma 3 (made normal to sigma 1); sigma 2 = sigma 3 x sigma 1.
std::array<AxisVector, 3> axes_from(double t1, double p1, double t3, double p3) {
  const AxisVector a = axis_of(t1, p1);
  AxisVector c = axis_of(t3, p3);
  const double d = a[0] * c[0] + a[1] * c[1] + a[2] * c[2];
  for (std::size_t k = 0; k < 3; ++k) c[k] -= d * a[k];
  const double n = std::sqrt(c[0] * c[0] + c[1] * c[1] + c[2] * c[2]);
  for (double& x : c) x /= n;
  return {a, AxisVector{c[1] * a[2] - c[2] * a[1], c[2] * a[0] - c[0] * a[2], c[0] * a[1] - c[1] * a[0]}, c};
}

// Azimuths are axial; a missing one must be expected as kNone.
void expect_azimuth(const std::optional<double>& got, double want, double tol, const std::string& what) {
  ASSERT_EQ(got.has_value(), !std::isnan(want)) << what;
  if (!got) return;
  const double g = std::fmod(std::fabs(*got - want), 180.0);
  EXPECT_LT(std::min(g, 180.0 - g), tol) << what << ": " << *got;
  EXPECT_TRUE(*got >= 0.0 && *got < 180.0) << what << ": " << *got;
}

TEST(Shmax, LundAndTownendBenchmark) {
  // sigma 1 250.89/70.07, sigma 3 103.01/17.07; their ratio is 1 - R.
  const auto axes = axes_from(250.89, 70.07, 103.01, 17.07);
  const double cases[][2] = {{0.0, 70.89}, {0.1, 45.01}, {0.5, 16.47}, {0.9, 13.38}, {1.0, 13.01}};
  for (const auto& c : cases) expect_azimuth(stress_state(axes, c[0]).shmax, c[1], 0.01, "R " + std::to_string(c[0]));
}

TEST(StressState, AndersonianRadialAndObliqueTensors) {
  const struct {
    const char* name;
    double t1, p1, t3, p3, R, shmax;
    bool poorly;
    double r_prime;
    RPrimeClass cls;
    WsmRegime wsm;
    double wsm_shmax;
  } cases[] = {
      {"normal: sigma 2", 0, 90, 120, 0, 0.5, 30, false, 0.5, RPrimeClass::PureExtension, WsmRegime::NF, 30},
      {"strike-slip: sigma 1", 140, 0, 50, 0, 0.5, 140, false, 1.5, RPrimeClass::PureStrikeSlip, WsmRegime::SS, 140},
      {"thrust: sigma 1", 255, 0, 0, 90, 0.6, 75, false, 2.6, RPrimeClass::PureCompression, WsmRegime::TF, 75},
      {"radial extension", 0, 90, 120, 0, 0.0, kNone, true, 0.0, RPrimeClass::RadialExtension, WsmRegime::NF, 30},
      {"radial compression", 75, 0, 0, 90, 1.0, kNone, true, 3.0, RPrimeClass::RadialCompression, WsmRegime::TF, 75},
      // With sigma 1 vertical A = R: either side of 0.1.
      {"nearly radial", 0, 90, 120, 0, 0.0999, 30, true, 0.0999, RPrimeClass::RadialExtension, WsmRegime::NF, 30},
      {"just defined", 0, 90, 120, 0, 0.1001, 30, false, 0.1001, RPrimeClass::RadialExtension, WsmRegime::NF, 30},
      // Oblique: sigma 2 is 007.2/29.4; the two SHmax differ.
      {"oblique", 200, 60, 100, 5, 0.3, 13.89, false, 0.3, RPrimeClass::PureExtension, WsmRegime::NF, 7.18},
  };
  for (const auto& c : cases) {
    const StressState s = stress_state(axes_from(c.t1, c.p1, c.t3, c.p3), c.R);
    ASSERT_TRUE(s.defined) << c.name;
    expect_azimuth(s.shmax, c.shmax, 0.01, c.name);
    EXPECT_EQ(s.shmax_poorly_defined, c.poorly) << c.name << " A = " << s.anisotropy;
    EXPECT_NEAR(s.r_prime, c.r_prime, 1e-9) << c.name;
    EXPECT_EQ(s.r_prime_class, c.cls) << c.name;
    EXPECT_EQ(s.wsm.regime, c.wsm) << c.name;
    expect_azimuth(s.wsm.shmax, c.wsm_shmax, 0.01, std::string("WSM ") + c.name);
  }
  // Axes that are not numbers, or not unit vectors, have no state.
  auto axes = axes_from(10.0, 20.0, 100.0, 0.0);
  EXPECT_FALSE(stress_state(axes, kNone).defined);
  axes[1] = {0.0, 0.0, 0.0};
  const StressState s = stress_state(axes, 0.5);
  EXPECT_FALSE(s.defined || s.shmax || s.wsm.shmax);
}

TEST(RPrime, SteepestAxisAndClassBoundaries) {
  // Which axis is steepest: the Andersonian cases above; a tie goes to the lower index.
  EXPECT_DOUBLE_EQ(r_prime({45.0, 45.0, 0.0}, 0.3), 0.3);
  EXPECT_DOUBLE_EQ(r_prime({10.0, 45.0, 45.0}, 0.3), 1.7);
  using C = RPrimeClass;
  const C order[] = {C::RadialExtension, C::PureExtension,   C::Transtension,      C::PureStrikeSlip,
                     C::Transpression,   C::PureCompression, C::RadialCompression};
  for (int k = 0; k < 6; ++k) {
    const double bound = 0.25 + 0.5 * k;
    EXPECT_EQ(r_prime_class(std::nextafter(bound, 0.0)), order[k]) << bound;
    EXPECT_EQ(r_prime_class(bound), order[k + 1]) << bound;
  }
  EXPECT_EQ(r_prime_class(0.0), C::RadialExtension);
  EXPECT_EQ(r_prime_class(3.0), C::RadialCompression);
  EXPECT_STREQ(r_prime_class_name(C::PureStrikeSlip), "pure strike-slip");
}

TEST(WsmRegime, EveryBoundaryOnBothSides) {
  // Trends: sigma 1 190 (SHmax 10), sigma 2 100, sigma 3 200 (SHmax 110).
  const double e = 0.01;
  using W = WsmRegime;
  const struct {
    double pl1, pl2, pl3;
    W regime;
    double shmax;
  } cases[] = {
      {52, 30, 35, W::NF, 100},          {52 - e, 30, 10, W::NS, 110},      {60, 20, 35 + e, W::U, kNone},
      {40, 30, 20, W::NS, 110},          {40 - e, 50, 20, W::SS, 110},      {45, 30, 20 + e, W::U, kNone},
      {40 - e, 45, 20, W::SS, 110},      {30, 45 - e, 10, W::U, kNone},     {20, 45, 40 - e, W::SS, 10},
      {20 + e, 50, 30, W::U, kNone},     {20, 45, 40, W::TS, 10},           {20, 30, 40 - e, W::U, kNone},
      {20, 30, 52 - e, W::TS, 10},       {20 + e, 30, 45, W::U, kNone},     {20, 30, 52, W::TF, 10},
      {35, 10, 52, W::TF, 10},           {35 + e, 10, 60, W::U, kNone},     {30, 10, 52 - e, W::U, kNone},
  };
  for (const auto& c : cases) {
    const WsmResult w = wsm_regime({Attitude{190.0, c.pl1}, Attitude{100.0, c.pl2}, Attitude{200.0, c.pl3}});
    const std::string what = std::to_string(c.pl1) + " " + std::to_string(c.pl2) + " " + std::to_string(c.pl3);
    EXPECT_EQ(w.regime, c.regime) << what;
    expect_azimuth(w.shmax, c.shmax, 1e-9, what);
  }
  EXPECT_STREQ(wsm_regime_code(W::TS), "TS");
}

TEST(StressDifference, HandComputedCases) {
  const auto axes = axes_from(30.0, 60.0, 200.0, 25.0);
  const std::array<AxisVector, 3> s2s3 = {axes[0], axes[2], axes[1]};
  const std::array<AxisVector, 3> s1s3 = {axes[2], axes[1], axes[0]};
  const struct {
    std::array<AxisVector, 3> a;
    double Ra;
    std::array<AxisVector, 3> b;
    double Rb, want;
  } cases[] = {
      {axes, 0.4, axes, 0.4, 0.0},   // the same tensor
      {axes, 0.0, s2s3, 0.0, 0.0},   // sigma 2 = sigma 3: their axes are any pair
      {axes, 0.5, s1s3, 0.5, 180.0}, // sigma 1 and sigma 3 exchanged: the opposite state
      {axes, 0.0, axes, 1.0, 60.0},  // deviators (2,-1,-1)/3 and (1,1,-2)/3: cos = 1/2
      // (1, R, 0) against (1, 0, R): cos = (3 - (1 + R)^2) / (2 (1 - R + R^2))
      {axes, 0.3, s2s3, 0.3, std::acos((3.0 - 1.69) / (2.0 * 0.79)) * 180.0 / 3.14159265358979323846},
  };
  for (const auto& c : cases) {
    EXPECT_NEAR(stress_difference_deg(reduced_tensor(c.a, c.Ra), reduced_tensor(c.b, c.Rb)), c.want, 1e-6)
        << c.Ra << " " << c.Rb << " " << c.want;
  }
  // Scale and isotropic part do not count; an isotropic tensor has no direction.
  Matrix3 scaled = reduced_tensor(axes, 0.4);
  for (std::size_t i = 0; i < 3; ++i) {
    for (std::size_t j = 0; j < 3; ++j) scaled[i][j] = 3.0 * scaled[i][j] + (i == j ? 7.0 : 0.0);
  }
  EXPECT_NEAR(stress_difference_deg(reduced_tensor(axes, 0.4), scaled), 0.0, 1e-6);
  const Matrix3 iso = {{{1.0, 0.0, 0.0}, {0.0, 1.0, 0.0}, {0.0, 0.0, 1.0}}};
  EXPECT_TRUE(std::isnan(stress_difference_deg(iso, scaled)));
}

}  // namespace
}  // namespace zk
