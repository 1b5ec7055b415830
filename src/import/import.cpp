#include "import/import.hpp"

#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <map>
#include <optional>

#include "data/field_faults.hpp"
#include "import/command_line.hpp"
#include "import/mechanism_table.hpp"
#include "runtime/errors.hpp"
#include "runtime/fixed.hpp"
#include "runtime/printable.hpp"
#include "runtime/result_file.hpp"
#include "table/csv_table.hpp"

namespace zk::import {
namespace {

namespace fs = std::filesystem;
using field::Plane;
using field::Sense;
using field::V3;
using table::Row;
using table::Table;
using rt::fixed;

constexpr int kMaxRows = 300;  // data in one run
constexpr double kMaxRounding = 1.0;
constexpr double kSameMeasurement = 0.1;  // degrees: plane and striation this close are one measurement

enum class PlaneForm { DipDirection, StrikeRhr, StrikeQuadrant };
enum class SlipForm { Rake, UnsignedRake, TrendPlunge, Pitch };

const char* plane_text(PlaneForm f) {
  switch (f) {
    case PlaneForm::DipDirection: return "dip_direction + dip";
    case PlaneForm::StrikeRhr: return "strike (right-hand rule) + dip";
    case PlaneForm::StrikeQuadrant: return "strike + dip + dip_quadrant";
  }
  return "";
}
const char* slip_text(SlipForm f) {
  switch (f) {
    case SlipForm::Rake: return "rake";
    case SlipForm::UnsignedRake: return "unsigned rake + sense";
    case SlipForm::TrendPlunge: return "trend + plunge + sense";
    case SlipForm::Pitch: return "pitch + pitch_quadrant + sense";
  }
  return "";
}

}  // namespace

// The match key of a header: a byte-order mark left on it (a file joined
// from several exports) and a unit in brackets at its end ("dip (deg)",
// "trend [°]") dropped, then as table::column_key, then the field apps'
// other names for a role.
std::string header_key(std::string_view header) {
  std::string h(header);
  while (h.rfind("\xEF\xBB\xBF", 0) == 0) h.erase(0, 3);
  while (!h.empty() && (h.back() == ' ' || h.back() == '\t')) h.pop_back();
  if (!h.empty() && (h.back() == ')' || h.back() == ']')) {
    const auto open = h.find_last_of(h.back() == ')' ? '(' : '[');
    if (open != std::string::npos && open > 0) h.erase(open);
  }
  static const std::map<std::string, std::string> aliases = {
      {"dipdir", "dip_direction"},   {"dip_azimuth", "dip_direction"}, {"dip_az", "dip_direction"},
      {"dipazimuth", "dip_direction"}, {"plunge_azimuth", "trend"},    {"lineation_trend", "trend"},
      {"movement", "sense"},          {"kinematics", "sense"}};
  std::string key = table::column_key(h);
  const auto it = aliases.find(key);
  return it == aliases.end() ? key : it->second;
}

namespace {

// Headers of columns that are not read but look like a role: the question
// the warning asks.
std::optional<std::pair<std::string, std::string>> looks_like_role(const std::string& key) {
  static const std::map<std::string, std::pair<std::string, std::string>> roles = {
      {"no", {"id", "the datum number"}},     {"no.", {"id", "the datum number"}},
      {"nr", {"id", "the datum number"}},     {"nr.", {"id", "the datum number"}},
      {"num", {"id", "the datum number"}},    {"number", {"id", "the datum number"}},
      {"id#", {"id", "the datum number"}},    {"#", {"id", "the datum number"}},
      {"n°", {"id", "the datum number"}},     {"lbl", {"label", "the label"}},
      {"name", {"label", "the label"}},       {"tag", {"label", "the label"}},
      {"azimuth", {"dip_direction", "the dip direction"}}, {"az", {"dip_direction", "the dip direction"}},
      {"dip_dir", {"dip_direction", "the dip direction"}}, {"sense_of_slip", {"sense", "the sense of slip"}},
      {"slip_sense", {"sense", "the sense of slip"}}};
  const auto it = roles.find(key);
  if (it == roles.end()) return std::nullopt;
  return it->second;
}

// A sense word: its dip-slip part (-1 normal, +1 reverse, 0 none) and its
// strike-slip part (+1 sinistral, -1 dextral, 0 none).
struct SenseWord {
  int dip = 0, strike = 0;
};

// Why a rake (Aki & Richards, degrees) contradicts a sense word, or "".
std::string contradiction(double rake, const SenseWord& w) {
  // A rake of 0 or +-180 is horizontal: neither normal nor reverse.
  if (w.dip < 0 && !(rake < 0.0 && rake > -180.0)) {
    return "normal needs a downward dip-slip component (rake below 0 and above -180)";
  }
  if (w.dip > 0 && !(rake > 0.0 && rake < 180.0)) {
    return "reverse needs an upward dip-slip component (rake above 0 and below 180)";
  }
  if (w.strike > 0 && !(std::fabs(rake) < 90.0)) return "sinistral needs |rake| below 90";
  if (w.strike < 0 && !(std::fabs(rake) > 90.0)) return "dextral needs |rake| above 90";
  return "";
}

struct Datum {
  int row = 0;
  int number = 0;
  std::string label;
  Plane plane;
  V3 slip{};
  Sense preferred = Sense::Normal;
  std::optional<field::Projection> projection;
  std::vector<std::string> warnings;
  field::Encoded encoded;
};

class Importer {
 public:
  Importer(const Table& t, const Options& o) : t_(t), o_(o) {
    find_columns();
    plane_ = choose_plane();
    slip_ = choose_slip();
    note_unread_columns();
  }

  // Columns the import does not read, by header, and the warnings about
  // those that look like a role or give one the conventions chosen leave out.
  const std::vector<std::string>& ignored() const { return ignored_; }
  const std::vector<std::string>& warnings() const { return warnings_; }

  std::string conventions() const {
    return std::string("plane from ") + plane_text(plane_) + ", striation from " + slip_text(slip_);
  }

  std::vector<Datum> data() {
    if (t_.rows.empty()) table::refuse(t_, 2, 0, "no rows of data under the header row");
    if (t_.rows.size() > static_cast<std::size_t>(kMaxRows)) {
      table::refuse(t_, t_.rows[kMaxRows].number, 0,
                    "the table holds " + std::to_string(t_.rows.size()) + " rows of data; at most " +
                        std::to_string(kMaxRows) +
                        " can be used in one run: split the file (by station or by fault set) and import each part");
    }
    std::vector<Datum> out;
    std::map<int, int> rows_of_number;
    for (const Row& r : t_.rows) {
      Datum d = datum(r, static_cast<int>(out.size()) + 1);
      const auto [it, fresh] = rows_of_number.emplace(d.number, r.number);
      if (!fresh) {
        table::refuse(t_, r.number, col("id"),
                      "datum number " + std::to_string(d.number) + " is already used by row " +
                          std::to_string(it->second));
      }
      out.push_back(std::move(d));
    }
    // Rakes all between 0 and 90 with no sense column look like pitches
    // (angles measured in the plane without their sense), read as reverse
    // and sinistral slips.
    if (slip_ == SlipForm::Rake && col("sense") == 0) {
      bool all = true;
      for (const Row& r : t_.rows) {
        const double rake = number(r, "rake", -180.0, 180.0);
        all = all && rake >= 0.0 && rake <= 90.0;
      }
      if (all) {
        warnings_.push_back(table::where(t_, t_.rows.front().number, col("rake")) +
                            ": every rake lies between 0 and 90 and no sense column is read: these look like pitches "
                            "(read as rakes they make every datum reverse and sinistral); if so, give the pitch "
                            "with its quadrant and the sense of slip (--striation pitch)");
      }
    }
    if (out.size() < 5) {
      warnings_.push_back(table::where(t_, t_.rows.back().number, 0) + ": only " + std::to_string(out.size()) +
                          (out.size() == 1 ? " datum" : " data") +
                          ": an inversion fits 4 parameters and needs at least 5 data");
    }
    // The same plane and striation to 0.1 degree under another number: most
    // likely a row entered twice, which would weigh twice.
    for (std::size_t j = 1; j < out.size(); ++j) {
      for (std::size_t i = 0; i < j; ++i) {
        if (field::angle_deg(field::normal_of(out[i].plane), field::normal_of(out[j].plane)) <= kSameMeasurement &&
            field::angle_deg(out[i].slip, out[j].slip) <= kSameMeasurement) {
          out[j].warnings.push_back(table::where(t_, out[j].row, 0) + ": datum " + std::to_string(out[j].number) +
                                    " repeats the measurement of datum " + std::to_string(out[i].number) + " (row " +
                                    std::to_string(out[i].row) + ") to 0.1 degree: a datum entered twice weighs twice");
          break;
        }
      }
    }
    return out;
  }

 private:
  std::size_t col(const std::string& role) const {
    const auto it = cols_.find(role);
    return it == cols_.end() ? 0 : it->second;
  }
  bool has(std::initializer_list<const char*> roles) const {
    for (const char* r : roles) {
      if (col(r) == 0) return false;
    }
    return true;
  }

  std::string header_list() const {
    std::string s;
    for (const auto& h : t_.header) s += (s.empty() ? "\"" : ", \"") + table::shown(h) + "\"";
    return "the header row names " + s;
  }

  [[noreturn]] void refuse_header(const std::string& what) const {
    table::refuse(t_, 1, 0, what + " (" + header_list() + ")");
  }

  void find_columns() {
    for (const std::string& role : column_roles()) {
      const auto mapped = o_.column.find(role);
      const std::string name = mapped != o_.column.end() ? mapped->second : role;
      const std::string key = mapped != o_.column.end() ? table::column_key(name) : role;
      std::vector<std::size_t> found;
      for (std::size_t k = 0; k < t_.header.size(); ++k) {
        const bool match = mapped != o_.column.end()
                               ? table::column_key(t_.header[k]) == key || header_key(t_.header[k]) == header_key(name)
                               : header_key(t_.header[k]) == key;
        if (match) found.push_back(k + 1);
      }
      if (found.size() > 1) {
        table::refuse(t_, 1, found[1],
                      "columns " + std::to_string(found[0]) + " and " + std::to_string(found[1]) + " both give " + role);
      }
      if (found.empty() && mapped != o_.column.end()) {
        refuse_header("no column \"" + table::shown(name) + "\" (--column " + role + "=" + table::shown(name) + ")");
      }
      if (!found.empty()) cols_[role] = found[0];
    }
    // A column gives one role: a --column that names the header of another
    // role would read one number as two.
    std::map<std::size_t, std::string> role_of;
    for (const std::string& role : column_roles()) {
      const std::size_t c = col(role);
      if (c == 0) continue;
      const auto [it, fresh] = role_of.emplace(c, role);
      if (!fresh) {
        table::refuse(t_, 1, c,
                      "column " + std::to_string(c) + " (\"" + table::shown(t_.header[c - 1]) + "\") would give both " +
                          it->second + " and " + role + ": one column gives one role (see --column)");
      }
    }
  }

  void require(std::initializer_list<const char*> roles, const std::string& why) const {
    for (const char* r : roles) {
      if (col(r) == 0) refuse_header("no column " + std::string(r) + ", needed by " + why);
    }
  }

  PlaneForm choose_plane() const {
    if (o_.plane == "dip-direction") require({"dip_direction", "dip"}, "--plane dip-direction");
    if (o_.plane == "strike-rhr") require({"strike", "dip"}, "--plane strike-rhr");
    if (o_.plane == "strike-quadrant") require({"strike", "dip", "dip_quadrant"}, "--plane strike-quadrant");
    if (o_.plane == "dip-direction") return PlaneForm::DipDirection;
    if (o_.plane == "strike-rhr") return PlaneForm::StrikeRhr;
    if (o_.plane == "strike-quadrant") return PlaneForm::StrikeQuadrant;
    const bool dd = has({"dip_direction", "dip"});
    const bool quadrant = has({"strike", "dip", "dip_quadrant"});
    if (dd && quadrant) {
      refuse_header("both dip_direction and strike with dip_quadrant give the plane: choose one with "
                    "--plane dip-direction or --plane strike-quadrant");
    }
    if (dd) return PlaneForm::DipDirection;
    if (quadrant) return PlaneForm::StrikeQuadrant;
    if (has({"strike", "dip"})) {
      refuse_header("a strike column does not say to which side the plane dips: if the strike follows the "
                    "right-hand rule (the plane dips to its right, dip direction = strike + 90), give "
                    "--plane strike-rhr; otherwise add a dip_quadrant column (N, E, S or W)");
    }
    refuse_header("no plane: the table needs dip_direction and dip, or strike and dip with --plane strike-rhr, "
                  "or strike, dip and dip_quadrant; a column under another name is named with --column ROLE=HEADER "
                  "(e.g. --column dip_direction=Azimut)");
  }

  SlipForm choose_slip() const {
    if (o_.striation == "rake") require({"rake"}, "--striation rake");
    if (o_.striation == "unsigned-rake") require({"rake", "sense"}, "--striation unsigned-rake");
    if (o_.striation == "unsigned-rake") return SlipForm::UnsignedRake;
    if (o_.striation == "trend-plunge") require({"trend", "plunge", "sense"}, "--striation trend-plunge");
    if (o_.striation == "pitch") require({"pitch", "pitch_quadrant", "sense"}, "--striation pitch");
    if (o_.striation == "rake") return SlipForm::Rake;
    if (o_.striation == "trend-plunge") return SlipForm::TrendPlunge;
    if (o_.striation == "pitch") return SlipForm::Pitch;
    std::vector<SlipForm> forms;
    if (has({"rake"})) forms.push_back(SlipForm::Rake);
    if (has({"trend", "plunge", "sense"})) forms.push_back(SlipForm::TrendPlunge);
    if (has({"pitch", "pitch_quadrant", "sense"})) forms.push_back(SlipForm::Pitch);
    if (forms.size() > 1) {
      refuse_header(std::string("the striation is given twice (") + slip_text(forms[0]) + " and " +
                    slip_text(forms[1]) + "): choose one with --striation rake, trend-plunge or pitch");
    }
    if (forms.size() == 1) return forms[0];
    if ((has({"trend", "plunge"}) || has({"pitch", "pitch_quadrant"})) && !has({"sense"})) {
      refuse_header("no sense column: the sense of slip (N, I, D or S) orients the striation and is never guessed");
    }
    refuse_header("no striation: the table needs rake, or trend, plunge and sense, or pitch, pitch_quadrant "
                  "and sense");
  }

  const std::string& cell(const Row& r, const char* role) const { return r.cells[col(role) - 1]; }
  // The decimal comma: named, or by the delimiter (with ; or tab).
  bool decimal_comma() const {
    return o_.decimal == "comma" || (o_.decimal != "point" && table::decimal_comma(t_));
  }
  static bool blank(const std::string& s) { return s.find_first_not_of(" \t") == std::string::npos; }
  static std::string trimmed(const std::string& s) {
    if (blank(s)) return "";
    return s.substr(s.find_first_not_of(" \t"), s.find_last_not_of(" \t") - s.find_first_not_of(" \t") + 1);
  }

  double number(const Row& r, const char* role, double lo, double hi) const {
    const std::string& c = cell(r, role);
    if (blank(c)) table::refuse(t_, r.number, col(role), "the cell is empty: a " + std::string(role) + " is needed");
    const auto v = table::parse_number(c, decimal_comma());
    if (!v) {
      const bool comma = c.find(',') != std::string::npos && !decimal_comma();
      table::refuse(t_, r.number, col(role),
                    "\"" + table::shown(c) + "\" is not a number" +
                        (comma ? " (a decimal comma is read only in tables separated by semicolons or tabs)" : ""));
    }
    if (*v < lo || *v > hi) {
      table::refuse(t_, r.number, col(role),
                    std::string(role) + " " + trimmed(c) + " is outside " + fixed(lo, 0) + " to " + fixed(hi, 0));
    }
    return *v;
  }

  char letter(const Row& r, const char* role) const {
    const std::string c = trimmed(cell(r, role));
    if (c.size() == 1) {
      const char u = static_cast<char>(c[0] >= 'a' && c[0] <= 'z' ? c[0] - 'a' + 'A' : c[0]);
      if (u == 'N' || u == 'E' || u == 'S' || u == 'W') return u;
    }
    table::refuse(t_, r.number, col(role),
                  "\"" + table::shown(c) + "\" is not a quadrant letter: N, E, S or W is needed");
  }

  // The sense of a row: a local word (--sense-map), a known word, or two of
  // them joined ("normal-dextral", "N/D"): its dip-slip and strike-slip parts.
  SenseWord sense_word(const Row& r) const {
    static const std::map<std::string, Sense> words = {
        {"n", Sense::Normal},     {"normal", Sense::Normal},          {"i", Sense::Reverse},
        {"r", Sense::Reverse},    {"reverse", Sense::Reverse},        {"inverse", Sense::Reverse},
        {"thrust", Sense::Reverse}, {"d", Sense::Dextral},            {"dextral", Sense::Dextral},
        {"right_lateral", Sense::Dextral}, {"s", Sense::Sinistral},   {"sinistral", Sense::Sinistral},
        {"left_lateral", Sense::Sinistral}};
    const auto of = [](Sense s) {
      switch (s) {
        case Sense::Normal: return SenseWord{-1, 0};
        case Sense::Reverse: return SenseWord{1, 0};
        case Sense::Dextral: return SenseWord{0, -1};
        case Sense::Sinistral: return SenseWord{0, 1};
      }
      return SenseWord{};
    };
    const auto one = [&](const std::string& key) -> std::optional<SenseWord> {
      if (const auto m = o_.sense_map.find(key); m != o_.sense_map.end()) {
        return of(m->second == 'N' ? Sense::Normal : m->second == 'I' ? Sense::Reverse
                  : m->second == 'D' ? Sense::Dextral : Sense::Sinistral);
      }
      if (const auto it = words.find(key); it != words.end()) return of(it->second);
      return std::nullopt;
    };
    const std::string& c = cell(r, "sense");
    const std::string known =
        "N, normal; I, R, reverse, inverse, thrust; D, dextral, right-lateral; S, sinistral, left-lateral; or a "
        "dip-slip and a strike-slip word joined (normal-dextral); other words with --sense-map WORD=LETTER";
    if (blank(c)) table::refuse(t_, r.number, col("sense"), "no sense of slip (it is never guessed): " + known);
    std::string key = table::column_key(c);
    if (const auto w = one(key)) return *w;
    for (const auto& [lateral, word] : {std::pair<std::string, std::string>{"right_lateral", "dextral"},
                                        {"left_lateral", "sinistral"}}) {
      for (auto at = key.find(lateral); at != std::string::npos; at = key.find(lateral)) key.replace(at, lateral.size(), word);
    }
    SenseWord w;
    int parts = 0;
    bool ok = true;
    for (std::size_t from = 0; ok && from <= key.size();) {
      const std::size_t to = std::min(key.find_first_of("_/", from), key.size());
      const auto part = one(key.substr(from, to - from));
      ok = part && !(part->dip != 0 && w.dip != 0) && !(part->strike != 0 && w.strike != 0);
      if (ok) {
        w.dip += part->dip;
        w.strike += part->strike;
        ++parts;
      }
      from = to + 1;
    }
    if (!ok || parts != 2) {
      table::refuse(t_, r.number, col("sense"), "\"" + table::shown(c) + "\" is not a sense of slip: " + known);
    }
    return w;
  }

  std::string sense_text(const Row& r) const { return "\"" + table::shown(trimmed(cell(r, "sense"))) + "\""; }

  Plane plane(const Row& r) const {
    const double dip = number(r, "dip", 0.0, 90.0);
    if (plane_ == PlaneForm::DipDirection) return Plane{number(r, "dip_direction", 0.0, 360.0), dip};
    const double strike = number(r, "strike", 0.0, 360.0);
    if (plane_ == PlaneForm::StrikeRhr) return field::plane_from_rhr_strike(strike, dip);
    const char q = letter(r, "dip_quadrant");
    const auto p = field::plane_from_quadrant(strike, dip, q);
    if (!p) {
      table::refuse(t_, r.number, col("dip_quadrant"),
                    std::string("quadrant ") + q + " lies along the strike " + trimmed(cell(r, "strike")) +
                        " and does not say to which side the plane dips");
    }
    return *p;
  }

  void warn(Datum& d, const char* role, const std::string& what) const {
    d.warnings.push_back(table::where(t_, d.row, col(role)) + ": " + what);
  }

  // The slip of a line oriented by the sense, with the warning of an
  // ambiguous sense.
  V3 oriented(const Row& r, Datum& d, const V3& line, const char* role) const {
    const SenseWord w = sense_word(r);
    // A two-part word orients the line by the part it resolves better.
    const bool by_dip = w.dip != 0 && (w.strike == 0 || field::plunge_of(line) >= 45.0);
    const Sense s = by_dip ? (w.dip < 0 ? Sense::Normal : Sense::Reverse)
                           : (w.strike < 0 ? Sense::Dextral : Sense::Sinistral);
    const auto slip = field::orient(d.plane, line, s);
    const std::string name(1, field::sense_letter(s));
    if (!slip) {
      const bool dip_slip = s == Sense::Normal || s == Sense::Reverse;
      table::refuse(t_, r.number, col("sense"),
                    "sense " + name + (dip_slip ? " cannot orient a horizontal striation: give D or S"
                                                : " cannot orient a striation along the dip line: give N or I"));
    }
    if (field::sense_ambiguous(line, s)) {
      const bool dip_slip = s == Sense::Normal || s == Sense::Reverse;
      warn(d, role,
           "sense " + name + " on a striation plunging " + fixed(field::plunge_of(line), 1) + " degrees (" +
               (dip_slip ? "flatter than 15" : "steeper than 75") + "): the sense is ambiguous");
    }
    if (const std::string why = contradiction(field::rake_of(d.plane, *slip), w); !why.empty()) {
      table::refuse(t_, r.number, col("sense"),
                    "sense " + sense_text(r) + " contradicts the striation (rake " +
                        fixed(field::rake_of(d.plane, *slip), 1) + " once oriented): " + why);
    }
    d.preferred = s;
    return *slip;
  }

  Datum datum(const Row& r, int order) const {
    Datum d;
    d.row = r.number;
    d.number = order;
    if (col("id") != 0) {
      const double id = number(r, "id", 1.0, 999.0);
      if (id != static_cast<double>(static_cast<int>(id))) {
        table::refuse(t_, r.number, col("id"), "datum number " + trimmed(cell(r, "id")) + " is not a whole number");
      }
      d.number = static_cast<int>(id);
    }
    if (col("label") != 0) {
      d.label = trimmed(cell(r, "label"));
      // The DATA columns hold bytes: plain ASCII first, so that the length
      // below counts characters.
      for (char c : d.label) {
        if (c < 0x20 || c > 0x7E) {
          table::refuse(t_, r.number, col("label"),
                        "label \"" + table::shown(d.label) + "\": only plain ASCII characters fit the DATA columns");
        }
      }
      if (d.label.size() > 3) {
        table::refuse(t_, r.number, col("label"),
                      "label \"" + table::shown(d.label) + "\" is longer than 3 characters (DATA columns 74-76)");
      }
    }
    d.plane = plane(r);
    if (slip_ == SlipForm::Rake || slip_ == SlipForm::UnsignedRake) {
      const bool unsigned_rake = slip_ == SlipForm::UnsignedRake;
      double rake = number(r, "rake", unsigned_rake ? 0.0 : -180.0, 180.0);
      if (col("sense") != 0 && (unsigned_rake || !blank(cell(r, "sense")))) {
        const SenseWord w = sense_word(r);
        if (unsigned_rake && w.dip != 0) {
          rake *= w.dip;
        } else if (unsigned_rake && rake != 0.0 && rake != 180.0) {
          table::refuse(t_, r.number, col("sense"),
                        "sense " + sense_text(r) + " does not say whether the hanging wall went up or down, so "
                        "the unsigned rake " + trimmed(cell(r, "rake")) + " cannot be signed: give normal or "
                        "reverse, or a joined word (normal-dextral)");
        }
        if (rake <= -180.0) rake = 180.0;  // one direction
        if (const std::string why = contradiction(rake, w); !why.empty()) {
          table::refuse(t_, r.number, col("rake"),
                        "rake " + trimmed(cell(r, "rake")) + " contradicts sense " + sense_text(r) + " (column " +
                            std::to_string(col("sense")) + "): " + why +
                            (!unsigned_rake && w.dip < 0 && rake > 0.0
                                 ? "; if the rakes are unsigned (0 to 180), give --striation unsigned-rake"
                                 : ""));
        }
      }
      d.slip = field::slip_from_rake(d.plane, rake);
      d.preferred = field::dominant_sense(d.plane, d.slip);
    } else if (slip_ == SlipForm::TrendPlunge) {
      const V3 line = field::line_of(number(r, "trend", 0.0, 360.0), number(r, "plunge", 0.0, 90.0));
      d.projection = field::project(d.plane, line);
      const double off = d.projection ? d.projection->off_plane : 90.0;
      if (off > o_.max_off_plane) {
        table::refuse(t_, r.number, col("plunge"),
                      "the striation lies " + fixed(off, 1) + " degrees off the plane (more than --max-off-plane " +
                          fixed(o_.max_off_plane, 1) + "): check the measurement, or the plane's convention");
      }
      if (off > o_.warn_off_plane) {
        warn(d, "plunge",
             "the striation lies " + fixed(off, 1) + " degrees off the plane (more than --warn-off-plane " +
                 fixed(o_.warn_off_plane, 1) + "); it is projected onto the plane");
      }
      d.slip = oriented(r, d, d.projection->line, "plunge");
    } else {
      const double pitch = number(r, "pitch", 0.0, 90.0);
      const char end = letter(r, "pitch_quadrant");
      const auto line = field::pitch_line(d.plane, pitch, end);
      if (!line) {
        table::refuse(t_, r.number, col("pitch_quadrant"),
                      std::string("quadrant ") + end + " lies across the strike and names neither end of it");
      }
      d.slip = oriented(r, d, *line, "pitch");
    }
    d.encoded = field::encode(d.plane, d.slip, d.preferred, d.number, d.label);
    return d;
  }

  void note_unread_columns() {
    std::vector<std::string> read = {"id", "label", "dip"};
    if (plane_ == PlaneForm::DipDirection) read.push_back("dip_direction");
    if (plane_ != PlaneForm::DipDirection) read.push_back("strike");
    if (plane_ == PlaneForm::StrikeQuadrant) read.push_back("dip_quadrant");
    if (slip_ == SlipForm::Rake || slip_ == SlipForm::UnsignedRake) read.insert(read.end(), {"rake", "sense"});
    if (slip_ == SlipForm::TrendPlunge) read.insert(read.end(), {"trend", "plunge", "sense"});
    if (slip_ == SlipForm::Pitch) read.insert(read.end(), {"pitch", "pitch_quadrant", "sense"});
    for (std::size_t k = 1; k <= t_.header.size(); ++k) {
      std::string role;
      for (const auto& [r, c] : cols_) role = c == k ? r : role;
      if (!role.empty() && std::find(read.begin(), read.end(), role) != read.end()) continue;
      const std::string shown = table::shown(t_.header[k - 1]);
      ignored_.push_back(blank(t_.header[k - 1]) ? "column " + std::to_string(k) + " (no name)" : shown);
      if (!role.empty()) {
        warnings_.push_back("column \"" + shown + "\" (" + role + ") is not read: " + conventions());
      } else if (const auto like = looks_like_role(header_key(t_.header[k - 1]))) {
        warnings_.push_back("column \"" + shown + "\" is not read; is it " + like->second + "? (--column " +
                            like->first + "=" + shown + ")");
      }
    }
  }

  const Table& t_;
  const Options& o_;
  std::vector<std::string> ignored_, warnings_;
  std::map<std::string, std::size_t> cols_;
  PlaneForm plane_ = PlaneForm::DipDirection;
  SlipForm slip_ = SlipForm::Rake;
};

std::string csv_cell(const std::string& s) {
  if (s.find_first_of(",\"\r\n") == std::string::npos) return s;
  std::string q = "\"";
  for (char c : s) q += c == '"' ? std::string("\"\"") : std::string(1, c);
  return q + "\"";
}

// The trend/plunge of a projected striation, e.g. "91.3/58.1".
std::string projected(const field::Projection& p) {
  std::string s = fixed(field::trend_of(p.line), 1);
  s += '/';
  s += fixed(field::plunge_of(p.line), 1);
  return s;
}

std::string report_csv(const std::vector<Datum>& data) {
  std::string s = "row,datum,off_plane,projection,rounding,warnings\n";
  for (const Datum& d : data) {
    std::string warnings;
    for (const auto& w : d.warnings) {
      if (!warnings.empty()) warnings += "; ";
      warnings += w;
    }
    for (const std::string& cell : {std::to_string(d.row), std::to_string(d.number),
                                    d.projection ? fixed(d.projection->off_plane, 2) : std::string(),
                                    d.projection ? projected(*d.projection) : std::string(),
                                    fixed(d.encoded.rounding.worst(), 3)}) {
      s += cell;
      s += ',';
    }
    s += csv_cell(warnings);
    s += '\n';
  }
  return s;
}

std::string report_table(const std::vector<Datum>& data) {
  std::string s = "  row  datum  off-plane  projection    rounding\n";
  char buf[128];
  for (const Datum& d : data) {
    const std::string off = d.projection ? fixed(d.projection->off_plane, 2) : std::string();
    const std::string proj = d.projection ? projected(*d.projection) : std::string();
    std::snprintf(buf, sizeof buf, "%5d  %5d  %9s  %-12s  %8.3f\n", d.row, d.number, off.c_str(), proj.c_str(),
                  d.encoded.rounding.worst());
    s += buf;
  }
  return s;
}

// The records as the DATA reader reads them back, compared with the
// measurements: each within kMaxRounding degrees.
void check_read_back(const Table& t, const std::string& path, std::vector<Datum>& data) {
  const auto read = field::read_data_file(path).data;
  if (read.size() != data.size()) {
    throw rt::RunStop("the DATA file written holds " + std::to_string(read.size()) + " data instead of " +
                      std::to_string(data.size()));
  }
  for (std::size_t k = 0; k < data.size(); ++k) {
    Datum& d = data[k];
    d.encoded.rounding = field::deviation(field::normal_of(d.plane), d.slip, read[k].FN, read[k].STR);
    if (read[k].record.NUM != d.number || d.encoded.rounding.worst() > kMaxRounding) {
      table::refuse(t, d.row, 0,
                    "the DATA record in whole degrees departs " + fixed(d.encoded.rounding.worst(), 2) +
                        " degrees from the measurement (at most " + fixed(kMaxRounding, 0) + " is allowed)");
    }
  }
}

bool same_file(const std::string& a, const std::string& b) {
  std::error_code ec;
  if (fs::exists(a, ec) && fs::exists(b, ec)) return fs::equivalent(a, b, ec);
  return fs::weakly_canonical(fs::absolute(a, ec), ec) == fs::weakly_canonical(fs::absolute(b, ec), ec);
}

// The destination of a result of the import, checked (and its temporary
// made) before any work.
std::unique_ptr<rt::ResultFile> destination(const std::string& path, const std::string& label,
                                            const rt::Destinations& taken) {
  std::string why;
  std::unique_ptr<rt::ResultFile> f = rt::ResultFile::prepare(path, label + " file \"" + path + "\"", taken, why);
  if (!f) throw rt::RunStop("the " + label + " file " + path + " is refused: " + why, kExitUsage);
  return f;
}

int run(const Options& o, std::ostream& err) {
  int status = kExitRefused;
  try {
    rt::Destinations taken;
    struct stat csv {};
    if (::stat(o.csv.c_str(), &csv) == 0) taken.inputs.push_back({{csv.st_dev, csv.st_ino}, "CSV file \"" + o.csv + "\""});
    const std::unique_ptr<rt::ResultFile> data_file = destination(o.data, "DATA", taken);
    taken.results.push_back(data_file.get());
    const std::unique_ptr<rt::ResultFile> report = o.report.empty() ? nullptr : destination(o.report, "report", taken);
    if (o.mechanisms) {
      const MechanismTable m = read_mechanism_table(o.csv, {o.delimiter, EventsFor::DataFile, o.mechanism_columns});
      mech::Choice choice;
      for (const mech::Event& e : m.events) choice.push_back(e.known != 0 ? e.known : 1);
      const std::string title = o.title ? *o.title : fs::path(o.csv).filename().string().substr(0, 80);
      data_file->write(mechanism_data_text(title, m.events, choice));
      check_mechanism_data(data_file->written_path(), m.events, choice);
      data_file->commit();
      err << "zarkel-import: " << m.events.size() << " focal mechanisms written to " << o.data
          << " (the given nodal planes, or the known fault plane)\n";
      return kExitOk;
    }
    const ImportOutcome r = import_table(o, *data_file);
    if (report) report->write(r.report_csv);
    data_file->finish();
    if (report) report->finish();
    data_file->replace();
    if (report) report->replace();

    err << "zarkel-import: " << o.csv << ": " << r.conventions << "\n";
    if (!r.ignored.empty()) {
      std::string list;
      for (const std::string& h : r.ignored) list += (list.empty() ? "" : ", ") + h;
      err << "zarkel-import: ignored columns: " << list << "\n";
    }
    if (o.report.empty()) err << r.report_table;
    for (const auto& w : r.warnings) err << "warning: " << w << "\n";
    err << "zarkel-import: " << r.written << " data written to " << o.data;
    if (r.written > 0) err << "; largest rounding " << fixed(r.worst_rounding, 2) << " degrees (row " << r.worst_row << ")";
    err << "\n";
    return kExitOk;
  } catch (const rt::RunError& e) {
    err << "zarkel-import: " << e.what() << "\n";
    const auto* stop = dynamic_cast<const rt::RunStop*>(&e);
    status = stop != nullptr ? stop->status : kExitRefused;
  }
  err << "zarkel-import: no DATA file was written (an existing file is left unchanged)\n";
  return status;
}

}  // namespace

std::string options_problem(const Options& o) {
  if (!(o.max_off_plane >= 0.0 && o.max_off_plane < 90.0)) return "the largest angle off the plane must be from 0 to below 90";
  if (!(o.warn_off_plane >= 0.0 && o.warn_off_plane <= o.max_off_plane)) {
    return "the angle off the plane that warns must be from 0 to the largest allowed";
  }
  if (o.title) {
    if (o.title->size() > 80) return "--title: at most 80 characters (the DATA title line)";
    for (char c : *o.title) {
      if (static_cast<unsigned char>(c) < 0x20) return "--title: a control character cannot be in the title line";
    }
  }
  // Worded as the command line words its own refusal of the value.
  const struct {
    const char* option;
    const std::string* value;
    std::vector<std::string> known;
  } forms[] = {{"--plane", &o.plane, {"dip-direction", "strike-rhr", "strike-quadrant"}},
               {"--striation", &o.striation, {"rake", "unsigned-rake", "trend-plunge", "pitch"}},
               {"--decimal", &o.decimal, {"point", "comma"}}};
  for (const auto& f : forms) {
    if (f.value->empty() || std::find(f.known.begin(), f.known.end(), *f.value) != f.known.end()) continue;
    std::string list;
    for (std::size_t k = 0; k < f.known.size(); ++k) {
      list += (k == 0 ? "" : k + 1 == f.known.size() ? " or " : ", ") + f.known[k];
    }
    return std::string(f.option) + " takes " + list + " (got \"" + rt::shortened(*f.value) + "\")";
  }
  return "";
}

ImportOutcome import_table(const Options& o, rt::ResultFile& data_file) {
  if (const std::string why = options_problem(o); !why.empty()) throw rt::RunStop(why, kExitUsage);
  table::ReadOptions ro;
  ro.delimiter = o.delimiter;
  ro.delimiter_hint = "name it with --delimiter";
  ro.encoding = o.encoding == "latin1" ? table::Encoding::Latin1
                : o.encoding == "cp1252" ? table::Encoding::Cp1252
                                         : table::Encoding::Utf8;
  ro.encoding_hint = ro.encoding == table::Encoding::Utf8
                         ? "if a spreadsheet saved it in another encoding, name it with --encoding latin1 or "
                           "--encoding cp1252"
                         : "the byte is undefined in " + o.encoding;
  const Table t = table::read_table(o.csv, ro);
  if (o.decimal == "comma" && t.delimiter == ',') {
    table::refuse(t, 1, 0, "a decimal comma cannot be told from the delimiter in a table separated by commas");
  }
  return import_cells(t, o, data_file);
}

ImportOutcome import_cells(const table::Table& t, const Options& o, rt::ResultFile& data_file) {
  if (const std::string why = options_problem(o); !why.empty()) throw rt::RunStop(why, kExitUsage);
  Importer importer(t, o);
  std::vector<Datum> data = importer.data();

  std::string text = o.title ? *o.title : fs::path(t.file).filename().string().substr(0, 80);
  text += "\n";
  for (const Datum& d : data) text += field::data_line(d.encoded.record, d.encoded.azimuth_form) + "\n";
  text += std::string(field::kTerminator) + "\n";
  data_file.write(text);
  check_read_back(t, data_file.written_path(), data);

  ImportOutcome r;
  r.conventions = importer.conventions();
  r.written = static_cast<int>(data.size());
  r.report_table = report_table(data);
  r.report_csv = report_csv(data);
  r.ignored = importer.ignored();
  r.warnings = importer.warnings();
  for (const Datum& d : data) {
    r.warnings.insert(r.warnings.end(), d.warnings.begin(), d.warnings.end());
    if (r.worst_row == 0 || d.encoded.rounding.worst() > r.worst_rounding) {
      r.worst_row = d.row;
      r.worst_rounding = d.encoded.rounding.worst();
    }
  }
  return r;
}

int import_main(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  const CommandLine cl = parse_command_line(args, out, err);
  if (cl.action == CommandLine::Action::Done) return kExitOk;
  if (cl.action == CommandLine::Action::Usage) return kExitUsage;
  const Options& o = cl.options;
  const std::pair<const std::string*, const char*> outputs[] = {{&o.data, "DATA"}, {&o.report, "--report"}};
  for (const auto& [path, name] : outputs) {
    if (!path->empty() && same_file(*path, o.csv)) {
      err << "zarkel-import: the " << name << " file " << *path << " is the CSV file itself\n";
      return kExitUsage;
    }
  }
  if (!o.report.empty() && same_file(o.report, o.data)) {
    err << "zarkel-import: the --report file is the DATA file\n";
    return kExitUsage;
  }
  return run(o, err);
}

}  // namespace zk::import
