// The prompts: defaults, retries and the range line.
#include <algorithm>

#include "console.hpp"
#include "runframe/frames.hpp"
#include "runframe/prompts.hpp"
#include "runtime/errors.hpp"

namespace zk {
namespace {

using test::Console;
using test::kStar50;
using test::Lines;

const std::string kBlank = " ***" + std::string(44, ' ') + "***";
const std::string kDots = " " + std::string(42, '.');

Lines prompt(const std::string& range = " inside  [0,3]") {
  return {kDots, " Enter run info code", range, " or return for default value", " Default =            0"};
}

TEST(Prompts, IntegerDialogue) {
  const Lines one = {" New value =             1", kDots}, zero = {" New value =             0", kDots};
  const Lines again = {" ===> HIT RETURN TO CONTINUE", kStar50};
  const Lines head = {kStar50, kStar50, kBlank, " ***          subroutine inintegvindef          ***", kBlank,
                      " ***                   ERROR                    ***", kBlank, kStar50, kStar50};
  struct Case {
    std::string input;
    int iv;
    Lines out;
  } const cases[] = {
      {"\n", 0, test::cat({prompt(), zero})},    // RETURN takes the default
      {" 2\n", 0, test::cat({prompt(), zero})},  // so does a leading blank
      {"\r2\n", 0, test::cat({prompt(), zero})},  // and a carriage return
      {"1,3\n", 1, test::cat({prompt(), one})},
      {"7\n\n1\n", 1,
       test::cat({prompt(), head, {" run info code =            7", " outside [0,3]"}, again, prompt(), one})},
      {"x\n\n1\n", 1,
       test::cat({prompt(), head, {" could not read run info code", " ==> RETRYING"}, again, prompt(), one})},
  };
  for (const Case& c : cases) {
    Console con(c.input);
    int iv = -99, status = -1;
    inintegvindef(con.ws, iv, "run info code                      ", 0, 0, 3, status);
    EXPECT_EQ(iv, c.iv) << c.input;
    EXPECT_EQ(status, 0) << c.input;
    EXPECT_EQ(con.lines(), c.out) << c.input;
  }
  // A default outside the range is refused too; without more output only the
  // prompt, the range and the new value show; end of input is not retried.
  Console def("\n\n2\n");
  int iv = 0, status = 0;
  inintegvindef(def.ws, iv, "level", 9, 1, 3, status);
  EXPECT_EQ(iv, 2);
  const Lines l = def.lines();
  EXPECT_NE(std::find(l.begin(), l.end(), " level =            9"), l.end());
  Console quiet("3\n");
  quiet.ws.iocom.iomoreout = false;
  inintegvindef(quiet.ws, iv, "level", 0, 0, 3, status);
  EXPECT_EQ(quiet.lines(), (Lines{" Enter level", " inside  [0,3]", " New value =             3"}));
  Console eof("x\n");
  EXPECT_THROW(inintegvindef(eof.ws, iv, "level", 0, 0, 3, status), rt::EndOfInput);
}

TEST(Prompts, RangeLineWidthsFollowTheBounds) {
  const std::pair<int, int> bounds[] = {{0, 3}, {-5, 12}, {-2147483647 - 1, 2147483647}};
  const char* const want[] = {" inside  [0,3]", " inside  [-5,12]", " inside  [-2147483648,2147483647]"};
  for (int k = 0; k < 3; ++k) {
    Console con;
    write_range_line(con.ws, "inside  [", bounds[k].first, bounds[k].second);
    EXPECT_EQ(con.lines(), Lines{want[k]});
  }
}

}  // namespace
}  // namespace zk
