#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#include "inversion/svd.hpp"
#include "inversion_util.hpp"

namespace zk {
namespace {

// A column-major M x N problem with leading dimension NM, as CMQ passes it.
struct Problem {
  int NM, M, N;
  std::vector<float> A, U, V, W, E;
  float eps = 0.0f;
  Problem(int nm, int m, int n)
      : NM(nm), M(m), N(n), A(static_cast<std::size_t>(nm * n)), V(static_cast<std::size_t>(n * n)),
        W(static_cast<std::size_t>(n)), E(static_cast<std::size_t>(n)) {}
  float& a(int i, int j) { return A[static_cast<std::size_t>((i - 1) + NM * (j - 1))]; }
  float u(int i, int j) const { return U[static_cast<std::size_t>((i - 1) + NM * (j - 1))]; }
  float v(int i, int j) const { return V[static_cast<std::size_t>((i - 1) + N * (j - 1))]; }
  float w(int i) const { return W[static_cast<std::size_t>(i - 1)]; }
  void random(std::uint32_t seed, float scale = 1.0f) {
    test::Lcg g{seed};
    for (int j = 1; j <= N; ++j)
      for (int i = 1; i <= M; ++i) a(i, j) = scale * g.next();
  }
  bool run() {
    U = A;
    eps = 1.0e-7f;
    return SVDY(NM, N, M, N, 1, 1, eps, 1.0e-7f, W.data(), E.data(), U.data(), V.data());
  }
  // Largest of |A - U W V^T| / W(1), |U^T U - I|, |V^T V - I|, and checks
  // that W is non-negative and decreasing.
  float error() const {
    float r = 0.0f;
    for (int i = 1; i <= N; ++i) EXPECT_TRUE(w(i) >= 0.0f && (i == N || w(i) >= w(i + 1))) << i;
    for (int i = 1; i <= M; ++i)
      for (int j = 1; j <= N; ++j) {
        float s = 0.0f;
        for (int k = 1; k <= N; ++k) s += u(i, k) * w(k) * v(j, k);
        r = std::fmax(r, std::fabs(s - A[static_cast<std::size_t>((i - 1) + NM * (j - 1))]) / w(1));
      }
    for (int j = 1; j <= N; ++j)
      for (int k = 1; k <= N; ++k) {
        float su = 0.0f, sv = 0.0f;
        for (int i = 1; i <= M; ++i) su += u(i, j) * u(i, k);
        for (int i = 1; i <= N; ++i) sv += v(i, j) * v(i, k);
        r = std::fmax(r, std::fmax(std::fabs(su - (j == k)), std::fabs(sv - (j == k))));
      }
    return r;
  }
};

TEST(Svd, DecomposesGeneralMatricesToFloatPrecision) {
  enum Kind { kFull, kDependent, kZeroColumn };  // column N = 1 + 2; column 2 zero
  struct Case {
    const char* name;
    int M, N;
    std::uint32_t seed;
    Kind kind;
  } const cases[] = {
      {"300 x 4, the regression's size", 300, 4, 7u, kFull}, {"5 x 3", 5, 3, 3u, kFull},
      {"rank deficient 40 x 4", 40, 4, 5u, kDependent}, {"zero column", 6, 4, 21u, kZeroColumn},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Problem p(300, c.M, c.N);
    p.random(c.seed);
    for (int i = 1; i <= c.M; ++i) {
      if (c.kind == kDependent) p.a(i, c.N) = p.a(i, 1) + p.a(i, 2);
      if (c.kind == kZeroColumn) p.a(i, 2) = 0.0f;
    }
    ASSERT_TRUE(p.run());
    EXPECT_LT(p.error(), 2e-6f);
    if (c.kind == kDependent) {
      EXPECT_LT(p.w(c.N), 1e-5f * p.w(1));
    } else if (c.kind == kZeroColumn) {
      EXPECT_EQ(p.w(4), 0.0f);
      EXPECT_NEAR(std::fabs(p.v(2, 4)), 1.0f, 1e-6f);  // its right vector is the zero column's axis
    }
  }
}

TEST(Svd, FailsOnNonFiniteOrOverflowingInputAndImpossibleShapes) {
  for (const float bad : {std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity()}) {
    Problem p(300, 10, 4);
    p.random(9u);
    p.a(2, 3) = bad;
    EXPECT_FALSE(p.run()) << bad;
  }
  Problem overflow(300, 10, 4);  // sums of squares overflow
  overflow.random(9u, 3.0e37f);
  EXPECT_FALSE(overflow.run());
  Problem wide(300, 3, 4), short_ld(2, 3, 2);  // fewer rows than columns; leading dimension below M
  EXPECT_FALSE(wide.run());
  EXPECT_FALSE(short_ld.run());
}

}  // namespace
}  // namespace zk
