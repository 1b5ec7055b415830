// The unit table: console streams, input files, outputs written beside their
// path and moved over it only when committed.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>

#include "runtime/errors.hpp"
#include "runtime/units.hpp"

namespace zk::rt {
namespace {

namespace fs = std::filesystem;

class UnitsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string tmpl = (fs::temp_directory_path() / "zk-units-XXXXXX").string();
    ASSERT_NE(::mkdtemp(tmpl.data()), nullptr);
    dir_ = tmpl;
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::string file(const std::string& name, const std::string& content) const {
    const std::string p = (dir_ / name).string();
    std::ofstream(p, std::ios::binary) << content;
    return p;
  }
  static std::string slurp(const std::string& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
  }
  // Names in the directory other than `keep`.
  std::vector<std::string> others(const std::string& keep) const {
    std::vector<std::string> v;
    for (const auto& e : fs::directory_iterator(dir_)) {
      if (e.path().filename() != keep) v.push_back(e.path().filename().string());
    }
    return v;
  }

  fs::path dir_;
  std::istringstream in_;
  std::ostringstream out_;
};

TEST_F(UnitsTest, ConsoleWritesAndReads) {
  std::istringstream in("first\r\nsecond\n");
  std::ostringstream out;
  Units u(in, out);
  u.write(6, "(1x,a,1x,i3,1x,a)", "ichar =", 32, "=> use default value");
  u.write_list(6, "   SIGMA1 = ", "+");
  u.write_list(6);
  EXPECT_EQ(out.str(), " ichar =  32 => use default value\n    SIGMA1 = +\n\n");
  EXPECT_EQ(u.read_record(5), "first");
  EXPECT_EQ(u.read_record(5), "second");
  EXPECT_EQ(u.line_number(5), 2);
  EXPECT_THROW(u.read_record(5), EndOfInput);
  int v = 0;
  EXPECT_THROW(u.read_list(5, target(v)), EndOfInput);
}

TEST_F(UnitsTest, InputFileRecordsLinesAndEnd) {
  const std::string p = file("data.txt", "title\r\n 12 x\r\n5 6\n7");
  Units u(in_, out_);
  ASSERT_TRUE(u.open(4, p, "old"));
  EXPECT_EQ(u.read_record(4), "title");
  int a = 0;
  char c = '?';
  u.read(4, "(I3,1X,A1)", target(a), target(&c, 1));
  EXPECT_EQ(a, 12);
  EXPECT_EQ(c, 'x');
  int b = 0;
  u.read_list(4, target(a));  // the rest of "5 6" is skipped
  u.read_list(4, target(b));
  EXPECT_EQ(a, 5);
  EXPECT_EQ(b, 7);
  EXPECT_EQ(u.line_number(4), 4);
  try {
    u.read_record(4);
    FAIL() << "no error at the end of the file";
  } catch (const InputError& e) {
    EXPECT_EQ(e.file, p);
    EXPECT_EQ(e.line, 4);
    EXPECT_NE(std::string(e.what()).find("DATA file \"" + p + "\" ends after line 4"), std::string::npos) << e.what();
  }
}

TEST_F(UnitsTest, BadFieldMessageNamesTheFile) {
  const std::string p = file("d.dat", "ok\n  1a2\n");
  Units u(in_, out_);
  ASSERT_TRUE(u.open(4, p, "old"));
  u.read(4, "(a)");
  int v = 0;
  try {
    u.read(4, "(T3,I3)", target(v));
    FAIL();
  } catch (const InputError& e) {
    EXPECT_EQ(std::string(e.what()), "DATA file \"" + p + "\", line 2, columns 3-5: \"1a2\" is not an integer");
    EXPECT_EQ(e.line, 2);
  }
  u.set_label(4, "FAULTS");
  EXPECT_EQ(u.where(4), "FAULTS file \"" + p + "\"");
}

TEST_F(UnitsTest, ListReadEndNamesFileAndCount) {
  const std::string p = file("p.txt", "1 2\n");
  Units u(in_, out_);
  ASSERT_TRUE(u.open(3, p, "old"));
  int v[5];
  try {
    u.read_list(3, target_each(v, 5));
    FAIL();
  } catch (const InputError& e) {
    EXPECT_EQ(std::string(e.what()), "PARAMETERS file \"" + p +
                                         "\" ends after line 1 before all values were read (expected 5 values)");
  }
}

TEST_F(UnitsTest, EndOfFileSaysWhatWasAwaited) {
  const std::string p = file("p.txt", "1\n");
  struct Case {
    std::function<void(Units&)> read;
    const char* want;
  };
  int v = 0;
  const Case cases[] = {
      {[](Units& u) { u.read_record(3); }, "ends after line 1 where a further line was expected"},
      {[](Units& u) { u.read(3, "(a)"); }, "ends after line 1 where a further line was expected"},
      {[&](Units& u) { u.read(3, "(I3)", target(v)); }, "ends after line 1 before all values were read (expected 1 value)"},
      {[&](Units& u) { u.read_list(3, target(v)); }, "ends after line 1 before all values were read (expected 1 value)"},
  };
  for (const Case& c : cases) {
    Units u(in_, out_);
    ASSERT_TRUE(u.open(3, p, "old"));
    u.read_record(3);
    try {
      c.read(u);
      ADD_FAILURE() << "no error for " << c.want;
    } catch (const InputError& e) {
      EXPECT_EQ(std::string(e.what()), "PARAMETERS file \"" + p + "\" " + c.want);
      EXPECT_EQ(e.line, 1);
    }
  }
}

TEST_F(UnitsTest, RefusedOpens) {
  const std::string in = file("in.txt", "x\n");
  const std::string other = file("other.txt", "y\n");
  fs::create_symlink(in, dir_ / "link.txt");
  Units u(in_, out_);
  ASSERT_TRUE(u.open(3, in, "old"));
  ASSERT_TRUE(u.open(4, other, "old"));
  struct Case {
    std::string path;
    const char* status;
    const char* why;
  };
  const Case cases[] = {
      {"", "old", "no file name"},
      {(dir_ / "missing.txt").string(), "old", "no such file"},
      {dir_.string(), "old", "directory"},
      {dir_.string(), "unknown", "directory"},
      {"/dev/null", "unknown", "not a regular file"},
      {(dir_ / "nodir" / "out.txt").string(), "unknown", "cannot be written"},
      {in, "unknown", "unit 3"},                                    // the input itself
      {(dir_ / "." / "in.txt").string(), "unknown", "unit 3"},       // spelt differently
      {(dir_ / "link.txt").string(), "UNKNOWN", "unit 3"},           // through a link
      {(dir_ / "sub" / ".." / "other.txt").string(), "unknown", "unit 4"},
  };
  fs::create_directory(dir_ / "sub");
  for (const Case& c : cases) {
    std::string why;
    EXPECT_FALSE(u.open(8, c.path, c.status, &why)) << c.path;
    EXPECT_NE(why.find(c.why), std::string::npos) << c.path << ": " << why;
    EXPECT_FALSE(u.is_open(8));
  }
  // Nothing was left behind by the refused outputs.
  EXPECT_EQ(others("in.txt").size(), 3u);  // other.txt, link.txt, sub
  // Two outputs on one file are refused as well.
  const std::string out = (dir_ / "out.lst").string();
  ASSERT_TRUE(u.open(8, out, "unknown"));
  std::string why;
  EXPECT_FALSE(u.open(9, out, "unknown", &why));
  EXPECT_NE(why.find("unit 8"), std::string::npos) << why;
  EXPECT_FALSE(u.open(2, out, "old", &why));  // nor may an open output be read
}

TEST_F(UnitsTest, OutputReplacesThePathOnlyWhenClosed) {
  const std::string p = file("run.lst", "previous listing\n");
  Units u(in_, out_);
  ASSERT_TRUE(u.open(8, p, "unknown"));
  EXPECT_EQ(u.path(8), p);
  u.write(8, "(1X,'SIGMA(',I1,')=',F9.5)", 1, 0.5f);
  u.write_list(8, "---");
  EXPECT_EQ(slurp(p), "previous listing\n");  // not touched yet
  EXPECT_EQ(others("run.lst").size(), 1u);    // the temporary beside it
  u.close(8);
  EXPECT_FALSE(u.is_open(8));
  EXPECT_EQ(slurp(p), " SIGMA(1)=  0.50000\n ---\n");
  EXPECT_TRUE(others("run.lst").empty());
  u.close(8);  // closing a closed unit does nothing
}

TEST_F(UnitsTest, OutputThroughALinkWritesTheLinkedFile) {
  const std::string real = file("real.lst", "old\n");
  fs::create_symlink(real, dir_ / "alias.lst");
  {
    Units u(in_, out_);
    ASSERT_TRUE(u.open(8, (dir_ / "alias.lst").string(), "unknown"));
    u.write_list(8, "new");
    u.commit(8);
  }
  EXPECT_TRUE(fs::is_symlink(dir_ / "alias.lst"));
  EXPECT_EQ(slurp(real), " new\n");
}

TEST_F(UnitsTest, AbandonedOutputLeavesThePreviousFile) {
  const std::string p = file("run.lst", "previous listing\n");
  const std::string fresh = (dir_ / "fresh.lst").string();
  {
    Units u(in_, out_);
    ASSERT_TRUE(u.open(8, p, "unknown"));
    ASSERT_TRUE(u.open(9, fresh, "unknown"));
    u.write_list(8, "half a run");
    u.write_list(9, "half a run");
  }
  EXPECT_EQ(slurp(p), "previous listing\n");
  EXPECT_FALSE(fs::exists(fresh));
  EXPECT_TRUE(others("run.lst").empty());
}

TEST_F(UnitsTest, OutputKeepsThePermissionsOfTheFileItReplaces) {
  const std::string p = file("run.lst", "x\n");
  fs::permissions(p, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  Units u(in_, out_);
  ASSERT_TRUE(u.open(8, p, "unknown"));
  u.close(8);
  EXPECT_EQ(fs::status(p).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
}

TEST_F(UnitsTest, MisuseIsAProgrammingError) {
  const std::string p = file("in.txt", "x\n");
  Units u(in_, out_);
  EXPECT_THROW(u.write_list(8, "x"), std::logic_error);
  EXPECT_THROW(u.read_record(3), std::logic_error);
  EXPECT_THROW(u.open(6, p, "old"), std::logic_error);
  EXPECT_THROW(u.open(3, p, "scratch"), std::logic_error);
  ASSERT_TRUE(u.open(3, p, "old"));
  EXPECT_THROW(u.write_list(3, "x"), std::logic_error);
  EXPECT_THROW(u.read_record(6), std::logic_error);
  EXPECT_THROW(u.write(6, "(I3)", 1.5f), FormatError);
}

}  // namespace
}  // namespace zk::rt
