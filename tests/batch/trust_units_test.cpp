// What a batch run says about how far its answer can be trusted: the
// warnings on the number of phases (streams that disagree, BIC too close to
// decide) and whether the linearised errors of the regression mean
// anything, on both sides of each bound.
#include <gtest/gtest.h>

#include <cmath>

#include "results/warnings.hpp"
#include "results/result_json.hpp"

namespace zk::batch {
namespace {

phases::Model model(int k, double bic, int smallest, double closest = 90.0) {
  phases::Model m;
  m.k = k;
  m.bic = bic;
  m.smallest_phase = smallest;
  if (k > 1) m.closest_phases_deg = closest;
  return m;
}

TEST(PhaseWarnings, VotesThatDisagreeAndBicTooCloseToDecide) {
  struct Case {
    const char* name;
    std::vector<int> votes;
    std::vector<phases::Model> models;
    std::vector<const char*> expected;  // a piece of each warning, in order
  } cases[] = {
      {"agreement, clear BIC", {0, 8, 0}, {model(1, 100, 80), model(2, 80, 40), model(3, 90, 20)}, {}},
      {"split votes", {0, 5, 3}, {model(1, 100, 80), model(2, 80, 40), model(3, 90, 20)},
       {"disagree on the number of phases (k=2 by 5, k=3 by 3)"}},
      {"some streams without an admissible model", {0, 6, 0}, {model(1, 100, 80), model(2, 80, 40)},
       {"(k=2 by 6, 2 by none)"}},
      {"BIC 5.9 apart", {0, 8, 0}, {model(1, 100, 80), model(2, 80, 40), model(3, 85.9, 20)},
       {"BIC of 2 and 3 phases differ by 5.9, less than 6"}},
      {"BIC 6 apart", {0, 8, 0}, {model(1, 100, 80), model(2, 80, 40), model(3, 86, 20)}, {}},
      {"the close model is not admissible", {0, 8, 0}, {model(1, 100, 80), model(2, 80, 40), model(3, 81, 20, 20.0)}, {}},
      {"both", {4, 4, 0}, {model(1, 100, 80), model(2, 99, 40)}, {"k=1 by 4, k=2 by 4", "strong evidence, above 10 very strong"}},
  };
  for (const Case& c : cases) {
    RunReport r;
    phases::Separation s;
    s.restarts = 8;
    s.k_votes = c.votes;
    s.models = c.models;
    s.k = 2;
    s.data.resize(80);
    r.separation = s;
    const std::vector<std::string> w = phase_warnings(r);
    ASSERT_EQ(w.size(), c.expected.size()) << c.name << (w.empty() ? "" : ": " + w.front());
    for (std::size_t i = 0; i < w.size(); ++i) EXPECT_NE(w[i].find(c.expected[i]), std::string::npos) << c.name << ": " << w[i];
  }
}

TEST(LinearisedErrors, MeaningfulOnlyWhereTheLinearisationHolds) {
  struct Case {
    const char* name;
    float trend_error, plunge_error, R_error;
    std::optional<double> cone;  // of every axis, with a bootstrap
    bool meaningful;
  } cases[] = {
      {"small errors", 3.0f, 2.0f, 0.1f, std::nullopt, true},
      {"trend error 84.9", 84.9f, 2.0f, 0.1f, std::nullopt, true},
      {"trend error 85", 85.0f, 2.0f, 0.1f, std::nullopt, false},
      {"trend error 89.99", 89.99f, 2.0f, 0.1f, std::nullopt, false},
      {"plunge error 85", 3.0f, 85.0f, 0.1f, std::nullopt, false},
      {"R error above 1", 3.0f, 2.0f, 1.01f, std::nullopt, false},
      {"not finite", NAN, 2.0f, 0.1f, std::nullopt, false},
      // 2 degrees of plunge error alone, at 95 %: 2 x 2.448 = 4.9 degrees.
      {"cone 9.7: linearised just over half", 0.0f, 2.0f, 0.1f, 9.7, true},
      {"cone 9.9: linearised under half", 0.0f, 2.0f, 0.1f, 9.9, false},
      {"cone 2.5: linearised just under twice", 0.0f, 2.0f, 0.1f, 2.5, true},
      {"cone 2.4: linearised over twice", 0.0f, 2.0f, 0.1f, 2.4, false},
      {"an underestimate as met: 3.1 against 51", 0.0f, 3.1f / 2.448f, 0.1f, 51.0, false},
  };
  for (const Case& c : cases) {
    InversionResult run;
    for (int L = 1; L <= 3; ++L) {
      run.stage3.PEN(L) = 30.0f;
      run.fit.err_dir(L) = c.trend_error;
      run.fit.err_pen(L) = c.plunge_error;
    }
    run.fit.err_R = c.R_error;
    ensemble::BootstrapReport b;
    b.confidence = 95.0;
    for (auto& cone : b.stats.cone_deg) cone = c.cone;
    EXPECT_EQ(linearised_errors_meaningful(run, c.cone ? &b : nullptr), c.meaningful) << c.name;
  }
}

}  // namespace
}  // namespace zk::batch
