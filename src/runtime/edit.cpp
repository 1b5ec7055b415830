// The field writers. Reals are converted by the C library's printf, which
// rounds the exact binary value of the float (ties to even only on an exact
// binary halfway), as GNU Fortran's runtime does; the float is handed over as
// a double, a conversion that is exact.
#include "runtime/edit.hpp"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace zk::rt {
namespace {

std::string stars(int w) { return std::string(static_cast<std::size_t>(w > 0 ? w : 1), '*'); }

// Right-justifies `s` in w columns; w = 0 keeps it as it is.
std::string right(const std::string& s, int w) {
  if (w <= 0 || static_cast<int>(s.size()) >= w) return s;
  return std::string(static_cast<std::size_t>(w) - s.size(), ' ') + s;
}

std::string printf_real(const char* fmt, int prec, float x) {
  const double exact = static_cast<double>(x);
  int n = std::snprintf(nullptr, 0, fmt, prec, exact);
  std::string s(static_cast<std::size_t>(n) + 1, '\0');
  std::snprintf(s.data(), s.size(), fmt, prec, exact);
  s.resize(static_cast<std::size_t>(n));
  return s;
}

// Inf and NaN in an F or E field: "Infinity" when it fits, else "Inf".
std::string edit_infnan(float x, int w) {
  std::string t;
  if (std::isnan(x)) {
    t = "NaN";
  } else if (std::signbit(x)) {
    t = (w == 0 || w < 9) ? "-Inf" : "-Infinity";
  } else {
    t = (w == 0 || w < 8) ? "Inf" : "Infinity";
  }
  if (w > 0 && static_cast<int>(t.size()) > w) return stars(w);
  return right(t, w);
}

// Decimal digits d0 d1 ... of |x| rounded to `digits` significant digits, and
// the decimal exponent of d0 (x = d0.d1d2... * 10^exp10). x must be finite.
void significant(float x, int digits, std::string& mant, int& exp10) {
  std::string s = printf_real("%.*e", digits - 1, std::fabs(x));
  std::size_t epos = s.find('e');
  mant.clear();
  for (std::size_t k = 0; k < epos; ++k) {
    if (s[k] != '.') mant += s[k];
  }
  exp10 = std::atoi(s.c_str() + epos + 1);
}

}  // namespace

std::string edit_i(int v, int w, int m) {
  const std::int64_t wide = v;
  const bool neg = wide < 0;
  const std::int64_t mag = neg ? -wide : wide;
  std::string digits = (m == 0 && mag == 0) ? std::string() : std::to_string(mag);
  if (m > 0 && static_cast<int>(digits.size()) < m) {
    digits.insert(0, static_cast<std::size_t>(m) - digits.size(), '0');
  }
  std::string s = (neg ? "-" : "") + digits;
  if (w > 0 && static_cast<int>(s.size()) > w) return stars(w);
  return right(s, w);
}

std::string edit_z(int v, int w, int m) {
  const auto bits = static_cast<std::uint32_t>(v);
  char buf[16];
  std::snprintf(buf, sizeof buf, "%X", static_cast<unsigned>(bits));
  std::string digits = (m == 0 && bits == 0) ? std::string() : std::string(buf);
  if (m > 0 && static_cast<int>(digits.size()) < m) {
    digits.insert(0, static_cast<std::size_t>(m) - digits.size(), '0');
  }
  if (w > 0 && static_cast<int>(digits.size()) > w) return stars(w);
  return right(digits, w);
}

std::string edit_f(float x, int w, int d) {
  if (!std::isfinite(x)) return edit_infnan(x, w);
  const bool neg = std::signbit(x);  // also -0.0 and negatives that round to zero: "-0.00"
  std::string s = printf_real("%.*f", d, std::fabs(x));
  std::size_t dot = s.find('.');
  std::string ipart = dot == std::string::npos ? s : s.substr(0, dot);
  std::string fpart = dot == std::string::npos ? std::string() : s.substr(dot + 1);
  const std::string sign = neg ? "-" : "";
  const bool zero_int = ipart == "0";
  const std::string full = sign + ipart + "." + fpart;
  // The zero before the point is dropped when the field has no room for it
  // (or when the width is free, F0.d), but never when it is the only digit.
  const std::string bare = zero_int && d > 0 ? sign + "." + fpart : full;
  if (w == 0) return bare;
  if (static_cast<int>(full.size()) <= w) return right(full, w);
  if (static_cast<int>(bare.size()) <= w) return right(bare, w);
  return stars(w);
}

std::string edit_e(float x, int w, int d, int e) {
  if (!std::isfinite(x)) return edit_infnan(x, w);
  const bool neg = std::signbit(x);
  std::string mant;
  int exp10 = 0;
  significant(x, d, mant, exp10);
  const int shown = x == 0.0f ? 0 : exp10 + 1;  // 0.d1d2... * 10^shown
  const int mag = shown < 0 ? -shown : shown;
  const char esign = shown < 0 ? '-' : '+';
  // The exponent: E+nn, or +nnn beyond 99 (no letter); Ee gives E and e digits.
  std::string digits = std::to_string(mag);
  std::string ex;
  if (e < 0) {
    if (digits.size() > 3) return stars(w);
    if (digits.size() < 2) digits.insert(digits.begin(), '0');
    ex = digits.size() == 2 ? std::string("E") + esign + digits : std::string(1, esign) + digits;
  } else {
    if (static_cast<int>(digits.size()) > e) return stars(w);
    ex = std::string("E") + esign + std::string(static_cast<std::size_t>(e) - digits.size(), '0') + digits;
  }
  const std::string sign = neg ? "-" : "";
  const std::string full = sign + "0." + mant + ex;
  const std::string bare = sign + "." + mant + ex;
  if (static_cast<int>(full.size()) <= w) return right(full, w);
  if (static_cast<int>(bare.size()) <= w) return right(bare, w);
  return stars(w);
}

std::string edit_l(bool v, int w) { return right(v ? "T" : "F", w); }

std::string edit_a(std::string_view s, int w) {
  if (w < 0) return std::string(s);
  if (static_cast<int>(s.size()) >= w) return std::string(s.substr(0, static_cast<std::size_t>(w)));
  return right(std::string(s), w);
}

std::string list_integer(int v) { return right(std::to_string(v), 11); }

// A real as a list-directed write gives it: nine significant digits, in
// fixed form (followed by four blanks where an exponent would stand) when
// 0.1 <= |x| < 1e9 or x = 0, otherwise as d.ddddddddE+nn; 16 columns.
std::string list_real(float x) {
  constexpr int kWidth = 16;
  constexpr int kDigits = 9;
  if (!std::isfinite(x)) {
    std::string t = std::isnan(x) ? "NaN" : (std::signbit(x) ? "-Infinity" : "Infinity");
    return right(t, kWidth);
  }
  const std::string sign = std::signbit(x) ? "-" : "";
  std::string mant;
  int exp10 = 0;
  significant(x, kDigits, mant, exp10);
  std::string t;
  if (x == 0.0f) {
    t = sign + "0." + std::string(kDigits - 1, '0') + "    ";
  } else if (exp10 >= -1 && exp10 < kDigits) {
    if (exp10 < 0) {
      t = sign + "0." + mant;
    } else {
      const auto ni = static_cast<std::size_t>(exp10) + 1;
      t = sign + mant.substr(0, ni) + "." + mant.substr(ni);
    }
    t += "    ";
  } else {
    char buf[16];
    std::snprintf(buf, sizeof buf, "E%c%02d", exp10 < 0 ? '-' : '+', exp10 < 0 ? -exp10 : exp10);
    t = sign + mant.substr(0, 1) + "." + mant.substr(1) + buf;
  }
  return right(t, kWidth);
}

}  // namespace zk::rt
