// Number values of command-line options: what reads, to what, and what is
// refused, for the two readers every number option goes through.
#include <gtest/gtest.h>

#include <string>

#include "runtime/option_values.hpp"

namespace zk::rt {
namespace {

struct NumberCase {
  const char* text;
  bool read;
  double value;  // when read
};

TEST(OptionValues, RealsInDecimalDigitsOnly) {
  const NumberCase cases[] = {
      {"0.6", true, 0.6},     {"+2", true, 2.0},      {"-0", true, 0.0},        {"5.", true, 5.0},
      {".5", true, 0.5},      {"1.5e+01", true, 15.0}, {"6E-1", true, 0.6},     {"1e-999", true, 0.0},
      {"0x10", false, 0},     {"0x1p-1", false, 0},   {"inf", false, 0},        {"-Infinity", false, 0},
      {"nan", false, 0},      {" 5", false, 0},       {"5 ", false, 0},         {"5,5", false, 0},
      {"1e", false, 0},       {"+-5", false, 0},      {"", false, 0},           {"1e999", false, 0},
      {"20.0001", false, 0},  {"-0.5", false, 0},
  };
  for (const NumberCase& c : cases) {
    double v = -1.0;
    const std::string error = read_real("--x", c.text, 0.0, 20.0, "", v);
    EXPECT_EQ(error.empty(), c.read) << c.text << ": " << error;
    const std::string refusal = "--x must be a number from 0 to 20 in decimal digits (got \"" + std::string(c.text) + "\")";
    EXPECT_EQ(c.read ? v : -1.0, c.read ? c.value : -1.0) << c.text;
    EXPECT_EQ(error, c.read ? "" : refusal);
  }
}

TEST(OptionValues, WholeNumbersInDecimalDigitsOnly) {
  const NumberCase cases[] = {
      {"7", true, 7},      {"+7", true, 7},     {"-3", true, -3},  {"007", true, 7},   {"1e1", false, 0},
      {"7.0", false, 0},   {"0x7", false, 0},   {"inf", false, 0}, {"-4", false, 0},   {"11", false, 0},
      {"99999999999999999999", false, 0},
  };
  for (const NumberCase& c : cases) {
    long long v = 0;
    const std::string error = read_whole("--n", c.text, -3, 10, v);
    EXPECT_EQ(error.empty(), c.read) << c.text << ": " << error;
    EXPECT_EQ(c.read ? v : 0, static_cast<long long>(c.value)) << c.text;
  }
}

}  // namespace
}  // namespace zk::rt
