// Focal mechanisms: nodal-plane geometry, the linear inversion, the
// instability and the plane choice, on cases whose answer is known.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "mechanisms/choice.hpp"
#include "synthetic_input.hpp"

namespace zk::mech {
namespace {

constexpr double kPi = 3.14159265358979323846;

double plane_gap(const NodalPlane& a, const NodalPlane& b) { return fault_gap_deg(vectors_of(a), vectors_of(b)); }

TEST(NodalPlanes, PublishedAuxiliaryPlanesAndIdentities) {
  const struct {
    NodalPlane given, aux;
    double within;
  } cases[] = {{{203, 10, 88}, {25, 80, 90}, 1.0},   {{329, 8, 110}, {129, 83, 87}, 1.0},
               {{0, 45, 90}, {180, 45, 90}, 1e-9},   {{30, 90, 0}, {300, 90, 180}, 1e-9},
               {{120, 60, -90}, {300, 30, -90}, 1e-9}};
  for (const auto& c : cases) {
    const NodalPlane aux = auxiliary(c.given);
    EXPECT_LE(plane_gap(aux, c.aux), c.within) << c.given.strike << "/" << c.given.dip << "/" << c.given.rake;
    if (c.aux.dip < 90) {  // a vertical plane has two spellings
      EXPECT_NEAR(aux.strike, c.aux.strike, c.within + 1e-9);
    }
    EXPECT_LT(plane_gap(auxiliary(aux), c.given), 1e-9);
    EXPECT_LE(auxiliary(vectors_of(c.given)).normal[2], 0.0);  // the auxiliary normal points down too
    const NodalPlane back = plane_of(vectors_of(c.given));
    EXPECT_LT(plane_gap(back, c.given), 1e-9);
    // The moment tensor n s^T + s n^T is the same for both planes.
    const DoubleCouple a = vectors_of(c.given), b = vectors_of(aux);
    for (std::size_t i = 0; i < 3; ++i) {
      for (std::size_t j = 0; j < 3; ++j) {
        EXPECT_NEAR(a.normal[i] * a.slip[j] + a.slip[i] * a.normal[j],
                    b.normal[i] * b.slip[j] + b.slip[i] * b.normal[j], 1e-9);
      }
    }
  }
}

TEST(NodalPlanes, ThrustHasHorizontalPressureAndVerticalTension) {
  // A thrust dipping 45 degrees east (strike 0): P east-west, T vertical.
  const PTAxes pt = pt_axes(vectors_of({0, 45, 90}));
  EXPECT_NEAR(std::fabs(pt.P[0]), 1.0, 1e-12);
  EXPECT_NEAR(std::fabs(pt.T[2]), 1.0, 1e-12);
  const Attitude t = attitude_of(pt_axes(vectors_of({0, 45, -90})).T);  // normal fault: T east-west
  EXPECT_NEAR(t.plunge, 0.0, 1e-9);
}

Principal stress_of(const AxisVector& s1, const AxisVector& s3, double R) {
  const AxisVector s2{s3[1] * s1[2] - s3[2] * s1[1], s3[2] * s1[0] - s3[0] * s1[2], s3[0] * s1[1] - s3[1] * s1[0]};
  return {{s1, s2, s3}, R};
}

TEST(Instability, ZeroNormalToSigma1AndOneAtMost) {
  for (double mu : {0.4, 0.6, 0.95}) {
    const Principal s = stress_of({1, 0, 0}, {0, 0, 1}, 0.3);
    EXPECT_NEAR(instability(s, {1, 0, 0}, mu), 0.0, 1e-12);
    double best = -1.0;
    for (int k = 0; k <= 3600; ++k) {  // normals in the sigma 1 - sigma 3 plane
      const double a = kPi * k / 3600.0;
      best = std::max(best, instability(s, {std::cos(a), 0.0, std::sin(a)}, mu));
    }
    EXPECT_NEAR(best, 1.0, 1e-5) << mu;
  }
}

TEST(LinearInversion, HandComputedLeastSquares) {
  // Three planes fix the off-diagonal terms in pairs of conflicting
  // equations (each 1/2); two more give T11 - T22 = T11 - T33 = sqrt 2 and
  // agree with those halves, so the least squares holds them exactly.
  const double h = std::sqrt(0.5);
  const std::vector<DoubleCouple> data = {{{1, 0, 0}, {0, 1, 0}},
                                          {{0, 1, 0}, {0, 0, 1}},
                                          {{0, 0, 1}, {1, 0, 0}},
                                          {{h, h, 0}, {0.5, -0.5, h}},
                                          {{h, 0, h}, {0.5, h, -0.5}}};
  const LinearResult r = linear_inversion(data);
  ASSERT_TRUE(r.ok);
  const double d = 2.0 * std::sqrt(2.0) / 3.0, o = -std::sqrt(2.0) / 3.0;
  const Matrix3 expected = {{{d, 0.5, 0.5}, {0.5, o, 0.5}, {0.5, 0.5, o}}};
  for (std::size_t i = 0; i < 3; ++i) {
    for (std::size_t j = 0; j < 3; ++j) EXPECT_NEAR(r.tensor[i][j], expected[i][j], 1e-12) << i << j;
  }
  EXPECT_FALSE(linear_inversion({data[0], data[1]}).ok);
}

// Planes of one shear stress magnitude: on a great circle from the plane of
// largest shear stress toward a random normal, the point where it is `tau`.
std::vector<DoubleCouple> equal_shear_data(const Principal& s, double tau, int n, unsigned seed) {
  const Matrix3 T = tensor_of(s);
  std::mt19937 gen(seed);
  std::normal_distribution<double> g;
  const AxisVector top{(s.axes[0][0] + s.axes[2][0]) * std::sqrt(0.5), (s.axes[0][1] + s.axes[2][1]) * std::sqrt(0.5),
                       (s.axes[0][2] + s.axes[2][2]) * std::sqrt(0.5)};
  std::vector<DoubleCouple> out;
  while (static_cast<int>(out.size()) < n) {
    const AxisVector r{g(gen), g(gen), g(gen)};
    const auto along = [&](double t) {
      AxisVector v{top[0] * (1 - t) + r[0] * t, top[1] * (1 - t) + r[1] * t, top[2] * (1 - t) + r[2] * t};
      const double l = std::sqrt(dot(v, v));
      return AxisVector{v[0] / l, v[1] / l, v[2] / l};
    };
    if (plane_stress(T, along(1.0)).shear > tau) continue;
    double lo = 0.0, hi = 1.0;
    for (int k = 0; k < 80; ++k) ((plane_stress(T, along((lo + hi) / 2)).shear > tau) ? lo : hi) = (lo + hi) / 2;
    const AxisVector nrm = along(lo);
    out.push_back({nrm, *plane_stress(T, nrm).slip});
  }
  return out;
}

TEST(LinearInversion, ExactOnNoiseFreeData) {
  const double c = std::sqrt(0.5);
  const Principal cases[] = {stress_of({0, 0, 1}, {1, 0, 0}, 0.2), stress_of({c, c, 0}, {-c, c, 0}, 0.5),
                             stress_of({0.6, 0, 0.8}, {0, 1, 0}, 0.8)};
  for (const Principal& s : cases) {
    const LinearResult r = linear_inversion(equal_shear_data(s, 0.35, 12, 5));
    ASSERT_TRUE(r.ok);
    EXPECT_NEAR(r.stress.R, s.R, 1e-9);
    for (std::size_t L = 0; L < 3; ++L) EXPECT_LT(axial_angle_deg(r.stress.axes[L], s.axes[L]), 1e-6);
    EXPECT_LT(stress_difference_deg(r.tensor, tensor_of(s)), 1e-6);
  }
}

// The cones of replicates turned about sigma 3 by known angles: sigma 1 and
// 2 move by that angle, sigma 3 not at all; nearest rank at the confidence;
// failed replicates (none) are left out.
TEST(AxisCones, NearestRankOfTheReplicatesAngles) {
  const Principal main = stress_of({1, 0, 0}, {0, 0, 1}, 0.5);
  const auto turned = [&](double deg) {
    const double a = deg * kPi / 180.0;
    return std::optional(stress_of({std::cos(a), std::sin(a), 0}, {0, 0, 1}, 0.3));
  };
  std::vector<std::optional<Principal>> reps;
  for (int k = 1; k <= 20; ++k) reps.push_back(turned(k));
  reps.push_back(std::nullopt);
  const struct {
    double confidence, cone;
  } cases[] = {{95.0, 19.0}, {90.0, 18.0}, {50.0, 10.0}, {100.0, 20.0}};
  for (const auto& c : cases) {
    const AxisCones got = axis_cones(main, reps, c.confidence);
    EXPECT_EQ(got.used, 20);
    EXPECT_NEAR(*got.cone_deg[0], c.cone, 1e-9) << c.confidence;
    EXPECT_NEAR(*got.cone_deg[1], c.cone, 1e-9) << c.confidence;
    EXPECT_NEAR(*got.cone_deg[2], 0.0, 1e-6) << c.confidence;
  }
  EXPECT_FALSE(axis_cones(main, {std::nullopt}, 95.0).cone_deg[0].has_value());
}

TEST(PlaneChoice, HybridRulesAndTies) {
  // sigma 1 east, sigma 3 vertical: a thrust's plane fits; a plane holding
  // sigma 2 at 45 degrees from sigma 1 ties with its auxiliary.
  const Principal s = stress_of({1, 0, 0}, {0, 0, 1}, 0.5);
  const NodalPlane oblique{20, 50, 70}, oblique_aux = auxiliary(oblique);
  const struct {
    NodalPlane given;
    int known;
    Rule rule;
    int chosen;
    Basis basis;
  } cases[] = {
      {{0, 45, 90}, 0, Rule::Hybrid, 1, Basis::Instability},  // exact tie: plane 1
      {{180, 45, 90}, 0, Rule::Hybrid, 1, Basis::Instability},
      {{0, 30, 90}, 0, Rule::Hybrid, 1, Basis::Instability},  // misfits equal: the plane 30 degrees from sigma 1
      {{0, 60, 90}, 0, Rule::Hybrid, 2, Basis::Instability},
      {{0, 45, 90}, 2, Rule::Hybrid, 2, Basis::Known},
      {{0, 45, 90}, 0, Rule::Given, 1, Basis::Given},
      {{0, 30, 90}, 0, Rule::Misfit, 1, Basis::Misfit},
  };
  for (const auto& c : cases) {
    const Event e = make_event(1, 2, "", c.given, c.known);
    const Step st = choose_under({e}, s, 0.6, c.rule, 10.0);
    EXPECT_EQ(st.planes[0], c.chosen) << c.given.strike << "/" << c.given.dip;
    EXPECT_EQ(st.basis[0], c.basis) << c.given.strike << "/" << c.given.dip;
  }
  // Exact ties (two planes alike) go to plane 1 under every rule and gap.
  Event twin = make_event(1, 2, "", oblique, 0);
  twin.exact[1] = twin.exact[0];
  for (Rule rule : {Rule::Hybrid, Rule::Misfit, Rule::Instability}) {
    for (double gap : {0.0, 10.0}) EXPECT_EQ(choose_under({twin}, s, 0.6, rule, gap).planes[0], 1);
  }
  // An oblique mechanism: the misfits differ, and the rule keeps the
  // smaller whichever plane is given.
  const Event a = make_event(1, 2, "", oblique, 0), b = make_event(1, 2, "", oblique_aux, 0);
  const Matrix3 T = tensor_of(s);
  const double m1 = misfit_deg(T, a.exact[0]), m2 = misfit_deg(T, a.exact[1]);
  ASSERT_GE(std::fabs(m1 - m2), 10.0);
  EXPECT_EQ(choose_under({a}, s, 0.6, Rule::Hybrid, 10.0).planes[0], m1 < m2 ? 1 : 2);
  EXPECT_EQ(choose_under({b}, s, 0.6, Rule::Hybrid, 10.0).planes[0], m1 < m2 ? 2 : 1);
  EXPECT_EQ(choose_under({a}, s, 0.6, Rule::Hybrid, 180.0).basis[0], Basis::Instability);
}

// Every entry point of the plane choice checks its options, whoever calls it.
TEST(PlaneChoice, OptionsCheckThemselves) {
  const auto with = [](auto change) {
    Options o;
    change(o);
    return o;
  };
  struct Case {
    Options o;
    const char* problem;
  } const cases[] = {
      {with([](Options& o) { o.gap_deg = -1.0; }), "gap"},
      {with([](Options& o) { o.gap_deg = std::nan(""); }), "gap"},
      {with([](Options& o) { o.friction = 0.0; }), "friction"},
      {with([](Options& o) { o.starts = 0; }), "1 start"},
      {with([](Options& o) { o.jobs = -3; }), "1 thread"},
  };
  for (const Case& c : cases) {
    EXPECT_NE(options_problem(c.o).find(c.problem), std::string::npos) << c.problem;
    EXPECT_THROW(choose_planes({}, RunInput{}, c.o, [](long long) {}), ensemble::OptionError) << c.problem;
  }
  EXPECT_EQ(options_problem(Options{}), "");
  EXPECT_THROW(bootstrap_choice({}, RunInput{}, Options{}, Start{}, TensorSnapshot{}, -1, 1, 95.0), ensemble::OptionError);
  EXPECT_THROW(bootstrap_choice({}, RunInput{}, Options{}, Start{}, TensorSnapshot{}, 1, 1, 0.0), ensemble::OptionError);
}

TEST(PlaneChoice, NoiseFreeCatalogueRecovered) {
  // Faults of random orientation slipping along their shear stress, one
  // nodal plane given at random: every fault whose misfits differ by the gap
  // is found, and the tensor is the generating one.
  const Principal truth = stress_of({0.2, 0.3, std::sqrt(1 - 0.13)}, {0.9, -0.6, 0}, 0.4);
  Principal s = truth;
  const double l = std::sqrt(dot(s.axes[2], s.axes[2]));
  for (double& v : s.axes[2]) v /= l;
  s = stress_of(s.axes[0], s.axes[2], 0.4);
  const Matrix3 T = tensor_of(s);
  std::mt19937 gen(11);
  std::normal_distribution<double> g;
  std::vector<Event> events;
  std::vector<int> fault;
  while (events.size() < 40) {
    AxisVector n{g(gen), g(gen), -std::fabs(g(gen))};
    const double nl = std::sqrt(dot(n, n));
    for (double& v : n) v /= nl;
    const PlaneStress ps = plane_stress(T, n);
    if (ps.shear < 0.2) continue;
    DoubleCouple dc{n, *ps.slip};
    const int f = static_cast<int>(gen() % 2) + 1;
    if (f == 2) dc = auxiliary(dc);
    NodalPlane p = plane_of(dc);
    p = {std::round(p.strike), std::round(p.dip), std::round(p.rake)};
    events.push_back(make_event(static_cast<int>(events.size()) + 1, static_cast<int>(events.size()) + 2, "", p, 0));
    fault.push_back(f);
  }
  const RunInput base = synthetic_input(600, 3);
  Options o;
  o.starts = 2;
  const Outcome out = choose_planes(events, base, o, [](long long) {});
  EXPECT_EQ(out.ended, Ended::Converged);
  int identified = 0, decisive = 0;
  for (std::size_t k = 0; k < events.size(); ++k) {
    const EventOutcome& e = out.events[k];
    if (std::fabs(e.misfit[0] - e.misfit[1]) < 12.0) continue;
    ++decisive;
    identified += e.plane == fault[k];
  }
  EXPECT_GT(decisive, 20);
  EXPECT_EQ(identified, decisive);
  const Principal found = principal_of(out.final.best_tensor);
  EXPECT_LT(axial_angle_deg(found.axes[0], s.axes[0]), 2.0);
  EXPECT_LT(axial_angle_deg(found.axes[2], s.axes[2]), 2.0);
  EXPECT_NEAR(found.R, 0.4, 0.03);
}

// A replicate whose sigma 1 trends `t1` with plunge `p1` (sigma 3
// horizontal, normal to it) and ratio R.
ensemble::Replicate replicate_at(double t1, double p1, double R, bool ok = true) {
  const double d = 3.14159265358979323846 / 180.0, t = t1 * d, p = p1 * d;
  const double a1[3] = {std::cos(p) * std::sin(t), std::cos(p) * std::cos(t), -std::sin(p)};
  const double a3[3] = {std::cos(t), -std::sin(t), 0.0};
  const double a2[3] = {std::sin(p) * std::sin(t), std::sin(p) * std::cos(t), std::cos(p)};
  ensemble::Replicate r;
  r.ok = ok;
  for (int c = 1; c <= 3; ++c) {
    r.tensor.ROT(1, c) = static_cast<float>(a1[c - 1]);
    r.tensor.ROT(2, c) = static_cast<float>(a2[c - 1]);
    r.tensor.ROT(3, c) = static_cast<float>(a3[c - 1]);
  }
  r.tensor.P(4) = static_cast<float>(R);
  return r;
}

// The regions of the choice allow for its bias: a cone grows by the angle
// from the answer's axis to the replicates' mean axis (nothing when they
// centre on it; failed replicates do not count), and the R interval takes
// in its reflection about the answer's R, within 0 to 1.
TEST(ChoiceRegions, AllowForTheBiasOfTheReplicates) {
  struct Case {
    const char* what;
    double main_R;
    std::vector<ensemble::Replicate> reps;
    ensemble::Interval R_before, R_after;
    double sigma1_growth_deg;  // expected, to 0.3 degrees
  };
  const Case cases[] = {
      {"centred on the answer", 0.5,
       {replicate_at(85, 30, 0.45), replicate_at(95, 30, 0.55), replicate_at(90, 30, 0.5)},
       {0.4, 0.6}, {0.4, 0.6}, 0.0},
      {"all to one side", 0.5,
       {replicate_at(98, 30, 0.6), replicate_at(98, 30, 0.7), replicate_at(98, 30, 0.65)},
       {0.55, 0.7}, {0.3, 0.7}, 8.0 * std::cos(30.0 * 3.14159265358979323846 / 180.0)},
      {"a failed replicate far off is left out", 0.5,
       {replicate_at(90, 30, 0.5), replicate_at(270, 10, 0.1, false)},
       {0.45, 0.55}, {0.45, 0.55}, 0.0},
      {"R near a bound stays within 0 to 1", 0.95,
       {replicate_at(90, 30, 0.85), replicate_at(90, 30, 0.9)},
       {0.8, 0.9}, {0.8, 1.0}, 0.0},
  };
  for (const Case& c : cases) {
    ensemble::Replicate main = replicate_at(90, 30, c.main_R);
    ensemble::BootstrapStats s;
    s.used = 1;
    for (std::optional<double>& cone : s.cone_deg) cone = 5.0;
    s.R = c.R_before;
    allow_for_bias(s, main.tensor, c.reps);
    EXPECT_NEAR(*s.cone_deg[0], 5.0 + c.sigma1_growth_deg, 0.3) << c.what;
    EXPECT_NEAR(s.R->low, c.R_after.low, 1e-6) << c.what;
    EXPECT_NEAR(s.R->high, c.R_after.high, 1e-6) << c.what;
  }
  // No replicate used: nothing to allow for.
  ensemble::BootstrapStats none;
  none.R = ensemble::Interval{0.2, 0.3};
  allow_for_bias(none, replicate_at(90, 30, 0.5).tensor, {replicate_at(120, 0, 0.9)});
  EXPECT_EQ(none.R->low, 0.2);
  EXPECT_FALSE(none.cone_deg[0].has_value());
}

}  // namespace
}  // namespace zk::mech
