#pragma once
// Axes in double precision: unit vectors (x = east, y = north, z = up) and
// their trend and plunge in degrees.
#include <array>

namespace zk {

using AxisVector = std::array<double, 3>;  // east, north, up

// Trend (degrees from north, [0, 360)) and plunge (degrees down, [0, 90]) of
// the lower end of an axis. A vertical axis has trend 0; a horizontal one the
// trend of the sense given.
struct Attitude {
  double trend = 0.0, plunge = 0.0;
};
Attitude attitude_of(const AxisVector& v);
// The downward unit vector of a trend and plunge (degrees).
AxisVector axis_of(double trend, double plunge);

// An angle in degrees brought into [0, period).
double wrap_degrees(double a, double period);

}  // namespace zk
