// The rules of several starts and of the bootstrap: the seeds of the starts,
// what is refused, the grouping of minima, the percentiles, the resampling
// and the parallel runner.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <set>
#include <stdexcept>

#include "ensemble/ensemble.hpp"

namespace zk::ensemble {
namespace {

constexpr double kRad = 3.14159265358979323846 / 180.0;

RunParams params(int INDX, int NTIR, int NSEED) {
  RunParams p;
  p.INDX = INDX;
  p.NTIR = NTIR;
  p.NSEED = NSEED;
  p.POURC = 100;
  return p;
}

TEST(Starts, SeedsAndRefusals) {
  struct Case {
    int INDX, NTIR, NSEED, K;
    long long seed_of_last;  // NSEED of start K-1
    const char* problem;     // part of the refusal, "" for none
  } cases[] = {
      {1, 500, 7, 10, 7 + 9 * 4 * 500, ""},           // 4 values per draw
      {2, 100, 0, 3, 2 * 2 * 100, ""},                // 2: one angle and R
      {3, 100, 0, 3, 2 * 2 * 100, ""},
      {4, 100, 5, 3, 5 + 2 * 1 * 100, ""},            // 1: R only
      {5, 100, 5, 1, 5, ""},                          // one start is a plain run
      {5, 100, 5, 2, 5, "no random search"},
      {6, 100, 5, 2, 5, "no random search"},
      {1, 100000, 2000000000, 2, 2000400000LL, ""},
      {1, 100000, 2000000000, 3, 2000800000LL, ""},
      {1, 1000000, 2000000000, 2, 2004000000LL, ""},
      {1, 100000000, 0, 7, 2400000000LL, "beyond the largest"},
      {1, 100, 0, 0, 0, "at least 1"},
  };
  for (const Case& c : cases) {
    const RunParams p = params(c.INDX, c.NTIR, c.NSEED);
    const std::string problem = starts_problem(p, c.K);
    if (*c.problem == '\0') {
      EXPECT_EQ(problem, "") << c.INDX << " K=" << c.K;
      EXPECT_EQ(start_seed(p, c.K - 1), c.seed_of_last) << c.INDX << " K=" << c.K;
      EXPECT_EQ(start_params(p, c.K - 1).NSEED, c.seed_of_last);
    } else {
      EXPECT_NE(problem.find(c.problem), std::string::npos) << problem;
    }
  }
}

// A tensor whose sigma 1 trends `t1` with plunge `p1`, its sigma 3 normal to
// it and turned `roll` degrees about it from the horizontal.
TensorSnapshot tensor(double t1, double p1, double roll, double R, double F) {
  const double t = t1 * kRad, p = p1 * kRad, w = roll * kRad;
  const double a1[3] = {std::cos(p) * std::sin(t), std::cos(p) * std::cos(t), -std::sin(p)};
  const double h[3] = {std::cos(t), -std::sin(t), 0.0};                             // horizontal, normal to a1
  const double v[3] = {std::sin(p) * std::sin(t), std::sin(p) * std::cos(t), std::cos(p)};  // a1 x h
  TensorSnapshot s;
  for (int c = 1; c <= 3; ++c) {
    const double a3 = std::cos(w) * h[c - 1] + std::sin(w) * v[c - 1];
    const double a2 = -std::sin(w) * h[c - 1] + std::cos(w) * v[c - 1];
    s.ROT(1, c) = static_cast<float>(a1[c - 1]);
    s.ROT(2, c) = static_cast<float>(a2);
    s.ROT(3, c) = static_cast<float>(a3);
  }
  s.P(4) = static_cast<float>(R);
  s.F = static_cast<float>(F);
  return s;
}

// Ten starts unless the start is imposed or NSEED leaves room for fewer.
// The library checks its own options, whoever calls it: a count below its
// least is refused before anything is allocated for it.
TEST(Starts, OptionsCheckThemselves) {
  struct Case {
    Options o;
    const char* problem;  // "" when they can run
  } const cases[] = {
      {{1, -1, 95.0, 1, 1}, "from 0, not -1"},  {{0, 0, 95.0, 1, 1}, "at least 1 start"},
      {{1, 0, 100.0, 1, 1}, "between 0 and 100"}, {{1, 0, 95.0, 1, 0}, "at least 1 thread"},
      {{1, INT_MIN, 95.0, 1, 1}, "from 0"},      {{4, 10, 95.0, 1, 2}, ""},
  };
  for (const Case& c : cases) {
    const std::string why = options_problem(c.o);
    EXPECT_NE(why.find(c.problem), std::string::npos) << why;
    if (*c.problem != '\0') {
      EXPECT_THROW(solve(RunInput{}, c.o, [](long long) {}), OptionError) << c.problem;
    }
  }
}

TEST(Starts, DefaultCount) {
  const struct {
    int INDX, NTIR, NSEED, K;
  } cases[] = {{1, 500, 7, 10}, {4, 100, 5, 10}, {5, 100, 5, 1}, {6, 100, 5, 1}, {1, 500, 2147470000, 7},
               {1, 500, 2147483647, 1}};
  for (const auto& c : cases) EXPECT_EQ(default_starts(params(c.INDX, c.NTIR, c.NSEED)), c.K) << c.INDX << " " << c.NSEED;
}

TEST(Minima, GroupingAndAmbiguity) {
  struct Case {
    const char* name;
    std::vector<TensorSnapshot> runs;
    std::vector<int> best;   // start of each group's best member, in order
    std::vector<int> count;  // starts in each group
    int close;               // other minima within 5 %
    double second;           // stress difference of the second group from the first (degrees), -1: none
  } cases[] = {
      {"one_basin", {tensor(30, 60, 0, 0.4, 1.0), tensor(35, 62, 3, 0.45, 0.99)}, {1}, {2}, 0, -1},
      {"sigma1_11_degrees_away", {tensor(30, 60, 0, 0.4, 1.0), tensor(41, 60, 0, 0.4, 1.2)}, {0, 1}, {1, 1}, 0, 13.25},
      {"roll_9_degrees_same", {tensor(30, 60, 0, 0.4, 1.0), tensor(30, 60, 9, 0.4, 1.2)}, {0}, {2}, 0, -1},
      // Axes 2 degrees and R 0.12 apart: one stress state, not two minima.
      {"two_degrees_and_R_0.12", {tensor(30, 60, 0, 0.4, 1.0), tensor(32, 61, 1, 0.52, 1.04)}, {0}, {2}, 0, -1},
      {"same_axes_R_0.3_apart", {tensor(30, 60, 0, 0.4, 1.0), tensor(30, 60, 0, 0.7, 1.04)}, {0, 1}, {1, 1}, 1, 19.59},
      // At R = 0 sigma 2 and sigma 3 are equal: exchanging them is no change.
      {"sigma2_sigma3_exchanged_at_R_0", {tensor(30, 60, 0, 0.0, 1.0), tensor(30, 60, 90, 0.0, 1.01)}, {0}, {2}, 0, -1},
      {"F_5_percent_above", {tensor(30, 60, 0, 0.4, 1.0), tensor(30, 10, 0, 0.4, 1.05)}, {0, 1}, {1, 1}, 1, 54.33},
      {"F_6_percent_above", {tensor(30, 60, 0, 0.4, 1.0), tensor(30, 10, 0, 0.4, 1.06)}, {0, 1}, {1, 1}, 0, 54.33},
      // Grouped around the best member: the third is within 10 degrees of the
      // second but not of the best, which the second joined.
      {"chain_is_not_followed",
       {tensor(30, 60, 0, 0.4, 1.0), tensor(38, 60, 0, 0.4, 1.1), tensor(46, 60, 0, 0.4, 1.2)},
       {0, 2}, {2, 1}, 0, 19.21},
      {"ties_go_to_the_lowest_start", {tensor(30, 60, 0, 0.4, 2.0), tensor(30, 60, 0, 0.4, 2.0)}, {0}, {2}, 0, -1},
      {"non_number_last", {tensor(30, 60, 0, 0.4, NAN), tensor(200, 20, 0, 0.4, 3.0)}, {1, 0}, {1, 1}, 0, -2},
  };
  for (const Case& c : cases) {
    std::vector<Solution> runs;
    for (std::size_t k = 0; k < c.runs.size(); ++k) runs.push_back(Solution{static_cast<int>(k), 0, c.runs[k], true});
    const auto minima = group_minima(runs);
    ASSERT_EQ(minima.size(), c.best.size()) << c.name;
    for (std::size_t g = 0; g < minima.size(); ++g) {
      EXPECT_EQ(static_cast<int>(minima[g].best), c.best[g]) << c.name << " group " << g;
      EXPECT_EQ(minima[g].count, c.count[g]) << c.name << " group " << g;
    }
    EXPECT_EQ(minima[0].stress_difference_deg, 0.0) << c.name;
    if (c.second >= 0) {
      EXPECT_NEAR(minima[1].stress_difference_deg, c.second, 0.01) << c.name;
    }
    EXPECT_EQ(choose_start(runs), minima[0].best) << c.name;
    EXPECT_EQ(close_minima(runs, minima), c.close) << c.name;
  }
}

// The World Stress Map rank from the replicates' SHmax: each bound on both
// sides, and the reasons for E whatever the spread.
TEST(Quality, RanksAndReasons) {
  struct Case {
    const char* name;
    QualityInput in;
    char rank;
    const char* reason;
  } cases[] = {
      {"A_at_15", {true, false, 100, 0, 15.0}, 'A', "SHmax sd 15.0 deg"},
      {"B_above_15", {true, false, 100, 0, 15.001}, 'B', ""},
      {"B_at_20", {true, false, 100, 0, 20.0}, 'B', ""},
      {"C_above_20", {true, false, 100, 0, 20.001}, 'C', ""},
      {"C_at_25", {true, false, 100, 0, 25.0}, 'C', ""},
      {"D_above_25", {true, false, 100, 0, 25.001}, 'D', ""},
      {"D_at_40", {true, false, 100, 0, 40.0}, 'D', ""},
      {"E_above_40", {true, false, 100, 0, 40.001}, 'E', "SHmax sd 40.0 deg"},
      {"undefined_in_a_tenth", {true, false, 100, 10, 3.0}, 'A', ""},
      {"undefined_in_more", {true, false, 100, 11, 3.0}, 'E', "SHmax undefined in 11 % of the replicates"},
      {"final_SHmax_undefined", {false, true, 100, 0, 3.0}, 'E', "SHmax undefined"},
      {"final_SHmax_poorly_defined", {true, true, 100, 0, 3.0}, 'E', "SHmax poorly defined"},
      {"no_preferred_direction", {true, false, 100, 0, std::nullopt}, 'E', "without a preferred direction"},
      {"every_replicate_failed", {true, false, 0, 0, std::nullopt}, 'E', "every replicate failed"},
  };
  for (const Case& c : cases) {
    const Quality q = shmax_quality(c.in);
    EXPECT_EQ(q.rank, c.rank) << c.name;
    EXPECT_NE(q.reason.find(c.reason), std::string::npos) << c.name << ": " << q.reason;
  }
  // Axial: 170 and 10 are 20 degrees apart across north, not 160.
  const struct {
    std::vector<double> azimuths;
    double sd;  // degrees; -1: none
  } spreads[] = {{{40, 40, 40}, 0.0}, {{170, 10}, 10.10}, {{0, 90}, -1}, {{}, -1}, {{30, 50}, 10.10}};
  for (const auto& sp : spreads) {
    const std::optional<double> sd = axial_sd_deg(sp.azimuths);
    ASSERT_EQ(sd.has_value(), sp.sd >= 0) << sp.azimuths.size();
    if (sd) {
      EXPECT_NEAR(*sd, sp.sd, 0.01);
    }
  }
}

TEST(Bootstrap, PercentilesConesAndInterval) {
  // Nearest rank: the smallest value with at least P % at or below it.
  struct Rank {
    int n;
    double percent;
    double expect;  // values are 1 .. n
  } ranks[] = {{500, 95.0, 475}, {500, 2.5, 13}, {500, 97.5, 488}, {20, 95.0, 19}, {19, 95.0, 19},
               {1, 95.0, 1},     {100, 68.3, 69}, {3, 0.1, 1}};
  for (const Rank& r : ranks) {
    std::vector<double> v;
    for (int i = r.n; i >= 1; --i) v.push_back(i);
    EXPECT_EQ(nearest_rank(v, r.percent), r.expect) << r.n << " " << r.percent;
  }

  // 100 replicates whose sigma 1 is k/10 degrees from the main one (k = 1 ..
  // 100) and R = k/100, plus failed ones that must not count.
  const TensorSnapshot main = tensor(90, 30, 0, 0.5, 1.0);
  std::vector<Replicate> reps;
  for (int k = 1; k <= 100; ++k) reps.push_back(Replicate{k, 0, true, tensor(90, 30 + k / 10.0, 0, k / 100.0, 1.0)});
  reps.push_back(Replicate{101, 0, false, tensor(270, 0, 0, 0.99, 1.0)});
  const BootstrapStats s = bootstrap_stats(main, reps, 90.0);
  EXPECT_EQ(s.used, 100);
  ASSERT_TRUE(s.cone_deg[0] && s.R);
  EXPECT_NEAR(*s.cone_deg[0], 9.0, 1e-3);  // the 90th smallest angle
  EXPECT_NEAR(*s.cone_deg[2], 0.0, 1e-3);  // sigma 3 did not move
  EXPECT_NEAR(s.R->low, 0.05, 1e-6);
  EXPECT_NEAR(s.R->high, 0.95, 1e-6);

  // SHmax deviations are axial: 179 degrees is 6 degrees from 5, on the far side.
  const TensorSnapshot ss = tensor(5, 0, 0, 0.5, 1.0);
  std::vector<Replicate> turned;
  for (int k = 1; k <= 10; ++k) turned.push_back(Replicate{k, 0, true, tensor(5 - k, 0, 0, 0.5, 1.0)});
  const BootstrapStats t = bootstrap_stats(ss, turned, 90.0);
  ASSERT_TRUE(t.SHmax);
  EXPECT_NEAR(t.SHmax->low, -5.0, 1e-3);
  EXPECT_NEAR(t.SHmax->high, 4.0, 1e-3);

  const BootstrapStats none = bootstrap_stats(main, {Replicate{0, 0, false, main}}, 95.0);
  EXPECT_EQ(none.used, 0);
  EXPECT_FALSE(none.cone_deg[0] || none.R);
}

TEST(Bootstrap, ResampleDependsOnSeedAndIndexOnly) {
  FaultSet set;
  for (int i = 1; i <= 50; ++i) {
    FaultDatum d;
    d.record.NUM = i;
    set.data.push_back(d);
  }
  const auto nums = [](const FaultSet& s) {
    std::vector<int> v;
    for (const FaultDatum& d : s.data) v.push_back(d.record.NUM);
    return v;
  };
  const auto a = nums(resample(set, 1, 7));
  EXPECT_EQ(a, nums(resample(set, 1, 7)));
  EXPECT_NE(a, nums(resample(set, 1, 8)));
  EXPECT_NE(a, nums(resample(set, 2, 7)));
  EXPECT_NE(a, nums(resample(set, std::uint64_t{1} | (std::uint64_t{1} << 32), 7)));  // the high half counts
  ASSERT_EQ(a.size(), 50u);
  const std::set<int> distinct(a.begin(), a.end());
  EXPECT_LT(distinct.size(), 50u);  // drawn with replacement
  EXPECT_GT(distinct.size(), 20u);
  EXPECT_GE(*distinct.begin(), 1);
  EXPECT_LE(*distinct.rbegin(), 50);

  // The first NSEED of a replicate: keyed by (seed, b), with room for K starts.
  const RunParams p = params(1, 100000000, 7);
  std::set<int> seeds;
  for (int b = 0; b < 200; ++b) {
    const int s = replicate_seed(p, 5, 1, b);
    EXPECT_EQ(s, replicate_seed(p, 5, 1, b));
    EXPECT_GE(s, 0);
    EXPECT_LE(static_cast<long long>(s) + 4LL * 4 * 100000000, INT_MAX);
    seeds.insert(s);
  }
  EXPECT_EQ(seeds.size(), 200u);
  EXPECT_EQ(replicate_seed(params(5, 100, 42), 1, 1, 3), 42);  // no random search: NSEED as read
}

TEST(Parallel, ResultsByIndexForAnyNumberOfJobsAndErrorsOfTheLowestTask) {
  for (int jobs : {1, 2, 3, 40}) {
    std::vector<long long> out(37, -1);
    long long last_report = -1;
    const Task task = [&](std::size_t i, Workspace&, const Tick& tick) {
      out[i] = static_cast<long long>(i * i);
      tick();
      tick();
    };
    run_parallel(out.size(), jobs, task, [&](long long done) { last_report = done; });
    for (std::size_t i = 0; i < out.size(); ++i) EXPECT_EQ(out[i], static_cast<long long>(i * i)) << jobs;
    EXPECT_EQ(last_report, 74);
  }
  const auto failing = [](std::size_t i, Workspace&, const Tick&) {
    if (i == 5 || i == 9) throw std::runtime_error("task " + std::to_string(i));
  };
  for (int jobs : {1, 2}) {
    try {
      run_parallel(20, jobs, failing, nullptr);
      ADD_FAILURE() << "no exception";
    } catch (const std::runtime_error& e) {
      EXPECT_STREQ(e.what(), "task 5");
    }
  }
}

}  // namespace
}  // namespace zk::ensemble
