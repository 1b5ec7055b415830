#include "runframe/text_helpers.hpp"

#include <algorithm>
#include <cstdint>

#include "runtime/numbers.hpp"

namespace zk {

void FieldRef::assign(std::string_view s) const {
  const std::string copy(s.substr(0, std::min(s.size(), static_cast<std::size_t>(n_))));  // `s` may view this field
  std::fill(p_, p_ + n_, ' ');
  std::copy(copy.begin(), copy.end(), p_);
}

void textlen(int& first, int& last, std::string_view text) {
  first = 1;
  last = static_cast<int>(text.size());
  while (first < last && text[static_cast<std::size_t>(first - 1)] == ' ') ++first;
  while (first < last && text[static_cast<std::size_t>(last - 1)] == ' ') --last;
}

std::string_view trimmed(std::string_view text) {
  int first = 0;
  int last = 0;
  textlen(first, last, text);
  if (last < first) return std::string_view();
  return text.substr(static_cast<std::size_t>(first - 1), static_cast<std::size_t>(last - first + 1));
}

void path2basename(int& n, FieldRef base, std::string_view path) {
  int first = 0;
  int last = 0;
  textlen(first, last, path);
  // Copy first: `path` may be a view of `base`.
  const std::string p(path);
  auto part = [&](int from, int to) {  // path(from:to), 1-based, inclusive
    return std::string_view(p).substr(static_cast<std::size_t>(from - 1),
                                       static_cast<std::size_t>(to - from + 1));
  };
  if (last < first) {  // empty path
    n = 0;
    base.assign("");
    return;
  }
  if (last != first) {
    for (int i = last - 1; i >= first; --i) {
      if (p[static_cast<std::size_t>(i - 1)] == '/') {
        base.assign(part(i + 1, last));
        n = last - i;
        return;
      }
    }
    base.assign(part(first, last));
    n = last - first + 1;
    return;
  }
  base.assign(part(first, first));
  n = 1;
}

void integlen(int& n, int iv) {
  // Counted on the digits: the single-precision logarithm gives one too many
  // just below a power of ten (999999 -> 7).
  int64_t v = iv;
  n = 1;
  if (v < 0) {
    v = -v;
    ++n;
  }
  while (v >= 10) {
    v /= 10;
    ++n;
  }
}

namespace {

bool is_separator(char c) { return c == ' ' || c == '\t' || c == ',' || c == '/' || c == ';'; }

// [sign] digits, nothing else, within lo..hi.
bool parse_int(std::string_view s, int64_t lo, int64_t hi, int64_t& v) {
  int n = 0;
  if (rt::parse_int(s, n) != rt::Parse::Ok) return false;
  v = n;
  return v >= lo && v <= hi;
}

}  // namespace

ListInt read_list_integer(std::string_view text, int& iv) {
  std::size_t k = 0;
  while (k < text.size() && (text[k] == ' ' || text[k] == '\t')) ++k;
  if (k == text.size()) return ListInt::Bad;  // nothing to read
  if (text[k] == ',' || text[k] == '/' || text[k] == ';') return ListInt::Null;
  std::size_t end = k;
  while (end < text.size() && !is_separator(text[end])) ++end;
  std::string_view item = text.substr(k, end - k);
  const std::size_t star = item.find('*');
  if (star != std::string_view::npos) {
    int64_t repeat = 0;
    if (!parse_int(item.substr(0, star), 1, INT32_MAX, repeat) || item[0] == '+' || item[0] == '-') {
      return ListInt::Bad;
    }
    item = item.substr(star + 1);
    if (item.empty()) return ListInt::Null;  // "r*": r null values
  }
  int64_t v = 0;
  if (!parse_int(item, INT32_MIN, INT32_MAX, v)) return ListInt::Bad;
  iv = static_cast<int>(v);
  return ListInt::Value;
}

}  // namespace zk
