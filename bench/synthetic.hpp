#pragma once
// Synthetic fault-slip data for the benchmarks: N fault planes whose slip
// follows the shear stress of a chosen tensor, turned by a few degrees of
// error (and a clear outlier every ninth datum), written as the DATA and
// PARAMETERS files a real run reads.
#include <filesystem>
#include <memory>
#include <sstream>
#include <string>

#include "areas/workspace.hpp"

namespace zk::bench {

struct RunFiles {
  int N = 300;
  int POURC = 80;
  int NTIR = 999;
  int NSEED = 7;
  int IPRINT = 0;
};

// Text of a DATA file with `n` fault records (1 <= n <= kMaxData); the same
// seed gives the same file.
std::string make_data_text(int n, unsigned seed = 20241206u);
// Text of a PARAMETERS file: all data, no echo, mode 1 (random tensor).
std::string make_parameters_text(const RunFiles& f);

// A directory holding PARAMETERS and DATA for `f`, removed on destruction.
class DataDir {
 public:
  explicit DataDir(const RunFiles& f);
  ~DataDir();
  DataDir(const DataDir&) = delete;
  DataDir& operator=(const DataDir&) = delete;
  std::filesystem::path parameters() const { return dir_ / "PARAMETERS"; }
  std::filesystem::path data() const { return dir_ / "DATA"; }
  std::filesystem::path listing() const { return dir_ / "LISTING"; }

 private:
  std::filesystem::path dir_;
};

// A workspace with the files of `dir` open on units 3, 4 and 8 (the
// listing), constants stored. The console is empty.
struct OpenRun {
  std::istringstream in;
  std::ostringstream out;
  std::unique_ptr<Workspace> ws;

  explicit OpenRun(const DataDir& dir);
  ~OpenRun();
  OpenRun(const OpenRun&) = delete;
  OpenRun& operator=(const OpenRun&) = delete;
};

// As OpenRun, then the data and the parameter record read (everything the
// run does before stage 1), so the engine routines can be called directly.
struct LoadedRun : OpenRun {
  int NTIR = 0;
  explicit LoadedRun(const DataDir& dir);
};

}  // namespace zk::bench
