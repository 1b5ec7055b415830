#pragma once
// Earthquake focal mechanisms as double couples: a nodal plane by strike, dip
// and rake after Aki & Richards (1980) and its vectors in this program's
// frame, the auxiliary plane, the P and T axes.
//
// Numbers: double precision (reported beside the listing, never in it).
// Frame: x = east, y = north, z = up. Angles in degrees. Strike: azimuth
// clockwise from north with the plane dipping to its right; dip 0 to 90;
// rake from the strike direction to the slip of the hanging wall, in the
// plane, positive upward (90 pure reverse, -90 pure normal, 0 sinistral,
// +-180 dextral). The normal points down (from the hanging wall into the
// footwall), as the DATA reader's; the slip is the hanging wall's.
#include <array>
#include <string>
#include <vector>

#include "data/axes.hpp"
#include "data/field_faults.hpp"

namespace zk::mech {

struct NodalPlane {
  double strike = 0.0, dip = 0.0, rake = 0.0;  // degrees
};

// A plane's downward unit normal and the unit slip of its hanging wall. The
// pair (-normal, -slip) is the same fault; a vertical plane's normal may
// point either way.
struct DoubleCouple {
  AxisVector normal{}, slip{};
};

DoubleCouple vectors_of(const NodalPlane& p);
// Strike in [0, 360), dip in [0, 90], rake in (-180, 180]. The normal is
// first turned down when it points up (both vectors negated); a horizontal
// plane gets strike 0.
NodalPlane plane_of(DoubleCouple dc);

// The other nodal plane: normal and slip exchanged, both negated when the
// new normal points up. The moment tensor n s^T + s n^T is unchanged.
DoubleCouple auxiliary(const DoubleCouple& dc);
NodalPlane auxiliary(const NodalPlane& p);

// Largest angle (degrees) between the normals and between the slips of two
// double couples, the better of the two signs: 0 for the same fault, either
// spelling of a vertical plane included.
double fault_gap_deg(const DoubleCouple& a, const DoubleCouple& b);

// P = (slip + normal) / |slip + normal| and T = (slip - normal) / |slip -
// normal| (axes: their sense carries no meaning).
struct PTAxes {
  AxisVector P{}, T{};
};
PTAxes pt_axes(const DoubleCouple& dc);

double dot(const AxisVector& a, const AxisVector& b);
double angle_deg(const AxisVector& a, const AxisVector& b);  // 0 to 180
double axial_angle_deg(const AxisVector& a, const AxisVector& b);  // 0 to 90

// One event: both nodal planes, as given and as their DATA records read back.
struct Event {
  int number = 0;  // datum number of the DATA records
  int line = 0;    // line of its record in the DATA file (title = line 1)
  std::string label;
  int known = 0;  // 0, or the plane (1 or 2) known to be the fault
  std::array<NodalPlane, 2> planes;          // plane 1 as given, plane 2 its auxiliary
  std::array<DoubleCouple, 2> exact;         // their vectors
  std::array<field::Encoded, 2> encoded;     // their DATA records in whole degrees
  std::array<DoubleCouple, 2> read;          // the records' vectors as the DATA reader computes them
  PTAxes pt;                                 // of the exact double couple
};
Event make_event(int number, int line, const std::string& label, const NodalPlane& given, int known);

// Planes chosen (1 or 2 per event, in event order).
using Choice = std::vector<int>;

}  // namespace zk::mech
