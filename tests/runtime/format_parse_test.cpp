// Layouts that must be refused, and spellings that must mean the same.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "golden_support.hpp"
#include "runtime/errors.hpp"
#include "runtime/format.hpp"

namespace zk::rt {
namespace {

using namespace golden;

std::vector<std::string> write(const char* fmt, const std::vector<Value>& items) {
  const ArgList args = to_args(items);
  return write_records(parse_format(fmt), args.items());
}

TEST(FormatParse, MalformedLayoutsAreRefused) {
  const char* bad[] = {
      "",           "I3",          "(I3",        "(I3))",      "(I3) x",   "('abc)",   "(5H ab)",
      "(Q3)",       "(F8)",        "(E14)",      "(E14.0)",    "(L)",      "(A0)",     "(T0)",
      "(2T5)",      "(0I3)",       "(I3.4)",     "(I)",        "(TL)",     "(2(I3)",   "(99999999I3)",
  };
  for (const char* f : bad) EXPECT_THROW(parse_format(f), FormatError) << f;
}

TEST(FormatParse, SpellingsThatMeanTheSame) {
  struct Case {
    const char* a;
    const char* b;
    std::vector<Value> items;
  };
  const Case cases[] = {
      {"(1x,a,1x,i2)", "( 1X , A , 1X , I 2 )", {S("u ="), I(5)}},
      {"(2X,20(1H*),' D')", "(2x,20('*'),' D')", {}},
      {"(3HA B,'C')", "('A BC')", {}},
      {"('it''s',\"say \"\"x\"\"\")", "('it''s','say \"x\"')", {}},
      {"(I3/I3)", "(I3,/,I3)", {I(1), I(2)}},
      {"(2/)", "(//)", {}},
      {"(T3,'a',TL2,'b',TR1,'c')", "(t3,'a',tl2,'b',tr1,'c')", {}},
      {"(X,'a')", "(1X,'a')", {}},
  };
  for (const Case& c : cases) EXPECT_EQ(write(c.a, c.items), write(c.b, c.items)) << c.a << " vs " << c.b;
}

TEST(FormatParse, ParsedOnceAndKept) {
  const Format& a = parse_format("(1X,'SIGMA(',I1,')=',F9.5)");
  const Format& b = parse_format(std::string("(1X,'SIGMA(',I1,')=',F9.5)"));
  EXPECT_EQ(&a, &b);
}

TEST(FormattedWrite, ItemOfTheWrongKindIsAProgrammingError) {
  const std::vector<Value> cases[] = {{R(1.5f)}, {S("x")}, {L(true)}};
  for (const auto& items : cases) EXPECT_THROW(write("(I3)", items), FormatError);
  EXPECT_THROW(write("(F5.2)", {I(1)}), FormatError);
  EXPECT_THROW(write("(A)", {I(65)}), FormatError);
}

TEST(FormattedWrite, ItemsWithNoDescriptorToTakeThemAreAProgrammingError) {
  EXPECT_THROW(write("('abc')", {I(1)}), FormatError);
  EXPECT_THROW(write("(I2,'x',2('y'))", {I(1), I(2)}), FormatError);  // reversion to a group without data
}

}  // namespace
}  // namespace zk::rt
