#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include "data/geometry.hpp"
#include "inversion/misfit.hpp"
#include "inversion/optimi.hpp"

namespace zk {
namespace {

constexpr float kPi = 3.141593f;

Vec4 vec4(float a, float b, float c, float d) {
  Vec4 v;
  v(1) = a;
  v(2) = b;
  v(3) = c;
  v(4) = d;
  return v;
}

int count_prefix(const std::vector<std::string>& lines, const std::string& prefix) {
  int n = 0;
  for (const std::string& l : lines) n += l.compare(0, prefix.size(), prefix) == 0 ? 1 : 0;
  return n;
}

// Eight planes whose slips follow the shear of the tensor X0 exactly
// (lengthened a little so every cosine rounds to >= 1): the misfit is 0 at
// X0, so no step can lower it.
struct OptimiTest : testing::Test {
  std::istringstream in;
  std::ostringstream out;
  Workspace ws{in, out};
  const Vec4 X0 = vec4(0.7f, 1.2f, 0.4f, 0.35f);  // PSI, TETA, PHI, R
  Vec4 XMIN, XMAX, XBEST = vec4(99.0f, 99.0f, 99.0f, 99.0f);
  Vec<int, 4> KIND;
  std::filesystem::path listing = std::filesystem::temp_directory_path() / "zarkel_optimi.lst";

  void SetUp() override {
    ws.block.PI = kPi;
    ws.iop.KMAX = 40;
    ws.iop.NPAR = 4;
    CHANG(ws, X0(4), X0(1), X0(2), X0(3));
    for (int i = 1; i <= 8; ++i) {
      const float az = static_cast<float>(i) * 0.77f;
      const float dip = 0.2f + static_cast<float>(i) * 0.15f;
      const float n[3] = {-std::sin(dip) * std::sin(az), -std::sin(dip) * std::cos(az), -std::cos(dip)};
      float t[3], tau[3];
      for (int r = 0; r < 3; ++r) {
        t[r] = ws.mec.TENS(r + 1, 1) * n[0] + ws.mec.TENS(r + 1, 2) * n[1] + ws.mec.TENS(r + 1, 3) * n[2];
      }
      const float sn = t[0] * n[0] + t[1] * n[1] + t[2] * n[2];
      for (int r = 0; r < 3; ++r) tau[r] = t[r] - sn * n[r];
      const float len = std::sqrt(tau[0] * tau[0] + tau[1] * tau[1] + tau[2] * tau[2]);
      for (int r = 0; r < 3; ++r) {
        ws.tir.FN(i, r + 1) = n[r];
        ws.tir.STR(i, r + 1) = tau[r] / len * 1.00001f;
      }
    }
    ws.tir.N = 8;
    ws.ind.NMIN = 6;
    ASSERT_TRUE(ws.units.open(8, listing.string(), "unknown"));
  }
  void TearDown() override { std::filesystem::remove(listing); }

  std::vector<std::string> run(Vec4& X, float& F, int iprint) {
    OPTIMI(ws, X, XMIN, XMAX, KIND, XBEST, F, iprint);
    ws.units.close(8);
    std::ifstream f(listing);
    std::vector<std::string> lines;
    for (std::string line; std::getline(f, line);) lines.push_back(line);
    return lines;
  }
};

TEST_F(OptimiTest, AtAMinimumEveryStepFailsAndXComesBack) {
  Vec4 X = X0;
  float F = -1.0f;
  const std::vector<std::string> lines = run(X, F, 1);
  EXPECT_EQ(ws.iop.K, 41);
  EXPECT_EQ(F, 0.0f);
  for (int I = 1; I <= 4; ++I) {
    EXPECT_NEAR(X(I), X0(I), 1.0e-6f) << I;
    EXPECT_EQ(XBEST(I), 99.0f) << I;
  }

  const std::vector<std::string> head = {
      "",
      "  K=  0            F0= 0.0000E+00",
      "",
      "",
      "             I= 1      I= 2      I= 3      I= 4      I=",
      "",
      "     E(I)=   0.1000    0.1000    0.1000    0.1000",
      "",
      "             I= 1      I= 2      I= 3      I= 4      I=",
      "     X(I)=   0.8000    1.2000    0.4000    0.3500",
      "           ECHEC",
  };
  ASSERT_GT(lines.size(), head.size());
  for (std::size_t k = 0; k < head.size(); ++k) EXPECT_EQ(lines[k], head[k]) << "line " << k + 1;
  EXPECT_EQ(lines[head.size()].substr(0, 23), "  K=  1            F0= ");

  // Ten sweeps of four failures, no rotation: the steps alternate and halve.
  const char* const step[] = {"   0.1000", "  -0.0500", "   0.0250", "  -0.0125", "   0.0063",
                              "  -0.0031", "   0.0016", "  -0.0008", "   0.0004", "  -0.0002"};
  std::vector<std::string> want;
  for (const char* s : step) want.push_back("     E(I)=" + std::string(s) + " " + s + " " + s + " " + s);
  std::vector<std::string> got;
  for (const std::string& l : lines) {
    if (l.starts_with("     E(I)=")) got.push_back(l);
  }
  EXPECT_EQ(got, want);
  EXPECT_EQ(count_prefix(lines, "           ECHEC"), 40);
  EXPECT_EQ(count_prefix(lines, "    ROTATION DES AXES"), 0);
}

TEST_F(OptimiTest, BoundsFailAStepWithoutEvaluatingIt) {
  KIND(1) = 1;  // upper bound only, 0.05 above the start: only the first step is out
  XMAX(1) = X0(1) + 0.05f;
  KIND(2) = 7;  // lower bound only, not a number: every step is out
  XMIN(2) = std::numeric_limits<float>::quiet_NaN();
  Vec4 X = X0;
  float F = -1.0f;
  const std::vector<std::string> lines = run(X, F, 1);
  EXPECT_EQ(count_prefix(lines, " X 1HORS LIMITE"), 1);
  EXPECT_EQ(count_prefix(lines, " X 2HORS LIMITE"), 40);
  EXPECT_EQ(count_prefix(lines, "           ECHEC"), 0);
}

TEST_F(OptimiTest, OffTheMinimumItEndsAtTheBestPointQuietly) {
  const Vec4 start = vec4(X0(1) + 0.05f, X0(2) - 0.04f, X0(3) + 0.03f, X0(4) + 0.05f);
  float Fstart = 0.0f;
  DIF(ws, start, Fstart);
  Vec4 X = start;
  float F = 0.0f;
  EXPECT_TRUE(run(X, F, 0).empty());
  EXPECT_EQ(ws.iop.K, 41);
  EXPECT_LT(F, Fstart);
  for (int I = 1; I <= 4; ++I) EXPECT_NEAR(X(I), XBEST(I), 1.0e-6f) << I;
  float again = -1.0f;
  DIF(ws, X, again);
  EXPECT_EQ(F, again);
}

TEST(RotateDirections, FirstAlongTheMoveAndStalledOnesKeepTheirs) {
  const float r5 = std::sqrt(5.0f);
  struct Case {
    const char* name;
    int n;
    Vec4 D;
    std::vector<float> want;  // V column by column
    float alfa1;
  };
  const Case cases[] = {
      {"two directions", 2, vec4(0.4f, 0.3f, 0, 0), {0.8f, 0.6f, -0.6f, 0.8f}, 0.5f},
      // Nothing moved along 3 and 4: their progress vectors vanish.
      {"stalled", 4, vec4(1, 2, 0, 0), {1 / r5, 2 / r5, 0, 0, -2 / r5, 1 / r5, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}, r5},
      {"no move", 3, vec4(0, 0, 0, 0), {1, 0, 0, 0, 1, 0, 0, 0, 1}, 0.0f},
  };
  for (const Case& c : cases) {
    Mat4 V;
    for (int I = 1; I <= c.n; ++I) V(I, I) = 1.0f;
    float a1 = -1.0f, a2, a3;
    rotate_directions(V, c.D, c.n, a1, a2, a3);
    EXPECT_NEAR(a1, c.alfa1, 1.0e-6f) << c.name;
    for (int J = 1; J <= c.n; ++J) {
      for (int I = 1; I <= c.n; ++I) {
        EXPECT_NEAR(V(I, J), c.want[static_cast<std::size_t>((J - 1) * c.n + (I - 1))], 1.0e-6f)
            << c.name << " V(" << I << "," << J << ")";
      }
    }
  }
}

}  // namespace
}  // namespace zk
