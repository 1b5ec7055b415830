// The quality of an answer: the fit rank on both sides of every threshold,
// and each condition that lowers it (R at a bound, a wide R interval at a
// bound, no majority regime, one kinematic family), with the reason that
// sets the rank first.
#include <gtest/gtest.h>

#include "ensemble/quality.hpp"

namespace zk::ensemble {
namespace {

TEST(AnswerQuality, FitRankOnBothSidesOfEachThreshold) {
  const struct {
    int n, n_given;
    double misfit;
    char rank;
  } cases[] = {
      {25, 40, 9.0, 'A'},  {24, 40, 9.0, 'B'},  {25, 42, 9.0, 'B'},   {25, 40, 9.01, 'B'},  // 25/42 < 0.60
      {15, 33, 12.0, 'B'}, {14, 33, 12.0, 'C'}, {15, 34, 12.0, 'C'},  {15, 33, 12.01, 'C'},
      {10, 33, 15.0, 'C'}, {9, 30, 15.0, 'D'},  {10, 34, 15.0, 'D'},  {10, 33, 15.01, 'D'},
      {6, 40, 18.0, 'D'},  {5, 20, 18.0, 'E'},  {6, 41, 18.0, 'E'},   {6, 40, 18.01, 'E'},
      {0, 0, 0.0, 'E'},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(fit_rank(c.n, c.n_given, c.misfit), c.rank) << c.n << " of " << c.n_given << ", " << c.misfit;
  }
}

TEST(AnswerQuality, FamiliesByTheDominantComponentOfTheRake) {
  const struct {
    double rake;
    Family f;
  } cases[] = {{-90, Family::Normal}, {-45.01, Family::Normal}, {-45, Family::Sinistral}, {0, Family::Sinistral},
               {45, Family::Sinistral}, {45.01, Family::Reverse}, {134.99, Family::Reverse}, {135, Family::Dextral},
               {180, Family::Dextral},  {-135, Family::Dextral}, {-134.99, Family::Normal}, {270, Family::Normal}};
  for (const auto& c : cases) EXPECT_EQ(kinematic_family(c.rake), c.f) << c.rake;
}

TEST(AnswerQuality, ConditionsThatLowerTheRankAndTheirReasons) {
  const auto spread = [](char shmax, std::optional<double> lo, std::optional<double> hi, double regime) {
    AnswerInput::Spread s;
    s.shmax = Quality{shmax, std::string("SHmax rank ") + shmax};
    s.R_low = lo;
    s.R_high = hi;
    s.largest_regime_share = regime;
    return s;
  };
  struct Case {
    const char* name;
    double R;
    std::optional<AnswerInput::Spread> spread;
    std::optional<Family> family;
    char rank;
    const char* first_reason;
    bool at_bound;
  } cases[] = {
      {"good fit, no bootstrap", 0.5, std::nullopt, std::nullopt, 'A', "fit A", false},
      {"R just above the low bound", 0.05, std::nullopt, std::nullopt, 'A', "fit A", false},
      {"R below 0.05", 0.049, std::nullopt, std::nullopt, 'E', "sigma 2 and sigma 3 not told apart", true},
      {"R just below the high bound", 0.95, std::nullopt, std::nullopt, 'A', "fit A", false},
      {"R above 0.95", 0.951, std::nullopt, std::nullopt, 'E', "sigma 1 and sigma 2 not told apart", true},
      {"spread worse than the fit", 0.5, spread('C', 0.3, 0.6, 0.9), std::nullopt, 'C', "SHmax rank C", false},
      {"R interval at a bound and 0.86 wide", 0.5, spread('A', 0.13, 0.99, 0.9), std::nullopt, 'E', "R interval 0.13-0.99", false},
      {"R interval at a bound, 0.6 wide", 0.5, spread('A', 0.0, 0.6, 0.9), std::nullopt, 'A', "fit A", false},
      {"R interval 0.61 wide at the low bound", 0.5, spread('A', 0.04, 0.65, 0.9), std::nullopt, 'E', "R interval", false},
      {"R interval wide, off the bounds", 0.5, spread('A', 0.05, 0.95, 0.9), std::nullopt, 'A', "fit A", false},
      {"half the replicates in a regime", 0.5, spread('A', 0.3, 0.6, 0.5), std::nullopt, 'A', "fit A", false},
      {"no regime holds half", 0.5, spread('A', 0.3, 0.6, 0.49), std::nullopt, 'E', "no regime holds half", false},
      {"a phase of normal faults only", 0.5, std::nullopt, Family::Normal, 'C', "every datum of the phase is normal", false},
  };
  for (const Case& c : cases) {
    AnswerInput in;
    in.n_used = 30;
    in.n_given = 30;
    in.mean_misfit_deg = 6.0;
    in.R = c.R;
    in.spread = c.spread;
    in.one_family = c.family;
    const AnswerQuality q = answer_quality(in);
    EXPECT_EQ(q.rank, c.rank) << c.name;
    EXPECT_EQ(q.fit_rank, 'A') << c.name;
    EXPECT_EQ(q.spread_rank.has_value(), c.spread.has_value()) << c.name;
    EXPECT_EQ(q.R_at_bound, c.at_bound) << c.name;
    ASSERT_FALSE(q.reasons.empty()) << c.name;
    EXPECT_NE(q.reasons.front().find(c.first_reason), std::string::npos) << c.name << ": " << q.reasons.front();
  }
  // One family caps at C, never raises: a fit of D stays D, its reason first.
  AnswerInput poor;
  poor.n_used = 6;
  poor.n_given = 30;
  poor.mean_misfit_deg = 6.0;
  poor.one_family = Family::Dextral;
  const AnswerQuality q = answer_quality(poor);
  EXPECT_EQ(q.rank, 'D');
  EXPECT_EQ(q.reasons.front().rfind("fit D", 0), 0u) << q.reasons.front();
  EXPECT_EQ(q.reasons.size(), 2u);
}

}  // namespace
}  // namespace zk::ensemble
