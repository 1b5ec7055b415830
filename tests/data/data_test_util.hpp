#pragma once
// Small files and a fresh Workspace for the tests of the data layer.
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "areas/workspace.hpp"

namespace zk::test {

// A directory of its own, removed with everything in it.
class TempDir {
 public:
  TempDir() {
    static int counter = 0;
    path_ = std::filesystem::temp_directory_path() /
            ("zarkel-data-" + std::to_string(::getpid()) + "-" + std::to_string(++counter));
    std::filesystem::create_directories(path_);
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  std::string file(const std::string& name, const std::string& content) const {
    const auto p = path_ / name;
    std::ofstream(p, std::ios::binary) << content;
    return p.string();
  }
  std::string path(const std::string& name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

inline std::vector<std::string> read_lines(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::vector<std::string> lines;
  std::string line;
  while (std::getline(in, line)) lines.push_back(line);
  return lines;
}

// A Workspace with a silent console, PI and CONV as the driver sets them, the
// given PARAMETERS / DATA contents on units 3 and 4 and a listing on unit 8.
struct Run {
  TempDir dir;
  std::istringstream in;
  std::ostringstream out;
  Workspace ws{in, out};
  std::string listing;

  Run() {
    ws.block.CONV = 57.29578f;
    ws.block.PI = 3.141593f;
    listing = dir.path("out.txt");
    ws.units.open(8, listing, "unknown");
  }
  void parameters(const std::string& content) { ws.units.open(3, dir.file("params.txt", content), "old"); }
  void data(const std::string& content) { ws.units.open(4, dir.file("data.txt", content), "old"); }
  // Closes the listing and returns its records.
  std::vector<std::string> output() {
    ws.units.close(8);
    return read_lines(listing);
  }
};

}  // namespace zk::test
