// SHmax, R' and the World Stress Map regime: published values, Andersonian
// tensors, and every class boundary on both sides.
#include "engine/stress_state.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace zk {
namespace {

AxisVector cross(const AxisVector& a, const AxisVector& b) {
  return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}

std::array<AxisVector, 3> axes_from(double t1, double p1, double t3, double p3) {
  // sigma 3 made normal to sigma 1, then sigma 2 = sigma 3 x sigma 1.
  const AxisVector v1 = axis_of(t1, p1);
  AxisVector v3 = axis_of(t3, p3);
  const double d = v1[0] * v3[0] + v1[1] * v3[1] + v1[2] * v3[2];
  for (std::size_t k = 0; k < 3; ++k) v3[k] -= d * v1[k];
  const double n3 = std::sqrt(v3[0] * v3[0] + v3[1] * v3[1] + v3[2] * v3[2]);
  for (double& c : v3) c /= n3;
  return {v1, cross(v3, v1), v3};
}

// Azimuths are axial: 179.999 and 0.001 are 0.002 apart.
double axial_gap(double a, double b) {
  const double d = std::fmod(std::fabs(a - b), 180.0);
  return std::min(d, 180.0 - d);
}

TEST(Shmax, LundAndTownendBenchmark) {
  // Lund & Townend (2007): sigma 1 250.89/70.07, sigma 3 103.01/17.07; their
  // ratio is 1 - R, so R = 0 here is their ratio 1.
  const auto axes = axes_from(250.89, 70.07, 103.01, 17.07);
  const struct {
    double R, shmax;
  } cases[] = {{0.0, 70.89}, {0.1, 45.01}, {0.5, 16.47}, {0.9, 13.38}, {1.0, 13.01}};
  for (const auto& c : cases) {
    const StressState s = stress_state(axes, c.R);
    ASSERT_TRUE(s.shmax.has_value()) << c.R;
    EXPECT_LT(axial_gap(*s.shmax, c.shmax), 0.01) << "R = " << c.R << ": " << *s.shmax;
  }
}

TEST(StressState, AndersonianAndRadialTensors) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const struct {
    const char* name;
    double t1, p1, t3, p3, R;
    double shmax;  // NaN: none
    bool poorly;
    double r_prime;
    RPrimeClass cls;
    WsmRegime wsm;
    double wsm_shmax;  // NaN: none
  } cases[] = {
      // sigma 1 vertical, sigma 3 toward 120: SHmax along sigma 2 (030).
      {"normal", 0.0, 90.0, 120.0, 0.0, 0.5, 30.0, false, 0.5, RPrimeClass::PureExtension, WsmRegime::NF, 30.0},
      // sigma 2 vertical: SHmax along sigma 1.
      {"strike-slip", 140.0, 0.0, 50.0, 0.0, 0.5, 140.0, false, 1.5, RPrimeClass::PureStrikeSlip, WsmRegime::SS,
       140.0},
      {"thrust", 75.0, 0.0, 0.0, 90.0, 0.5, 75.0, false, 2.5, RPrimeClass::PureCompression, WsmRegime::TF, 75.0},
      {"thrust, sigma 1 toward the south-west", 255.0, 0.0, 0.0, 90.0, 0.6, 75.0, false, 2.6,
       RPrimeClass::PureCompression, WsmRegime::TF, 75.0},
      // Radial: the horizontal stresses are equal.
      {"radial extension", 0.0, 90.0, 120.0, 0.0, 0.0, nan, true, 0.0, RPrimeClass::RadialExtension, WsmRegime::NF,
       30.0},
      {"radial compression", 75.0, 0.0, 0.0, 90.0, 1.0, nan, true, 3.0, RPrimeClass::RadialCompression,
       WsmRegime::TF, 75.0},
      // A = R when sigma 1 is vertical: either side of 0.1.
      {"nearly radial", 0.0, 90.0, 120.0, 0.0, 0.0999, 30.0, true, 0.0999, RPrimeClass::RadialExtension,
       WsmRegime::NF, 30.0},
      {"just defined", 0.0, 90.0, 120.0, 0.0, 0.1001, 30.0, false, 0.1001, RPrimeClass::RadialExtension,
       WsmRegime::NF, 30.0},
      // An oblique tensor: the two SHmax differ (sigma 2 is 007.2/29.4).
      {"oblique", 200.0, 60.0, 100.0, 5.0, 0.3, 13.89, false, 0.3, RPrimeClass::PureExtension, WsmRegime::NF,
       7.18},
  };
  for (const auto& c : cases) {
    const StressState s = stress_state(axes_from(c.t1, c.p1, c.t3, c.p3), c.R);
    ASSERT_TRUE(s.defined) << c.name;
    EXPECT_EQ(s.shmax.has_value(), !std::isnan(c.shmax)) << c.name;
    if (s.shmax && !std::isnan(c.shmax)) {
      EXPECT_LT(axial_gap(*s.shmax, c.shmax), 0.01) << c.name << " " << *s.shmax;
    }
    EXPECT_EQ(s.shmax_poorly_defined, c.poorly) << c.name << " A = " << s.anisotropy;
    EXPECT_NEAR(s.r_prime, c.r_prime, 1e-9) << c.name;
    EXPECT_EQ(s.r_prime_class, c.cls) << c.name;
    EXPECT_EQ(s.wsm.regime, c.wsm) << c.name;
    EXPECT_EQ(s.wsm.shmax.has_value(), !std::isnan(c.wsm_shmax)) << c.name;
    if (s.wsm.shmax && !std::isnan(c.wsm_shmax)) {
      EXPECT_LT(axial_gap(*s.wsm.shmax, c.wsm_shmax), 0.01) << c.name;
    }
  }
}

TEST(StressState, UndefinedAxesGiveNoState) {
  auto axes = axes_from(10.0, 20.0, 100.0, 0.0);
  EXPECT_TRUE(stress_state(axes, 0.5).defined);
  EXPECT_FALSE(stress_state(axes, std::numeric_limits<double>::quiet_NaN()).defined);
  axes[1] = {std::numeric_limits<double>::quiet_NaN(), 0.0, 0.0};
  const StressState s = stress_state(axes, 0.5);
  EXPECT_FALSE(s.defined);
  EXPECT_FALSE(s.shmax.has_value());
  EXPECT_EQ(s.wsm.regime, WsmRegime::U);
  axes[1] = {0.0, 0.0, 0.0};  // a zero axis
  EXPECT_FALSE(stress_state(axes, 0.5).defined);
}

TEST(RPrime, SteepestAxisAndClassBoundaries) {
  EXPECT_DOUBLE_EQ(r_prime({80.0, 10.0, 0.0}, 0.3), 0.3);
  EXPECT_DOUBLE_EQ(r_prime({10.0, 80.0, 0.0}, 0.3), 1.7);
  EXPECT_DOUBLE_EQ(r_prime({10.0, 0.0, 80.0}, 0.3), 2.3);
  EXPECT_DOUBLE_EQ(r_prime({45.0, 45.0, 0.0}, 0.3), 0.3);  // a tie goes to the lower index
  const struct {
    double bound;
    RPrimeClass below, at;
  } cases[] = {
      {0.25, RPrimeClass::RadialExtension, RPrimeClass::PureExtension},
      {0.75, RPrimeClass::PureExtension, RPrimeClass::Transtension},
      {1.25, RPrimeClass::Transtension, RPrimeClass::PureStrikeSlip},
      {1.75, RPrimeClass::PureStrikeSlip, RPrimeClass::Transpression},
      {2.25, RPrimeClass::Transpression, RPrimeClass::PureCompression},
      {2.75, RPrimeClass::PureCompression, RPrimeClass::RadialCompression},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(r_prime_class(std::nextafter(c.bound, 0.0)), c.below) << c.bound;
    EXPECT_EQ(r_prime_class(c.bound), c.at) << c.bound;
  }
  EXPECT_EQ(r_prime_class(0.0), RPrimeClass::RadialExtension);
  EXPECT_EQ(r_prime_class(3.0), RPrimeClass::RadialCompression);
  EXPECT_STREQ(r_prime_class_name(RPrimeClass::PureStrikeSlip), "pure strike-slip");
}

TEST(WsmRegime, EveryBoundaryOnBothSides) {
  // Trends: sigma 1 190 (SHmax 10), sigma 2 100, sigma 3 200 (SHmax 110).
  const double e = 0.01;
  const struct {
    double pl1, pl2, pl3;
    WsmRegime regime;
    double shmax;  // -1: none
  } cases[] = {
      {52.0, 30.0, 35.0, WsmRegime::NF, 100.0},        // NF at both bounds
      {52.0 - e, 30.0, 10.0, WsmRegime::NS, 110.0},    // pl1 below 52: NS
      {60.0, 20.0, 35.0 + e, WsmRegime::U, -1.0},      // pl3 above 35
      {40.0, 30.0, 20.0, WsmRegime::NS, 110.0},        // NS at both bounds
      {40.0 - e, 50.0, 20.0, WsmRegime::SS, 110.0},    // pl1 below 40: SS by sigma 3
      {45.0, 30.0, 20.0 + e, WsmRegime::U, -1.0},      // pl3 above 20
      {40.0 - e, 45.0, 20.0, WsmRegime::SS, 110.0},    // SS by sigma 3 at its bounds
      {30.0, 45.0 - e, 10.0, WsmRegime::U, -1.0},      // pl2 below 45
      {20.0, 45.0, 40.0 - e, WsmRegime::SS, 10.0},     // SS by sigma 1 at its bounds
      {20.0 + e, 50.0, 30.0, WsmRegime::U, -1.0},      // pl1 above 20
      {20.0, 45.0, 40.0, WsmRegime::TS, 10.0},         // pl3 reaches 40: TS
      {20.0, 30.0, 40.0 - e, WsmRegime::U, -1.0},      // pl2 below 45, pl3 below 40
      {20.0, 30.0, 52.0 - e, WsmRegime::TS, 10.0},     // TS at its bounds
      {20.0 + e, 30.0, 45.0, WsmRegime::U, -1.0},      // pl1 above 20
      {20.0, 30.0, 52.0, WsmRegime::TF, 10.0},         // pl3 reaches 52: TF
      {35.0, 10.0, 52.0, WsmRegime::TF, 10.0},         // TF at its bounds
      {35.0 + e, 10.0, 60.0, WsmRegime::U, -1.0},      // pl1 above 35
      {30.0, 10.0, 52.0 - e, WsmRegime::U, -1.0},      // pl3 below 52 with pl1 above 20
  };
  for (const auto& c : cases) {
    const WsmResult w = wsm_regime({Attitude{190.0, c.pl1}, Attitude{100.0, c.pl2}, Attitude{200.0, c.pl3}});
    EXPECT_EQ(w.regime, c.regime) << c.pl1 << " " << c.pl2 << " " << c.pl3;
    EXPECT_EQ(w.shmax.has_value(), c.shmax >= 0.0) << c.pl1 << " " << c.pl2 << " " << c.pl3;
    if (w.shmax && c.shmax >= 0.0) {
      EXPECT_DOUBLE_EQ(*w.shmax, c.shmax) << c.pl1 << " " << c.pl2 << " " << c.pl3;
    }
  }
  EXPECT_STREQ(wsm_regime_code(WsmRegime::TS), "TS");
}

TEST(PlaneStress, MohrCoordinatesAndShearDirection) {
  // Axes along x, y, z with R = 0.5: T = diag(0.5, 0, -0.5), compression positive.
  const Matrix3 T = {{{0.5, 0.0, 0.0}, {0.0, 0.0, 0.0}, {0.0, 0.0, -0.5}}};
  const double h = std::sqrt(0.5);
  const struct {
    AxisVector n;
    double normal, shear;
    bool slip;
    AxisVector direction;
  } cases[] = {
      {{1.0, 0.0, 0.0}, 0.5, 0.0, false, {}},     // normal to sigma 1: no shear, no direction
      {{0.0, 0.0, -1.0}, -0.5, 0.0, false, {}},   // normal to sigma 3
      {{h, 0.0, -h}, 0.0, 0.5, true, {h, 0.0, h}},  // 45 degrees from sigma 1 and 3: top of the large circle
      {{0.0, h, -h}, -0.25, 0.25, true, {0.0, h, h}},  // between sigma 2 and 3: top of the small circle
  };
  for (const auto& c : cases) {
    const PlaneStress p = plane_stress(T, c.n);
    EXPECT_NEAR(p.normal, c.normal, 1e-12);
    EXPECT_NEAR(p.shear, c.shear, 1e-12);
    ASSERT_EQ(p.slip.has_value(), c.slip) << c.normal;
    if (!p.slip) continue;
    for (std::size_t k = 0; k < 3; ++k) EXPECT_NEAR((*p.slip)[k], c.direction[k], 1e-12);
  }
}

}  // namespace
}  // namespace zk
