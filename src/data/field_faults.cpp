#include "data/field_faults.hpp"

#include <algorithm>
#include <cmath>
#include <memory>
#include <numbers>
#include <sstream>

#include "areas/workspace.hpp"
#include "runtime/errors.hpp"

namespace zk::field {
namespace {

constexpr double kRadPerDeg = std::numbers::pi / 180.0;
constexpr double kTiny = 1e-9;  // a vector part this small is zero
// Two records whose slips differ by less than this reproduce it equally.
constexpr double kSameSlip = 1e-4;
// The azimuth form replaces the pitch form only when better by this much.
constexpr double kAzimuthGain = 0.01;

double dot(const V3& a, const V3& b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }
V3 scaled(const V3& a, double k) { return {a[0] * k, a[1] * k, a[2] * k}; }
V3 plus(const V3& a, const V3& b) { return {a[0] + b[0], a[1] + b[1], a[2] + b[2]}; }
V3 unit(const V3& a) { return scaled(a, 1.0 / std::sqrt(dot(a, a))); }
V3 horizontal(double azimuth) { return {std::sin(azimuth * kRadPerDeg), std::cos(azimuth * kRadPerDeg), 0.0}; }

double wrap360(double a) {
  const double w = std::fmod(a, 360.0);
  return w < 0.0 ? w + 360.0 : w;
}
// Angle between two azimuths, 0 to 180.
double azimuth_gap(double a, double b) {
  const double d = wrap360(a - b);
  return d > 180.0 ? 360.0 - d : d;
}
std::optional<double> letter_azimuth(char c) {
  switch (c) {
    case 'N': return 0.0;
    case 'E': return 90.0;
    case 'S': return 180.0;
    case 'W': return 270.0;
    default: return std::nullopt;
  }
}
// The letter N, E, S or W nearest an azimuth (in that order on a tie).
char nearest_letter(double azimuth) {
  char best = 'N';
  for (char c : {'E', 'S', 'W'}) {
    if (azimuth_gap(azimuth, *letter_azimuth(c)) < azimuth_gap(azimuth, *letter_azimuth(best))) best = c;
  }
  return best;
}

V3 as_double(const Vec3& v) {
  return {static_cast<double>(v(1)), static_cast<double>(v(2)), static_cast<double>(v(3))};
}

struct Candidate {
  FaultRecord record;
  Deviation dev;
  bool preferred = false;
};

// True when `c` reproduces the slip better than `best` (or as well, with the
// preferred sense letter).
bool better(const Candidate& c, const std::optional<Candidate>& best) {
  if (!best) return true;
  if (c.dev.slip < best->dev.slip - kSameSlip) return true;
  if (c.dev.slip > best->dev.slip + kSameSlip) return false;
  return c.preferred && !best->preferred;
}

}  // namespace

char sense_letter(Sense s) {
  switch (s) {
    case Sense::Normal: return 'N';
    case Sense::Reverse: return 'I';
    case Sense::Dextral: return 'D';
    case Sense::Sinistral: return 'S';
  }
  return 'N';
}

Plane plane_from_rhr_strike(double strike, double dip) { return {wrap360(strike + 90.0), dip}; }

std::optional<Plane> plane_from_quadrant(double strike, double dip, char quadrant) {
  const auto side = letter_azimuth(quadrant);
  if (!side) return std::nullopt;
  for (double dd : {strike + 90.0, strike - 90.0}) {
    if (azimuth_gap(dd, *side) < 90.0 - kTiny) return Plane{wrap360(dd), dip};
  }
  return std::nullopt;
}

V3 normal_of(const Plane& p) {
  // the upward normal leans toward the dip direction
  const V3 h = horizontal(p.dip_direction);
  const double s = std::sin(p.dip * kRadPerDeg);
  return {-s * h[0], -s * h[1], -std::cos(p.dip * kRadPerDeg)};
}

V3 strike_of(const Plane& p) { return horizontal(p.dip_direction - 90.0); }

V3 down_dip_of(const Plane& p) { return line_of(p.dip_direction, p.dip); }

Plane plane_of_normal(const V3& n) {
  const V3 down = n[2] > 0.0 ? scaled(n, -1.0) : n;
  // the downward normal leans away from the dip direction
  const double h = std::hypot(down[0], down[1]);
  const double dip = std::atan2(h, -down[2]) / kRadPerDeg;
  return {h < kTiny ? 0.0 : wrap360(std::atan2(-down[0], -down[1]) / kRadPerDeg), dip};
}

double rake_of(const Plane& p, const V3& slip) {
  const double r = std::atan2(-dot(slip, down_dip_of(p)), dot(slip, strike_of(p))) / kRadPerDeg;
  return r <= -180.0 ? 180.0 : r;
}

Direction direction_of(const V3& v) {
  const double h = std::hypot(v[0], v[1]);
  return {h < kTiny ? 0.0 : wrap360(std::atan2(v[0], v[1]) / kRadPerDeg), std::atan2(-v[2], h) / kRadPerDeg};
}

V3 line_of(double trend, double plunge) {
  const double c = std::cos(plunge * kRadPerDeg);
  const V3 h = horizontal(trend);
  return {c * h[0], c * h[1], -std::sin(plunge * kRadPerDeg)};
}

double trend_of(const V3& v) {
  const V3 d = v[2] > 0.0 ? scaled(v, -1.0) : v;
  return wrap360(std::atan2(d[0], d[1]) / kRadPerDeg);
}

double plunge_of(const V3& v) {
  const double h = std::hypot(v[0], v[1]);
  return std::atan2(std::fabs(v[2]), h) / kRadPerDeg;
}

double angle_deg(const V3& a, const V3& b) {
  const V3 c{a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
  return std::atan2(std::sqrt(dot(c, c)), dot(a, b)) / kRadPerDeg;
}

V3 slip_from_rake(const Plane& p, double rake) {
  const double r = rake * kRadPerDeg;
  return plus(scaled(strike_of(p), std::cos(r)), scaled(down_dip_of(p), -std::sin(r)));
}

std::optional<V3> pitch_line(const Plane& p, double pitch, char end) {
  const auto side = letter_azimuth(end);
  if (!side) return std::nullopt;
  const V3 down = down_dip_of(p);
  if (pitch >= 90.0) return down;
  for (double az : {p.dip_direction - 90.0, p.dip_direction + 90.0}) {
    if (azimuth_gap(az, *side) < 90.0 - kTiny) {
      return plus(scaled(horizontal(az), std::cos(pitch * kRadPerDeg)), scaled(down, std::sin(pitch * kRadPerDeg)));
    }
  }
  return std::nullopt;
}

std::optional<Projection> project(const Plane& p, const V3& line) {
  const V3 n = normal_of(p);
  const V3 l = unit(line);
  const double d = dot(l, n);
  const V3 in_plane = plus(l, scaled(n, -d));
  if (std::sqrt(dot(in_plane, in_plane)) < kTiny) return std::nullopt;
  V3 u = unit(in_plane);
  if (u[2] > 0.0) u = scaled(u, -1.0);
  return Projection{u, std::asin(std::min(1.0, std::fabs(d))) / kRadPerDeg};
}

std::optional<V3> orient(const Plane& p, const V3& line, Sense s) {
  // the hanging wall moving along the right-hand-rule strike is sinistral
  const bool dip_slip = s == Sense::Normal || s == Sense::Reverse;
  const double part = dip_slip ? -line[2] : dot(line, strike_of(p));
  if (std::fabs(part) < kTiny) return std::nullopt;
  const bool along = s == Sense::Normal || s == Sense::Sinistral;
  return (part > 0.0) == along ? line : scaled(line, -1.0);
}

bool sense_ambiguous(const V3& line, Sense s) {
  const double plunge = plunge_of(line);
  return (s == Sense::Normal || s == Sense::Reverse) ? plunge < 15.0 : plunge > 75.0;
}

Sense dominant_sense(const Plane& p, const V3& slip) {
  const double along = std::fabs(dot(slip, strike_of(p)));
  if (along <= std::cos(45.0 * kRadPerDeg)) return slip[2] <= 0.0 ? Sense::Normal : Sense::Reverse;
  return dot(slip, strike_of(p)) > 0.0 ? Sense::Sinistral : Sense::Dextral;
}

Deviation deviation(const V3& normal, const V3& slip, const Vec3& FN, const Vec3& STR) {
  V3 fn = as_double(FN);
  V3 st = as_double(STR);
  if (dot(fn, normal) < 0.0) {
    fn = scaled(fn, -1.0);
    st = scaled(st, -1.0);
  }
  return {angle_deg(normal, fn), angle_deg(slip, st)};
}

Encoded encode(const Plane& p, const V3& slip, Sense preferred, int number, std::string_view label) {
  FaultRecord base;
  const int dd = static_cast<int>(std::lround(wrap360(p.dip_direction))) % 360;
  base.DIR = (dd + 270) % 360;
  base.PEND = static_cast<int>(std::lround(std::clamp(p.dip, 0.0, 90.0)));
  base.QPEND = nearest_letter(dd);
  base.NUM = number;
  for (std::size_t k = 0; k < 3; ++k) base.LABEL[k] = k < label.size() ? label[k] : ' ';
  const V3 n = normal_of(p);
  const Sense senses[] = {Sense::Normal, Sense::Reverse, Sense::Dextral, Sense::Sinistral};

  auto consider = [&](FaultRecord r, std::optional<Candidate>& best) {
    for (Sense s : senses) {
      r.SENS = sense_letter(s);
      Vec3 FN, STR;
      convert_datum(r, FN, STR);
      const Candidate c{r, deviation(n, slip, FN, STR), s == preferred};
      if (better(c, best)) best = c;
    }
  };

  // Pitch form: from either end of the strike line, the whole degrees around
  // the pitch of the slip.
  std::optional<Candidate> pitch_best;
  const double pitch = std::acos(std::min(1.0, std::fabs(dot(slip, strike_of(p))))) / kRadPerDeg;
  const int d = base.DIR % 180;
  for (int end : {d, d + 180}) {
    for (long k = std::lround(pitch) - 1; k <= std::lround(pitch) + 1; ++k) {
      if (k < 0 || k > 90) continue;
      FaultRecord r = base;
      r.PITCH = static_cast<int>(k);
      r.QPITCH = nearest_letter(end);
      consider(r, pitch_best);
    }
  }
  // Azimuth form: the whole degrees around the trend of the slip line.
  std::optional<Candidate> azimuth_best;
  if (base.PEND != 90) {
    const long t = std::lround(trend_of(slip));
    for (long k = t - 1; k <= t + 1; ++k) {
      FaultRecord r = base;
      r.AZSTR = static_cast<int>(((k % 360) + 360) % 360);
      if (r.AZSTR == 0) r.AZSTR = 360;
      consider(r, azimuth_best);
    }
  }
  const bool azimuth = azimuth_best && azimuth_best->dev.slip < pitch_best->dev.slip - kAzimuthGain;
  const Candidate& c = azimuth ? *azimuth_best : *pitch_best;
  return Encoded{c.record, azimuth, c.dev};
}

std::string data_line(const FaultRecord& r, bool azimuth_form) {
  std::string line(76, ' ');
  auto put = [&](int last_column, int width, int value) {
    const std::string v = std::to_string(value);
    const std::size_t at = static_cast<std::size_t>(last_column) - v.size();
    if (static_cast<int>(v.size()) <= width) line.replace(at, v.size(), v);
  };
  put(5, 3, r.DIR);
  put(11, 2, r.PEND);
  line[16] = r.QPEND;
  if (azimuth_form) {
    put(31, 3, r.AZSTR);
  } else {
    put(22, 2, r.PITCH);
    line[25] = r.QPITCH;
  }
  line[34] = r.SENS;
  put(72, 3, r.NUM);
  line.replace(73, 3, std::string(r.LABEL, 3));
  line.erase(line.find_last_not_of(' ') + 1);
  return line;
}

FaultSet read_data_file(const std::string& path) {
  std::istringstream no_console;
  std::ostringstream console;
  auto ws = std::make_unique<Workspace>(no_console, console);
  std::string why;
  if (!ws->units.open(4, path, "old", &why)) {
    throw rt::InputError(path, 0, "DATA file \"" + path + "\" cannot be read back (" + why + ")");
  }
  ws->eeetc.ISEL = 1;
  FaultSet set = GEOLOG(*ws);
  ws->units.close(4);
  return set;
}

}  // namespace zk::field
