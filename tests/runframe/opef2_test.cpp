#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "console.hpp"
#include "runframe/opef2.hpp"
#include "runtime/errors.hpp"

namespace zk {
namespace {

namespace fs = std::filesystem;
using test::Console;
using Lines = std::vector<std::string>;

const std::string kAt50 = " " + std::string(50, '@');
const std::string kSlash50 = " " + std::string(50, '/');

class Opef2 : public ::testing::Test {
 protected:
  void SetUp() override {
    static int serial = 0;
    dir_ = fs::temp_directory_path() / ("zk_opef2_" + std::to_string(::getpid()) + "_" + std::to_string(++serial));
    fs::create_directories(dir_ / "sub");
    std::ofstream(dir_ / "sub" / "data.txt") << "title\n";
  }
  void TearDown() override { fs::remove_all(dir_); }
  std::string data() const { return (dir_ / "sub" / "data.txt").string(); }
  std::string missing() const { return (dir_ / "nothing.txt").string(); }

  fs::path dir_;
};

Lines opening(const std::string& label) {
  return {kAt50, " @ subroutine opef2                 v5.2 2023-04-25", " @" + std::string(49, '='),
          " OPENING " + label + " FILE", kAt50};
}

Lines retry(const std::string& label, const std::string& path, int unit) {
  return {kSlash50,
          " ///          subroutine opef2                  ///",
          " ///                  WARNING                   ///",
          kSlash50,
          " COULD NOT OPEN " + label + " FILE",
          " File name = " + Text<250>(path).str(),
          " for unit = " + std::string(unit < 10 ? "   " : "  ") + std::to_string(unit),
          " ===> RETRYING",
          " ===> HIT RETURN TO CONTINUE",
          kSlash50};
}

Lines cat(std::initializer_list<Lines> parts) {
  Lines all;
  for (const Lines& p : parts) all.insert(all.end(), p.begin(), p.end());
  return all;
}

TEST_F(Opef2, OpensTheTypedPathAndKeepsItsBaseName) {
  Console con("  " + data() + " \r\n");
  Text<30> name("?");
  opef2(con.ws, name, "PARAMETERS          ", 3, "old    ", 0);
  EXPECT_EQ(name.view(), Text<30>("data.txt").view());
  EXPECT_TRUE(con.ws.units.is_open(3));
  EXPECT_EQ(con.ws.units.read_record(3), "title");
  EXPECT_EQ(con.lines(), cat({opening("PARAMETERS"), {" Choose PARAMETERS file name"}}));
}

TEST_F(Opef2, WarnsAndAsksAgainUntilAFileOpens) {
  // A missing file, then an empty answer (the field keeps the last name),
  // then a directory, then the file; each failure waits for RETURN.
  const std::string dir = (dir_ / "sub").string();
  Console con(missing() + "\n\n" + "\n\n" + dir + "\n\n" + data() + "\n");
  Text<30> name("?");
  opef2(con.ws, name, "DATA", 4, "old", 0);
  EXPECT_EQ(name.view(), Text<30>("data.txt").view());
  const Lines choose = {" Choose DATA file name"};
  const Lines want = cat({opening("DATA"), choose, retry("DATA", missing(), 4),  //
                          opening("DATA"), choose, retry("DATA", missing(), 4),  //
                          opening("DATA"), choose, retry("DATA", dir, 4),        //
                          opening("DATA"), choose});
  EXPECT_EQ(con.lines(), want);
}

TEST_F(Opef2, EndOfInputStopsTheDialogue) {
  Console first("");
  Text<30> name("?");
  EXPECT_THROW(opef2(first.ws, name, "DATA", 4, "old", 0), rt::EndOfInput);
  Console after_failure(missing() + "\n");  // no RETURN for the warning
  EXPECT_THROW(opef2(after_failure.ws, name, "DATA", 4, "old", 0), rt::EndOfInput);
}

TEST_F(Opef2, OutputThatIsAnOpenInputIsRefused) {
  Console con(data() + "\n" + data() + "\n\n" + missing() + "\n");
  Text<30> in("?");
  Text<30> out("?");
  opef2(con.ws, in, "DATA", 4, "old", 0);
  opef2(con.ws, out, "OUTPUT", 8, "unknown", 0);
  EXPECT_EQ(out.view(), Text<30>("nothing.txt").view());
  const Lines l = con.lines();
  EXPECT_NE(std::find(l.begin(), l.end(), " COULD NOT OPEN OUTPUT FILE"), l.end());
}

TEST_F(Opef2, OtherModesStopOnFailure) {
  struct Case {
    int mode;
    bool frame;
  };
  for (const Case c : {Case{1, true}, Case{7, false}}) {
    Console con("\n");
    Text<30> name(missing());
    try {
      opef2(con.ws, name, "DATA", 4, "old", c.mode);
      ADD_FAILURE() << "no stop";
    } catch (const rt::RunStop& stop) {
      EXPECT_TRUE(stop.shown);
      EXPECT_NE(stop.status, 0);
    }
    const Lines l = con.lines();
    ASSERT_FALSE(l.empty());
    EXPECT_EQ(l.front() == kAt50, c.frame) << c.mode;
    EXPECT_NE(std::find(l.begin(), l.end(), " ===> STOPPING EXECUTION"), l.end());
    EXPECT_NE(std::find(l.begin(), l.end(), "                    &&&&&&&&&&&&            "), l.end());
    EXPECT_EQ(l.back(), "  ");  // the sad face closes the dialogue
  }
}

TEST_F(Opef2, OtherModesOpenTheGivenName) {
  Console con;
  std::string name = data() + std::string(20, ' ');
  opef2(con.ws, name, "DATA", 4, "old", 7);
  EXPECT_EQ(name, "data.txt" + std::string(name.size() - 8, ' '));
  EXPECT_TRUE(con.lines().empty());  // mode 7 is silent
}

}  // namespace
}  // namespace zk
