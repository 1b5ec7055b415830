// Formatted and list-directed reads, checked against what GNU Fortran reads
// from the same records.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <string>
#include <tuple>
#include <vector>

#include "runtime/errors.hpp"
#include "runtime/format.hpp"

namespace zk::rt {
namespace {

constexpr int kUnset = -12345;  // a value no read below produces

std::vector<int> read_ints(const char* fmt, const char* text, int n) {
  std::vector<int> v(static_cast<std::size_t>(n), kUnset);
  TextSource src(text);
  const Target t[] = {target_each(v.data(), n)};
  if (std::string(fmt) == "*") {
    read_list(src, t);
  } else {
    read_formatted(parse_format(fmt), src, t);
  }
  return v;
}

// The message of the InputError a read throws ("" when it throws none).
template <class F>
std::string input_error(F&& f) {
  try {
    f();
  } catch (const InputError& e) {
    return e.what();
  }
  return "";
}

TEST(FormattedRead, Integers) {
  struct Case {
    const char* fmt;
    const char* text;
    std::vector<int> want;
  };
  const Case cases[] = {
      {"(I4,I3,I4)", "  12 -3 + 4", {12, -3, 4}},  // blanks inside a field are ignored
      {"(I4,I3,I4)", "1 2", {12, 0, 0}},           // a short record reads as blanks
      {"(I4)", "", {0}},
      {"(I4)", " 1 2", {12}},
      {"(I4)", "12\r", {12}},  // a stray carriage return is not a digit, but TextSource strips it
      {"(T3,I3,T10,I2)", "xx 12xxxx35", {12, 35}},
      {"(T10,I2,T3,I3)", "xx 12xxxx35", {35, 12}},  // tabs move left too
      {"(2X,I2,TL4,I4)", "  12", {12, 12}},
      {"(I11)", "-2147483648", {-2147483647 - 1}},
      {"(I2/I2)", "1\n2", {1, 2}},
      {"(I2)", "1\n2", {1}},
      {"(2I2)", "1 2 3\n4", {1, 2}},
      {"(I2)", " 1 2\n 3", {1}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(read_ints(c.fmt, c.text, static_cast<int>(c.want.size())), c.want) << c.fmt << " on \"" << c.text << "\"";
  }
}

TEST(FormattedRead, ItemsBeyondTheLayoutContinueOnNewRecords) {
  EXPECT_EQ(read_ints("(I2,2(I3))", " 1  2  3\n  4  5\n  6", 6), (std::vector<int>{1, 2, 3, 4, 5, 6}));
}

TEST(FormattedRead, BadFieldsNameFileLineAndColumns) {
  struct Case {
    const char* fmt;
    const char* text;
    const char* want;
  };
  const Case cases[] = {
      {"(I3)", "1a2", "answer, line 1, columns 1-3: \"1a2\" is not an integer"},
      {"(I3)", "1.5", "columns 1-3: \"1.5\" is not an integer"},
      {"(I3)", "  -", "columns 1-3: \"  -\" is not an integer"},
      {"(I3)", "  +", "\"  +\" is not an integer"},
      {"(I10)", "9999999999", "\"9999999999\" is out of range for an integer"},
      {"(T3,I3)", "xx1a2", "line 1, columns 3-5: \"1a2\""},
      {"(I1/I3)", "1\n1x", "line 2, columns 1-3: \"1x \" is not an integer"},
      {"(I1/I1)", "1", "answer ends after line 1 before all values were read (expected 2 values)"},
  };
  for (const Case& c : cases) {
    const std::string msg = input_error([&] { read_ints(c.fmt, c.text, 2); });
    EXPECT_NE(msg.find(c.want), std::string::npos) << c.fmt << " on \"" << c.text << "\" gave: " << msg;
  }
}

TEST(FormattedRead, TextFields) {
  struct Case {
    const char* fmt;
    const char* text;
    int len;  // of each target
    std::vector<std::string> want;
  };
  const Case cases[] = {
      {"(A3,A)", "abcdef", 5, {"abc  ", "def  "}},
      {"(A,A3)", "ab", 4, {"ab  ", "    "}},
      {"(T3,A2,T1,A1,2X,A1)", "abcdef", 2, {"cd", "a ", "d "}},
      {"(A5)", "abcdef", 3, {"cde"}},  // a field wider than the target keeps its right end
      {"(A)", "abcdef", 3, {"abc"}},
      {"(A/A)", "l1\nl2\nl3", 2, {"l1", "l2"}},
  };
  for (const Case& c : cases) {
    std::vector<std::string> got(c.want.size(), std::string(static_cast<std::size_t>(c.len), '?'));
    std::vector<Target> ts;
    for (std::string& g : got) ts.push_back(target(g.data(), c.len));
    TextSource src(c.text);
    read_formatted(parse_format(c.fmt), src, ts);
    EXPECT_EQ(got, c.want) << c.fmt << " on \"" << c.text << "\"";
  }
}

TEST(FormattedRead, CharacterArrayOneColumnEach) {
  char line[80];
  std::fill(std::begin(line), std::end(line), '?');
  TextSource src("hello");
  const Target t[] = {target_each(line, 80)};
  read_formatted(parse_format("(80A1)"), src, t);
  EXPECT_EQ(std::string(line, 6), "hello ");
  EXPECT_EQ(std::string(line, 80), "hello" + std::string(75, ' '));
}

TEST(FormattedRead, FaultRecordLayout) {
  // A DATA record in its fixed columns; the expected values are what GNU
  // Fortran reads from the same line.
  const char* rec = "   12    35     N   45   E  120   R                                   7  ABC";
  int a = 0, b = 0, c = 0, d = 0, e = 0;
  char s1 = '?', s2 = '?', s3 = '?';
  char t3[3];
  TextSource src(rec);
  const Target ts[] = {target(a), target(b), target(&s1, 1), target(c), target(&s2, 1),
                       target(d), target(&s3, 1), target(e), target(t3, 3)};
  read_formatted(parse_format("(T3,I3,T10,I2,T17,A1,T21,I2,T26,A1,T29,I3,T35,A1,T70,I3,T74,A3)"), src, ts);
  EXPECT_EQ(a, 12);
  EXPECT_EQ(b, 35);
  EXPECT_EQ(s1, 'N');
  EXPECT_EQ(c, 45);
  EXPECT_EQ(s2, 'E');
  EXPECT_EQ(d, 120);
  EXPECT_EQ(s3, 'R');
  EXPECT_EQ(e, 7);
  EXPECT_EQ(std::string(t3, 3), "ABC");
}

TEST(FormattedRead, RealsWithAndWithoutPoint) {
  struct Case {
    const char* fmt;
    const char* text;
    float want;
  };
  const Case cases[] = {
      {"(F6.2)", " 12.5 ", 12.5f}, {"(F6.2)", " 125  ", 1.25f}, {"(F6.2)", "      ", 0.0f},
      {"(F6.2)", "-1.5e1", -15.0f}, {"(F4.1)", "  -5", -0.5f},
  };
  for (const Case& c : cases) {
    float v = -1.0f;
    TextSource src(c.text);
    const Target t[] = {target(v)};
    read_formatted(parse_format(c.fmt), src, t);
    EXPECT_EQ(v, c.want) << c.fmt << " on \"" << c.text << "\"";
  }
}

TEST(ListRead, IntegersAcrossRecords) {
  struct Case {
    const char* text;
    std::vector<int> want;
  };
  const Case cases[] = {
      {"1 2\n3 4 5\n6", {1, 2, 3}},
      {"1,2,,4", {1, 2, kUnset, 4}},  // a null value leaves the item alone
      {"1, 2 ,\n 4", {1, 2, 4}},
      {"1 / 3", {1, kUnset, kUnset}},  // a slash ends the read
      {"2*7 3", {7, 7, 3}},
      {"2* 3", {kUnset, kUnset, 3}},
      {",5", {kUnset, 5}},
      {"\n\n5 6", {5, 6}},  // empty records are passed over
      {"1\t2", {1, 2}},
      {"  7  \n8", {7}},
      {"3*9", {9, 9}},  // a repeat beyond the items is cut
      {"-2147483648 +5", {-2147483647 - 1, 5}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(read_ints("*", c.text, static_cast<int>(c.want.size())), c.want) << "\"" << c.text << "\"";
  }
}

// In list-directed input a record end is a blank, and blanks, one comma and
// blanks are one separator: a comma that opens a record is the separator of
// the value before it unless a comma already followed that value. Every row
// is what GNU Fortran 12 reads; `then` is a second read from the same text.
TEST(ListRead, CommaOpeningARecord) {
  struct Case {
    const char* text;
    std::vector<int> want;
    std::vector<int> then = {};
  };
  const Case cases[] = {
      // the comma is the separator of the value on the line before
      {"120 60\n,300,10,35", {120, 60, 300, 10, 35}},
      {"1,0\n1,80\n,5,7,2", {1, 0}, {1, 80, 5, 7, 2}},
      {"1\n,1", {1, 1}},
      {"1\n\n\t,5", {1, 5}},                // blank records between
      {"1\n,\n,5", {1, 5}},                 // a lone comma leaves the value waiting
      {"2*7\n,5", {7, 7, 5}},
      {"1 0\n\n,5,7", {1, 0}, {5, 7}},      // a read whose first record is blank
      {"\n,5", {5}},
      // the comma is a null value
      {"1,\n,5", {1, kUnset, 5}},           // a comma already followed the value
      {"1 ,  \n\n,5", {1, kUnset, 5}},
      {"1\n, ,5", {1, kUnset, 5}},          // a comma after the separating comma
      {"1\n,5 ,\n,6", {1, 5, kUnset, 6}},
      {",5", {kUnset, 5}},                  // first in the file
      {"1 0\n,5,7", {1, 0}, {kUnset, 5}},   // first in a read
      {"1\n;2", {1, kUnset, 2}},            // a semicolon opening a record
      {"1;2", {1, 2}},                      // ... but separates on the value's own record
      // a slash first after a record end still lets the value right after it in
      {"1\n/23,4", {1, 23, kUnset}},
      {"1\n/ 23", {1, kUnset}},
      {"1 /\n,5", {1, kUnset}, {kUnset}},
  };
  for (const Case& c : cases) {
    std::vector<int> got(c.want.size(), kUnset), then(c.then.size(), kUnset);
    TextSource src(c.text);
    const Target t1[] = {target_each(got.data(), static_cast<int>(got.size()))};
    read_list(src, t1);
    if (!then.empty()) {
      const Target t2[] = {target_each(then.data(), static_cast<int>(then.size()))};
      read_list(src, t2);
    }
    EXPECT_EQ(got, c.want) << "\"" << c.text << "\"";
    EXPECT_EQ(then, c.then) << "\"" << c.text << "\" (second read)";
  }
}

// What a read leaves on its last record (line:column:value, "," for a
// decimal comma): the first value after the last value and its separators,
// unless a "/" ends the record.
TEST(ListRead, WhatIsLeftOnTheLastRecord) {
  const std::tuple<const char*, int, const char*> cases[] = {
      {"1 2 3", 2, "1:5:3"},     {"1\n0,35", 2, "2:3:35,"}, {"1 2 ,, x", 2, "1:8:x"}, {"1 2,", 2, ""},
      {"1 2 / notes", 2, ""},     {"1, 2", 1, "1:4:2"},     {"1\n2 3x y", 2, "2:3:3x"},
  };
  for (const auto& [text, items, want] : cases) {
    std::vector<float> v(static_cast<std::size_t>(items));
    TextSource src(text);
    const Target t[] = {target_each(v.data(), items)};
    const auto rest = read_list(src, t);
    const std::string got = rest ? std::to_string(rest->line) + ":" + std::to_string(rest->column) + ":" + rest->text +
                                       (rest->decimal_comma ? "," : "")
                                 : "";
    EXPECT_EQ(got, want) << text;
  }
}

TEST(ListRead, RealForms) {
  float v[11];
  TextSource src("1 .5 1. 1e3 1.5d0 -2E-1 +3 1E+2 1-2 1q2 1e-50");
  const Target t[] = {target_each(v, 11)};
  read_list(src, t);
  const float want[] = {1.0f, 0.5f, 1.0f, 1000.0f, 1.5f, -0.2f, 3.0f, 100.0f, 0.01f, 100.0f, 0.0f};
  for (int k = 0; k < 11; ++k) EXPECT_EQ(std::bit_cast<std::uint32_t>(v[k]), std::bit_cast<std::uint32_t>(want[k])) << k;
}

TEST(ListRead, Texts) {
  char a[4], b[4], c[6];
  TextSource src("abc 'x y' \"it\"\"s\"");
  const Target t[] = {target(a, 4), target(b, 4), target(c, 6)};
  read_list(src, t);
  EXPECT_EQ(std::string(a, 4), "abc ");
  EXPECT_EQ(std::string(b, 4), "x y ");
  EXPECT_EQ(std::string(c, 6), "it\"s  ");
}

TEST(ListRead, BadValuesNameLineAndItem) {
  struct Case {
    const char* text;
    bool real;
    const char* want;
  };
  const Case cases[] = {
      {"1.5", false, "answer, line 1, item 1: \"1.5\" is not an integer"},
      {"1e3", false, "item 1: \"1e3\" is not an integer"},
      {"abc", false, "\"abc\" is not an integer"},
      {"+", false, "\"+\" is not an integer"},
      {"3 x", false, "item 2: \"x\" is not an integer"},
      {"1\n2 3x", false, "line 2, item 3: \"3x\""},
      {"99999999999", false, "is out of range for an integer"},
      {"0*5", false, "\"0*\" has a repeat count of zero"},
      {"1.5e", true, "\"1.5e\" is not a number"},
      {".", true, "\".\" is not a number"},
      {"e5", true, "\"e5\" is not a number"},
      {"2.5e-1x", true, "is not a number"},
      {"nan", true, "\"nan\" is not a number"},
      {"inf", true, "\"inf\" is not a number"},
      {"1e50", true, "\"1e50\" is out of range for a real"},
      {"1", false, "answer ends after line 1 before all values were read (expected 3 values)"},
      {"1,", true, "ends after line 1 before all values were read"},
  };
  for (const Case& c : cases) {
    const std::string msg = input_error([&] {
      TextSource src(c.text);
      int i[3];
      float r[3];
      const Target t[] = {c.real ? target_each(r, 3) : target_each(i, 3)};
      read_list(src, t);
    });
    EXPECT_NE(msg.find(c.want), std::string::npos) << "\"" << c.text << "\" gave: " << msg;
  }
}

TEST(ListRead, ConsoleEndIsEndOfInput) {
  struct Console : TextSource {
    using TextSource::TextSource;
    bool is_console() const override { return true; }
  } src("1");
  int v[2];
  const Target t[] = {target_each(v, 2)};
  EXPECT_THROW(read_list(src, t), EndOfInput);
}

}  // namespace
}  // namespace zk::rt
