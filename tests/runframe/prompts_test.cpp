#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "console.hpp"
#include "runframe/prompts.hpp"
#include "runtime/errors.hpp"

namespace zk {
namespace {

using test::Console;
using Lines = std::vector<std::string>;

const std::string kDots = " " + std::string(42, '.');
const std::string kStar50 = " " + std::string(50, '*');

Lines prompt_lines(const std::string& range = " inside  [0,3]", const std::string& def = "           0") {
  return {kDots, " Enter run info code", range, " or return for default value", " Default = " + def};
}

Lines error_frame() {
  const std::string blank = " ***" + std::string(44, ' ') + "***";
  return {kStar50, kStar50, blank, " ***          subroutine inintegvindef          ***",
          blank,   " ***                   ERROR                    ***", blank, kStar50, kStar50};
}

Lines cat(std::initializer_list<Lines> parts) {
  Lines all;
  for (const Lines& p : parts) all.insert(all.end(), p.begin(), p.end());
  return all;
}

TEST(Inintegvindef, TheDialogue) {
  const Lines accepted1 = {" New value =             1", kDots};
  struct Case {
    std::string name;
    std::string input;
    int iv;
    Lines out;
  };
  const Case cases[] = {
      {"return takes the default", "\n", 0, cat({prompt_lines(), {" New value =             0", kDots}})},
      {"leading blank takes the default", " 2\n", 0, cat({prompt_lines(), {" New value =             0", kDots}})},
      {"value in range", "1\n", 1, cat({prompt_lines(), accepted1})},
      {"value with trailing text", "1,3\n", 1, cat({prompt_lines(), accepted1})},
      {"outside the range, asked again", "7\n\n1\n", 1,
       cat({prompt_lines(), error_frame(),
            {" run info code =            7", " outside [0,3]", " ===> HIT RETURN TO CONTINUE", kStar50},
            prompt_lines(), accepted1})},
      {"not an integer, asked again", "x\n\n1\n", 1,
       cat({prompt_lines(), error_frame(),
            {" could not read run info code", " ==> RETRYING", " ===> HIT RETURN TO CONTINUE", kStar50},
            prompt_lines(), accepted1})},
  };
  for (const Case& c : cases) {
    Console con(c.input);
    int iv = -99;
    int status = -1;
    inintegvindef(con.ws, iv, "run info code                      ", 0, 0, 3, status);
    EXPECT_EQ(iv, c.iv) << c.name;
    EXPECT_EQ(status, 0) << c.name;
    EXPECT_EQ(con.lines(), c.out) << c.name;
  }
}

TEST(Inintegvindef, RangeLineWidthsFollowTheBounds) {
  struct Case {
    int lo, hi;
    std::string line;
  };
  const Case cases[] = {
      {0, 3, " inside  [0,3]"},
      {-5, 12, " inside  [-5,12]"},
      {-100, 999999, " inside  [-100,999999]"},
      {-2147483647 - 1, 2147483647, " inside  [-2147483648,2147483647]"},
  };
  for (const Case& c : cases) {
    Console con;
    write_range_line(con.ws, "inside  [", c.lo, c.hi);
    EXPECT_EQ(con.lines(), Lines{c.line});
  }
}

TEST(Inintegvindef, ADefaultOutsideTheRangeIsRefusedToo) {
  Console con("\n\n2\n");
  int iv = 0;
  int status = 0;
  inintegvindef(con.ws, iv, "level", 9, 1, 3, status);
  EXPECT_EQ(iv, 2);
  const Lines l = con.lines();
  EXPECT_NE(std::find(l.begin(), l.end(), " level =            9"), l.end());
  EXPECT_NE(std::find(l.begin(), l.end(), " outside [1,3]"), l.end());
}

TEST(Inintegvindef, QuietWithoutMoreOutput) {
  Console con("3\n");
  con.ws.iocom.iomoreout = false;
  int iv = 0;
  int status = 0;
  inintegvindef(con.ws, iv, "level", 0, 0, 3, status);
  EXPECT_EQ(con.lines(), (Lines{" Enter level", " inside  [0,3]", " New value =             3"}));
}

TEST(Inintegvindef, EndOfInputIsNotRetried) {
  Console con("x\n");  // the wait after the error frame finds no record
  int iv = 0;
  int status = 0;
  EXPECT_THROW(inintegvindef(con.ws, iv, "level", 0, 0, 3, status), rt::EndOfInput);
}

TEST(Inchardef, DefaultOrAnswer) {
  struct Case {
    std::string input;
    std::string value;
    Lines tail;  // after the four prompt lines
  };
  const std::string long_answer(90, 'z');
  const Case cases[] = {
      {" x\n", "old.dat", {" ichar =  32 => use default value", " New value = old.dat   ", kDots}},
      {"\n", "old.dat", {" ichar =  32 => use default value", " New value = old.dat   ", kDots}},
      {"new\n", "new", {" New value = new       ", kDots}},
      {long_answer + "\n", "zzzzzzzzzz", {" New value = zzzzzzzzzz", kDots}},
  };
  for (const Case& c : cases) {
    Console con(c.input);
    Text<10> value("old.dat");
    int status = -1;
    inchardef(con.ws, value, "  file name ", value.view(), status);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(value.view(), Text<10>(c.value).view()) << c.input;
    const Lines want = cat({{kDots, " Enter file name", " or return for default value", " Default = old.dat"}, c.tail});
    EXPECT_EQ(con.lines(), want) << c.input;
  }
}

}  // namespace
}  // namespace zk
