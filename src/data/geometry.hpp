#pragma once
// Stress geometry: Euler angles (PSI, TETA, PHI, radians) and ratio R <->
// principal values, axes and tensor, with derivatives. Frame x = east,
// y = north, z = up; compression positive.
#include "areas/workspace.hpp"

namespace zk {

// Degrees to radians, as the data conversion and the imposed axes use it.
constexpr float kRadPerDeg = 0.017453294f;

// Fills mec (TENS, ROT, VP) for (R, PSI, TETA, PHI). Domain: any finite
// angles (radians) and R (dimensionless, 0 to 1 for ordered axes); the
// reduced tensor has trace 0 and sigma 1 - sigma 3 = 1: VP = ((2 - R)/3,
// (2R - 1)/3, -(1 + R)/3). TENS = ROT^T diag(VP) ROT, compression positive;
// ROT's rows are the axes rotated by the Euler angles (z-x-z convention).
void CHANG(Workspace& ws, float R, float PSI, float TETA, float PHI);
// As CHANG, then mecd (DROT, G, DVP, DTENS, DTENSR).
void CHANGD(Workspace& ws, float R, float PSI, float TETA, float PHI);
// Candidate tensor of draw ISW (1 = first call of the run) for mode INDX:
// angles uniform in [0, pi) and R uniform in [0, 1) from the generator, with
// the imposed axes of ws.imposed (degrees) held; echoes those axes on the
// first call. An INDX outside 1 to 6 writes "CAS ANORMAL" and stops the run
// (rt::RunStop): no starting tensor can be set for it.
void EULAZ(Workspace& ws, int ISW, float& PSI, float& TETA, float& PHI, float& R);
// Relabels the axes when R has left [0, 1]; mec must hold the same tensor.
void RECTIF(Workspace& ws, float& PSI, float& TETA, float& PHI, float& R);

// Euler angles from a sigma 1 axis V1 and a sigma 3 axis V3 (both downward).
// threshold: 0.001 (EULAZ) or 0.0001 (RECTIF); psi_vertical is the PSI used
// when sigma 3 is vertical. Arguments of arc cosine and arc sine are clamped
// to [-1, 1], so rounding never yields NaN.
void euler_from_axes(const Vec3& V1, const Vec3& V3, float threshold, float PI, float psi_vertical,
                     float& PSI, float& TETA, float& PHI);
// Downward unit axis of direction a and plunge p (integer degrees).
Vec3 axis_vector(int a, int p);
// Angle theta = (450 - a) mod 360 of direction a, in radians (the angle of
// the axis's horizontal part from east, counter-clockwise).
float axis_theta(int a);

// Arc cosine and arc sine with the argument clamped to [-1, 1].
float acos_clamped(float x);
float asin_clamped(float x);

}  // namespace zk
