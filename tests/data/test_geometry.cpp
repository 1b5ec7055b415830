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
    {0.5f, 0.0f, 0.0f, 0.0f}, {0.3f, 0.7f, 1.1f, 2.3f},  {0.9f, 2.9f, 0.2f, 0.4f},
    {0.05f, 1.6f, 2.8f, 3.0f}, {-0.4f, 0.1f, 1.5f, 1.2f}, {1.7f, 3.1f, 3.1f, 0.01f},
};

TEST(Chang, ZeroAnglesGiveTheFrameAxes) {
  Fresh f;
  CHANG(f.ws, 0.5f, 0.0f, 0.0f, 0.0f);
  for (int L = 1; L <= 3; ++L)
    for (int c = 1; c <= 3; ++c) EXPECT_EQ(f.ws.mec.ROT(L, c), L == c ? 1.0f : 0.0f) << L << c;
  const float vp[] = {0.5f, 0.0f, -0.5f};
  for (int L = 1; L <= 3; ++L) {
    EXPECT_EQ(f.ws.mec.VP(L), vp[L - 1]);
    EXPECT_EQ(f.ws.mec.TENS(L, L), vp[L - 1]);
  }
}

// Central differences of CHANG in parameter k (1 PSI, 2 TETA, 3 PHI, 4 R).
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
  const float w = *phi[k - 1] - *plo[k - 1];
  mec_t d;
  for (std::size_t n = 0; n < 9; ++n) {
    d.ROT.v[n] = (fh.ws.mec.ROT.v[n] - fl.ws.mec.ROT.v[n]) / w;
    d.TENS.v[n] = (fh.ws.mec.TENS.v[n] - fl.ws.mec.TENS.v[n]) / w;
  }
  for (std::size_t n = 0; n < 3; ++n) d.VP.v[n] = (fh.ws.mec.VP.v[n] - fl.ws.mec.VP.v[n]) / w;
  return d;
}

TEST(Changd, SameMecAsChangAndDerivativesAgreeWithFiniteDifferences) {
  constexpr float tol = 2e-4f;
  for (const Angles& a : kSamples) {
    Fresh c, f;
    CHANG(c.ws, a.R, a.PSI, a.TETA, a.PHI);
    CHANGD(f.ws, a.R, a.PSI, a.TETA, a.PHI);
    EXPECT_EQ(c.ws.mec.TENS.v, f.ws.mec.TENS.v);
    EXPECT_EQ(c.ws.mec.ROT.v, f.ws.mec.ROT.v);
    EXPECT_EQ(c.ws.mec.VP.v, f.ws.mec.VP.v);

    const mecd_t& d = f.ws.mecd;
    mec_t num[4];
    for (int k = 1; k <= 4; ++k) num[k - 1] = numeric_derivative(a, k);
    for (int i = 1; i <= 3; ++i) {
      EXPECT_NEAR(d.DVP(i), num[3].VP(i), tol);
      for (int j = 1; j <= 3; ++j) {
        EXPECT_NEAR(d.DTENSR(i, j), num[3].TENS(i, j), tol);
        for (int k = 1; k <= 3; ++k) {
          EXPECT_NEAR(d.DROT(i, j, k), num[k - 1].ROT(i, j), tol) << "DROT " << i << j << k;
          EXPECT_NEAR(d.DTENS(i, j, k), num[k - 1].TENS(i, j), tol) << "DTENS " << i << j << k;
        }
      }
    }
    const float omr = 1.0f - a.R;
    for (int p = 1; p <= 3; ++p) {
      for (int q = 1; q <= 3; ++q) {
        float g = 0.0f;
        for (int c3 = 1; c3 <= 3; ++c3)
          g += omr * omr * num[p - 1].ROT(1, c3) * num[q - 1].ROT(1, c3) +
               a.R * a.R * num[p - 1].ROT(3, c3) * num[q - 1].ROT(3, c3);
        EXPECT_NEAR(d.G(p, q), g, 1e-3f) << p << q;
      }
      EXPECT_EQ(d.G(4, p), 0.0f);
      EXPECT_EQ(d.G(p, 4), 0.0f);
    }
    EXPECT_EQ(d.G(4, 4), 2.4674015f);
  }
}

TEST(Geometry, EulerFromAxesClampsRoundedArguments) {
  float PSI = 0, TETA = 0, PHI = 0;
  Vec3 V1, V3;
  V1(1) = 1.0000001f;                   // c * V1x + s * V1y above 1
  V3(2) = 0.01f, V3(3) = -1.0000001f;  // -V3z above 1
  euler_from_axes(V1, V3, 0.001f, kPI, 0.0f, PSI, TETA, PHI);
  EXPECT_EQ(PHI, kPI);
  EXPECT_EQ(TETA, 0.0f);
  V3(1) = -0.01f, V3(2) = 0.0f;  // s = 1 exactly
  euler_from_axes(V1, V3, 0.001f, kPI, 0.0f, PSI, TETA, PHI);
  EXPECT_FALSE(std::isnan(PSI) || std::isnan(PHI));
}

TEST(Rectif, RatioOutsideZeroOneIsRelabelled) {
  struct Case {
    Angles a;
    float R_after;
  } cases[] = {
      {{2.0f, 0.4f, 1.0f, 0.3f}, 0.5f},   {{2.0f, 0.4f, 1.0f, 2.0f}, 0.5f},  {{4.0f, 1.2f, 0.5f, 1.5f}, 0.25f},
      {{-1.0f, 0.4f, 1.0f, 0.3f}, 0.5f},  {{-1.0f, 2.5f, 2.0f, 2.9f}, 0.5f}, {{-0.25f, 0.1f, 0.3f, 1.0f}, 0.2f},
      {{0.5f, 0.4f, 1.0f, 0.3f}, 0.5f},
  };
  for (const Case& c : cases) {
    Fresh f;
    CHANG(f.ws, c.a.R, c.a.PSI, c.a.TETA, c.a.PHI);
    const mec_t before = f.ws.mec;
    float PSI = c.a.PSI, TETA = c.a.TETA, PHI = c.a.PHI, R = c.a.R;
    RECTIF(f.ws, PSI, TETA, PHI, R);
    EXPECT_FLOAT_EQ(R, c.R_after);
    if (c.a.R >= 0.0f) {
      const float turned = c.a.R > 1.0f ? c.a.PHI + 1.5707965f : c.a.PHI;
      EXPECT_EQ(PHI, turned > kPI ? turned - kPI : turned);
      EXPECT_EQ(PSI, c.a.PSI);
      EXPECT_EQ(TETA, c.a.TETA);
    }
    // the same stresses, rescaled so that sigma 1 - sigma 3 = 1 again
    const float scale = std::fmax(before.VP(1), before.VP(2)) - std::fmin(before.VP(2), before.VP(3));
    CHANG(f.ws, R, PSI, TETA, PHI);
    for (std::size_t n = 0; n < 9; ++n) EXPECT_NEAR(f.ws.mec.TENS.v[n] * scale, before.TENS.v[n], 1e-5f) << n;
  }
}

}  // namespace
}  // namespace zk
