#pragma once
// Listing blocks: the tensor block, the misfit histogram, the Mohr diagram and
// the Schmidt net.
#include "areas/workspace.hpp"

namespace zk {

// Tensor block of one tensor; relabels (R, PSI, TETA, PHI) in place and
// returns the plunge PEN and direction DIRE (degrees) of each axis.
void SORTIE(Workspace& ws, int ISW, float& R, float& PSI, float& TETA, float& PHI, Vec3& PEN, Vec3& DIRE);
// Histogram of the ranked misfits A(1..N) (radians) in NCLASS classes.
void HISTO(Workspace& ws, const Vec<int, kMaxData>& IX, const Vec<float, kMaxData>& A, int N, int NCLASS);
// Mohr circles of the tensor in mec and the points of the NMIN best data.
void MOHR(Workspace& ws);
// Lower-hemisphere equal-area net of the three final axes.
void GRAP(Workspace& ws, const Mat<float, 3, kMaxData>& PENS, const Mat<float, 3, kMaxData>& DIRES, int N,
          const Vec3& PEN, const Vec3& DIRE);

}  // namespace zk
