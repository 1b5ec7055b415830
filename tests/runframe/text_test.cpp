#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "runframe/platform.hpp"
#include "runframe/text_helpers.hpp"

namespace zk {
namespace {

TEST(TextHelpers, TextlenAndTrimmed) {
  struct Case {
    std::string text;
    int first, last;
    std::string trimmed;
  } const cases[] = {
      {"  ab  ", 3, 4, "ab"}, {"    ", 4, 4, " "}, {"", 1, 0, ""}, {"a", 1, 1, "a"}, {"  a b", 3, 5, "a b"},
  };
  for (const Case& c : cases) {
    int first = -9, last = -9;
    textlen(first, last, c.text);
    EXPECT_EQ(first, c.first) << "[" << c.text << "]";
    EXPECT_EQ(last, c.last) << "[" << c.text << "]";
    EXPECT_EQ(trimmed(c.text), c.trimmed) << "[" << c.text << "]";
  }
}

TEST(TextHelpers, Path2basenameTakesTheLastComponent) {
  struct Case {
    std::string path, base;
    int n;
  } const cases[] = {
      {"  /a/b/data.txt   ", "data.txt", 8},
      {"dir/", "dir/", 4},  // a final "/" is not the separator
      {"a/b/", "b/", 2}, {"/x", "x", 1}, {"data", "data", 4}, {"/", "/", 1}, {"//", "/", 1},
  };
  for (const Case& c : cases) {
    Text<30> base("?");
    int n = -1;
    path2basename(n, base, c.path);
    EXPECT_EQ(n, c.n) << c.path;
    EXPECT_EQ(base.view(), Text<30>(c.base).view()) << c.path;
  }
  Text<4> small;  // cut to the field
  int n = 0;
  path2basename(n, small, "/d/longname");
  EXPECT_EQ(n, 8);
  EXPECT_EQ(small.view(), "long");
  Text<30> same("/usr/share/file.dat");  // may read its own field
  path2basename(n, same, same.view());
  EXPECT_EQ(same.view(), Text<30>("file.dat").view());
}

TEST(TextHelpers, InteglenCountsCharactersWithTheSign) {
  const std::pair<int, int> cases[] = {{0, 1},        {7, 1},      {10, 2},        {-1, 2},       {-10, 3},
                                       {99, 2},       {100, 3},    {999999, 6},    {1000000, 7},  {-999999, 7},
                                       {INT_MAX, 10}, {INT_MIN, 11}};
  for (auto [iv, n] : cases) {
    int got = -1;
    integlen(got, iv);
    EXPECT_EQ(got, n) << iv;
  }
}

TEST(TextHelpers, ReadListIntegerReadsAsAFreeFormatRead) {
  struct Case {
    std::string text;
    ListInt result;
    int iv;  // 42 = left as it was
  } const cases[] = {
      {"-12", ListInt::Value, -12},  {"3,4", ListInt::Value, 3},  {"3;4", ListInt::Value, 3},
      {"3 x", ListInt::Value, 3},    {"2*5", ListInt::Value, 5},  {"-2147483648", ListInt::Value, INT_MIN},
      {"/", ListInt::Null, 42},      {";", ListInt::Null, 42},    {"2*", ListInt::Null, 42},
      {"3x", ListInt::Bad, 42},      {"1.5", ListInt::Bad, 42},   {"0*5", ListInt::Bad, 42},
      {"-", ListInt::Bad, 42},       {"", ListInt::Bad, 42},      {"2147483648", ListInt::Bad, 42},
  };
  for (const Case& c : cases) {
    int iv = 42;
    EXPECT_EQ(read_list_integer(c.text, iv), c.result) << "[" << c.text << "]";
    EXPECT_EQ(iv, c.iv) << "[" << c.text << "]";
  }
}

TEST(Platform, SelectorsAndProcessorSpeed) {
  EXPECT_EQ(gestalt_selector("sysa"), 0x73797361u);
  struct Case {
    std::string text;
    bool ok;
    int32_t mhz;
  } const cases[] = {
      {"processor\t: 0\ncpu MHz\t\t: 2400.123\ncpu MHz\t\t: 1800.000\n", true, 2400},
      {"cpu MHz : 999.999", true, 999},
      {"model name\t: some cpu\n", false, -1},
      {"cpu MHz\t\t: 99999999999999\n", false, -1},
  };
  for (const Case& c : cases) {
    int32_t mhz = -1;
    EXPECT_EQ(parse_cpuinfo_mhz(c.text, mhz), c.ok) << c.text;
    EXPECT_EQ(mhz, c.mhz) << c.text;
  }
}

}  // namespace
}  // namespace zk
