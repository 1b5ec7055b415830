#include "figures/figure_ensemble.hpp"

#include <cmath>

#include "results/ensemble_output.hpp"
#include "results/result_json.hpp"
#include "results/warnings.hpp"

namespace zk::batch {

namespace {

constexpr double kRad = 3.14159265358979323846 / 180.0;
constexpr double kCaptionLine = 22.0;

void axis_of(const TensorSnapshot& t, int L, double a[3]) {
  for (int c = 1; c <= 3; ++c) a[c - 1] = static_cast<double>(t.ROT(L, c));
}

}  // namespace

std::string cone_path(const NetFrame& f, const double a[3], double half_angle_deg) {
  const double n = std::sqrt(a[0] * a[0] + a[1] * a[1] + a[2] * a[2]);
  if (!(n > 0.0) || !std::isfinite(half_angle_deg)) return "";
  const double ax = a[0] / n, ay = a[1] / n, az = a[2] / n;
  // u, v: an orthonormal pair normal to the axis.
  double ux = -ay, uy = ax, uz = 0.0;
  double h = std::hypot(ux, uy);
  if (h < 1e-9) {  // vertical axis
    ux = 1.0;
    uy = 0.0;
    h = 1.0;
  }
  ux /= h;
  uy /= h;
  const double vx = ay * uz - az * uy, vy = az * ux - ax * uz, vz = ax * uy - ay * ux;
  const double c = std::cos(half_angle_deg * kRad), s = std::sin(half_angle_deg * kRad);
  std::string path;
  bool previous_upper = false;
  for (int k = 0; k <= 90; ++k) {
    const double phi = 4.0 * k * kRad;
    const double x = c * ax + s * (std::cos(phi) * ux + std::sin(phi) * vx);
    const double y = c * ay + s * (std::cos(phi) * uy + std::sin(phi) * vy);
    const double z = c * az + s * (std::cos(phi) * uz + std::sin(phi) * vz);
    const bool upper = z > 0.0;  // projected through its opposite end
    const Point p = net_point(f, x, y, z);
    path += k == 0 || upper != previous_upper ? (k == 0 ? "M" : " M") : " L";
    path += svg_number(p.x) + "," + svg_number(p.y);
    previous_upper = upper;
  }
  return path;
}

void ensemble_net_layer(std::ostringstream& o, const RunReport& r, const NetFrame& f) {
  if (!r.ensemble || !r.ensemble->bootstrap) return;
  const ensemble::BootstrapReport& b = *r.ensemble->bootstrap;
  const TensorSnapshot& t = r.run.final_tensor();
  o << "<g id=\"replicates\" data-count=\"" << b.stats.used << "\" fill-opacity=\"0.7\">\n";
  for (const ensemble::Replicate& rep : b.samples) {
    if (!rep.ok) continue;
    for (int L = 1; L <= 3; ++L) {
      const AxisDot a = axis_dot(f, static_cast<double>(t.PEN(L)), static_cast<double>(t.DIRE(L)),
                                 static_cast<double>(rep.tensor.PEN(L)), static_cast<double>(rep.tensor.DIRE(L)));
      o << "<circle cx=\"" << svg_number(a.p.x) << "\" cy=\"" << svg_number(a.p.y) << "\" r=\"1.4\" ";
      if (a.upper) {
        o << "class=\"upper\" fill=\"#ffffff\" stroke=\"" << axis_fill(L) << "\" stroke-width=\"0.6\"/>";
      } else {
        o << "fill=\"" << axis_fill(L) << "\"/>";
      }
    }
    o << "\n";
  }
  o << "</g>\n<g id=\"cones\" fill=\"none\" stroke-width=\"1.6\">\n";
  for (int L = 1; L <= 3; ++L) {
    const auto& cone = b.stats.cone_deg[L - 1];
    if (!cone || *cone > kWidestCone) continue;  // named in the caption instead
    double a[3];
    axis_of(r.run.stage3, L, a);
    o << "<path class=\"cone\" data-sigma=\"" << L << "\" data-half-angle=\"" << format_number("%.3f", *cone) << "\" d=\""
      << cone_path(f, a, *cone) << "\" stroke=\"" << axis_fill(L) << "\"><title>" << format_number("%g", b.confidence)
      << " % confidence cone of sigma " << L << ": " << format_number("%.1f", *cone) << " degrees</title></path>\n";
  }
  o << "</g>\n";
}

// "sigma 2 and sigma 3 not resolved (95 % cones 76 deg)" for the axes whose
// cone passes kWidestCone; "" when there are none.
std::string unresolved_axes(const RunReport& r) {
  if (!r.ensemble || !r.ensemble->bootstrap) return "";
  const ensemble::BootstrapReport& b = *r.ensemble->bootstrap;
  std::string axes, widths;
  int n = 0;
  for (int L = 1; L <= 3; ++L) {
    const auto& cone = b.stats.cone_deg[L - 1];
    if (!cone || !(*cone > kWidestCone)) continue;
    const std::string w = format_number("%.0f", *cone);
    axes += std::string(n == 0 ? "" : " and ") + "sigma " + std::to_string(L);
    if (widths.empty() || widths.substr(widths.rfind(' ') + 1) != w) widths += (widths.empty() ? "" : " and ") + w;
    ++n;
  }
  if (n == 0) return "";
  return axes + " not resolved (" + format_number("%g", b.confidence) + " % cone" + (n > 1 ? "s " : " ") + widths + " deg)";
}

double ensemble_caption_height(const RunReport& r) {
  if (!r.ensemble) return 0.0;
  int lines = 0;
  if (r.ensemble_options.starts > 1) ++lines;
  if (r.ensemble->bootstrap) lines += 2;
  if (!unresolved_axes(r).empty()) ++lines;
  if (r.ensemble->starts.ambiguous()) ++lines;
  return lines == 0 ? 0.0 : kCaptionLine * lines + 8.0;
}

void ensemble_caption(std::ostringstream& o, const RunReport& r, double y) {
  if (!r.ensemble) return;
  const ensemble::Ensemble& e = *r.ensemble;
  o << "<g id=\"ensemble-caption\">\n";
  if (r.ensemble_options.starts > 1) {
    o << "<text x=\"52\" y=\"" << svg_number(y) << "\" class=\"legend\">Best of " << e.starts.runs.size()
      << " independent starts: start " << e.starts.best << " (NSEED " << e.best_params.NSEED << "), "
      << e.starts.minima.size() << (e.starts.minima.size() == 1 ? " minimum" : " distinct minima")
      << " found.</text>\n";
    y += kCaptionLine;
  }
  if (e.bootstrap) {
    const ensemble::BootstrapReport& b = *e.bootstrap;
    o << "<text x=\"52\" y=\"" << svg_number(y) << "\" class=\"legend\">Bootstrap: small dots are the axes of "
      << b.stats.used << " replicates (" << b.failed() << " failed; resampling seed " << b.seed
      << "); hollow dots: upper-hemisphere ends kept beside an axis plunging less than "
      << format_number("%g", kShallowAxis) << "\xc2\xb0.</text>\n";
    y += kCaptionLine;
    o << "<text x=\"52\" y=\"" << svg_number(y) << "\" class=\"legend\">Circles: the " << format_number("%g", b.confidence)
      << " % confidence cones around the final axes (drawn up to " << format_number("%g", kWidestCone)
      << "\xc2\xb0); open rings: the stage-4 nearest-tensor axes. Quality " << r.quality.rank << " ("
      << xml_text(r.quality.reasons.empty() ? b.stats.quality.reason : r.quality.reasons.front()) << ").</text>\n";
    y += kCaptionLine;
    if (const std::string u = unresolved_axes(r); !u.empty()) {
      o << "<text id=\"unresolved\" x=\"52\" y=\"" << svg_number(y) << "\" class=\"legend\">" << u << "</text>\n";
      y += kCaptionLine;
    }
  }
  if (e.starts.ambiguous()) {
    o << "<text x=\"52\" y=\"" << svg_number(y) << "\" class=\"legend\" fill=\"#a00000\">"
      << xml_text(ambiguity_warning(r)) << "</text>\n";
  }
  o << "</g>\n";
}

}  // namespace zk::batch
