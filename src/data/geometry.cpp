#include "data/geometry.hpp"

#include <cmath>

namespace zk {

float acos_clamped(float x) {
  if (x > 1.0f) x = 1.0f;
  if (x < -1.0f) x = -1.0f;
  return std::acos(x);
}

float asin_clamped(float x) {
  if (x > 1.0f) x = 1.0f;
  if (x < -1.0f) x = -1.0f;
  return std::asin(x);
}

float axis_theta(int a) {
  // In 64 bits: a direction near the integer limits must not overflow.
  const int th = static_cast<int>((450LL - a) % 360LL);
  return static_cast<float>(th) * kRadPerDeg;
}

Vec3 axis_vector(int a, int p) {
  const float th = axis_theta(a);
  const float pr = static_cast<float>(p) * kRadPerDeg;
  const float cp = std::cos(pr);
  Vec3 V;
  V(1) = cp * std::cos(th);
  V(2) = cp * std::sin(th);
  V(3) = -std::sin(pr);
  return V;
}

void euler_from_axes(const Vec3& V1, const Vec3& V3, float threshold, float PI, float psi_vertical,
                     float& PSI, float& TETA, float& PHI) {
  const float xx = V3(1) * V3(1);
  const float yy = V3(2) * V3(2);
  const float hz = std::sqrt(xx + yy);
  if (hz > threshold) {
    const float c = V3(2) / hz;
    const float s = -V3(1) / hz;
    const float cx = c * V1(1);
    const float sy = s * V1(2);
    PHI = PI - acos_clamped(cx + sy);
    TETA = acos_clamped(-V3(3));
    PSI = asin_clamped(s);
    if (c < 0.0f) PSI = PI - PSI;
    if (PSI < 0.0f) PSI = PSI + 2.0f * PI;
  } else {
    // sigma 3 vertical: the rotation about it is carried by PSI alone
    PHI = 0.0f;
    TETA = 0.0f;
    PSI = psi_vertical;
  }
}

namespace {

struct Trig {
  float cps, sps, cth, sth, cph, sph;
};

Trig trig(float PSI, float TETA, float PHI) {
  return Trig{std::cos(PSI), std::sin(PSI), std::cos(TETA), std::sin(TETA), std::cos(PHI), std::sin(PHI)};
}

// VP, ROT and TENS of mec from the sines and cosines.
void fill_mec(mec_t& m, float R, const Trig& t) {
  m.VP(1) = (2.0f - R) / 3.0f;
  m.VP(2) = (2.0f * R - 1.0f) / 3.0f;
  m.VP(3) = (1.0f + R) / (-3.0f);

  Mat<float, 3, 3>& ROT = m.ROT;
  ROT(1, 1) = t.cps * t.cph - t.sps * t.sph * t.cth;
  ROT(1, 2) = t.sph * t.cps * t.cth + t.sps * t.cph;
  ROT(1, 3) = t.sth * t.sph;
  ROT(2, 1) = -(t.sps * t.cph * t.cth + t.sph * t.cps);
  ROT(2, 2) = t.cps * t.cph * t.cth - t.sps * t.sph;
  ROT(2, 3) = t.sth * t.cph;
  ROT(3, 1) = t.sth * t.sps;
  ROT(3, 2) = -t.sth * t.cps;
  ROT(3, 3) = t.cth;

  for (int i = 1; i <= 3; ++i) {
    for (int j = 1; j <= i; ++j) {
      float s = 0.0f;
      for (int L = 1; L <= 3; ++L) s = s + m.VP(L) * ROT(L, i) * ROT(L, j);
      m.TENS(i, j) = s;
      m.TENS(j, i) = s;
    }
  }
}

}  // namespace

void CHANG(Workspace& ws, float R, float PSI, float TETA, float PHI) {
  fill_mec(ws.mec, R, trig(PSI, TETA, PHI));
}

void CHANGD(Workspace& ws, float R, float PSI, float TETA, float PHI) {
  const Trig t = trig(PSI, TETA, PHI);
  fill_mec(ws.mec, R, t);
  const Mat<float, 3, 3>& ROT = ws.mec.ROT;
  const Vec<float, 3>& VP = ws.mec.VP;
  mecd_t& d = ws.mecd;

  d.DVP(1) = -0.33333334f;
  d.DVP(2) = 0.6666667f;
  d.DVP(3) = -0.33333334f;

  // d/dPSI: rotation about z
  for (int L = 1; L <= 3; ++L) {
    d.DROT(L, 1, 1) = -ROT(L, 2);
    d.DROT(L, 2, 1) = ROT(L, 1);
    d.DROT(L, 3, 1) = 0.0f;
  }
  // d/dTETA
  d.DROT(1, 1, 2) = t.sps * t.sph * t.sth;
  d.DROT(1, 2, 2) = -t.sph * t.cps * t.sth;
  d.DROT(1, 3, 2) = t.sph * t.cth;
  d.DROT(2, 1, 2) = t.sps * t.cph * t.sth;
  d.DROT(2, 2, 2) = -t.cps * t.cph * t.sth;
  d.DROT(2, 3, 2) = t.cph * t.cth;
  d.DROT(3, 1, 2) = t.sps * t.cth;
  d.DROT(3, 2, 2) = -t.cps * t.cth;
  d.DROT(3, 3, 2) = -t.sth;
  // d/dPHI: e1 -> e2, e2 -> -e1, e3 fixed
  for (int c = 1; c <= 3; ++c) {
    d.DROT(1, c, 3) = ROT(2, c);
    d.DROT(2, c, 3) = -ROT(1, c);
    d.DROT(3, c, 3) = 0.0f;
  }

  // Metric: each c adds the whole bracket (both terms summed first).
  for (int a = 1; a <= 3; ++a) {
    for (int b = 1; b <= 3; ++b) {
      float g = 0.0f;
      for (int c = 1; c <= 3; ++c) {
        const float omr = 1.0f - R;
        const float t1 = omr * omr * d.DROT(1, c, b) * d.DROT(1, c, a);
        const float t3 = R * R * d.DROT(3, c, b) * d.DROT(3, c, a);
        const float bracket = t1 + t3;
        g = g + bracket;
      }
      d.G(a, b) = g;
    }
    d.G(4, a) = 0.0f;
    d.G(a, 4) = 0.0f;
  }
  d.G(4, 4) = 2.4674015f;  // pi^2 / 4

  for (int k = 1; k <= 3; ++k) {
    for (int i = 1; i <= 3; ++i) {
      for (int j = 1; j <= i; ++j) {
        float s = 0.0f;
        for (int L = 1; L <= 3; ++L) {
          const float a1 = d.DROT(L, i, k) * ROT(L, j);
          const float a2 = d.DROT(L, j, k) * ROT(L, i);
          s = s + VP(L) * (a1 + a2);
        }
        d.DTENS(i, j, k) = s;
        d.DTENS(j, i, k) = s;
      }
    }
  }

  for (int i = 1; i <= 3; ++i) {
    for (int j = 1; j <= i; ++j) {
      float s = 0.0f;
      for (int L = 1; L <= 3; ++L) s = s + d.DVP(L) * ROT(L, i) * ROT(L, j);
      d.DTENSR(i, j) = s;
      d.DTENSR(j, i) = s;
    }
  }
}

void RECTIF(Workspace& ws, float& PSI, float& TETA, float& PHI, float& R) {
  constexpr float kPi = 3.141593f;  // RECTIF's own pi, equal to PI of block
  Mat<float, 3, 3>& ROT = ws.mec.ROT;
  if (R < 0.0f) {
    // sigma 2 and sigma 3 swapped: the old sigma 2 axis becomes sigma 3
    for (int L = 1; L <= 3; ++L) {
      if (ROT(L, 3) > 0.0f) {
        for (int c = 1; c <= 3; ++c) ROT(L, c) = -ROT(L, c);
      }
    }
    Vec3 V1, V3;
    for (int c = 1; c <= 3; ++c) {
      V1(c) = ROT(1, c);
      V3(c) = ROT(2, c);
    }
    euler_from_axes(V1, V3, 0.0001f, kPi, acos_clamped(ROT(1, 1)), PSI, TETA, PHI);
    R = R / (R - 1.0f);
  } else if (R > 1.0f) {
    // sigma 1 and sigma 2 swapped: a quarter turn about sigma 3
    PHI = PHI + kPi / 2.0f;
    if (PHI > kPi) PHI = PHI - kPi;
    R = 1.0f / R;
  }
}

}  // namespace zk
