#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "data/geometry.hpp"
#include "data/random.hpp"
#include "data_test_util.hpp"

namespace zk {
namespace {

constexpr float kPI = 3.141593f;

struct Tensor {
  float PSI = -9.0f, TETA = -9.0f, PHI = -9.0f, R = -9.0f;
};

TEST(Eulaz, Mode1FirstCandidateFollowsTheSeed) {
  const float u[] = {0.39182839f, 0.23255144f, 0.61718643f, 0.89612383f, 0.69925469f};
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
    EXPECT_EQ(run.output(), std::vector<std::string>{""});
  }
}

// |cos| of the angle between axis L of the tensor and V.
float alignment(Workspace& ws, const Tensor& t, int L, const Vec3& V) {
  CHANG(ws, t.R, t.PSI, t.TETA, t.PHI);
  return std::fabs(ws.mec.ROT(L, 1) * V(1) + ws.mec.ROT(L, 2) * V(2) + ws.mec.ROT(L, 3) * V(3));
}

TEST(Eulaz, ImposedAxesAreKeptOnEveryDraw) {
  const std::vector<std::string> echo = {
      test::at_column(std::string(19, ' ') + "    PARAMETRES CHOISIS,  SIGMA 1   DIR= 30  PEND=60", 86, "*"),
      test::at_column(std::string(19, ' ') + "*    SIGMA 3  DIR=210  PEND=30   R= 0.2500", 86, "*"),
      ""};
  const Vec3 V1 = axis_vector(30, 60), V3 = axis_vector(210, 30);
  for (int indx : {2, 3, 4, 5}) {
    test::Run run;
    run.ws.tiraz.INDX = indx;
    run.parameters("30 60\n 210, 30, 0.25\n");
    Tensor t;
    for (int draw = 1; draw <= (indx == 5 ? 1 : 4); ++draw) {
      EULAZ(run.ws, draw, t.PSI, t.TETA, t.PHI, t.R);
      EXPECT_TRUE(t.R > 0.0f && t.R <= 1.0f) << indx;
      EXPECT_TRUE(t.PSI >= 0.0f && t.PSI < kPI) << indx;
      const float a1 = indx == 3 ? 1.0f : alignment(run.ws, t, 1, V1);  // sigma 1 imposed
      const float a3 = indx == 2 ? 1.0f : alignment(run.ws, t, 3, V3);  // sigma 3 imposed
      EXPECT_NEAR(a1, 1.0f, 1e-5f) << indx << " " << draw;
      EXPECT_NEAR(a3, 1.0f, 1e-5f) << indx << " " << draw;
    }
    const float R = indx == 4 ? 0.89612383f : indx == 5 ? 0.25f : t.R;  // 4: only R drawn, the 4th value
    EXPECT_EQ(t.R, R) << indx;
    EXPECT_EQ(run.output(), echo) << indx;
  }
}

TEST(Eulaz, VerticalSigma3TakesTheAngleOfSigma1) {
  struct Case {
    const char* record;
    float PSI, TETA, PHI;
  } cases[] = {
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
  for (int indx : {0, -3, 7}) {
    for (int draw : {1, 2}) {
      test::Run run;
      run.ws.tiraz.INDX = indx;
      run.parameters("30 60 210 30 0.25\n");
      Tensor t;
      test::expect_refusal(
          "INDX " + std::to_string(indx), [&] { EULAZ(run.ws, draw, t.PSI, t.TETA, t.PHI, t.R); }, true,
          "PARAMETERS file", 0, "INDX = " + std::to_string(indx));
      EXPECT_EQ(t.PSI, -9.0f);
      EXPECT_EQ(run.output(), (std::vector<std::string>{"", "            CAS ANORMAL  "})) << indx;
    }
  }
}

}  // namespace
}  // namespace zk
