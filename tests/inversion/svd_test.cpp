#include <gtest/gtest.h>

#include <cmath>

#include "inversion/svd.hpp"

namespace zk {
namespace {

// Diagonal 3 x 3 matrices: the singular values come out in decreasing order,
// and among equal values the columns of V keep the order of the matrix (the
// ranking of the regression depends on it).
struct SvdCase {
  const char* name;
  float diag[3];
  float W[3];
  int v_axis[3];  // V's column k is +-e(v_axis[k])
};

TEST(Svdy, DecreasingOrderAndTiesKeepTheirPlace) {
  const SvdCase cases[] = {
      {"distinct", {1.0f, 3.0f, 2.0f}, {3.0f, 2.0f, 1.0f}, {1, 2, 0}},
      {"equal_pair_after_a_smaller", {2.0f, 3.0f, 3.0f}, {3.0f, 3.0f, 2.0f}, {1, 2, 0}},
      {"all_equal", {5.0f, 5.0f, 5.0f}, {5.0f, 5.0f, 5.0f}, {0, 1, 2}},
  };
  for (const SvdCase& c : cases) {
    float A[9] = {c.diag[0], 0.0f, 0.0f, 0.0f, c.diag[1], 0.0f, 0.0f, 0.0f, c.diag[2]};
    float V[9] = {}, W[3] = {}, E[3] = {}, eps = 1.0e-6f;
    ASSERT_TRUE(SVDY(3, 3, 3, 3, SvdVectors::Both, eps, 1.0e-30f, W, E, A, V)) << c.name;
    for (int k = 0; k < 3; ++k) {
      EXPECT_FLOAT_EQ(W[k], c.W[k]) << c.name << " W" << k;
      EXPECT_FLOAT_EQ(std::fabs(V[3 * k + c.v_axis[k]]), 1.0f) << c.name << " column " << k;
    }
  }
}

}  // namespace
}  // namespace zk
