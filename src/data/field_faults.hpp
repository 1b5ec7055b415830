#pragma once
// Field measurements of a fault (plane, striation, sense of slip) as unit
// vectors, and the DATA record that reproduces them. This geometry is in
// double, unlike the engine: the measurements come as decimals and are
// rounded to whole degrees only in the record, whose vectors as the DATA
// reader computes them (in float) are compared with the measured ones.
// Frame x = east, y = north, z = up; azimuths in degrees clockwise from north.
#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "data/fault_data.hpp"

namespace zk::field {

using V3 = std::array<double, 3>;  // double: see above

enum class Sense { Normal, Reverse, Dextral, Sinistral };
char sense_letter(Sense s);  // N, I, D, S

struct Plane {
  double dip_direction = 0.0;  // 0 to 360
  double dip = 0.0;            // 0 to 90
};

// The plane dips to the right of its right-hand-rule strike.
Plane plane_from_rhr_strike(double strike, double dip);
// A strike (either way along the line) and the letter N, E, S or W of the
// side the plane dips to; nullopt when the letter lies along the strike and
// so names neither side.
std::optional<Plane> plane_from_quadrant(double strike, double dip, char quadrant);

V3 normal_of(const Plane& p);    // unit normal pointing down, as the DATA reader's
V3 strike_of(const Plane& p);    // right-hand-rule strike (horizontal)
V3 down_dip_of(const Plane& p);  // down the dip line
V3 line_of(double trend, double plunge);  // pointing down the plunge
double trend_of(const V3& v);             // of the line's downward direction
double plunge_of(const V3& v);            // 0 to 90
double angle_deg(const V3& a, const V3& b);

// Slip of the hanging wall for a rake (Aki & Richards: from the right-hand-
// rule strike, positive upward; 0 sinistral, 90 reverse, +-180 dextral,
// -90 normal).
V3 slip_from_rake(const Plane& p, double rake);
// The plane of a unit normal given in either sense (dip direction 0 for a
// horizontal plane).
Plane plane_of_normal(const V3& n);
// The rake of a slip on plane p (the inverse of slip_from_rake), degrees in
// (-180, 180].
double rake_of(const Plane& p, const V3& slip);
// The direction of a slip vector: trend (degrees from north, [0, 360), 0 when
// vertical) and plunge, positive downward and negative upward ([-90, 90]),
// so that the sense of the motion is kept.
struct Direction {
  double trend = 0.0, plunge = 0.0;
};
Direction direction_of(const V3& v);

// The line at `pitch` degrees below the end of the strike line on the side
// of the letter N, E, S or W (pointing down); nullopt when the letter lies
// across the strike and the pitch is not 90.
std::optional<V3> pitch_line(const Plane& p, double pitch, char end);

// A measured striation line: its angle to the plane, and the line projected
// onto the plane (pointing down); nullopt for a line along the normal.
struct Projection {
  V3 line{};
  double off_plane = 0.0;
};
std::optional<Projection> project(const Plane& p, const V3& line);

// The direction of slip the sense gives a line on the plane: N its downward
// direction, I its upward one, D and S the one whose strike-parallel part is
// right- or left-lateral; nullopt when the sense cannot tell (N or I on a
// horizontal line, D or S on the dip line).
std::optional<V3> orient(const Plane& p, const V3& line, Sense s);
// N or I on a line flatter than 15 degrees, D or S on one steeper than 75.
bool sense_ambiguous(const V3& line, Sense s);
// The sense of the larger part of a slip: dip-slip (N, I) when it is at
// least 45 degrees from the strike, else strike-slip (D, S).
Sense dominant_sense(const Plane& p, const V3& slip);

// Angles between the vectors of a record as read and a datum's. A plane
// and its slip are one fault under a common change of sign (the DATA reader
// may turn the normal of a vertical plane over), so that is allowed.
struct Deviation {
  double normal = 0.0, slip = 0.0;  // degrees
  double worst() const { return normal > slip ? normal : slip; }
};
Deviation deviation(const V3& normal, const V3& slip, const Vec3& FN, const Vec3& STR);

// The DATA record of a datum in whole degrees: the right-hand-rule strike,
// the dip quadrant letter nearest the dip direction, and the striation in
// the pitch form unless the azimuth form reproduces the slip better (never
// on a vertical plane; north written 360, as 0 means no azimuth). Among
// records that reproduce the slip equally, the sense letter `preferred`.
struct Encoded {
  FaultRecord record;
  bool azimuth_form = false;
  Deviation rounding;  // of the record as convert_datum reads it
};
Encoded encode(const Plane& p, const V3& slip, Sense preferred, int number, std::string_view label);

// A record in the DATA columns, and the terminator record.
std::string data_line(const FaultRecord& r, bool azimuth_form);
constexpr std::string_view kTerminator = "  999";

// A DATA file as the program reads it, every datum kept. Bad records throw
// as GEOLOG.
FaultSet read_data_file(const std::string& path);

}  // namespace zk::field
