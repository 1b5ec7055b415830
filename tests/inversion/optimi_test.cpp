#include <limits>

#include "inversion/optimi.hpp"
#include "inversion_util.hpp"

namespace zk {
namespace {

// Eight data that X0 explains exactly (misfit 0): every trial step ties at
// 0, a tie is a failure, so every step is undone and XBEST is never set.
TEST(Optimi, AtAMinimumEveryStepFailsAndXComesBack) {
  test::Listing t;
  const Vec4 X0{{0.7f, 1.2f, 0.4f, 0.35f}};  // PSI, TETA, PHI, R
  t.ws.iop.KMAX = 40;
  t.ws.iop.NPAR = 4;
  test::fitted_data(t.ws, X0, 8, 0.0f, true);
  t.ws.ind.NMIN = 6;
  Vec4 X = X0, XMIN, XMAX, XBEST{{99.0f, 99.0f, 99.0f, 99.0f}};
  Vec<Bound, 4> KIND;
  float F = -1.0f;
  OPTIMI(t.ws, X, XMIN, XMAX, KIND, XBEST, F, Detail::Plain);
  EXPECT_EQ(t.ws.iop.K, 41);
  EXPECT_EQ(F, 0.0f);
  for (int I = 1; I <= 4; ++I) EXPECT_NEAR(X(I), X0(I), 1.0e-6f) << I;
  EXPECT_EQ(XBEST.v, (Vec4{{99.0f, 99.0f, 99.0f, 99.0f}}.v));
}

// V(., 1) follows the total move; a direction along which nothing moved
// keeps its old direction rather than dividing by a zero length.
TEST(RotateDirections, FirstAlongTheMoveAndStalledOnesKeepTheirs) {
  const float r5 = std::sqrt(5.0f);
  struct Case {
    int n;
    Vec4 D;
    std::vector<float> want;  // V column by column
    float alfa1;
  } const cases[] = {
      {2, {{0.4f, 0.3f, 0, 0}}, {0.8f, 0.6f, -0.6f, 0.8f}, 0.5f},
      {4, {{1, 2, 0, 0}}, {1 / r5, 2 / r5, 0, 0, -2 / r5, 1 / r5, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}, r5},
      {3, {{0, 0, 0, 0}}, {1, 0, 0, 0, 1, 0, 0, 0, 1}, 0.0f},
  };
  for (const Case& c : cases) {
    Mat4 V;
    for (int I = 1; I <= c.n; ++I) V(I, I) = 1.0f;
    float a1 = -1.0f, a2, a3;
    rotate_directions(V, c.D, c.n, a1, a2, a3);
    EXPECT_NEAR(a1, c.alfa1, 1.0e-6f) << c.n;
    for (std::size_t k = 0; k < c.want.size(); ++k)
      EXPECT_NEAR(V(static_cast<int>(k) % c.n + 1, static_cast<int>(k) / c.n + 1), c.want[k], 1.0e-6f) << c.n << k;
  }
}

}  // namespace
}  // namespace zk
