#pragma once
// Stage 2: derivative-free minimiser by rotating coordinates (Gram-Schmidt).
#include "areas/workspace.hpp"

namespace zk {

// KMAX (iop.KMAX) trial steps from X over iop.NPAR parameters; X is refined in
// place, XBEST is the point of the last improvement, F the misfit at the
// final X. IPRINT = 1 writes the trace.
void OPTIMI(Workspace& ws, Vec4& X, const Vec4& XMIN, const Vec4& XMAX, const Vec<int, 4>& KIND, Vec4& XBEST,
            float& F, int IPRINT);

}  // namespace zk
