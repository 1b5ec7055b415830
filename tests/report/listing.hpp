#pragma once
// A workspace whose unit 8 goes to a temporary file, read back line by line.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "areas/workspace.hpp"

namespace zk::test {

class ListingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ws.block.PI = 3.141593f;
    ws.block.CONV = 57.29578f;
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string(info->test_suite_name()) + "_" + info->name();
    for (char& c : name) {
      if (c == '/') c = '_';
    }
    path = std::filesystem::temp_directory_path() / ("zk_report_" + std::to_string(::getpid()) + "_" + name + ".lst");
    ASSERT_TRUE(ws.units.open(8, path.string(), "unknown"));
  }
  void TearDown() override { std::filesystem::remove(path); }

  // Closes unit 8 and returns its records.
  std::vector<std::string> listing() {
    ws.units.close(8);
    std::ifstream f(path);
    std::vector<std::string> lines;
    for (std::string s; std::getline(f, s);) lines.push_back(s);
    return lines;
  }

  // Reduced tensor of ratio R with sigma 1 east, sigma 2 north, sigma 3 up.
  void set_axis_tensor(float R) {
    ws.mec.VP(1) = (2.0f - R) / 3.0f;
    ws.mec.VP(2) = (2.0f * R - 1.0f) / 3.0f;
    ws.mec.VP(3) = (1.0f + R) / -3.0f;
    for (int i = 1; i <= 3; ++i) {
      for (int j = 1; j <= 3; ++j) {
        ws.mec.TENS(i, j) = i == j ? ws.mec.VP(i) : 0.0f;
        ws.mec.ROT(i, j) = i == j ? 1.0f : 0.0f;
      }
    }
  }

  std::istringstream console_in;
  std::ostringstream console_out;
  Workspace ws{console_in, console_out};
  std::filesystem::path path;
};

// The text padded with blanks to n characters.
inline std::string pad(std::string s, std::size_t n) {
  s.resize(std::max(n, s.size()), ' ');
  return s;
}

}  // namespace zk::test
