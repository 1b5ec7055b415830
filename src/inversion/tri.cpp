// Ranking sort. The reference result is the exchange sort below, whose order
// among equal values (and whose handling of NaN: a NaN is "not >=" anything)
// is part of the ranking that later stages read. Without NaN the values are
// ranked by a radix sort; the order the exchange sort leaves among equal
// values is then rebuilt group by group (see tied_order). Misfits tie often
// near an optimum (angles of cosines rounded to 1, and pi), so that case must
// stay cheap: the exchange sort makes about N*N/4 exchanges.
#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdint>

#include "inversion/misfit.hpp"

namespace zk {
namespace {

// The exchange sort: for each rank i, every later value that is not >= the
// value at i is swapped into it (A and IX 0-based here).
void exchange_pass(float* A, int* IX, int N) {
  for (int i = 0; i < N; ++i) {
    for (int j = i; j < N; ++j) {
      if (!(A[j] >= A[i])) {
        std::swap(A[i], A[j]);
        std::swap(IX[i], IX[j]);
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

// Order in which the exchange sort ranks the data of one group of equal
// keys g (their positions `members`, increasing, `count` of them), written to
// out. Two facts make it cheap:
// - The exchange sort restricted to the values <= g moves exactly as the
//   exchange sort of that subsequence alone, and a value equal to g is never
//   exchanged once the smaller ones are ranked.
// - In that subsequence the smaller values (S) are ranked one per pass. When
//   the first remaining element is an S, it just leaves. When it is the first
//   of a leading run of a values equal to g, it is exchanged into the first S
//   after the run: that S leaves and the run's order turns left by one.
// So, reading the data in order: a run of b smaller values turns the values
// equal to g gathered so far left by b (mod their count); the others follow
// in order. smaller_before[t] is the number of values below g before
// members[t], and `smaller_total` the number of values below g.
void tied_order(const int* members, const int* smaller_before, int count, int smaller_total, int* out) {
  int len = 0;
  int seen = 0;  // smaller values before the last member gathered
  const auto turn = [&](int upto) {
    const int smaller = upto - seen;
    if (smaller > 0 && len > 1) std::rotate(out, out + smaller % len, out + len);
    seen = upto;
  };
  for (int t = 0; t < count; ++t) {
    turn(smaller_before[t]);
    out[len++] = members[t];
  }
  turn(smaller_total);
}

// The positions (1-based) of the values below the group being ranked, as
// bits, so that the number of them before a position is a popcount and a
// sum of word counts (a Fenwick tree over the words: logarithmic in N).
// The bits are counted inline (a call to the runtime's popcount costs more
// than the rest of a query).
class PositionSet {
 public:
  // words: (N + 63) / 64 zeroed words; tree: words + 1 zeroed counts.
  PositionSet(std::uint64_t* bits, int* tree, int words) : bits_(bits), tree_(tree), words_(words) {}
  void add(int j) {
    const int w = (j - 1) / 64;
    bits_[w] |= std::uint64_t{1} << ((j - 1) % 64);
    for (int k = w + 1; k <= words_; k += k & -k) ++tree_[k];
  }
  int count_before(int j) const {
    const int w = (j - 1) / 64;
    int n = ones(bits_[w] & ((std::uint64_t{1} << ((j - 1) % 64)) - 1));
    for (int k = w; k > 0; k -= k & -k) n += tree_[k];
    return n;
  }

 private:
  static int ones(std::uint64_t x) {
    x = x - ((x >> 1) & 0x5555555555555555u);
    x = (x & 0x3333333333333333u) + ((x >> 2) & 0x3333333333333333u);
    x = (x + (x >> 4)) & 0x0f0f0f0f0f0f0f0fu;
    return static_cast<int>((x * 0x0101010101010101u) >> 56);
  }
  std::uint64_t* bits_;
  int* tree_;
  int words_;
};

// Positions 1..N in increasing key order, equal keys in position order: a
// stable counting sort on each byte, least significant first; a byte that
// all keys share is skipped. A few values are sorted directly as (key,
// position) pairs, which costs less than the four tables of counts.
// `other`: N ints of room.
void sort_positions(const std::uint32_t* key, int N, int* out, int* other) {
  constexpr int kFew = 64;
  if (N <= 0) return;
  if (N <= kFew) {
    std::array<std::uint64_t, kFew> pair;
    for (int j = 0; j < N; ++j) {
      pair[static_cast<std::size_t>(j)] = (static_cast<std::uint64_t>(key[j]) << 32) | static_cast<std::uint32_t>(j + 1);
    }
    std::sort(pair.begin(), pair.begin() + N);
    for (int r = 0; r < N; ++r) out[r] = static_cast<int>(pair[static_cast<std::size_t>(r)] & 0xffffffffu);
    return;
  }
  std::array<std::array<int, 256>, 4> count{};
  for (int j = 0; j < N; ++j) {
    const std::uint32_t k = key[j];
    for (int b = 0; b < 4; ++b) ++count[static_cast<std::size_t>(b)][(k >> (8 * b)) & 0xffu];
  }
  int* src = out;
  int* dst = other;
  for (int j = 0; j < N; ++j) src[j] = j + 1;
  for (int b = 0; b < 4; ++b) {
    std::array<int, 256>& c = count[static_cast<std::size_t>(b)];
    const int shift = 8 * b;
    if (c[(key[0] >> shift) & 0xffu] == N) continue;
    int sum = 0;
    for (int& n : c) {
      const int here = n;
      n = sum;
      sum += here;
    }
    for (int r = 0; r < N; ++r) {
      const int j = src[r];
      dst[c[(key[j - 1] >> shift) & 0xffu]++] = j;
    }
    std::swap(src, dst);
  }
  if (src != out) std::copy_n(src, N, out);
}

// The sort on buffers of at least N entries (words: (N + 63) / 64).
struct Buffers {
  std::uint32_t* key;
  int* rank;
  int* other;
  int* members;
  int* smaller_before;
  float* orig;
  std::uint64_t* bits;
  int* tree;
};

void rank_values(float* A, int* IX, int N, Ties order, const Buffers& b) {
  std::uint32_t* key = b.key;  // position - 1 -> key
  for (int j = 0; j < N; ++j) {
    if (std::isnan(A[j])) {
      for (int i = 0; i < N; ++i) IX[i] = i + 1;
      exchange_pass(A, IX, N);
      return;
    }
    key[j] = order_key(A[j]);
  }

  int* rank = b.rank;  // rank - 1 -> position
  sort_positions(key, N, rank, b.other);
  const auto key_at = [&](int r) { return key[rank[r] - 1]; };
  // Groups of equal keys, in increasing order: ranks [s, e) hold their
  // positions in increasing order (the sort is stable), and the positions of
  // the smaller values are those of the groups before.
  bool ties = false;
  for (int r = 1; order == Ties::Exchange && r < N && !ties; ++r) ties = key_at(r) == key_at(r - 1);
  if (ties) {
    const int words = (N + 63) / 64;
    std::fill_n(b.bits, words, std::uint64_t{0});
    std::fill_n(b.tree, words + 1, 0);
    PositionSet below(b.bits, b.tree, words);
    for (int s = 0; s < N;) {
      int e = s + 1;
      while (e < N && key_at(e) == key_at(s)) ++e;
      if (e - s == 2) {
        // A pair (the common tie of a resample): the last turn exchanges the
        // two when an odd number of smaller values follows the first.
        int* pair = rank + s;
        if ((s - below.count_before(pair[1])) % 2 == 1) std::swap(pair[0], pair[1]);
      } else if (e - s > 2) {
        for (int t = 0; t < e - s; ++t) {
          b.members[t] = rank[s + t];
          b.smaller_before[t] = below.count_before(b.members[t]);
        }
        tied_order(b.members, b.smaller_before, e - s, s, rank + s);
      }
      for (int r = s; r < e; ++r) below.add(rank[r]);
      s = e;
    }
  }

  std::copy_n(A, N, b.orig);
  for (int r = 0; r < N; ++r) {
    const int j = rank[r];
    A[r] = b.orig[j - 1];
    IX[r] = j;
  }
}

}  // namespace

void TRI(float* A, int* IX, int N, Ties order, RankScratch* scratch) {
  if (N <= 0) return;
  constexpr int kWords = (kMaxData + 63) / 64;
  if (N <= kMaxData) {
    // The DATA format's capacity: the buffers on the stack.
    std::array<std::uint32_t, kMaxData> key;
    std::array<int, kMaxData> rank, other, members, smaller_before;
    std::array<float, kMaxData> orig;
    std::array<std::uint64_t, kWords> bits;
    std::array<int, kWords + 1> tree;
    rank_values(A, IX, N, order,
                {key.data(), rank.data(), other.data(), members.data(), smaller_before.data(), orig.data(), bits.data(),
                 tree.data()});
    return;
  }
  RankScratch local;
  RankScratch& s = scratch != nullptr ? *scratch : local;
  const auto n = static_cast<std::size_t>(N), words = (n + 63) / 64;
  if (s.key.size() < n) {
    s.key.resize(n);
    for (std::vector<int>* v : {&s.rank, &s.other, &s.members, &s.smaller_before}) v->resize(n);
    s.orig.resize(n);
    s.bits.resize(words);
    s.tree.resize(words + 1);
  }
  rank_values(A, IX, N, order,
              {s.key.data(), s.rank.data(), s.other.data(), s.members.data(), s.smaller_before.data(), s.orig.data(),
               s.bits.data(), s.tree.data()});
}

}  // namespace zk
