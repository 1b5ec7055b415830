// Formatted and list-directed input.
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "runtime/errors.hpp"
#include "runtime/format.hpp"
#include "runtime/numbers.hpp"
#include "runtime/printable.hpp"
#include "runtime/format_tree.hpp"
#include "runtime/records.hpp"

namespace zk::rt {
namespace {

// One element to be read: the targets with a count are spread out.
struct Slot {
  Target::Kind kind;
  int* i = nullptr;
  float* r = nullptr;
  char* s = nullptr;
  int len = 0;
};

std::vector<Slot> spread(std::span<const Target> targets) {
  std::vector<Slot> out;
  for (const Target& t : targets) {
    for (int k = 0; k < t.count; ++k) {
      Slot s{t.kind};
      if (t.kind == Target::Kind::Int) s.i = t.i + k;
      if (t.kind == Target::Kind::Real) s.r = t.r + k;
      if (t.kind == Target::Kind::Text) {
        s.s = t.s + static_cast<std::ptrdiff_t>(k) * t.len;
        s.len = t.len;
      }
      out.push_back(s);
    }
  }
  return out;
}

// Stores `text` in a blank-padded field: a longer text keeps its first
// characters (its last ones for an Aw field wider than the target).
void store_text(const Slot& s, std::string_view text, bool keep_right) {
  const auto len = static_cast<std::size_t>(s.len);
  if (text.size() > len && keep_right) text = text.substr(text.size() - len);
  for (std::size_t k = 0; k < len; ++k) s.s[k] = k < text.size() ? text[k] : ' ';
}

}  // namespace

Parse parse_int(std::string_view t, int& out) {
  std::size_t p = 0;
  bool neg = false;
  if (p < t.size() && (t[p] == '+' || t[p] == '-')) neg = t[p++] == '-';
  if (p == t.size()) return Parse::Bad;
  std::int64_t v = 0;
  for (; p < t.size(); ++p) {
    if (t[p] < '0' || t[p] > '9') return Parse::Bad;
    v = v * 10 + (t[p] - '0');
    if (v > static_cast<std::int64_t>(INT_MAX) + 1) return Parse::Range;
  }
  if (neg) v = -v;
  if (v > INT_MAX || v < INT_MIN) return Parse::Range;
  out = static_cast<int>(v);
  return Parse::Ok;
}

Parse parse_real(std::string_view t, int implied, float& out) {
  std::size_t p = 0;
  bool neg = false;
  if (p < t.size() && (t[p] == '+' || t[p] == '-')) neg = t[p++] == '-';
  std::string ipart, fpart;
  bool point = false;
  while (p < t.size() && t[p] >= '0' && t[p] <= '9') ipart += t[p++];
  if (p < t.size() && t[p] == '.') {
    point = true;
    ++p;
    while (p < t.size() && t[p] >= '0' && t[p] <= '9') fpart += t[p++];
  }
  if (ipart.empty() && fpart.empty()) return Parse::Bad;
  long exp10 = 0;
  if (p < t.size()) {
    char c = t[p];
    if (c == 'e' || c == 'E' || c == 'd' || c == 'D' || c == 'q' || c == 'Q') ++p;
    else if (c != '+' && c != '-') return Parse::Bad;
    bool eneg = false;
    if (p < t.size() && (t[p] == '+' || t[p] == '-')) eneg = t[p++] == '-';
    if (p == t.size()) return Parse::Bad;
    for (; p < t.size(); ++p) {
      if (t[p] < '0' || t[p] > '9') return Parse::Bad;
      if (exp10 < 100000) exp10 = exp10 * 10 + (t[p] - '0');
    }
    if (eneg) exp10 = -exp10;
  }
  if (!point && implied > 0) {
    // Fw.d without a point: the last d digits are decimals.
    if (static_cast<int>(ipart.size()) < implied) {
      ipart = std::string(static_cast<std::size_t>(implied) - ipart.size(), '0') + ipart;
    }
    fpart = ipart.substr(ipart.size() - static_cast<std::size_t>(implied));
    ipart.resize(ipart.size() - static_cast<std::size_t>(implied));
  }
  std::string canon = (ipart.empty() ? "0" : ipart) + "." + fpart + "e" + std::to_string(exp10);
  float v = 0.0f;
  auto res = std::from_chars(canon.data(), canon.data() + canon.size(), v);
  if (res.ec == std::errc::result_out_of_range) {
    // Below the smallest real: zero, as the runtime gives it; above: refused.
    v = std::strtof(canon.c_str(), nullptr);
    if (std::isinf(v)) return Parse::Range;
  } else if (res.ec != std::errc() || res.ptr != canon.data() + canon.size()) {
    return Parse::Bad;
  }
  if (std::isinf(v)) return Parse::Range;
  out = neg ? -v : v;
  return Parse::Ok;
}

namespace {

// A record source's next record, or the error that says what the read was
// still waiting for.
std::string next_or_end(RecordSource& src, std::size_t expected) {
  if (src.at_end()) {
    if (src.is_console()) throw EndOfInput("end of standard input");
    const std::string at = src.where() + " ends after line " + std::to_string(src.line());
    if (expected == 0) throw InputError(src.file(), src.line(), at + " where a further line was expected");
    throw InputError(src.file(), src.line(),
                     at + " before all values were read (expected " + std::to_string(expected) +
                         (expected == 1 ? " value)" : " values)"));
  }
  return src.next_record();
}

// The error for a value that lies in the part of a long line not kept.
[[noreturn]] void beyond_kept(RecordSource& src, const std::string& what) {
  throw InputError(src.file(), src.line(),
                   src.where() + ", " + long_line(src.line(), src.record_length()) + ": " + what +
                       " lies beyond the part of a line that is read (" + std::to_string(kVerbatimColumns) +
                       " columns, then up to " + std::to_string(kKeptCharacters) +
                       " characters with each run of blanks counted as one)");
}

class FormattedReader : public FormatCursor<FormattedReader> {
 public:
  FormattedReader(const Format& f, RecordSource& src, std::vector<Slot> slots)
      : FormatCursor(f), src_(src), slots_(std::move(slots)) {}

  void run() {
    rec_ = next_or_end(src_, slots_.size());
    traverse();
  }

  // The cursor's calls.
  bool items_left() const { return next_ < slots_.size(); }
  std::size_t items_used() const { return next_; }
  void text(const Node&) { throw FormatError("layout \"" + f_.source + "\": a text cannot be read"); }
  void next_record() {
    rec_ = next_or_end(src_, slots_.size());
    pos_ = 0;
  }

  // w columns from the cursor; a record shorter than the field reads as blanks.
  std::string field(int w) {
    if (pos_ + static_cast<std::size_t>(w) > kVerbatimColumns && src_.record_length() > kVerbatimColumns) {
      beyond_kept(src_, "columns " + std::to_string(pos_ + 1) + "-" + std::to_string(pos_ + static_cast<std::size_t>(w)));
    }
    std::string t(static_cast<std::size_t>(w), ' ');
    for (std::size_t k = 0; k < t.size(); ++k) {
      if (pos_ + k < rec_.size()) t[k] = rec_[pos_ + k];
    }
    first_col_ = pos_ + 1;
    pos_ += t.size();
    return t;
  }

  [[noreturn]] void bad(const std::string& text, const std::string& what) {
    throw InputError(src_.file(), src_.line(),
                     src_.where() + ", line " + std::to_string(src_.line()) + ", columns " +
                         std::to_string(first_col_) + "-" + std::to_string(pos_) + ": \"" + escape_bytes(text) + "\" " + what);
  }

  static std::string without_blanks(const std::string& t) {
    std::string s;
    for (char c : t) {
      if (c != ' ' && c != '\t') s += c;
    }
    return s;
  }

  void mismatch(const Node&, const char* want) {
    throw FormatError("layout \"" + f_.source + "\": item " + std::to_string(next_ + 1) + " is not " + want);
  }

  void data(const Node& n) {
    const Slot& s = slots_[next_];
    switch (n.kind) {
      case Node::Kind::I: {
        if (s.kind != Target::Kind::Int) mismatch(n, "an integer");
        if (n.w < 1) throw FormatError("layout \"" + f_.source + "\": I needs a width on input");
        const std::string raw = field(n.w);
        const std::string t = without_blanks(raw);  // blanks are ignored; a blank field is 0
        int v = 0;
        const Parse p = t.empty() ? Parse::Ok : parse_int(t, v);
        if (p == Parse::Bad) bad(raw, "is not an integer");
        if (p == Parse::Range) bad(raw, "is out of range for an integer");
        *s.i = v;
        break;
      }
      case Node::Kind::F:
      case Node::Kind::E: {
        if (s.kind != Target::Kind::Real) mismatch(n, "a real");
        if (n.w < 1) throw FormatError("layout \"" + f_.source + "\": F needs a width on input");
        const std::string raw = field(n.w);
        const std::string t = without_blanks(raw);
        float v = 0.0f;
        const Parse p = t.empty() ? Parse::Ok : parse_real(t, n.d, v);
        if (p == Parse::Bad) bad(raw, "is not a number");
        if (p == Parse::Range) bad(raw, "is out of range for a real");
        *s.r = v;
        break;
      }
      case Node::Kind::A: {
        if (s.kind != Target::Kind::Text) mismatch(n, "a text");
        const int w = n.w < 0 ? s.len : n.w;
        store_text(s, field(w), true);
        break;
      }
      default:
        throw FormatError("layout \"" + f_.source + "\": this descriptor cannot be read");
    }
    ++next_;
  }

  RecordSource& src_;
  std::vector<Slot> slots_;
  std::size_t next_ = 0;
  std::string rec_;
  std::size_t first_col_ = 1;
};

bool blank(char c) { return c == ' ' || c == '\t'; }
bool separator(char c) { return blank(c) || c == ',' || c == ';' || c == '/'; }

class ListReader {
 public:
  ListReader(RecordSource& src, std::vector<Slot> slots) : src_(src), slots_(std::move(slots)) {}
  std::size_t items_reached() const { return next_; }

  // A value waits for its separator until one comma (or semicolon) follows it
  // with only blanks between, or a comma opens a later record with only
  // blanks and record ends between: in list-directed input the end of a
  // record is a blank, and blanks, one comma and blanks are one separator.
  // A further comma is a null value. A comma that opens a record and is all
  // that record holds leaves the value still waiting, and so does a blank
  // first record of a read.
  std::optional<ListRest> run() {
    rec_ = next_or_end(src_, slots_.size());
    bool waiting = rest_is_blank();  // a value has no separator yet
    bool crossed = waiting;          // a record end is the last thing passed
    while (next_ < slots_.size()) {
      while (p_ < rec_.size() && blank(rec_[p_])) ++p_;
      if (p_ >= rec_.size()) {  // the end of a record parts values like a blank
        if (src_.record_cut()) beyond_kept(src_, "item " + std::to_string(next_ + 1));
        rec_ = next_or_end(src_, slots_.size());
        p_ = 0;
        crossed = true;
        continue;
      }
      const char c = rec_[p_];
      if (c == '/') {
        // The remaining items keep their values. A slash that is the first
        // thing after a record end still lets a value written right after it
        // be read, as the reference runtime does.
        ++p_;
        if (crossed && p_ < rec_.size() && !separator(rec_[p_])) value();
        return std::nullopt;
      }
      if (waiting && (c == ',' || (c == ';' && !crossed))) {
        ++p_;  // the separator of the value before it
        waiting = crossed && rest_is_blank();
        crossed = false;
        continue;
      }
      if (c == ',' || c == ';') {
        ++p_;  // a null value: the item keeps its value
        ++next_;
        waiting = false;
        crossed = false;
        continue;
      }
      value();
      waiting = true;
      crossed = false;
    }
    return rest();
  }

 private:
  // The first value left on the last record after the read's last value and
  // its separators; a "/" there ends the record on purpose.
  std::optional<ListRest> rest() const {
    std::size_t q = p_;
    while (q < rec_.size() && (blank(rec_[q]) || rec_[q] == ',' || rec_[q] == ';')) ++q;
    if (q >= rec_.size() || rec_[q] == '/') return std::nullopt;
    std::size_t end = q;
    while (end < rec_.size() && !separator(rec_[end])) ++end;
    const auto digit = [&](std::size_t k) { return rec_[k] >= '0' && rec_[k] <= '9'; };
    const bool decimal_comma = p_ > 0 && q == p_ + 1 && rec_[p_] == ',' && digit(p_ - 1) && digit(q);
    return ListRest{src_.line(), q + 1, rec_.substr(q, end - q), decimal_comma};
  }

  bool rest_is_blank() const {
    for (std::size_t k = p_; k < rec_.size(); ++k) {
      if (!blank(rec_[k])) return false;
    }
    return true;
  }

  [[noreturn]] void bad(const std::string& text, const std::string& what) {
    throw InputError(src_.file(), src_.line(),
                     src_.where() + ", line " + std::to_string(src_.line()) + ", item " + std::to_string(next_ + 1) +
                         ": \"" + escape_bytes(text) + "\" " + what);
  }

  // A quoted text ('it''s' or "it""s"), on one record.
  std::string quoted() {
    const char q = rec_[p_];
    const std::size_t start = p_++;
    std::string t;
    for (;;) {
      if (p_ >= rec_.size()) {
        if (src_.record_cut()) beyond_kept(src_, "item " + std::to_string(next_ + 1));
        bad(rec_.substr(start), "is a text without its closing quote");
      }
      const char c = rec_[p_++];
      if (c == q) {
        if (p_ < rec_.size() && rec_[p_] == q) {
          t += q;
          ++p_;
          continue;
        }
        return t;
      }
      t += c;
    }
  }

  void value() {
    // r*value or r* (r null values).
    std::size_t q = p_;
    while (q < rec_.size() && rec_[q] >= '0' && rec_[q] <= '9') ++q;
    long repeat = 1;
    bool null = false;
    if (q > p_ && q < rec_.size() && rec_[q] == '*') {
      const std::string digits = rec_.substr(p_, q - p_);
      repeat = digits.size() > 6 ? 1000000 : std::stol(digits);
      if (repeat == 0) bad(digits + "*", "has a repeat count of zero");
      p_ = q + 1;
      null = p_ >= rec_.size() || separator(rec_[p_]);
    }
    if (null) {
      next_ += static_cast<std::size_t>(std::min<long>(repeat, static_cast<long>(slots_.size() - next_)));
      return;
    }
    const Slot& first = slots_[next_];
    std::string token;
    bool was_quoted = false;
    if (first.kind == Target::Kind::Text && (rec_[p_] == '\'' || rec_[p_] == '"')) {
      token = quoted();
      was_quoted = true;
    } else {
      const std::size_t start = p_;
      while (p_ < rec_.size() && !separator(rec_[p_])) ++p_;
      if (p_ == rec_.size() && src_.record_cut()) beyond_kept(src_, "item " + std::to_string(next_ + 1));
      token = rec_.substr(start, p_ - start);
    }
    for (long r = 0; r < repeat && next_ < slots_.size(); ++r) {
      store(slots_[next_], token, was_quoted);
      ++next_;
    }
  }

  void store(const Slot& s, const std::string& token, bool was_quoted) {
    switch (s.kind) {
      case Target::Kind::Int: {
        int v = 0;
        const Parse p = was_quoted ? Parse::Bad : parse_int(token, v);
        if (p == Parse::Bad) bad(token, "is not an integer");
        if (p == Parse::Range) bad(token, "is out of range for an integer");
        *s.i = v;
        break;
      }
      case Target::Kind::Real: {
        float v = 0.0f;
        const Parse p = was_quoted ? Parse::Bad : parse_real(token, 0, v);
        if (p == Parse::Bad) bad(token, "is not a number");
        if (p == Parse::Range) bad(token, "is out of range for a real");
        *s.r = v;
        break;
      }
      case Target::Kind::Text: store_text(s, token, false); break;
    }
  }

  RecordSource& src_;
  std::vector<Slot> slots_;
  std::size_t next_ = 0;
  std::string rec_;
  std::size_t p_ = 0;
};

}  // namespace

void read_formatted(const Format& fmt, RecordSource& src, std::span<const Target> targets) {
  FormattedReader(fmt, src, spread(targets)).run();
}

std::optional<ListRest> read_list(RecordSource& src, std::span<const Target> targets, std::size_t* given) {
  ListReader reader(src, spread(targets));
  std::optional<ListRest> rest = reader.run();
  if (given != nullptr) *given = reader.items_reached();
  return rest;
}

TextSource::TextSource(std::string_view text, std::string name) : text_(text), name_(std::move(name)) {}

std::string TextSource::next_record() {
  if (at_end()) throw InputError(name_, line_, name_ + " has no line after line " + std::to_string(line_));
  std::size_t end = text_.find('\n', next_);
  if (end == std::string::npos) end = text_.size();
  RecordBuilder b;
  b.add(std::string_view(text_).substr(next_, end - next_));
  Record r = b.take();
  next_ = end + 1;
  ++line_;
  length_ = r.length;
  cut_ = r.cut;
  return std::move(r.text);
}

}  // namespace zk::rt
