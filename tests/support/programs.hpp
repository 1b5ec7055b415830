#pragma once
// Runs of the real console program in a scratch directory: the dialogue is a
// script on standard input, the console is captured, a hang is cut short.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "test_files.hpp"

namespace zk::test {

namespace fs = std::filesystem;

inline const fs::path kSource = ZARKEL_SOURCE_DIR;
constexpr int kTimedOut = 124;  // exit status of timeout(1); a run takes well under a second

inline fs::path corpus_dir() { return kSource / "tests" / "hardening" / "corpus"; }

struct Outcome {
  int status = -1;
  std::string console;
};

// The console message of a stopped run, or "".
inline std::string stop_line(const std::string& console) {
  const auto p = console.find("*** ZARKEL STOPPED:");
  if (p == std::string::npos) return "";
  return console.substr(p, console.find('\n', p) - p);
}

// A fresh directory per test: the inputs at its top, the OUTPUT in out/, so
// that out/ must hold nothing but the listing afterwards.
class ScratchRun : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string(info->test_suite_name()) + "_" + info->name();
    for (char& c : name) c = c == '/' ? '_' : c;
    dir = fs::temp_directory_path() / ("zk_run_" + std::to_string(::getpid()) + "_" + name);
    fs::remove_all(dir);
    fs::create_directories(dir / "out");
  }
  void TearDown() override { fs::remove_all(dir); }

  fs::path at(const std::string& name) const { return dir / name; }

  // The console program, run in `dir` on the given standard input.
  Outcome console(const std::string& input) const {
    spit(dir / "stdin.txt", input);
    const std::string cmd = "cd " + shell_quoted(dir.string()) + " && timeout 10 " + shell_quoted(ZARKEL_BINARY) +
                            " <stdin.txt >console.txt 2>&1";
    const int rc = std::system(cmd.c_str());
    return Outcome{WIFEXITED(rc) ? WEXITSTATUS(rc) : -1, slurp(dir / "console.txt")};
  }

  // RETURN at the header, then the three paths.
  Outcome run(const std::string& parameters = "PARAMETERS", const std::string& data = "DATA",
              const std::string& output = "out/LISTING") const {
    return console("\n" + parameters + "\n" + data + "\n" + output + "\n");
  }

  // Names in out/ other than the expected ones (temporary files left behind).
  std::vector<std::string> strays(const std::set<std::string>& expected = {"LISTING"}) const {
    std::vector<std::string> out;
    for (const auto& e : fs::directory_iterator(dir / "out")) {
      const std::string n = e.path().filename().string();
      if (expected.count(n) == 0) out.push_back(n);
    }
    return out;
  }

  fs::path dir;
};

}  // namespace zk::test
