#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <utility>
#include <vector>

#include "inversion/misfit.hpp"

namespace zk {
namespace {

using Angles = Vec<float, kMaxData>;
using Ranks = Vec<int, kMaxData>;

// The ranking as the plain exchange sort gives it.
void reference_sort(Angles& A, Ranks& IX, int N) {
  for (int j = 1; j <= N; ++j) IX(j) = j;
  for (int i = 1; i <= N; ++i) {
    for (int j = i; j <= N; ++j) {
      if (!(A(j) >= A(i))) {
        std::swap(A(i), A(j));
        std::swap(IX(i), IX(j));
      }
    }
  }
}

// Same bits (so NaN == NaN and -0 != +0) over the whole array.
void expect_identical(const Angles& got, const Ranks& gix, const Angles& want, const Ranks& wix,
                      const char* what) {
  for (int j = 1; j <= kMaxData; ++j) {
    ASSERT_EQ(std::bit_cast<std::uint32_t>(got(j)), std::bit_cast<std::uint32_t>(want(j)))
        << what << ": value at rank " << j;
    ASSERT_EQ(gix(j), wix(j)) << what << ": datum at rank " << j;
  }
}

TEST(Tri, SmallCasesGiveTheExchangeSortOrder) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  struct Case {
    const char* name;
    std::vector<float> in;
    std::vector<float> sorted;
    std::vector<int> ix;
  };
  const Case cases[] = {
      {"distinct", {3.0f, 1.0f, 2.0f}, {1.0f, 2.0f, 3.0f}, {2, 3, 1}},
      // Ties are not kept in datum order: datum 2 ends before datum 1.
      {"tie behind a smaller value", {2.0f, 2.0f, 1.0f}, {1.0f, 2.0f, 2.0f}, {3, 2, 1}},
      {"all equal", {0.5f, 0.5f, 0.5f}, {0.5f, 0.5f, 0.5f}, {1, 2, 3}},
      {"signed zeros are equal", {-0.0f, 0.0f, -1.0f}, {-1.0f, 0.0f, -0.0f}, {3, 2, 1}},
      {"single", {7.0f}, {7.0f}, {1}},
      // A NaN is "not >=" anything and anything is "not >=" a NaN.
      {"nan in the middle", {2.0f, nan, 1.0f}, {1.0f, nan, 2.0f}, {3, 2, 1}},
  };
  for (const Case& c : cases) {
    Angles A;
    Ranks IX;
    const int n = static_cast<int>(c.in.size());
    for (int j = 1; j <= n; ++j) A(j) = c.in[static_cast<std::size_t>(j - 1)];
    TRI(A, IX, n);
    for (int j = 1; j <= n; ++j) {
      const float want = c.sorted[static_cast<std::size_t>(j - 1)];
      EXPECT_EQ(std::bit_cast<std::uint32_t>(A(j)), std::bit_cast<std::uint32_t>(want)) << c.name << " rank " << j;
      EXPECT_EQ(IX(j), c.ix[static_cast<std::size_t>(j - 1)]) << c.name << " rank " << j;
    }
  }
}

TEST(Tri, LeavesEverythingPastNUntouched) {
  Angles A;
  Ranks IX;
  for (int j = 1; j <= kMaxData; ++j) {
    A(j) = static_cast<float>(kMaxData - j);
    IX(j) = -7;
  }
  TRI(A, IX, 10);
  for (int j = 11; j <= kMaxData; ++j) {
    ASSERT_EQ(A(j), static_cast<float>(kMaxData - j));
    ASSERT_EQ(IX(j), -7);
  }
  EXPECT_EQ(A(1), static_cast<float>(kMaxData - 10));
  EXPECT_EQ(IX(1), 10);
}

TEST(Tri, RandomisedArraysMatchTheExchangeSort) {
  const float pi = 3.141593f;
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float pool[] = {0.0f, -0.0f, pi, pi / 2.0f, 0.25f, 1.0e-7f, 2.5f};
  std::mt19937 gen(12345);
  std::uniform_real_distribution<float> angle(0.0f, pi);
  std::uniform_int_distribution<int> size(0, kMaxData);
  std::uniform_int_distribution<int> pick(0, 99);
  std::uniform_int_distribution<int> which(0, 6);

  // Kinds of array: distinct values only (the fast path), values with many
  // ties, and ties with a few NaNs.
  for (int kind = 0; kind < 3; ++kind) {
    for (int trial = 0; trial < 400; ++trial) {
      const int n = trial < 4 ? (trial == 0 ? 0 : (trial == 1 ? 1 : kMaxData)) : size(gen);
      Angles A;
      for (int j = 1; j <= kMaxData; ++j) A(j) = -1.0f;  // beyond n, must survive
      for (int j = 1; j <= n; ++j) {
        float v = angle(gen);
        const int p = pick(gen);
        if (kind >= 1 && p < 40) v = pool[which(gen)];
        if (kind == 2 && p >= 97) v = nan;
        A(j) = v;
      }
      Angles want = A;
      Ranks wix;
      reference_sort(want, wix, n);
      Ranks IX;
      TRI(A, IX, n);
      SCOPED_TRACE(testing::Message() << "kind " << kind << " trial " << trial << " n " << n);
      expect_identical(A, IX, want, wix, "random");
    }
  }
}

}  // namespace
}  // namespace zk
