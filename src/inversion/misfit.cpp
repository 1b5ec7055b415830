#include "inversion/misfit.hpp"

#include <algorithm>
#include <array>
#include <cmath>

#include "data/geometry.hpp"

namespace zk {

void SOMME(Workspace& ws, float& F, float& FT, float R, float PSI, float TETA, float PHI, Ranking ranking) {
  CHANG(ws, R, PSI, TETA, PHI);

  // The data arrays hold kMaxData values; a larger count never gets past the
  // reading of the DATA file, the clamp only keeps this loop inside them.
  const int N = std::clamp(ws.tir.N, 0, kMaxData);
  const Mat<float, 3, 3>& T = ws.mec.TENS;
  const Mat<float, kMaxData, 3>& FN = ws.tir.FN;
  const Mat<float, kMaxData, 3>& STR = ws.tir.STR;
  Vec<float, kMaxData>& ANG = ws.tab.ANG;
  const float PI = ws.block.PI;

  // First the products and sums of every datum, with no branch and no call,
  // so the compiler runs several data at once (each datum's operations and
  // their order are unchanged); then the root, the quotient and the angle.
  std::array<float, kMaxData> TT;  // |tau|^2
  std::array<float, kMaxData> ST;  // s.tau
  for (int i = 1; i <= N; ++i) {
    const float n1 = FN(i, 1);
    const float n2 = FN(i, 2);
    const float n3 = FN(i, 3);
    // Traction t = T.n
    float t1 = T(1, 1) * n1;
    t1 = t1 + T(1, 2) * n2;
    t1 = t1 + T(1, 3) * n3;
    float t2 = T(2, 1) * n1;
    t2 = t2 + T(2, 2) * n2;
    t2 = t2 + T(2, 3) * n3;
    float t3 = T(3, 1) * n1;
    t3 = t3 + T(3, 2) * n2;
    t3 = t3 + T(3, 3) * n3;
    // Normal stress and shear stress tau = t - sigma_n n
    float sn = t1 * n1;
    sn = sn + t2 * n2;
    sn = sn + t3 * n3;
    const float tau1 = t1 - sn * n1;
    const float tau2 = t2 - sn * n2;
    const float tau3 = t3 - sn * n3;
    float tt = tau1 * tau1;
    tt = tt + tau2 * tau2;
    tt = tt + tau3 * tau3;
    float st = STR(i, 1) * tau1;
    st = st + STR(i, 2) * tau2;
    st = st + STR(i, 3) * tau3;
    TT[static_cast<std::size_t>(i - 1)] = tt;
    ST[static_cast<std::size_t>(i - 1)] = st;
  }
  for (int i = 1; i <= N; ++i) {
    const float tnorm = std::sqrt(TT[static_cast<std::size_t>(i - 1)]);
    // A principal plane carries no shear: the predicted slip is undefined and
    // the datum is given the neutral misfit pi/2 instead of a division by 0.
    if (!(tnorm > 0.0f) || !std::isfinite(tnorm)) {
      ANG(i) = PI / 2.0f;
      continue;
    }
    const float c = ST[static_cast<std::size_t>(i - 1)] / tnorm;
    // Rounding can push the cosine past +-1: map it without arccos.
    if (c >= 1.0f) {
      ANG(i) = 0.0f;
    } else if (c <= -1.0f) {
      ANG(i) = PI;
    } else {
      ANG(i) = std::acos(c);
    }
  }

  const bool ranked = ranking != Ranking::Kept;
  if (ranked) TRI(ws.tab.ANG, ws.tab.IX, N, ranking == Ranking::Anew ? Ties::Exchange : Ties::Position);

  // Partial sum over the NMIN first ranks. Without a new ranking the ranks
  // are those of the last ranking call; a rank whose entry in IX does not name
  // one of the N data (no ranking made yet for this data set) counts the
  // datum of the same number instead of reading outside the arrays.
  // F is left as the caller holds it when NMIN is not within 1..N.
  const int NMIN = ws.ind.NMIN;
  float sum = 0.0f;
  for (int j = 1; j <= N; ++j) {
    int k = j;
    if (!ranked) {
      k = ws.tab.IX(j);
      if (k < 1 || k > N) k = j;
    }
    const float a = ANG(k);
    sum = sum + a * a;
    if (j == NMIN) {
      F = sum;
      if (ranked) ws.spes.ANGMAX = ANG(j);
    }
  }
  FT = sum;
}

void DIF(Workspace& ws, const Vec4& X, float& F) {
  float PSI = X(1);
  float TETA = X(2);
  float PHI = X(3);
  float R = X(4);
  float FT = 0.0f;
  SOMME(ws, F, FT, R, PSI, TETA, PHI, Ranking::Anew);
}

}  // namespace zk
