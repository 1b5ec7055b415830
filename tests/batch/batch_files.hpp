#pragma once
// Scratch directories and runs of the two programs for the batch tests.
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <initializer_list>
#include <string>
#include <thread>
#include <vector>

#include "test_files.hpp"

namespace zk::test {

namespace fs = std::filesystem;

inline std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string s; std::getline(in, s);) out.push_back(s);
  return out;
}


struct Outcome {
  int status = -1;
  std::string out, err;
};

// A fresh directory per test, removed afterwards.
class ScratchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string(info->test_suite_name()) + "_" + info->name();
    for (char& c : name) {
      if (c == '/') c = '_';
    }
    dir = fs::temp_directory_path() / ("zk_batch_" + std::to_string(::getpid()) + "_" + name);
    fs::remove_all(dir);
    fs::create_directories(dir);
  }
  void TearDown() override { fs::remove_all(dir); }

  fs::path at(const std::string& name) const { return dir / name; }

  // Runs a shell command line, capturing its standard output and error.
  Outcome shell(const std::string& cmd) const {
    const fs::path o = dir / "stdout.txt";
    const fs::path e = dir / "stderr.txt";
    const std::string full = cmd + " >" + shell_quoted(o.string()) + " 2>" + shell_quoted(e.string()) + " </dev/null";
    const int rc = std::system(full.c_str());
    Outcome r;
    r.status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    r.out = slurp(o);
    r.err = slurp(e);
    return r;
  }

  Outcome batch(const std::vector<std::string>& args) const {
    std::string cmd = shell_quoted(ZARKEL_BATCH_BINARY);
    for (const auto& a : args) {
      cmd += ' ';
      cmd += shell_quoted(a);
    }
    return shell(cmd);
  }

  // A batch run whose result files (names in the scratch directory) are then
  // kept under `tag` + name, so that runs with other options can be compared.
  Outcome tagged_batch(const std::string& tag, const std::vector<std::string>& args,
                       std::initializer_list<const char*> results) const {
    const Outcome r = batch(args);
    for (const char* f : results) {
      if (fs::exists(at(f))) fs::rename(at(f), at(tag + f));
    }
    return r;
  }
  // The kept result files of one tagged run, one after the other.
  std::string tagged_bytes(const std::string& tag, std::initializer_list<const char*> results) const {
    std::string all;
    for (const char* f : results) all += slurp(at(tag + f));
    return all;
  }

  // The console program through its dialogue: RETURN, then the three files.
  Outcome console(const std::string& parameters, const std::string& data, const std::string& output) const {
    const fs::path answers = dir / "answers.txt";
    spit(answers, "\n" + parameters + "\n" + data + "\n" + output + "\n");
    const fs::path o = dir / "console_out.txt";
    const std::string full = shell_quoted(ZARKEL_BINARY) + " <" + shell_quoted(answers.string()) + " >" + shell_quoted(o.string()) +
                             " 2>&1";
    const int rc = std::system(full.c_str());
    Outcome r;
    r.status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    r.out = slurp(o);
    return r;
  }

  // Every result document given validates against docs/result.schema.json
  // (Debian's python3-jsonschema, so not whatever python3 comes first).
  void expect_valid_results(const std::vector<fs::path>& docs) const {
    const fs::path tool = fs::path(ZARKEL_SOURCE_DIR) / "tools" / "validate_result.py";
    std::string cmd = "/usr/bin/python3 " + shell_quoted(tool.string());
    for (const auto& d : docs) {
      cmd += ' ';
      cmd += shell_quoted(d.string());
    }
    const Outcome v = shell(cmd);
    EXPECT_EQ(v.status, 0) << v.err;
  }

  // Starts zarkel-batch with `args`, sends `sig` once it is at work (a
  // tenth of a second of processor time, fields 14 and 15 of /proc/PID/stat)
  // and returns its exit status; -1 when it did not end within 30 s (it is
  // then killed) or did not exit by itself.
  static int stopped_by_signal(const std::vector<std::string>& args, int sig) {
    std::vector<const char*> argv = {ZARKEL_BATCH_BINARY};
    for (const auto& a : args) argv.push_back(a.c_str());
    argv.push_back(nullptr);
    pid_t pid = 0;
    if (posix_spawn(&pid, argv[0], nullptr, nullptr, const_cast<char**>(argv.data()), environ) != 0) return -1;
    const auto within = [](const auto& done) {
      for (int k = 0; k < 3000 && !done(); ++k) std::this_thread::sleep_for(std::chrono::milliseconds(10));
      return done();
    };
    const auto busy = [&] {
      std::istringstream stat(slurp("/proc/" + std::to_string(pid) + "/stat"));
      std::string field;
      long ticks = 0;
      for (int k = 1; k <= 15 && stat >> field; ++k) {
        if (k >= 14) ticks += std::atol(field.c_str());
      }
      return ticks * 10 >= ::sysconf(_SC_CLK_TCK);
    };
    int status = 0;
    if (!within(busy) || ::kill(pid, sig) != 0 || !within([&] { return ::waitpid(pid, &status, WNOHANG) != 0; })) {
      ::kill(pid, SIGKILL);
      ::waitpid(pid, &status, 0);
      return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  static std::string example(const std::string& name) {
    return (fs::path(ZARKEL_SOURCE_DIR) / "examples" / name).string();
  }

  fs::path dir;
};

}  // namespace zk::test
