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
  const mec_t& chang(const Vec4& a) {  // a = (R, PSI, TETA, PHI)
    CHANG(ws, a(1), a(2), a(3), a(4));
    return ws.mec;
  }
};

TEST(Chang, ZeroAnglesGiveTheFrameAxes) {
  Fresh f;
  const mec_t& m = f.chang(Vec4{{0.5f, 0.0f, 0.0f, 0.0f}});
  const float vp[] = {0.5f, 0.0f, -0.5f};
  for (int L = 1; L <= 3; ++L) {
    for (int c = 1; c <= 3; ++c) EXPECT_EQ(m.ROT(L, c), L == c ? 1.0f : 0.0f) << L << c;
    EXPECT_EQ(m.VP(L), vp[L - 1]);
    EXPECT_EQ(m.TENS(L, L), vp[L - 1]);
  }
}

TEST(Changd, SameMecAsChangAndDerivativesAgreeWithFiniteDifferences) {
  const Vec4 samples[] = {{{0.5f, 0.0f, 0.0f, 0.0f}}, {{0.3f, 0.7f, 1.1f, 2.3f}},  {{0.9f, 2.9f, 0.2f, 0.4f}},
                          {{0.05f, 1.6f, 2.8f, 3.0f}}, {{-0.4f, 0.1f, 1.5f, 1.2f}}, {{1.7f, 3.1f, 3.1f, 0.01f}}};
  for (const Vec4& a : samples) {
    Fresh c, f;
    const mec_t& m = c.chang(a);
    CHANGD(f.ws, a(1), a(2), a(3), a(4));
    EXPECT_EQ(m.TENS.v, f.ws.mec.TENS.v);
    EXPECT_EQ(m.ROT.v, f.ws.mec.ROT.v);
    EXPECT_EQ(m.VP.v, f.ws.mec.VP.v);
    // Central differences in parameter k: PSI, TETA, PHI, then R.
    const mecd_t& d = f.ws.mecd;
    for (int k = 1; k <= 4; ++k) {
      const int p = k == 4 ? 1 : k + 1;  // its place in a
      const float h = 1.0e-2f;
      Vec4 lo = a, hi = a;
      lo(p) -= h;
      hi(p) += h;
      Fresh fl, fh;
      const mec_t &ml = fl.chang(lo), &mh = fh.chang(hi);
      const float w = hi(p) - lo(p);
      for (int i = 1; i <= 3; ++i) {
        // R moves the principal values, not the axes.
        EXPECT_NEAR(k == 4 ? d.DVP(i) : 0.0f, (mh.VP(i) - ml.VP(i)) / w, 2e-4f) << "VP " << i << k;
        for (int j = 1; j <= 3; ++j) {
          EXPECT_NEAR(k == 4 ? d.DTENSR(i, j) : d.DTENS(i, j, k), (mh.TENS(i, j) - ml.TENS(i, j)) / w, 2e-4f)
              << "TENS " << i << j << k;
          EXPECT_NEAR(k == 4 ? 0.0f : d.DROT(i, j, k), (mh.ROT(i, j) - ml.ROT(i, j)) / w, 2e-4f)
              << "ROT " << i << j << k;
        }
      }
    }
  }
}

TEST(Geometry, EulerFromAxesClampsRoundedArguments) {
  float PSI = 0, TETA = 0, PHI = 0;
  Vec3 V1{{1.0000001f, 0.0f, 0.0f}}, V3{{0.0f, 0.01f, -1.0000001f}};  // c V1x + s V1y and -V3z above 1
  euler_from_axes(V1, V3, 0.001f, kPI, 0.0f, PSI, TETA, PHI);
  EXPECT_EQ(PHI, kPI);
  EXPECT_EQ(TETA, 0.0f);
  V3 = Vec3{{-0.01f, 0.0f, -1.0000001f}};  // s = 1 exactly
  euler_from_axes(V1, V3, 0.001f, kPI, 0.0f, PSI, TETA, PHI);
  EXPECT_FALSE(std::isnan(PSI) || std::isnan(PHI));
}

TEST(Rectif, RatioOutsideZeroOneIsRelabelled) {
  struct Case {
    Vec4 a;  // R, PSI, TETA, PHI
    float R_after;
  } const cases[] = {
      {{{2.0f, 0.4f, 1.0f, 0.3f}}, 0.5f},  {{{2.0f, 0.4f, 1.0f, 2.0f}}, 0.5f},   {{{4.0f, 1.2f, 0.5f, 1.5f}}, 0.25f},
      {{{-1.0f, 0.4f, 1.0f, 0.3f}}, 0.5f}, {{{-1.0f, 2.5f, 2.0f, 2.9f}}, 0.5f},  {{{-0.25f, 0.1f, 0.3f, 1.0f}}, 0.2f},
      {{{0.5f, 0.4f, 1.0f, 0.3f}}, 0.5f},
  };
  for (const Case& c : cases) {
    Fresh f;
    const mec_t before = f.chang(c.a);
    float R = c.a(1), PSI = c.a(2), TETA = c.a(3), PHI = c.a(4);
    RECTIF(f.ws, PSI, TETA, PHI, R);
    EXPECT_FLOAT_EQ(R, c.R_after);
    EXPECT_TRUE(PHI >= 0.0f && PHI <= kPI) << PHI;
    // The same stresses, rescaled so that sigma 1 - sigma 3 = 1 again.
    const float scale = std::fmax(before.VP(1), before.VP(2)) - std::fmin(before.VP(2), before.VP(3));
    const mec_t& after = f.chang(Vec4{{R, PSI, TETA, PHI}});
    for (std::size_t n = 0; n < 9; ++n) EXPECT_NEAR(after.TENS.v[n] * scale, before.TENS.v[n], 1e-5f) << n;
  }
}

}  // namespace
}  // namespace zk
