#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <sstream>

#include "data/geometry.hpp"
#include "inversion/nearest.hpp"

namespace zk {
namespace {

struct Tensor {
  float PSI, TETA, PHI, R;
};

class Nearest : public ::testing::Test {
 protected:
  void set(const Tensor& t) { CHANGD(ws, t.R, t.PSI, t.TETA, t.PHI); }

  std::istringstream in;
  std::ostringstream out;
  Workspace ws{in, out};
};

Vec3 unit(float x, float y, float z) {
  const float r = std::sqrt(x * x + y * y + z * z);
  return Vec3{{x / r, y / r, z / r}};
}

float dot(const Vec3& a, const Vec3& b) { return a(1) * b(1) + a(2) * b(2) + a(3) * b(3); }

// b rotated by angle t about the unit axis n (Rodrigues), for b orthogonal to n.
Vec3 turn(const Vec3& b, const Vec3& n, float t) {
  const Vec3 nxb{{n(2) * b(3) - n(3) * b(2), n(3) * b(1) - n(1) * b(3), n(1) * b(2) - n(2) * b(1)}};
  Vec3 r;
  for (int i = 1; i <= 3; ++i) r(i) = b(i) * std::cos(t) + nxb(i) * std::sin(t);
  return r;
}

TEST(Mb01b, InvertsTheBlockDiagonalMetricExactlyWhereItCan) {
  Mat4 G;
  G(1, 1) = 2.0f;
  G(2, 2) = 4.0f;
  G(3, 3) = 5.0f;
  G(4, 4) = 8.0f;
  G(1, 4) = 99.0f;  // the angle-R couplings are not read
  G(4, 2) = -7.0f;
  MB01B(G);
  const float want[4] = {0.5f, 0.25f, 0.2f, 0.125f};
  for (int i = 1; i <= 4; ++i)
    for (int j = 1; j <= 4; ++j) EXPECT_EQ(G(i, j), i == j ? want[i - 1] : 0.0f) << i << "," << j;
}

TEST_F(Nearest, Mb01bInvertsTheMetricOfChangd) {
  struct Case {
    Tensor t;
    int kdeg;  // row and column replaced as the driver does near R = 0 or 1 (0: none)
  };
  const Case cases[] = {
      {{0.4f, 1.0f, 0.6f, 0.3f}, 0},
      {{2.5f, 0.3f, 1.9f, 0.5f}, 0},
      {{1.2f, 2.2f, 0.1f, 0.8f}, 0},
      {{0.7f, 1.3f, 2.0f, 0.02f}, 1},
      {{0.7f, 1.3f, 2.0f, 0.97f}, 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.t.R);
    set(c.t);
    Mat4 G = ws.mecd.G;
    if (c.kdeg != 0) {
      for (int i = 1; i <= 4; ++i) {
        G(c.kdeg, i) = 0.0f;
        G(i, c.kdeg) = 0.0f;
      }
      G(c.kdeg, c.kdeg) = 1.0f;
    }
    Mat4 Ginv = G;
    MB01B(Ginv);
    for (int i = 1; i <= 4; ++i) {
      for (int j = 1; j <= 4; ++j) {
        float s = 0.0f;
        for (int k = 1; k <= 4; ++k) s += G(i, k) * Ginv(k, j);
        EXPECT_NEAR(s, i == j ? 1.0f : 0.0f, 2e-5f) << i << "," << j;
      }
    }
  }
}

TEST_F(Nearest, StriedGivesTheShearDirectionAndItsDerivatives) {
  const Tensor t0{0.4f, 1.0f, 0.6f, 0.3f};
  const Vec3 normals[] = {unit(0.3f, -0.5f, -0.8f), unit(-0.7f, 0.2f, -0.4f), unit(0.1f, 0.9f, -0.2f)};
  for (const Vec3& n : normals) {
    set(t0);
    Vec3 s;
    Mat<float, 3, 4> ds;
    STRIED(ws, n, s, ds);
    EXPECT_NEAR(dot(s, s), 1.0f, 1e-6f);
    EXPECT_NEAR(dot(s, n), 0.0f, 1e-6f);
    // s points along the traction minus its normal part.
    Vec3 tr;
    for (int i = 1; i <= 3; ++i) tr(i) = ws.mec.TENS(i, 1) * n(1) + ws.mec.TENS(i, 2) * n(2) + ws.mec.TENS(i, 3) * n(3);
    EXPECT_GT(dot(s, tr), 0.0f);

    // ds/dX_k against central differences of STRIED over CHANGD.
    const float h = 1.0e-3f;
    for (int k = 1; k <= 4; ++k) {
      float xp[4] = {t0.PSI, t0.TETA, t0.PHI, t0.R};
      float xm[4] = {t0.PSI, t0.TETA, t0.PHI, t0.R};
      xp[k - 1] += h;
      xm[k - 1] -= h;
      Vec3 sp, sm;
      Mat<float, 3, 4> scratch;
      set({xp[0], xp[1], xp[2], xp[3]});
      STRIED(ws, n, sp, scratch);
      set({xm[0], xm[1], xm[2], xm[3]});
      STRIED(ws, n, sm, scratch);
      for (int i = 1; i <= 3; ++i) EXPECT_NEAR(ds(i, k), (sp(i) - sm(i)) / (2.0f * h), 2e-3f) << "k=" << k;
    }
  }
}

TEST_F(Nearest, RecherClampsTheCosineAndExplainsAnExactDatum) {
  set({0.4f, 1.0f, 0.6f, 0.3f});
  Mat4 Ginv = ws.mecd.G;
  MB01B(Ginv);
  const Vec3 n = unit(0.3f, -0.5f, -0.8f);
  Vec3 s;
  Mat<float, 3, 4> ds;
  STRIED(ws, n, s, ds);
  struct Case {
    const char* name;
    float scale;  // s_obs = scale * s
    float ST;
  };
  const Case cases[] = {
      {"cosine rounded above 1", 1.000001f, 0.0f},
      {"cosine rounded below -1", -1.000001f, std::acos(-1.0f)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Vec3 sobs;
    for (int i = 1; i <= 3; ++i) sobs(i) = c.scale * s(i);
    Vec4 DX;
    float ST = -1.0f, DX2 = -1.0f;
    Vec3 DPEN, DDIRE, DSIG;
    RECHER(ws, sobs, s, ds, Ginv, DX, ST, DX2, DPEN, DDIRE, DSIG);
    EXPECT_EQ(ST, c.ST);
    EXPECT_EQ(DX2, 0.0f);
    for (int k = 1; k <= 4; ++k) EXPECT_EQ(DX(k), 0.0f);
    for (int L = 1; L <= 3; ++L) {
      EXPECT_EQ(DPEN(L), 0.0f);
      EXPECT_EQ(DDIRE(L), 0.0f);
      EXPECT_EQ(DSIG(L), 0.0f);
    }
  }
}

// Azimuth (clockwise from north) and plunge (downward) of an axis, radians.
double azimuth(double x, double y) { return std::atan2(x, y); }
double plunge(double x, double y, double z) { return std::atan2(std::fabs(z), std::sqrt(x * x + y * y)); }

TEST_F(Nearest, RecherFindsTheSmallestChangeThatClosesTheAngle) {
  const Tensor cases[] = {{0.4f, 1.0f, 0.6f, 0.3f}, {2.5f, 2.0f, 1.9f, 0.6f}};
  for (const Tensor& t : cases) {
    SCOPED_TRACE(t.PSI);
    set(t);
    const Mat4 G = ws.mecd.G;
    Mat4 Ginv = G;
    MB01B(Ginv);
    const Vec3 n = unit(0.3f, -0.5f, -0.8f);
    Vec3 s;
    Mat<float, 3, 4> ds;
    STRIED(ws, n, s, ds);
    const Vec3 sobs = turn(s, n, 0.2f);  // 0.2 rad away, in the plane

    Vec4 DX;
    float ST = 0.0f, DX2 = 0.0f;
    Vec3 DPEN, DDIRE, DSIG;
    RECHER(ws, sobs, s, ds, Ginv, DX, ST, DX2, DPEN, DDIRE, DSIG);
    EXPECT_NEAR(ST, 0.2f, 1e-5f);

    // First-order effect on the cosine is q = sin(ST) ST, and DX2 is the size
    // of DX in the metric G.
    float gdx = 0.0f;
    for (int k = 1; k <= 4; ++k) gdx += (ds(1, k) * sobs(1) + ds(2, k) * sobs(2) + ds(3, k) * sobs(3)) * DX(k);
    EXPECT_NEAR(gdx, std::sin(ST) * ST, 1e-5f);
    float size = 0.0f;
    for (int i = 1; i <= 4; ++i)
      for (int j = 1; j <= 4; ++j) size += DX(i) * G(i, j) * DX(j);
    EXPECT_NEAR(DX2, size, 1e-4f * size);

    // DPEN and DDIRE are the changes of plunge and azimuth of the axes moved
    // by DROT . DX (degrees of 180/3.14), DSIG that of the principal values.
    for (int L = 1; L <= 3; ++L) {
      double v[3], d[3];
      for (int c = 1; c <= 3; ++c) {
        v[c - 1] = ws.mec.ROT(L, c);
        d[c - 1] = 0.0;
        for (int k = 1; k <= 3; ++k) d[c - 1] += static_cast<double>(ws.mecd.DROT(L, c, k)) * static_cast<double>(DX(k));
      }
      const double e = 1e-6;
      const double az = (azimuth(v[0] + e * d[0], v[1] + e * d[1]) - azimuth(v[0] - e * d[0], v[1] - e * d[1])) / (2 * e);
      const double pl = (plunge(v[0] + e * d[0], v[1] + e * d[1], v[2] + e * d[2]) -
                         plunge(v[0] - e * d[0], v[1] - e * d[1], v[2] - e * d[2])) /
                        (2 * e);
      EXPECT_NEAR(DDIRE(L), az * 180.0 / 3.14, 1e-3 + 1e-4 * std::fabs(az * 180.0 / 3.14)) << L;
      EXPECT_NEAR(DPEN(L), pl * 180.0 / 3.14, 1e-3 + 1e-4 * std::fabs(pl * 180.0 / 3.14)) << L;
      EXPECT_EQ(DSIG(L), ws.mecd.DVP(L) * DX(4)) << L;
    }
  }
}

TEST_F(Nearest, DegenerateCasesGiveIeeeValuesNotACrash) {
  // sigma 3 vertical: its azimuth is undefined (w = 0). PSI and PHI turn
  // about the same axis there, so the metric of CHANGD is singular; a unit
  // metric stands in for it.
  set({0.0f, 0.0f, 0.0f, 0.5f});
  Mat4 Ginv;
  for (int i = 1; i <= 4; ++i) Ginv(i, i) = 1.0f;
  Vec4 DX;
  float ST = 0.0f, DX2 = 0.0f;
  Vec3 DPEN, DDIRE, DSIG;

  const Vec3 n = unit(0.3f, -0.5f, -0.8f);
  Vec3 s;
  Mat<float, 3, 4> ds;
  STRIED(ws, n, s, ds);
  RECHER(ws, turn(s, n, 0.3f), s, ds, Ginv, DX, ST, DX2, DPEN, DDIRE, DSIG);
  EXPECT_TRUE(std::isfinite(DX2));
  EXPECT_TRUE(std::isfinite(DDIRE(1)));
  EXPECT_TRUE(std::isnan(DDIRE(3)));
  EXPECT_TRUE(std::isnan(DPEN(3)));

  // A plane without shear: no direction (zeros, not a division by 0), so a
  // zero gradient, p = 0 and the angle acos(0).
  STRIED(ws, Vec3{{0.0f, 0.0f, -1.0f}}, s, ds);
  for (int i = 1; i <= 3; ++i) {
    EXPECT_EQ(s(i), 0.0f);
    for (int k = 1; k <= 4; ++k) EXPECT_EQ(ds(i, k), 0.0f);
  }
  RECHER(ws, unit(1.0f, 0.0f, 0.0f), s, ds, Ginv, DX, ST, DX2, DPEN, DDIRE, DSIG);
  EXPECT_EQ(ST, std::acos(0.0f));
  EXPECT_EQ(DX2, std::numeric_limits<float>::infinity());
  EXPECT_TRUE(std::isnan(DX(1)));
}

}  // namespace
}  // namespace zk
