#include "figures/figure_svg.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "figures/figure_ensemble.hpp"
#include "figures/figure_phases.hpp"
#include "figures/figure_mechanisms.hpp"
#include "report/report.hpp"
#include "runtime/fixed.hpp"

namespace zk::batch {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kRad = kPi / 180.0;

constexpr int kWidth = 1500;
constexpr int kHeight = 810;
constexpr double kHeadingY = 118.0;
// Where the phases panel starts when it leads the figure, and the room
// between it and the all-data part under it.
constexpr double kPhasesTop = 44.0;
constexpr double kPhasesGap = 20.0;

// The three principal axes: name, fill, points of the star.
struct AxisStyle {
  const char* id;
  const char* label;
  const char* fill;
  int points;
};
constexpr AxisStyle kAxes[3] = {{"sigma1", "\xcf\x83" "1", "#0b3d91", 5},
                                {"sigma2", "\xcf\x83" "2", "#7b1fa2", 4},
                                {"sigma3", "\xcf\x83" "3", "#000000", 3}};
constexpr const char* kDegree = "\xc2\xb0";

std::string num(double v) {
  if (!std::isfinite(v)) v = 0.0;
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.2f", v);
  std::string s = buf;
  if (s == "-0.00") s = "0.00";
  return s;
}

std::string num3(double v) {
  if (!std::isfinite(v)) v = 0.0;
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.3f", v);
  return buf;
}

// As rt::fixed, with "NaN" for a value that is not finite and no sign on a
// value that rounds to zero.
std::string fixed(double v, int decimals) {
  if (!std::isfinite(v)) return "NaN";
  std::string s = rt::fixed(v, decimals);
  if (s.size() > 1 && s[0] == '-' && s.find_first_not_of("-0.") == std::string::npos) s.erase(0, 1);
  return s;
}

std::string pt(Point p) { return num(p.x) + "," + num(p.y); }

double d(float v) { return static_cast<double>(v); }

bool finite_vec(const Vec3& v) { return std::isfinite(v(1)) && std::isfinite(v(2)) && std::isfinite(v(3)); }

Point along(Point p, double ux, double uy, double t) { return Point{p.x + t * ux, p.y + t * uy}; }

std::string star(Point c, int points, double outer, double inner) {
  std::string s;
  for (int k = 0; k < 2 * points; ++k) {
    const double rr = k % 2 == 0 ? outer : inner;
    const double a = kPi * k / points;  // first point straight up
    if (k > 0) s += ' ';
    s += pt(Point{c.x + rr * std::sin(a), c.y - rr * std::cos(a)});
  }
  return s;
}

// Axis marker: a star of `points` points, its group carrying the exact
// document position; the main symbol carries the axis's id.
void axis_marker(std::ostringstream& o, const AxisStyle& st, Point p, double plunge, double direction, double value,
                 bool main) {
  o << "<g";
  if (main) o << " id=\"" << st.id << "\"";
  o << " class=\"" << (main ? "axis" : "axis other-end") << "\" data-x=\"" << num3(p.x) << "\" data-y=\""
    << num3(p.y) << "\" data-plunge=\"" << fixed(plunge, 4) << "\" data-direction=\"" << fixed(direction, 4)
    << "\">";
  o << "<title>" << st.label << " = " << fixed(value, 5) << ": direction " << fixed(direction, 1) << ", plunge "
    << fixed(plunge, 1) << (main ? "" : " (other end of the line)") << "</title>";
  const double inner = st.points == 5 ? 5.0 : 4.5;
  o << "<polygon points=\"" << star(p, st.points, 12.0, inner) << "\" fill=\"" << st.fill
    << "\" stroke=\"#ffffff\" stroke-width=\"1.5\" stroke-linejoin=\"round\"/>";
  o << "</g>\n";
}

}  // namespace

std::string great_circle(const NetFrame& f, double nx, double ny, double nz) {
  const double h = std::hypot(nx, ny);
  double ux = 1.0, uy = 0.0;  // strike (horizontal plane: any horizontal line)
  if (h > 1e-9) {
    ux = -ny / h;
    uy = nx / h;
  }
  // w = n x u, in the plane, turned downward.
  double wx = -nz * uy;
  double wy = nz * ux;
  double wz = nx * uy - ny * ux;
  if (wz > 0.0) {
    wx = -wx;
    wy = -wy;
    wz = -wz;
  }
  std::string path;
  for (int k = 0; k <= 90; ++k) {
    const double a = kPi * k / 90.0;
    const Point p = net_point(f, std::cos(a) * ux + std::sin(a) * wx, std::cos(a) * uy + std::sin(a) * wy,
                              std::sin(a) * wz);
    path += k == 0 ? "M" : " L";
    path += pt(p);
  }
  return path;
}

namespace {

// Distance from p (inside the net) along the unit (ux, uy) to the primitive.
double room_to_primitive(const NetFrame& f, Point p, double ux, double uy) {
  const double px = p.x - f.cx, py = p.y - f.cy;
  const double b = px * ux + py * uy;
  const double c = px * px + py * py - f.radius * f.radius;
  return std::max(0.0, -b + std::sqrt(std::max(0.0, b * b - c)));
}

// A steep plane (dip at least 60 degrees) whose striation pitches less than
// 45 degrees: mainly strike-slip, drawn as a couple.
bool strike_slip_on_steep_plane(const Datum& dt) {
  const double fh = std::hypot(d(dt.FN(1)), d(dt.FN(2)));  // sine of the dip
  return std::fabs(d(dt.FN(3))) <= 0.5 && std::fabs(d(dt.STR(3))) < fh * std::sqrt(0.5);
}

// The hanging wall's horizontal motion from the striation point p, along the
// document unit (ux, uy): outward for a normal fault, inward for a reverse
// one; shortened at the primitive, and moved back from it when even the
// shortest arrow does not fit, so it never leaves the net.
// Marks on the net keep this far (document units) inside the primitive, so
// that not even their anti-aliased edge crosses it.
constexpr double kInside = 2.5;

void slip_arrow(std::ostringstream& o, const NetFrame& f, Point p, double ux, double uy, const std::string& colour) {
  constexpr double kLength = 18.0, kShortest = 9.0, kHead = 7.0;
  const double room = room_to_primitive(f, p, ux, uy) - kInside;
  const double len = std::clamp(room, kShortest, kLength);
  const Point tip = along(p, ux, uy, std::min(room, len));
  const Point tail = along(tip, ux, uy, -len);
  const Point base = along(tip, ux, uy, -kHead);
  o << "<line class=\"slip\" x1=\"" << num(tail.x) << "\" y1=\"" << num(tail.y) << "\" x2=\"" << num(base.x)
    << "\" y2=\"" << num(base.y) << "\" stroke=\"" << colour << "\" stroke-width=\"2\"/>";
  o << "<polygon points=\"" << pt(tip) << " " << pt(Point{base.x - 4.0 * uy, base.y + 4.0 * ux}) << " "
    << pt(Point{base.x + 4.0 * uy, base.y - 4.0 * ux}) << "\" fill=\"" << colour << "\"/>";
}

// Strike-slip as a couple: two half-arrows either side of the plane, the one
// on the hanging wall's side along its slip (ux, uy), the other opposite, so
// the sense (dextral, sinistral) reads at a glance. (sx, sy) is the document
// unit toward the hanging wall's side. Centred on p, moved inward when it
// would cross the primitive.
void slip_couple(std::ostringstream& o, const NetFrame& f, Point p, double ux, double uy, double sx, double sy,
                 const std::string& colour, bool dextral) {
  constexpr double kHalf = 9.0, kOffset = 3.5, kBarb = 6.0;
  // Every point of the couple lies within this of its centre (half-arrows
  // and barbs, plus half the stroke).
  const double reach = std::hypot(kHalf, kOffset + 4.0) + 1.0;
  Point c = p;
  const double r = std::hypot(c.x - f.cx, c.y - f.cy);
  const double limit = f.radius - reach - kInside;
  if (r > limit) c = Point{f.cx + (c.x - f.cx) * limit / r, f.cy + (c.y - f.cy) * limit / r};
  o << "<g class=\"couple\" data-sense=\"" << (dextral ? "dextral" : "sinistral") << "\" fill=\"none\" stroke=\""
    << colour << "\" stroke-width=\"1.8\" stroke-linejoin=\"round\">";
  for (int side : {1, -1}) {
    // side 1: the hanging wall, moving along (ux, uy); side -1: the footwall.
    const double ox = side * kOffset * sx, oy = side * kOffset * sy;
    const double vx = side * ux, vy = side * uy;
    const Point tail{c.x + ox - kHalf * vx, c.y + oy - kHalf * vy};
    const Point tip{c.x + ox + kHalf * vx, c.y + oy + kHalf * vy};
    const Point barb{tip.x - kBarb * vx + side * 4.0 * sx, tip.y - kBarb * vy + side * 4.0 * sy};
    o << "<path d=\"M" << pt(tail) << " L" << pt(tip) << " L" << pt(barb) << "\"/>";
  }
  o << "</g>";
}

// Whether the strike-slip data are drawn as couples: forced by --couples;
// otherwise only with at most kMostCouples data and no two couples closer
// than a couple's length, where they would merge into one mass.
bool couples_drawn(const RunReport& r, const NetFrame& f, const FigureOptions& opt) {
  if (opt.couples) return true;
  if (r.data.size() > kMostCouples) return false;
  std::vector<Point> at;
  for (const Datum& dt : r.data) {
    if (!finite_vec(dt.FN) || !finite_vec(dt.STR) || !strike_slip_on_steep_plane(dt)) continue;
    const Point p = net_point(f, d(dt.STR(1)), d(dt.STR(2)), d(dt.STR(3)));
    for (const Point& q : at) {
      if (std::hypot(p.x - q.x, p.y - q.y) < 20.0) return false;
    }
    at.push_back(p);
  }
  return true;
}

void faults(std::ostringstream& o, const RunReport& r, const NetFrame& f, const FigureOptions& opt) {
  const bool couples = couples_drawn(r, f, opt);
  o << "<g id=\"faults\" fill=\"none\" data-couples=\"" << (couples ? "yes" : "no") << "\">\n";
  for (const Datum& dt : r.data) {
    if (!finite_vec(dt.FN) || !finite_vec(dt.STR)) continue;
    const double deg = d(misfit_degrees(dt));
    const std::string colour = misfit_colour(deg);
    o << "<g class=\"fault\" data-num=\"" << dt.NUM << "\"><title>datum " << dt.NUM << ": misfit " << fixed(deg, 1)
      << " degrees" << (r.among_best(dt) ? " (among the best)" : "") << "</title>";
    if (opt.planes) o << "<path d=\"" << great_circle(f, d(dt.FN(1)), d(dt.FN(2)), d(dt.FN(3))) << "\" stroke=\"#9a9a9a\" stroke-width=\"0.7\"/>";
    const double sx = d(dt.STR(1)), sy = d(dt.STR(2)), sz = d(dt.STR(3));
    const Point p = net_point(f, sx, sy, sz);
    const double h = std::hypot(sx, sy);
    if (h > 1e-6) {
      const double ux = sx / h, uy = -sy / h;  // document axes: x east, y south
      const double fx = d(dt.FN(1)), fy = d(dt.FN(2));
      const double fh = std::hypot(fx, fy);
      if (couples && strike_slip_on_steep_plane(dt) && fh > 1e-6) {
        // The hanging wall lies on the side the normal (pointing into the
        // footwall) points away from.
        const double hx = -fx / fh, hy = fy / fh;
        // Dextral: the far block moves to the right, i.e. the hanging wall's
        // slip turns clockwise (in map view) into the direction of its side.
        const bool dextral = (ux * hy - uy * hx) < 0.0;
        slip_couple(o, f, p, ux, uy, hx, hy, colour, dextral);
      } else {
        slip_arrow(o, f, p, ux, uy, colour);
      }
    }
    o << "<circle cx=\"" << num(p.x) << "\" cy=\"" << num(p.y) << "\" r=\"2.5\" fill=\"" << colour << "\"/>";
    if (opt.labels && !r.among_best(dt)) {
      o << "<text class=\"num\" x=\"" << num(p.x + 5.0) << "\" y=\"" << num(p.y - 5.0) << "\">" << dt.NUM
        << "</text>";
    }
    o << "</g>\n";
  }
  o << "</g>\n";
}

// The SHmax drawn as arrows: defined and not flagged.
bool shmax_drawn(const StressState& s) { return s.shmax.has_value() && !s.shmax_poorly_defined; }

// Two large arrows outside the primitive, pointing inward along SHmax; an
// arrow whose path passes an axis symbol at the primitive stops short of it.
void shmax_arrows(std::ostringstream& o, const NetFrame& f, double azimuth, const std::vector<Point>& markers) {
  constexpr double kHalfWidth = 11.0, kStar = 12.0, kGap = 2.0;
  o << "<g id=\"shmax\" data-azimuth=\"" << fixed(azimuth, 4) << "\" fill=\"#303030\"><title>SHmax " << fixed(azimuth, 1)
    << kDegree << " (Lund &amp; Townend)</title>";
  for (double a : {azimuth, azimuth + 180.0}) {
    const double dx = std::sin(a * kRad), dy = -std::cos(a * kRad);  // outward
    const double nx = -dy, ny = dx;
    const Point c{f.cx, f.cy};
    double reach = f.radius + 6.0;
    for (const Point& m : markers) {
      const double ahead = (m.x - c.x) * dx + (m.y - c.y) * dy;
      const double aside = std::fabs((m.x - c.x) * nx + (m.y - c.y) * ny);
      if (ahead > 0.0 && aside < kHalfWidth + kStar + kGap) reach = std::max(reach, ahead + kStar + kGap);
    }
    const Point tip = along(c, dx, dy, reach);
    const Point base = along(c, dx, dy, reach + 20.0);
    const Point tail = along(c, dx, dy, std::max(f.radius + 60.0, reach + 40.0));
    o << "<polygon class=\"shmax-arrow\" data-tip-x=\"" << num3(tip.x) << "\" data-tip-y=\"" << num3(tip.y)
      << "\" points=\"" << pt(tip) << " " << pt(along(base, nx, ny, 11.0)) << " " << pt(along(base, nx, ny, 4.0))
      << " " << pt(along(tail, nx, ny, 4.0)) << " " << pt(along(tail, nx, ny, -4.0)) << " "
      << pt(along(base, nx, ny, -4.0)) << " " << pt(along(base, nx, ny, -11.0)) << "\"/>";
  }
  o << "</g>\n";
}

// The heading of the all-data net: with two phases or more it is the
// compromise of those phases, and says so.
std::string net_heading(const RunReport& r) {
  if (r.separation && r.separation->k >= 2) {
    return "All data: a compromise of " + std::to_string(r.separation->k) + " phases";
  }
  return "Schmidt net, lower hemisphere";
}

void net_frame(std::ostringstream& o, const RunReport& r, const NetFrame& f) {
  o << "<text x=\"" << num(f.cx) << "\" y=\"" << num(f.cy - (NetFrame{}.cy - kHeadingY))
    << "\" class=\"heading\">" << net_heading(r) << "</text>\n";
  o << "<circle cx=\"" << num(f.cx) << "\" cy=\"" << num(f.cy) << "\" r=\"" << num(f.radius)
    << "\" fill=\"#ffffff\" stroke=\"#000000\" stroke-width=\"1.5\"/>\n";
  // Ticks every 10 degrees, longer at the cardinal points.
  o << "<g stroke=\"#000000\" stroke-width=\"1\">";
  for (int a = 0; a < 360; a += 10) {
    const double len = a % 90 == 0 ? 12.0 : 6.0;
    const double s = std::sin(a * kRad), c = std::cos(a * kRad);
    o << "<line x1=\"" << num(f.cx + f.radius * s) << "\" y1=\"" << num(f.cy - f.radius * c) << "\" x2=\""
      << num(f.cx + (f.radius + len) * s) << "\" y2=\"" << num(f.cy - (f.radius + len) * c) << "\"/>";
  }
  o << "</g>\n";
  // Cardinal letters, turned aside where an SHmax arrow passes.
  static const char* const kCardinal[4] = {"N", "E", "S", "W"};
  for (int k = 0; k < 4; ++k) {
    double a = k * 90.0;
    if (shmax_drawn(r.state)) {
      for (double b : {*r.state.shmax, *r.state.shmax + 180.0}) {
        const double g = std::remainder(a - b, 360.0);
        if (std::fabs(g) < 12.0) a = b + (g < 0.0 ? -12.0 : 12.0);
      }
    }
    const double s = std::sin(a * kRad), c = std::cos(a * kRad);
    o << "<text x=\"" << num(f.cx + (f.radius + 26.0) * s) << "\" y=\"" << num(f.cy - (f.radius + 26.0) * c + 5.0)
      << "\" class=\"cardinal\">" << kCardinal[k] << "</text>";
  }
  o << "\n<path d=\"M" << num(f.cx - 5.0) << "," << num(f.cy) << " h10 M" << num(f.cx) << "," << num(f.cy - 5.0)
    << " v10\" stroke=\"#000000\" stroke-width=\"1\"/>\n";
}

void net_panel(std::ostringstream& o, const RunReport& r, const NetFrame& f, const FigureOptions& opt) {
  const TensorSnapshot& t = r.run.final_tensor();
  o << "<g id=\"stereonet\" data-cx=\"" << num3(f.cx) << "\" data-cy=\"" << num3(f.cy) << "\" data-radius=\""
    << num3(f.radius) << "\">\n";
  net_frame(o, r, f);
  mechanisms_net_layer(o, r, f, opt.planes);
  faults(o, r, f, opt);

  // Axes of the nearest tensor of each datum (stage 4): open rings, dashed
  // where the ring is an upper-hemisphere point.
  o << "<g id=\"nearest\" fill=\"none\" stroke-width=\"0.9\" stroke-opacity=\"0.7\">\n";
  for (const Datum& dt : r.data) {
    for (int K = 1; K <= 3; ++K) {
      const double pl = d(dt.nearest.PENS(K)), dir = d(dt.nearest.DIRES(K));
      if (!r.run.has_stage4 || !std::isfinite(pl) || !std::isfinite(dir)) continue;
      const AxisDot a = axis_dot(f, d(t.PEN(K)), d(t.DIRE(K)), pl, dir);
      o << "<circle class=\"nearest" << (a.upper ? " upper" : "") << "\" cx=\"" << num(a.p.x) << "\" cy=\""
        << num(a.p.y) << "\" r=\"2.6\" stroke=\"" << kAxes[K - 1].fill << "\""
        << (a.upper ? " stroke-dasharray=\"1.6,1.2\"" : "") << "><title>datum " << dt.NUM << ", nearest "
        << kAxes[K - 1].label << ": direction " << fixed(dir, 1) << ", plunge " << fixed(pl, 1)
        << (a.upper ? " (upper hemisphere)" : "") << "</title></circle>";
    }
  }
  o << "\n</g>\n";

  ensemble_net_layer(o, r, f);

  // The final axes, on top; a nearly horizontal one at both ends of its line.
  std::vector<Point> markers;
  for (int L = 1; L <= 3; ++L) {
    const double pl = d(t.PEN(L)), dir = d(t.DIRE(L));
    const Point p = net_point_of(f, pl, dir);
    axis_marker(o, kAxes[L - 1], p, pl, dir, d(t.VP(L)), true);
    markers.push_back(p);
    if (std::fabs(pl) <= kHorizontalAxis) {
      markers.push_back(Point{2.0 * f.cx - p.x, 2.0 * f.cy - p.y});
      axis_marker(o, kAxes[L - 1], markers.back(), pl, dir, d(t.VP(L)), false);
    }
  }
  if (shmax_drawn(r.state)) shmax_arrows(o, f, *r.state.shmax, markers);
  o << "</g>\n";
}

void mohr_panel(std::ostringstream& o, const RunReport& r, const FigureOptions& opt, double dy) {
  const TensorSnapshot& t = r.run.final_tensor();
  const double s1 = d(t.VP(1)), s2 = d(t.VP(2)), s3 = d(t.VP(3));
  const double x0 = 600.0, width = 400.0, base = 540.0 + dy;
  o << "<g id=\"mohr\">\n";
  o << "<text x=\"" << num(x0 + width / 2.0) << "\" y=\"" << num(kHeadingY + dy) << "\" class=\"heading\">Mohr diagram</text>\n";
  if (!(std::isfinite(s1) && std::isfinite(s2) && std::isfinite(s3) && s1 > s3)) {
    o << "<text x=\"" << num(x0 + width / 2.0) << "\" y=\"" << num(base - 100.0)
      << "\" class=\"note\">no diagram: the principal values are not ordered</text>\n</g>\n";
    return;
  }
  const double scale = width / (s1 - s3);
  auto X = [&](double sn) { return x0 + (sn - s3) * scale; };
  auto Y = [&](double tau) { return base - tau * scale; };
  const double top = Y(0.5 * (s1 - s3));
  // Axes: normal stress along the base, shear stress up from sigma 3.
  o << "<g stroke=\"#000000\" stroke-width=\"1\">";
  o << "<line x1=\"" << num(x0 - 15.0) << "\" y1=\"" << num(base) << "\" x2=\"" << num(x0 + width + 20.0)
    << "\" y2=\"" << num(base) << "\"/>";
  o << "<line x1=\"" << num(x0) << "\" y1=\"" << num(base + 5.0) << "\" x2=\"" << num(x0) << "\" y2=\""
    << num(top - 25.0) << "\"/>";
  o << "</g>\n";
  o << "<text x=\"" << num(x0 + width + 22.0) << "\" y=\"" << num(base + 4.0) << "\" class=\"label\">"
    << "\xcf\x83n</text>";
  o << "<text x=\"" << num(x0 - 4.0) << "\" y=\"" << num(top - 30.0) << "\" class=\"label\">\xcf\x84</text>\n";
  // Shear stress ticks: the scale is the same in both units (sigma 1 - sigma 3 = 1).
  for (double tau : {0.25, 0.5}) {
    const double y = Y(tau * (s1 - s3));
    o << "<line x1=\"" << num(x0 - 5.0) << "\" y1=\"" << num(y) << "\" x2=\"" << num(x0) << "\" y2=\"" << num(y)
      << "\" stroke=\"#000000\"/><text x=\"" << num(x0 - 8.0) << "\" y=\"" << num(y + 4.0) << "\" class=\"count\">"
      << fixed(tau, 2) << "</text>";
  }
  // Normal stress ticks: the reduced value (trace 0), then the normalised one
  // (sigma 3 = 0, sigma 2 = R, sigma 1 = 1) in brackets.
  const double values[3] = {s1, s2, s3};
  for (int L = 1; L <= 3; ++L) {
    const double v = values[L - 1];
    const double x = X(v);
    const double y = base + 20.0 + (L == 2 ? 28.0 : 0.0);
    o << "<line x1=\"" << num(x) << "\" y1=\"" << num(base) << "\" x2=\"" << num(x) << "\" y2=\"" << num(base + 6.0)
      << "\" stroke=\"#000000\"/>";
    o << "<text x=\"" << num(x) << "\" y=\"" << num(y) << "\" class=\"tick\">" << kAxes[L - 1].label << " "
      << fixed(v, 3) << "</text>";
    o << "<text x=\"" << num(x) << "\" y=\"" << num(y + 13.0) << "\" class=\"tick normalised\">("
      << fixed((v - s3) / (s1 - s3), 2) << ")</text>\n";
  }
  o << "<text x=\"" << num(x0 + width / 2.0) << "\" y=\"" << num(base + 82.0) << "\" class=\"tick\">"
    << "reduced stresses (trace 0); in brackets normalised: \xcf\x83" "3 = 0, \xcf\x83" "1 = 1</text>\n";
  // The three circles (upper halves).
  const double centre[3] = {(s2 + s3) / 2.0, (s1 + s3) / 2.0, (s1 + s2) / 2.0};
  const double radius[3] = {(s2 - s3) / 2.0, (s1 - s3) / 2.0, (s1 - s2) / 2.0};
  for (int c = 0; c < 3; ++c) {
    const double rr = std::fabs(radius[c]) * scale;
    if (!(rr > 0.01)) continue;
    const double cx = X(centre[c]);
    o << "<path class=\"circle\" d=\"M" << num(cx - rr) << "," << num(base) << " A" << num(rr) << "," << num(rr)
      << " 0 0 1 " << num(cx + rr) << "," << num(base) << "\" fill=\"none\" stroke=\"#404040\" stroke-width=\"1.2\"/>\n";
  }
  mechanisms_mohr_layer(o, r, X, Y, s1, s3);
  // The data: the NMIN best filled, the others open.
  for (const Datum& dt : r.data) {
    const double sn = dt.stress.normal, tau = dt.stress.shear;
    if (!std::isfinite(sn) || !std::isfinite(tau)) continue;
    const bool best = r.among_best(dt);
    const double deg = d(misfit_degrees(dt));
    const std::string colour = misfit_colour(deg);
    o << "<circle class=\"" << (best ? "best" : "other") << "\" cx=\"" << num(X(sn)) << "\" cy=\"" << num(Y(tau))
      << "\" r=\"4\"";
    if (best) {
      o << " fill=\"" << colour << "\" stroke=\"#000000\" stroke-width=\"0.8\"";
    } else {
      o << " fill=\"#ffffff\" stroke=\"" << colour << "\" stroke-width=\"1.6\"";
    }
    o << "><title>datum " << dt.NUM << ": normal stress " << fixed(sn, 3) << ", shear stress " << fixed(tau, 3)
      << ", misfit " << fixed(deg, 1) << " degrees" << (best ? " (among the best)" : "") << "</title></circle>";
    if (opt.labels && !best) {
      o << "<text class=\"num\" x=\"" << num(X(sn) + 5.0) << "\" y=\"" << num(Y(tau) - 5.0) << "\">" << dt.NUM
        << "</text>";
    }
    o << "\n";
  }
  o << "</g>\n";
}

void histogram_panel(std::ostringstream& o, const RunReport& r, double dy) {
  const auto counts = misfit_histogram(r);
  const double x0 = 1075.0, bar = 22.0, base = 540.0 + dy, height = 300.0;
  const double right = x0 + bar * kFigureClasses;
  auto X = [&](double degrees) { return x0 + bar * degrees / 10.0; };
  int top = 1;
  for (int c : counts) top = std::max(top, c);
  const double unit = height / top;
  o << "<g id=\"histogram\">\n";
  o << "<text x=\"" << num((x0 + right) / 2.0) << "\" y=\"" << num(kHeadingY + dy) << "\" class=\"heading\">"
    << "Misfit angles (degrees)</text>\n";
  // Beyond 90 degrees the slip is closer to opposite the predicted one.
  o << "<rect id=\"wrong-sense\" x=\"" << num(X(90.0)) << "\" y=\"" << num(base - height) << "\" width=\""
    << num(right - X(90.0)) << "\" height=\"" << num(height) << "\" fill=\"#e4e4e4\"/>";
  o << "<text x=\"" << num((X(90.0) + right) / 2.0) << "\" y=\"" << num(base - height + 14.0)
    << "\" class=\"tick\">sense probably wrong</text>\n";
  for (int k = 0; k < kFigureClasses; ++k) {
    const int n = counts[static_cast<std::size_t>(k)];
    const double h = n * unit;
    o << "<rect class=\"bar\" data-class=\"" << (k + 1) << "\" data-count=\"" << n << "\" x=\""
      << num(X(10.0 * k) + 1.0) << "\" y=\"" << num(base - h) << "\" width=\"" << num(bar - 2.0) << "\" height=\""
      << num(h) << "\" fill=\"" << misfit_colour(10.0 * k + 5.0) << "\" stroke=\"#000000\" stroke-width=\"0.5\"><title>"
      << 10 * k << "-" << 10 * k + 10 << " degrees: " << n << " data</title></rect>\n";
  }
  o << "<line x1=\"" << num(x0) << "\" y1=\"" << num(base) << "\" x2=\"" << num(right) << "\" y2=\"" << num(base)
    << "\" stroke=\"#000000\"/>\n";
  for (int k = 0; k <= kFigureClasses; ++k) {
    const double x = X(10.0 * k);
    o << "<line x1=\"" << num(x) << "\" y1=\"" << num(base) << "\" x2=\"" << num(x) << "\" y2=\""
      << num(base + (k % 3 == 0 ? 6.0 : 3.0)) << "\" stroke=\"#000000\"/>";
    if (k % 3 == 0) o << "<text x=\"" << num(x) << "\" y=\"" << num(base + 18.0) << "\" class=\"tick\">" << 10 * k << "</text>";
  }
  o << "\n<line x1=\"" << num(x0) << "\" y1=\"" << num(base) << "\" x2=\"" << num(x0) << "\" y2=\""
    << num(base - height) << "\" stroke=\"#000000\"/>\n";
  int step = 1;  // 1, 2, 5, 10, 20, 50... with at most 6 steps up to the top
  for (int m = 1; top / step > 6; m *= 10) step = top / m <= 12 ? 2 * m : (top / m <= 30 ? 5 * m : 10 * m);
  for (int v = 0; v <= top; v += step) {
    o << "<line x1=\"" << num(x0 - 4.0) << "\" y1=\"" << num(base - v * unit) << "\" x2=\"" << num(x0) << "\" y2=\""
      << num(base - v * unit) << "\" stroke=\"#000000\"/><text x=\"" << num(x0 - 7.0) << "\" y=\""
      << num(base - v * unit + 4.0) << "\" class=\"count\">" << v << "</text>";
  }
  o << "\n<text x=\"" << num(x0 - 8.0) << "\" y=\"" << num(base - height - 24.0) << "\" class=\"label\">data</text>\n";
  // The cut-off: the misfit of the NMIN-th best datum, black dashes on a
  // white line of the same width, so that it shows over a bar of any colour
  // without a halo splitting the bar.
  if (const auto cut = r.cutoff()) {
    const double deg = d(*cut * kDegPerRad);
    const double x = X(std::clamp(deg, 0.0, 180.0));
    // The label on the side with room for it (about 270 units).
    const bool left = x > X(120.0) || x + 270.0 > kWidth;
    o << "<g id=\"cutoff\" data-degrees=\"" << fixed(deg, 4) << "\">";
    for (int pass = 0; pass < 2; ++pass) {
      o << "<line x1=\"" << num(x) << "\" y1=\"" << num(base) << "\" x2=\"" << num(x) << "\" y2=\""
        << num(base - height - 4.0) << "\" stroke=\"" << (pass == 0 ? "#ffffff" : "#000000") << "\" stroke-width=\""
        << "1.5\"" << (pass == 0 ? "" : " stroke-dasharray=\"6,3\"") << "/>";
    }
    o << "<text x=\"" << num(left ? x - 4.0 : x + 4.0) << "\" y=\"" << num(base - height - 8.0)
      << "\" class=\"legend\"" << (left ? " text-anchor=\"end\"" : "") << ">cut-off " << fixed(deg, 1) << kDegree
      << " (the " << r.run.NMIN << " best of " << r.run.N << " to the left)</text></g>\n";
  }
  o << "<text x=\"" << num((x0 + right) / 2.0) << "\" y=\"" << num(base + 36.0) << "\" class=\"tick\">"
    << "misfit: angle between the striation and the predicted slip</text>\n";
  o << "</g>\n";
}

void legend(std::ostringstream& o, const RunReport& r, double dy) {
  const double y = 680.0 + dy;
  o << "<g id=\"legend\">\n";
  double x = 60.0;
  for (int L = 0; L < 3; ++L) {
    const AxisStyle& st = kAxes[L];
    o << "<polygon points=\"" << star(Point{x, y}, st.points, 10.0, st.points == 5 ? 4.2 : 3.8) << "\" fill=\""
      << st.fill << "\"/>";
    o << "<text x=\"" << num(x + 16.0) << "\" y=\"" << num(y + 5.0) << "\" class=\"legend\">" << st.label
      << (L == 0 ? " (most compressive)" : (L == 2 ? " (least compressive)" : "")) << "</text>\n";
    x += L == 0 ? 200.0 : (L == 1 ? 70.0 : 210.0);
  }
  o << "<circle cx=\"" << num(x) << "\" cy=\"" << num(y) << "\" r=\"3\" fill=\"none\" stroke=\"#0b3d91\" stroke-width=\"1\"/>"
    << "<text x=\"" << num(x + 10.0) << "\" y=\"" << num(y + 5.0)
    << "\" class=\"legend\">axes of the nearest tensor of each datum (stage 4; dashed: upper hemisphere); an axis within "
    << kHorizontalAxis << kDegree << " of horizontal is drawn at both ends</text>\n";

  const double y2 = y + 30.0;
  o << "<line x1=\"52\" y1=\"" << num(y2) << "\" x2=\"63\" y2=\"" << num(y2) << "\" stroke=\"#404040\" stroke-width=\"2\"/>"
    << "<polygon points=\"70," << num(y2) << " 63," << num(y2 - 4.0) << " 63," << num(y2 + 4.0)
    << "\" fill=\"#404040\"/><text x=\"76\" y=\"" << num(y2 + 5.0)
    << "\" class=\"legend\">slip of the hanging wall from the striation's point</text>\n";
  o << "<g fill=\"none\" stroke=\"#404040\" stroke-width=\"1.8\"><path d=\"M412," << num(y2 - 3.5) << " L430,"
    << num(y2 - 3.5) << " L424," << num(y2 - 7.5) << "\"/><path d=\"M430," << num(y2 + 3.5) << " L412,"
    << num(y2 + 3.5) << " L418," << num(y2 + 7.5) << "\"/></g><text x=\"438\" y=\"" << num(y2 + 5.0)
    << "\" class=\"legend\">strike-slip on a steep plane, both blocks (dextral; at most "
    << kMostCouples << " data)</text>\n";
  o << "<polygon points=\"860," << num(y2) << " 872," << num(y2 - 8.0) << " 872," << num(y2 - 3.0) << " 896,"
    << num(y2 - 3.0) << " 896," << num(y2 + 3.0) << " 872," << num(y2 + 3.0) << " 872," << num(y2 + 8.0)
    << "\" fill=\"#303030\"/><text x=\"904\" y=\"" << num(y2 + 5.0)
    << "\" class=\"legend\">SHmax (Lund &amp; Townend), not drawn when undefined or poorly defined</text>\n";

  const double y3 = y2 + 30.0;
  o << "<circle cx=\"56\" cy=\"" << num(y3) << "\" r=\"4\" fill=\"#808080\" stroke=\"#000000\" stroke-width=\"0.8\"/>"
    << "<text x=\"66\" y=\"" << num(y3 + 5.0) << "\" class=\"legend\">Mohr diagram: among the " << r.run.NMIN
    << " best data</text>";
  o << "<circle cx=\"336\" cy=\"" << num(y3) << "\" r=\"4\" fill=\"#ffffff\" stroke=\"#808080\" stroke-width=\"1.6\"/>"
    << "<text x=\"346\" y=\"" << num(y3 + 5.0) << "\" class=\"legend\">other data</text>\n";

  // The colour bar of the misfit angle; its stops are the scale's own.
  const double y4 = y3 + 34.0, bx = 150.0, bw = 360.0;
  o << "<defs><linearGradient id=\"misfit-scale\" x1=\"0\" x2=\"1\" y1=\"0\" y2=\"0\">";
  for (int k = 0; k <= 9; ++k) {
    o << "<stop offset=\"" << fixed(k / 9.0, 4) << "\" stop-color=\"" << misfit_colour(10.0 * k) << "\"/>";
  }
  o << "</linearGradient></defs>\n";
  o << "<text x=\"52\" y=\"" << num(y4 + 5.0) << "\" class=\"legend\">misfit angle:</text>";
  o << "<rect id=\"colour-bar\" x=\"" << num(bx) << "\" y=\"" << num(y4 - 7.0) << "\" width=\"" << num(bw)
    << "\" height=\"14\" fill=\"url(#misfit-scale)\" stroke=\"#000000\" stroke-width=\"0.5\"/>";
  o << "<rect x=\"" << num(bx + bw) << "\" y=\"" << num(y4 - 7.0) << "\" width=\"30\" height=\"14\" fill=\""
    << misfit_colour(90.0) << "\" stroke=\"#000000\" stroke-width=\"0.5\"/>";
  for (int k = 0; k <= 6; ++k) {
    const double x = bx + bw * k / 6.0;
    o << "<line x1=\"" << num(x) << "\" y1=\"" << num(y4 + 7.0) << "\" x2=\"" << num(x) << "\" y2=\"" << num(y4 + 11.0)
      << "\" stroke=\"#000000\"/><text x=\"" << num(x) << "\" y=\"" << num(y4 + 23.0) << "\" class=\"tick\">"
      << 15 * k << (k == 6 ? "+" : "") << "</text>";
  }
  o << "<text x=\"" << num(bx + bw + 40.0) << "\" y=\"" << num(y4 + 5.0)
    << "\" class=\"legend\">degrees (striation arrows, Mohr points, histogram bars)</text>\n";
  o << "</g>\n";
}

// The stress state line of the subtitle.
std::string state_line(const StressState& s) {
  if (!s.defined) return "stress state undefined: the final axes are not numbers";
  std::string line;
  if (!s.shmax) {
    line = "SHmax undefined: equal horizontal stresses (horizontal anisotropy " + fixed(s.anisotropy, 2) + ")";
  } else if (s.shmax_poorly_defined) {
    line = "SHmax " + fixed(*s.shmax, 1) + kDegree + " poorly defined (horizontal anisotropy " +
           fixed(s.anisotropy, 2) + "), not drawn";
  } else {
    line = "SHmax " + fixed(*s.shmax, 1) + kDegree + " (Lund &amp; Townend)";
  }
  line += ";  WSM regime " + std::string(wsm_regime_code(s.wsm.regime));
  line += s.wsm.shmax ? ", SHmax " + fixed(*s.wsm.shmax, 1) + kDegree : std::string(" (no SHmax)");
  line += ";  R\xe2\x80\xb2 = " + fixed(s.r_prime, 2) + ", " + r_prime_class_name(s.r_prime_class);
  return line;
}

}  // namespace

Point net_point(const NetFrame& f, double x, double y, double z) {
  if (z > 0.0) {
    x = -x;
    y = -y;
    z = -z;
  }
  const double n = std::sqrt(x * x + y * y + z * z);
  if (!(n > 0.0)) return Point{f.cx, f.cy};
  x /= n;
  y /= n;
  z /= n;
  const double h = std::hypot(x, y);
  if (h < 1e-12) return Point{f.cx, f.cy};
  const double rr = f.radius * std::sqrt(std::max(0.0, 1.0 + z));  // 1 - |z|
  return Point{f.cx + rr * x / h, f.cy - rr * y / h};
}

Point net_point_of(const NetFrame& f, double plunge, double direction) {
  const double p = plunge * kRad, a = direction * kRad;
  return net_point(f, std::cos(p) * std::sin(a), std::cos(p) * std::cos(a), -std::sin(p));
}

AxisDot axis_dot(const NetFrame& f, double main_plunge, double main_direction, double plunge, double direction) {
  const Point p = net_point_of(f, plunge, direction);
  if (!(std::fabs(main_plunge) < kShallowAxis)) return AxisDot{p, false};
  // Unit vectors (x east, y north, z up): the main axis at its lower end,
  // where its symbol is; the dot's line in the sense nearest to it.
  const auto unit = [](double pl, double dir, double v[3]) {
    v[0] = std::cos(pl * kRad) * std::sin(dir * kRad);
    v[1] = std::cos(pl * kRad) * std::cos(dir * kRad);
    v[2] = -std::sin(pl * kRad);
  };
  double a[3], v[3];
  unit(main_plunge, main_direction, a);
  unit(plunge, direction, v);
  const double lower = a[2] > 0.0 ? -1.0 : 1.0;
  const double sense = (a[0] * v[0] + a[1] * v[1] + a[2] * v[2]) * lower < 0.0 ? -1.0 : 1.0;
  if (!(v[2] * sense > 0.0)) return AxisDot{p, false};
  return AxisDot{Point{2.0 * f.cx - p.x, 2.0 * f.cy - p.y}, true};
}

std::string misfit_colour(double degrees) {
  // Viridis at 0, 0.1, ... 1.0; the scale runs from 0 (0 degrees) to 0.9 (90
  // and more), leaving out the palest yellow, which is faint on white.
  static constexpr unsigned char kViridis[11][3] = {
      {0x44, 0x01, 0x54}, {0x48, 0x24, 0x75}, {0x41, 0x44, 0x87}, {0x35, 0x5f, 0x8d},
      {0x2a, 0x78, 0x8e}, {0x21, 0x91, 0x8c}, {0x22, 0xa8, 0x84}, {0x44, 0xbf, 0x70},
      {0x7a, 0xd1, 0x51}, {0xbd, 0xdf, 0x26}, {0xfd, 0xe7, 0x25}};
  double t = std::isfinite(degrees) ? degrees / 10.0 : 9.0;
  t = std::clamp(t, 0.0, 9.0);
  const int k = std::min(8, static_cast<int>(t));
  const double w = t - k;
  int c[3];
  for (int i = 0; i < 3; ++i) {
    c[i] = static_cast<int>(std::lround((1.0 - w) * kViridis[k][i] + w * kViridis[k + 1][i]));
  }
  char buf[8];
  std::snprintf(buf, sizeof buf, "#%02x%02x%02x", c[0], c[1], c[2]);
  return buf;
}

std::string xml_text(const std::string& s) {
  std::string o;
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(s[i]); };
  for (std::size_t i = 0; i < s.size();) {
    const unsigned char c = byte(i);
    if (c < 0x80) {
      switch (c) {
        case '&': o += "&amp;"; break;
        case '<': o += "&lt;"; break;
        case '>': o += "&gt;"; break;
        case '"': o += "&quot;"; break;
        case '\'': o += "&apos;"; break;
        default:
          if (c >= 0x20 && c != 0x7f) {
            o += static_cast<char>(c);
          } else if (c == '\t') {
            o += ' ';
          }
      }
      ++i;
      continue;
    }
    // A well-formed UTF-8 sequence is kept as it is.
    int len = 0;
    unsigned int cp = 0;
    if (c >= 0xc2 && c <= 0xdf) {
      len = 2;
      cp = c & 0x1fu;
    } else if (c >= 0xe0 && c <= 0xef) {
      len = 3;
      cp = c & 0x0fu;
    } else if (c >= 0xf0 && c <= 0xf4) {
      len = 4;
      cp = c & 0x07u;
    }
    bool ok = len > 0 && i + static_cast<std::size_t>(len) <= s.size();
    for (int k = 1; ok && k < len; ++k) {
      const unsigned char cc = byte(i + static_cast<std::size_t>(k));
      ok = (cc & 0xc0u) == 0x80u;
      cp = (cp << 6) | (cc & 0x3fu);
    }
    if (ok) {
      const unsigned int minimum = len == 2 ? 0x80u : (len == 3 ? 0x800u : 0x10000u);
      ok = cp >= minimum && cp <= 0x10ffffu && !(cp >= 0xd800u && cp <= 0xdfffu) && cp != 0xfffeu && cp != 0xffffu;
    }
    if (ok) {
      o.append(s, i, static_cast<std::size_t>(len));
      i += static_cast<std::size_t>(len);
    } else if (c >= 0xa0) {  // Latin-1
      o += static_cast<char>(0xc0 | (c >> 6));
      o += static_cast<char>(0x80 | (c & 0x3f));
      ++i;
    } else {
      o += "\xef\xbf\xbd";  // replacement character
      ++i;
    }
  }
  return o;
}

std::array<int, kFigureClasses> misfit_histogram(const RunReport& r) {
  std::array<int, kFigureClasses> counts{};
  for (const Datum& dt : r.data) {
    const double deg = d(misfit_degrees(dt));
    if (!(deg >= 0.0)) continue;
    const int k = std::min(kFigureClasses - 1, static_cast<int>(deg / 10.0));
    ++counts[static_cast<std::size_t>(k)];
  }
  return counts;
}

std::string svg_number(double v) { return num(v); }

std::string svg_data_number(double v) { return num3(v); }

const char* axis_fill(int L) { return kAxes[L - 1].fill; }

std::string figure_svg(const RunReport& r, const FigureOptions& options) {
  std::ostringstream o;
  // With two phases or more the phases come first, under the title, and the
  // all-data run, their compromise, is drawn below them (dy lower).
  const bool phases_first = r.separation && r.separation->k >= 2;
  const double dy = phases_first ? phases_panel_height(r) + kPhasesGap : 0.0;
  const auto height = static_cast<int>(kHeight + ensemble_caption_height(r) + phases_panel_height(r) +
                                       (phases_first ? kPhasesGap : 0.0) + mechanisms_panel_height(r));
  o << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
  o << "<svg xmlns=\"http://www.w3.org/2000/svg\" version=\"1.1\" width=\"" << kWidth << "\" height=\"" << height
    << "\" viewBox=\"0 0 " << kWidth << " " << height << "\" font-family=\"DejaVu Sans, Helvetica, Arial, sans-serif\">\n";
  o << "<title>" << xml_text(r.title) << "</title>\n";
  o << "<style>\n"
       ".heading{font-size:15px;font-weight:bold;text-anchor:middle}\n"
       ".cardinal{font-size:14px;font-weight:bold;text-anchor:middle}\n"
       ".tick{font-size:11px;text-anchor:middle}\n"
       ".normalised{fill:#505050}\n"
       ".count{font-size:11px;text-anchor:end}\n"
       ".label{font-size:13px;font-style:italic}\n"
       ".legend{font-size:12px}\n"
       ".num{font-size:10px;fill:#202020}\n"
       ".note{font-size:12px;text-anchor:middle;fill:#a00000}\n"
       "</style>\n";
  o << "<rect width=\"100%\" height=\"100%\" fill=\"#ffffff\"/>\n";
  o << "<text id=\"title\" x=\"" << kWidth / 2 << "\" y=\"34\" font-size=\"19\" font-weight=\"bold\" "
       "text-anchor=\"middle\">"
    << xml_text(r.title) << "</text>\n";

  if (phases_first) phases_panel(o, r, kPhasesTop);
  const TensorSnapshot& t = r.run.final_tensor();
  // The lines under the title, at whole positions (dy is whole), written as
  // integers as they always were.
  const auto line_y = [dy](int y) { return std::to_string(y + static_cast<int>(std::lround(dy))); };
  o << "<text id=\"subtitle\" x=\"" << kWidth / 2 << "\" y=\"" << line_y(62)
    << "\" font-size=\"13\" text-anchor=\"middle\">" << (phases_first ? "All data together: " : "") << r.run.N
    << " data, the " << r.run.NMIN << " best fitted;";
  for (int L = 1; L <= 3; ++L) {
    o << "  " << kAxes[L - 1].label << " " << fixed(d(t.DIRE(L)), 1) << "/" << fixed(d(t.PEN(L)), 1);
  }
  o << ";  R = " << fixed(d(t.P(4)), 2) << ";  residual standard deviation " << fixed(d(r.run.fit.ECART), 1)
    << kDegree << "</text>\n";
  o << "<text id=\"state\" x=\"" << kWidth / 2 << "\" y=\"" << line_y(84)
    << "\" font-size=\"13\" text-anchor=\"middle\">" << state_line(r.state) << "</text>\n";

  NetFrame net;
  net.cy += dy;
  net_panel(o, r, net, options);
  mohr_panel(o, r, options, dy);
  histogram_panel(o, r, dy);
  legend(o, r, dy);
  ensemble_caption(o, r, kHeight + dy + 14.0);
  double below = kHeight + dy + ensemble_caption_height(r);
  if (!phases_first) {
    phases_panel(o, r, below);
    below += phases_panel_height(r);
  }
  mechanisms_panel(o, r, below);
  o << "</svg>\n";
  return o.str();
}

}  // namespace zk::batch
