#include "data/nodal_planes.hpp"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "data/fault_data.hpp"
#include "data/field_faults.hpp"

namespace zk::mech {
namespace {

constexpr double kDegPerRad = 180.0 / std::numbers::pi;

AxisVector scaled(const AxisVector& a, double k) { return {a[0] * k, a[1] * k, a[2] * k}; }
AxisVector unit(const AxisVector& a) { return scaled(a, 1.0 / std::sqrt(dot(a, a))); }

double wrap360(double a) {
  double w = std::fmod(a, 360.0);
  if (w < 0.0) w += 360.0;
  return w >= 360.0 ? 0.0 : w;
}

}  // namespace

double dot(const AxisVector& a, const AxisVector& b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }

double angle_deg(const AxisVector& a, const AxisVector& b) {
  const AxisVector c{a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
  return std::atan2(std::sqrt(dot(c, c)), dot(a, b)) * kDegPerRad;
}

double axial_angle_deg(const AxisVector& a, const AxisVector& b) {
  const double t = angle_deg(a, b);
  return t > 90.0 ? 180.0 - t : t;
}

DoubleCouple vectors_of(const NodalPlane& p) {
  const field::Plane plane = field::plane_from_rhr_strike(p.strike, p.dip);
  return {field::normal_of(plane), field::slip_from_rake(plane, p.rake)};
}

NodalPlane plane_of(DoubleCouple dc) {
  if (dc.normal[2] > 0.0) dc = {scaled(dc.normal, -1.0), scaled(dc.slip, -1.0)};
  const AxisVector n = unit(dc.normal);
  NodalPlane p;
  p.dip = std::acos(std::clamp(-n[2], -1.0, 1.0)) * kDegPerRad;
  // The downward normal leans away from the dip direction.
  const double h = std::hypot(n[0], n[1]);
  const double dip_direction = h > 1e-12 ? std::atan2(-n[0], -n[1]) * kDegPerRad : 90.0;
  p.strike = wrap360(dip_direction - 90.0);
  const field::Plane plane{wrap360(dip_direction), p.dip};
  const AxisVector along = field::strike_of(plane), down = field::down_dip_of(plane);
  p.rake = std::atan2(-dot(dc.slip, down), dot(dc.slip, along)) * kDegPerRad;
  if (p.rake <= -180.0) p.rake += 360.0;
  return p;
}

DoubleCouple auxiliary(const DoubleCouple& dc) {
  if (dc.slip[2] > 0.0) return {scaled(dc.slip, -1.0), scaled(dc.normal, -1.0)};
  return {dc.slip, dc.normal};
}

NodalPlane auxiliary(const NodalPlane& p) { return plane_of(auxiliary(vectors_of(p))); }

double fault_gap_deg(const DoubleCouple& a, const DoubleCouple& b) {
  const double same = std::max(angle_deg(a.normal, b.normal), angle_deg(a.slip, b.slip));
  const double turned = std::max(angle_deg(a.normal, scaled(b.normal, -1.0)), angle_deg(a.slip, scaled(b.slip, -1.0)));
  return std::min(same, turned);
}

PTAxes pt_axes(const DoubleCouple& dc) {
  const AxisVector p{dc.slip[0] + dc.normal[0], dc.slip[1] + dc.normal[1], dc.slip[2] + dc.normal[2]};
  const AxisVector t{dc.slip[0] - dc.normal[0], dc.slip[1] - dc.normal[1], dc.slip[2] - dc.normal[2]};
  return {unit(p), unit(t)};
}

namespace {

AxisVector as_double(const Vec3& v) {
  return {static_cast<double>(v(1)), static_cast<double>(v(2)), static_cast<double>(v(3))};
}

field::Encoded encode(const NodalPlane& p, int number, const std::string& label) {
  const field::Plane plane = field::plane_from_rhr_strike(p.strike, p.dip);
  const field::V3 slip = field::slip_from_rake(plane, p.rake);
  return field::encode(plane, slip, field::dominant_sense(plane, slip), number, label);
}

}  // namespace

Event make_event(int number, int line, const std::string& label, const NodalPlane& given, int known) {
  Event e;
  e.number = number;
  e.line = line;
  e.label = label;
  e.known = known;
  e.exact[0] = vectors_of(given);
  e.exact[1] = auxiliary(e.exact[0]);
  e.planes = {plane_of(e.exact[0]), plane_of(e.exact[1])};
  e.planes[0] = given;
  for (std::size_t k = 0; k < 2; ++k) {
    e.encoded[k] = encode(e.planes[k], number, label);
    Vec3 FN, STR;
    convert_datum(e.encoded[k].record, FN, STR);
    e.read[k] = {as_double(FN), as_double(STR)};
  }
  e.pt = pt_axes(e.exact[0]);
  return e;
}

}  // namespace zk::mech
