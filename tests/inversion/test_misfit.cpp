#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

#include "inversion/misfit.hpp"

namespace zk {
namespace {

constexpr float kPi = 3.141593f;
constexpr float kHalfPi = kPi / 2.0f;
constexpr float kA = 0.70710677f;

struct MisfitTest : testing::Test {
  std::istringstream in;
  std::ostringstream out;
  Workspace ws{in, out};
  float F = -1.0f, FT = -1.0f;

  void SetUp() override { ws.block.PI = kPi; }
  // Datum i: downward normal n, slip s.
  void datum(int i, const float (&n)[3], const float (&s)[3]) {
    for (int c = 1; c <= 3; ++c) {
      ws.tir.FN(i, c) = n[c - 1];
      ws.tir.STR(i, c) = s[c - 1];
    }
    ws.tir.N = i;
  }
};

TEST_F(MisfitTest, AngleBetweenSlipAndShearStress) {
  struct Case {
    const char* name;
    float n[3], s[3];
    float R, PSI, TETA, PHI, want;
  };
  // Plane striking north dipping 45 east under sigma 1 vertical, sigma 3
  // north-south; vertical plane striking north under sigma 1 toward N45E.
  const Case cases[] = {
      {"down dip, R 0.1", {-kA, 0, -kA}, {kA, 0, -kA}, 0.1f, 0.0f, kHalfPi, kHalfPi, 0.0f},
      {"down dip, R 0.9", {-kA, 0, -kA}, {kA, 0, -kA}, 0.9f, 0.0f, kHalfPi, kHalfPi, 0.0f},
      {"up dip, R 0.5", {-kA, 0, -kA}, {-kA, 0, kA}, 0.5f, 0.0f, kHalfPi, kHalfPi, kPi},
      {"strike slip north", {1, 0, 0}, {0, 1, 0}, 0.5f, kPi / 4.0f, 0.0f, 0.0f, 0.0f},
      {"strike slip south", {1, 0, 0}, {0, -1, 0}, 0.5f, kPi / 4.0f, 0.0f, 0.0f, kPi},
      {"across the shear", {1, 0, 0}, {0, 0, -1}, 0.5f, kPi / 4.0f, 0.0f, 0.0f, kHalfPi},
  };
  ws.ind.NMIN = 1;
  for (const Case& c : cases) {
    datum(1, c.n, c.s);
    SOMME(ws, F, FT, c.R, c.PSI, c.TETA, c.PHI, 0, 1);
    EXPECT_NEAR(ws.tab.ANG(1), c.want, 1.0e-3f) << c.name;
    EXPECT_EQ(F, ws.tab.ANG(1) * ws.tab.ANG(1)) << c.name;
  }
}

// Under sigma 1 east-west and sigma 3 vertical (exact axes): datum 1 slips
// against the shear (pi), datum 2 lies on a principal plane (no shear),
// datum 3 slips with it (0).
struct RankedSet : MisfitTest {
  void SetUp() override {
    MisfitTest::SetUp();
    datum(1, {-kA, 0, -kA}, {kA, 0, -kA});
    datum(2, {0, 0, -1}, {1, 0, 0});
    datum(3, {-kA, 0, -kA}, {-kA, 0, kA});
  }
  void eval(int itri) { SOMME(ws, F, FT, 0.5f, 0.0f, 0.0f, 0.0f, 0, itri); }
};

TEST_F(RankedSet, RankingAndSums) {
  ws.ind.NMIN = 1;
  eval(0);  // no ranking made yet: the datum order stands in
  EXPECT_NEAR(F, kPi * kPi, 1.0e-2f);

  ws.ind.NMIN = 2;
  eval(1);
  EXPECT_EQ(ws.tab.ANG(2), kHalfPi);  // no shear: pi/2, no division by zero
  EXPECT_EQ(ws.spes.ANGMAX, kHalfPi);
  EXPECT_EQ(ws.tab.IX(1), 3);
  EXPECT_EQ(ws.tab.IX(2), 2);
  EXPECT_EQ(ws.tab.IX(3), 1);
  EXPECT_NEAR(F, kHalfPi * kHalfPi, 1.0e-5f);
  EXPECT_NEAR(FT, kHalfPi * kHalfPi + kPi * kPi, 1.0e-2f);
  const float ranked = F;
  eval(0);
  EXPECT_EQ(F, ranked);

  // Every slip reversed, no new ranking: data 3 and 2 are still summed
  // although datum 1 now fits best.
  for (int i = 1; i <= 3; ++i) {
    for (int c = 1; c <= 3; ++c) ws.tir.STR(i, c) = -ws.tir.STR(i, c);
  }
  eval(0);
  EXPECT_NEAR(F, kPi * kPi + kHalfPi * kHalfPi, 1.0e-2f);

  ws.ind.NMIN = 3;
  SOMME(ws, F, FT, 0.3f, 0.2f, 0.1f, 0.4f, 0, 1);
  EXPECT_EQ(F, FT);
  for (int nmin : {0, 4}) {  // never reached: F is left as it was
    ws.ind.NMIN = nmin;
    F = -5.0f;
    eval(1);
    EXPECT_EQ(F, -5.0f) << nmin;
  }
}

TEST_F(RankedSet, DifTakesPsiTetaPhiR) {
  ws.ind.NMIN = 2;
  Vec4 X;
  X(1) = 0.3f;
  X(2) = 1.1f;
  X(3) = 2.0f;
  X(4) = 0.7f;
  SOMME(ws, F, FT, 0.7f, 0.3f, 1.1f, 2.0f, 0, 1);
  float got = -1.0f;
  DIF(ws, X, got);
  EXPECT_EQ(got, F);
  EXPECT_EQ(X(4), 0.7f);
}

TEST_F(RankedSet, TraceLine) {
  const auto path = std::filesystem::temp_directory_path() / "zarkel_misfit_trace.lst";
  ASSERT_TRUE(ws.units.open(8, path.string(), "unknown"));
  ws.ind.NMIN = 3;
  SOMME(ws, F, FT, 0.5f, 1.25f, -0.5f, kPi, 1, 1);
  SOMME(ws, F, FT, 0.5f, 1.25f, -0.5f, kPi, 0, 1);
  ws.units.close(8);
  std::ifstream f(path);
  const std::string text((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
  std::filesystem::remove(path);
  EXPECT_EQ(text, "\n          VAL3=  0.50PSI=  1.25TETA= -0.50PHI=  3.14IC OMP=  3\n\n\n");
}

}  // namespace
}  // namespace zk
