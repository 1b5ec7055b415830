#pragma once
// Listing blocks: the tensor block, the misfit histogram, the Mohr diagram and
// the Schmidt net.
#include "areas/workspace.hpp"

namespace zk {

// Plunge PEN and direction DIRE (degrees) of the axes of sigma 1, 2, 3 in ROT
// (rows: unit vectors in x east, y north, z up), as the tensor block lists
// them: each axis is first turned into the lower hemisphere (in place; a
// horizontal one is turned too), then PEN = 90 - 2 atan(rho) and DIRE =
// 90 - atan2(Y, X) in [0, 360) from its stereographic point (X, Y), with
// pi = 3.141593; a vertical axis has direction 0.
void axes_plunge_direction(Mat<float, 3, 3>& ROT, Vec3& PEN, Vec3& DIRE);
// The listed stress ratio (VP(2) - VP(3)) / (VP(1) - VP(3)) of the principal
// values VP (dimensionless, 0 to 1 for ordered values).
float listed_ratio(const Vec3& VP);

// The misfit classes of the histogram: bounds 0, 0.1, ..., 1.0, 1.2, ..., 3.2
// radians; class k (1 to 21) holds angles in [bound k, bound k+1).
constexpr int kHistogramClasses = 21;
// Bound k (1 to 22) in radians, and in whole degrees as the listing prints it
// (180 * bound / 3.1415925, rounded half away from zero).
float histogram_bound(int k);
int histogram_bound_degrees(int k);
// The class (1 to 21) of a misfit angle in radians; 0 beyond the last bound
// or for a non-number.
int histogram_class(float angle);

// What SORTIE lists (its switch ISW, 0 or 1).
enum class Sortie {
  Axes,         // 0: the tensor block of the axes mec holds
  WithMisfits,  // 1: the axes recomputed from (R, PSI, TETA, PHI) before and
                //    after the relabelling, then the two misfit sums (the
                //    data ranked anew)
};

// Tensor block of one tensor; relabels (R, PSI, TETA, PHI) in place and
// returns the plunge PEN and direction DIRE (degrees) of each axis.
void SORTIE(Workspace& ws, Sortie what, float& R, float& PSI, float& TETA, float& PHI, Vec3& PEN, Vec3& DIRE);
// Histogram of the ranked misfits A(1..N) (radians) in NCLASS classes, IX
// the data of the ranks (as tab holds them).
void HISTO(Workspace& ws, const int* IX, const float* A, int N, int NCLASS);
// Mohr circles of the tensor in mec and the points of the NMIN best data.
void MOHR(Workspace& ws);
// Lower-hemisphere equal-area net of the three final axes.
void GRAP(Workspace& ws, const Vec3& PEN, const Vec3& DIRE);

}  // namespace zk
