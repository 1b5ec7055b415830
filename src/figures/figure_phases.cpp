#include "figures/figure_phases.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "figures/figure_ensemble.hpp"
#include "results/result_json.hpp"

namespace zk::batch {

namespace {

constexpr double kPanelHeight = 600.0;
constexpr double kNetRadius = 105.0;
constexpr double kNetSpacing = 270.0;
constexpr double kBinDeg = 3.0;     // histogram classes
constexpr double kHistogramTop = 90.0;  // misfits beyond go to the last class

std::string fmt(const char* f, double v) { return format_number(f, std::isfinite(v) ? v : 0.0); }

std::string at(Point p) { return "cx=\"" + svg_number(p.x) + "\" cy=\"" + svg_number(p.y) + "\""; }

void net_frame(std::ostringstream& o, const NetFrame& f, const std::string& heading) {
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

// The axes of a tensor: sigma L as a disc with L in it, in the phase colour.
void axes_marks(std::ostringstream& o, const NetFrame& f, const TensorSnapshot& t, const char* colour) {
  for (int L = 1; L <= 3; ++L) {
    const Point p = net_point(f, static_cast<double>(t.ROT(L, 1)), static_cast<double>(t.ROT(L, 2)),
                              static_cast<double>(t.ROT(L, 3)));
    o << "<circle " << at(p) << " r=\"8\" fill=\"" << colour << "\" stroke=\"#000000\" stroke-width=\"1\"/>"
      << "<text x=\"" << svg_number(p.x) << "\" y=\"" << svg_number(p.y + 4.0)
      << "\" font-size=\"11\" font-weight=\"bold\" text-anchor=\"middle\" fill=\"#000000\">" << L << "</text>";
  }
  o << "\n";
}

void bic_chart(std::ostringstream& o, const phases::Separation& s, double x0, double y0) {
  const double w = 300.0, h = 190.0;
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
  const auto X = [&](int k) { return x0 + w * (static_cast<double>(k) - 0.5) / phases::kMaxPhases; };
  const auto Y = [&](double b) { return y0 + 15.0 + (h - 30.0) * (hi - b) / (hi - lo); };
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
  }
  for (int k = 1; k <= phases::kMaxPhases; ++k) {
    o << "<text x=\"" << svg_number(X(k)) << "\" y=\"" << svg_number(y0 + h + 16.0) << "\" class=\"tick\">" << k
      << "</text>";
  }
  o << "<text x=\"" << svg_number(x0 + w / 2.0) << "\" y=\"" << svg_number(y0 + h + 34.0)
    << "\" class=\"tick\">k (filled: the answer)</text>\n</g>\n";
}

void misfit_histogram_panel(std::ostringstream& o, const RunReport& r, double x0, double y0) {
  const phases::Separation& s = *r.separation;
  const double w = 600.0, h = 190.0;
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
  const double bw = w / kBins;
  o << "<g id=\"phases-histogram\">\n<text x=\"" << svg_number(x0 + w / 2.0) << "\" y=\"" << svg_number(y0 - 12.0)
    << "\" class=\"heading\">Misfit of each datum to its own phase</text>\n";
  for (int b = 0; b < kBins; ++b) {
    double y = y0 + h;
    for (std::size_t p = 0; p < counts[static_cast<std::size_t>(b)].size(); ++p) {
      const int n = counts[static_cast<std::size_t>(b)][p];
      if (n == 0) continue;
      const double bh = h * n / top;
      y -= bh;
      o << "<rect x=\"" << svg_number(x0 + b * bw + 0.5) << "\" y=\"" << svg_number(y) << "\" width=\""
        << svg_number(bw - 1.0) << "\" height=\"" << svg_number(bh) << "\" fill=\"" << phase_colour(static_cast<int>(p))
        << "\"><title>" << n << (p == 0 ? " of no phase" : " of phase " + std::to_string(p)) << "</title></rect>";
    }
  }
  o << "\n<line x1=\"" << svg_number(x0) << "\" y1=\"" << svg_number(y0 + h) << "\" x2=\"" << svg_number(x0 + w)
    << "\" y2=\"" << svg_number(y0 + h) << "\" stroke=\"#000000\"/>\n";
  for (int deg = 0; deg <= static_cast<int>(kHistogramTop); deg += 15) {
    o << "<text x=\"" << svg_number(x0 + w * deg / kHistogramTop) << "\" y=\"" << svg_number(y0 + h + 16.0)
      << "\" class=\"tick\">" << deg << "</text>";
  }
  const double xc = x0 + w * std::min(s.options.outlier_misfit_deg, kHistogramTop) / kHistogramTop;
  o << "\n<line id=\"outlier-misfit\" x1=\"" << svg_number(xc) << "\" y1=\"" << svg_number(y0) << "\" x2=\""
    << svg_number(xc) << "\" y2=\"" << svg_number(y0 + h) << "\" stroke=\"#000000\" stroke-dasharray=\"6,4\"/>"
    << "<text x=\"" << svg_number(xc + 4.0) << "\" y=\"" << svg_number(y0 + 12.0) << "\" class=\"legend\">outlier misfit "
    << fmt("%g", s.options.outlier_misfit_deg) << "\xc2\xb0</text>\n";
  o << "<text x=\"" << svg_number(x0 + w / 2.0) << "\" y=\"" << svg_number(y0 + h + 34.0)
    << "\" class=\"tick\">misfit (degrees, " << fmt("%g", kBinDeg) << "-degree classes; the last holds all beyond)</text>\n</g>\n";
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
    << "text-anchor=\"middle\">Stress phases: " << s.k << (s.automatic ? " (chosen by BIC)" : " (given)")
    << "; hollow: ambiguous (largest posterior below 0.9); grey: no phase</text>\n";
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
  const double cy = top + 60.0 + 14.0 + kNetRadius + 10.0;
  const std::size_t nets = s.phases.size() + 1;
  const double x_first = 750.0 - kNetSpacing * static_cast<double>(nets - 1) / 2.0;
  for (std::size_t j = 0; j < s.phases.size(); ++j) {
    const phases::Phase& p = s.phases[j];
    const int phase = static_cast<int>(j + 1);
    const NetFrame f{x_first + kNetSpacing * static_cast<double>(j), cy, kNetRadius};
    o << "<g id=\"phase-net-" << phase << "\">\n";
    net_frame(o, f, "Phase " + std::to_string(phase) + ": " + std::to_string(p.members.size()) + " data, R = " +
                        fmt("%.2f", static_cast<double>(p.tensor.P(4))));
    for (int i : p.members) {
      const auto ui = static_cast<std::size_t>(i);
      datum_dot(o, f, r.data[ui], phase_colour(phase), s.data[ui].ambiguous);
    }
    o << "\n";
    if (j < s.bootstrap.size()) {
      // A cone wider than kWidestCone would read as a fault plane: the axis
      // is said to be not resolved under the net instead, as on the main net.
      std::string unresolved;
      for (int L = 1; L <= 3; ++L) {
        const auto& cone = s.bootstrap[j].stats.cone_deg[L - 1];
        if (!cone) continue;
        if (*cone > kWidestCone) {
          unresolved += (unresolved.empty() ? "" : ", ") + std::string("sigma ") + std::to_string(L) + " " +
                        format_number("%.0f", *cone) + "\xc2\xb0";
          continue;
        }
        const double a[3] = {static_cast<double>(p.tensor.ROT(L, 1)), static_cast<double>(p.tensor.ROT(L, 2)),
                             static_cast<double>(p.tensor.ROT(L, 3))};
        o << "<path class=\"cone\" d=\"" << cone_path(f, a, *cone) << "\" fill=\"none\" stroke=\"#000000\" "
          << "stroke-dasharray=\"3,2\"/>\n";
      }
      if (!unresolved.empty()) {
        o << "<text class=\"legend\" x=\"" << svg_number(f.cx) << "\" y=\"" << svg_number(f.cy + f.radius + 16.0)
          << "\" text-anchor=\"middle\">not resolved (cones over " << format_number("%g", kWidestCone)
          << "\xc2\xb0): " << unresolved << "</text>\n";
      }
    }
    axes_marks(o, f, p.tensor, phase_colour(phase));
    o << "</g>\n";
  }
  const NetFrame common{x_first + kNetSpacing * static_cast<double>(nets - 1), cy, kNetRadius};
  o << "<g id=\"phase-net-common\">\n";
  net_frame(o, common, "Every phase's axes");
  for (std::size_t i = 0; i < s.data.size(); ++i) {
    if (s.data[i].phase == 0) datum_dot(o, common, r.data[i], phase_colour(0), false);
  }
  for (std::size_t j = 0; j < s.phases.size(); ++j) axes_marks(o, common, s.phases[j].tensor, phase_colour(static_cast<int>(j + 1)));
  o << "</g>\n";
  const double y2 = cy + kNetRadius + 70.0;
  bic_chart(o, s, 220.0, y2);
  misfit_histogram_panel(o, r, 720.0, y2);
  o << "</g>\n";
}

}  // namespace zk::batch
