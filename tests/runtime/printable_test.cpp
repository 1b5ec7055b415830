// The one UTF-8 rule: what a message shows as it is and what it escapes.
#include <gtest/gtest.h>

#include <string>

#include "runtime/printable.hpp"

namespace zk::rt {
namespace {

TEST(Utf8, MessagesShowValidTextAndEscapeTheRest) {
  struct Case {
    std::string bytes;
    std::size_t sequence;  // utf8_sequence at 0
    std::string shown;     // escape_bytes
  } const cases[] = {
      {"a", 0, "a"},
      {"\xC3\xA9", 2, "\xC3\xA9"},                  // e acute
      {"\xE2\x82\xAC", 3, "\xE2\x82\xAC"},          // euro sign
      {"\xF0\x9F\x98\x80", 4, "\xF0\x9F\x98\x80"},  // U+1F600
      {"\xC2\x85", 0, "\\xc2\\x85"},                // C1 control (NEL)
      {"\xE0\x80\x80", 0, "\\xe0\\x80\\x80"},       // overlong
      {"\xF0\x80\x80\x80", 0, "\\xf0\\x80\\x80\\x80"},
      {"\xED\xA0\x80", 0, "\\xed\\xa0\\x80"},       // surrogate
      {"\xF4\x90\x80\x80", 0, "\\xf4\\x90\\x80\\x80"},  // beyond U+10FFFF
      {"\xE2\x82", 0, "\\xe2\\x82"},                // cut short
      {"\xC3" "a", 0, "\\xc3a"},                    // no continuation
      {"\xEF\xBB\xBF" "a", 3, "\\xef\\xbb\\xbfa"},  // byte-order mark: valid, shows nothing
      {"\t\x7F", 0, "\\x09\\x7f"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(utf8_sequence(c.bytes, 0), c.sequence) << escape_bytes(c.bytes);
    EXPECT_EQ(escape_bytes(c.bytes), c.shown);
  }
}

}  // namespace
}  // namespace zk::rt
