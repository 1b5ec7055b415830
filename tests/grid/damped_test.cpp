#include "grid/damped.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <numbers>
#include <random>

namespace {

using namespace zk;
using grid::CellData;
using grid::CellStatus;
using grid::Index;

constexpr double kPi = std::numbers::pi;

// A strike-slip stress with sigma 1 horizontal toward `azimuth` (degrees),
// sigma 2 vertical, tilted by `tilt` degrees about the sigma 3 axis.
Matrix3 stress_toward(double azimuth, double R, double tilt = 0.0) {
  const AxisVector s1 = axis_of(azimuth, tilt), s3 = axis_of(azimuth + 90.0, 0.0);
  const AxisVector s2 = {s3[1] * s1[2] - s3[2] * s1[1], s3[2] * s1[0] - s3[0] * s1[2], s3[0] * s1[1] - s3[1] * s1[0]};
  return reduced_tensor({s1, s2, s3}, R);
}

// n planes of random orientation slipping exactly along their shear
// traction under T (seeded: the same planes every run).
std::vector<mech::DoubleCouple> planes_under(const Matrix3& T, int n, unsigned seed) {
  std::mt19937_64 gen(seed);
  std::normal_distribution<double> g(0.0, 1.0);
  std::vector<mech::DoubleCouple> out;
  while (static_cast<int>(out.size()) < n) {
    AxisVector v = {g(gen), g(gen), g(gen)};
    const double len = std::sqrt(mech::dot(v, v));
    if (len < 1e-6) continue;
    for (double& c : v) c /= len;
    if (v[2] > 0.0) {
      for (double& c : v) c = -c;
    }
    const PlaneStress ps = plane_stress(T, v);
    if (!ps.slip || ps.shear < 0.05) continue;
    out.push_back({v, *ps.slip});
  }
  return out;
}

double norm_diff(const Matrix3& a, const Matrix3& b) {
  double s = 0.0;
  for (std::size_t i = 0; i < 3; ++i) {
    for (std::size_t j = 0; j < 3; ++j) s += (a[i][j] - b[i][j]) * (a[i][j] - b[i][j]);
  }
  return std::sqrt(s);
}

Matrix3 unit(const Matrix3& T) {
  double s = 0.0;
  for (const auto& r : T) {
    for (double v : r) s += v * v;
  }
  Matrix3 out = T;
  for (auto& r : out) {
    for (double& v : r) v /= std::sqrt(s);
  }
  return out;
}

// Random faults with noise on the slip: each cell's own answer differs.
std::vector<mech::DoubleCouple> noisy(std::vector<mech::DoubleCouple> planes, double deg, unsigned seed) {
  std::mt19937_64 gen(seed);
  std::normal_distribution<double> g(0.0, deg * kPi / 180.0);
  for (mech::DoubleCouple& d : planes) {
    const AxisVector& n = d.normal;
    const AxisVector b = {n[1] * d.slip[2] - n[2] * d.slip[1], n[2] * d.slip[0] - n[0] * d.slip[2],
                          n[0] * d.slip[1] - n[1] * d.slip[0]};
    const double a = g(gen);
    for (std::size_t i = 0; i < 3; ++i) d.slip[i] = std::cos(a) * d.slip[i] + std::sin(a) * b[i];
  }
  return planes;
}

TEST(DampedInversion, UndampedIsEachCellsLinearInversion) {
  struct Case {
    Index index;
    double azimuth, R;
    int planes;
  };
  const Case cases[] = {{{0, 0}, 10.0, 0.5, 12}, {{1, 0}, 40.0, 0.3, 30}, {{0, 1}, 80.0, 0.7, 5}, {{1, 1}, 120.0, 0.5, 3}};
  std::vector<CellData> cells;
  for (const Case& c : cases) {
    cells.push_back({c.index, noisy(planes_under(stress_toward(c.azimuth, c.R), c.planes, 7u + c.index[0] * 3u + c.index[1] * 5u),
                                    15.0, 11u + static_cast<unsigned>(c.planes))});
  }
  const grid::DampedSolution s = grid::solve_damped(cells, 0.0);
  ASSERT_EQ(s.cells.size(), cells.size());
  EXPECT_EQ(s.gap_cells, 0);
  EXPECT_EQ(s.model_length, s.model_length);  // computed, whatever it is
  for (std::size_t c = 0; c < cells.size(); ++c) {
    const mech::LinearResult own = mech::linear_inversion(cells[c].planes);
    ASSERT_TRUE(own.ok);
    const grid::CellAnswer& a = s.cells[c];
    EXPECT_EQ(a.index, cells[c].index);
    EXPECT_TRUE(a.has_events);
    EXPECT_EQ(a.status, CellStatus::solved);
    EXPECT_LT(norm_diff(a.tensor, unit(own.tensor)), 1e-9) << grid::cell_name(a.index);
    EXPECT_NEAR(a.stress.R, own.stress.R, 1e-9);
    EXPECT_NEAR(a.tensor[0][0] + a.tensor[1][1] + a.tensor[2][2], 0.0, 1e-12);
    EXPECT_NEAR(norm_diff(a.tensor, Matrix3{}), 1.0, 1e-12);
    ASSERT_TRUE(a.state.shmax.has_value());
  }
}

TEST(DampedInversion, CellsOfTheSamePlanesAgreeAtEveryDamping) {
  // Every cell holds the same planes: the damping has nothing to pull, and
  // each cell keeps the linear inversion of those planes.
  const auto planes = noisy(planes_under(stress_toward(30.0, 0.4), 12, 100u), 10.0, 101u);
  const Matrix3 own = unit(mech::linear_inversion(planes).tensor);
  std::vector<CellData> cells;
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 2; ++j) cells.push_back({{i, j}, planes});
  }
  double misfit = -1.0;
  for (double e : {0.0, 0.1, 1.0, 30.0}) {
    const grid::DampedSolution s = grid::solve_damped(cells, e);
    EXPECT_LT(s.model_length, 1e-20) << e;
    if (misfit >= 0.0) {
      EXPECT_NEAR(s.misfit, misfit, 1e-12) << e;
    }
    misfit = s.misfit;
    EXPECT_GT(misfit, 0.0);
    for (const grid::CellAnswer& a : s.cells) {
      EXPECT_LT(norm_diff(a.tensor, own), 1e-9) << e << " " << grid::cell_name(a.index);
      EXPECT_GT(a.mean_misfit_deg, 1.0);
      EXPECT_LT(a.mean_misfit_deg, 30.0);
    }
  }
}

TEST(DampedInversion, StrongDampingMakesNeighboursEqual) {
  std::vector<CellData> cells;
  const double az[] = {0.0, 30.0, 60.0};
  for (int i = 0; i < 3; ++i) {
    cells.push_back({{i}, noisy(planes_under(stress_toward(az[i], 0.5), 20, 200u + static_cast<unsigned>(i)), 10.0, 300u + static_cast<unsigned>(i))});
  }
  double last_spread = 1e9, last_misfit = -1.0;
  for (double e : {0.0, 0.5, 2.0, 1e3}) {
    const grid::DampedSolution s = grid::solve_damped(cells, e);
    const double spread = stress_difference_deg(s.cells[0].tensor, s.cells[2].tensor);
    EXPECT_LE(spread, last_spread + 1e-9) << e;  // more damping, closer neighbours
    EXPECT_GE(s.misfit, last_misfit - 1e-12) << e;  // and a worse fit of the data
    last_spread = spread;
    last_misfit = s.misfit;
    if (e >= 1e3) {
      EXPECT_LT(norm_diff(s.cells[0].tensor, s.cells[1].tensor), 1e-6);
      EXPECT_LT(norm_diff(s.cells[1].tensor, s.cells[2].tensor), 1e-6);
      EXPECT_LT(s.model_length, 1e-12);
      // All cells then hold the inversion of the pooled planes.
      std::vector<mech::DoubleCouple> pooled;
      for (const CellData& c : cells) pooled.insert(pooled.end(), c.planes.begin(), c.planes.end());
      EXPECT_LT(norm_diff(s.cells[1].tensor, unit(mech::linear_inversion(pooled).tensor)), 1e-5);
    }
  }
}

TEST(DampedInversion, GapCellsBridgeAndAreFlagged) {
  struct Case {
    std::vector<Index> with_events;
    std::vector<Index> gaps;  // expected, in index order
  };
  const Case cases[] = {
      {{{0, 0}, {2, 0}}, {{1, 0}}},
      {{{0, 0}, {3, 0}}, {{1, 0}, {2, 0}}},
      {{{0, 0}, {0, 2}, {2, 0}}, {{0, 1}, {1, 0}}},
      {{{0, 0}, {2, 2}}, {}},                       // not on one line: no gap
      {{{0, 0, 0}, {0, 0, 2}, {1, 0, 0}}, {{0, 0, 1}}},
      {{{5}, {7}, {8}}, {{6}}},
  };
  for (const Case& c : cases) {
    std::vector<CellData> cells;
    for (std::size_t k = 0; k < c.with_events.size(); ++k) {
      cells.push_back({c.with_events[k], planes_under(stress_toward(40.0 * static_cast<double>(k), 0.5), 10, 50u + static_cast<unsigned>(k))});
    }
    const grid::DampedSolution s = grid::solve_damped(cells, 1.0);
    ASSERT_EQ(s.gap_cells, static_cast<int>(c.gaps.size()));
    for (std::size_t g = 0; g < c.gaps.size(); ++g) {
      const grid::CellAnswer& a = s.cells[cells.size() + g];
      EXPECT_EQ(a.index, c.gaps[g]);
      EXPECT_FALSE(a.has_events);
      EXPECT_EQ(a.planes, 0);
      EXPECT_EQ(a.status, CellStatus::solved);
    }
    // Undamped, a gap cell has nothing to fix it.
    const grid::DampedSolution u = grid::solve_damped(cells, 0.0);
    for (std::size_t g = 0; g < c.gaps.size(); ++g) {
      EXPECT_EQ(u.cells[cells.size() + g].status, CellStatus::underdetermined);
      EXPECT_FALSE(u.cells[cells.size() + g].state.defined);
    }
  }
}

TEST(DampedInversion, GapCellLiesBetweenItsNeighbours) {
  const std::vector<CellData> cells = {{{0, 0}, planes_under(stress_toward(10.0, 0.5), 15, 1u)},
                                       {{2, 0}, planes_under(stress_toward(70.0, 0.5), 15, 2u)}};
  for (double e : {0.3, 1.0, 3.0}) {
    const grid::DampedSolution s = grid::solve_damped(cells, e);
    ASSERT_EQ(s.cells.size(), 3u);
    const Matrix3 &a = s.cells[0].tensor, &b = s.cells[1].tensor, &g = s.cells[2].tensor;
    const double ab = stress_difference_deg(a, b), ag = stress_difference_deg(a, g), gb = stress_difference_deg(g, b);
    EXPECT_GT(ab, 1.0);
    EXPECT_NEAR(ag + gb, ab, 1e-6) << e;  // on the arc from one to the other
    EXPECT_NEAR(ag, gb, 0.5 * ab) << e;
    EXPECT_GT(*s.cells[2].state.shmax, *s.cells[0].state.shmax);
    EXPECT_LT(*s.cells[2].state.shmax, *s.cells[1].state.shmax);
  }
}

TEST(DampedInversion, SingleCellIsItsLinearInversionAtAnyDamping) {
  const std::vector<CellData> cells = {{{4, 2}, noisy(planes_under(stress_toward(25.0, 0.6, 20.0), 25, 9u), 12.0, 10u)}};
  const mech::LinearResult own = mech::linear_inversion(cells[0].planes);
  for (double e : {0.0, 1.0, 100.0}) {
    const grid::DampedSolution s = grid::solve_damped(cells, e);
    ASSERT_EQ(s.cells.size(), 1u);
    EXPECT_LT(norm_diff(s.cells[0].tensor, unit(own.tensor)), 1e-9);
    EXPECT_EQ(s.model_length, 0.0);
  }
}

TEST(DampedInversion, BadInputIsRefusedClearly) {
  const auto some = planes_under(stress_toward(0.0, 0.5), 5, 3u);
  auto nan_plane = some;
  nan_plane[2].slip[1] = std::nan("");
  struct Case {
    const char* what;
    std::vector<CellData> cells;
    double e;
    const char* message;
  };
  const Case cases[] = {
      {"no cells", {}, 1.0, "at least one cell"},
      {"twice", {{{0, 1}, some}, {{0, 1}, some}}, 1.0, "cell c_0_1 is given twice"},
      {"lengths", {{{0, 1}, some}, {{0}, some}}, 1.0, "cell c_0 has 1 indices"},
      {"empty index", {{{}, some}}, 1.0, "at least one axis"},
      {"negative e", {{{0}, some}}, -1.0, "damping"},
      {"nan e", {{{0}, some}}, std::nan(""), "damping"},
      {"infinite e", {{{0}, some}}, INFINITY, "damping"},
      {"e too large to keep the data", {{{0}, some}}, 1e4, "the damping e must be 0 or from 1e-6 to 1000"},
      {"e too small to compute", {{{0}, some}}, 1e-7, "the damping e must be 0 or from 1e-6 to 1000"},
      {"index too far", {{{0, 2000000000}, some}}, 1.0, "cell c_0_2000000000 has an index beyond 1000000000"},
      {"too sparse", {{{0, -900000000}, some}, {{0, 900000000}, some}}, 1.0, "empty cells between them along the 2nd axis"},
      {"nan plane", {{{0}, some}, {{1}, nan_plane}}, 1.0, "plane 3 of cell c_1 is not finite"},
  };
  for (const Case& c : cases) {
    try {
      grid::solve_damped(c.cells, c.e);
      ADD_FAILURE() << c.what << ": accepted";
    } catch (const grid::DampedError& err) {
      EXPECT_NE(std::string(err.what()).find(c.message), std::string::npos) << c.what << ": " << err.what();
    }
  }
}

TEST(DampedInversion, CellsTooPoorAreFlaggedNotFatal) {
  const auto rich = planes_under(stress_toward(20.0, 0.5), 20, 4u);
  const auto two = planes_under(stress_toward(20.0, 0.5), 2, 5u);
  const std::vector<mech::DoubleCouple> same(4, rich[0]);  // one plane four times: no tensor
  struct Case {
    const char* what;
    std::vector<CellData> cells;
    double e;
    std::vector<CellStatus> status;
  };
  const Case cases[] = {
      {"two planes alone, undamped", {{{0}, two}}, 0.0, {CellStatus::underdetermined}},
      {"two planes alone, damped", {{{0}, two}}, 1.0, {CellStatus::underdetermined}},
      {"no planes", {{{0}, {}}}, 1.0, {CellStatus::underdetermined}},
      {"one plane repeated", {{{0}, same}}, 0.0, {CellStatus::underdetermined}},
      {"two planes beside a rich cell, undamped", {{{0}, rich}, {{1}, two}}, 0.0, {CellStatus::solved, CellStatus::underdetermined}},
      {"two planes beside a rich cell, damped", {{{0}, rich}, {{1}, two}}, 0.5, {CellStatus::solved, CellStatus::solved}},
      {"poor cells apart", {{{0}, rich}, {{3}, two}}, 1.0,
       {CellStatus::solved, CellStatus::solved, CellStatus::solved, CellStatus::solved}},  // bridged by the gap cells
      {"poor cell off the line", {{{0, 0}, rich}, {{3, 3}, two}}, 1.0, {CellStatus::solved, CellStatus::underdetermined}},
  };
  for (const Case& c : cases) {
    const grid::DampedSolution s = grid::solve_damped(c.cells, c.e);
    ASSERT_EQ(s.cells.size(), c.status.size()) << c.what;
    for (std::size_t k = 0; k < c.status.size(); ++k) {
      EXPECT_EQ(s.cells[k].status, c.status[k]) << c.what << " cell " << k;
      if (c.status[k] != CellStatus::solved) {
        EXPECT_FALSE(s.cells[k].state.defined) << c.what;
        EXPECT_EQ(norm_diff(s.cells[k].tensor, Matrix3{}), 0.0) << c.what;
      }
    }
    EXPECT_TRUE(std::isfinite(s.misfit) && std::isfinite(s.model_length)) << c.what;
  }
  EXPECT_STREQ(grid::cell_status_name(CellStatus::underdetermined), "underdetermined");
}

TEST(DampingChoice, CornerOfAnLShapedCurve) {
  // x = softplus(k (t - t0)), y = softplus(-k (t - t0)) in t = ln e: flat,
  // then a sharp turn at e0, then steep; the corner is at e0 whatever the
  // units of either axis.
  struct Case {
    double e0, x_scale, y_scale, sharpness;
  };
  const Case cases[] = {{1.0, 1.0, 1.0, 3.0}, {0.3, 1000.0, 1.0, 3.0}, {5.0, 1e-4, 50.0, 2.0}, {0.05, 1.0, 1.0, 6.0}};
  for (const Case& c : cases) {
    std::vector<grid::TradeoffPoint> curve;
    for (double e : grid::tradeoff_sweep()) {
      const double t = c.sharpness * std::log(e / c.e0);
      curve.push_back({e, c.x_scale * std::log1p(std::exp(t)), c.y_scale * std::log1p(std::exp(-t))});
    }
    const double chosen = curve[grid::tradeoff_corner(curve)].e;
    EXPECT_LT(std::fabs(std::log(chosen / c.e0)), std::log(2.0)) << c.e0 << " chose " << chosen;
  }
  EXPECT_THROW(grid::tradeoff_corner({{1.0, 1.0, 1.0}, {2.0, 2.0, 0.5}}), grid::DampedError);
  EXPECT_THROW(grid::tradeoff_corner({{1.0, 1.0, 1.0}, {1.0, 2.0, 0.5}, {3.0, 3.0, 0.1}}), grid::DampedError);
}

TEST(DampingChoice, SweepOfARealGridIsATradeoff) {
  std::vector<CellData> cells;
  for (int i = 0; i < 4; ++i) {
    for (int j = 0; j < 3; ++j) {
      const unsigned k = static_cast<unsigned>(i * 3 + j);
      cells.push_back({{i, j}, noisy(planes_under(stress_toward(15.0 * i + 10.0 * j, 0.5), 8 + 3 * static_cast<int>(k % 4), 400u + k), 15.0, 500u + k)});
    }
  }
  const grid::Tradeoff t = grid::choose_damping(cells);
  ASSERT_EQ(t.curve.size(), static_cast<std::size_t>(grid::kTradeoffPoints));
  EXPECT_EQ(t.method, "largest curvature of the trade-off curve");
  for (std::size_t k = 1; k < t.curve.size(); ++k) {
    EXPECT_GE(t.curve[k].misfit, t.curve[k - 1].misfit - 1e-12);
    EXPECT_LE(t.curve[k].model_length, t.curve[k - 1].model_length + 1e-12);
  }
  EXPECT_GT(t.chosen, grid::kTradeoffLow);
  EXPECT_LT(t.chosen, grid::kTradeoffHigh);
  // Cells that touch nowhere: the damping changes nothing, and says so.
  const std::vector<CellData> apart = {cells[0], {{9, 9}, cells[1].planes}};
  const grid::Tradeoff flat = grid::choose_damping(apart);
  EXPECT_EQ(flat.method, "flat trade-off curve: the least damping of the sweep");
  EXPECT_DOUBLE_EQ(flat.chosen, grid::kTradeoffLow);
}

// Events of one cell under a stress: faults clearly more unstable than their
// auxiliary planes (as faults that slipped are), both planes each, slips
// with noise.
std::vector<mech::Event> events_under(const Matrix3& T, int n, unsigned seed) {
  const mech::Principal p = mech::principal_of(T);
  std::vector<mech::DoubleCouple> faults;
  for (const mech::DoubleCouple& d : planes_under(T, 20 * n, seed)) {
    if (static_cast<int>(faults.size()) < n &&
        mech::instability(p, d.normal, 0.6) > mech::instability(p, mech::auxiliary(d).normal, 0.6) + 0.1) {
      faults.push_back(d);
    }
  }
  std::vector<mech::Event> out;
  int k = 0;
  for (const mech::DoubleCouple& d : noisy(faults, 8.0, seed + 1u)) {
    const bool swap = (k % 2) == 1;  // half given by their auxiliary plane
    out.push_back(mech::make_event(k + 1, k + 2, "", mech::plane_of(swap ? mech::auxiliary(d) : d), 0));
    ++k;
  }
  return out;
}

std::vector<grid::CellEvents> event_grid() {
  std::vector<grid::CellEvents> cells;
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 2; ++j) {
      const unsigned k = static_cast<unsigned>(i * 2 + j);
      cells.push_back({{i, j}, events_under(stress_toward(20.0 + 10.0 * i, 0.5), 10 + 4 * static_cast<int>(k), 600u + k), {}});
    }
  }
  return cells;
}

TEST(DampedChoice, ChoosesTheFaultPlanesAndReachesAFixedPoint) {
  const auto cells = event_grid();
  const grid::DampedChoice c = grid::choose_damped(cells, 0.5, {});
  EXPECT_TRUE(c.converged);
  EXPECT_GE(c.rounds, 2);
  int right = 0, total = 0;
  for (std::size_t i = 0; i < cells.size(); ++i) {
    for (std::size_t k = 0; k < cells[i].events.size(); ++k) {
      right += c.planes[i][k] == (k % 2 == 1 ? 2 : 1);
      ++total;
    }
    EXPECT_LT(std::fabs(*c.solution.cells[i].state.shmax - (20.0 + 10.0 * static_cast<double>(i / 2))), 12.0);
  }
  EXPECT_GT(right, total * 7 / 10);
  // A known plane is kept whatever the stress; a start of the wrong length is refused.
  auto known = cells;
  known[0].events[0].known = 2;
  EXPECT_EQ(grid::choose_damped(known, 0.5, {}).planes[0][0], 2);
  known[0].start = {1, 2};
  EXPECT_THROW(grid::choose_damped(known, 0.5, {}), grid::DampedError);
  grid::ChoiceRule bad;
  bad.friction = 0.0;
  EXPECT_THROW(grid::choose_damped(cells, 0.5, bad), grid::DampedError);
}

bool same_bytes(const std::vector<grid::DampedReplicate>& a, const std::vector<grid::DampedReplicate>& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t r = 0; r < a.size(); ++r) {
    if (a[r].index != b[r].index || a[r].rounds != b[r].rounds || a[r].status != b[r].status) return false;
    if (a[r].stress.size() != b[r].stress.size()) return false;
    for (std::size_t c = 0; c < a[r].stress.size(); ++c) {
      if (std::memcmp(&a[r].stress[c], &b[r].stress[c], sizeof(mech::Principal)) != 0) return false;
    }
  }
  return true;
}

TEST(DampedBootstrap, SameBytesWhateverTheThreadsAndTheSplit) {
  const auto cells = event_grid();
  const grid::DampedChoice main = grid::choose_damped(cells, 0.5, {});
  grid::BootstrapOptions o;
  o.e = 0.5;
  o.seed = 42;
  const auto one = grid::damped_replicates(cells, main, o, 0, 8);
  o.jobs = 2;
  const auto two = grid::damped_replicates(cells, main, o, 0, 8);
  EXPECT_TRUE(same_bytes(one, two));
  auto joined = grid::damped_replicates(cells, main, o, 0, 3);
  const auto rest = grid::damped_replicates(cells, main, o, 3, 8);
  joined.insert(joined.end(), rest.begin(), rest.end());
  EXPECT_TRUE(same_bytes(one, joined));
  EXPECT_TRUE(grid::damped_replicates(cells, main, o, 5, 5).empty());
  EXPECT_THROW(grid::damped_replicates(cells, main, o, 4, 3), grid::DampedError);
  EXPECT_THROW(grid::damped_replicates(cells, main, o, -1, 3), grid::DampedError);
  o.seed = 43;
  EXPECT_FALSE(same_bytes(one, grid::damped_replicates(cells, main, o, 0, 8)));

  const auto stats = grid::damped_bootstrap_stats(main.solution, one, 95.0);
  ASSERT_EQ(stats.size(), main.solution.cells.size());
  for (std::size_t c = 0; c < stats.size(); ++c) {
    EXPECT_EQ(stats[c].used, 8);
    for (const auto& cone : stats[c].cone_deg) {
      ASSERT_TRUE(cone.has_value());
      EXPECT_GE(*cone, 0.0);
      EXPECT_LE(*cone, 90.0);
    }
    ASSERT_TRUE(stats[c].R && stats[c].SHmax);
    EXPECT_LE(stats[c].R->low, stats[c].R->high);
    EXPECT_LE(stats[c].SHmax->low, stats[c].SHmax->high);
    EXPECT_LT(std::fabs(stats[c].SHmax->low - *main.solution.cells[c].state.shmax), 90.0);
  }
  EXPECT_THROW(grid::damped_bootstrap_stats(main.solution, one, 100.0), grid::DampedError);
}

}  // namespace

namespace {

TEST(DampedBootstrap, CellsNotSolvedGetEmptyStatistics) {
  // A lone cell of two events is underdetermined at any damping: its
  // statistics are empty, its neighbours' are not; a gap cell between
  // solved cells gets statistics of its own.
  auto cells = event_grid();
  cells.resize(2);                 // c_0_0 and c_0_1
  cells.push_back({{3, 0}, {}, {}});  // gap cells c_1_0, c_2_0 bridge to it
  cells.back().events = events_under(stress_toward(40.0, 0.5), 12, 900u);
  cells.push_back({{9, 9}, events_under(stress_toward(40.0, 0.5), 2, 901u), {}});
  const grid::DampedChoice main = grid::choose_damped(cells, 0.5, {});
  ASSERT_EQ(main.solution.cells.size(), 6u);
  EXPECT_EQ(main.solution.cells[3].status, CellStatus::underdetermined);
  grid::BootstrapOptions o;
  o.e = 0.5;
  const auto reps = grid::damped_replicates(cells, main, o, 0, 6);
  const auto stats = grid::damped_bootstrap_stats(main.solution, reps, 90.0);
  ASSERT_EQ(stats.size(), 6u);
  for (std::size_t c = 0; c < stats.size(); ++c) {
    if (c == 3) {
      EXPECT_EQ(stats[c].used, 0);
      EXPECT_FALSE(stats[c].cone_deg[0].has_value());
      EXPECT_EQ(stats[c].quality.rank, 'E');
    } else {
      EXPECT_EQ(stats[c].used, 6) << c;
      EXPECT_TRUE(stats[c].cone_deg[2].has_value()) << c;
    }
  }
  // Replicates of other cells, or a main choice of other events, are refused.
  auto other = main;
  other.planes.pop_back();
  EXPECT_THROW(grid::damped_replicates(cells, other, o, 0, 2), grid::DampedError);
  grid::DampedSolution fewer = main.solution;
  fewer.cells.pop_back();
  EXPECT_THROW(grid::damped_bootstrap_stats(fewer, reps, 95.0), grid::DampedError);
  o.jobs = 0;
  EXPECT_THROW(grid::damped_replicates(cells, main, o, 0, 2), grid::DampedError);
}

}  // namespace
