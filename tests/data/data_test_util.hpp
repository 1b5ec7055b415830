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
// the listing on unit 8.
struct Run {
  inline static int serial = 0;
  std::filesystem::path dir = std::filesystem::temp_directory_path() /
                              ("zarkel-data-" + std::to_string(::getpid()) + "-" + std::to_string(++serial));
  std::istringstream in;
  std::ostringstream out;
  Workspace ws{in, out};

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
  const auto put = [&](std::size_t last_col, const std::string& s) {
    for (std::size_t k = 0; k < s.size(); ++k) r[last_col - s.size() + k] = s[k];
  };
  put(5, std::to_string(DIR));  // each number ends in its last column, a letter three or five after
  put(17, std::to_string(PEND) + "     " + QPEND);
  put(26, std::to_string(PITCH) + "   " + QPITCH);
  put(35, std::to_string(AZSTR) + "   " + SENS);
  put(73 + LABEL.size(), std::to_string(NUM) + " " + LABEL);
  return r;
}

// Runs f, which must throw rt::InputError (refused false) or rt::RunStop
// (refused true) with a message naming `file` and `line` (0: none) and
// holding `words`.
template <class F>
void expect_refusal(const std::string& name, F f, bool refused, const std::string& file, int line,
                    const std::string& words) {
  std::string msg = "accepted";
  try {
    f();
  } catch (const rt::InputError& e) {
    msg = e.what();
    EXPECT_TRUE(!refused && (line == 0 || e.line == line)) << name << ": line " << e.line << ": " << msg;
  } catch (const rt::RunStop& e) {
    msg = e.what();
    EXPECT_TRUE(refused) << name << ": " << msg;
  }
  EXPECT_NE(msg.find(file), std::string::npos) << name << ": " << msg;
  EXPECT_TRUE(line == 0 || msg.find("line " + std::to_string(line)) != std::string::npos) << name << ": " << msg;
  EXPECT_NE(msg.find(words), std::string::npos) << name << ": " << msg;
}

}  // namespace zk::test
