#include "runtime/option_values.hpp"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "runtime/printable.hpp"

namespace zk::rt {

namespace {

// `text` without its sign, which `negative` tells; "" when another sign
// follows. What is left is read by std::from_chars, which reads decimal
// digits only (no hexadecimal, no blanks), then must be finite: "inf" and
// "nan" are refused with the rest.
std::string_view unsigned_part(std::string_view text, bool& negative) {
  negative = !text.empty() && text[0] == '-';
  const std::string_view body = !text.empty() && (text[0] == '+' || text[0] == '-') ? text.substr(1) : text;
  return !body.empty() && (body[0] == '+' || body[0] == '-') ? std::string_view() : body;
}

std::string got(std::string_view text) { return " (got \"" + shortened(text) + "\")"; }

std::string number_text(double v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%g", v);
  return buf;
}

}  // namespace

std::string given_once(std::string_view name, std::string_view argument, std::size_t count,
                       const std::vector<std::string>& values, bool empty_ok) {
  if (count > 1 || values.size() > 1) return "option " + std::string(name) + " given twice";
  if (values.empty() || (values.front().empty() && !empty_ok)) {
    return "option " + std::string(name) + " needs " + std::string(argument);
  }
  return "";
}

std::string read_whole(std::string_view name, std::string_view text, long long low, long long high, long long& out) {
  bool negative = false;
  const std::string_view body = unsigned_part(text, negative);
  unsigned long long magnitude = 0;
  const auto [end, ec] = std::from_chars(body.data(), body.data() + body.size(), magnitude);
  const bool read = !body.empty() && ec == std::errc() && end == body.data() + body.size() &&
                    magnitude <= static_cast<unsigned long long>(INT64_MAX);
  const long long v = negative ? -static_cast<long long>(magnitude) : static_cast<long long>(magnitude);
  if (!read || v < low || v > high) {
    return std::string(name) + " must be a whole number from " + std::to_string(low) + " to " + std::to_string(high) +
           got(text);
  }
  out = v;
  return "";
}

std::string read_seed(std::string_view name, std::string_view text, std::uint64_t& out) {
  bool negative = false;
  const std::string_view body = unsigned_part(text, negative);
  std::uint64_t v = 0;
  const auto [end, ec] = std::from_chars(body.data(), body.data() + body.size(), v);
  if (body.empty() || ec != std::errc() || end != body.data() + body.size() || (negative && v != 0)) {
    return std::string(name) + " must be a whole number from 0 to 18446744073709551615" + got(text);
  }
  out = v;
  return "";
}

std::string read_real(std::string_view name, std::string_view text, double low, double high, std::string_view unit,
                      double& out) {
  bool negative = false;
  const std::string_view body = unsigned_part(text, negative);
  double v = 0.0;
  const auto [end, ec] = std::from_chars(body.data(), body.data() + body.size(), v);
  const bool read = !body.empty() && end == body.data() + body.size() &&
                    (ec == std::errc() || ec == std::errc::result_out_of_range);
  // out of a double's range: infinite (refused) when too large, 0 when too small
  if (ec == std::errc::result_out_of_range) v = std::strtod(std::string(body).c_str(), nullptr);
  if (negative) v = -v;
  if (!read || !std::isfinite(v) || v < low || v > high) {
    return std::string(name) + " must be a number" + std::string(unit) + " from " + number_text(low) + " to " +
           number_text(high) + " in decimal digits" + got(text);
  }
  out = v;
  return "";
}

std::string read_percent(std::string_view name, std::string_view text, double& out) {
  double v = 0.0;
  if (!read_real(name, text, 0.0, 100.0, "", v).empty() || v <= 0.0 || v >= 100.0) {
    return std::string(name) + " must be a per cent above 0 and below 100 in decimal digits, such as 95 or 68.3" +
           got(text);
  }
  out = v;
  return "";
}

std::string read_choice(std::string_view name, std::string_view text, const std::vector<const char*>& words,
                        std::string& out) {
  for (const char* w : words) {
    if (text == w) {
      out = w;
      return "";
    }
  }
  std::string list;
  for (std::size_t k = 0; k < words.size(); ++k) {
    list += std::string(k == 0 ? "" : k + 1 == words.size() ? " or " : ", ") + words[k];
  }
  return std::string(name) + " takes " + list + got(text);
}

}  // namespace zk::rt
