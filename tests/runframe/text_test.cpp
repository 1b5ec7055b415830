#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "runframe/text_helpers.hpp"

namespace zk {
namespace {

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

}  // namespace
}  // namespace zk
