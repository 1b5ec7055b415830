#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

#include "data/geometry.hpp"

namespace zk {
namespace {

constexpr float kPI = 3.141593f;

struct Fresh {
  std::istringstream in;
  std::ostringstream out;
  Workspace ws{in, out};
};

struct Angles {
  float R, PSI, TETA, PHI;
};

const Angles kSamples[] = {
    {0.5f, 0.0f, 0.0f, 0.0f},   {0.3f, 0.7f, 1.1f, 2.3f},  {0.9f, 2.9f, 0.2f, 0.4f},
    {0.05f, 1.6f, 2.8f, 3.0f},  {-0.4f, 0.1f, 1.5f, 1.2f}, {1.7f, 3.1f, 3.1f, 0.01f},
};

float dot_rows(const Mat<float, 3, 3>& M, int a, int b) {
  return M(a, 1) * M(b, 1) + M(a, 2) * M(b, 2) + M(a, 3) * M(b, 3);
}

TEST(Chang, ZeroAnglesGiveTheFrameAxes) {
  Fresh f;
  CHANG(f.ws, 0.5f, 0.0f, 0.0f, 0.0f);
  for (int L = 1; L <= 3; ++L)
    for (int c = 1; c <= 3; ++c) EXPECT_EQ(f.ws.mec.ROT(L, c), L == c ? 1.0f : 0.0f) << L << c;
  EXPECT_EQ(f.ws.mec.VP(1), 0.5f);
  EXPECT_EQ(f.ws.mec.VP(2), 0.0f);
  EXPECT_EQ(f.ws.mec.VP(3), -0.5f);
  EXPECT_EQ(f.ws.mec.TENS(1, 1), 0.5f);
  EXPECT_EQ(f.ws.mec.TENS(3, 3), -0.5f);
  EXPECT_EQ(f.ws.mec.TENS(1, 3), 0.0f);
}

TEST(Chang, AxesAreOrthonormalAndTensorIsTheirSpectralSum) {
  for (const Angles& a : kSamples) {
    Fresh f;
    CHANG(f.ws, a.R, a.PSI, a.TETA, a.PHI);
    const mec_t& m = f.ws.mec;
    for (int p = 1; p <= 3; ++p)
      for (int q = 1; q <= 3; ++q) EXPECT_NEAR(dot_rows(m.ROT, p, q), p == q ? 1.0f : 0.0f, 1e-6f);
    // e3 is the axis at TETA from the vertical
    EXPECT_NEAR(m.ROT(3, 3), std::cos(a.TETA), 1e-6f);
    // T e_L = VP(L) e_L
    for (int L = 1; L <= 3; ++L)
      for (int i = 1; i <= 3; ++i) {
        float te = 0.0f;
        for (int j = 1; j <= 3; ++j) te += m.TENS(i, j) * m.ROT(L, j);
        EXPECT_NEAR(te, m.VP(L) * m.ROT(L, i), 1e-6f);
      }
    EXPECT_NEAR(m.VP(1) - m.VP(3), 1.0f, 1e-6f);
    EXPECT_NEAR(m.VP(1) + m.VP(2) + m.VP(3), 0.0f, 1e-6f);
  }
}

TEST(Changd, LeavesMecExactlyAsChang) {
  for (const Angles& a : kSamples) {
    Fresh c, d;
    CHANG(c.ws, a.R, a.PSI, a.TETA, a.PHI);
    CHANGD(d.ws, a.R, a.PSI, a.TETA, a.PHI);
    EXPECT_EQ(c.ws.mec.TENS.v, d.ws.mec.TENS.v);
    EXPECT_EQ(c.ws.mec.ROT.v, d.ws.mec.ROT.v);
    EXPECT_EQ(c.ws.mec.VP.v, d.ws.mec.VP.v);
  }
}

// Central differences of CHANG with respect to angle k (1 PSI, 2 TETA, 3 PHI)
// or R (k = 4).
mec_t numeric_derivative(const Angles& a, int k) {
  constexpr float h = 1.0e-2f;
  Angles lo = a, hi = a;
  float* plo[] = {&lo.PSI, &lo.TETA, &lo.PHI, &lo.R};
  float* phi[] = {&hi.PSI, &hi.TETA, &hi.PHI, &hi.R};
  *plo[k - 1] -= h;
  *phi[k - 1] += h;
  Fresh fl, fh;
  CHANG(fl.ws, lo.R, lo.PSI, lo.TETA, lo.PHI);
  CHANG(fh.ws, hi.R, hi.PSI, hi.TETA, hi.PHI);
  mec_t d;
  const float w = *phi[k - 1] - *plo[k - 1];
  for (std::size_t n = 0; n < 9; ++n) {
    d.ROT.v[n] = (fh.ws.mec.ROT.v[n] - fl.ws.mec.ROT.v[n]) / w;
    d.TENS.v[n] = (fh.ws.mec.TENS.v[n] - fl.ws.mec.TENS.v[n]) / w;
  }
  for (std::size_t n = 0; n < 3; ++n) d.VP.v[n] = (fh.ws.mec.VP.v[n] - fl.ws.mec.VP.v[n]) / w;
  return d;
}

TEST(Changd, DerivativesAgreeWithFiniteDifferences) {
  constexpr float tol = 2e-4f;
  for (const Angles& a : kSamples) {
    Fresh f;
    CHANGD(f.ws, a.R, a.PSI, a.TETA, a.PHI);
    const mecd_t& d = f.ws.mecd;
    mec_t num[4];
    for (int k = 1; k <= 4; ++k) num[k - 1] = numeric_derivative(a, k);
    for (int k = 1; k <= 3; ++k)
      for (int i = 1; i <= 3; ++i)
        for (int j = 1; j <= 3; ++j) {
          EXPECT_NEAR(d.DROT(i, j, k), num[k - 1].ROT(i, j), tol) << "DROT " << i << j << k;
          EXPECT_NEAR(d.DTENS(i, j, k), num[k - 1].TENS(i, j), tol) << "DTENS " << i << j << k;
        }
    for (int i = 1; i <= 3; ++i) {
      EXPECT_NEAR(d.DVP(i), num[3].VP(i), tol);
      for (int j = 1; j <= 3; ++j) EXPECT_NEAR(d.DTENSR(i, j), num[3].TENS(i, j), tol);
    }
    // metric from the numeric axis derivatives
    const float omr = 1.0f - a.R;
    for (int p = 1; p <= 3; ++p)
      for (int q = 1; q <= 3; ++q) {
        float g = 0.0f;
        for (int c = 1; c <= 3; ++c)
          g += omr * omr * num[p - 1].ROT(1, c) * num[q - 1].ROT(1, c) +
               a.R * a.R * num[p - 1].ROT(3, c) * num[q - 1].ROT(3, c);
        EXPECT_NEAR(d.G(p, q), g, 1e-3f) << p << q;
        EXPECT_EQ(d.G(p, q), d.G(q, p));
      }
    for (int p = 1; p <= 3; ++p) {
      EXPECT_EQ(d.G(4, p), 0.0f);
      EXPECT_EQ(d.G(p, 4), 0.0f);
    }
    EXPECT_EQ(d.G(4, 4), 2.4674015f);
  }
}

TEST(Geometry, AxisVector) {
  struct Case {
    int a, p;
    float x, y, z;
  } cases[] = {
      {0, 0, 0.0f, 1.0f, 0.0f},       {90, 0, 1.0f, 0.0f, 0.0f},          {180, 30, 0.0f, -0.8660254f, -0.5f},
      {270, 45, -0.7071068f, 0.0f, -0.7071068f}, {123, 90, 0.0f, 0.0f, -1.0f}, {360, 0, 0.0f, 1.0f, 0.0f},
  };
  for (const Case& c : cases) {
    const Vec3 V = axis_vector(c.a, c.p);
    EXPECT_NEAR(V(1), c.x, 1e-6f) << c.a << " " << c.p;
    EXPECT_NEAR(V(2), c.y, 1e-6f) << c.a << " " << c.p;
    EXPECT_NEAR(V(3), c.z, 1e-6f) << c.a << " " << c.p;
  }
}

TEST(Geometry, EulerFromAxesReproducesTheAxes) {
  // perpendicular pairs (direction, plunge) of sigma 1 and sigma 3
  struct Case {
    int d1, p1, d3, p3;
  } cases[] = {{30, 60, 210, 30}, {0, 0, 90, 0}, {250, 10, 70, 80}, {100, 0, 45, 90}, {355, 45, 175, 45}};
  for (const Case& c : cases) {
    const Vec3 V1 = axis_vector(c.d1, c.p1);
    const Vec3 V3 = axis_vector(c.d3, c.p3);
    float PSI = 0, TETA = 0, PHI = 0;
    euler_from_axes(V1, V3, 0.001f, kPI, axis_theta(c.d1), PSI, TETA, PHI);
    Fresh f;
    CHANG(f.ws, 0.5f, PSI, TETA, PHI);
    for (int k = 1; k <= 3; ++k) {
      const float sign1 = c.p3 == 90 ? 1.0f : -1.0f;  // vertical sigma 3: e1 = V1, e3 = up
      EXPECT_NEAR(f.ws.mec.ROT(1, k), sign1 * V1(k), 1e-5f) << c.d1 << " " << k;
      EXPECT_NEAR(std::fabs(f.ws.mec.ROT(3, k)), std::fabs(V3(k)), 1e-5f) << c.d1 << " " << k;
    }
  }
}

TEST(Geometry, EulerFromAxesClampsRoundedArguments) {
  float PSI = 0, TETA = 0, PHI = 0;
  Vec3 V1, V3;
  V1(1) = 0.0f, V1(2) = 1.0000001f, V1(3) = 0.0f;   // c * V1x + s * V1y above 1
  V3(1) = 0.0f, V3(2) = 0.01f, V3(3) = -1.0000001f;  // -V3z above 1
  euler_from_axes(V1, V3, 0.001f, kPI, 0.0f, PSI, TETA, PHI);
  EXPECT_EQ(PHI, kPI);
  EXPECT_EQ(TETA, 0.0f);
  EXPECT_FALSE(std::isnan(PSI));
  V3(1) = -0.01f, V3(2) = 0.0f;  // s = 1 exactly
  euler_from_axes(V1, V3, 0.001f, kPI, 0.0f, PSI, TETA, PHI);
  EXPECT_FALSE(std::isnan(PSI));
  EXPECT_FALSE(std::isnan(PHI));
}

TEST(Rectif, RatioOutsideZeroOneIsRelabelled) {
  struct Case {
    Angles a;
    float R_after;
  } cases[] = {
      {{2.0f, 0.4f, 1.0f, 0.3f}, 0.5f}, {{2.0f, 0.4f, 1.0f, 2.0f}, 0.5f}, {{4.0f, 1.2f, 0.5f, 1.5f}, 0.25f},
      {{-1.0f, 0.4f, 1.0f, 0.3f}, 0.5f}, {{-1.0f, 2.5f, 2.0f, 2.9f}, 0.5f}, {{-0.25f, 0.1f, 0.3f, 1.0f}, 0.2f},
      {{-1.0f, 0.0f, 1.5707964f, 0.0f}, 0.5f},
  };
  for (const Case& c : cases) {
    Fresh f;
    CHANG(f.ws, c.a.R, c.a.PSI, c.a.TETA, c.a.PHI);
    const mec_t before = f.ws.mec;
    float PSI = c.a.PSI, TETA = c.a.TETA, PHI = c.a.PHI, R = c.a.R;
    RECTIF(f.ws, PSI, TETA, PHI, R);
    EXPECT_FLOAT_EQ(R, c.R_after);
    if (c.a.R > 1.0f) {
      const float turned = c.a.PHI + 1.5707965f;
      EXPECT_EQ(PHI, turned > kPI ? turned - kPI : turned);
      EXPECT_EQ(PSI, c.a.PSI);
      EXPECT_EQ(TETA, c.a.TETA);
    }
    // the same stresses, scaled so that sigma 1 - sigma 3 = 1 again
    float hi = before.VP(1), lo = before.VP(1);
    for (int L = 2; L <= 3; ++L) {
      hi = std::fmax(hi, before.VP(L));
      lo = std::fmin(lo, before.VP(L));
    }
    const float scale = hi - lo;
    CHANG(f.ws, R, PSI, TETA, PHI);
    for (std::size_t n = 0; n < 9; ++n) EXPECT_NEAR(f.ws.mec.TENS.v[n] * scale, before.TENS.v[n], 1e-5f) << n;
  }
}

TEST(Rectif, RatioInsideZeroOneChangesNothing) {
  for (float r : {0.0f, 0.5f, 1.0f}) {
    Fresh f;
    CHANG(f.ws, r, 0.4f, 1.0f, 0.3f);
    float PSI = 0.4f, TETA = 1.0f, PHI = 0.3f, R = r;
    RECTIF(f.ws, PSI, TETA, PHI, R);
    EXPECT_EQ(R, r);
    EXPECT_EQ(PSI, 0.4f);
    EXPECT_EQ(TETA, 1.0f);
    EXPECT_EQ(PHI, 0.3f);
  }
}

}  // namespace
}  // namespace zk
