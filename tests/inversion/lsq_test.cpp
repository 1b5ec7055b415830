#include "inversion/lsq.hpp"
#include "inversion/misfit.hpp"
#include "inversion_util.hpp"
#include "runtime/errors.hpp"

namespace zk {
namespace {

using test::count;
using test::Lines;

const Vec4 kTensor{{0.6f, 1.1f, 0.8f, 0.35f}};
const Vec4 kNear{{0.65f, 1.05f, 0.85f, 0.4f}};
const Vec4 kVertical{{0.0f, 0.0f, 0.0f, 0.5f}};  // sigma 3 vertical

TEST(Cmq, ConvergesFromTheSixthIterationOnAndPrintsByLevel) {
  // Gauss-Newton reaches the noise floor by the third iteration, after which
  // the steps are far below 0.005. In data order the improvement of iteration
  // 6 ends the loop. In reverse order iterations 3 and 4 still improve with
  // tiny steps, which must not end it, and the failures that follow drop the
  // kept values down to none.
  struct Case {
    bool reversed;
    int IPRINT, forme, values, kept, params;
  } const cases[] = {
      {false, 1, 6, 5, 5, 24}, {true, 1, 8, 4, 7, 32}, {false, 0, 0, 0, 0, 0},
      {false, 2, 0, 0, 0, 4},  {false, -3, 0, 0, 0, 4},
  };
  Vec4 data_order;
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.reversed) + " IPRINT " + std::to_string(c.IPRINT));
    test::Listing t;
    test::fitted_data(t.ws, kTensor, 40, 0.05f, false, c.reversed);
    Vec4 X = kNear;
    CMQ(t.ws, X, 10, 40, static_cast<Detail>(c.IPRINT));
    for (int k = 1; k <= 4; ++k) EXPECT_NEAR(X(k), kTensor(k), 0.02f) << k;
    if (&c == &cases[0]) data_order = X;
    EXPECT_TRUE(c.reversed || X.v == data_order.v);  // printing changes nothing
    const Lines l = t.lines();
    EXPECT_EQ(count(l, "FORME QUADRATIQUE"), c.forme);
    EXPECT_EQ(count(l, "V.PROPRES"), c.values);
    EXPECT_EQ(count(l, "ON CONSERVE"), c.kept);
    EXPECT_EQ(count(l, "PARAM NO"), c.params);
    // Always, and last: mean deviation, three axis errors, error on R.
    Lines tail;
    for (const std::string& s : l)
      if (s.find_first_not_of(' ') != std::string::npos) tail.push_back(s);
    ASSERT_GE(tail.size(), 5u);
    EXPECT_TRUE(c.IPRINT != 0 || tail.size() == 5u);
    EXPECT_EQ(tail[tail.size() - 5].rfind("  ECART MOYEN EN DEGRES ", 0), 0u);
    EXPECT_EQ(tail[tail.size() - 2].rfind("  COMP NO 3   ERR SUR DIREC", 0), 0u);
    EXPECT_EQ(tail.back().rfind("     ERREUR SUR R    ", 0), 0u);
  }
}

TEST(Cmq, FailedDecompositionKeepsTheBestPointAndStillReports) {
  // Datum 3 lies a hair off a principal plane: its shear is tiny and its
  // Jacobian row overflows the decomposition.
  test::Listing t;
  test::fitted_data(t.ws, kVertical, 10, 0.05f);
  const float fn[3] = {1.0e-20f, 0.0f, -1.0f}, str[3] = {0.6f, 0.8f, 0.0f};
  for (int c = 1; c <= 3; ++c) {
    t.ws.tir.FN(3, c) = fn[c - 1];
    t.ws.tir.STR(3, c) = str[c - 1];
  }
  Vec4 X = kVertical;
  CmqResult fit;
  fit = CMQ(t.ws, X, 10, 10, Detail::Traces);
  EXPECT_EQ(X.v, kVertical.v);
  EXPECT_FALSE(fit.svd_ok);
  const Lines l = t.lines();
  EXPECT_EQ(count(l, "FORME QUADRATIQUE"), 1);
  EXPECT_EQ(count(l, "  DECOMPOSITION EN VALEURS SINGULIERES IMPOSSIBLE: LE MEILLEUR POINT EST CONSERVE"), 1);
  EXPECT_EQ(count(l, "ON CONSERVE"), 0);
  EXPECT_EQ(count(l, "PARAM NO"), 4);
  EXPECT_EQ(count(l, "ERR SUR DIREC") + count(l, "ERREUR SUR R") + count(l, "ECART MOYEN"), 5);
}

}  // namespace
}  // namespace zk
