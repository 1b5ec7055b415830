#include "figures/figure_phases.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "figures/figure_ensemble.hpp"
#include "results/result_json.hpp"

namespace zk::batch {

namespace {

constexpr double kNetRadius = 105.0;
constexpr double kNetSpacing = 270.0;
constexpr double kBinDeg = 3.0;     // histogram classes
constexpr double kHistogramTop = 90.0;  // misfits beyond go to the last class
// From the panel's top: the nets' centre line, and the charts' top from it.
constexpr double kNetsCentre = 232.0;
constexpr double kChartsBelowNets = kNetRadius + 90.0;
constexpr double kChartHeight = 190.0;
constexpr double kPanelHeight = kNetsCentre + kChartsBelowNets + kChartHeight + 46.0;
constexpr const char* kSigma = "\xcf\x83";
constexpr const char* kDegree = "\xc2\xb0";

std::string fmt(const char* f, double v) { return format_number(f, std::isfinite(v) ? v : 0.0); }

std::string at(Point p) { return "cx=\"" + svg_number(p.x) + "\" cy=\"" + svg_number(p.y) + "\""; }

// The net's group opens with its geometry, as the main net's does.
void net_frame(std::ostringstream& o, const NetFrame& f, const std::string& id, const std::string& heading) {
  o << "<g id=\"" << id << "\" data-cx=\"" << svg_data_number(f.cx) << "\" data-cy=\"" << svg_data_number(f.cy)
    << "\" data-radius=\"" << svg_data_number(f.radius) << "\">\n";
  o << "<text x=\"" << svg_number(f.cx) << "\" y=\"" << svg_number(f.cy - f.radius - 14.0) << "\" class=\"heading\">"
    << heading << "</text>\n";
  o << "<circle cx=\"" << svg_number(f.cx) << "\" cy=\"" << svg_number(f.cy) << "\" r=\"" << svg_number(f.radius)
    << "\" fill=\"#ffffff\" stroke=\"#000000\" stroke-width=\"1.2\"/>";
  o << "<text x=\"" << svg_number(f.cx) << "\" y=\"" << svg_number(f.cy - f.radius - 2.0)
    << "\" class=\"tick\">N</text>\n";
}

// The slip direction of datum i as a dot: filled in `colour`, hollow when
// ambiguous.
void datum_dot(std::ostringstream& o, const NetFrame& f, const Datum& d, const char* colour, bool hollow) {
  const Point p = net_point(f, static_cast<double>(d.STR(1)), static_cast<double>(d.STR(2)),
                            static_cast<double>(d.STR(3)));
  o << "<circle " << at(p) << " r=\"2.6\"";
  if (hollow) {
    o << " fill=\"#ffffff\" stroke=\"" << colour << "\" stroke-width=\"1.2\"/>";
  } else {
    o << " fill=\"" << colour << "\"/>";
  }
}

struct Tag {
  Point at;  // the disc's centre
  int phase;
};

// The axes of phase `phase`'s tensor: sigma L as a disc in the phase colour
// with L in it; an axis within kHorizontalAxis of horizontal at both ends of
// its line. `tags` (the common net) receives each disc, to be tagged with
// its phase once every disc is drawn.
void axes_marks(std::ostringstream& o, const NetFrame& f, const TensorSnapshot& t, int phase, std::vector<Tag>* tags) {
  const char* colour = phase_colour(phase);
  for (int L = 1; L <= 3; ++L) {
    const double pl = static_cast<double>(t.PEN(L)), dir = static_cast<double>(t.DIRE(L));
    if (!std::isfinite(pl) || !std::isfinite(dir)) continue;
    const Point p = net_point_of(f, pl, dir);
    std::vector<Point> ends{p};
    if (std::fabs(pl) <= kHorizontalAxis) ends.push_back(Point{2.0 * f.cx - p.x, 2.0 * f.cy - p.y});
    for (std::size_t e = 0; e < ends.size(); ++e) {
      const Point q = ends[e];
      o << "<g class=\"" << (e == 0 ? "phase-axis" : "phase-axis other-end") << "\" data-phase=\"" << phase
        << "\" data-sigma=\"" << L << "\" data-x=\"" << svg_data_number(q.x) << "\" data-y=\"" << svg_data_number(q.y)
        << "\"><title>phase " << phase << ", sigma " << L << ": direction " << fmt("%.1f", dir) << ", plunge "
        << fmt("%.1f", pl) << (e == 0 ? "" : " (other end of the line)") << "</title>";
      o << "<circle " << at(q) << " r=\"8\" fill=\"" << colour << "\" stroke=\"#000000\" stroke-width=\"1\"/>"
        << "<text x=\"" << svg_number(q.x) << "\" y=\"" << svg_number(q.y + 4.0)
        << "\" font-size=\"11\" font-weight=\"bold\" text-anchor=\"middle\" fill=\"#000000\">" << L << "</text>";
      if (tags != nullptr) tags->push_back(Tag{q, phase});
      o << "</g>";
    }
  }
  o << "\n";
}

// Each disc's phase ("P1") beside it, at the first of eight places around
// it that covers no disc, no tag written before and not the net's "N";
// else at the first place.
void phase_tags(std::ostringstream& o, const NetFrame& f, const std::vector<Tag>& tags) {
  constexpr double kW = 14.0, kH = 9.0, kDisc = 8.0;  // a tag's box; a disc's radius
  struct Box {
    double x0, y0, x1, y1;
  };
  std::vector<Box> taken{{f.cx - 5.0, f.cy - f.radius - 12.0, f.cx + 5.0, f.cy - f.radius}};  // the "N"
  const auto hits_disc = [&](const Box& b) {
    for (const Tag& t : tags) {
      const double dx = std::max({b.x0 - t.at.x, 0.0, t.at.x - b.x1}), dy = std::max({b.y0 - t.at.y, 0.0, t.at.y - b.y1});
      if (dx * dx + dy * dy < kDisc * kDisc) return true;
    }
    return false;
  };
  static constexpr double kPlaces[8][2] = {{9, -6}, {9, 12}, {-23, -6}, {-23, 12}, {-7, -11}, {-7, 19}, {11, 3}, {-25, 3}};
  for (const Tag& t : tags) {
    std::size_t pick = 0;
    for (std::size_t k = 0; k < 8; ++k) {
      const Box b{t.at.x + kPlaces[k][0], t.at.y + kPlaces[k][1] - kH, t.at.x + kPlaces[k][0] + kW, t.at.y + kPlaces[k][1]};
      bool free = !hits_disc(b);
      for (const Box& q : taken) free = free && !(b.x0 < q.x1 && q.x0 < b.x1 && b.y0 < q.y1 && q.y0 < b.y1);
      if (free) {
        pick = k;
        break;
      }
    }
    const double x = t.at.x + kPlaces[pick][0], y = t.at.y + kPlaces[pick][1];
    taken.push_back(Box{x, y - kH, x + kW, y});
    o << "<text class=\"phase-tag\" data-phase=\"" << t.phase << "\" x=\"" << svg_number(x) << "\" y=\"" << svg_number(y)
      << "\" font-size=\"10\" font-weight=\"bold\" fill=\"" << phase_colour(t.phase)
      << "\" stroke=\"#ffffff\" stroke-width=\"2.5\" paint-order=\"stroke\">P" << t.phase << "</text>";
  }
  o << "\n";
}

// A step of 1, 2 or 5 times a power of ten giving at most `most` steps over
// `span`.
double tick_step(double span, int most) {
  if (!(span > 0.0) || !std::isfinite(span)) return 1.0;
  double step = std::pow(10.0, std::floor(std::log10(span / most)));
  for (double m : {1.0, 2.0, 5.0, 10.0}) {
    if (span / (m * step) <= most) return m * step;
  }
  return 10.0 * step;
}

// A vertical scale at x from value lo (at y_lo) to hi (at y_hi), ticks left.
void y_scale(std::ostringstream& o, double x, double y_lo, double y_hi, double lo, double hi, int most,
             const char* format) {
  const double step = tick_step(hi - lo, most);
  o << "<g class=\"y-scale\"><line x1=\"" << svg_number(x) << "\" y1=\"" << svg_number(y_lo) << "\" x2=\""
    << svg_number(x) << "\" y2=\"" << svg_number(y_hi) << "\" stroke=\"#000000\"/>";
  for (double v = std::ceil(lo / step - 1e-9) * step; v <= hi + 1e-9 * step; v += step) {
    const double y = y_lo + (y_hi - y_lo) * (v - lo) / (hi - lo);
    o << "<line x1=\"" << svg_number(x - 4.0) << "\" y1=\"" << svg_number(y) << "\" x2=\"" << svg_number(x)
      << "\" y2=\"" << svg_number(y) << "\" stroke=\"#000000\"/><text class=\"count\" x=\"" << svg_number(x - 6.0)
      << "\" y=\"" << svg_number(y + 4.0) << "\">" << fmt(format, std::fabs(v) < 1e-9 * step ? 0.0 : v) << "</text>";
  }
  o << "</g>\n";
}

// An axis title turned to run up the left of a chart.
void y_title(std::ostringstream& o, double x, double y, const std::string& text) {
  o << "<text class=\"legend\" x=\"" << svg_number(x) << "\" y=\"" << svg_number(y) << "\" text-anchor=\"middle\" "
    << "transform=\"rotate(-90 " << svg_number(x) << " " << svg_number(y) << ")\">" << text << "</text>\n";
}

void bic_chart(std::ostringstream& o, const phases::Separation& s, double x0, double y0) {
  const double w = 300.0, h = kChartHeight;
  o << "<g id=\"phases-bic\">\n<text x=\"" << svg_number(x0 + w / 2.0) << "\" y=\"" << svg_number(y0 - 12.0)
    << "\" class=\"heading\">BIC against the number of phases</text>\n";
  o << "<rect x=\"" << svg_number(x0) << "\" y=\"" << svg_number(y0) << "\" width=\"" << w << "\" height=\"" << h
    << "\" fill=\"none\" stroke=\"#000000\"/>\n";
  if (s.models.empty()) {
    o << "</g>\n";
    return;
  }
  double lo = s.models[0].bic, hi = lo;
  for (const phases::Model& m : s.models) {
    lo = std::min(lo, m.bic);
    hi = std::max(hi, m.bic);
  }
  if (hi - lo < 1.0) hi = lo + 1.0;
  constexpr double kRoom = 15.0;  // between the extreme points and the frame
  const auto X = [&](int k) { return x0 + w * (static_cast<double>(k) - 0.5) / phases::kMaxPhases; };
  const auto Y = [&](double b) { return y0 + kRoom + (h - 2.0 * kRoom) * (hi - b) / (hi - lo); };
  // The scale over the whole frame: the values at its bottom and top.
  const double per_unit = (h - 2.0 * kRoom) / (hi - lo);
  y_scale(o, x0, y0 + h, y0, lo - kRoom / per_unit, hi + kRoom / per_unit, 5, "%g");
  y_title(o, x0 - 52.0, y0 + h / 2.0, "BIC (lower is better)");
  std::string path;
  for (const phases::Model& m : s.models) path += (path.empty() ? "M" : " L") + svg_number(X(m.k)) + "," + svg_number(Y(m.bic));
  o << "<path d=\"" << path << "\" fill=\"none\" stroke=\"#404040\" stroke-width=\"1.5\"/>\n";
  for (std::size_t i = 0; i < s.models.size(); ++i) {
    const phases::Model& m = s.models[i];
    const bool chosen = i == s.chosen_model;
    o << "<circle cx=\"" << svg_number(X(m.k)) << "\" cy=\"" << svg_number(Y(m.bic)) << "\" r=\"" << (chosen ? 6 : 4)
      << "\" fill=\"" << (chosen ? "#000000" : "#ffffff") << "\" stroke=\"#000000\"><title>k = " << m.k
      << ": BIC " << fmt("%.1f", m.bic) << "</title></circle>"
      << "<text x=\"" << svg_number(X(m.k) + 8.0) << "\" y=\"" << svg_number(Y(m.bic) - 6.0) << "\" class=\"count\""
      << " text-anchor=\"start\">" << fmt("%.1f", m.bic) << "</text>\n";
    // A tick for each k computed only: a k whose every start dropped has
    // no BIC and no tick.
    o << "<line x1=\"" << svg_number(X(m.k)) << "\" y1=\"" << svg_number(y0 + h) << "\" x2=\"" << svg_number(X(m.k))
      << "\" y2=\"" << svg_number(y0 + h + 4.0) << "\" stroke=\"#000000\"/><text class=\"tick k-tick\" x=\""
      << svg_number(X(m.k)) << "\" y=\"" << svg_number(y0 + h + 16.0) << "\">" << m.k << "</text>";
  }
  o << "<text x=\"" << svg_number(x0 + w / 2.0) << "\" y=\"" << svg_number(y0 + h + 34.0)
    << "\" class=\"tick\">k, the number of phases (filled: the answer)</text>\n</g>\n";
}

void misfit_histogram_panel(std::ostringstream& o, const RunReport& r, double x0, double y0) {
  const phases::Separation& s = *r.separation;
  const double w = 600.0, h = kChartHeight;
  constexpr int kBins = static_cast<int>(kHistogramTop / kBinDeg);
  // counts[bin][phase], phase 0 = none (its smallest misfit)
  std::vector<std::vector<int>> counts(kBins, std::vector<int>(s.phases.size() + 1, 0));
  for (const phases::DatumPhase& d : s.data) {
    if (d.misfit_deg.empty()) continue;
    const double m = d.phase > 0 ? d.misfit_deg[static_cast<std::size_t>(d.phase - 1)]
                                 : *std::min_element(d.misfit_deg.begin(), d.misfit_deg.end());
    const int bin = std::clamp(static_cast<int>(m / kBinDeg), 0, kBins - 1);
    ++counts[static_cast<std::size_t>(bin)][static_cast<std::size_t>(d.phase)];
  }
  int top = 1;
  for (const auto& c : counts) {
    int sum = 0;
    for (int v : c) sum += v;
    top = std::max(top, sum);
  }
  // The top of the scale: a whole number of its steps, at least the
  // highest class.
  const double step = tick_step(top, 5);
  const double scale_top = std::max(1.0, std::ceil(top / step) * step);
  const double bw = w / kBins;
  o << "<g id=\"phases-histogram\">\n<text x=\"" << svg_number(x0 + w / 2.0) << "\" y=\"" << svg_number(y0 - 12.0)
    << "\" class=\"heading\">Misfit of each datum to its own phase</text>\n";
  for (int b = 0; b < kBins; ++b) {
    double y = y0 + h;
    for (std::size_t p = 0; p < counts[static_cast<std::size_t>(b)].size(); ++p) {
      const int n = counts[static_cast<std::size_t>(b)][p];
      if (n == 0) continue;
      const double bh = h * n / scale_top;
      y -= bh;
      o << "<rect x=\"" << svg_number(x0 + b * bw + 0.5) << "\" y=\"" << svg_number(y) << "\" width=\""
        << svg_number(bw - 1.0) << "\" height=\"" << svg_number(bh) << "\" fill=\"" << phase_colour(static_cast<int>(p))
        << "\"><title>" << n << (p == 0 ? " of no phase" : " of phase " + std::to_string(p)) << "</title></rect>";
    }
  }
  o << "\n<line x1=\"" << svg_number(x0) << "\" y1=\"" << svg_number(y0 + h) << "\" x2=\"" << svg_number(x0 + w)
    << "\" y2=\"" << svg_number(y0 + h) << "\" stroke=\"#000000\"/>\n";
  y_scale(o, x0, y0 + h, y0, 0.0, scale_top, 5, "%g");
  y_title(o, x0 - 36.0, y0 + h / 2.0, "data");
  for (int deg = 0; deg <= static_cast<int>(kHistogramTop); deg += 15) {
    o << "<text x=\"" << svg_number(x0 + w * deg / kHistogramTop) << "\" y=\"" << svg_number(y0 + h + 16.0)
      << "\" class=\"tick\">" << deg << "</text>";
  }
  const double xc = x0 + w * std::min(s.options.outlier_misfit_deg, kHistogramTop) / kHistogramTop;
  o << "\n<line id=\"outlier-misfit\" x1=\"" << svg_number(xc) << "\" y1=\"" << svg_number(y0) << "\" x2=\""
    << svg_number(xc) << "\" y2=\"" << svg_number(y0 + h) << "\" stroke=\"#000000\" stroke-dasharray=\"6,4\"/>"
    << "<text x=\"" << svg_number(xc + 4.0) << "\" y=\"" << svg_number(y0 + 12.0) << "\" class=\"legend\">outlier misfit "
    << fmt("%g", s.options.outlier_misfit_deg) << kDegree << "</text>\n";
  o << "<text x=\"" << svg_number(x0 + w / 2.0) << "\" y=\"" << svg_number(y0 + h + 34.0)
    << "\" class=\"tick\">misfit (degrees, " << fmt("%g", kBinDeg) << "-degree classes; the last holds all beyond)</text>\n</g>\n";
}

// The colours of the phases, their sizes, and how the marks read.
void colour_legend(std::ostringstream& o, const RunReport& r, double y) {
  const phases::Separation& s = *r.separation;
  int none = 0;
  for (const phases::DatumPhase& d : s.data) none += d.phase == 0 ? 1 : 0;
  std::vector<std::string> items;
  for (std::size_t j = 0; j < s.phases.size(); ++j) {
    items.push_back("phase " + std::to_string(j + 1) + " (" + std::to_string(s.phases[j].members.size()) + " data)");
  }
  items.push_back("no phase (" + std::to_string(none) + ")");
  // Width of a legend text at 12 px, near enough to lay the items out.
  const auto width = [](const std::string& t) { return 6.8 * static_cast<double>(t.size()); };
  const std::string marks = std::string("dot: slip direction of a datum, hollow: ambiguous (largest posterior below 0.9);") +
                            " disc: an axis, 1, 2, 3 for " + kSigma + "1, " + kSigma + "2, " + kSigma +
                            "3 (P1, P2..: its phase, on the common net)";
  double total = 0.0;
  for (const std::string& t : items) total += 16.0 + width(t) + 18.0;
  double x = 750.0 - total / 2.0;
  o << "<g id=\"phase-legend\">";
  for (std::size_t j = 0; j < items.size(); ++j) {
    const int phase = j + 1 < items.size() ? static_cast<int>(j + 1) : 0;
    o << "<rect class=\"swatch\" data-phase=\"" << phase << "\" x=\"" << svg_number(x) << "\" y=\"" << svg_number(y - 10.0)
      << "\" width=\"12\" height=\"12\" fill=\"" << phase_colour(phase) << "\" stroke=\"#000000\" stroke-width=\"0.5\"/>"
      << "<text class=\"legend\" x=\"" << svg_number(x + 16.0) << "\" y=\"" << svg_number(y) << "\">" << items[j] << "</text>";
    x += 16.0 + width(items[j]) + 18.0;
  }
  o << "\n<text class=\"legend\" x=\"750\" y=\"" << svg_number(y + 18.0) << "\" text-anchor=\"middle\">" << marks
    << "</text></g>\n";
}

// Under phase j's net, in its colour: its axes, R and quality, then the axes
// its bootstrap does not resolve.
void net_caption(std::ostringstream& o, const RunReport& r, std::size_t j, const NetFrame& f,
                 const std::string& unresolved) {
  const phases::Phase& p = r.separation->phases[j];
  const int phase = static_cast<int>(j + 1);
  std::string axes;
  for (int L = 1; L <= 3; ++L) {
    // Whole degrees; a trend that rounds to 360 is written 0.
    std::string trend = fmt("%.0f", static_cast<double>(p.tensor.DIRE(L)));
    if (trend == "360") trend = "0";
    axes += (L == 1 ? "" : "  ") + std::string(kSigma) + std::to_string(L) + " " + trend + "/" +
            fmt("%.0f", static_cast<double>(p.tensor.PEN(L)));
  }
  std::string second = "R = " + fmt("%.2f", static_cast<double>(p.tensor.P(4)));
  if (j < r.phase_quality.size()) second += ";  quality " + std::string(1, r.phase_quality[j].rank);
  o << "<g class=\"phase-caption\" data-phase=\"" << phase << "\" fill=\"" << phase_colour(phase)
    << "\" font-size=\"12\" font-weight=\"bold\" text-anchor=\"middle\">"
    << "<text x=\"" << svg_number(f.cx) << "\" y=\"" << svg_number(f.cy + f.radius + 18.0) << "\">" << axes << "</text>"
    << "<text x=\"" << svg_number(f.cx) << "\" y=\"" << svg_number(f.cy + f.radius + 34.0) << "\">" << second << "</text></g>\n";
  if (!unresolved.empty()) {
    o << "<text class=\"legend unresolved\" x=\"" << svg_number(f.cx) << "\" y=\"" << svg_number(f.cy + f.radius + 50.0)
      << "\" text-anchor=\"middle\">not resolved (cones over " << format_number("%g", kWidestCone) << kDegree
      << "): " << unresolved << "</text>\n";
  }
}

}  // namespace

const char* phase_colour(int phase) {
  static const char* const kColours[] = {"#999999", "#0072B2", "#E69F00", "#009E73", "#CC79A7"};
  return kColours[std::clamp(phase, 0, phases::kMaxPhases)];
}

double phases_panel_height(const RunReport& r) { return r.separation ? kPanelHeight : 0.0; }

void phases_panel(std::ostringstream& o, const RunReport& r, double top) {
  if (!r.separation) return;
  const phases::Separation& s = *r.separation;
  o << "<g id=\"phases\" data-k=\"" << s.k << "\">\n";
  o << "<text x=\"750\" y=\"" << svg_number(top + 24.0) << "\" font-size=\"16\" font-weight=\"bold\" "
    << "text-anchor=\"middle\">Stress phases: " << s.k << (s.automatic ? " (chosen by BIC)" : " (given)") << "</text>\n";
  {
    std::string votes;
    for (std::size_t k = 0; k < s.k_votes.size(); ++k) {
      if (s.k_votes[k] > 0) votes += (votes.empty() ? "" : ", ") + std::string("k = ") + std::to_string(k + 1) + " by " + std::to_string(s.k_votes[k]);
    }
    const phases::Model& m = s.models[s.chosen_model];
    o << "<text id=\"phase-searches\" x=\"750\" y=\"" << svg_number(top + 42.0) << "\" class=\"legend\" "
      << "text-anchor=\"middle\">" << s.restarts << " independent searches; chosen on their own: "
      << (votes.empty() ? std::string("none admissible") : votes) << "; objective J = " << fmt("%.3f", m.objective_rad2)
      << " rad\xc2\xb2, spread over the searches " << fmt("%.1f", 100.0 * m.objective_spread) << " %</text>\n";
  }
  colour_legend(o, r, top + 64.0);
  const double cy = top + kNetsCentre;
  const std::size_t nets = s.phases.size() + 1;
  const double x_first = 750.0 - kNetSpacing * static_cast<double>(nets - 1) / 2.0;
  for (std::size_t j = 0; j < s.phases.size(); ++j) {
    const phases::Phase& p = s.phases[j];
    const int phase = static_cast<int>(j + 1);
    const NetFrame f{x_first + kNetSpacing * static_cast<double>(j), cy, kNetRadius};
    net_frame(o, f, "phase-net-" + std::to_string(phase),
              "Phase " + std::to_string(phase) + ": " + std::to_string(p.members.size()) + " data");
    for (int i : p.members) {
      const auto ui = static_cast<std::size_t>(i);
      datum_dot(o, f, r.data[ui], phase_colour(phase), s.data[ui].ambiguous);
    }
    o << "\n";
    // A cone wider than kWidestCone would read as a fault plane: the axis
    // is said to be not resolved under the net instead, as on the main net.
    std::string unresolved;
    if (j < s.bootstrap.size()) {
      for (int L = 1; L <= 3; ++L) {
        const auto& cone = s.bootstrap[j].stats.cone_deg[L - 1];
        if (!cone) continue;
        if (!(*cone <= kWidestCone)) {
          unresolved += (unresolved.empty() ? "" : ", ") + std::string(kSigma) + std::to_string(L) + " " +
                        format_number("%.0f", *cone) + kDegree;
          continue;
        }
        const double a[3] = {static_cast<double>(p.tensor.ROT(L, 1)), static_cast<double>(p.tensor.ROT(L, 2)),
                             static_cast<double>(p.tensor.ROT(L, 3))};
        o << "<path class=\"cone\" data-sigma=\"" << L << "\" data-half-angle=\"" << format_number("%.3f", *cone)
          << "\" d=\"" << cone_path(f, a, *cone) << "\" fill=\"none\" stroke=\"#000000\" stroke-dasharray=\"3,2\"/>\n";
      }
    }
    axes_marks(o, f, p.tensor, phase, nullptr);
    o << "</g>\n";
    net_caption(o, r, j, f, unresolved);
  }
  const NetFrame common{x_first + kNetSpacing * static_cast<double>(nets - 1), cy, kNetRadius};
  net_frame(o, common, "phase-net-common", "Every phase's axes");
  for (std::size_t i = 0; i < s.data.size(); ++i) {
    if (s.data[i].phase == 0) datum_dot(o, common, r.data[i], phase_colour(0), false);
  }
  std::vector<Tag> tags;
  for (std::size_t j = 0; j < s.phases.size(); ++j) axes_marks(o, common, s.phases[j].tensor, static_cast<int>(j + 1), &tags);
  phase_tags(o, common, tags);
  o << "</g>\n<text class=\"legend\" x=\"" << svg_number(common.cx) << "\" y=\"" << svg_number(cy + kNetRadius + 18.0)
    << "\" text-anchor=\"middle\">grey dots: the data of no phase</text>\n";
  const double y2 = cy + kChartsBelowNets;
  bic_chart(o, s, 220.0, y2);
  misfit_histogram_panel(o, r, 720.0, y2);
  o << "</g>\n";
}

}  // namespace zk::batch
