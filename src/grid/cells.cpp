#include "grid/cells.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <stdexcept>

namespace zk::grid {

namespace {

bool digits(std::string_view s, std::size_t at, std::size_t n) {
  if (at + n > s.size()) return false;
  for (std::size_t k = at; k < at + n; ++k) {
    if (s[k] < '0' || s[k] > '9') return false;
  }
  return true;
}

int number(std::string_view s, std::size_t at, std::size_t n) {
  int v = 0;
  for (std::size_t k = at; k < at + n; ++k) v = v * 10 + (s[k] - '0');
  return v;
}

bool leap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int days_in(int y, int m) {
  static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && leap(y) ? 29 : kDays[m - 1];
}

// Days from 1970-01-01 of a proleptic Gregorian date (H. Hinnant's
// days_from_civil).
long long days_from_civil(int y, int m, int d) {
  y -= m <= 2;
  const long long era = (y >= 0 ? y : y - 399) / 400;
  const long long yoe = y - era * 400;
  const long long doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const long long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

void civil_from_days(long long z, int& y, int& m, int& d) {
  z += 719468;
  const long long era = (z >= 0 ? z : z - 146096) / 146097;
  const long long doe = z - era * 146097;
  const long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const long long mp = (5 * doy + 2) / 153;
  d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  y = static_cast<int>(yoe + era * 400 + (m <= 2));
}

std::optional<double> refuse(std::string* why, const std::string& what) {
  if (why != nullptr) *why = what;
  return std::nullopt;
}

std::vector<std::string> split(const std::string& text) {
  std::vector<std::string> parts;
  std::size_t at = 0;
  while (true) {
    const std::size_t comma = text.find(',', at);
    parts.push_back(text.substr(at, comma == std::string::npos ? std::string::npos : comma - at));
    if (comma == std::string::npos) break;
    at = comma + 1;
  }
  return parts;
}

// A finite decimal number filling the whole text.
std::optional<double> real(const std::string& text) {
  if (text.empty() || text.find_first_of(" \t") != std::string::npos) return std::nullopt;
  char* end = nullptr;
  const double v = std::strtod(text.c_str(), &end);
  if (end != text.c_str() + text.size() || !std::isfinite(v)) return std::nullopt;
  if (text.find_first_of("xXnNiI") != std::string::npos) return std::nullopt;  // hex, nan, inf
  return v;
}

// Bounds and origins kept to 1e-9 of their unit, so that 3 x 0.2 is 0.6.
double tidy(double x) { return std::round(x * 1e9) / 1e9 + 0.0; }

int axis_slot(Axis a) { return static_cast<int>(a); }

std::optional<double> coordinate(const Place& p, Axis a) {
  switch (a) {
    case Axis::lon: return p.lon;
    case Axis::lat: return p.lat;
    case Axis::depth: return p.depth_km;
    case Axis::time: return p.time;
  }
  return std::nullopt;
}

const char* coordinate_name(Axis a) {
  switch (a) {
    case Axis::lon: return "longitude";
    case Axis::lat: return "latitude";
    case Axis::depth: return "depth_km";
    case Axis::time: return "time";
  }
  return "?";
}

}  // namespace

std::optional<double> parse_time(std::string_view t, std::string* why) {
  const std::string shown(t);
  const auto bad = [&](const std::string& what) { return refuse(why, "\"" + shown + "\" " + what); };
  if (!digits(t, 0, 4) || t.size() < 10 || t[4] != '-' || !digits(t, 5, 2) || t[7] != '-' || !digits(t, 8, 2)) {
    return bad("is not an ISO 8601 date and time (YYYY-MM-DD[Thh:mm[:ss[.f]]][Z|+hh:mm])");
  }
  const int y = number(t, 0, 4), mo = number(t, 5, 2), d = number(t, 8, 2);
  if (y < 1) return bad("has year 0000");
  if (mo < 1 || mo > 12) return bad("has no month " + std::to_string(mo));
  if (d < 1 || d > days_in(y, mo)) return bad("has no day " + std::to_string(d) + " in its month");
  double seconds = static_cast<double>(days_from_civil(y, mo, d)) * 86400.0;
  std::size_t at = 10;
  if (at < t.size() && (t[at] == 'T' || t[at] == ' ')) {
    ++at;
    if (!digits(t, at, 2) || at + 2 >= t.size() || t[at + 2] != ':' || !digits(t, at + 3, 2)) {
      return bad("has no time of day hh:mm after its date");
    }
    const int h = number(t, at, 2), mi = number(t, at + 3, 2);
    at += 5;
    double s = 0.0;
    if (at < t.size() && t[at] == ':') {
      if (!digits(t, at + 1, 2)) return bad("has no seconds ss after hh:mm:");
      s = number(t, at + 1, 2);
      at += 3;
      if (at < t.size() && (t[at] == '.' || t[at] == ',')) {
        std::size_t end = at + 1;
        while (end < t.size() && t[end] >= '0' && t[end] <= '9') ++end;
        if (end == at + 1) return bad("has a decimal mark without decimals");
        double scale = 0.1;
        for (std::size_t k = at + 1; k < end; ++k, scale /= 10.0) s += (t[k] - '0') * scale;
        at = end;
      }
    }
    if (h > 23) return bad("has no hour " + std::to_string(h));
    if (mi > 59) return bad("has no minute " + std::to_string(mi));
    if (s >= 60.0) return bad("has a leap second or seconds beyond 59");
    seconds += h * 3600.0 + mi * 60.0 + s;
  }
  if (at < t.size() && t[at] == 'Z') {
    ++at;
  } else if (at < t.size() && (t[at] == '+' || t[at] == '-') && at > 10) {
    const double sign = t[at] == '+' ? 1.0 : -1.0;
    if (!digits(t, at + 1, 2)) return bad("has an offset that is not +hh:mm");
    int oh = number(t, at + 1, 2), om = 0;
    std::size_t end = at + 3;
    if (end < t.size() && t[end] == ':') ++end;
    if (end < t.size()) {
      if (!digits(t, end, 2)) return bad("has an offset that is not +hh:mm");
      om = number(t, end, 2);
      end += 2;
    }
    if (oh > 23 || om > 59) return bad("has an offset out of range");
    seconds -= sign * (oh * 3600.0 + om * 60.0);  // local = UTC + offset
    at = end;
  }
  if (at != t.size()) return bad("has \"" + shown.substr(at) + "\" after its date and time");
  return seconds;
}

std::string format_time(double seconds) {
  const double whole = std::floor(seconds);
  const auto total = static_cast<long long>(whole);
  long long days = total / 86400;
  long long rest = total % 86400;
  if (rest < 0) {
    rest += 86400;
    --days;
  }
  int y = 0, m = 0, d = 0;
  civil_from_days(days, y, m, d);
  char buf[64];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02lld:%02lld:%02lld", y, m, d, rest / 3600, rest / 60 % 60, rest % 60);
  std::string text = buf;
  const long long micro = std::llround((seconds - whole) * 1e6);
  if (micro > 0 && micro < 1000000) {
    std::snprintf(buf, sizeof buf, ".%06lld", micro);
    std::string f = buf;
    while (f.back() == '0') f.pop_back();
    text += f;
  }
  return text + "Z";
}

std::optional<double> parse_duration(std::string_view text) {
  static const std::pair<const char*, double> kUnits[] = {
      {"min", 60.0}, {"s", 1.0}, {"h", 3600.0}, {"d", 86400.0}, {"w", 604800.0}};
  const std::string t(text);
  for (const auto& [unit, scale] : kUnits) {
    const std::string u(unit);
    if (t.size() <= u.size() || t.compare(t.size() - u.size(), u.size(), u) != 0) continue;
    const std::optional<double> v = real(t.substr(0, t.size() - u.size()));
    if (!v || *v <= 0.0) return std::nullopt;
    return *v * scale;
  }
  return std::nullopt;
}

std::string read_grid_request(const std::string& grid, const std::string& cell, double cell_km,
                              const std::string& origin, GridRequest& out) {
  out = GridRequest{};
  const std::vector<std::string> names = split(grid);
  if (names.size() > static_cast<std::size_t>(kMaxAxes)) {
    return "--grid takes one to four axes (lon, lat, depth, time), not " + std::to_string(names.size());
  }
  for (const std::string& n : names) {
    Axis a{};
    if (n == "lon") {
      a = Axis::lon;
    } else if (n == "lat") {
      a = Axis::lat;
    } else if (n == "depth") {
      a = Axis::depth;
    } else if (n == "time") {
      a = Axis::time;
    } else {
      return "--grid: \"" + n + "\" is not an axis (lon, lat, depth or time)";
    }
    if (std::find(out.axes.begin(), out.axes.end(), a) != out.axes.end()) return "--grid names " + n + " twice";
    out.axes.push_back(a);
  }
  out.cell_km = cell_km;
  const bool has_lon = std::find(out.axes.begin(), out.axes.end(), Axis::lon) != out.axes.end();
  const bool has_lat = std::find(out.axes.begin(), out.axes.end(), Axis::lat) != out.axes.end();
  std::vector<std::size_t> sized;  // the axes whose size --cell gives
  for (std::size_t k = 0; k < out.axes.size(); ++k) {
    if (cell_km > 0.0 && (out.axes[k] == Axis::lon || out.axes[k] == Axis::lat)) continue;
    sized.push_back(k);
  }
  if (cell_km > 0.0 && !(has_lon && has_lat)) return "--cell-km makes square lon/lat cells: --grid needs lon and lat";
  if (cell_km < 0.0 || (cell_km == 0.0 && cell.empty())) {
    return cell_km < 0.0 ? "--cell-km takes a size above 0 km" : "--grid needs --cell (one size per axis) or --cell-km";
  }
  const std::vector<std::string> sizes = cell.empty() ? std::vector<std::string>{} : split(cell);
  if (sizes.size() != sized.size()) {
    return "--cell gives " + std::to_string(sizes.size()) + (sizes.size() == 1 ? " size" : " sizes") + " for " +
           std::to_string(sized.size()) + (cell_km > 0.0 ? " axes other than lon and lat (--cell-km sizes those)" :
                                                            (sized.size() == 1 ? " axis of --grid" : " axes of --grid"));
  }
  out.sizes.assign(out.axes.size(), 0.0);
  for (std::size_t j = 0; j < sized.size(); ++j) {
    const Axis a = out.axes[sized[j]];
    const std::optional<double> v = a == Axis::time ? parse_duration(sizes[j]) : real(sizes[j]);
    if (!v || *v <= 0.0) {
      return std::string("--cell: the size of ") + axis_name(a) + ", \"" + sizes[j] + "\", is not " +
             (a == Axis::time ? "a duration above 0 (a number and s, min, h, d or w: 30d, 12h)"
                              : a == Axis::depth ? "a number of km above 0" : "a number of degrees above 0");
    }
    out.sizes[sized[j]] = *v;
  }
  if (!origin.empty()) {
    const std::vector<std::string> parts = split(origin);
    if (parts.size() < 2 || parts.size() > 4) return "--grid-origin takes LON,LAT[,DEPTH,TIME]";
    for (std::size_t k = 0; k < parts.size(); ++k) {
      if (parts[k].empty()) continue;
      std::optional<double> v;
      std::string why;
      if (k == 3) {
        v = parse_time(parts[k], &why);
        if (!v) return "--grid-origin: the time " + why;
      } else {
        v = real(parts[k]);
        if (!v || (k == 0 && std::fabs(*v) > 180.0) || (k == 1 && std::fabs(*v) > 90.0)) {
          static const char* const kWhat[] = {"longitude (-180 to 180)", "latitude (-90 to 90)", "depth in km"};
          return "--grid-origin: \"" + parts[k] + "\" is not a " + kWhat[k];
        }
      }
      out.origin[k] = v;
    }
  }
  return "";
}

std::optional<Index> Grid::cell_of(const Place& p) const {
  std::optional<geo::EastNorth> xy;
  if (projected) {
    if (!p.lon || !p.lat) return std::nullopt;
    xy = projection->forward({*p.lon, *p.lat});
    if (!xy) return std::nullopt;
  }
  Index index;
  for (std::size_t k = 0; k < axes.size(); ++k) {
    std::optional<double> x = coordinate(p, axes[k]);
    if (projected && axes[k] == Axis::lon) x = xy->east / 1000.0;
    if (projected && axes[k] == Axis::lat) x = xy->north / 1000.0;
    if (!x) return std::nullopt;
    // The relative tolerance puts a point on a bound (0.6 in cells of 0.2)
    // in the cell above it, as written.
    const double i = std::floor((*x - origin[k]) / sizes[k] + 1e-9);
    if (!(std::fabs(i) < 1e9)) return std::nullopt;
    index.push_back(static_cast<int>(i));
  }
  return index;
}

Grid make_grid(const GridRequest& r, const std::vector<Place>& places) {
  Grid g;
  g.axes = r.axes;
  g.sizes = r.sizes;
  g.cell_km = r.cell_km;
  g.projected = r.cell_km > 0.0;
  g.origin.assign(g.axes.size(), 0.0);
  if (g.projected) {
    geo::LonLat centre;
    const bool given = r.origin[0] && r.origin[1];
    if (given) {
      centre = {*r.origin[0], *r.origin[1]};
    } else {
      std::vector<geo::LonLat> points;
      for (const Place& p : places) {
        if (p.lon && p.lat) points.push_back({*p.lon, *p.lat});
      }
      if (points.empty()) throw std::runtime_error("no event has both a longitude and a latitude");
      centre = geo::mean_centre(points);
      centre = {tidy(centre.lon), tidy(centre.lat)};
    }
    g.projection = std::make_shared<const geo::EqualArea>(centre);
    g.projection_definition = g.projection->definition();
    for (std::size_t k = 0; k < g.axes.size(); ++k) {
      if (g.axes[k] == Axis::lon || g.axes[k] == Axis::lat) g.sizes[k] = r.cell_km;
    }
    if (!given) {
      double min_e = INFINITY, min_n = INFINITY;
      for (const Place& p : places) {
        if (!p.lon || !p.lat) continue;
        if (const auto xy = g.projection->forward({*p.lon, *p.lat})) {
          min_e = std::min(min_e, xy->east / 1000.0);
          min_n = std::min(min_n, xy->north / 1000.0);
        }
      }
      for (std::size_t k = 0; k < g.axes.size(); ++k) {
        if (g.axes[k] == Axis::lon) g.origin[k] = tidy(std::floor(min_e / r.cell_km + 1e-9) * r.cell_km);
        if (g.axes[k] == Axis::lat) g.origin[k] = tidy(std::floor(min_n / r.cell_km + 1e-9) * r.cell_km);
      }
    }
  }
  for (std::size_t k = 0; k < g.axes.size(); ++k) {
    const Axis a = g.axes[k];
    if (g.projected && (a == Axis::lon || a == Axis::lat)) continue;
    if (r.origin[axis_slot(a)]) {
      g.origin[k] = *r.origin[axis_slot(a)];
      continue;
    }
    double lowest = INFINITY;
    for (const Place& p : places) {
      if (const auto x = coordinate(p, a)) lowest = std::min(lowest, *x);
    }
    if (!std::isfinite(lowest)) throw std::runtime_error(std::string("no event has a ") + coordinate_name(a));
    g.origin[k] = tidy(std::floor(lowest / g.sizes[k] + 1e-9) * g.sizes[k]);
  }
  return g;
}

std::size_t Assignment::kept() const {
  return static_cast<std::size_t>(std::count_if(cells.begin(), cells.end(), [](const Cell& c) { return c.kept; }));
}

Assignment assign(const Grid& g, const std::vector<Place>& places, int min_events) {
  std::map<Index, std::vector<std::size_t>> by_cell;
  std::vector<std::optional<Index>> of(places.size());
  Assignment a;
  for (std::size_t e = 0; e < places.size(); ++e) {
    of[e] = g.cell_of(places[e]);
    if (of[e]) by_cell[*of[e]].push_back(e);
  }
  for (auto& [index, events] : by_cell) {
    a.cells.push_back(Cell{index, std::move(events), false});
    a.cells.back().kept = a.cells.back().events.size() >= static_cast<std::size_t>(std::max(min_events, 1));
  }
  std::map<Index, const Cell*> cell_at;
  for (const Cell& c : a.cells) cell_at[c.index] = &c;
  for (std::size_t e = 0; e < places.size(); ++e) {
    if (!of[e]) {
      std::string missing;
      for (const Axis ax : g.axes) {
        const bool absent = !coordinate(places[e], ax) ||
                            (g.projected && (ax == Axis::lon || ax == Axis::lat) && !(places[e].lon && places[e].lat));
        if (absent) missing += (missing.empty() ? "" : ", ") + std::string(coordinate_name(ax));
      }
      a.outside.push_back({e, "", missing.empty() ? "outside the projection" : "no " + missing});
      continue;
    }
    const Cell& c = *cell_at.at(*of[e]);
    if (c.kept) continue;
    a.outside.push_back({e, cell_name(c.index),
                         "its cell holds " + std::to_string(c.events.size()) + (c.events.size() == 1 ? " event" : " events") +
                             ", fewer than " + std::to_string(min_events)});
  }
  return a;
}

CellShape cell_shape(const Grid& g, const Cell& c, const std::vector<Place>& places) {
  CellShape s;
  const auto extent = [&](Axis a, std::optional<double>& lo, std::optional<double>& hi) {
    for (std::size_t k = 0; k < g.axes.size(); ++k) {
      if (g.axes[k] != a) continue;
      lo = tidy(g.origin[k] + c.index[k] * g.sizes[k]);
      hi = tidy(g.origin[k] + (c.index[k] + 1) * g.sizes[k]);
      return;
    }
    for (std::size_t e : c.events) {  // an axis not gridded: the events' extent
      if (const auto x = coordinate(places[e], a)) {
        lo = lo ? std::min(*lo, *x) : *x;
        hi = hi ? std::max(*hi, *x) : *x;
      }
    }
  };
  extent(Axis::depth, s.depth_top, s.depth_bottom);
  extent(Axis::time, s.time_start, s.time_end);
  if (g.projected) {
    double x0 = 0, x1 = 0, y0 = 0, y1 = 0;
    for (std::size_t k = 0; k < g.axes.size(); ++k) {
      const double lo = g.origin[k] + c.index[k] * g.sizes[k];
      if (g.axes[k] == Axis::lon) x0 = lo, x1 = lo + g.sizes[k];
      if (g.axes[k] == Axis::lat) y0 = lo, y1 = lo + g.sizes[k];
    }
    // The square's edges, four points each, back in lon/lat.
    const double corners[5][2] = {{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}, {x0, y0}};
    for (int side = 0; side < 4; ++side) {
      for (int step = 0; step < 4; ++step) {
        const double f = step / 4.0;
        const double x = corners[side][0] + f * (corners[side + 1][0] - corners[side][0]);
        const double y = corners[side][1] + f * (corners[side + 1][1] - corners[side][1]);
        if (const auto p = g.projection->inverse({x * 1000.0, y * 1000.0})) s.outline.push_back({tidy(p->lon), tidy(p->lat)});
      }
    }
    if (!s.outline.empty()) s.outline.push_back(s.outline.front());
    for (const geo::LonLat& p : s.outline) {
      s.west = s.west ? std::min(*s.west, p.lon) : p.lon;
      s.east = s.east ? std::max(*s.east, p.lon) : p.lon;
      s.south = s.south ? std::min(*s.south, p.lat) : p.lat;
      s.north = s.north ? std::max(*s.north, p.lat) : p.lat;
    }
    if (const auto p = g.projection->inverse({(x0 + x1) * 500.0, (y0 + y1) * 500.0})) {
      s.longitude = tidy(p->lon);
      s.latitude = tidy(p->lat);
    }
    return s;
  }
  extent(Axis::lon, s.west, s.east);
  extent(Axis::lat, s.south, s.north);
  if (s.west && s.east) s.longitude = tidy((*s.west + *s.east) / 2.0);
  if (s.south && s.north) s.latitude = tidy((*s.south + *s.north) / 2.0);
  if (s.west && s.south) {
    s.outline = {{*s.west, *s.south}, {*s.east, *s.south}, {*s.east, *s.north}, {*s.west, *s.north}, {*s.west, *s.south}};
  }
  return s;
}

}  // namespace zk::grid
