#pragma once
// A fresh Workspace whose files live in a scratch directory of its own: the
// PARAMETERS and DATA files are written from strings, the listing (unit 8)
// is read back as lines.
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

struct Listing {
  inline static int serial = 0;
  std::filesystem::path dir = std::filesystem::temp_directory_path() /
                              ("zk_ws_" + std::to_string(::getpid()) + "_" + std::to_string(++serial));
  std::istringstream in;
  std::ostringstream out;
  Workspace ws{in, out};

  Listing() {
    std::filesystem::create_directories(dir);
    ws.block.PI = 3.141593f;
    ws.block.CONV = 57.29578f;
    EXPECT_TRUE(ws.units.open(8, (dir / "LISTING").string(), "unknown"));
  }
  ~Listing() { std::filesystem::remove_all(dir); }
  void open(int unit, const std::string& name, const std::string& content) {
    std::ofstream(dir / name, std::ios::binary) << content;
    ASSERT_TRUE(ws.units.open(unit, (dir / name).string(), "old"));
  }
  void parameters(const std::string& content) { open(3, "PARAMETERS", content); }
  void data(const std::string& content) { open(4, "DATA", content); }
  // Closes the listing and returns its records.
  Lines lines() {
    ws.units.close(8);
    std::ifstream f(dir / "LISTING", std::ios::binary);
    Lines l;
    for (std::string s; std::getline(f, s);) l.push_back(s);
    return l;
  }
};

inline int count(const Lines& lines, const std::string& what) {
  int n = 0;
  for (const std::string& l : lines) n += l.find(what) != std::string::npos ? 1 : 0;
  return n;
}

// One DATA record with its fields in their columns.
inline std::string datum(int DIR, int PEND, char QPEND, int PITCH, char QPITCH, int AZSTR, char SENS, int NUM) {
  char r[128];
  std::snprintf(r, sizeof r, "  %3d    %2d     %c   %2d   %c  %3d   %c%34s%3d", DIR, PEND, QPEND, PITCH, QPITCH,
                AZSTR, SENS, "", NUM);
  return r;
}

}  // namespace zk::test
