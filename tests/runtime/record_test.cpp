// The record layer beyond the write goldens: formatted and list-directed
// reads (checked against what GNU Fortran reads from the same records) and
// the OUTPUT unit's commit. Whole-run refusal messages are pinned by the
// malformed-input corpus.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "runtime/errors.hpp"
#include "runtime/format.hpp"
#include "runtime/units.hpp"
#include "test_files.hpp"

namespace zk::rt {
namespace {

namespace fs = std::filesystem;

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

TEST(Read, Integers) {
  struct Case {
    const char *fmt, *text;
    std::vector<int> want;
  } const cases[] = {
      {"(I4,I3,I4)", "  12 -3 + 4", {12, -3, 4}},  // blanks inside a field are ignored
      {"(T10,I2,T3,I3)", "xx 12xxxx35", {35, 12}},
      {"(I11)", "-2147483648", {-2147483647 - 1}},
      {"(I2,2(I3))", " 1  2  3\n  4  5\n  6", {1, 2, 3, 4, 5, 6}},  // reversion: new records
      {"*", "1,2,,4", {1, 2, kUnset, 4}},                           // a null value leaves the item alone
      {"*", "1 / 3", {1, kUnset, kUnset}},                          // a slash ends the read
      {"*", "2*7 3", {7, 7, 3}},
      {"*", "\n\n5\t6", {5, 6}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(read_ints(c.fmt, c.text, static_cast<int>(c.want.size())), c.want) << c.fmt << " on \"" << c.text << "\"";
  }
}

// A record end is a blank, and blanks, one comma and blanks are one
// separator: a comma opening a record separates the value before it unless a
// comma already followed that value. Rows confirmed with GNU Fortran 12;
// after "|", a second read from the same text.
TEST(Read, CommaOpeningARecord) {
  const std::pair<const char*, std::vector<int>> cases[] = {
      {"120 60\n,300,10,35", {120, 60, 300, 10, 35}},  // the separator of 60
      {"1,0\n1,80\n,5,7,2", {1, 0, -1, 1, 80, 5, 7, 2}},
      {"1\n\n\t,5", {1, 5}},                            // blank records between
      {"1\n,\n,5", {1, 5}},                             // a lone comma leaves 1 waiting
      {"2*7\n,5", {7, 7, 5}},
      {"1 0\n\n,5,7", {1, 0, -1, 5, 7}},                // a read whose first record is blank
      {"1,\n,5", {1, kUnset, 5}},                       // null: a comma already followed 1
      {"1\n, ,5", {1, kUnset, 5}},                      // null: a comma after the separator
      {"1\n,5 ,\n,6", {1, 5, kUnset, 6}},
      {"1 0\n,5,7", {1, 0, -1, kUnset, 5}},             // null: first in a read
      {"1\n;2", {1, kUnset, 2}},                        // a semicolon opening a record is null
      {"1\n/23,4", {1, 23, kUnset}},                    // a slash right after a record end
  };
  for (const auto& [text, want] : cases) {
    std::vector<int> got(want.size(), kUnset);
    const auto split = std::find(want.begin(), want.end(), -1) - want.begin();
    TextSource src(text);
    const Target first[] = {target_each(got.data(), static_cast<int>(split))};
    read_list(src, first);
    if (split < static_cast<long>(want.size())) {
      got[static_cast<std::size_t>(split)] = -1;
      const Target second[] = {target_each(got.data() + split + 1, static_cast<int>(want.size()) - static_cast<int>(split) - 1)};
      read_list(src, second);
    }
    EXPECT_EQ(got, want) << "\"" << text << "\"";
  }
}

TEST(Read, Reals) {
  float v[8];
  TextSource src("12.5 .5 1e3 1.5d0 -2E-1 1-2 1q2 1e-50");
  const Target t[] = {target_each(v, 8)};
  read_list(src, t);
  EXPECT_EQ(std::vector<float>(v, v + 8), (std::vector<float>{12.5f, 0.5f, 1000.0f, 1.5f, -0.2f, 0.01f, 100.0f, 0.0f}));
  const std::pair<const char*, float> fields[] = {{" 125  ", 1.25f}, {"-1.5e1", -15.0f}, {"      ", 0.0f}};
  for (const auto& [text, want] : fields) {
    float r = -1.0f;
    TextSource s(text);
    const Target one[] = {target(r)};
    read_formatted(parse_format("(F6.2)"), s, one);
    EXPECT_EQ(r, want) << text;
  }
}

// A text field into a variable of 3 characters: a wider field keeps its
// rightmost characters, a narrower one is padded with blanks.
TEST(Read, TextFieldWiderOrNarrowerThanItsVariable) {
  const std::pair<const char*, const char*> cases[] = {{"(A5)", "CDE"}, {"(A2)", "AB "}, {"(A)", "ABC"}};
  for (const auto& [fmt, want] : cases) {
    char v[3] = {'?', '?', '?'};
    TextSource src("ABCDE");
    const Target t[] = {target(v, 3)};
    read_formatted(parse_format(fmt), src, t);
    EXPECT_EQ(std::string(v, 3), want) << fmt;
  }
}

TEST(Read, BadValuesNameLineAndField) {
  struct Case {
    const char *fmt, *text;
    bool real;
    const char* want;
  } const cases[] = {
      {"(I3)", "1a2", false, "answer, line 1, columns 1-3: \"1a2\" is not an integer"},
      {"(I11)", "-2147483649", false, "\"-2147483649\" is out of range for an integer"},
      {"(I10)", "9999999999", false, "\"9999999999\" is out of range for an integer"},
      {"(I1/I3)", "1\n1x", false, "line 2, columns 1-3: \"1x \" is not an integer"},
      {"*", "1\n2 3x", false, "line 2, item 3: \"3x\""},
      {"*", "0*5", false, "\"0*\" has a repeat count of zero"},
      {"*", "1,", true, "answer ends after line 1 before all values were read (expected 3 values)"},
  };
  for (const Case& c : cases) {
    std::string msg = "accepted";
    try {
      TextSource src(c.text);
      int i[3];
      float r[3];
      const Target t[] = {c.real ? target_each(r, 3) : target_each(i, 3)};
      if (std::string(c.fmt) == "*") {
        read_list(src, t);
      } else {
        read_formatted(parse_format(c.fmt), src, t);
      }
    } catch (const InputError& e) {
      msg = e.what();
    }
    EXPECT_NE(msg.find(c.want), std::string::npos) << "\"" << c.text << "\" gave: " << msg;
  }
}

class UnitsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string tmpl = (fs::temp_directory_path() / "zk-units-XXXXXX").string();
    ASSERT_NE(::mkdtemp(tmpl.data()), nullptr);
    dir = tmpl;
  }
  void TearDown() override { fs::remove_all(dir); }
  std::string file(const std::string& name, const std::string& content) const {
    test::spit(dir / name, content);
    return (dir / name).string();
  }
  std::size_t entries() const {
    return static_cast<std::size_t>(std::distance(fs::directory_iterator(dir), fs::directory_iterator()));
  }
  fs::path dir;
  std::istringstream in;
  std::ostringstream out;
};

// The listing is written beside its path and moved over it only when
// committed, keeping the replaced file's permissions and writing through a
// link; a unit dropped uncommitted leaves the previous file.
TEST_F(UnitsTest, OutputReplacesThePathOnlyWhenCommitted) {
  const std::string p = file("run.lst", "previous listing\n");
  fs::permissions(p, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  fs::create_symlink(p, dir / "alias.lst");
  {
    Units u(in, out);
    ASSERT_TRUE(u.open(8, p, "unknown"));
    u.write_list(8, "half a run");
  }
  EXPECT_EQ(test::slurp(p), "previous listing\n");
  EXPECT_EQ(entries(), 2u);
  Units u(in, out);
  ASSERT_TRUE(u.open(8, (dir / "alias.lst").string(), "unknown"));
  u.write(8, "(1X,'SIGMA(',I1,')=',F9.5)", 1, 0.5f);
  EXPECT_EQ(test::slurp(p), "previous listing\n");
  u.close(8);
  EXPECT_EQ(test::slurp(p), " SIGMA(1)=  0.50000\n");
  EXPECT_TRUE(fs::is_symlink(dir / "alias.lst"));
  EXPECT_EQ(fs::status(p).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  EXPECT_EQ(entries(), 2u);
}

}  // namespace
}  // namespace zk::rt
