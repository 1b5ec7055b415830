#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#include "inversion/svd.hpp"

namespace zk {
namespace {

// A column-major M x N problem with the leading dimensions CMQ uses.
struct Problem {
  int NM, M, N;
  std::vector<float> A, U, V, W, E;
  Problem(int nm, int m, int n)
      : NM(nm), M(m), N(n), A(static_cast<std::size_t>(nm * n), 0.0f), V(static_cast<std::size_t>(n * n), 0.0f),
        W(static_cast<std::size_t>(n), 0.0f), E(static_cast<std::size_t>(n), 0.0f) {}
  float& a(int i, int j) { return A[static_cast<std::size_t>((i - 1) + NM * (j - 1))]; }
  float u(int i, int j) const { return U[static_cast<std::size_t>((i - 1) + NM * (j - 1))]; }
  float v(int i, int j) const { return V[static_cast<std::size_t>((i - 1) + N * (j - 1))]; }
  float w(int i) const { return W[static_cast<std::size_t>(i - 1)]; }
  bool run(float& eps) {
    U = A;
    eps = 1.0e-7f;
    return SVDY(NM, N, M, N, 1, 1, eps, 1.0e-7f, W.data(), E.data(), U.data(), V.data());
  }
};

// Deterministic values in [-1, 1).
struct Lcg {
  std::uint32_t s;
  float next() {
    s = s * 1664525u + 1013904223u;
    return static_cast<float>(s >> 8) / 8388608.0f - 1.0f;
  }
};

// |A - U W V^T|, |U^T U - I|, |V^T V - I| (max norms), accumulated in float.
struct Residuals {
  float recon = 0.0f, orthU = 0.0f, orthV = 0.0f;
};
Residuals residuals(Problem& p) {
  Residuals r;
  for (int i = 1; i <= p.M; ++i) {
    for (int j = 1; j <= p.N; ++j) {
      float s = 0.0f;
      for (int k = 1; k <= p.N; ++k) s += p.u(i, k) * p.w(k) * p.v(j, k);
      r.recon = std::fmax(r.recon, std::fabs(s - p.a(i, j)));
    }
  }
  for (int j = 1; j <= p.N; ++j) {
    for (int k = 1; k <= p.N; ++k) {
      float su = 0.0f, sv = 0.0f;
      for (int i = 1; i <= p.M; ++i) su += p.u(i, j) * p.u(i, k);
      for (int i = 1; i <= p.N; ++i) sv += p.v(i, j) * p.v(i, k);
      const float d = j == k ? 1.0f : 0.0f;
      r.orthU = std::fmax(r.orthU, std::fabs(su - d));
      r.orthV = std::fmax(r.orthV, std::fabs(sv - d));
    }
  }
  return r;
}

void expect_sorted(const Problem& p) {
  for (int i = 1; i <= p.N; ++i) EXPECT_GE(p.w(i), 0.0f) << i;
  for (int i = 1; i < p.N; ++i) EXPECT_GE(p.w(i), p.w(i + 1)) << i;
}

TEST(Svd, OrthogonalColumnsComeOutSortedWithTheirVectors) {
  // Columns 1, 3, 2 times three orthonormal vectors of R^4 (a Householder
  // reflection of the unit vectors), so no column is a unit vector itself.
  Problem p(6, 4, 3);
  const float q[4][3] = {{0.5f, 0.5f, 0.5f}, {0.5f, 0.5f, -0.5f}, {0.5f, -0.5f, 0.5f}, {0.5f, -0.5f, -0.5f}};
  const float len[3] = {1.0f, 3.0f, 2.0f};
  for (int i = 1; i <= 4; ++i)
    for (int j = 1; j <= 3; ++j) p.a(i, j) = len[j - 1] * q[i - 1][j - 1];
  float eps = 0.0f;
  ASSERT_TRUE(p.run(eps));
  EXPECT_NEAR(p.w(1), 3.0f, 1e-6f);
  EXPECT_NEAR(p.w(2), 2.0f, 1e-6f);
  EXPECT_NEAR(p.w(3), 1.0f, 1e-6f);
  // W(M) belongs to input column perm[M]: U(., M) = +-q(., perm), V(., M) = +-e(perm).
  const int perm[3] = {2, 3, 1};
  for (int M = 1; M <= 3; ++M) {
    const int c = perm[M - 1];
    const float sign = p.v(c, M) > 0.0f ? 1.0f : -1.0f;
    EXPECT_NEAR(std::fabs(p.v(c, M)), 1.0f, 1e-6f) << M;
    for (int i = 1; i <= 4; ++i) EXPECT_NEAR(p.u(i, M), sign * q[i - 1][c - 1], 1e-6f) << i << "," << M;
  }
  const Residuals r = residuals(p);
  EXPECT_LT(r.recon, 1e-6f);
}

TEST(Svd, DecomposesGeneralMatricesToFloatPrecision) {
  struct Case {
    const char* name;
    int M, N;
    std::uint32_t seed;
    bool dependent;  // column N = column 1 + column 2: rank N - 1
  };
  const Case cases[] = {
      {"300 x 4, the regression's size", 300, 4, 7u, false},
      {"square 4 x 4", 4, 4, 11u, false},
      {"5 x 3", 5, 3, 3u, false},
      {"rank deficient 40 x 4", 40, 4, 5u, true},
      {"single column", 9, 1, 13u, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Problem p(300, c.M, c.N);
    Lcg g{c.seed};
    for (int j = 1; j <= c.N; ++j)
      for (int i = 1; i <= c.M; ++i) p.a(i, j) = g.next();
    if (c.dependent)
      for (int i = 1; i <= c.M; ++i) p.a(i, c.N) = p.a(i, 1) + p.a(i, 2);
    float eps = 0.0f;
    ASSERT_TRUE(p.run(eps));
    expect_sorted(p);
    const Residuals r = residuals(p);
    const float scale = p.w(1);
    EXPECT_LT(r.recon, 2e-6f * scale);
    EXPECT_LT(r.orthU, 2e-6f);
    EXPECT_LT(r.orthV, 2e-6f);
    // EPS comes back as 1e-7 times the largest |W| + |E| of the bidiagonal
    // form, which lies between W(1)/sqrt(2) and 2 W(1).
    EXPECT_GE(eps, 1e-7f * scale / 1.5f);
    EXPECT_LE(eps, 2e-7f * scale * 1.01f);
    if (c.dependent) {
      EXPECT_LT(p.w(c.N), 1e-5f * scale);
    }
  }
}

TEST(Svd, ZeroColumnGivesAZeroValueSortedLast) {
  Problem p(300, 6, 4);
  Lcg g{21u};
  for (int j = 1; j <= 4; ++j)
    for (int i = 1; i <= 6; ++i) p.a(i, j) = j == 2 ? 0.0f : g.next();
  float eps = 0.0f;
  ASSERT_TRUE(p.run(eps));
  expect_sorted(p);
  EXPECT_EQ(p.w(4), 0.0f);
  EXPECT_NEAR(std::fabs(p.v(2, 4)), 1.0f, 1e-6f);  // its right vector is the zero column's axis
  EXPECT_LT(residuals(p).recon, 2e-6f * p.w(1));
}

TEST(Svd, EqualValuesFollowTheSelectionSortSwaps) {
  // diag(2, 2, 3): W(3) is swapped to the front, which moves the first 2
  // behind the second; a stable sort would keep column 1 before column 2.
  Problem p(4, 4, 3);
  p.a(1, 1) = 2.0f;
  p.a(2, 2) = 2.0f;
  p.a(3, 3) = 3.0f;
  float eps = 0.0f;
  ASSERT_TRUE(p.run(eps));
  EXPECT_EQ(p.w(1), 3.0f);
  EXPECT_EQ(p.w(2), 2.0f);
  EXPECT_EQ(p.w(3), 2.0f);
  EXPECT_EQ(std::fabs(p.v(3, 1)), 1.0f);
  EXPECT_EQ(std::fabs(p.v(2, 2)), 1.0f);
  EXPECT_EQ(std::fabs(p.v(1, 3)), 1.0f);
  EXPECT_EQ(eps, 3.0e-7f);
}

TEST(Svd, NonFiniteOrOverflowingInputFailsAndReturns) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  struct Case {
    const char* name;
    float value;  // put at (2, 3) of a random matrix
    bool scale_all;
  };
  const Case cases[] = {
      {"NaN", nan, false},
      {"infinity", inf, false},
      {"sums of squares overflow", 0.0f, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Problem p(300, 10, 4);
    Lcg g{9u};
    for (int j = 1; j <= 4; ++j)
      for (int i = 1; i <= 10; ++i) p.a(i, j) = c.scale_all ? 3.0e37f * g.next() : g.next();
    if (!c.scale_all) p.a(2, 3) = c.value;
    float eps = 0.0f;
    EXPECT_FALSE(p.run(eps));
  }
}

TEST(Svd, RefusesShapesItCannotDecompose) {
  Problem p(300, 3, 4);  // fewer rows than columns
  float eps = 0.0f;
  EXPECT_FALSE(p.run(eps));
  Problem q(2, 3, 2);    // leading dimension below the row count
  EXPECT_FALSE(q.run(eps));
}

}  // namespace
}  // namespace zk
