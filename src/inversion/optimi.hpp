#pragma once
// Stage 2: derivative-free minimiser by rotating coordinates (Rosenbrock
// 1960, Comput. J. 3, 175-184; directions turned by Gram-Schmidt). X =
// (PSI, TETA, PHI in radians, R dimensionless), starting steps 0.1.
#include "areas/workspace.hpp"
#include "data/parameters.hpp"

namespace zk {

// The bounds on one parameter (KIND): a trial step that leaves them fails.
enum class Bound : int {
  None = 0,   // free
  Upper = 1,  // at most XMAX
  Both = 2,   // XMIN to XMAX
  Lower = 3,  // at least XMIN
};

// KMAX (iop.KMAX) trial steps from X over iop.NPAR parameters; X is refined in
// place, XBEST is the point of the last improvement, F the misfit at the
// final X. Detail::Traces lists every step.
void OPTIMI(Workspace& ws, Vec4& X, const Vec4& XMIN, const Vec4& XMAX, const Vec<Bound, 4>& KIND, Vec4& XBEST,
            float& F, Detail detail);

// The turn of the search directions after a cycle: Gram-Schmidt, in order, on
// the progress vectors A(., L) = sum over J >= L of D(J) V(., J), so that
// V(., 1) follows the total move. ALFA1..3 = |A(., 1..3)| (ALFA2, ALFA3 only
// for N >= 3, else 0). A progress vector with no part left after removing the
// new directions before it keeps its old direction.
void rotate_directions(Mat4& V, const Vec4& D, int N, float& ALFA1, float& ALFA2, float& ALFA3);

}  // namespace zk
