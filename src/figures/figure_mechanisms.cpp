#include "figures/figure_mechanisms.hpp"

#include <cmath>
#include <cstdio>

#include "runtime/fixed.hpp"

namespace zk::batch {
namespace {

constexpr double kPanelHeight = 420.0;

}  // namespace

void mechanisms_net_layer(std::ostringstream& o, const RunReport& r, const NetFrame& f, bool planes) {
  if (!r.mechanisms) return;
  const MechanismsReport& m = *r.mechanisms;
  o << "<g id=\"auxiliary-planes\" fill=\"none\">\n";
  for (std::size_t k = 0; k < m.events.size(); ++k) {
    const mech::Event& e = m.events[k];
    const mech::EventOutcome& c = m.outcome.events[k];
    const mech::DoubleCouple& other = e.read[c.plane == 1 ? 1 : 0];
    const mech::DoubleCouple& chosen = e.read[c.plane == 1 ? 0 : 1];
    if (planes) {
      o << "<path class=\"auxiliary\" d=\"" << great_circle(f, other.normal[0], other.normal[1], other.normal[2])
        << "\" stroke=\"#b0b0b0\" stroke-width=\"0.5\" stroke-dasharray=\"3,2\"><title>event " << e.number
        << ": the plane not chosen</title></path>\n";
    }
    if (c.undecided) {
      const Point p = net_point(f, chosen.slip[0], chosen.slip[1], chosen.slip[2]);
      o << "<circle class=\"undecided\" cx=\"" << svg_number(p.x) << "\" cy=\"" << svg_number(p.y)
        << "\" r=\"5.5\" stroke=\"" << kUndecidedColour << "\" stroke-width=\"1.6\"><title>event " << e.number
        << ": undecided</title></circle>\n";
    }
  }
  o << "</g>\n";
}

void mechanisms_mohr_layer(std::ostringstream& o, const RunReport& r, const std::function<double(double)>& X,
                           const std::function<double(double)>& Y, double s1, double s3) {
  if (!r.mechanisms) return;
  const MechanismsReport& m = *r.mechanisms;
  const double mu = m.outcome.start.friction;
  // The Coulomb line of slope mu tangent to the sigma 1 - sigma 3 circle.
  const double centre = (s1 + s3) / 2.0, radius = (s1 - s3) / 2.0;
  const double c = centre - radius * std::sqrt(1.0 + mu * mu) / mu;
  // Drawn up to a little above the circle's top.
  const double from = std::max(c, s3), to = std::min(s1, c + 1.15 * radius / mu);
  o << "<line id=\"coulomb\" x1=\"" << svg_number(X(from)) << "\" y1=\"" << svg_number(Y(mu * (from - c)))
    << "\" x2=\"" << svg_number(X(to)) << "\" y2=\"" << svg_number(Y(mu * (to - c)))
    << "\" stroke=\"#a00000\" stroke-width=\"1\" stroke-dasharray=\"6,3\"><title>Coulomb line, friction "
    << rt::fixed(mu, 2) << "</title></line>\n";
  const Matrix3 T = reduced_tensor(r.run.final_tensor());
  o << "<g id=\"other-planes\">\n";
  for (std::size_t k = 0; k < m.events.size(); ++k) {
    const mech::EventOutcome& ev = m.outcome.events[k];
    const PlaneStress a = plane_stress(T, m.events[k].read[ev.plane == 1 ? 0 : 1].normal);
    const PlaneStress b = plane_stress(T, m.events[k].read[ev.plane == 1 ? 1 : 0].normal);
    const std::string colour = ev.undecided ? kUndecidedColour : "#606060";
    o << "<line x1=\"" << svg_number(X(a.normal)) << "\" y1=\"" << svg_number(Y(a.shear)) << "\" x2=\""
      << svg_number(X(b.normal)) << "\" y2=\"" << svg_number(Y(b.shear)) << "\" stroke=\"" << colour
      << "\" stroke-opacity=\"0.35\" stroke-width=\"0.8\"/>";
    o << "<circle class=\"other\" cx=\"" << svg_number(X(b.normal)) << "\" cy=\"" << svg_number(Y(b.shear))
      << "\" r=\"3\" fill=\"none\" stroke=\"" << colour << "\" stroke-width=\"1\"><title>event "
      << m.events[k].number << ", the plane not chosen: misfit "
      << rt::fixed(ev.misfit[ev.plane == 1 ? 1 : 0], 1) << " degrees, instability "
      << rt::fixed(ev.instability[ev.plane == 1 ? 1 : 0], 2) << "</title></circle>\n";
  }
  o << "</g>\n";
}

double mechanisms_panel_height(const RunReport& r) { return r.mechanisms ? kPanelHeight : 0.0; }

void mechanisms_panel(std::ostringstream& o, const RunReport& r, double y) {
  if (!r.mechanisms) return;
  const MechanismsReport& m = *r.mechanisms;
  const NetFrame f{280.0, y + 215.0, 170.0};
  o << "<g id=\"pt-net\">\n";
  o << "<text x=\"" << svg_number(f.cx) << "\" y=\"" << svg_number(y + 26.0)
    << "\" class=\"heading\">P and T axes of the events</text>\n";
  o << "<circle cx=\"" << svg_number(f.cx) << "\" cy=\"" << svg_number(f.cy) << "\" r=\"" << svg_number(f.radius)
    << "\" fill=\"none\" stroke=\"#000000\" stroke-width=\"1.2\"/>\n";
  for (std::size_t k = 0; k < m.events.size(); ++k) {
    const mech::Event& e = m.events[k];
    const bool undecided = m.outcome.events[k].undecided;
    const Point p = net_point(f, e.pt.P[0], e.pt.P[1], e.pt.P[2]);
    const Point t = net_point(f, e.pt.T[0], e.pt.T[1], e.pt.T[2]);
    const std::string edge = undecided ? kUndecidedColour : "#000000";
    o << "<circle class=\"P\" cx=\"" << svg_number(p.x) << "\" cy=\"" << svg_number(p.y) << "\" r=\"3\" fill=\""
      << edge << "\"><title>event " << e.number << ": P</title></circle>";
    o << "<circle class=\"T\" cx=\"" << svg_number(t.x) << "\" cy=\"" << svg_number(t.y)
      << "\" r=\"3\" fill=\"#ffffff\" stroke=\"" << edge << "\" stroke-width=\"1.2\"><title>event " << e.number
      << ": T</title></circle>\n";
  }
  const TensorSnapshot& t = r.run.final_tensor();
  for (int L = 1; L <= 3; ++L) {
    const Point p = net_point(f, static_cast<double>(t.ROT(L, 1)), static_cast<double>(t.ROT(L, 2)),
                              static_cast<double>(t.ROT(L, 3)));
    o << "<rect class=\"final-axis\" x=\"" << svg_number(p.x - 6.0) << "\" y=\"" << svg_number(p.y - 6.0)
      << "\" width=\"12\" height=\"12\" fill=\"" << axis_fill(L) << "\" stroke=\"#ffffff\"><title>final sigma " << L
      << "</title></rect>";
    o << "<text x=\"" << svg_number(p.x + 9.0) << "\" y=\"" << svg_number(p.y - 7.0) << "\" class=\"legend\">\xcf\x83"
      << L << "</text>\n";
  }
  const double lx = 500.0;
  const char* lines[] = {"filled dot: P axis of an event; open dot: its T axis",
                         "squares: final principal axes (lower hemisphere, equal area)",
                         "orange: an undecided event (misfits within 5\xc2\xb0, instabilities within 0.05)",
                         "net above: dashed grey circles are the planes not chosen",
                         "Mohr diagram: open dots the planes not chosen; dashed red the Coulomb line"};
  double ly = y + 80.0;
  for (const char* line : lines) {
    o << "<text x=\"" << svg_number(lx) << "\" y=\"" << svg_number(ly) << "\" class=\"legend\">" << line << "</text>\n";
    ly += 20.0;
  }
  char buf[160];
  std::snprintf(buf, sizeof buf, "plane choice %s, friction %.2f, %s after %d engine run%s, %d undecided",
                mech::rule_name(m.options.rule), m.outcome.start.friction, mech::ended_name(m.outcome.ended),
                m.outcome.engine_runs, m.outcome.engine_runs == 1 ? "" : "s", m.outcome.undecided);
  o << "<text x=\"" << svg_number(lx) << "\" y=\"" << svg_number(ly + 10.0) << "\" class=\"legend\">" << buf << "</text>\n";
  o << "</g>\n";
}

}  // namespace zk::batch
