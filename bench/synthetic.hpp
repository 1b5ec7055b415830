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

// The generating tensor and the errors of a synthetic set. The default is a
// normal-faulting regime with some strike-slip component: sigma 1 steep
// toward N215, sigma 3 horizontal toward N125, R = 0.35, 7 degrees of
// Gaussian error on the slip and a clear outlier every ninth datum.
struct SyntheticSet {
  float s1_trend = 215.0f, s1_plunge = 72.0f;  // degrees
  float s3_trend = 125.0f, s3_plunge = 0.0f;   // made normal to sigma 1
  float R = 0.35f;
  float noise_deg = 7.0f;  // standard deviation of the slip direction in its plane
  bool outliers = true;    // every ninth datum turned by 35 to 70 degrees
  unsigned seed = 20241206u;
};

// The unit axes of sigma 1, 2, 3 of the generating tensor (x east, y north,
// z up), as the generator builds them.
struct Axes {
  float v[3][3];
};
Axes generating_axes(const SyntheticSet& set);

struct RunFiles {
  int N = 300;
  int POURC = 80;
  int NTIR = 999;
  int NSEED = 7;
  int IPRINT = 0;
  SyntheticSet set;
};

// Text of a DATA file with `n` fault records (1 <= n <= kMaxData); the same
// set gives the same file.
std::string make_data_text(int n, const SyntheticSet& set);
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
