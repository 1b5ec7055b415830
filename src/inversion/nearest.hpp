#pragma once
// Predicted slip direction and its derivatives; the nearest tensor that
// explains one striation: the smallest change of (PSI, TETA, PHI, R) in the
// metric G of the parameters (first-order, linearised at the final tensor)
// that turns the predicted slip onto the observed one. Angles in radians,
// the changes of the axes listed in degrees (180/3.14 per radian).
#include "areas/workspace.hpp"

namespace zk {

// Predicted unit slip direction s on the plane of normal n, and ds(., k) =
// ds/dX_k for X = (PSI, TETA, PHI, R). Reads mec and mecd.
void STRIED(const Workspace& ws, const Vec3& n, Vec3& s, Mat<float, 3, 4>& ds);
// The unit normal n and the observed unit slip s of datum j (rows of tir).
void datum_vectors(const Workspace& ws, int j, Vec3& n, Vec3& s);
// Inverse of the block-diagonal part of G, in place.
void MB01B(Mat4& G);
// Smallest parameter change DX (metric Ginv^-1) turning s onto s_obs, and its
// effect on the axes (DPEN, DDIRE degrees) and principal values (DSIG).
void RECHER(const Workspace& ws, const Vec3& s_obs, const Vec3& s, const Mat<float, 3, 4>& ds, const Mat4& Ginv,
            Vec4& DX, float& ST, float& DX2, Vec3& DPEN, Vec3& DDIRE, Vec3& DSIG);

}  // namespace zk
