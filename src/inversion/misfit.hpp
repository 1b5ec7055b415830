#pragma once
// The misfit function: the angle (radians, 0 to pi) between each observed
// slip vector and the shear stress of the tensor on its plane (the slip
// follows the resolved shear stress: Wallace 1951, J. Geol. 59, 118-130;
// Bott 1959, Geol. Mag. 96, 109-117); F is the sum of the squares of the NMIN
// smallest (square radians). A plane without shear stress counts pi/2.
#include <algorithm>

#include "areas/workspace.hpp"

namespace zk {

// How SOMME ranks the data before summing (ITRI of the listing's
// documentation: 0, 1, 2).
enum class Ranking {
  Kept,     // 0: no new ranking; the ranks of the last ranking call are summed
  Anew,     // 1: ranks the data anew (tab.IX, spes.ANGMAX), equal misfits in
            //    the exchange sort's order, which later stages read
  SumOnly,  // 2: ranks as Anew but leaves equal misfits in IX in data order
            //    (F, FT and the ranked values are the same), for a caller that
            //    ranks again before anything reads IX; above kMaxData data
            //    it ranks nothing (tab as the misfits in data order)
// Above kMaxData data (a table's events) F and FT are summed in data order
// (SOMME's large_sums), whatever the ranking.
};

// F: sum over the NMIN ranked data; FT: sum over all N.
void SOMME(Workspace& ws, float& F, float& FT, float R, float PSI, float TETA, float PHI, Ranking ranking);
// X = (PSI, TETA, PHI, R); F = ranked partial sum. X is not modified.
void DIF(Workspace& ws, const Vec4& X, float& F);
// Which order equal values take in IX: the exchange sort's, which later
// stages read, or the (cheaper) order of their positions.
enum class Ties { Exchange, Position };
// Ascending sort of A(1..N) with IX the original positions; with
// Ties::Exchange exactly the result of the exchange sort (order among equal
// values included).
// A[0..N-1] and IX[0..N-1]; above kMaxData values the sort's buffers are
// those of `scratch` (grown as needed), or its own when it is null.
void TRI(float* A, int* IX, int N, Ties ties = Ties::Exchange, RankScratch* scratch = nullptr);
// The same on 1-based arrays (Vec, DynVec), N clamped to their lengths.
template <class Values, class Indices>
void TRI(Values& A, Indices& IX, int N, Ties ties = Ties::Exchange, RankScratch* scratch = nullptr) {
  TRI(A.data(), IX.data(), std::clamp(N, 0, std::min(static_cast<int>(A.size()), static_cast<int>(IX.size()))), ties,
      scratch);
}

}  // namespace zk
