#pragma once
// A fresh Workspace with its files in a directory of its own, DATA records
// laid out by columns, and the check of a refused input.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "areas/workspace.hpp"
#include "runtime/errors.hpp"

namespace zk::test {

using Lines = std::vector<std::string>;

// PI as the driver sets it, PARAMETERS / DATA on units 3 and 4 on request,
// the listing on unit 8, all in a directory of the run's own.
struct Run {
  std::filesystem::path dir = std::filesystem::temp_directory_path() /
                              ("zarkel-data-" + std::to_string(::getpid()) + "-" + std::to_string(serial()));
  std::istringstream in;
  std::ostringstream out;
  Workspace ws{in, out};

  static int serial() {
    static int n = 0;
    return ++n;
  }
  Run() {
    std::filesystem::create_directories(dir);
    ws.block.PI = 3.141593f;
    ws.units.open(8, (dir / "out.txt").string(), "unknown");
  }
  ~Run() { std::filesystem::remove_all(dir); }
  void open(int unit, const std::string& name, const std::string& content) {
    std::ofstream(dir / name, std::ios::binary) << content;
    ws.units.open(unit, (dir / name).string(), "old");
  }
  void parameters(const std::string& content) { open(3, "params.txt", content); }
  void data(const std::string& content) { open(4, "data.txt", content); }
  // Closes the listing and returns its records.
  Lines output() {
    ws.units.close(8);
    std::ifstream f(dir / "out.txt", std::ios::binary);
    Lines lines;
    for (std::string line; std::getline(f, line);) lines.push_back(line);
    return lines;
  }
};

// One DATA record with its fields in their columns.
inline std::string datum(int DIR, int PEND, char QPEND, int PITCH, char QPITCH, int AZSTR, char SENS, int NUM,
                         const std::string& LABEL = "") {
  std::string r(76, ' ');
  const auto put = [&](std::size_t last_col, int v) {
    const std::string s = std::to_string(v);
    for (std::size_t k = 0; k < s.size(); ++k) r[last_col - s.size() + k] = s[k];
  };
  put(5, DIR);
  put(11, PEND);
  r[16] = QPEND;
  put(22, PITCH);
  r[25] = QPITCH;
  put(31, AZSTR);
  r[34] = SENS;
  put(72, NUM);
  for (std::size_t k = 0; k < LABEL.size() && k < 3; ++k) r[73 + k] = LABEL[k];
  return r;
}

// Runs f, which must throw rt::InputError (refused false) or rt::RunStop
// (refused true) with a message naming `file` and `line` (0: none) and
// holding `words`.
template <class F>
void expect_refusal(const std::string& name, F f, bool refused, const std::string& file, int line,
                    const std::string& words) {
  std::string msg;
  try {
    f();
    ADD_FAILURE() << name << ": accepted";
    return;
  } catch (const rt::InputError& e) {
    msg = e.what();
    EXPECT_FALSE(refused) << name << ": " << msg;
    EXPECT_TRUE(line == 0 || e.line == line) << name << ": line " << e.line;
  } catch (const rt::RunStop& e) {
    msg = e.what();
    EXPECT_TRUE(refused) << name << ": " << msg;
  }
  EXPECT_NE(msg.find(file), std::string::npos) << name << ": " << msg;
  EXPECT_TRUE(line == 0 || msg.find("line " + std::to_string(line)) != std::string::npos) << name << ": " << msg;
  EXPECT_NE(msg.find(words), std::string::npos) << name << ": " << msg;
}

}  // namespace zk::test
