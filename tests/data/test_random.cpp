#include <gtest/gtest.h>

#include <sstream>

#include "data/random.hpp"

namespace zk {
namespace {

struct Fresh {
  std::istringstream in;
  std::ostringstream out;
  Workspace ws{in, out};
};

TEST(Randun, FirstValuesFromTheStartingState) {
  Fresh f;
  const float expected[] = {0.39182839f, 0.23255144f, 0.61718643f, 0.89612383f, 0.69925469f};
  for (float e : expected) {
    float U = 0.0f;
    RANDUN(f.ws, U);
    EXPECT_EQ(U, e);
  }
}

TEST(Randun, StateAfterOneCall) {
  Fresh f;
  float U = 0.0f;
  RANDUN(f.ws, U);
  EXPECT_EQ(f.ws.randun.I1, 1604);
  EXPECT_EQ(f.ws.randun.I2, 3805);
  EXPECT_EQ(f.ws.randun.I3, 1937);
}

TEST(Randun, RinduScalesOneValue) {
  Fresh f;
  float V = 0.0f;
  RINDU(f.ws, V, 3.141593f);
  EXPECT_EQ(V, 0.39182839f * 3.141593f);
  RINDU(f.ws, V, 1.0f);
  EXPECT_EQ(V, 0.23255144f);
}

TEST(Randun, DiscardJumpsExactlyAsRepeatedCalls) {
  for (int n : {-5, 0, 1, 2, 7, 8, 4095, 4096, 100003}) {
    Fresh stepped, jumped;
    float U = 0.0f;
    for (int k = 0; k < n; ++k) RANDUN(stepped.ws, U);
    discard_randun(jumped.ws, n);
    EXPECT_EQ(jumped.ws.randun.I1, stepped.ws.randun.I1) << n;
    EXPECT_EQ(jumped.ws.randun.I2, stepped.ws.randun.I2) << n;
    EXPECT_EQ(jumped.ws.randun.I3, stepped.ws.randun.I3) << n;
  }
}

TEST(Randun, LargestDiscardIsQuickAndKeepsAValidState) {
  Fresh f;
  discard_randun(f.ws, 2147483647);
  EXPECT_EQ(f.ws.randun.I3 % 2, 1);  // the state stays odd
  float U = 0.0f;
  RANDUN(f.ws, U);
  EXPECT_GT(U, 0.0f);
  EXPECT_LE(U, 1.0f);
}

}  // namespace
}  // namespace zk
