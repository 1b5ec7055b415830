// Ranking sort. The reference result is the exchange sort below, whose order
// among equal values (and whose handling of NaN: a NaN is "not >=" anything)
// is part of the ranking that later stages read. When every value is a number
// and no two values are equal, the sorted order is unique, so an O(N log N)
// sort gives the same arrays; otherwise the exchange pass itself is run.
#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdint>

#include "inversion/misfit.hpp"

namespace zk {
namespace {

// The exchange sort: for each rank i, every later value that is not >= the
// value at i is swapped into it.
void exchange_pass(Vec<float, kMaxData>& A, Vec<int, kMaxData>& IX, int N) {
  for (int i = 1; i <= N; ++i) {
    for (int j = i; j <= N; ++j) {
      if (!(A(j) >= A(i))) {
        std::swap(A(i), A(j));
        std::swap(IX(i), IX(j));
      }
    }
  }
}

// A key whose unsigned order is the numeric order of the (non-NaN) float;
// -0 and +0 get the same key.
std::uint32_t order_key(float v) {
  if (v == 0.0f) v = 0.0f;
  const auto u = std::bit_cast<std::uint32_t>(v);
  return (u & 0x80000000u) != 0 ? ~u : (u | 0x80000000u);
}

}  // namespace

void TRI(Vec<float, kMaxData>& A, Vec<int, kMaxData>& IX, int N) {
  N = std::clamp(N, 0, kMaxData);
  for (int j = 1; j <= N; ++j) IX(j) = j;

  // (value key, original position) packed so one integer sort orders both.
  std::array<std::uint64_t, kMaxData> keys;
  for (int j = 1; j <= N; ++j) {
    if (std::isnan(A(j))) {
      exchange_pass(A, IX, N);
      return;
    }
    keys[static_cast<std::size_t>(j - 1)] =
        (static_cast<std::uint64_t>(order_key(A(j))) << 32) | static_cast<std::uint32_t>(j);
  }
  const auto first = keys.begin();
  const auto last = keys.begin() + N;
  std::sort(first, last);
  for (auto it = first; it + 1 < last; ++it) {
    if ((*it >> 32) == (*(it + 1) >> 32)) {
      exchange_pass(A, IX, N);
      return;
    }
  }

  // No ties: write the ranking back from a copy of the unsorted values.
  std::array<float, kMaxData> orig;
  std::copy_n(A.data(), N, orig.begin());
  for (int r = 1; r <= N; ++r) {
    const int j = static_cast<int>(keys[static_cast<std::size_t>(r - 1)] & 0xffffffffu);
    A(r) = orig[static_cast<std::size_t>(j - 1)];
    IX(r) = j;
  }
}

}  // namespace zk
