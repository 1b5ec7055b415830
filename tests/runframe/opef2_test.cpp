#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "console.hpp"
#include "runframe/opef2.hpp"
#include "runtime/errors.hpp"

namespace zk {
namespace {

namespace fs = std::filesystem;
using test::Console;
using test::kAt50;
using test::kSlash50;
using test::Lines;

class Opef2 : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(dir / "sub");
    std::ofstream(data) << "title\n";
  }
  void TearDown() override { fs::remove_all(dir); }
  bool has(const Lines& l, const std::string& line) { return std::find(l.begin(), l.end(), line) != l.end(); }

  const fs::path dir = fs::temp_directory_path() / ("zk_opef2_" + std::to_string(::getpid()) + "_" +
                                                     ::testing::UnitTest::GetInstance()->current_test_info()->name());
  const std::string data = (dir / "sub" / "data.txt").string(), missing = (dir / "nothing.txt").string();
};

Lines opening(const std::string& label) {
  return {kAt50, " @ subroutine opef2                 v5.2 2023-04-25", " @" + std::string(49, '='),
          " OPENING " + label + " FILE", kAt50, " Choose " + label + " file name"};
}

Lines retry(const std::string& path) {
  return {kSlash50,
          " ///          subroutine opef2                  ///",
          " ///                  WARNING                   ///",
          kSlash50,
          " COULD NOT OPEN DATA FILE",
          " File name = " + Text<250>(path).str(),
          " for unit =    4",
          " ===> RETRYING",
          " ===> HIT RETURN TO CONTINUE",
          kSlash50};
}

TEST_F(Opef2, OpensTheTypedPathAndKeepsItsBaseName) {
  Console con("  " + data + " \r\n");
  Text<30> name("?");
  opef2(con.ws, name, "PARAMETERS          ", 3, "old    ", 0);
  EXPECT_EQ(name.view(), Text<30>("data.txt").view());
  EXPECT_EQ(con.ws.units.read_record(3), "title");
  EXPECT_EQ(con.lines(), opening("PARAMETERS"));
}

TEST_F(Opef2, WarnsAndAsksAgainUntilAFileOpens) {
  // A missing file, then an empty answer (the field keeps the last name),
  // then a directory, then the file; each failure waits for RETURN.
  const std::string sub = (dir / "sub").string();
  Console con(missing + "\n\n" + "\n\n" + sub + "\n\n" + data + "\n");
  Text<30> name("?");
  opef2(con.ws, name, "DATA", 4, "old", 0);
  EXPECT_EQ(name.view(), Text<30>("data.txt").view());
  EXPECT_EQ(con.lines(), test::cat({opening("DATA"), retry(missing), opening("DATA"), retry(missing),
                                    opening("DATA"), retry(sub), opening("DATA")}));
  Console first(""), after_failure(missing + "\n");  // no answer; no RETURN for the warning
  EXPECT_THROW(opef2(first.ws, name, "DATA", 4, "old", 0), rt::EndOfInput);
  EXPECT_THROW(opef2(after_failure.ws, name, "DATA", 4, "old", 0), rt::EndOfInput);
}

TEST_F(Opef2, OtherModesOpenTheGivenNameOrStop) {
  for (const int mode : {1, 7}) {
    Console con("\n");
    Text<30> name(missing);
    try {
      opef2(con.ws, name, "DATA", 4, "old", mode);
      ADD_FAILURE() << "no stop";
    } catch (const rt::RunStop& stop) {
      EXPECT_TRUE(stop.shown);
      EXPECT_NE(stop.status, 0);
    }
    const Lines l = con.lines();
    ASSERT_FALSE(l.empty());
    EXPECT_EQ(l.front() == kAt50, mode == 1) << mode;  // mode 7 shows no OPENING frame
    EXPECT_TRUE(has(l, " ===> STOPPING EXECUTION"));
    EXPECT_TRUE(has(l, "                    &&&&&&&&&&&&            "));  // the sad face closes the dialogue
    EXPECT_EQ(l.back(), "  ");
  }
  Console silent;
  std::string name = data + std::string(20, ' ');
  opef2(silent.ws, name, "DATA", 4, "old", 7);
  EXPECT_EQ(name, "data.txt" + std::string(name.size() - 8, ' '));
  EXPECT_TRUE(silent.lines().empty());
}

}  // namespace
}  // namespace zk
