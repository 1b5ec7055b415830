#include "inversion/misfit.hpp"
#include "inversion/random_search.hpp"
#include "inversion_util.hpp"

namespace zk {
namespace {

constexpr float kPi = 3.141593f, kHalfPi = kPi / 2.0f, kA = 0.70710677f;

// Datum i: downward normal n, slip s.
void datum(Workspace& ws, int i, const Vec3& n, const Vec3& s) {
  for (int c = 1; c <= 3; ++c) {
    ws.tir.FN(i, c) = n(c);
    ws.tir.STR(i, c) = s(c);
  }
  ws.tir.N = i;
}

TEST(Somme, RankingAndSums) {
  // Sigma 1 east-west, sigma 3 vertical: datum 1 slips against the shear
  // (pi), datum 2 lies on a principal plane (no shear), datum 3 slips with it.
  test::Listing t;
  Workspace& ws = t.ws;
  datum(ws, 1, {{-kA, 0, -kA}}, {{kA, 0, -kA}});
  datum(ws, 2, {{0, 0, -1}}, {{1, 0, 0}});
  datum(ws, 3, {{-kA, 0, -kA}}, {{-kA, 0, kA}});
  float F = -1.0f, FT = -1.0f;
  auto eval = [&](int nmin, Ranking ranking) {
    ws.ind.NMIN = nmin;
    SOMME(ws, F, FT, 0.5f, 0.0f, 0.0f, 0.0f, ranking);
    return F;
  };
  EXPECT_NEAR(eval(1, Ranking::Kept), kPi * kPi, 1.0e-2f);  // no ranking yet: the datum order stands in
  EXPECT_NEAR(eval(2, Ranking::Anew), kHalfPi * kHalfPi, 1.0e-5f);
  EXPECT_EQ(ws.tab.ANG(2), kHalfPi);  // no shear: pi/2, no division by zero
  EXPECT_EQ(ws.spes.ANGMAX, kHalfPi);
  EXPECT_EQ(std::vector<int>(ws.tab.IX.v.begin(), ws.tab.IX.v.begin() + 3), (std::vector<int>{3, 2, 1}));
  EXPECT_NEAR(FT, kHalfPi * kHalfPi + kPi * kPi, 1.0e-2f);
  // Every slip reversed, no new ranking: data 3 and 2 are still summed
  // although datum 1 now fits best.
  for (int i = 1; i <= 3; ++i)
    for (int c = 1; c <= 3; ++c) ws.tir.STR(i, c) = -ws.tir.STR(i, c);
  EXPECT_NEAR(eval(2, Ranking::Kept), kPi * kPi + kHalfPi * kHalfPi, 1.0e-2f);
  F = -5.0f;  // NMIN 0 or above N: never reached, F is left as it was
  EXPECT_EQ(eval(0, Ranking::Anew), -5.0f);
  EXPECT_EQ(eval(4, Ranking::Anew), -5.0f);
}

// Stage 1 keeps the draw of smallest misfit, the last of equal ones: with
// NMIN 0 no misfit is ever formed and every draw ties at 1e30.
TEST(RandomSearch, KeepsTheLastOfEqualDraws) {
  test::Listing t, draws;
  for (Workspace* ws : {&t.ws, &draws.ws}) {
    ws->tiraz.INDX = 1;
    test::fitted_data(*ws, Vec4{{0.6f, 1.1f, 0.8f, 0.35f}}, 6, 0.4f);
  }
  Vec4 P, X;
  random_search(t.ws, 3, P);
  for (int I = 1; I <= 3; ++I) EULAZ(draws.ws, I, X(1), X(2), X(3), X(4));
  EXPECT_EQ(P.v, X.v);
}

}  // namespace
}  // namespace zk
