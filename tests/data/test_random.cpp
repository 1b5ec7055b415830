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

TEST(Randun, FirstValuesStateAndScaling) {
  Fresh f;
  const float expected[] = {0.39182839f, 0.23255144f, 0.61718643f, 0.89612383f, 0.69925469f};
  float U = 0.0f;
  RANDUN(f.ws, U);
  EXPECT_EQ(U, expected[0]);
  EXPECT_EQ(f.ws.randun.I1, 1604);
  EXPECT_EQ(f.ws.randun.I2, 3805);
  EXPECT_EQ(f.ws.randun.I3, 1937);
  for (int k = 1; k < 5; ++k) {
    RINDU(f.ws, U, 3.141593f);
    EXPECT_EQ(U, expected[k] * 3.141593f) << k;
  }
}

TEST(Randun, DiscardJumpsExactlyAsRepeatedCalls) {
  for (int n : {-5, 0, 1, 7, 8, 4096, 100003}) {
    Fresh stepped, jumped;
    float U = 0.0f;
    for (int k = 0; k < n; ++k) RANDUN(stepped.ws, U);
    discard_randun(jumped.ws, n);
    EXPECT_EQ(jumped.ws.randun.I1, stepped.ws.randun.I1) << n;
    EXPECT_EQ(jumped.ws.randun.I2, stepped.ws.randun.I2) << n;
    EXPECT_EQ(jumped.ws.randun.I3, stepped.ws.randun.I3) << n;
  }
}

}  // namespace
}  // namespace zk
