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

// The imposed modes 2 to 5 are pinned by the listings of whole runs.
TEST(Eulaz, VerticalSigma3TakesTheAngleOfSigma1) {
  struct Case {
    imposed_t axes;
    float PSI, TETA, PHI;
  } const cases[] = {
      {{0, 0, 77, 90, 0.25f}, 90.0f * kRadPerDeg, 0.0f, 0.0f},
      {{200, 0, 0, 90, 0.25f}, 250.0f * kRadPerDeg - kPI, kPI, kPI},  // pi or more: normalised
      {{270, 0, 0, 90, 0.25f}, 0.0f, kPI, kPI},
  };
  for (const Case& c : cases) {
    test::Run run;
    run.ws.tiraz.INDX = 5;
    run.ws.imposed = c.axes;
    Tensor t;
    EULAZ(run.ws, 1, t.PSI, t.TETA, t.PHI, t.R);
    EXPECT_EQ(t.PSI, c.PSI) << c.axes.S1DIR;
    EXPECT_EQ(t.TETA, c.TETA) << c.axes.S1DIR;
    EXPECT_EQ(t.PHI, c.PHI) << c.axes.S1DIR;
    EXPECT_EQ(t.R, 0.25f);
  }
}

TEST(Eulaz, ModesOutsideOneToSixStopTheRun) {
  for (const int indx : {0, 7}) {
    test::Run run;
    run.ws.tiraz.INDX = indx;
    Tensor t;
    test::expect_refusal(
        "INDX", [&] { EULAZ(run.ws, 1, t.PSI, t.TETA, t.PHI, t.R); }, true, "", 0,
        "INDX = " + std::to_string(indx));
    EXPECT_EQ(t.PSI, -9.0f);
    EXPECT_EQ(run.output(), (test::Lines{"", "            CAS ANORMAL  "})) << indx;
  }
}

}  // namespace
}  // namespace zk
