// The DATA file: title, fixed-column fault records, their conversion to unit
// vectors, the keep test of the selection list.
#include "data/fault_data.hpp"

#include <array>
#include <cmath>
#include <string>
#include <string_view>
#include <utility>

#include "data/geometry.hpp"
#include "data/input_context.hpp"
#include "runtime/format.hpp"
#include "runtime/printable.hpp"
#include "runtime/records.hpp"

namespace zk {

namespace {

constexpr float kVerticalTol = 1.0E-4f;  // |H x FN| below this: trend along the strike

float rad(int deg) { return static_cast<float>(deg) * kRadPerDeg; }

bool is_one_of(char c, char a, char b) { return c == a || c == b; }

// Hands the formatted reader one record already taken from the unit.
class OneRecord : public rt::RecordSource {
 public:
  OneRecord(const std::string& rec, std::string file, std::string where, int line)
      : rec_(rec), file_(std::move(file)), where_(std::move(where)), line_(line) {}
  std::string next_record() override {
    used_ = true;
    return rec_;
  }
  const std::string& file() const override { return file_; }
  int line() const override { return line_; }
  bool at_end() override { return used_; }
  std::string where() const override { return where_; }

 private:
  const std::string& rec_;
  std::string file_;
  std::string where_;
  int line_;
  bool used_ = false;
};

constexpr std::string_view kRecordLayout =
    "(T3,I3,T10,I2,T17,A1,T21,I2,T26,A1,T29,I3,T35,A1,T70,I3,T74,A3)";
constexpr std::string_view kEchoLayout =
    "(T3,I3,T10,I2,T17,A1,T21,I2,T26,A1,T29,I3,T35,A1,T39,I3,T44,A3)";

// Reads the next DATA record into rec; the line number goes to line. Returns
// the record's text.
std::string read_fault_record(Workspace& ws, FaultRecord& rec, int& line) {
  if (ws.units.at_end(unit::kData)) {
    const int last = ws.units.line_number(unit::kData);
    // A file that is one enormous line is most likely not a DATA file: say so.
    const std::uint64_t length = ws.units.record_length(unit::kData);
    throw rt::InputError(ws.units.file_name(unit::kData), last,
                         detail::where(ws, unit::kData, last) +
                             ": the file ends before its terminator record (a record with a direction "
                             "above 400 in columns 3-5, e.g. 999)" +
                             (length > rt::kVerbatimColumns ? "; " + rt::long_line(last, length) : ""));
  }
  const std::string text = ws.units.read_record(unit::kData);
  line = ws.units.line_number(unit::kData);
  const auto tab = text.find('\t');
  if (tab != std::string::npos) {
    throw rt::InputError(ws.units.file_name(unit::kData), line,
                         detail::where(ws, unit::kData, line) + ": tab character in column " + std::to_string(tab + 1) +
                             ": fixed-column records must use blanks");
  }
  OneRecord src(text, ws.units.file_name(unit::kData), ws.units.where(unit::kData), line);
  const rt::Target targets[] = {
      rt::target(rec.DIR),   rt::target(rec.PEND),       rt::target(&rec.QPEND, 1),
      rt::target(rec.PITCH), rt::target(&rec.QPITCH, 1), rt::target(rec.AZSTR),
      rt::target(&rec.SENS, 1), rt::target(rec.NUM),     rt::target(rec.LABEL, 3)};
  try {
    rt::read_formatted(rt::parse_format(kRecordLayout), src, targets);
  } catch (const rt::InputError& e) {
    if (text.find_first_of(",;") == std::string::npos) throw;
    throw rt::InputError(e.file, e.line,
                         std::string(e.what()) +
                             "; DATA is a fixed-column format, not a table: a spreadsheet export (CSV) is "
                             "converted into a DATA file by zarkel-import");
  }
  return text;
}

// The checks of a kept record that the reader accepts but that are likely
// mistakes, each a warning saying how the record reads.
class RecordCheck {
 public:
  RecordCheck(const Workspace& ws, const std::string& text, const FaultRecord& r, int line,
              std::vector<std::string>& out)
      : ws_(ws), text_(text), r_(r), line_(line), out_(out) {}

  void run() {
    if (text_.find_first_not_of(' ') == std::string::npos) {
      out_.push_back(detail::where(ws_, unit::kData, line_) +
                     ": a blank line among the records reads as a datum (horizontal plane, datum number 0) "
                     "and is counted in N");
      return;
    }
    const int d = r_.DIR % 180;
    if (r_.DIR < 0 || r_.DIR >= 360) {
      warn("columns 3-5", "strike direction " + std::to_string(r_.DIR) + " is outside 0 to 359; it reads as " +
                              std::to_string(d));
    }
    if (r_.PEND < 0 || r_.PEND > 90) warn("columns 10-11", "dip " + std::to_string(r_.PEND) + " is outside 0 to 90");
    letter(17, r_.QPEND, "NSEW", "dip quadrant",
           "it reads as dipping toward " + std::to_string((d + 270) % 360));
    if (r_.AZSTR == 0) {
      if (r_.PITCH < 0 || r_.PITCH > 90) {
        warn("columns 21-22", "pitch " + std::to_string(r_.PITCH) + " is outside 0 to 90");
      }
      letter(26, r_.QPITCH, "NSEW", "pitch quadrant",
             "the pitch reads as measured from the end toward " + std::to_string(d + 180));
    } else if (r_.AZSTR < 0 || r_.AZSTR > 360) {
      warn("columns 29-31", "striation azimuth " + std::to_string(r_.AZSTR) + " is outside 1 to 360");
    }
    letter(35, r_.SENS, "NIDS", "sense", "it reads as N (normal)");
  }

 private:
  void warn(const std::string& columns, const std::string& what) {
    out_.push_back(detail::where(ws_, unit::kData, line_) + ", " + columns + ": " + what);
  }

  char at(int column) const {
    const auto k = static_cast<std::size_t>(column - 1);
    return k < text_.size() ? text_[k] : ' ';
  }

  // A letter field holding none of its valid upper-case letters; a blank
  // one next to a letter that would fit is said to be one column off.
  void letter(int column, char c, std::string_view valid, const std::string& name, const std::string& reads) {
    if (valid.find(c) != std::string_view::npos) return;
    std::string letters;
    for (std::size_t k = 0; k < valid.size(); ++k) {
      letters += k == 0 ? "" : k + 1 == valid.size() ? " or " : ", ";
      letters += valid[k];
    }
    const bool lower = c >= 'a' && c <= 'z' && valid.find(static_cast<char>(c - 'a' + 'A')) != std::string_view::npos;
    std::string what = c == ' ' ? "no " + name + " letter"
                                : name + " \"" + rt::escape_bytes(std::string(1, c)) + "\" is not " + letters +
                                      (lower ? " (the letters are upper case)" : "");
    if (c == ' ') {
      for (int side : {column - 1, column + 1}) {
        const char n = at(side);
        const char upper = n >= 'a' && n <= 'z' ? static_cast<char>(n - 'a' + 'A') : n;
        if (n != ' ' && valid.find(upper) != std::string_view::npos) {
          what += " (the \"" + std::string(1, n) + "\" in column " + std::to_string(side) + " is one column off)";
        }
      }
    }
    warn("column " + std::to_string(column), what + ": " + reads);
  }

  const Workspace& ws_;
  const std::string& text_;
  const FaultRecord& r_;
  int line_;
  std::vector<std::string>& out_;
};

}  // namespace

namespace {

// The plane of a record: AZN, the azimuth (degrees) of the horizontal part of
// its normal, and s, the side sign the dip quadrant gives.
struct Plane {
  int DIR = 0;   // strike direction folded into [0, 180)
  int PEND = 0;  // dip, degrees
  int AZN = 0;
  float s = 1.0f;
  float cth = 0.0f, sth = 0.0f;  // cos, sin of the normal's trend from east
  float cc = 0.0f, sc = 0.0f;    // cos, sin of the complement of the dip
};

Plane plane_of(const FaultRecord& rec) {
  Plane p;
  p.DIR = rec.DIR % 180;
  p.PEND = rec.PEND;
  char QPEND = rec.QPEND;
  if (rec.AZSTR == 0 && p.PEND == 90) QPEND = 'N';  // vertical plane, pitch case
  if (p.DIR <= 90) {
    if (is_one_of(QPEND, 'S', 'E')) {
      p.AZN = p.DIR + 270;
      p.s = -1.0f;
    } else {
      p.AZN = p.DIR + 90;
    }
  } else {
    if (is_one_of(QPEND, 'S', 'W')) {
      p.AZN = p.DIR - 90;
      p.s = -1.0f;
    } else {
      p.AZN = p.DIR + 90;
    }
  }
  const float theta = rad((450 - p.AZN) % 360);
  p.cth = std::cos(theta);
  p.sth = std::sin(theta);
  const float comp = rad(90 - p.PEND);  // complement of the dip
  p.cc = std::cos(comp);
  p.sc = std::sin(comp);
  return p;
}

// Striation given by its pitch (degrees, from the quadrant QPITCH): the slip
// line in the plane; s turns with the end the pitch is measured from.
Vec3 slip_from_pitch(const FaultRecord& rec, Plane& p) {
  int D0 = p.DIR;
  const bool from_dir = p.DIR <= 90 ? is_one_of(rec.QPITCH, 'N', 'E') : is_one_of(rec.QPITCH, 'S', 'E');
  if (!from_dir) {
    D0 = p.DIR + 180;
    p.s = -p.s;
  }
  const float P = rad(rec.PITCH);
  const float delta = rad(p.PEND);
  const float cP = std::cos(P);
  const float sP = std::sin(P);
  const float t = -p.s * std::cos(delta) * sP;
  const float a = rad(360 - D0);
  const float ca = std::cos(a);
  const float sa = std::sin(a);
  Vec3 STR0;
  STR0(1) = ca * t - sa * cP;
  STR0(2) = ca * cP + sa * t;
  STR0(3) = -std::sin(delta) * sP;
  return STR0;
}

// Striation given by its azimuth AZSTR (degrees): the line of the plane under
// that trend, pointing down; s from the side the line lies on.
Vec3 slip_from_azimuth(const FaultRecord& rec, const Vec3& FN, Plane& p) {
  Vec3 STR0;
  const int K = (p.AZN - rec.AZSTR) % 180;
  if (K == 0) {
    // striation along the dip line: the down-dip vector; s stays as the
    // dip quadrant gave it
    STR0(1) = -p.sc * p.cth;
    STR0(2) = -p.sc * p.sth;
    STR0(3) = -p.cc;
    return STR0;
  }
  const float alpha = rad((450 - (rec.AZSTR + 90) % 360) % 360);
  Vec3 H;
  H(1) = std::cos(alpha);
  H(2) = std::sin(alpha);
  H(3) = 0.0f;
  Vec3 V;
  V(1) = H(2) * FN(3) - H(3) * FN(2);
  V(2) = H(3) * FN(1) - H(1) * FN(3);
  V(3) = H(1) * FN(2) - H(2) * FN(1);
  const float xx = V(1) * V(1);
  const float yy = V(2) * V(2);
  const float zz = V(3) * V(3);
  const float norm = std::sqrt(xx + yy + zz);
  if (norm < kVerticalTol) {
    // vertical plane with the trend along its strike: horizontal
    // striation along the trend
    const float az = rad(rec.AZSTR);
    STR0(1) = std::sin(az);
    STR0(2) = std::cos(az);
    STR0(3) = 0.0f;
  } else {
    const float sign = V(3) > 0.0f ? -1.0f : 1.0f;
    for (int c = 1; c <= 3; ++c) STR0(c) = sign * (V(c) / norm);
  }
  const float side = FN(2) * STR0(1) - FN(1) * STR0(2);
  p.s = side > 0.0f ? -1.0f : 1.0f;
  return STR0;
}

}  // namespace

// Frame: x east, y north, z up; FN the downward unit normal, STR the unit
// slip of the hanging wall. Angles of the record in whole degrees: strike
// direction and azimuth 0 to 360 (0 for the azimuth means "given by pitch"),
// dip and pitch 0 to 90. The sense letter N or I gives the slip down or up
// the line; D or S the side sign; anything else reads as N.
void convert_datum(const FaultRecord& rec, Vec3& FN, Vec3& STR) {
  Plane p = plane_of(rec);
  FN(1) = p.cc * p.cth;
  FN(2) = p.cc * p.sth;
  FN(3) = -p.sc;
  const Vec3 STR0 = rec.AZSTR == 0 ? slip_from_pitch(rec, p) : slip_from_azimuth(rec, FN, p);

  bool reverse = false;
  switch (rec.SENS) {
    case 'N': reverse = false; break;
    case 'I': reverse = true; break;
    case 'S': reverse = p.s == 1.0f; break;
    case 'D': reverse = p.s == -1.0f; break;
    default: reverse = false; break;
  }
  for (int c = 1; c <= 3; ++c) STR(c) = reverse ? -STR0(c) : STR0(c);
}

bool CONTRO(const Workspace& ws, int NUM) {
  int n = ws.eeet.NLIST;
  if (n > kMaxList) n = kMaxList;
  int f = 0;
  for (int k = 1; k <= n; ++k) {
    if (ws.eeet.LIST(k) == NUM) {
      f = 1;
      break;
    }
  }
  // Summed wide: ISEL is whatever the file holds (INT_MAX + 1 must not overflow).
  const long long IFLAG = (static_cast<long long>(ws.eeetc.ISEL) + f) % 2;
  return IFLAG == 1;
}

FaultSet GEOLOG(Workspace& ws, std::vector<std::string>* warnings) {
  FaultSet set;
  set.file = ws.units.file_name(unit::kData);
  std::array<rt::Target, kTitleLen> title{};
  for (int k = 1; k <= kTitleLen; ++k) title[static_cast<std::size_t>(k - 1)] = rt::target(&set.title(k), 1);
  if (ws.units.at_end(unit::kData)) {
    throw rt::InputError(ws.units.file_name(unit::kData), 0, ws.units.where(unit::kData) + " is empty: expected the title line");
  }
  ws.units.read_targets(unit::kData, "(80A1)", title);

  for (;;) {
    FaultDatum d;
    const std::string text = read_fault_record(ws, d.record, d.line);
    if (d.record.DIR > 400) break;  // terminator
    if (ws.eeetc.ISEL != 1 && CONTRO(ws, d.record.NUM)) continue;
    if (static_cast<int>(set.data.size()) >= kMaxData) {
      throw rt::RunStop(detail::where(ws, unit::kData, d.line) + ": more than " + std::to_string(kMaxData) +
                        " fault data kept (datum number " + std::to_string(d.record.NUM) +
                        "); at most 300 can be used in one run");
    }
    if (warnings != nullptr) RecordCheck(ws, text, d.record, d.line, *warnings).run();
    convert_datum(d.record, d.FN, d.STR);
    set.data.push_back(d);
  }
  return set;
}

void load_fault_set(Workspace& ws, const FaultSet& set) {
  ws.modi2.TITRE = set.title;
  const int N = static_cast<int>(set.data.size());
  if (N > ws.tir.FN.rows() || N > ws.tab.ANG.size() || N > ws.modi1.NUM.size()) {
    ws.modi1.reset(N);
    ws.tab.reset(N);
    ws.tir.reset(N);
  }
  for (int i = 1; i <= N; ++i) {
    const FaultDatum& d = set.data[static_cast<std::size_t>(i - 1)];
    ws.modi1.NUM(i) = d.record.NUM;
    for (int c = 1; c <= 3; ++c) {
      ws.tir.FN(i, c) = d.FN(c);
      ws.tir.STR(i, c) = d.STR(c);
    }
  }
  ws.tir.N = N;
}

void list_fault_set(Workspace& ws, const FaultSet& set) {
  ws.units.write_list(unit::kListing, " Resultats du traitement par le programme ZARKEL");
  ws.units.write_list(unit::kListing);
  ws.units.write(unit::kListing, "(1X,80A1)", rt::Chars{set.title.data(), kTitleLen});
  for (const FaultDatum& d : set.data) {
    const FaultRecord& r = d.record;
    ws.units.write(unit::kListing, kEchoLayout, r.DIR, r.PEND, std::string_view(&r.QPEND, 1), r.PITCH,
                   std::string_view(&r.QPITCH, 1), r.AZSTR, std::string_view(&r.SENS, 1), r.NUM,
                   std::string_view(r.LABEL, 3));
  }
}

}  // namespace zk
