// The record layer beyond the write goldens: layouts refused or equivalent,
// formatted and list-directed reads (checked against what GNU Fortran reads
// from the same records), and the unit table's files. Whole-run refusal
// messages are pinned by the malformed-input corpus.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "golden_support.hpp"
#include "runtime/errors.hpp"
#include "runtime/format.hpp"
#include "runtime/units.hpp"
#include "test_files.hpp"

namespace zk::rt {
namespace {

using namespace golden;
namespace fs = std::filesystem;

constexpr int kUnset = -12345;  // a value no read below produces

std::vector<std::string> write(const char* fmt, const std::vector<Value>& items) {
  const ArgList args = to_args(items);
  return write_records(parse_format(fmt), args.items());
}

TEST(FormatParse, MalformedLayoutsAndMisusedItemsAreRefused) {
  for (const char* f : {"", "I3", "(I3", "(I3))", "('abc)", "(F8)", "(E14.0)", "(A0)", "(T0)", "(0I3)", "(I)",
                        "(2(I3)", "(99999999I3)"}) {
    EXPECT_THROW(parse_format(f), FormatError) << f;
  }
  EXPECT_THROW(write("(I3)", {R(1.5f)}), FormatError);
  EXPECT_THROW(write("(A)", {I(65)}), FormatError);
  EXPECT_THROW(write("('abc')", {I(1)}), FormatError);
  EXPECT_THROW(write("(I2,'x',2('y'))", {I(1), I(2)}), FormatError);  // reversion to a group without data
}

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
      {"(I4,I3,I4)", "1 2", {12, 0, 0}},           // a short record reads as blanks
      {"(T10,I2,T3,I3)", "xx 12xxxx35", {35, 12}},
      {"(2X,I2,TL4,I4)", "  12", {12, 12}},
      {"(I11)", "-2147483648", {-2147483647 - 1}},
      {"(2I2)", "1 2 3\n4", {1, 2}},
      {"(I2,2(I3))", " 1  2  3\n  4  5\n  6", {1, 2, 3, 4, 5, 6}},  // reversion: new records
      {"*", "1,2,,4", {1, 2, kUnset, 4}},                           // a null value leaves the item alone
      {"*", "1 / 3", {1, kUnset, kUnset}},                          // a slash ends the read
      {"*", "2*7 3", {7, 7, 3}},
      {"*", "2* 3", {kUnset, kUnset, 3}},
      {"*", "\n\n5\t6", {5, 6}},
      {"*", "-2147483648 +5", {-2147483647 - 1, 5}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(read_ints(c.fmt, c.text, static_cast<int>(c.want.size())), c.want) << c.fmt << " on \"" << c.text << "\"";
  }
}

TEST(Read, TextsAndReals) {
  struct Case {
    const char *fmt, *text;
    std::vector<std::string> want;  // targets of 3 characters
  } const texts[] = {
      {"(A2,A)", "abcdef", {"ab ", "cde"}},
      {"(T3,A2,T1,A1,2X,A1)", "abcdef", {"cd ", "a  ", "d  "}},
      {"(A5)", "abcdef", {"cde"}},  // a field wider than the target keeps its right end
  };
  for (const Case& c : texts) {
    std::vector<std::string> got(c.want.size(), "???");
    std::vector<Target> ts;
    for (std::string& g : got) ts.push_back(target(g.data(), 3));
    TextSource src(c.text);
    read_formatted(parse_format(c.fmt), src, ts);
    EXPECT_EQ(got, c.want) << c.fmt << " on \"" << c.text << "\"";
  }
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

TEST(Read, BadValuesNameLineAndField) {
  struct Case {
    const char *fmt, *text;
    bool real;
    const char* want;
  } const cases[] = {
      {"(I3)", "1a2", false, "answer, line 1, columns 1-3: \"1a2\" is not an integer"},
      {"(I3)", "  -", false, "columns 1-3: \"  -\" is not an integer"},
      {"(I11)", "-2147483649", false, "\"-2147483649\" is out of range for an integer"},
      {"(I10)", "9999999999", false, "\"9999999999\" is out of range for an integer"},
      {"(I1/I3)", "1\n1x", false, "line 2, columns 1-3: \"1x \" is not an integer"},
      {"*", "1\n2 3x", false, "line 2, item 3: \"3x\""},
      {"*", "0*5", false, "\"0*\" has a repeat count of zero"},
      {"*", "1.5e", true, "\"1.5e\" is not a number"},
      {"*", "nan", true, "\"nan\" is not a number"},
      {"*", "1e50", true, "\"1e50\" is out of range for a real"},
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

TEST_F(UnitsTest, RecordsLoseTheirCarriageReturnAndTheEndIsNamed) {
  std::istringstream console("first\r\nsecond\n");
  Units c(console, out);
  EXPECT_EQ(c.read_record(5), "first");
  EXPECT_EQ(c.read_record(5), "second");
  EXPECT_THROW(c.read_record(5), EndOfInput);
  const std::string p = file("data.txt", "title\r\n 12 x\r\n");
  Units u(in, out);
  ASSERT_TRUE(u.open(4, p, "old"));
  EXPECT_EQ(u.read_record(4), "title");
  int a = 0;
  char ch = '?';
  u.read(4, "(I3,1X,A1)", target(a), target(&ch, 1));
  EXPECT_EQ(a * 1000 + ch, 12 * 1000 + 'x');
  try {
    u.read_record(4);
    FAIL() << "no error at the end of the file";
  } catch (const InputError& e) {
    EXPECT_EQ(std::string(e.what()), "DATA file \"" + p + "\" ends after line 2 where a further line was expected");
  }
}

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
