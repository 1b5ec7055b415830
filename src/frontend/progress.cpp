#include "frontend/progress.hpp"

#include <cmath>
#include <cstdio>

#include "runtime/interrupt.hpp"

namespace zk::batch {

std::string progress_text(long long done, long long total, const std::string& what, double seconds) {
  std::string s = "zarkel-batch: " + std::to_string(done) + "/" + std::to_string(total) + " " + what;
  if (done > 0 && seconds > 0.0) {
    const double rate = static_cast<double>(done) / seconds;
    char buf[96];
    std::snprintf(buf, sizeof buf, ", %.1f %s/s", rate, what.c_str());
    s += buf;
    if (done < total) {
      const double left = static_cast<double>(total - done) / rate;
      std::snprintf(buf, sizeof buf, left < 120.0 ? ", %.0f s left" : ", %.0f min left", left < 120.0 ? left : left / 60.0);
      s += buf;
    } else {
      std::snprintf(buf, sizeof buf, " in %.1f s", seconds);
      s += buf;
    }
  }
  return s;
}

ProgressLine::ProgressLine(std::ostream& err, bool shown, long long total, std::string what)
    : err_(err), shown_(shown), total_(total), what_(std::move(what)), start_(std::chrono::steady_clock::now()) {}

ProgressLine::~ProgressLine() { finish(); }

void ProgressLine::update(long long done) {
  if (!shown_) return;
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
  std::string text = progress_text(done, total_, what_, seconds);
  const std::size_t width = text.size();
  if (text.size() < width_) text.append(width_ - text.size(), ' ');  // over the longer line before
  width_ = width;
  err_ << '\r' << text << std::flush;
  if (!open_) {
    open_ = true;
    rt::set_line_open_on_stderr(true);
  }
}

void ProgressLine::finish() {
  if (!open_) return;
  err_ << '\n' << std::flush;
  open_ = false;
  rt::set_line_open_on_stderr(false);
}

}  // namespace zk::batch
