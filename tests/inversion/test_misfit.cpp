#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <sstream>
#include <string>

#include "inversion/misfit.hpp"

namespace zk {
namespace {

constexpr float kPi = 3.141593f;
constexpr float kHalfPi = kPi / 2.0f;
constexpr float kA = 0.70710677f;  // 1/sqrt(2)

struct MisfitTest : testing::Test {
  std::istringstream in;
  std::ostringstream out;
  Workspace ws{in, out};

  void SetUp() override { ws.block.PI = kPi; }

  // Datum i: downward normal n, slip s.
  void datum(int i, Vec3 n, Vec3 s) {
    for (int c = 1; c <= 3; ++c) {
      ws.tir.FN(i, c) = n(c);
      ws.tir.STR(i, c) = s(c);
    }
    if (i > ws.tir.N) ws.tir.N = i;
  }
};

Vec3 v3(float x, float y, float z) {
  Vec3 v;
  v(1) = x;
  v(2) = y;
  v(3) = z;
  return v;
}

TEST_F(MisfitTest, AngleBetweenSlipAndShearStress) {
  struct Case {
    const char* name;
    Vec3 n, s;
    float R, PSI, TETA, PHI;
    float want;
  };
  // Plane striking north, dipping 45 east; sigma 1 vertical, sigma 3 N-S:
  // the shear drives the hanging wall down the dip.
  const Vec3 n45 = v3(-kA, 0.0f, -kA);
  const Vec3 down_dip = v3(kA, 0.0f, -kA);
  const Vec3 up_dip = v3(-kA, 0.0f, kA);
  // Vertical plane striking north; sigma 1 horizontal toward azimuth 45.
  const Vec3 east = v3(1.0f, 0.0f, 0.0f);
  const Case cases[] = {
      {"normal fault, R 0.1", n45, down_dip, 0.1f, 0.0f, kHalfPi, kHalfPi, 0.0f},
      {"normal fault, R 0.5", n45, down_dip, 0.5f, 0.0f, kHalfPi, kHalfPi, 0.0f},
      {"normal fault, R 0.9", n45, down_dip, 0.9f, 0.0f, kHalfPi, kHalfPi, 0.0f},
      {"reverse sense, R 0.1", n45, up_dip, 0.1f, 0.0f, kHalfPi, kHalfPi, kPi},
      {"reverse sense, R 0.9", n45, up_dip, 0.9f, 0.0f, kHalfPi, kHalfPi, kPi},
      {"strike slip, north", east, v3(0.0f, 1.0f, 0.0f), 0.5f, kPi / 4.0f, 0.0f, 0.0f, 0.0f},
      {"strike slip, south", east, v3(0.0f, -1.0f, 0.0f), 0.5f, kPi / 4.0f, 0.0f, 0.0f, kPi},
      {"slip across the shear", east, v3(0.0f, 0.0f, -1.0f), 0.5f, kPi / 4.0f, 0.0f, 0.0f, kHalfPi},
  };
  for (const Case& c : cases) {
    ws.tir.N = 0;
    datum(1, c.n, c.s);
    ws.ind.NMIN = 1;
    float F = -1.0f;
    float FT = -1.0f;
    SOMME(ws, F, FT, c.R, c.PSI, c.TETA, c.PHI, 0, 1);
    EXPECT_NEAR(ws.tab.ANG(1), c.want, 1.0e-3f) << c.name;
    EXPECT_GE(ws.tab.ANG(1), 0.0f) << c.name;
    EXPECT_LE(ws.tab.ANG(1), kPi) << c.name;
    EXPECT_EQ(F, ws.tab.ANG(1) * ws.tab.ANG(1)) << c.name;
    EXPECT_EQ(FT, F) << c.name;
  }
}

// Three data under sigma 1 east-west, sigma 3 vertical (all axes exact):
// 1 slips against the shear (pi), 2 lies on a principal plane (no shear),
// 3 slips with it (0).
struct RankedSet : MisfitTest {
  void SetUp() override {
    MisfitTest::SetUp();
    datum(1, v3(-kA, 0.0f, -kA), v3(kA, 0.0f, -kA));
    datum(2, v3(0.0f, 0.0f, -1.0f), v3(1.0f, 0.0f, 0.0f));
    datum(3, v3(-kA, 0.0f, -kA), v3(-kA, 0.0f, kA));
  }
  void flip_slips() {
    for (int i = 1; i <= ws.tir.N; ++i) {
      for (int c = 1; c <= 3; ++c) ws.tir.STR(i, c) = -ws.tir.STR(i, c);
    }
  }
  float F = -1.0f;
  float FT = -1.0f;
};

TEST_F(RankedSet, RankingPartialAndTotalSums) {
  ws.ind.NMIN = 2;
  SOMME(ws, F, FT, 0.5f, 0.0f, 0.0f, 0.0f, 0, 1);
  // A plane without shear gets exactly pi/2, not a division by zero.
  EXPECT_EQ(ws.tab.ANG(2), kHalfPi);
  EXPECT_EQ(ws.tab.IX(1), 3);
  EXPECT_EQ(ws.tab.IX(2), 2);
  EXPECT_EQ(ws.tab.IX(3), 1);
  EXPECT_NEAR(ws.tab.ANG(1), 0.0f, 1.0e-3f);
  EXPECT_NEAR(ws.tab.ANG(3), kPi, 1.0e-3f);
  EXPECT_EQ(ws.spes.ANGMAX, kHalfPi);
  EXPECT_NEAR(F, kHalfPi * kHalfPi, 1.0e-5f);
  EXPECT_NEAR(FT, kHalfPi * kHalfPi + kPi * kPi, 1.0e-2f);
}

TEST_F(RankedSet, NminOfAllDataGivesTheTotal) {
  ws.ind.NMIN = 3;
  SOMME(ws, F, FT, 0.3f, 0.2f, 0.1f, 0.4f, 0, 1);
  EXPECT_EQ(F, FT);
}

TEST_F(RankedSet, NminOutsideTheDataLeavesFAsItWas) {
  for (int nmin : {0, 4}) {
    ws.ind.NMIN = nmin;
    F = -5.0f;
    ws.spes.ANGMAX = -5.0f;
    SOMME(ws, F, FT, 0.5f, 0.0f, 0.0f, 0.0f, 0, 1);
    EXPECT_EQ(F, -5.0f) << nmin;
    EXPECT_EQ(ws.spes.ANGMAX, -5.0f) << nmin;
    EXPECT_TRUE(std::isfinite(FT)) << nmin;
  }
}

TEST_F(RankedSet, WithoutRankingTheLastRankingChoosesTheData) {
  ws.ind.NMIN = 2;
  SOMME(ws, F, FT, 0.5f, 0.0f, 0.0f, 0.0f, 0, 1);
  const float ranked = F;
  const Vec<int, kMaxData> ix = ws.tab.IX;

  // Same tensor, no ranking: the same value, ranking kept.
  SOMME(ws, F, FT, 0.5f, 0.0f, 0.0f, 0.0f, 0, 0);
  EXPECT_EQ(F, ranked);
  for (int j = 1; j <= 3; ++j) EXPECT_EQ(ws.tab.IX(j), ix(j));

  // With every slip reversed, the two data of the old ranking (3 and 2) are
  // summed although datum 1 now fits best; the angles stay in datum order.
  flip_slips();
  SOMME(ws, F, FT, 0.5f, 0.0f, 0.0f, 0.0f, 0, 0);
  EXPECT_NEAR(F, kPi * kPi + kHalfPi * kHalfPi, 1.0e-2f);
  EXPECT_NEAR(ws.tab.ANG(1), 0.0f, 1.0e-3f);
  EXPECT_NEAR(ws.tab.ANG(3), kPi, 1.0e-3f);

  // Ranked again, the sum drops to the two best.
  SOMME(ws, F, FT, 0.5f, 0.0f, 0.0f, 0.0f, 0, 1);
  EXPECT_NEAR(F, kHalfPi * kHalfPi, 1.0e-5f);
}

TEST_F(RankedSet, WithoutAnyRankingYetTheDatumOrderIsUsed) {
  // Fresh work areas: IX is all zero.
  ws.ind.NMIN = 1;
  SOMME(ws, F, FT, 0.5f, 0.0f, 0.0f, 0.0f, 0, 0);
  EXPECT_NEAR(F, kPi * kPi, 1.0e-2f);  // datum 1
}

TEST_F(RankedSet, UndefinedShearGivesHalfPi) {
  ws.ind.NMIN = 3;
  const float nan = std::numeric_limits<float>::quiet_NaN();
  SOMME(ws, F, FT, 0.5f, nan, 0.0f, 0.0f, 0, 1);
  for (int j = 1; j <= 3; ++j) EXPECT_EQ(ws.tab.ANG(j), kHalfPi) << j;
  EXPECT_EQ(F, 3.0f * (kHalfPi * kHalfPi));
}

TEST_F(RankedSet, DifTakesPsiTetaPhiRAndRanks) {
  ws.ind.NMIN = 2;
  Vec4 X;
  X(1) = 0.3f;  // PSI
  X(2) = 1.1f;  // TETA
  X(3) = 2.0f;  // PHI
  X(4) = 0.7f;  // R
  const Vec4 before = X;
  SOMME(ws, F, FT, 0.7f, 0.3f, 1.1f, 2.0f, 0, 1);
  const float want = F;
  ws.tab.IX(1) = 0;
  float got = -1.0f;
  DIF(ws, X, got);
  EXPECT_EQ(got, want);
  EXPECT_NE(ws.tab.IX(1), 0);
  for (int i = 1; i <= 4; ++i) EXPECT_EQ(X(i), before(i));
}

TEST_F(RankedSet, TraceLine) {
  const auto path = std::filesystem::temp_directory_path() / "zarkel_misfit_trace.lst";
  ASSERT_TRUE(ws.units.open(8, path.string(), "unknown"));
  ws.ind.NMIN = 3;
  SOMME(ws, F, FT, 0.5f, 1.25f, -0.5f, kPi, 1, 1);
  SOMME(ws, F, FT, 0.5f, 1.25f, -0.5f, kPi, 0, 1);  // no trace
  ws.units.close(8);
  std::ifstream f(path);
  const std::string text((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
  std::filesystem::remove(path);
  EXPECT_EQ(text, "\n          VAL3=  0.50PSI=  1.25TETA= -0.50PHI=  3.14IC OMP=  3\n\n\n");
}

}  // namespace
}  // namespace zk
