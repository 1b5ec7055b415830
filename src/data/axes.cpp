#include "data/axes.hpp"

#include <cmath>

namespace zk {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kDegPerRad = 180.0 / kPi;

}  // namespace

double wrap_degrees(double a, double period) {
  double r = std::fmod(a, period);
  if (r < 0.0) r += period;
  if (r >= period) r -= period;  // -1e-18 + period rounds to period
  return r;
}

Attitude attitude_of(const AxisVector& v) {
  double x = v[0], y = v[1], z = v[2];
  if (z > 0.0) {
    x = -x;
    y = -y;
    z = -z;
  }
  const double h = std::hypot(x, y);
  Attitude a;
  a.plunge = std::atan2(-z, h) * kDegPerRad;
  a.trend = h > 0.0 ? wrap_degrees(std::atan2(x, y) * kDegPerRad, 360.0) : 0.0;
  return a;
}

AxisVector axis_of(double trend, double plunge) {
  const double t = trend / kDegPerRad, p = plunge / kDegPerRad;
  return {std::cos(p) * std::sin(t), std::cos(p) * std::cos(t), -std::sin(p)};
}

}  // namespace zk
