#pragma once
// Fixed-size arrays indexed from 1, matrices stored column by column, so the
// numerical routines read like their formulas: ROT(L, c), STR(i, 3), G(4, 4).
#include <array>
#include <cassert>
#include <cstddef>
#include <vector>

namespace zk {

template <class T, int N>
struct Vec {
  std::array<T, N> v{};
  T& operator()(int i) { assert(i >= 1 && i <= N); return v[static_cast<std::size_t>(i - 1)]; }
  const T& operator()(int i) const { assert(i >= 1 && i <= N); return v[static_cast<std::size_t>(i - 1)]; }
  T* data() { return v.data(); }
  const T* data() const { return v.data(); }
  static constexpr int size() { return N; }
};

template <class T, int R, int C>
struct Mat {
  std::array<T, static_cast<std::size_t>(R) * C> v{};
  T& operator()(int i, int j) {
    assert(i >= 1 && i <= R && j >= 1 && j <= C);
    return v[static_cast<std::size_t>((i - 1) + R * (j - 1))];
  }
  const T& operator()(int i, int j) const {
    assert(i >= 1 && i <= R && j >= 1 && j <= C);
    return v[static_cast<std::size_t>((i - 1) + R * (j - 1))];
  }
  T* data() { return v.data(); }
  const T* data() const { return v.data(); }
  static constexpr int rows() { return R; }
  static constexpr int cols() { return C; }
};

// Three-index array (i, j, k), first index fastest.
template <class T, int A, int B, int C>
struct Arr3 {
  std::array<T, static_cast<std::size_t>(A) * B * C> v{};
  T& operator()(int i, int j, int k) {
    assert(i >= 1 && i <= A && j >= 1 && j <= B && k >= 1 && k <= C);
    return v[static_cast<std::size_t>((i - 1) + A * ((j - 1) + B * (k - 1)))];
  }
  const T& operator()(int i, int j, int k) const {
    assert(i >= 1 && i <= A && j >= 1 && j <= B && k >= 1 && k <= C);
    return v[static_cast<std::size_t>((i - 1) + A * ((j - 1) + B * (k - 1)))];
  }
};

// The same, sized when a run starts: the data arrays, whose length is the
// number of data of the run (at least the DATA format's capacity).
template <class T>
struct DynVec {
  std::vector<T> v;
  T& operator()(int i) { assert(i >= 1 && i <= size()); return v[static_cast<std::size_t>(i - 1)]; }
  const T& operator()(int i) const { assert(i >= 1 && i <= size()); return v[static_cast<std::size_t>(i - 1)]; }
  T* data() { return v.data(); }
  const T* data() const { return v.data(); }
  int size() const { return static_cast<int>(v.size()); }
  // n zeros (the storage is kept when it is large enough).
  void reset(int n) { v.assign(static_cast<std::size_t>(n), T{}); }
};

// Rows sized when a run starts, C columns, stored column by column.
template <class T, int C>
struct DynMat {
  std::vector<T> v;
  int R = 0;
  T& operator()(int i, int j) {
    assert(i >= 1 && i <= R && j >= 1 && j <= C);
    return v[static_cast<std::size_t>(i - 1) + static_cast<std::size_t>(R) * static_cast<std::size_t>(j - 1)];
  }
  const T& operator()(int i, int j) const {
    assert(i >= 1 && i <= R && j >= 1 && j <= C);
    return v[static_cast<std::size_t>(i - 1) + static_cast<std::size_t>(R) * static_cast<std::size_t>(j - 1)];
  }
  int rows() const { return R; }
  static constexpr int cols() { return C; }
  void reset(int rows) {
    R = rows;
    v.assign(static_cast<std::size_t>(rows) * C, T{});
  }
};

using Vec3 = Vec<float, 3>;
using Vec4 = Vec<float, 4>;
using Mat4 = Mat<float, 4, 4>;

}  // namespace zk
