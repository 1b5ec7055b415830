#include <limits>

#include "inversion/nearest.hpp"
#include "inversion_util.hpp"

namespace zk {
namespace {

Vec3 unit(float x, float y, float z) {
  const float r = std::sqrt(x * x + y * y + z * z);
  return Vec3{{x / r, y / r, z / r}};
}
using test::turn;

const Vec4 kX{{0.4f, 1.0f, 0.6f, 0.3f}};  // PSI, TETA, PHI, R
const Vec3 kN = unit(0.3f, -0.5f, -0.8f);

// The predicted slip on kN under X, its derivatives and the inverse metric.
struct Recher : test::Listing {
  Vec3 s, DPEN, DDIRE, DSIG;
  Mat<float, 3, 4> ds;
  Mat4 G, Ginv;
  Vec4 DX;
  float ST = -1.0f, DX2 = -1.0f;
  explicit Recher(const Vec4& X) {
    test::changd(ws, X);
    G = Ginv = ws.mecd.G;
    MB01B(Ginv);
    STRIED(ws, kN, s, ds);
  }
  void run(const Vec3& sobs) { RECHER(ws, sobs, s, ds, Ginv, DX, ST, DX2, DPEN, DDIRE, DSIG); }
};

TEST(RecherTest, ACosineRoundedPastOneIsClampedAndTheDatumExplainedExactly) {
  for (const float scale : {1.000001f, -1.000001f}) {  // s_obs = scale * s
    Recher r(kX);
    Vec3 sobs;
    for (int i = 1; i <= 3; ++i) sobs(i) = scale * r.s(i);
    r.run(sobs);
    EXPECT_EQ(r.ST, scale > 0.0f ? 0.0f : std::acos(-1.0f));
    EXPECT_EQ(r.DX2, 0.0f);
    EXPECT_EQ(r.DX.v, Vec4{}.v);
    EXPECT_EQ(r.DPEN.v, Vec3{}.v);
    EXPECT_EQ(r.DDIRE.v, Vec3{}.v);
    EXPECT_EQ(r.DSIG.v, Vec3{}.v);
  }
}

TEST(RecherTest, FindsTheSmallestChangeThatClosesTheAngle) {
  for (const Vec4& X : {kX, Vec4{{2.5f, 2.0f, 1.9f, 0.6f}}}) {
    SCOPED_TRACE(X(1));
    Recher r(X);
    const Vec3 sobs = turn(r.s, kN, 0.2f);  // 0.2 rad away, in the plane
    r.run(sobs);
    EXPECT_NEAR(r.ST, 0.2f, 1e-5f);
    // The first-order change of the cosine is sin(ST) ST, and DX2 is |DX| in
    // the metric G (so MB01B inverted it).
    float gdx = 0.0f, size = 0.0f;
    for (int k = 1; k <= 4; ++k) gdx += (r.ds(1, k) * sobs(1) + r.ds(2, k) * sobs(2) + r.ds(3, k) * sobs(3)) * r.DX(k);
    for (int i = 1; i <= 4; ++i)
      for (int j = 1; j <= 4; ++j) size += r.DX(i) * r.G(i, j) * r.DX(j);
    EXPECT_NEAR(gdx, std::sin(r.ST) * r.ST, 1e-5f);
    EXPECT_NEAR(r.DX2, size, 1e-4f * size);
  }
}

// DPEN and DDIRE are the first-order changes (in degrees of 180/3.14) of the
// plunge of each axis's lower end and of its direction under the angle part
// of DX: checked by central differences on a tensor whose axes all point up
// and on one where two point down.
TEST(RecherTest, AxisChangesAreThoseOfTheMove) {
  for (const Vec4& X : {kX, Vec4{{2.5f, 2.0f, 1.9f, 0.6f}}}) {
    Recher r(X);
    r.run(turn(r.s, kN, 0.2f));
    const float t = 1.0e-2f, deg = 180.0f / 3.14f / (2.0f * t);
    test::Listing lo, hi;
    CHANG(lo.ws, X(4), X(1) - t * r.DX(1), X(2) - t * r.DX(2), X(3) - t * r.DX(3));
    CHANG(hi.ws, X(4), X(1) + t * r.DX(1), X(2) + t * r.DX(2), X(3) + t * r.DX(3));
    for (int L = 1; L <= 3; ++L) {
      const auto plunge = [L](const Workspace& w) { return std::asin(std::fabs(w.mec.ROT(L, 3))); };
      const auto direction = [L](const Workspace& w) { return std::atan2(w.mec.ROT(L, 1), w.mec.ROT(L, 2)); };
      const float dpen = (plunge(hi.ws) - plunge(lo.ws)) * deg, ddire = (direction(hi.ws) - direction(lo.ws)) * deg;
      EXPECT_NEAR(r.DPEN(L), dpen, 0.02f * std::fabs(dpen) + 1e-3f) << X(1) << " axis " << L;
      EXPECT_NEAR(r.DDIRE(L), ddire, 0.02f * std::fabs(ddire) + 1e-3f) << X(1) << " axis " << L;
    }
  }
}

TEST(RecherTest, DegenerateCasesGiveIeeeValuesNotACrash) {
  // sigma 3 vertical: its azimuth is undefined. PSI and PHI turn about the
  // same axis there, so the metric is singular; a unit metric stands in.
  Recher r(Vec4{{0.0f, 0.0f, 0.0f, 0.5f}});
  r.Ginv = Mat4{};
  for (int i = 1; i <= 4; ++i) r.Ginv(i, i) = 1.0f;
  r.run(turn(r.s, kN, 0.3f));
  EXPECT_TRUE(std::isfinite(r.DX2) && std::isfinite(r.DDIRE(1)));
  EXPECT_TRUE(std::isnan(r.DDIRE(3)) && std::isnan(r.DPEN(3)));
  // A plane without shear: no direction (zeros, not a division by 0), so a
  // zero gradient, p = 0 and the angle acos(0).
  STRIED(r.ws, Vec3{{0.0f, 0.0f, -1.0f}}, r.s, r.ds);
  EXPECT_EQ(r.s.v, Vec3{}.v);
  EXPECT_EQ(r.ds.v, (Mat<float, 3, 4>{}.v));
  r.run(unit(1.0f, 0.0f, 0.0f));
  EXPECT_EQ(r.ST, std::acos(0.0f));
  EXPECT_EQ(r.DX2, std::numeric_limits<float>::infinity());
  EXPECT_TRUE(std::isnan(r.DX(1)));
}

}  // namespace
}  // namespace zk
