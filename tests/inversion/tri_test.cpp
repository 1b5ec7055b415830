#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <limits>
#include <random>
#include <utility>

#include "inversion/misfit.hpp"

namespace zk {
namespace {

// Arrays of distinct values (the fast path), many ties (0, -0, pi, pi/2),
// ties with NaNs, a few ties among distinct values (as misfits near an optimum
// tie at 0 and pi), many small groups of ties (the data a bootstrap resample
// draws twice or more), and short arrays of three values (every interleaving of
// ties with smaller ones) must come out exactly as the plain exchange sort
// leaves them, bit for bit, including everything past N.
TEST(Tri, MatchesTheExchangeSortBitForBit) {
  const float pi = 3.141593f;
  const float pool[] = {0.0f, -0.0f, pi, pi / 2.0f, 0.25f, 1.0e-7f, 2.5f};
  std::mt19937 gen(12345);
  std::uniform_real_distribution<float> angle(0.0f, pi);
  std::uniform_int_distribution<int> size(0, kMaxData), pick(0, 99), which(0, 6);
  for (int kind = 0; kind < 6; ++kind) {
    for (int trial = 0; trial < 400; ++trial) {
      const int n = trial == 0 ? 1 : (trial == 1 ? kMaxData : (kind == 4 ? 2 + trial % 14 : size(gen)));
      Vec<float, kMaxData> A;
      A.v.fill(-1.0f);
      for (int j = 1; j <= n; ++j) {
        const int p = pick(gen);
        A(j) = (kind == 1 || kind == 2) && p < 40 ? pool[which(gen)] : angle(gen);
        if (kind == 3 && p < 2) A(j) = pool[which(gen)];
        if (kind == 4) A(j) = pool[2 + p % 3];
        if (kind == 5) A(j) = static_cast<float>(static_cast<int>(angle(gen) * 1000.0f) % (n / 2 + 1)) / 64.0f;
        if (kind == 2 && p >= 97) A(j) = std::numeric_limits<float>::quiet_NaN();
      }
      const Vec<float, kMaxData> given = A;
      Vec<float, kMaxData> want = A;
      Vec<int, kMaxData> wix, IX;
      for (int j = 1; j <= n; ++j) wix(j) = j;
      for (int i = 1; i <= n; ++i)
        for (int j = i; j <= n; ++j)
          if (!(want(j) >= want(i))) {
            std::swap(want(i), want(j));
            std::swap(wix(i), wix(j));
          }
      TRI(A, IX, n);
      for (int j = 1; j <= kMaxData; ++j) {
        ASSERT_EQ(std::bit_cast<std::uint32_t>(A(j)), std::bit_cast<std::uint32_t>(want(j)))
            << "kind " << kind << " trial " << trial << " rank " << j;
        ASSERT_EQ(IX(j), wix(j)) << "kind " << kind << " trial " << trial << " rank " << j;
      }
      // Ties in data order: the same ranked values; IX names each value's
      // datum, positions increasing among equal values (NaN keeps the
      // exchange sort).
      if (kind == 2) continue;
      A = given;
      TRI(A, IX, n, Ties::Position);
      for (int j = 1; j <= n; ++j) {
        ASSERT_EQ(A(j), want(j)) << "kind " << kind << " trial " << trial << " rank " << j;
        ASSERT_EQ(std::bit_cast<std::uint32_t>(A(j)), std::bit_cast<std::uint32_t>(given(IX(j))));
        if (j > 1 && A(j) == A(j - 1)) {
          ASSERT_LT(IX(j - 1), IX(j)) << "kind " << kind << " trial " << trial;
        }
      }
    }
  }
}

}  // namespace
}  // namespace zk
