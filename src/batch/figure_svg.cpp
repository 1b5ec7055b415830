#include "batch/figure_svg.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <sstream>

#include "report/report.hpp"

namespace zk::batch {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kRad = kPi / 180.0;
constexpr double kDegPerRad = 180.0 / kPi;

constexpr int kWidth = 1500;
constexpr int kHeight = 720;

// The histogram classes are the listing's (report/histo.cpp); the bound
// labels are printed as the listing prints them.
int bound_degrees(int k) { return histogram_bound_degrees(k + 1); }

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

std::string fixed(double v, int decimals) {
  if (!std::isfinite(v)) return "NaN";
  char buf[48];
  std::snprintf(buf, sizeof buf, "%.*f", decimals, v);
  return buf;
}

double d(float v) { return static_cast<double>(v); }

bool finite_vec(const Vec3& v) { return std::isfinite(v(1)) && std::isfinite(v(2)) && std::isfinite(v(3)); }

std::string star(Point c, int points, double outer, double inner) {
  std::string s;
  for (int k = 0; k < 2 * points; ++k) {
    const double rr = k % 2 == 0 ? outer : inner;
    const double a = kPi * k / points;  // first point straight up
    if (k > 0) s += ' ';
    s += num(c.x + rr * std::sin(a));
    s += ',';
    s += num(c.y - rr * std::cos(a));
  }
  return s;
}

// Axis marker: a star of `points` points, its group carrying the exact
// document position.
void axis_marker(std::ostringstream& o, const AxisStyle& st, Point p, double plunge, double direction, double value,
                 bool with_id) {
  o << "<g";
  if (with_id) o << " id=\"" << st.id << "\"";
  o << " class=\"axis\" data-x=\"" << num3(p.x) << "\" data-y=\"" << num3(p.y) << "\" data-plunge=\""
    << fixed(plunge, 4) << "\" data-direction=\"" << fixed(direction, 4) << "\">";
  o << "<title>" << st.label << " = " << fixed(value, 5) << ": direction " << fixed(direction, 1) << ", plunge "
    << fixed(plunge, 1) << "</title>";
  const double inner = st.points == 3 ? 4.5 : (st.points == 4 ? 4.5 : 5.0);
  o << "<polygon points=\"" << star(p, st.points, 12.0, inner) << "\" fill=\"" << st.fill
    << "\" stroke=\"#ffffff\" stroke-width=\"1.5\" stroke-linejoin=\"round\"/>";
  o << "</g>\n";
}

// Trace of the plane of normal n: lines of the plane from strike to strike
// through the down-dip line.
std::string great_circle(const NetFrame& f, const Vec3& n) {
  const double nx = d(n(1)), ny = d(n(2)), nz = d(n(3));
  const double h = std::hypot(nx, ny);
  double ux = 1.0, uy = 0.0;  // strike (horizontal plane: any horizontal line)
  if (h > 1e-9) {
    ux = -ny / h;
    uy = nx / h;
  }
  // w = n x u, in the plane, turned downward.
  double wx = ny * 0.0 - nz * uy;
  double wy = nz * ux - nx * 0.0;
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
    path += num(p.x);
    path += ',';
    path += num(p.y);
  }
  return path;
}

void net_panel(std::ostringstream& o, const BatchResult& r, const NetFrame& f) {
  const InversionResult& run = r.run;
  o << "<g id=\"stereonet\" data-cx=\"" << num3(f.cx) << "\" data-cy=\"" << num3(f.cy) << "\" data-radius=\""
    << num3(f.radius) << "\">\n";
  o << "<text x=\"" << num(f.cx) << "\" y=\"92\" class=\"heading\">Schmidt net, lower hemisphere</text>\n";
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
  static const char* const kCardinal[4] = {"N", "E", "S", "W"};
  for (int k = 0; k < 4; ++k) {
    const double s = std::sin(k * 90.0 * kRad), c = std::cos(k * 90.0 * kRad);
    o << "<text x=\"" << num(f.cx + (f.radius + 26.0) * s) << "\" y=\"" << num(f.cy - (f.radius + 26.0) * c + 5.0)
      << "\" class=\"cardinal\">" << kCardinal[k] << "</text>";
  }
  o << "\n<path d=\"M" << num(f.cx - 5.0) << "," << num(f.cy) << " h10 M" << num(f.cx) << "," << num(f.cy - 5.0)
    << " v10\" stroke=\"#000000\" stroke-width=\"1\"/>\n";

  // Fault planes and striations.
  o << "<g id=\"faults\" fill=\"none\">\n";
  for (const Datum& dt : r.data) {
    if (!finite_vec(dt.FN) || !finite_vec(dt.STR)) continue;
    const double deg = d(dt.misfit) * kDegPerRad;
    const std::string colour = misfit_colour(deg);
    o << "<g class=\"fault\" data-num=\"" << dt.NUM << "\"><title>datum " << dt.NUM << ": misfit "
      << fixed(deg, 1) << " degrees" << (dt.rank >= 1 && dt.rank <= run.NMIN ? " (among the best)" : "")
      << "</title>";
    o << "<path d=\"" << great_circle(f, dt.FN) << "\" stroke=\"#8c8c8c\" stroke-width=\"0.8\"/>";
    const double sx = d(dt.STR(1)), sy = d(dt.STR(2)), sz = d(dt.STR(3));
    const Point p = net_point(f, sx, sy, sz);
    const double h = std::hypot(sx, sy);
    if (h > 1e-6) {
      // The hanging wall's horizontal motion: outward for a normal fault,
      // inward for a reverse one, along the trace for a strike-slip one.
      const double ux = sx / h, uy = -sy / h;
      const double len = 18.0;
      const Point tip{p.x + len * ux, p.y + len * uy};
      const Point base{p.x + (len - 7.0) * ux, p.y + (len - 7.0) * uy};
      o << "<line x1=\"" << num(p.x) << "\" y1=\"" << num(p.y) << "\" x2=\"" << num(base.x) << "\" y2=\""
        << num(base.y) << "\" stroke=\"" << colour << "\" stroke-width=\"2\"/>";
      o << "<polygon points=\"" << num(tip.x) << "," << num(tip.y) << " " << num(base.x - 4.0 * uy) << ","
        << num(base.y + 4.0 * ux) << " " << num(base.x + 4.0 * uy) << "," << num(base.y - 4.0 * ux)
        << "\" fill=\"" << colour << "\"/>";
    }
    o << "<circle cx=\"" << num(p.x) << "\" cy=\"" << num(p.y) << "\" r=\"2.5\" fill=\"" << colour << "\"/>";
    o << "</g>\n";
  }
  o << "</g>\n";

  // Axes of the nearest tensor of each datum (stage 4).
  o << "<g id=\"nearest\" fill-opacity=\"0.45\">\n";
  for (const Datum& dt : r.data) {
    for (int K = 1; K <= 3; ++K) {
      const double pl = d(dt.nearest.PENS(K)), dir = d(dt.nearest.DIRES(K));
      if (!std::isfinite(pl) || !std::isfinite(dir)) continue;
      const Point p = net_point_of(f, pl, dir);
      o << "<circle cx=\"" << num(p.x) << "\" cy=\"" << num(p.y) << "\" r=\"2.2\" fill=\""
        << kAxes[K - 1].fill << "\"><title>datum " << dt.NUM << ", nearest " << kAxes[K - 1].label
        << ": direction " << fixed(dir, 1) << ", plunge " << fixed(pl, 1) << "</title></circle>";
    }
  }
  o << "\n</g>\n";

  // The final axes, on top.
  const TensorSnapshot& t = run.stage3;
  for (int L = 1; L <= 3; ++L) {
    const Point p = net_point_of(f, d(t.PEN(L)), d(t.DIRE(L)));
    axis_marker(o, kAxes[L - 1], p, d(t.PEN(L)), d(t.DIRE(L)), d(t.VP(L)), true);
  }
  o << "</g>\n";
}

void mohr_panel(std::ostringstream& o, const BatchResult& r) {
  const TensorSnapshot& t = r.run.stage3;
  const double s1 = d(t.VP(1)), s2 = d(t.VP(2)), s3 = d(t.VP(3));
  const double x0 = 600.0, width = 400.0, base = 480.0;
  o << "<g id=\"mohr\">\n";
  o << "<text x=\"" << num(x0 + width / 2.0) << "\" y=\"92\" class=\"heading\">Mohr diagram</text>\n";
  if (!(std::isfinite(s1) && std::isfinite(s3) && s1 > s3)) {
    o << "<text x=\"" << num(x0 + width / 2.0) << "\" y=\"" << num(base - 100.0)
      << "\" class=\"note\">no diagram: the principal values are not ordered</text>\n</g>\n";
    return;
  }
  const double scale = width / (s1 - s3);
  auto X = [&](double sn) { return x0 + (sn - s3) * scale; };
  auto Y = [&](double tau) { return base - tau * scale; };
  // Axes: normal stress along the base, shear stress up from sigma 3.
  o << "<g stroke=\"#000000\" stroke-width=\"1\">";
  o << "<line x1=\"" << num(x0 - 15.0) << "\" y1=\"" << num(base) << "\" x2=\"" << num(x0 + width + 20.0)
    << "\" y2=\"" << num(base) << "\"/>";
  o << "<line x1=\"" << num(x0) << "\" y1=\"" << num(base + 5.0) << "\" x2=\"" << num(x0) << "\" y2=\""
    << num(Y(0.5 * (s1 - s3)) - 25.0) << "\"/>";
  o << "</g>\n";
  o << "<text x=\"" << num(x0 + width + 22.0) << "\" y=\"" << num(base + 4.0) << "\" class=\"label\">"
    << "\xcf\x83n</text>";
  o << "<text x=\"" << num(x0 - 4.0) << "\" y=\"" << num(Y(0.5 * (s1 - s3)) - 30.0) << "\" class=\"label\">"
    << "\xcf\x84</text>\n";
  const double values[3] = {s1, s2, s3};
  for (int L = 1; L <= 3; ++L) {
    const double x = X(values[L - 1]);
    o << "<line x1=\"" << num(x) << "\" y1=\"" << num(base) << "\" x2=\"" << num(x) << "\" y2=\"" << num(base + 6.0)
      << "\" stroke=\"#000000\"/>";
    o << "<text x=\"" << num(x) << "\" y=\"" << num(base + 20.0 + (L == 2 ? 14.0 : 0.0))
      << "\" class=\"tick\">" << kAxes[L - 1].label << " " << fixed(values[L - 1], 3) << "</text>\n";
  }
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
  // The data: the NMIN best filled, the others open.
  for (const Datum& dt : r.data) {
    if (!finite_vec(dt.FN)) continue;
    const MohrPoint m = mohr_point(t.ROT, t.VP, dt.FN);
    if (!std::isfinite(m.sigma_n) || !std::isfinite(m.tau)) continue;
    const bool best = dt.rank >= 1 && dt.rank <= r.run.NMIN;
    const double deg = d(dt.misfit) * kDegPerRad;
    const std::string colour = misfit_colour(deg);
    o << "<circle class=\"" << (best ? "best" : "other") << "\" cx=\"" << num(X(m.sigma_n)) << "\" cy=\""
      << num(Y(m.tau)) << "\" r=\"4\"";
    if (best) {
      o << " fill=\"" << colour << "\" stroke=\"#000000\" stroke-width=\"0.8\"";
    } else {
      o << " fill=\"#ffffff\" stroke=\"" << colour << "\" stroke-width=\"1.6\"";
    }
    o << "><title>datum " << dt.NUM << ": normal stress " << fixed(m.sigma_n, 3) << ", shear stress "
      << fixed(m.tau, 3) << ", misfit " << fixed(deg, 1) << " degrees" << (best ? " (among the best)" : "")
      << "</title></circle>\n";
  }
  o << "</g>\n";
}

void histogram_panel(std::ostringstream& o, const BatchResult& r) {
  const auto counts = misfit_classes(r);
  const double x0 = 1075.0, bar = 19.0, base = 480.0, height = 300.0;
  int top = 1;
  for (int c : counts) top = std::max(top, c);
  const double unit = height / top;
  o << "<g id=\"histogram\">\n";
  o << "<text x=\"" << num(x0 + bar * kHistogramClasses / 2.0) << "\" y=\"92\" class=\"heading\">"
    << "Misfit histogram (degrees)</text>\n";
  for (int k = 0; k < kHistogramClasses; ++k) {
    const double x = x0 + bar * k;
    const double h = counts[static_cast<std::size_t>(k)] * unit;
    const double mid = 0.5 * (bound_degrees(k) + bound_degrees(k + 1));
    o << "<rect class=\"bar\" data-class=\"" << (k + 1) << "\" data-count=\"" << counts[static_cast<std::size_t>(k)]
      << "\" x=\"" << num(x + 1.0) << "\" y=\"" << num(base - h) << "\" width=\"" << num(bar - 2.0)
      << "\" height=\"" << num(h) << "\" fill=\"" << misfit_colour(mid) << "\" stroke=\"#000000\" "
      << "stroke-width=\"0.5\"><title>" << bound_degrees(k) << "-" << bound_degrees(k + 1) << " degrees: "
      << counts[static_cast<std::size_t>(k)] << " data</title></rect>\n";
  }
  o << "<line x1=\"" << num(x0) << "\" y1=\"" << num(base) << "\" x2=\"" << num(x0 + bar * kHistogramClasses)
    << "\" y2=\"" << num(base) << "\" stroke=\"#000000\"/>\n";
  for (int k = 0; k <= kHistogramClasses; k += 1) {
    const double x = x0 + bar * k;
    o << "<line x1=\"" << num(x) << "\" y1=\"" << num(base) << "\" x2=\"" << num(x) << "\" y2=\"" << num(base + 4.0)
      << "\" stroke=\"#000000\"/>";
    if (k % 2 == 0) {
      o << "<text x=\"" << num(x) << "\" y=\"" << num(base + 16.0) << "\" class=\"tick\">" << bound_degrees(k)
        << "</text>";
    }
  }
  o << "\n<line x1=\"" << num(x0) << "\" y1=\"" << num(base) << "\" x2=\"" << num(x0) << "\" y2=\""
    << num(base - height) << "\" stroke=\"#000000\"/>\n";
  const int step = std::max(1, top / 5);
  for (int v = 0; v <= top; v += step) {
    o << "<text x=\"" << num(x0 - 6.0) << "\" y=\"" << num(base - v * unit + 4.0) << "\" class=\"count\">" << v
      << "</text>";
  }
  o << "\n<text x=\"" << num(x0 - 30.0) << "\" y=\"" << num(base - height - 14.0)
    << "\" class=\"label\">data</text>\n";
  o << "</g>\n";
}

void legend(std::ostringstream& o, const BatchResult& r) {
  const double y = 615.0;
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
  o << "<circle cx=\"" << num(x) << "\" cy=\"" << num(y) << "\" r=\"3\" fill=\"#0b3d91\" fill-opacity=\"0.45\"/>"
    << "<text x=\"" << num(x + 10.0) << "\" y=\"" << num(y + 5.0)
    << "\" class=\"legend\">axes of the nearest tensor of each datum (stage 4)</text>\n";

  const double y2 = y + 32.0;
  o << "<line x1=\"52\" y1=\"" << num(y2) << "\" x2=\"63\" y2=\"" << num(y2) << "\" stroke=\"#404040\" stroke-width=\"2\"/>"
    << "<polygon points=\"70," << num(y2) << " 63," << num(y2 - 4.0) << " 63," << num(y2 + 4.0)
    << "\" fill=\"#404040\"/><text x=\"76\" y=\"" << num(y2 + 5.0)
    << "\" class=\"legend\">striation: slip of the hanging wall, on the trace of its fault plane</text>\n";
  o << "<circle cx=\"640\" cy=\"" << num(y2) << "\" r=\"4\" fill=\"#808080\" stroke=\"#000000\" stroke-width=\"0.8\"/>"
    << "<text x=\"650\" y=\"" << num(y2 + 5.0) << "\" class=\"legend\">among the " << r.run.NMIN
    << " best data</text>";
  o << "<circle cx=\"820\" cy=\"" << num(y2) << "\" r=\"4\" fill=\"#ffffff\" stroke=\"#808080\" stroke-width=\"1.6\"/>"
    << "<text x=\"830\" y=\"" << num(y2 + 5.0) << "\" class=\"legend\">other data</text>\n";

  const double y3 = y2 + 32.0;
  o << "<text x=\"52\" y=\"" << num(y3 + 5.0) << "\" class=\"legend\">misfit angle:</text>";
  static const int kSwatches[] = {0, 10, 20, 30, 45, 60, 75, 90};
  double sx = 150.0;
  for (int s : kSwatches) {
    o << "<rect x=\"" << num(sx) << "\" y=\"" << num(y3 - 6.0) << "\" width=\"14\" height=\"12\" fill=\""
      << misfit_colour(s) << "\"/><text x=\"" << num(sx + 18.0) << "\" y=\"" << num(y3 + 5.0)
      << "\" class=\"legend\">" << s << (s == 90 ? "\xc2\xb0 and more" : "\xc2\xb0") << "</text>";
    sx += s == 90 ? 110.0 : 58.0;
  }
  o << "\n</g>\n";
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

MohrPoint mohr_point(const Mat<float, 3, 3>& ROT, const Vec3& VP, const Vec3& n) {
  double sn = 0.0, t2 = 0.0;
  for (int L = 1; L <= 3; ++L) {
    double c = 0.0;
    for (int k = 1; k <= 3; ++k) c += d(ROT(L, k)) * d(n(k));
    const double s = d(VP(L));
    sn += s * c * c;
    t2 += s * s * c * c;
  }
  const double tau2 = t2 - sn * sn;
  return MohrPoint{sn, std::sqrt(std::max(0.0, tau2))};
}

std::string misfit_colour(double degrees) {
  double t = std::isfinite(degrees) ? degrees / 90.0 : 1.0;
  t = std::clamp(t, 0.0, 1.0);
  // Green (0) through yellow (0.5) to red (1).
  const double r = t < 0.5 ? 40.0 + (230.0 - 40.0) * (t / 0.5) : 230.0 - 20.0 * ((t - 0.5) / 0.5);
  const double g = t < 0.5 ? 170.0 + (180.0 - 170.0) * (t / 0.5) : 180.0 - 160.0 * ((t - 0.5) / 0.5);
  const double b = t < 0.5 ? 60.0 - 40.0 * (t / 0.5) : 20.0 + 10.0 * ((t - 0.5) / 0.5);
  char buf[8];
  std::snprintf(buf, sizeof buf, "#%02x%02x%02x", static_cast<int>(std::lround(r)), static_cast<int>(std::lround(g)),
                static_cast<int>(std::lround(b)));
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

std::array<int, kHistogramClasses> misfit_classes(const BatchResult& r) {
  std::array<int, kHistogramClasses> counts{};
  for (const Datum& dt : r.data) {
    const int k = histogram_class(dt.misfit);
    if (k >= 1) ++counts[static_cast<std::size_t>(k - 1)];
  }
  return counts;
}

std::string figure_svg(const BatchResult& r) {
  std::ostringstream o;
  o << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
  o << "<svg xmlns=\"http://www.w3.org/2000/svg\" version=\"1.1\" width=\"" << kWidth << "\" height=\"" << kHeight
    << "\" viewBox=\"0 0 " << kWidth << " " << kHeight << "\" font-family=\"DejaVu Sans, Helvetica, Arial, sans-serif\">\n";
  o << "<title>" << xml_text(r.title) << "</title>\n";
  o << "<style>\n"
       ".heading{font-size:15px;font-weight:bold;text-anchor:middle}\n"
       ".cardinal{font-size:14px;font-weight:bold;text-anchor:middle}\n"
       ".tick{font-size:11px;text-anchor:middle}\n"
       ".count{font-size:11px;text-anchor:end}\n"
       ".label{font-size:13px;font-style:italic}\n"
       ".legend{font-size:12px}\n"
       ".note{font-size:12px;text-anchor:middle;fill:#a00000}\n"
       "</style>\n";
  o << "<rect width=\"100%\" height=\"100%\" fill=\"#ffffff\"/>\n";
  o << "<text id=\"title\" x=\"" << kWidth / 2 << "\" y=\"34\" font-size=\"19\" font-weight=\"bold\" "
       "text-anchor=\"middle\">"
    << xml_text(r.title) << "</text>\n";

  const TensorSnapshot& t = r.run.stage3;
  o << "<text x=\"" << kWidth / 2 << "\" y=\"60\" font-size=\"13\" text-anchor=\"middle\">" << r.run.N
    << " data, the " << r.run.NMIN << " best fitted;";
  for (int L = 1; L <= 3; ++L) {
    o << "  " << kAxes[L - 1].label << " " << fixed(d(t.DIRE(L)), 1) << "/" << fixed(d(t.PEN(L)), 1);
  }
  o << ";  R = " << fixed(d(listed_ratio(t.VP)), 2) << ";  mean deviation " << fixed(d(r.run.fit.ECART), 1)
    << "\xc2\xb0</text>\n";

  net_panel(o, r, NetFrame{});
  mohr_panel(o, r);
  histogram_panel(o, r);
  legend(o, r);
  o << "</svg>\n";
  return o.str();
}

}  // namespace zk::batch
