#include <cmath>

#include "data/geometry.hpp"
#include "data/random.hpp"
#include "data_test_util.hpp"

namespace zk {
namespace {

constexpr float kPI = 3.141593f;

const float kFirst[] = {0.39182839f, 0.23255144f, 0.61718643f, 0.89612383f, 0.69925469f};

struct Tensor {
  float PSI = -9.0f, TETA = -9.0f, PHI = -9.0f, R = -9.0f;
};

TEST(Randun, FirstValuesStateScalingAndDiscard) {
  test::Run f;
  float U = 0.0f;
  RANDUN(f.ws, U);
  EXPECT_EQ(U, kFirst[0]);
  EXPECT_EQ(f.ws.randun.I1, 1604);
  EXPECT_EQ(f.ws.randun.I2, 3805);
  EXPECT_EQ(f.ws.randun.I3, 1937);
  for (int k = 1; k < 5; ++k) {
    RINDU(f.ws, U, kPI);
    EXPECT_EQ(U, kFirst[k] * kPI) << k;
  }
  for (int n : {-5, 0, 1, 7, 8, 4096, 100003}) {  // a jump lands where as many calls would
    test::Run stepped, jumped;
    for (int k = 0; k < n; ++k) RANDUN(stepped.ws, U);
    discard_randun(jumped.ws, n);
    EXPECT_EQ(jumped.ws.randun.I1, stepped.ws.randun.I1) << n;
    EXPECT_EQ(jumped.ws.randun.I2, stepped.ws.randun.I2) << n;
    EXPECT_EQ(jumped.ws.randun.I3, stepped.ws.randun.I3) << n;
  }
}

TEST(Eulaz, Mode1FirstCandidateFollowsTheSeed) {
  const float* u = kFirst;
  for (int nseed : {0, 1}) {
    test::Run run;
    run.ws.tiraz.INDX = 1;
    discard_randun(run.ws, nseed);
    Tensor t;
    EULAZ(run.ws, 1, t.PSI, t.TETA, t.PHI, t.R);
    EXPECT_EQ(t.PHI, u[nseed] * kPI) << nseed;
    EXPECT_EQ(t.TETA, u[nseed + 1] * kPI) << nseed;
    EXPECT_EQ(t.PSI, u[nseed + 2] * kPI) << nseed;
    EXPECT_EQ(t.R, u[nseed + 3]) << nseed;
    EULAZ(run.ws, 2, t.PSI, t.TETA, t.PHI, t.R);  // later draws read and write nothing
    EXPECT_EQ(run.output(), test::Lines{""});
  }
}

TEST(Eulaz, ImposedAxesAreKeptOnEveryDraw) {
  const std::string pad(19, ' ');
  const test::Lines echo = {pad + "    PARAMETRES CHOISIS,  SIGMA 1   DIR= 30  PEND=60" + std::string(15, ' ') + "*",
                            pad + "*    SIGMA 3  DIR=210  PEND=30   R= 0.2500" + std::string(24, ' ') + "*", ""};
  const Vec3 V[2] = {axis_vector(30, 60), axis_vector(210, 30)};
  for (int indx : {2, 3, 4, 5}) {
    test::Run run;
    run.ws.tiraz.INDX = indx;
    run.parameters("30 60\n 210, 30, 0.25\n");
    Tensor t;
    for (int draw = 1; draw <= (indx == 5 ? 1 : 4); ++draw) {
      EULAZ(run.ws, draw, t.PSI, t.TETA, t.PHI, t.R);
      EXPECT_TRUE(t.R > 0.0f && t.R <= 1.0f && t.PSI >= 0.0f && t.PSI < kPI) << indx;
      CHANG(run.ws, t.R, t.PSI, t.TETA, t.PHI);
      for (const int L : {1, 3}) {  // 2 imposes sigma 1, 3 sigma 3, 4 and 5 both
        if ((indx == 2 && L == 3) || (indx == 3 && L == 1)) continue;
        const Mat<float, 3, 3>& ROT = run.ws.mec.ROT;
        const Vec3& v = V[L / 2];
        EXPECT_NEAR(std::fabs(ROT(L, 1) * v(1) + ROT(L, 2) * v(2) + ROT(L, 3) * v(3)), 1.0f, 1e-5f) << indx << L;
      }
    }
    EXPECT_TRUE(indx < 4 || t.R == (indx == 4 ? 0.89612383f : 0.25f)) << t.R;  // 4 draws only R, the 4th value
    EXPECT_EQ(run.output(), echo) << indx;
  }
}

TEST(Eulaz, VerticalSigma3TakesTheAngleOfSigma1) {
  struct Case {
    const char* record;
    float PSI, TETA, PHI;
  } const cases[] = {
      {"0 0 77 90 0.25", 90.0f * kRadPerDeg, 0.0f, 0.0f},
      {"200 0 0 90 0.25", 250.0f * kRadPerDeg - kPI, kPI, kPI},  // pi or more: normalised
      {"270 0 0 90 0.25", 0.0f, kPI, kPI},
  };
  for (const Case& c : cases) {
    test::Run run;
    run.ws.tiraz.INDX = 5;
    run.parameters(std::string(c.record) + "\n");
    Tensor t;
    EULAZ(run.ws, 1, t.PSI, t.TETA, t.PHI, t.R);
    EXPECT_EQ(t.PSI, c.PSI) << c.record;
    EXPECT_EQ(t.TETA, c.TETA) << c.record;
    EXPECT_EQ(t.PHI, c.PHI) << c.record;
  }
}

TEST(Eulaz, ModesOutsideOneToSixStopTheRun) {
  for (const int indx : {0, 7}) {
    test::Run run;
    run.ws.tiraz.INDX = indx;
    run.parameters("30 60 210 30 0.25\n");
    Tensor t;
    test::expect_refusal(
        "INDX", [&] { EULAZ(run.ws, 1, t.PSI, t.TETA, t.PHI, t.R); }, true, "PARAMETERS file", 0,
        "INDX = " + std::to_string(indx));
    EXPECT_EQ(t.PSI, -9.0f);
    EXPECT_EQ(run.output(), (test::Lines{"", "            CAS ANORMAL  "})) << indx;
  }
}

}  // namespace
}  // namespace zk
