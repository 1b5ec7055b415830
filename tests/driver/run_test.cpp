// Whole runs of the real console program on scripted standard input: the
// listings of the golden cases (every INDX, every IPRINT, selection and echo
// variants) must not change by one character, and the dialogue must keep its
// order and never hang on a closed input.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "test_files.hpp"

namespace {

namespace fs = std::filesystem;

const fs::path kSource = ZARKEL_SOURCE_DIR;

using zk::test::slurp;

// Standard input for a run: one answer per line (RETURN at the header first).
std::string script(const std::vector<std::string>& answers) {
  std::string s;
  for (const auto& a : answers) {
    s += a;
    s += '\n';
  }
  return s;
}

struct RunResult {
  int status = -1;
  std::string console;
};

class ConsoleRun : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = fs::temp_directory_path() / ("zk_driver_" + std::to_string(::getpid()) + "_" +
                                       ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir);
    fs::create_directories(dir);
  }
  void TearDown() override { fs::remove_all(dir); }

  RunResult run(const std::string& input) {
    std::ofstream(dir / "stdin.txt", std::ios::binary) << input;
    const std::string cmd = "cd '" + dir.string() + "' && timeout 20 '" + ZARKEL_BINARY +
                            "' <stdin.txt >console.txt 2>&1";
    const int rc = std::system(cmd.c_str());
    return RunResult{WIFEXITED(rc) ? WEXITSTATUS(rc) : -1, slurp(dir / "console.txt")};
  }

  fs::path dir;
};

// Positions of `lines` in `text`, which must appear in this order.
void expect_in_order(const std::string& text, const std::vector<std::string>& lines) {
  std::size_t at = 0;
  for (const auto& l : lines) {
    const std::size_t p = text.find(l, at);
    ASSERT_NE(p, std::string::npos) << "missing or out of order: \"" << l << "\"";
    at = p + l.size();
  }
}

class GoldenListing : public ConsoleRun, public ::testing::WithParamInterface<std::string> {};

TEST_P(GoldenListing, IsUnchanged) {
  const fs::path cas = kSource / "tests" / "driver" / "golden" / GetParam();
  const RunResult r =
      run(script({"", (cas / "PARAMETERS").string(), (kSource / "examples" / "DATA").string(), "LISTING"}));
  ASSERT_EQ(r.status, 0) << r.console;
  EXPECT_EQ(slurp(dir / "LISTING"), slurp(cas / "LISTING"));
}

INSTANTIATE_TEST_SUITE_P(Cases, GoldenListing,
                         ::testing::Values("indx1_full", "indx2_select_echo", "indx3_keep", "indx4_full",
                                           "indx5_quiet", "indx6_trace"));

TEST_F(ConsoleRun, DialogueOpensTheThreeFilesInOrder) {
  const RunResult r = run(
      script({"", (kSource / "examples" / "PARAMETERS").string(), (kSource / "examples" / "DATA").string(), "OUT"}));
  ASSERT_EQ(r.status, 0) << r.console;
  expect_in_order(r.console, {"HIT RETURN TO CONTINUE", " OPENING PARAMETERS FILE", " Choose PARAMETERS file name",
                              " OPENING DATA FILE", " Choose DATA file name", " OPENING OUTPUT FILE",
                              " Choose OUTPUT file name", " @ PROGRAM Zarkel", " @ TERMINATED ON:"});
  expect_in_order(slurp(dir / "OUT"), {"PARAMETRES CHOISIS", "FIN DE L ETAPE N0 1", "DEBUT DE L ETAPE N0 2",
                                       "FIN DE L ETAPE N0 2", "DEBUT DE L ETAPE N0 3", "FIN DE L ETAPE N0 3",
                                       "DEBUT DE L ETAPE N0 4", "  FIN  "});
}

TEST_F(ConsoleRun, MissingPathWarnsAndAsksAgainThenEndOfInputStops) {
  const RunResult r = run(script({"", "no/such/file", ""}));
  EXPECT_NE(r.status, 0);
  expect_in_order(r.console, {" Choose PARAMETERS file name", "WARNING", " COULD NOT OPEN PARAMETERS FILE",
                              " File name = no/such/file", " for unit =    3", " ===> RETRYING",
                              " ===> HIT RETURN TO CONTINUE", " Choose PARAMETERS file name",
                              "end of standard input"});
}

TEST_F(ConsoleRun, EndOfInputAtTheHeaderStops) {
  const RunResult r = run("");
  EXPECT_NE(r.status, 0);
  EXPECT_NE(r.console.find("end of standard input"), std::string::npos) << r.console;
}

}  // namespace
