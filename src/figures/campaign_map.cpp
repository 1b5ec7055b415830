#include "figures/campaign_map.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <sstream>

#include "figures/figure_phases.hpp"
#include "figures/figure_svg.hpp"
#include "geo/equal_area.hpp"
#include "runtime/fixed.hpp"

namespace zk::batch {

namespace {

using json = nlohmann::ordered_json;
constexpr double kRad = 3.14159265358979323846 / 180.0;

// Page and frame, millimetres.
constexpr double kPageW = 297.0, kPageH = 210.0;
constexpr double kLeft = 16.0, kTop = 20.0, kFrameW = 196.0, kFrameH = 172.0;
// Room kept between the outermost stations and the frame, for bars and names.
constexpr double kMargin = 22.0;

std::string deg_text(double v, double step) {
  const int decimals = step >= 1.0 ? 0 : (step >= 0.1 ? 1 : (step >= 0.01 ? 2 : 3));
  return rt::fixed(std::fabs(v), decimals);
}

// A value of 1, 2, 2.5 or 5 times a power of ten, at least v.
double nice_up(double v) {
  const double p = std::pow(10.0, std::floor(std::log10(v)));
  for (double m : {1.0, 2.0, 2.5, 5.0, 10.0}) {
    if (m * p >= v * (1.0 - 1e-12)) return m * p;
  }
  return 10.0 * p;
}

// A value of 1, 2 or 5 times a power of ten, at most v.
double nice_down(double v) {
  const double p = std::pow(10.0, std::floor(std::log10(v)));
  for (double m : {5.0, 2.0, 1.0}) {
    if (m * p <= v * (1.0 + 1e-12)) return m * p;
  }
  return p;
}

// Colours of the World Stress Map regimes: normal red, strike-slip green,
// thrust blue, the transitional ones between, unknown black.
const char* regime_colour(const std::string& code) {
  if (code == "NF") return "#d62728";
  if (code == "NS") return "#e8890c";
  if (code == "SS") return "#2ca02c";
  if (code == "TS") return "#1a9bb0";
  if (code == "TF") return "#1f4eb4";
  return "#000000";
}

// Bar of a quality rank: total length and width (mm); no bar for E.
struct BarStyle {
  double length, width;
};
std::optional<BarStyle> bar_style(std::optional<char> q) {
  if (!q) return BarStyle{10.0, 0.35};  // no rank: thin
  switch (*q) {
    case 'A': return BarStyle{16.0, 1.4};
    case 'B': return BarStyle{13.0, 1.1};
    case 'C': return BarStyle{10.0, 0.8};
    case 'D': return BarStyle{7.0, 0.5};
    default: return std::nullopt;
  }
}

bool has_bar(const MapStation& s) {
  return s.ran && s.shmax && std::isfinite(*s.shmax) && !s.poorly_defined && bar_style(s.quality).has_value();
}

// The drawing's transform: projected metres to page millimetres.
struct Frame {
  double east0 = 0.0, north0 = 0.0;  // projected point at the frame's centre
  double m_per_mm = 1.0;
  double x(double e) const { return kLeft + kFrameW / 2.0 + (e - east0) / m_per_mm; }
  double y(double n) const { return kTop + kFrameH / 2.0 - (n - north0) / m_per_mm; }
};

struct Placed {
  const MapStation* s;
  double x, y;
};

// A station on the map: its point, and its rows (one, or one per phase).
struct Site {
  std::string name;
  double x = 0.0, y = 0.0;
  std::vector<Placed> rows;  // a phase's row at its place in the fan
  double fan = 0.0;          // direction (degrees, clockwise from up) the fan opens to
  bool phased() const { return rows.size() > 1; }
};

// What a label must not cover: a thick segment (a bar, a leader) or, with
// both ends the same, a disc; `site` is the station it belongs to.
struct Capsule {
  double x1, y1, x2, y2, r;
};
struct Box {
  double x0, y0, x1, y1;
};

bool covers(const Box& b, const Capsule& c) {
  for (int k = 0; k <= 16; ++k) {
    const double t = k / 16.0;
    const double x = c.x1 + t * (c.x2 - c.x1), y = c.y1 + t * (c.y2 - c.y1);
    const double dx = std::max({b.x0 - x, 0.0, x - b.x1}), dy = std::max({b.y0 - y, 0.0, y - b.y1});
    if (dx * dx + dy * dy < c.r * c.r) return true;
  }
  return false;
}

bool overlap(const Box& a, const Box& b) { return a.x0 < b.x1 && b.x0 < a.x1 && a.y0 < b.y1 && b.y0 < a.y1; }

// Width (mm) of a text at `size` mm: code points at 0.62 of the size (0.7
// for bold digits), enough for DejaVu Sans and its substitutes.
double text_width(const std::string& text, double size, bool bold) {
  std::size_t n = 0;
  for (unsigned char c : text) n += (c & 0xc0u) != 0x80u ? 1 : 0;
  return static_cast<double>(n) * size * (bold ? 0.7 : 0.62);
}

// The labels of the map, placed one after another where they cover no
// symbol and no label placed before, inside the frame.
class Labels {
 public:
  std::vector<Capsule> symbols;
  struct Placement {
    Point at;                        // left end of the baseline
    std::optional<Capsule> leader;   // from the anchor to the box, when it is far
  };
  // Of the candidates (left end of the baseline of a text `w` wide and
  // `size` high), the first that is free; else the one covering least.
  // From the candidate `far` on, a leader joins the box to `anchor`, and
  // must cross no label either; later labels keep off it.
  Placement place(const std::vector<Point>& candidates, double w, double size, Point anchor = {},
                  std::size_t far = static_cast<std::size_t>(-1)) {
    std::size_t best = 0;
    int least = -1;
    for (std::size_t k = 0; k < candidates.size(); ++k) {
      const Box b = box(candidates[k], w, size);
      int n = b.x0 < kLeft || b.x1 > kLeft + kFrameW || b.y0 < kTop || b.y1 > kTop + kFrameH ? 1 : 0;
      for (const Capsule& c : symbols) n += covers(b, c) ? 1 : 0;
      for (const Box& q : taken_) n += overlap(b, q) ? 1 : 0;
      if (k >= far) {
        const Capsule l = leader(anchor, b);
        for (const Box& q : taken_) n += covers(q, l) ? 1 : 0;
      }
      if (least < 0 || n < least) {
        least = n;
        best = k;
      }
      if (n == 0) break;
    }
    const Box b = box(candidates[best], w, size);
    taken_.push_back(b);
    Placement out{candidates[best], std::nullopt};
    if (best >= far) {
      out.leader = leader(anchor, b);
      symbols.push_back(*out.leader);
    }
    return out;
  }

 private:
  static Box box(Point p, double w, double size) { return Box{p.x - 0.2, p.y - 0.78 * size, p.x + w + 0.2, p.y + 0.22 * size}; }
  // From 1 mm off the anchor to the nearest point of the box.
  static Capsule leader(Point a, const Box& b) {
    const double x = std::clamp(a.x, b.x0, b.x1), y = std::clamp(a.y, b.y0, b.y1);
    const double len = std::max(1e-9, std::hypot(x - a.x, y - a.y));
    return Capsule{a.x + (x - a.x) / len, a.y + (y - a.y) / len, x, y, 0.2};
  }
  std::vector<Box> taken_;
};

// Candidates for a text `w` wide and `size` high around the point (x, y) at
// the distances `rings`, starting in the direction `first` (degrees
// clockwise from up) and turning either way from it by 22.5-degree steps.
constexpr int kDirections = 16;
std::vector<Point> around(double x, double y, double w, double size, double first, std::initializer_list<double> rings) {
  std::vector<Point> out;
  for (double ring : rings) {
    for (int k = 0; k < kDirections; ++k) {
      const double a = (first + (k % 2 == 0 ? 1.0 : -1.0) * (360.0 / kDirections) * ((k + 1) / 2)) * kRad;
      const double ux = std::sin(a), uy = -std::cos(a);
      // The text's box centre on the ray, pushed out until the box clears
      // the distance `ring` from the point along it.
      const double reach = ring + std::fabs(ux) * w / 2.0 + std::fabs(uy) * size / 2.0;
      out.push_back(Point{x + ux * reach - w / 2.0, y + uy * reach + 0.28 * size});
    }
  }
  return out;
}

// Where a polyline first crosses the line coordinate[axis] = v, if it does.
std::optional<std::pair<double, double>> crossing(const std::vector<std::pair<double, double>>& line, int axis,
                                                  double v) {
  for (std::size_t k = 1; k < line.size(); ++k) {
    const auto [x0, y0] = line[k - 1];
    const auto [x1, y1] = line[k];
    const double a = axis == 0 ? x0 : y0, b = axis == 0 ? x1 : y1;
    if ((a - v) * (b - v) <= 0.0 && a != b) {
      const double t = (v - a) / (b - a);
      return std::make_pair(x0 + t * (x1 - x0), y0 + t * (y1 - y0));
    }
  }
  return std::nullopt;
}

// Meridians and parallels at plain steps (about four across the frame each
// way), clipped to the frame;
// meridians labelled under the frame, parallels left of it.
void graticule(std::ostringstream& o, const geo::EqualArea& p, const Frame& f) {
  const geo::LonLat c = p.centre();
  const double half_km = std::hypot(kFrameW, kFrameH) / 2.0 * f.m_per_mm / 1000.0;
  const double dlat = std::min(90.0, half_km / 111.0 * 1.5 + 0.01);
  const double coslat = std::max(0.05, std::cos(std::min(89.0, std::fabs(c.lat) + dlat) * kRad));
  const double dlon = std::min(180.0, dlat / coslat);
  // About four lines across the frame each way.
  const double lat_step = std::min(30.0, nice_down(std::max(1e-3, kFrameH * f.m_per_mm / 111000.0 / 4.0)));
  const double lon_step = std::min(
      30.0, nice_down(std::max(1e-3, kFrameW * f.m_per_mm / (111000.0 * std::max(0.05, std::cos(c.lat * kRad))) / 4.0)));
  const double lat_lo = std::max(-90.0, c.lat - dlat), lat_hi = std::min(90.0, c.lat + dlat);
  const double lon_lo = c.lon - dlon, lon_hi = c.lon + dlon;
  const double bottom = kTop + kFrameH, right = kLeft + kFrameW;

  o << "<g id=\"graticule\" clip-path=\"url(#frame-clip)\" fill=\"none\" stroke=\"#9ab0c4\" stroke-width=\"0.25\">\n";
  std::ostringstream labels;
  const auto draw = [&](bool meridian, double v) {
    std::vector<std::pair<double, double>> line;
    std::string d;
    const int n = 120;
    for (int k = 0; k <= n; ++k) {
      const double t = static_cast<double>(k) / n;
      geo::LonLat q = meridian ? geo::LonLat{v, lat_lo + t * (lat_hi - lat_lo)}
                               : geo::LonLat{lon_lo + t * (lon_hi - lon_lo), v};
      q.lon = std::remainder(q.lon, 360.0);
      const auto e = p.forward(q);
      if (!e) {
        line.clear();
        continue;
      }
      const double x = f.x(e->east), y = f.y(e->north);
      d += (line.empty() ? "M" : " L") + svg_number(x) + "," + svg_number(y);
      line.emplace_back(x, y);
    }
    if (d.empty()) return;
    o << "<path class=\"" << (meridian ? "meridian" : "parallel") << "\" data-degrees=\"" << svg_data_number(v) << "\" d=\""
      << d << "\"/>\n";
    const auto at = meridian ? crossing(line, 1, bottom) : crossing(line, 0, kLeft);
    if (!at) return;
    const double along = meridian ? at->first : at->second;
    if (along < (meridian ? kLeft : kTop) || along > (meridian ? right : bottom)) return;
    if (std::fabs(v) < 1e-9) v = 0.0;  // the equator and the prime meridian, not a rounding of either side
    double w = std::remainder(v, 360.0);
    if (std::fabs(w) < 1e-9) w = 0.0;
    const char* hemi = meridian ? (w < 0.0 ? "W" : (w > 0.0 && w < 180.0 ? "E" : "")) : (v < 0.0 ? "S" : (v > 0.0 ? "N" : ""));
    labels << "<text class=\"grat\" x=\"" << svg_number(meridian ? along : kLeft - 1.2) << "\" y=\""
           << svg_number(meridian ? bottom + 4.2 : along + 1.0) << "\"" << (meridian ? "" : " text-anchor=\"end\"") << ">"
           << deg_text(meridian ? w : v, meridian ? lon_step : lat_step) << "\xc2\xb0" << hemi << "</text>";
  };
  for (double v = std::ceil(lon_lo / lon_step) * lon_step; v <= lon_hi + 1e-9; v += lon_step) draw(true, v);
  for (double v = std::ceil(lat_lo / lat_step) * lat_step; v <= lat_hi + 1e-9; v += lat_step) {
    if (std::fabs(v) < 90.0 - 1e-9) draw(false, v);
  }
  o << "</g>\n<g id=\"graticule-labels\">" << labels.str() << "</g>\n";
}

// A grid cell's own SHmax beside its damped bar: a thin dark tick.
void undamped_tick(std::ostringstream& o, const MapStation& s, double x, double y) {
  if (!s.undamped_shmax || !std::isfinite(*s.undamped_shmax)) return;
  const double ux = std::sin(*s.undamped_shmax * kRad) * 3.0, uy = -std::cos(*s.undamped_shmax * kRad) * 3.0;
  o << "<line class=\"undamped-tick\" x1=\"" << svg_number(x - ux) << "\" y1=\"" << svg_number(y - uy) << "\" x2=\""
    << svg_number(x + ux) << "\" y2=\"" << svg_number(y + uy) << "\" stroke=\"#202020\" stroke-width=\"0.2\"/>";
}

// The outlines of a grid's cells, thin grey polygons under the bars.
void cell_outlines(std::ostringstream& o, const geo::EqualArea& proj, const Frame& f, const std::vector<Site>& sites) {
  std::string cells;
  for (const Site& site : sites) {
    const Placed& pl = site.rows.front();
    std::string points;
    for (const auto& [lon, lat] : pl.s->outline) {
      const auto e = proj.forward({lon, lat});
      if (!e) continue;
      if (!points.empty()) points += ' ';
      points += svg_number(f.x(e->east));
      points += ',';
      points += svg_number(f.y(e->north));
    }
    if (points.empty()) continue;
    cells += "<polygon data-cell=\"";
    cells += xml_text(pl.s->name);
    cells += "\" points=\"";
    cells += points;
    cells += "\"/>\n";
  }
  if (cells.empty()) return;
  o << "<g id=\"cells\" clip-path=\"url(#frame-clip)\" fill=\"none\" stroke=\"#8c8c8c\" stroke-width=\"0.2\">\n"
    << cells << "</g>\n";
}

constexpr double kNameSize = 2.8;  // mm, as the .name class
constexpr double kPhaseSize = 3.0;  // mm, the phase numbers

// The symbol of a row at (x, y): a grey cross for a failed station, a bar
// with a dot, or a hollow circle; `what` names it in its title.
void row_symbol(std::ostringstream& o, const MapStation& s, double x, double y, const std::string& what,
                std::vector<Capsule>& symbols) {
  o << "<title>" << xml_text(what);
  if (!s.ran) {
    o << ": failed</title>";
    o << "<path d=\"M" << svg_number(x - 1.4) << "," << svg_number(y - 1.4) << " l2.8,2.8 m0,-2.8 l-2.8,2.8\" stroke=\"#808080\""
      << " stroke-width=\"0.5\"/>";
    symbols.push_back({x, y, x, y, 2.3});
  } else if (has_bar(s)) {
    const BarStyle b = *bar_style(s.quality);
    const double ux = std::sin(*s.shmax * kRad) * b.length / 2.0, uy = -std::cos(*s.shmax * kRad) * b.length / 2.0;
    o << ": SHmax " << svg_number(*s.shmax) << "\xc2\xb0, " << (s.regime.empty() ? "no regime" : s.regime) << ", quality "
      << (s.quality ? std::string(1, *s.quality) : std::string("not ranked")) << "</title>";
    o << "<line class=\"shmax-bar\" x1=\"" << svg_number(x - ux) << "\" y1=\"" << svg_number(y - uy) << "\" x2=\""
      << svg_number(x + ux) << "\" y2=\"" << svg_number(y + uy) << "\" stroke=\"" << regime_colour(s.regime)
      << "\" stroke-width=\"" << svg_number(b.width) << "\" stroke-linecap=\"butt\"/>";
    o << "<circle cx=\"" << svg_number(x) << "\" cy=\"" << svg_number(y) << "\" r=\"0.7\" fill=\"#000000\"/>";
    symbols.push_back({x - ux, y - uy, x + ux, y + uy, b.width / 2.0 + 0.3});
    symbols.push_back({x, y, x, y, 1.0});
    undamped_tick(o, s, x, y);
  } else {
    o << ": no SHmax bar (" << (!s.shmax ? "SHmax undefined" : (s.poorly_defined ? "SHmax poorly defined" : "quality E"))
      << ")</title>";
    o << "<circle class=\"hollow\" cx=\"" << svg_number(x) << "\" cy=\"" << svg_number(y) << "\" r=\"1.5\" fill=\"#ffffff\" stroke=\""
      << regime_colour(s.regime) << "\" stroke-width=\"0.45\"/>";
    symbols.push_back({x, y, x, y, 2.0});
  }
}

// Where each phase of a site goes: around its point, on the side away
// from the nearest other station, 90 degrees apart (less beyond 4), far
// enough that two bars of quality A cannot touch.
constexpr double kFanRadius = 12.1;
void fan_out(std::vector<Site>& sites) {
  constexpr double kSamePlace = 0.5;  // mm
  for (Site& site : sites) {
    if (!site.phased()) continue;
    double nearest = -1.0, away = 0.0;
    // Phased stations at the same place share the turn between them.
    int here = 0, before = 0;
    for (const Site& other : sites) {
      const double d = std::hypot(other.x - site.x, other.y - site.y);
      if (d < kSamePlace) {
        if (other.phased()) {
          ++here;
          if (&other < &site) ++before;
        }
        continue;
      }
      if (nearest < 0.0 || d < nearest) {
        nearest = d;
        away = std::atan2(site.x - other.x, other.y - site.y) / kRad;  // clockwise from up
      }
    }
    site.fan = (nearest < 0.0 ? 0.0 : away) + 360.0 * before / std::max(1, here);
    const std::size_t k = site.rows.size();
    const double step = std::min(90.0, 360.0 / static_cast<double>(k));
    for (std::size_t j = 0; j < k; ++j) {
      const double a = (site.fan + step * (static_cast<double>(j) - (static_cast<double>(k) - 1.0) / 2.0)) * kRad;
      site.rows[j].x = site.x + kFanRadius * std::sin(a);
      site.rows[j].y = site.y - kFanRadius * std::cos(a);
    }
  }
}

// The geometry of every mark, which no label may cover: symbols, leaders
// and the points of phased stations.
void site_marks(std::ostringstream& o, const Site& site, std::vector<Capsule>& symbols) {
  const MapStation& first = *site.rows.front().s;
  o << "<g class=\"station\" data-name=\"" << xml_text(site.name) << "\" data-x=\"" << svg_data_number(site.x)
    << "\" data-y=\"" << svg_data_number(site.y) << "\"";
  if (!site.phased()) {
    if (has_bar(first)) o << " data-shmax=\"" << svg_number(*first.shmax) << "\"";
    if (first.quality) o << " data-quality=\"" << *first.quality << "\"";
    o << ">";
    row_symbol(o, first, site.x, site.y, site.name, symbols);
    return;
  }
  o << " data-phases=\"" << site.rows.size() << "\"><title>" << xml_text(site.name) << ": " << site.rows.size()
    << " stress phases</title>";
  for (const Placed& row : site.rows) {
    const MapStation& s = *row.s;
    // The leader from the station's point to the phase's mark, stopping
    // short of both.
    const double dx = row.x - site.x, dy = row.y - site.y, len = std::hypot(dx, dy);
    const double ux = dx / len, uy = dy / len;
    o << "<line class=\"leader\" x1=\"" << svg_number(site.x + 1.0 * ux) << "\" y1=\"" << svg_number(site.y + 1.0 * uy)
      << "\" x2=\"" << svg_number(row.x - 1.6 * ux) << "\" y2=\"" << svg_number(row.y - 1.6 * uy) << "\" stroke=\""
      << phase_colour(s.phase) << "\" stroke-width=\"0.3\"/>";
    symbols.push_back({site.x + 1.0 * ux, site.y + 1.0 * uy, row.x - 1.6 * ux, row.y - 1.6 * uy, 0.35});
  }
  o << "<circle class=\"point\" cx=\"" << svg_number(site.x) << "\" cy=\"" << svg_number(site.y)
    << "\" r=\"0.8\" fill=\"#000000\"/>";
  symbols.push_back({site.x, site.y, site.x, site.y, 1.1});
  for (const Placed& row : site.rows) {
    const MapStation& s = *row.s;
    o << "<g class=\"phase\" data-phase=\"" << s.phase << "\" data-x=\"" << svg_data_number(row.x) << "\" data-y=\""
      << svg_data_number(row.y) << "\"";
    if (has_bar(s)) o << " data-shmax=\"" << svg_number(*s.shmax) << "\"";
    if (s.quality) o << " data-quality=\"" << *s.quality << "\"";
    o << ">";
    row_symbol(o, s, row.x, row.y, site.name + " phase " + std::to_string(s.phase), symbols);
    o << "</g>";
  }
}

// The labels of a site: each phase's number in its colour, then the name.
void site_labels(std::ostringstream& o, const Site& site, Labels& labels) {
  if (site.phased()) {
    for (const Placed& row : site.rows) {
      const MapStation& s = *row.s;
      const std::string n = std::to_string(s.phase);
      const double w = text_width(n, kPhaseSize, true);
      const double out = std::atan2(row.x - site.x, site.y - row.y) / kRad;
      const Point p = labels.place(around(row.x, row.y, w, kPhaseSize, out, {1.6, 3.2, 5.0, 7.0}), w, kPhaseSize).at;
      o << "<text class=\"phase-number\" data-phase=\"" << s.phase << "\" x=\"" << svg_number(p.x) << "\" y=\""
        << svg_number(p.y) << "\" fill=\"" << phase_colour(s.phase) << "\">" << n << "</text>";
    }
  }
  // The name: first in the quarter a single bar leaves free (below right
  // of a bar running north-east, above right otherwise), or on the side
  // of a fan's point away from its phases.
  const MapStation& first = *site.rows.front().s;
  const std::string name = xml_text(site.name);
  const double w = text_width(site.name, kNameSize, false);
  double towards = 45.0;
  if (site.phased()) {
    towards = site.fan + 180.0;
  } else if (has_bar(first) && std::fmod(*first.shmax + 360.0, 180.0) < 90.0) {
    towards = 135.0;
  }
  std::vector<Point> candidates;
  if (!site.phased()) {  // where a station's name has always gone, when free
    const bool below = towards == 135.0;
    candidates.push_back(Point{site.x + 2.2, site.y + (below ? 3.6 : -2.0)});
  }
  const std::size_t near = candidates.size() + 2 * kDirections;  // the candidates within 4 mm
  const std::vector<Point> more = around(site.x, site.y, w, kNameSize, towards, {1.8, 4.0, 7.0, 10.0, 14.0});
  candidates.insert(candidates.end(), more.begin(), more.end());
  // A name moved away from a crowded point gets a thin line to it.
  const Labels::Placement placed = labels.place(candidates, w, kNameSize, Point{site.x, site.y}, near);
  const Point p = placed.at;
  if (placed.leader) {
    const Capsule& l = *placed.leader;
    o << "<line class=\"name-leader\" x1=\"" << svg_number(l.x1) << "\" y1=\"" << svg_number(l.y1) << "\" x2=\""
      << svg_number(l.x2) << "\" y2=\"" << svg_number(l.y2) << "\" stroke=\"#606060\" stroke-width=\"0.15\"/>";
  }
  o << "<text class=\"name\" x=\"" << svg_number(p.x) << "\" y=\"" << svg_number(p.y) << "\">" << name << "</text></g>\n";
}

void scale_bar(std::ostringstream& o, const Frame& f) {
  const double metres = nice_down(50.0 * f.m_per_mm);  // at most 50 mm
  const double len = metres / f.m_per_mm;
  const double x0 = kLeft + 6.0, y0 = kTop + kFrameH - 8.0;
  char label[48];
  if (metres >= 1000.0) {
    std::snprintf(label, sizeof label, "%g km", metres / 1000.0);
  } else {
    std::snprintf(label, sizeof label, "%g m", metres);
  }
  o << "<g id=\"scale-bar\" data-metres=\"" << metres << "\" data-length=\"" << svg_data_number(len) << "\">";
  o << "<rect x=\"" << svg_number(x0 - 3.0) << "\" y=\"" << svg_number(y0 - 7.0) << "\" width=\"" << svg_number(len + 14.0)
    << "\" height=\"12\" fill=\"#ffffff\" fill-opacity=\"0.85\"/>";
  for (int k = 0; k < 4; ++k) {
    o << "<rect x=\"" << svg_number(x0 + len * k / 4.0) << "\" y=\"" << svg_number(y0) << "\" width=\"" << svg_number(len / 4.0)
      << "\" height=\"1.2\" fill=\"" << (k % 2 == 0 ? "#000000" : "#ffffff") << "\" stroke=\"#000000\" stroke-width=\"0.2\"/>";
  }
  o << "<text class=\"small\" x=\"" << svg_number(x0) << "\" y=\"" << svg_number(y0 - 1.5) << "\" text-anchor=\"middle\">0</text>";
  o << "<text class=\"small\" x=\"" << svg_number(x0 + len) << "\" y=\"" << svg_number(y0 - 1.5) << "\" text-anchor=\"middle\">" << label
    << "</text>";
  o << "<text class=\"small\" x=\"" << svg_number(x0) << "\" y=\"" << svg_number(y0 + 4.0) << "\">scale true at the centre</text></g>\n";
}

void north_arrow(std::ostringstream& o) {
  const double x = kLeft + kFrameW - 9.0, y = kTop + 16.0;
  o << "<g id=\"north-arrow\"><rect x=\"" << svg_number(x - 5.0) << "\" y=\"" << svg_number(y - 13.0)
    << "\" width=\"10\" height=\"16\" fill=\"#ffffff\" fill-opacity=\"0.85\"/>"
    << "<polygon points=\"" << svg_number(x) << "," << svg_number(y - 10.0) << " " << svg_number(x + 2.5) << "," << svg_number(y) << " " << svg_number(x) << ","
    << svg_number(y - 2.5) << " " << svg_number(x - 2.5) << "," << svg_number(y) << "\" fill=\"#000000\"/>"
    << "<text class=\"label\" x=\"" << svg_number(x) << "\" y=\"" << svg_number(y - 11.0) << "\" text-anchor=\"middle\">N</text></g>\n";
}

void legend(std::ostringstream& o, const std::vector<Site>& sites, bool any_ranked, bool any_unranked) {
  double y = kTop + 4.0;
  const double x = kLeft + kFrameW + 8.0;
  o << "<g id=\"legend\">\n<text class=\"label\" x=\"" << svg_number(x) << "\" y=\"" << svg_number(y) << "\">SHmax</text>\n";
  y += 6.0;
  static const std::pair<const char*, const char*> kRegimes[] = {
      {"NF", "normal"}, {"NS", "normal, strike-slip"}, {"SS", "strike-slip"},
      {"TS", "thrust, strike-slip"}, {"TF", "thrust"}, {"U", "unknown"}};
  o << "<text class=\"small\" x=\"" << svg_number(x) << "\" y=\"" << svg_number(y) << "\">colour: regime (World Stress Map)</text>\n";
  for (const auto& [code, name] : kRegimes) {
    y += 5.0;
    o << "<line x1=\"" << svg_number(x) << "\" y1=\"" << svg_number(y - 1.0) << "\" x2=\"" << svg_number(x + 10.0) << "\" y2=\"" << svg_number(y - 1.0)
      << "\" stroke=\"" << regime_colour(code) << "\" stroke-width=\"1.1\"/><text class=\"small\" x=\"" << svg_number(x + 13.0)
      << "\" y=\"" << svg_number(y) << "\">" << code << " " << name << "</text>\n";
  }
  y += 8.0;
  o << "<text class=\"small\" x=\"" << svg_number(x) << "\" y=\"" << svg_number(y) << "\">length, weight: quality of SHmax</text>\n";
  for (char q : {'A', 'B', 'C', 'D'}) {
    const BarStyle b = *bar_style(q);
    y += 5.0;
    o << "<line x1=\"" << svg_number(x) << "\" y1=\"" << svg_number(y - 1.0) << "\" x2=\"" << svg_number(x + b.length) << "\" y2=\"" << svg_number(y - 1.0)
      << "\" stroke=\"#000000\" stroke-width=\"" << svg_number(b.width) << "\"/><text class=\"small\" x=\"" << svg_number(x + 19.0)
      << "\" y=\"" << svg_number(y) << "\">" << q << (q == 'A' ? " (within 15\xc2\xb0)" : "") << "</text>\n";
  }
  y += 5.0;
  const BarStyle thin = *bar_style(std::nullopt);
  o << "<line x1=\"" << svg_number(x) << "\" y1=\"" << svg_number(y - 1.0) << "\" x2=\"" << svg_number(x + thin.length) << "\" y2=\""
    << svg_number(y - 1.0) << "\" stroke=\"#000000\" stroke-width=\"" << svg_number(thin.width) << "\"/><text class=\"small\" x=\""
    << svg_number(x + 19.0) << "\" y=\"" << svg_number(y) << "\">thin: not ranked</text>\n";
  if (any_unranked) {
    y += 4.0;
    o << "<text class=\"small\" x=\"" << svg_number(x) << "\" y=\"" << svg_number(y)
      << "\">(no bootstrap: no quality rank)</text>\n";
  }
  y += 7.0;
  o << "<circle cx=\"" << svg_number(x + 2.0) << "\" cy=\"" << svg_number(y - 1.0) << "\" r=\"1.5\" fill=\"#ffffff\" stroke=\"#000000\""
    << " stroke-width=\"0.45\"/><text class=\"small\" x=\"" << svg_number(x + 6.0) << "\" y=\"" << svg_number(y)
    << "\">no bar: SHmax undefined,</text>\n";
  y += 4.0;
  o << "<text class=\"small\" x=\"" << svg_number(x + 6.0) << "\" y=\"" << svg_number(y) << "\">poorly defined"
    << (any_ranked ? " or quality E" : "") << "</text>\n";
  y += 7.0;
  o << "<path d=\"M" << svg_number(x + 0.6) << "," << svg_number(y - 2.4) << " l2.8,2.8 m0,-2.8 l-2.8,2.8\" stroke=\"#808080\""
    << " stroke-width=\"0.5\"/><text class=\"small\" x=\"" << svg_number(x + 6.0) << "\" y=\"" << svg_number(y)
    << "\">station failed</text>\n";
  std::size_t phased = 0, phases = 0;
  for (const Site& site : sites) {
    if (!site.phased()) continue;
    ++phased;
    phases += site.rows.size();
  }
  if (phased > 0) {
    // A sample fan: a point, two leaders, the phases' numbers.
    y += 9.0;
    const double px = x + 2.0, py = y - 1.0;
    for (int j = 1; j <= 2; ++j) {
      const double ex = px + 7.0, ey = py + (j == 1 ? -2.5 : 2.5);
      o << "<line x1=\"" << svg_number(px) << "\" y1=\"" << svg_number(py) << "\" x2=\"" << svg_number(ex) << "\" y2=\""
        << svg_number(ey) << "\" stroke=\"" << phase_colour(j) << "\" stroke-width=\"0.3\"/><text class=\"small\" x=\""
        << svg_number(ex + 0.8) << "\" y=\"" << svg_number(ey + 1.0) << "\" font-weight=\"bold\" fill=\"" << phase_colour(j)
        << "\">" << j << "</text>";
    }
    o << "<circle cx=\"" << svg_number(px) << "\" cy=\"" << svg_number(py) << "\" r=\"0.8\" fill=\"#000000\"/>"
      << "<text class=\"small\" x=\"" << svg_number(x + 13.0) << "\" y=\"" << svg_number(y - 1.5)
      << "\">stress phases of one station,</text><text class=\"small\" x=\"" << svg_number(x + 13.0) << "\" y=\""
      << svg_number(y + 2.5) << "\">numbered in their colours</text>\n";
    y += 4.0;
  }
  const bool damped = std::any_of(sites.begin(), sites.end(), [](const Site& site) {
    return std::any_of(site.rows.begin(), site.rows.end(), [](const Placed& p) { return p.s->undamped_shmax.has_value(); });
  });
  if (damped) {
    y += 7.0;
    o << "<line x1=\"" << svg_number(x) << "\" y1=\"" << svg_number(y - 1.0) << "\" x2=\"" << svg_number(x + 6.0) << "\" y2=\""
      << svg_number(y - 1.0) << "\" stroke=\"#202020\" stroke-width=\"0.2\"/><text class=\"small\" x=\"" << svg_number(x + 8.0)
      << "\" y=\"" << svg_number(y) << "\">bar: damped SHmax; tick: the cell's own</text>\n";
  }
  y += 9.0;
  o << "<text id=\"station-count\" class=\"small\" x=\"" << svg_number(x) << "\" y=\"" << svg_number(y) << "\">"
    << sites.size() << " station" << (sites.size() == 1 ? "" : "s") << " placed</text>\n";
  if (phased > 0) {
    y += 4.0;
    o << "<text id=\"phase-count\" class=\"small\" x=\"" << svg_number(x) << "\" y=\"" << svg_number(y) << "\">"
      << phases << " stress phases at " << phased << " of them</text>\n";
  }
  o << "</g>\n";
}

}  // namespace

MapStation map_station(const json& row) {
  MapStation s;
  const auto number = [&](const char* key) -> std::optional<double> {
    if (!row.contains(key) || !row[key].is_number()) return std::nullopt;
    return row[key].get<double>();
  };
  if (row.contains("station") && row["station"].is_string()) s.name = row["station"].get<std::string>();
  s.lon = number("longitude");
  s.lat = number("latitude");
  s.ran = row.contains("status") && row["status"] == "ok";
  s.shmax = number("SHmax_deg");
  if (row.contains("SHmax_poorly_defined")) {
    const json& v = row["SHmax_poorly_defined"];
    s.poorly_defined = v.is_boolean() ? v.get<bool>() : (v.is_string() && v == "true");
  }
  if (row.contains("wsm_regime") && row["wsm_regime"].is_string()) s.regime = row["wsm_regime"].get<std::string>();
  if (const auto phase = number("phase"); phase && *phase >= 1.0 && *phase <= 99.0) {
    s.phase = static_cast<int>(*phase);
    s.phases = static_cast<int>(number("phases").value_or(0.0));
  }
  if (row.contains("quality") && row["quality"].is_string()) {
    const std::string q = row["quality"].get<std::string>();
    if (q.size() == 1 && q[0] >= 'A' && q[0] <= 'E') s.quality = q[0];
  }
  if (row.contains("damped_SHmax_deg")) {
    s.undamped_shmax = s.shmax;
    s.shmax = number("damped_SHmax_deg");
    s.poorly_defined = false;
    s.regime = row["damped_regime"].is_string() ? row["damped_regime"].get<std::string>() : std::string();
    s.quality.reset();
    if (row.contains("damped_quality") && row["damped_quality"].is_string()) {
      const std::string q = row["damped_quality"].get<std::string>();
      if (q.size() == 1 && q[0] >= 'A' && q[0] <= 'E') s.quality = q[0];
    }
  }
  return s;
}

std::string campaign_map_svg(const std::vector<MapStation>& stations, const std::string& title) {
  std::vector<geo::LonLat> points;
  std::vector<std::string> unplaced;
  // A station not placed is named once, whatever its number of phases.
  const auto unplace = [&unplaced](const std::string& entry) {
    if (std::find(unplaced.begin(), unplaced.end(), entry) == unplaced.end()) unplaced.push_back(entry);
  };
  for (const MapStation& s : stations) {
    if (s.lon && s.lat) {
      points.push_back({*s.lon, *s.lat});
    } else {
      unplace((s.name.empty() ? "(no name)" : s.name) + " (no longitude and latitude)");
    }
  }
  const geo::EqualArea proj(geo::mean_centre(points));
  std::vector<std::pair<const MapStation*, geo::EastNorth>> projected;
  double e_lo = 0.0, e_hi = 0.0, n_lo = 0.0, n_hi = 0.0;
  for (const MapStation& s : stations) {
    if (!s.lon || !s.lat) continue;
    const auto e = proj.forward({*s.lon, *s.lat});
    if (!e) {
      unplace((s.name.empty() ? "(no name)" : s.name) +
              " (opposite the centre of the map, where an azimuthal projection has no place)");
      continue;
    }
    if (projected.empty()) {
      e_lo = e_hi = e->east;
      n_lo = n_hi = e->north;
    }
    e_lo = std::min(e_lo, e->east);
    e_hi = std::max(e_hi, e->east);
    n_lo = std::min(n_lo, e->north);
    n_hi = std::max(n_hi, e->north);
    projected.emplace_back(&s, *e);
    for (const auto& [lon, lat] : s.outline) {  // a grid's cells fit the frame whole
      if (const auto c = proj.forward({lon, lat})) {
        e_lo = std::min(e_lo, c->east);
        e_hi = std::max(e_hi, c->east);
        n_lo = std::min(n_lo, c->north);
        n_hi = std::max(n_hi, c->north);
      }
    }
  }
  // The scale: the stations' extent (at least 2 km) within the frame less
  // its margins, rounded up to a plain denominator.
  Frame f;
  f.east0 = (e_lo + e_hi) / 2.0;
  f.north0 = (n_lo + n_hi) / 2.0;
  const double need = std::max({(e_hi - e_lo) / (kFrameW - 2.0 * kMargin), (n_hi - n_lo) / (kFrameH - 2.0 * kMargin),
                                2000.0 / (kFrameH - 2.0 * kMargin)});
  f.m_per_mm = nice_up(need * 1000.0) / 1000.0;
  // The sites: the rows of a station's phases (same name, same place) at
  // one point.
  std::vector<Site> sites;
  bool any_ranked = false, any_unranked = false;
  for (const auto& [s, e] : projected) {
    const Placed pl{s, f.x(e.east), f.y(e.north)};
    if (has_bar(*s) || (s->ran && s->shmax && !s->poorly_defined)) (s->quality ? any_ranked : any_unranked) = true;
    auto same = sites.end();
    if (s->phase > 0) {
      same = std::find_if(sites.begin(), sites.end(), [&](const Site& site) {
        const MapStation& t = *site.rows.front().s;
        return t.phase > 0 && t.name == s->name && *t.lon == *s->lon && *t.lat == *s->lat;
      });
    }
    if (same != sites.end()) {
      same->rows.push_back(pl);
    } else {
      sites.push_back(Site{s->name, pl.x, pl.y, {pl}, 0.0});
    }
  }
  fan_out(sites);

  std::ostringstream o;
  o << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
  o << "<svg xmlns=\"http://www.w3.org/2000/svg\" version=\"1.1\" width=\"" << kPageW << "mm\" height=\"" << kPageH
    << "mm\" viewBox=\"0 0 " << kPageW << " " << kPageH << "\" font-family=\"DejaVu Sans, Helvetica, Arial, sans-serif\">\n";
  o << "<title>" << xml_text(title) << "</title>\n";
  o << "<style>\n.label{font-size:3.6px;font-weight:bold}\n.small{font-size:2.6px}\n.grat{font-size:2.4px;fill:#4a6a8a}\n"
       ".name{font-size:2.8px;paint-order:stroke;stroke:#ffffff;stroke-width:0.6px}\n"
       ".phase-number{font-size:3px;font-weight:bold;paint-order:stroke;stroke:#ffffff;stroke-width:0.6px}\n</style>\n";
  o << "<rect width=\"100%\" height=\"100%\" fill=\"#ffffff\"/>\n";
  o << "<text x=\"" << svg_number(kLeft) << "\" y=\"12\" font-size=\"5\" font-weight=\"bold\">" << xml_text(title) << "</text>\n";
  o << "<defs><clipPath id=\"frame-clip\"><rect x=\"" << svg_number(kLeft) << "\" y=\"" << svg_number(kTop) << "\" width=\""
    << svg_number(kFrameW) << "\" height=\"" << svg_number(kFrameH) << "\"/></clipPath></defs>\n";
  // The frame's transform, so that a reader can take coordinates back.
  o << "<g id=\"map\" data-projection=\"" << proj.definition() << "\" data-scale-denominator=\""
    << svg_number(f.m_per_mm * 1000.0) << "\" data-east0=\"" << svg_data_number(f.east0) << "\" data-north0=\"" << svg_data_number(f.north0)
    << "\" data-frame=\"" << svg_number(kLeft) << " " << svg_number(kTop) << " " << svg_number(kFrameW) << " " << svg_number(kFrameH) << "\">\n";
  graticule(o, proj, f);
  cell_outlines(o, proj, f, sites);
  // Every mark first, so that no label covers one drawn after it.
  Labels labels;
  std::vector<std::string> marks;
  for (const Site& site : sites) {
    std::ostringstream m;
    site_marks(m, site, labels.symbols);
    marks.push_back(m.str());
  }
  o << "<g id=\"stations\">\n";
  for (std::size_t k = 0; k < sites.size(); ++k) {
    o << marks[k];
    site_labels(o, sites[k], labels);
  }
  o << "</g>\n";
  scale_bar(o, f);
  north_arrow(o);
  o << "<rect x=\"" << svg_number(kLeft) << "\" y=\"" << svg_number(kTop) << "\" width=\"" << svg_number(kFrameW) << "\" height=\""
    << svg_number(kFrameH) << "\" fill=\"none\" stroke=\"#000000\" stroke-width=\"0.35\"/>\n</g>\n";
  // The denominator in groups of three digits.
  char digits[48];
  std::snprintf(digits, sizeof digits, "%.0f", f.m_per_mm * 1000.0);
  std::string scale = "1 :";
  const std::size_t n = std::strlen(digits);
  for (std::size_t k = 0; k < n; ++k) {
    if (k == 0 || (n - k) % 3 == 0) scale += ' ';
    scale += digits[k];
  }
  o << "<text class=\"small\" x=\"" << svg_number(kLeft) << "\" y=\"" << svg_number(kTop + kFrameH + 10.0) << "\">Lambert azimuthal "
    << "equal-area (WGS 84) centred on the stations, " << std::fixed << "lat " << svg_number(proj.centre().lat) << ", lon "
    << svg_number(proj.centre().lon) << "; " << scale << " at the centre</text>\n";
  if (!unplaced.empty()) {
    std::string names;
    for (const std::string& n : unplaced) names += (names.empty() ? "" : "; ") + n;
    o << "<text id=\"unplaced\" class=\"small\" x=\"" << svg_number(kLeft) << "\" y=\"" << svg_number(kTop + kFrameH + 14.5)
      << "\">not on the map: " << xml_text(names) << "</text>\n";
  }
  legend(o, sites, any_ranked, any_unranked);
  o << "</svg>\n";
  return o.str();
}

}  // namespace zk::batch
