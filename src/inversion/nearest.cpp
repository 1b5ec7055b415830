#include "inversion/nearest.hpp"

#include <cmath>

namespace zk {

namespace {

// Degrees per radian in stages 3 and 4 are 180/3.14, not 180/pi: the listing
// has always converted with the rounded value, applied as "* 180 / 3.14".
constexpr float kDeg180 = 180.0f;
constexpr float kPiRounded = 3.14f;

// dT/dX_k (i, j): the three angles, then R.
float dtens(const Workspace& ws, int i, int j, int k) {
  return k <= 3 ? ws.mecd.DTENS(i, j, k) : ws.mecd.DTENSR(i, j);
}

}  // namespace

void datum_vectors(const Workspace& ws, int j, Vec3& n, Vec3& s) {
  for (int c = 1; c <= 3; ++c) {
    n(c) = ws.tir.FN(j, c);
    s(c) = ws.tir.STR(j, c);
  }
}

void STRIED(const Workspace& ws, const Vec3& n, Vec3& s, Mat<float, 3, 4>& ds) {
  const Mat<float, 3, 3>& T = ws.mec.TENS;

  // Traction t = T n, normal stress, shear tau = t - sigma_n n.
  Vec3 t;
  for (int i = 1; i <= 3; ++i) {
    float sum = T(i, 1) * n(1);
    sum = sum + T(i, 2) * n(2);
    sum = sum + T(i, 3) * n(3);
    t(i) = sum;
  }
  float sn = t(1) * n(1);
  sn = sn + t(2) * n(2);
  sn = sn + t(3) * n(3);
  Vec3 tau;
  for (int i = 1; i <= 3; ++i) tau(i) = t(i) - sn * n(i);

  // d tau / dX_k = u - (u.n) n with u = (dT/dX_k) n.
  Mat<float, 3, 4> dtau;
  for (int k = 1; k <= 4; ++k) {
    Vec3 u;
    for (int i = 1; i <= 3; ++i) {
      float sum = dtens(ws, i, 1, k) * n(1);
      sum = sum + dtens(ws, i, 2, k) * n(2);
      sum = sum + dtens(ws, i, 3, k) * n(3);
      u(i) = sum;
    }
    float un = u(1) * n(1);
    un = un + u(2) * n(2);
    un = un + u(3) * n(3);
    for (int i = 1; i <= 3; ++i) dtau(i, k) = u(i) - un * n(i);
  }

  float tt = tau(1) * tau(1);
  tt = tt + tau(2) * tau(2);
  tt = tt + tau(3) * tau(3);
  const float tnorm = std::sqrt(tt);
  // A principal plane carries no shear: no predicted direction. Zero s and ds
  // make the regression see acos(0) = pi/2 for it, as the misfit does.
  if (tnorm == 0.0f) {
    s = Vec3{};
    ds = Mat<float, 3, 4>{};
    return;
  }
  for (int i = 1; i <= 3; ++i) s(i) = tau(i) / tnorm;

  // ds/dX_k = (d tau_k - (d tau_k . s) s) / |tau|.
  for (int k = 1; k <= 4; ++k) {
    float ps = dtau(1, k) * s(1);
    ps = ps + dtau(2, k) * s(2);
    ps = ps + dtau(3, k) * s(3);
    for (int i = 1; i <= 3; ++i) ds(i, k) = (dtau(i, k) - ps * s(i)) / tnorm;
  }
}

void MB01B(Mat4& G) {
  const float a11 = G(1, 1);
  const float a12 = G(1, 2);
  const float a13 = G(1, 3);
  const float a21 = G(2, 1);
  const float a22 = G(2, 2);
  const float a23 = G(2, 3);
  const float a31 = G(3, 1);
  const float a32 = G(3, 2);
  const float a33 = G(3, 3);
  const float a44 = G(4, 4);

  // Cofactors of the angle block; the block is taken as symmetric and the
  // angle-R couplings as zero (as CHANGD builds G).
  const float c1 = a33 * a22 - a23 * a32;
  const float c2 = a23 * a31 - a33 * a21;
  const float c3 = a32 * a21 - a22 * a31;
  const float D = (c3 * a13 + c2 * a12 + c1 * a11) * a44;

  const float r11 = c1 * a44 / D;
  const float r12 = c2 * a44 / D;
  const float r13 = c3 * a44 / D;
  const float r22 = (a33 * a11 - a13 * a31) * a44 / D;
  const float r33 = (a22 * a11 - a12 * a21) * a44 / D;
  const float r23 = -(a32 * a11 - a12 * a31) * a44 / D;
  const float r44 = 1.0f / a44;

  G = Mat4{};
  G(1, 1) = r11;
  G(1, 2) = r12;
  G(2, 1) = r12;
  G(1, 3) = r13;
  G(3, 1) = r13;
  G(2, 2) = r22;
  G(3, 3) = r33;
  G(2, 3) = r23;
  G(3, 2) = r23;
  G(4, 4) = r44;
}

void RECHER(const Workspace& ws, const Vec3& s_obs, const Vec3& s, const Mat<float, 3, 4>& ds, const Mat4& Ginv,
            Vec4& DX, float& ST, float& DX2, Vec3& DPEN, Vec3& DDIRE, Vec3& DSIG) {
  // Angle between predicted and observed directions; the cosine increase q
  // that closes it, to first order.
  float c = s(1) * s_obs(1);
  c = c + s(2) * s_obs(2);
  c = c + s(3) * s_obs(3);
  if (c > 1.0f) c = 1.0f;
  if (c < -1.0f) c = -1.0f;
  ST = std::acos(c);
  const float q = std::sqrt(1.0f - c * c) * ST;

  // Gradient of the cosine, h = Ginv g, p = g.h.
  Vec4 g;
  for (int k = 1; k <= 4; ++k) {
    float sum = 0.0f;
    for (int c3 = 1; c3 <= 3; ++c3) sum = sum + ds(c3, k) * s_obs(c3);
    g(k) = sum;
  }
  Vec4 h;
  for (int i = 1; i <= 4; ++i) {
    float sum = 0.0f;
    for (int j = 1; j <= 4; ++j) sum = sum + Ginv(i, j) * g(j);
    h(i) = sum;
  }
  float p = 0.0f;
  for (int k = 1; k <= 4; ++k) p = p + g(k) * h(k);

  // Smallest change in the metric whose linear effect on the cosine is q. A
  // zero gradient (p = 0) gives IEEE infinities or non-numbers, printed as such.
  DX2 = q * q / p;
  const float qp = q / p;
  for (int k = 1; k <= 4; ++k) DX(k) = qp * h(k);

  const Mat<float, 3, 3>& ROT = ws.mec.ROT;
  for (int L = 1; L <= 3; ++L) {
    const float x = ROT(L, 1);
    const float y = ROT(L, 2);
    const float z = ROT(L, 3);
    const float w2 = x * x + y * y;
    const float w = std::sqrt(w2);
    Vec3 d;
    for (int cc = 1; cc <= 3; ++cc) {
      float sum = ws.mecd.DROT(L, cc, 1) * DX(1);
      sum = sum + ws.mecd.DROT(L, cc, 2) * DX(2);
      sum = sum + ws.mecd.DROT(L, cc, 3) * DX(3);
      d(cc) = sum;
    }
    // A vertical axis (w = 0) has no direction: IEEE results, not a guard.
    const float dire = d(1) * y / w2 - d(2) * x / w2;
    DDIRE(L) = dire * kDeg180 / kPiRounded;
    const float pen = -d(1) * x * z / w - d(2) * y * z / w + d(3) * w;
    DPEN(L) = pen * kDeg180 / kPiRounded;
    if (z < 0.0f) DPEN(L) = -DPEN(L);
    DSIG(L) = ws.mecd.DVP(L) * DX(4);
  }
}

}  // namespace zk
