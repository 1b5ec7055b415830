#pragma once
// The self-updating progress line of long batch work on standard error:
// units done of the total, rate and time left.
#include <chrono>
#include <ostream>
#include <string>

namespace zk::batch {

class ProgressLine {
 public:
  // Nothing is ever written when `shown` is false.
  ProgressLine(std::ostream& err, bool shown, long long total, std::string what);
  ~ProgressLine();
  ProgressLine(const ProgressLine&) = delete;
  ProgressLine& operator=(const ProgressLine&) = delete;
  void update(long long done);
  // Ends the line (after a last update).
  void finish();

 private:
  std::ostream& err_;
  bool shown_;
  bool open_ = false;
  long long total_;
  std::string what_;
  std::size_t width_ = 0;
  std::chrono::steady_clock::time_point start_;
};

// The text of the line: "12/50 runs, 3.4 runs/s, 11 s left".
std::string progress_text(long long done, long long total, const std::string& what, double seconds);

}  // namespace zk::batch
