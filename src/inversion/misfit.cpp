#include "inversion/misfit.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

#include "data/geometry.hpp"

namespace zk {

namespace {

// The sums of a run on more than kMaxData data, from the misfits in data
// order (tab.ANG as computed, before any ranking): FT over all of them in
// data order; F over the NMIN smallest: the misfits below the NMIN-th
// smallest, theta, in data order, then theta for each of the others that
// rank within NMIN. The same values whatever ranking follows, and none is
// needed (a selection in linear time instead of a sort). False, with nothing
// changed, when a misfit is not a number (the ranking then decides).
bool large_sums(Workspace& ws, int N, float& F, float& FT) {
  const float* A = ws.tab.ANG.data();
  std::vector<float>& scratch = ws.tab.rank.orig;
  scratch.assign(A, A + N);
  for (const float a : scratch) {
    if (std::isnan(a)) return false;
  }
  const int NMIN = ws.ind.NMIN;
  float total = 0.0f;
  for (int i = 0; i < N; ++i) total = total + A[i] * A[i];
  FT = total;
  if (NMIN < 1 || NMIN > N) return true;  // F as the caller holds it
  if (NMIN == N) {
    F = total;
    ws.spes.ANGMAX = *std::max_element(scratch.begin(), scratch.end());
    return true;
  }
  std::nth_element(scratch.begin(), scratch.begin() + (NMIN - 1), scratch.end());
  const float theta = scratch[static_cast<std::size_t>(NMIN - 1)];
  float sum = 0.0f;
  int below = 0;
  for (int i = 0; i < N; ++i) {
    if (A[i] < theta) {
      sum = sum + A[i] * A[i];
      ++below;
    }
  }
  for (int k = below; k < NMIN; ++k) sum = sum + theta * theta;
  F = sum;
  ws.spes.ANGMAX = theta;
  return true;
}

}  // namespace

void SOMME(Workspace& ws, float& F, float& FT, float R, float PSI, float TETA, float PHI, Ranking ranking) {
  CHANG(ws, R, PSI, TETA, PHI);

  // The clamp only keeps the loops inside the data arrays.
  const int N = std::clamp(ws.tir.N, 0, std::min(ws.tir.FN.rows(), ws.tab.ANG.size()));
  const Mat<float, 3, 3>& T = ws.mec.TENS;
  const DynMat<float, 3>& FN = ws.tir.FN;
  const DynMat<float, 3>& STR = ws.tir.STR;
  DynVec<float>& ANG = ws.tab.ANG;
  const float PI = ws.block.PI;

  // First the products and sums of every datum, with no branch and no call,
  // so the compiler runs several data at once (each datum's operations and
  // their order are unchanged); then the root, the quotient and the angle.
  // The columns as separate arrays that nothing else writes (restrict), so
  // that the stores into TT and ST cannot be taken for the data.
  float* __restrict TT = ws.tab.TT.data();  // |tau|^2
  float* __restrict ST = ws.tab.ST.data();  // s.tau
  const float* __restrict N1 = &FN(1, 1);
  const float* __restrict N2 = &FN(1, 2);
  const float* __restrict N3 = &FN(1, 3);
  const float* __restrict S1 = &STR(1, 1);
  const float* __restrict S2 = &STR(1, 2);
  const float* __restrict S3 = &STR(1, 3);
  const float T11 = T(1, 1), T12 = T(1, 2), T13 = T(1, 3);
  const float T21 = T(2, 1), T22 = T(2, 2), T23 = T(2, 3);
  const float T31 = T(3, 1), T32 = T(3, 2), T33 = T(3, 3);
  for (int k = 0; k < N; ++k) {
    const auto i = static_cast<std::size_t>(k);
    const float n1 = N1[i];
    const float n2 = N2[i];
    const float n3 = N3[i];
    // Traction t = T.n
    float t1 = T11 * n1;
    t1 = t1 + T12 * n2;
    t1 = t1 + T13 * n3;
    float t2 = T21 * n1;
    t2 = t2 + T22 * n2;
    t2 = t2 + T23 * n3;
    float t3 = T31 * n1;
    t3 = t3 + T32 * n2;
    t3 = t3 + T33 * n3;
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
    float st = S1[i] * tau1;
    st = st + S2[i] * tau2;
    st = st + S3[i] * tau3;
    TT[i] = tt;
    ST[i] = st;
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

  // More data than a DATA file holds (a table's events): the sums in data
  // order, so that a sum alone needs no sort (see large_sums).
  if (N > kMaxData && ranking != Ranking::Kept && large_sums(ws, N, F, FT)) {
    if (ranking == Ranking::Anew) TRI(ws.tab.ANG, ws.tab.IX, N, Ties::Exchange, &ws.tab.rank);
    return;
  }

  const bool ranked = ranking != Ranking::Kept;
  if (ranked) TRI(ws.tab.ANG, ws.tab.IX, N, ranking == Ranking::Anew ? Ties::Exchange : Ties::Position, &ws.tab.rank);

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
  // The optimiser reads the sum alone: above kMaxData data it is made
  // without a ranking (the next ranking evaluation ranks anew).
  SOMME(ws, F, FT, R, PSI, TETA, PHI, ws.tir.N > kMaxData ? Ranking::SumOnly : Ranking::Anew);
}

}  // namespace zk
