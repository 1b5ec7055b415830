#pragma once
// A fixed pseudo-random sequence, and data whose striations follow a given
// tensor.
#include <cmath>
#include <cstdint>

#include "data/geometry.hpp"
#include "inversion/nearest.hpp"
#include "support/listing.hpp"

namespace zk::test {

// Deterministic values in [-1, 1).
struct Lcg {
  std::uint32_t s = 12345u;
  float next() {
    s = s * 1664525u + 1013904223u;
    return static_cast<float>(s >> 8) / 8388608.0f - 1.0f;
  }
};

inline void changd(Workspace& ws, const Vec4& X) { CHANGD(ws, X(4), X(1), X(2), X(3)); }

inline Vec3 cross(const Vec3& a, const Vec3& b) {
  return Vec3{{a(2) * b(3) - a(3) * b(2), a(3) * b(1) - a(1) * b(3), a(1) * b(2) - a(2) * b(1)}};
}
// b, orthogonal to the unit axis n, turned by t about it.
inline Vec3 turn(const Vec3& b, const Vec3& n, float t) {
  const Vec3 nxb = cross(n, b);
  Vec3 r;
  for (int i = 1; i <= 3; ++i) r(i) = b(i) * std::cos(t) + nxb(i) * std::sin(t);
  return r;
}

// N data whose striations are the slip predicted by the tensor X = (PSI,
// TETA, PHI, R), turned in their planes by noise * U(-1, 1) rad. With `exact`
// a striation lies a little off the prediction (0.003 U along the plane) but
// is lengthened so that its cosine rounds above 1: zero misfit, yet a
// Jacobian of full rank. IX is the data order, or its reverse.
inline void fitted_data(Workspace& ws, const Vec4& X, int N, float noise, bool exact = false,
                        bool reversed = false) {
  Lcg g;
  changd(ws, X);
  for (int i = 1; i <= N; ++i) {
    const float x = g.next(), y = g.next(), z = -0.2f - 0.8f * std::fabs(g.next());
    const float r = std::sqrt(x * x + y * y + z * z);
    const Vec3 n{{x / r, y / r, z / r}};
    Vec3 sp;
    Mat<float, 3, 4> ds;
    STRIED(ws, n, sp, ds);
    const float t = (exact ? 0.003f : noise) * g.next();
    const Vec3 s = turn(sp, n, t), nxs = cross(n, sp);
    for (int c = 1; c <= 3; ++c) {
      ws.tir.FN(i, c) = n(c);
      ws.tir.STR(i, c) = exact ? 1.0001f * sp(c) + t * nxs(c) : s(c);
    }
    ws.tab.IX(i) = reversed ? N + 1 - i : i;
  }
  ws.tir.N = N;
}

}  // namespace zk::test
