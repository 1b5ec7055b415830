#pragma once
// The stress state of a reduced stress tensor as paleostress studies report
// it: the azimuth of the maximum horizontal stress (SHmax), the ratio R' with
// its regime class, and the World Stress Map regime. Callable on any tensor
// given by its principal axes and R (the final tensor, a bootstrap replicate).
//
// Numbers: double precision (statistics reported beside the listing, never
// written into it). Frame: x = east, y = north, z = up; an axis may be given
// in either sense. Angles in degrees; azimuths clockwise from north.
// R = (sigma 2 - sigma 3) / (sigma 1 - sigma 3), in [0, 1], as this program
// defines it everywhere.
#include <array>
#include <optional>

#include "data/axes.hpp"
#include "engine/engine.hpp"

namespace zk {

// SHmax after Lund & Townend (2007, Geophys. J. Int. 170, 1328-1335, eqs.
// 10-11), written with this program's R (their ratio is 1 - R). With the
// horizontal (north, east) parts of the unit axes v1, v2, the horizontal
// stress is H = v1h v1h^T + R v2h v2h^T (less a multiple of the identity);
// SHmax = 1/2 atan2(2 H_NE, H_NN - H_EE) in [0, 180) and the anisotropy
// A = sqrt((H_NN - H_EE)^2 + 4 H_NE^2), in [0, 1], is the difference of the
// horizontal principal stresses in units of (sigma 1 - sigma 3).
struct HorizontalStress {
  double shmax = 0.0;       // degrees, [0, 180); meaningless when anisotropy < kShmaxNull
  double anisotropy = 0.0;  // dimensionless
};
HorizontalStress horizontal_stress(const AxisVector& v1, const AxisVector& v2, double R);
constexpr double kShmaxNull = 1e-6;          // below: radial stress, no SHmax
constexpr double kShmaxPoorlyDefined = 0.1;  // below: SHmax flagged as poorly defined

// R' after Delvaux et al. (1997): R when sigma 1 is the steepest axis, 2 - R
// when sigma 2 is, 2 + R when sigma 3 is (on equal plunges the axis of lower
// index counts as steepest). Plunges in degrees; the result is in [0, 3].
double r_prime(const std::array<double, 3>& plunges, double R);

// The regime classes of R', each half-open [low, high) but the last, which
// holds 3: radial extension [0, 0.25), pure extension [0.25, 0.75),
// transtension [0.75, 1.25), pure strike-slip [1.25, 1.75), transpression
// [1.75, 2.25), pure compression [2.25, 2.75), radial compression [2.75, 3].
// A value below 0 counts as radial extension, above 3 as radial compression.
enum class RPrimeClass {
  RadialExtension,
  PureExtension,
  Transtension,
  PureStrikeSlip,
  Transpression,
  PureCompression,
  RadialCompression
};
RPrimeClass r_prime_class(double r_prime);
const char* r_prime_class_name(RPrimeClass c);  // "radial extension", ...

// World Stress Map regime after Zoback (1992, J. Geophys. Res. 97, 11703),
// from the plunges of sigma 1, 2, 3; the first matching row wins:
//   pl1 >= 52 and pl3 <= 35                 NF  SHmax = trend of sigma 2
//   40 <= pl1 < 52 and pl3 <= 20            NS  trend of sigma 3 + 90
//   pl1 < 40, pl2 >= 45, pl3 <= 20          SS  trend of sigma 3 + 90
//   pl1 <= 20, pl2 >= 45, pl3 < 40          SS  trend of sigma 1
//   pl1 <= 20 and 40 <= pl3 < 52            TS  trend of sigma 1
//   pl1 <= 35 and pl3 >= 52                 TF  trend of sigma 1
//   otherwise                               U   no SHmax
// The azimuth is in [0, 180).
enum class WsmRegime { NF, NS, SS, TS, TF, U };
struct WsmResult {
  WsmRegime regime = WsmRegime::U;
  std::optional<double> shmax;  // degrees
};
WsmResult wsm_regime(const std::array<Attitude, 3>& axes);
const char* wsm_regime_code(WsmRegime r);  // "NF", "NS", "SS", "TS", "TF", "U"

// Everything above for one tensor. Axes that are not finite or not of unit
// length within 1e-3 (a failed decomposition) or an R that is not a number
// give an undefined state: no SHmax, no R', regime U.
struct StressState {
  bool defined = false;
  std::optional<double> shmax;     // Lund & Townend, degrees [0, 180); none when A < kShmaxNull
  bool shmax_poorly_defined = false;  // A < kShmaxPoorlyDefined (also true when there is none)
  double anisotropy = 0.0;         // A
  double r_prime = 0.0;
  RPrimeClass r_prime_class = RPrimeClass::RadialExtension;
  WsmResult wsm;
};
StressState stress_state(const std::array<AxisVector, 3>& axes, double R);
// The state of a listed tensor: its axes ROT(L, .) and its R (P(4)).
StressState stress_state(const TensorSnapshot& t);

// The reduced stress tensor of a listed tensor in the frame above,
// compression positive, sum of VP(L) ROT(L, .)^T ROT(L, .): trace 0 and
// sigma 1 - sigma 3 = 1 as the engine uses it.
using Matrix3 = std::array<std::array<double, 3>, 3>;
Matrix3 reduced_tensor(const TensorSnapshot& t);

// Normal stress, shear stress and the unit direction of the shear traction
// (the predicted slip of the hanging wall, the direction the misfit angle is
// measured from) on the plane of unit normal n for tensor T. The direction is
// absent when the shear stress is below 1e-9 (a principal plane).
struct PlaneStress {
  double normal = 0.0, shear = 0.0;
  std::optional<AxisVector> slip;
};
PlaneStress plane_stress(const Matrix3& T, const AxisVector& n);

// The misfit of a datum under T: the angle (radians, 0 to pi) between its
// slip (of any length) and the shear traction of T on its plane of unit
// normal n; pi/2 on a plane without shear traction.
double slip_misfit_rad(const Matrix3& T, const AxisVector& n, const AxisVector& slip);

// The reduced tensor of axes (sigma 1, 2, 3) and R in the frame above,
// compression positive: sigma 1 = 1, sigma 2 = R, sigma 3 = 0, less a third
// of the trace (trace 0, sigma 1 - sigma 3 = 1).
Matrix3 reduced_tensor(const std::array<AxisVector, 3>& axes, double R);

// The stress difference of two tensors after Yamaji & Sato (2006, J. Struct.
// Geol. 28, 957-966), as an angle: the deviatoric parts, normalised, are unit
// vectors of the 5-dimensional space of traceless symmetric tensors, and the
// result is the angle between them, in degrees [0, 180]. 0 is the same
// stress state (whatever the axes of equal principal stresses), 180 the
// opposite one. Independent of each tensor's scale and isotropic part. NaN
// when either tensor is isotropic or not finite.
double stress_difference_deg(const Matrix3& a, const Matrix3& b);

}  // namespace zk
