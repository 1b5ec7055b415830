// Separation of stress phases: a mixture of two exact tensors is split
// exactly, the same for any number of jobs; the model rules (BIC, ties,
// numbering, admissible k) in tables.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>

#include "phases/separate.hpp"

namespace zk::phases {
namespace {

constexpr double kRad = 3.14159265358979323846 / 180.0;

struct Truth {
  double t1, p1, t3, p3, R;
};

std::array<AxisVector, 3> axes_of(const Truth& t) {
  const AxisVector a = axis_of(t.t1, t.p1);
  AxisVector c = axis_of(t.t3, t.p3);
  const double along = c[0] * a[0] + c[1] * a[1] + c[2] * a[2];
  for (std::size_t i = 0; i < 3; ++i) c[i] -= along * a[i];
  const double norm = std::sqrt(c[0] * c[0] + c[1] * c[1] + c[2] * c[2]);
  for (double& x : c) x /= norm;
  const AxisVector b{a[1] * c[2] - a[2] * c[1], a[2] * c[0] - a[0] * c[2], a[0] * c[1] - a[1] * c[0]};
  return {a, b, c};
}

// `n[j]` data whose slip is exactly the shear of tensor j, interleaved.
FaultSet exact_mixture(const std::vector<Truth>& truths, const std::vector<int>& n, std::vector<int>& phase_of) {
  std::mt19937 gen(11);
  const auto u = [&] { return static_cast<double>(gen() >> 8) / 16777216.0; };
  FaultSet set;
  std::vector<int> left = n;
  for (int num = 1; std::any_of(left.begin(), left.end(), [](int v) { return v > 0; });) {
    const std::size_t j = static_cast<std::size_t>(num) % truths.size();
    if (left[j] == 0) {
      ++num;
      continue;
    }
    const AxisVector nv = axis_of(360.0 * u(), 90.0 - (20.0 + 60.0 * u()));  // normal of a 20-80 degree dip
    const PlaneStress ps = plane_stress(reduced_tensor(axes_of(truths[j]), truths[j].R), nv);
    const PlaneStress other = plane_stress(reduced_tensor(axes_of(truths[1 - j]), truths[1 - j].R), nv);
    if (ps.shear < 0.15 || !other.slip) continue;
    double dot = 0.0;  // a plane on which both tensors give nearly the same slip belongs to neither
    for (std::size_t c = 0; c < 3; ++c) dot += (*ps.slip)[c] * (*other.slip)[c];
    if (dot > std::cos(15.0 * kRad)) continue;
    FaultDatum d;
    d.record.NUM = num++;
    for (int c = 1; c <= 3; ++c) {
      d.FN(c) = static_cast<float>(nv[static_cast<std::size_t>(c - 1)]);
      d.STR(c) = static_cast<float>((*ps.slip)[static_cast<std::size_t>(c - 1)]);
    }
    set.data.push_back(d);
    phase_of.push_back(static_cast<int>(j));
    --left[j];
  }
  return set;
}

RunParams run_params() {
  RunParams p;
  p.INDX = 1;
  p.NTIR = 300;
  p.NSEED = 7;
  p.POURC = 100;
  return p;
}

double angle_deg(const AxisVector& a, const TensorSnapshot& t, int L) {
  double dot = 0.0;
  for (int c = 1; c <= 3; ++c) dot += a[static_cast<std::size_t>(c - 1)] * static_cast<double>(t.ROT(L, c));
  return std::acos(std::min(1.0, std::fabs(dot))) / kRad;
}

TEST(Separate, ExactTwoPhaseMixtureSplitExactlyForAnyJobs) {
  const std::vector<Truth> truths = {{30.0, 80.0, 120.0, 5.0, 0.4}, {45.0, 5.0, 135.0, 10.0, 0.5}};
  std::vector<int> truth;
  const FaultSet set = exact_mixture(truths, {45, 30}, truth);
  Options o;
  o.jobs = 1;
  const Separation one = separate(set, run_params(), o);
  ASSERT_EQ(one.k, 2);
  EXPECT_LT(one.models[1].objective_rad2, 1e-4);  // refinement reaches the exact tensors
  EXPECT_LE(one.models[1].objective_rad2, one.models[1].selected_objective_rad2);
  EXPECT_TRUE(one.automatic);
  ASSERT_EQ(one.phases.size(), 2u);
  EXPECT_EQ(one.phases[0].members.size(), 45u);  // numbered by size
  for (std::size_t i = 0; i < set.data.size(); ++i) {
    EXPECT_EQ(one.data[i].phase, truth[i] + 1) << i;
    EXPECT_FALSE(one.data[i].ambiguous) << i;
  }
  for (std::size_t j = 0; j < 2; ++j) {
    const auto axes = axes_of(truths[j]);
    for (int L = 1; L <= 3; ++L) EXPECT_LT(angle_deg(axes[static_cast<std::size_t>(L - 1)], one.phases[j].tensor, L), 2.0);
  }
  o.jobs = 2;
  const Separation two = separate(set, run_params(), o);
  ASSERT_EQ(two.phases.size(), one.phases.size());
  for (std::size_t j = 0; j < one.phases.size(); ++j) {
    EXPECT_EQ(two.phases[j].NSEED, one.phases[j].NSEED);
    EXPECT_EQ(two.phases[j].members, one.phases[j].members);
    EXPECT_EQ(std::memcmp(&two.phases[j].tensor.P, &one.phases[j].tensor.P, sizeof(Vec4)), 0);
  }
  ASSERT_EQ(two.models.size(), one.models.size());
  for (std::size_t m = 0; m < one.models.size(); ++m) EXPECT_EQ(two.models[m].bic, one.models[m].bic);
}

TEST(Separate, SecondTensorDuplicatingTheFirstLosesOnBic) {
  std::mt19937 gen(3);
  std::vector<double> theta(120);
  for (double& t : theta) t = std::fabs(std::normal_distribution<double>(0.0, 8.0 * kRad)(gen));
  const MixtureFit one = fit_mixture({theta}, 30.0 * kRad);
  const MixtureFit dup = fit_mixture({theta, theta}, 30.0 * kRad);
  EXPECT_LT(bic(one.log_likelihood, 1, 120), bic(dup.log_likelihood, 2, 120));
  EXPECT_NEAR(one.sigma / kRad, 8.0, 1.5);
  for (std::size_t i = 0; i < theta.size(); ++i) EXPECT_NEAR(dup.w[0][i], dup.w[1][i], 1e-9);
}

// The outlier term of the likelihood, by hand: misfits all equal make the
// half-normal's sigma that misfit, so the EM share of outliers runs to a
// bound: to the least (1e-4) when the misfits are small, to the most (0.5)
// when they are beyond what the half-normal explains better than the
// uniform density 1/pi of a misfit in [0, pi].
TEST(Separate, OutlierTermOfTheLikelihoodPinned) {
  const double pi = 3.14159265358979323846;
  struct Case {
    double theta;  // radians, for both data
    double eps;    // the outlier share the fit ends at
  } const cases[] = {{0.1, 1e-4}, {2.0, 0.5}};
  for (const Case& c : cases) {
    const MixtureFit m = fit_mixture({{c.theta, c.theta}}, 30.0 * kRad);
    const double density = c.eps / pi + (1.0 - c.eps) * std::sqrt(2.0 / pi) / c.theta * std::exp(-0.5);
    EXPECT_DOUBLE_EQ(m.eps, c.eps) << c.theta;
    EXPECT_NEAR(m.sigma, c.theta, 1e-12 * c.theta);
    EXPECT_NEAR(m.log_likelihood, 2.0 * std::log(density), 1e-12) << c.theta;
    EXPECT_NEAR(bic(m.log_likelihood, 1, 2), -4.0 * std::log(density) + 6.0 * std::log(2.0), 1e-11) << c.theta;
    EXPECT_NEAR(m.none[0], c.eps / pi / density, 1e-12);
  }
  // Written out once: theta 0.1 gives a density of 4.83896... per datum.
  EXPECT_NEAR(fit_mixture({{0.1, 0.1}}, 30.0 * kRad).log_likelihood, 2.0 * std::log(4.838962), 1e-6);
}

TEST(Separate, AssignmentTiesAndOutliers) {
  const double c = 0.5;
  const std::vector<std::vector<double>> theta = {{0.1, 0.2, 0.6, 0.3, 0.5}, {0.1, 0.1, 0.7, 0.3, 0.51}};
  EXPECT_EQ(assign(theta, c), (std::vector<int>{1, 2, 0, 1, 1}));  // a tie goes to the lower phase; 0.5 is kept
  EXPECT_DOUBLE_EQ(objective(theta, c), 0.01 + 0.01 + 0.25 + 0.09 + 0.25);
}

TEST(Separate, NumberingAndChoiceOfK) {
  struct Order {
    std::vector<int> sizes;
    std::vector<double> trends;
    std::vector<std::size_t> order;
  } orders[] = {
      {{10, 30, 20}, {0, 0, 0}, {1, 2, 0}},
      {{20, 20}, {200, 100}, {1, 0}},   // equal sizes: by sigma 1 trend
      {{20, 20}, {100, 100}, {0, 1}},   // all equal: as found
  };
  for (const Order& c : orders) EXPECT_EQ(phase_order(c.sizes, c.trends), c.order);
  auto model = [](int k, double b, int smallest, double closest = 90.0) {
    Model m;
    m.k = k;
    m.bic = b;
    m.smallest_phase = smallest;
    if (k > 1) m.closest_phases_deg = closest;
    return m;
  };
  struct Choice {
    std::vector<Model> models;
    int N;
    std::optional<std::size_t> chosen;
  } choices[] = {
      {{model(1, 100, 80), model(2, 90, 30)}, 80, 1},
      {{model(1, 100, 80), model(2, 90, 7)}, 80, 0},    // 7 < N/10
      {{model(1, 100, 40), model(2, 90, 5)}, 40, 0},    // 5 < 6
      {{model(1, 90, 80), model(2, 90, 40)}, 80, 0},    // a tie: the smaller k
      {{model(1, 100, 80), model(2, 90, 40, 29.9)}, 80, 0},  // two phases too alike
      {{model(1, 100, 80), model(2, 90, 40, 30.0)}, 80, 1},
      {{model(2, 90, 5)}, 40, std::nullopt},
  };
  for (const Choice& c : choices) EXPECT_EQ(choose_model(c.models, c.N), c.chosen);
}

TEST(Separate, Refusals) {
  struct Case {
    int INDX, phases, max_phases;
    double theta_c;
    int NSEED;
    const char* problem;
    int starts = kDefaultStarts;
  } cases[] = {
      {1, 0, 3, 30, 7, ""},           {1, 4, 4, 5, 7, ""},        {1, 1, 1, 90, 7, ""},
      {2, 0, 3, 30, 7, "INDX = 2"},   {6, 2, 3, 30, 7, "INDX = 6"}, {1, 5, 3, 30, 7, "--phases"},
      {1, 0, 0, 30, 7, "--max-phases"}, {1, 0, 3, 4.9, 7, "--outlier-misfit"}, {1, 0, 3, 91, 7, "--outlier-misfit"},
      {1, 0, 3, 30, 2147000000, "beyond the largest"},
      {1, 0, 3, 30, 7, "--phase-starts", 0},  {1, 0, 3, 30, 7, "--phase-starts", 65},  {1, 0, 3, 30, 7, "", 64},
      {1, 0, 3, 30, 7, "", 1},
  };
  // The bootstrap of the phases checks its count itself.
  EXPECT_THROW(bootstrap_phases(FaultSet{}, run_params(), Separation{}, -1, 1, 1), OptionError);
  EXPECT_THROW(bootstrap_phases(FaultSet{}, run_params(), Separation{}, 1, 1, 0), OptionError);
  for (const Case& c : cases) {
    RunParams p = run_params();
    p.INDX = c.INDX;
    p.NSEED = c.NSEED;
    Options o;
    o.phases = c.phases;
    o.max_phases = c.max_phases;
    o.outlier_misfit_deg = c.theta_c;
    o.starts = c.starts;
    const std::string why = separation_problem(p, o);
    if (*c.problem == '\0') {
      EXPECT_EQ(why, "");
    } else {
      EXPECT_NE(why.find(c.problem), std::string::npos) << why;
    }
  }
}

// The default number of streams is lowered when NSEED and NTIR leave no room
// for their seeds, and what it gives is always accepted.
TEST(Separate, StreamsThatFitBelowTheLargestSeed) {
  RunParams p = run_params();
  EXPECT_EQ(fitting_starts(p), kDefaultStarts);
  p.NTIR = 25000;
  const int S = fitting_starts(p);
  EXPECT_LT(S, kDefaultStarts);
  EXPECT_GE(S, 1);
  Options o;
  o.starts = S;
  EXPECT_EQ(separation_problem(p, o), "");
  o.starts = S + 1;
  EXPECT_NE(separation_problem(p, o).find("use fewer --phase-starts"), std::string::npos);
}

}  // namespace
}  // namespace zk::phases
