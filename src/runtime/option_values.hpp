#pragma once
// Values of command-line options, read and refused in the same words by
// every program. A number is written in decimal digits: an optional sign,
// digits with an optional decimal point, an optional exponent ("95", "+2",
// "0.6", ".5", "1.5e+02"). Hexadecimal ("0x10", "0x1p-1"), "inf", "nan",
// blanks and anything after the number are refused, whatever the option.
// Each reader returns "" and sets `out`, or returns the message that
// refuses the value: the option, what it takes and the text given.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace zk::rt {

// "" when an option given `count` times was given once with a value among
// `values`; otherwise "option NAME given twice" or "option NAME needs
// ARGUMENT". An empty value is no value unless `empty_ok`.
std::string given_once(std::string_view name, std::string_view argument, std::size_t count,
                       const std::vector<std::string>& values, bool empty_ok = false);

// A whole number from `low` to `high`.
std::string read_whole(std::string_view name, std::string_view text, long long low, long long high, long long& out);

// A whole number of 64 bits (0 to 18446744073709551615), as a seed.
std::string read_seed(std::string_view name, std::string_view text, std::uint64_t& out);

// A number from `low` to `high`; `unit` follows "a number" in the message
// ("", " of degrees").
std::string read_real(std::string_view name, std::string_view text, double low, double high, std::string_view unit,
                      double& out);

// A per cent strictly between 0 and 100.
std::string read_percent(std::string_view name, std::string_view text, double& out);

// One of `words`, as written.
std::string read_choice(std::string_view name, std::string_view text, const std::vector<const char*>& words,
                        std::string& out);

}  // namespace zk::rt
