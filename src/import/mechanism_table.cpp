#include "import/mechanism_table.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <optional>

#include "import/import.hpp"
#include "runtime/errors.hpp"
#include "runtime/fixed.hpp"

namespace zk::import {
namespace {

using table::Row;
using table::Table;
using rt::fixed;

// Column roles and the other header names they are known by.
const std::vector<std::pair<std::string, std::vector<std::string>>>& roles() {
  static const std::vector<std::pair<std::string, std::vector<std::string>>> r = {
      {"id", {"number", "event"}},   {"label", {"name"}},
      {"strike", {"strike1"}},       {"dip", {"dip1"}},
      {"rake", {"rake1", "slip"}},   {"strike2", {}},
      {"dip2", {}},                  {"rake2", {"slip2"}},
      {"p_trend", {"p_azimuth"}},    {"p_plunge", {}},
      {"t_trend", {"t_azimuth"}},    {"t_plunge", {}},
      {"fault", {"fault_plane"}}};
  return r;
}

std::string sdr(const mech::NodalPlane& p) {
  return fixed(p.strike, 0) + "/" + fixed(p.dip, 0) + "/" + fixed(p.rake, 0);
}

bool blank(const std::string& s) { return s.find_first_not_of(" \t") == std::string::npos; }
std::string trimmed(const std::string& s) {
  if (blank(s)) return "";
  const auto b = s.find_first_not_of(" \t");
  return s.substr(b, s.find_last_not_of(" \t") - b + 1);
}

class Reader {
 public:
  Reader(const Table& t, EventsFor use) : t_(t), use_(use) {
    for (const auto& [role, aliases] : roles()) {
      std::vector<std::size_t> found;
      for (std::size_t k = 0; k < t_.header.size(); ++k) {
        const std::string key = header_key(t_.header[k]);
        bool match = key == role;
        for (const std::string& a : aliases) match = match || key == a;
        if (match) found.push_back(k + 1);
      }
      if (found.size() > 1) {
        table::refuse(t_, 1, found[1],
                      "columns " + std::to_string(found[0]) + " and " + std::to_string(found[1]) + " both give " + role);
      }
      if (!found.empty()) cols_[role] = found[0];
    }
    for (const char* r : {"strike", "dip", "rake"}) {
      if (col(r) == 0) {
        std::string seen;
        for (const std::string& h : t_.header) seen += (seen.empty() ? "\"" : ", \"") + table::shown(h) + "\"";
        table::refuse(t_, 1, 0,
                      std::string("no column ") + r + ": a focal mechanism needs strike, dip and rake (the header row names " +
                          seen + ")");
      }
    }
    for (const auto& group : {std::vector<const char*>{"strike2", "dip2", "rake2"}, {"p_trend", "p_plunge"},
                              {"t_trend", "t_plunge"}}) {
      int present = 0;
      for (const char* r : group) present += col(r) != 0;
      if (present != 0 && present != static_cast<int>(group.size())) {
        std::string all;
        for (const char* r : group) all += (all.empty() ? "" : ", ") + std::string(r);
        table::refuse(t_, 1, 0, "the columns " + all + " go together: give all of them or none");
      }
    }
  }

  mech::Event event(const Row& r, int order) const {
    int number = order;
    if (col("id") != 0) {
      const double id = value(r, "id", 1.0, use_ == EventsFor::DataFile ? 999.0 : kMaxId);
      if (id != std::floor(id)) table::refuse(t_, r.number, col("id"), "datum number " + trimmed(cell(r, "id")) + " is not a whole number");
      number = static_cast<int>(id);
    }
    std::string label;
    if (col("label") != 0) {
      label = trimmed(cell(r, "label"));
      if (label.size() > 3) {
        table::refuse(t_, r.number, col("label"),
                      "label \"" + table::shown(label) + "\" is longer than 3 characters (DATA columns 74-76)");
      }
      for (char c : label) {
        if (c < 0x20 || c > 0x7E) {
          table::refuse(t_, r.number, col("label"),
                        "label \"" + table::shown(label) + "\": only plain ASCII characters fit the DATA columns");
        }
      }
    }
    const mech::NodalPlane given{value(r, "strike", 0.0, 360.0), value(r, "dip", 0.0, 90.0),
                                 value(r, "rake", -180.0, 180.0)};
    int known = 0;
    if (col("fault") != 0 && !blank(cell(r, "fault"))) {
      const std::string f = trimmed(cell(r, "fault"));
      if (f != "1" && f != "2") {
        table::refuse(t_, r.number, col("fault"),
                      "\"" + table::shown(f) + "\" is not a fault plane: 1 (the plane of strike, dip, rake), 2 (the other) or blank");
      }
      known = f == "1" ? 1 : 2;
    }
    mech::Event e = mech::make_event(number, order + 1, label, given, known);
    if (col("strike2") != 0) {
      const mech::NodalPlane second{value(r, "strike2", 0.0, 360.0), value(r, "dip2", 0.0, 90.0),
                                    value(r, "rake2", -180.0, 180.0)};
      const double gap = mech::fault_gap_deg(mech::vectors_of(second), e.exact[1]);
      if (gap > kAuxiliaryWithinDeg) {
        table::refuse(t_, r.number, col("strike2"),
                      "the second plane " + sdr(second) + " is not the auxiliary plane of " + sdr(given) + " (that is " +
                          sdr(e.planes[1]) + "; they differ by " + fixed(gap, 1) + " degrees, more than " +
                          fixed(kAuxiliaryWithinDeg, 0) + ")");
      }
    }
    check_axis(r, "p", e.pt.P, given);
    check_axis(r, "t", e.pt.T, given);
    for (std::size_t k = 0; use_ == EventsFor::DataFile && k < 2; ++k) {
      if (e.encoded[k].rounding.worst() > 1.0) {
        table::refuse(t_, r.number, col("strike"),
                      "plane " + sdr(e.planes[k]) + " departs " + fixed(e.encoded[k].rounding.worst(), 2) +
                          " degrees from its DATA record in whole degrees (at most 1 is allowed)");
      }
    }
    return e;
  }

 private:
  std::size_t col(const std::string& role) const {
    const auto it = cols_.find(role);
    return it == cols_.end() ? 0 : it->second;
  }
  const std::string& cell(const Row& r, const char* role) const { return r.cells[col(role) - 1]; }

  double value(const Row& r, const char* role, double lo, double hi) const {
    const std::string& c = cell(r, role);
    if (blank(c)) table::refuse(t_, r.number, col(role), "the cell is empty: a " + std::string(role) + " is needed");
    const auto v = table::parse_number(c, table::decimal_comma(t_));
    if (!v) table::refuse(t_, r.number, col(role), "\"" + table::shown(c) + "\" is not a number");
    if (*v < lo || *v > hi) {
      table::refuse(t_, r.number, col(role),
                    std::string(role) + " " + trimmed(c) + " is outside " + fixed(lo, 0) + " to " + fixed(hi, 0));
    }
    return *v;
  }

  void check_axis(const Row& r, const std::string& axis, const AxisVector& of_planes, const mech::NodalPlane& given) const {
    const std::string trend = axis + "_trend", plunge = axis + "_plunge";
    if (col(trend) == 0) return;
    const double tr = value(r, trend.c_str(), 0.0, 360.0), pl = value(r, plunge.c_str(), 0.0, 90.0);
    const double gap = mech::axial_angle_deg(axis_of(tr, pl), of_planes);
    if (gap > kAxesWithinDeg) {
      const Attitude a = attitude_of(of_planes);
      std::string name = axis == "p" ? "P" : "T";
      table::refuse(t_, r.number, col(trend),
                    "the " + name + " axis " + fixed(tr, 0) + "/" + fixed(pl, 0) + " is " + fixed(gap, 1) +
                        " degrees from the " + name + " axis of the plane " + sdr(given) + " (" + fixed(a.trend, 0) +
                        "/" + fixed(a.plunge, 0) + "; at most " + fixed(kAxesWithinDeg, 0) + " is allowed)");
    }
  }

  const Table& t_;
  EventsFor use_;
  std::map<std::string, std::size_t> cols_;
};

}  // namespace

const std::vector<std::string>& mechanism_roles() {
  static const std::vector<std::string> names = [] {
    std::vector<std::string> n;
    for (const auto& [role, aliases] : roles()) n.push_back(role);
    return n;
  }();
  return names;
}

std::string mechanism_column_list(const std::string& text, std::vector<std::string>& out) {
  std::vector<std::string> names;
  for (std::size_t k = 0; k <= text.size();) {
    const std::size_t end = std::min(text.find(',', k), text.size());
    names.push_back(table::column_key(text.substr(k, end - k)));
    k = end + 1;
  }
  const std::vector<std::string>& known = mechanism_roles();
  std::string all;
  for (const std::string& r : known) all += (all.empty() ? "" : ", ") + r;
  for (std::size_t k = 0; k < names.size(); ++k) {
    const std::string& n = names[k];
    if (n == "skip") continue;
    if (std::find(known.begin(), known.end(), n) == known.end()) {
      return "\"" + table::shown(text) + "\": \"" + table::shown(n) + "\" is not a column role (" + all + ", or skip)";
    }
    if (std::find(names.begin(), names.begin() + static_cast<long>(k), n) != names.begin() + static_cast<long>(k)) {
      return "\"" + table::shown(text) + "\": " + n + " is named twice";
    }
  }
  for (const char* needed : {"strike", "dip", "rake"}) {
    if (std::find(names.begin(), names.end(), needed) == names.end()) {
      return "\"" + table::shown(text) + "\": a focal mechanism needs strike, dip and rake";
    }
  }
  out = std::move(names);
  return "";
}

MechanismTable read_mechanism_table(const std::string& path, const MechanismReadOptions& options) {
  table::ReadOptions ro;
  ro.delimiter = options.delimiter;
  ro.delimiter_hint = "name it with --delimiter (',', ';', tab or whitespace)";
  ro.comments = true;
  ro.columns = options.columns;
  ro.headerless_hint = "a table without a header row is read with --columns naming its columns in order, such as "
                       "--columns strike,dip,rake";
  if (options.use == EventsFor::Run) ro.max_bytes = kMaxRunTableBytes;
  return mechanism_table_of(table::read_table(path, ro), options.use);
}

MechanismTable mechanism_table_of(table::Table cells, EventsFor use) {
  const MechanismReadOptions options{0, use, {}};
  MechanismTable m;
  m.table = std::move(cells);
  const Table& t = m.table;
  const Reader reader(t, options.use);
  if (t.rows.empty()) table::refuse(t, 2, 0, "no rows of events under the header row");
  if (options.use == EventsFor::DataFile && t.rows.size() > static_cast<std::size_t>(kMaxEvents)) {
    table::refuse(t, t.rows[kMaxEvents].number, 0,
                  "the table holds " + std::to_string(t.rows.size()) + " events; at most " +
                      std::to_string(kMaxEvents) + " fit a DATA file");
  }
  std::map<int, int> row_of_number;
  m.events.reserve(t.rows.size());
  for (const Row& r : t.rows) {
    mech::Event e = reader.event(r, static_cast<int>(m.events.size()) + 1);
    const auto [it, fresh] = row_of_number.emplace(e.number, r.number);
    if (!fresh) {
      table::refuse(t, r.number, 0,
                    "datum number " + std::to_string(e.number) + " is already used by row " + std::to_string(it->second));
    }
    m.events.push_back(std::move(e));
    m.rows.push_back(r.number);
  }
  return m;
}

EventPlaces read_event_places(const MechanismTable& m) {
  const Table& t = m.table;
  EventPlaces p;
  std::size_t* const column[] = {&p.longitude, &p.latitude, &p.depth_km, &p.time};
  static const char* const kNames[] = {"longitude", "latitude", "depth_km", "time"};
  for (std::size_t k = 0; k < t.header.size(); ++k) {
    const std::string key = table::column_key(t.header[k]);
    for (std::size_t j = 0; j < 4; ++j) {
      if (key != kNames[j]) continue;
      if (*column[j] != 0) {
        table::refuse(t, 1, k + 1, "columns " + std::to_string(*column[j]) + " and " + std::to_string(k + 1) +
                                       " both give " + kNames[j]);
      }
      *column[j] = k + 1;
    }
  }
  static const double kLimits[3][2] = {{-180.0, 180.0}, {-90.0, 90.0}, {-10.0, 1000.0}};
  for (const Row& r : t.rows) {
    EventPlaces::Place place;
    std::optional<double>* const into[] = {&place.longitude, &place.latitude, &place.depth_km};
    for (std::size_t j = 0; j < 3; ++j) {
      if (*column[j] == 0 || blank(r.cells[*column[j] - 1])) continue;
      const std::string& c = r.cells[*column[j] - 1];
      const auto v = table::parse_number(c, table::decimal_comma(t));
      if (!v) table::refuse(t, r.number, *column[j], "\"" + table::shown(c) + "\" is not a number");
      if (*v < kLimits[j][0] || *v > kLimits[j][1]) {
        table::refuse(t, r.number, *column[j],
                      std::string(kNames[j]) + " " + trimmed(c) + " is outside " + fixed(kLimits[j][0], 0) + " to " +
                          fixed(kLimits[j][1], 0) + (j == 2 ? " km" : " (WGS 84 decimal degrees)"));
      }
      *into[j] = *v + 0.0;  // -0 is 0
    }
    if (p.time != 0) place.time = trimmed(r.cells[p.time - 1]);
    p.events.push_back(std::move(place));
  }
  return p;
}

bool is_mechanism_table(const std::string& path) {
  try {
    const Table t = table::read_table(path);
    std::map<std::string, int> keys;
    for (const std::string& h : t.header) keys[header_key(h)] = 1;
    for (const char* k : {"dip_direction", "dip_quadrant", "sense", "trend", "pitch"}) {
      if (keys.count(k) != 0) return false;
    }
    return keys.count("strike") != 0 && keys.count("dip") != 0 && keys.count("rake") != 0;
  } catch (const rt::RunError&) {
    return false;  // read again, and refused with its message, by the station's run
  }
}

std::string mechanism_data_text(const std::string& title, const std::vector<mech::Event>& events,
                                const mech::Choice& choice) {
  std::string text = title.substr(0, 80) + "\n";
  for (std::size_t k = 0; k < events.size(); ++k) {
    const field::Encoded& e = events[k].encoded[static_cast<std::size_t>(choice[k] - 1)];
    text += field::data_line(e.record, e.azimuth_form) + "\n";
  }
  return text + std::string(field::kTerminator) + "\n";
}

void check_mechanism_data(const std::string& path, const std::vector<mech::Event>& events,
                          const mech::Choice& choice) {
  const FaultSet read = field::read_data_file(path);
  for (std::size_t k = 0; k < events.size(); ++k) {
    const FaultRecord& rec = events[k].encoded[static_cast<std::size_t>(choice[k] - 1)].record;
    Vec3 FN, STR;
    convert_datum(rec, FN, STR);
    const bool same = k < read.data.size() && read.data[k].record.NUM == rec.NUM &&
                      std::memcmp(&read.data[k].FN, &FN, sizeof FN) == 0 &&
                      std::memcmp(&read.data[k].STR, &STR, sizeof STR) == 0;
    if (!same) {
      throw rt::RunStop("the DATA file written does not read back as event " + std::to_string(events[k].number) +
                        "'s chosen plane");
    }
  }
  if (read.data.size() != events.size()) {
    throw rt::RunStop("the DATA file written holds " + std::to_string(read.data.size()) + " data instead of " +
                      std::to_string(events.size()));
  }
}

}  // namespace zk::import
