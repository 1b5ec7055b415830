#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "console.hpp"
#include "runframe/pictures.hpp"

namespace zk {
namespace {

using test::Console;
using Lines = std::vector<std::string>;

struct Shape {
  std::string name;
  void (*draw)(Workspace&);
  std::size_t lines, length;
  int margin;
};

// Lines, length and left margin of each drawing.
const Shape kShapes[] = {
    {"happyface", happyface, 18, 36, 8},   {"sorryface", sorryface, 18, 36, 8},
    {"graben", graben, 8, 40, 6},          {"horst", horst, 8, 40, 6},
    {"sator", sator, 5, 9, 21},            {"carmag33", carmag33, 7, 13, 19},
    {"tetrakis", tetrakis, 4, 13, 19},     {"tetratemple1", tetratemple1, 12, 21, 15},
    {"tetratemple2", tetratemple2, 16, 26, 13}, {"endfun1", endfun1, 8, 44, 4},
};

TEST(Pictures, EachIsFramedByBlankLinesAndDrawnAfterItsMargin) {
  ASSERT_EQ(pictures().size(), std::size(kShapes));
  for (const Shape& s : kShapes) {
    const Picture* table = nullptr;
    for (const Picture& p : pictures()) {
      if (p.name == s.name) table = &p;
    }
    ASSERT_NE(table, nullptr) << s.name;
    EXPECT_EQ(table->lines.size(), s.lines) << s.name;
    EXPECT_EQ(table->margin, s.margin) << s.name;

    Console con;
    s.draw(con.ws);
    const Lines l = con.lines();
    ASSERT_EQ(l.size(), s.lines + 2) << s.name;
    EXPECT_EQ(l.front(), "  ");  // "(1x,a)" with a single blank
    EXPECT_EQ(l.back(), "  ");
    for (std::size_t k = 0; k < s.lines; ++k) {
      const std::string& r = l[k + 1];
      EXPECT_EQ(r.size(), s.margin + s.length) << s.name << " line " << k + 1;
      EXPECT_EQ(r.substr(0, static_cast<std::size_t>(s.margin)), std::string(static_cast<std::size_t>(s.margin), ' '))
          << s.name;
      EXPECT_EQ(r.substr(static_cast<std::size_t>(s.margin)), table->lines[k]) << s.name;
      EXPECT_NE(table->lines[k].find_first_not_of(' '), std::string_view::npos) << s.name;
    }
  }
}

TEST(Pictures, SampleLinesAsDrawn) {
  struct Case {
    void (*draw)(Workspace&);
    std::size_t record;  // 0 = the first blank line
    std::string text;
  };
  const Case cases[] = {
      {carmag33, 2, "                   | 8 | 1 | 6 |"},
      {sator, 3, "                     T E N E T"},
      {tetratemple2, 11, "                 | |   | |   | | ||===/"},
      {tetratemple2, 16, "             =====================     "},
      {graben, 8, "      ########\\#####\\###\\##/###/#####/########"},
      {endfun1, 2, "           \\|/       @~/ ,. \\~@   o' \\,=./ `o   "},
      {happyface, 14, "          &&        &&&&&&&&&&&&        &&  "},
      {sorryface, 12, "         &          &&&&&&&&&&&&          & "},
  };
  for (const Case& c : cases) {
    Console con;
    c.draw(con.ws);
    const Lines l = con.lines();
    ASSERT_GT(l.size(), c.record);
    EXPECT_EQ(l[c.record], c.text);
  }
}

TEST(Pictures, TheSadFaceDiffersOnlyByItsMouth) {
  Console happy;
  happyface(happy.ws);
  Console sorry;
  sorryface(sorry.ws);
  const Lines h = happy.lines();
  const Lines s = sorry.lines();
  ASSERT_EQ(h.size(), s.size());
  for (std::size_t k = 1; k + 1 < h.size(); ++k) {
    EXPECT_EQ(h[k] != s[k], k == 12 || k == 14) << "line " << k;
  }
}

}  // namespace
}  // namespace zk
