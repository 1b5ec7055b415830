// The platform of a POSIX system (Linux in practice). Only "sysa" and "mclk"
// of the Gestalt selectors have an equivalent here; every other selector
// fails, so the fallback texts of the run information apply.
#include <pwd.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <array>
#include <cctype>
#include <climits>
#include <cstdint>
#include <ctime>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "runframe/platform.hpp"

namespace zk {

bool parse_cpuinfo_mhz(const std::string& text, int32_t& mhz) {
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind("cpu MHz", 0) != 0) continue;
    const std::size_t colon = line.find(':');
    if (colon == std::string::npos) continue;
    std::size_t k = colon + 1;
    while (k < line.size() && (line[k] == ' ' || line[k] == '\t')) ++k;
    // The integer part only: the value is truncated, and digits are counted
    // so that an absurd value cannot overflow.
    int64_t v = 0;
    std::size_t digits = 0;
    while (k < line.size() && std::isdigit(static_cast<unsigned char>(line[k]))) {
      if (v <= INT32_MAX) v = v * 10 + (line[k] - '0');
      ++k;
      ++digits;
    }
    if (digits == 0 || v > INT32_MAX) return false;
    mhz = static_cast<int32_t>(v);
    return true;
  }
  return false;
}

namespace {

class SystemPlatform final : public Platform {
 public:
  bool gestalt(uint32_t selector, int32_t& answer) override {
    if (selector == gestalt_selector("sysa")) {
#if defined(__x86_64__) || defined(__i386__)
      answer = 10;  // an Intel-compatible processor
      return true;
#else
      return false;
#endif
    }
    if (selector == gestalt_selector("mclk")) {
      std::ifstream f("/proc/cpuinfo");
      if (!f) return false;
      std::ostringstream all;
      all << f.rdbuf();
      return parse_cpuinfo_mhz(all.str(), answer);
    }
    return false;
  }

  bool is_mac_os() const override {
#if defined(__APPLE__)
    return true;
#else
    return false;
#endif
  }

  bool kernel(std::string& name, std::string& release) override {
    utsname u{};
    if (uname(&u) != 0) return false;
    name = u.sysname;
    release = u.release;
    return true;
  }

  std::string login_name() override {
    std::array<char, 256> buf{};
    if (getlogin_r(buf.data(), buf.size()) == 0 && buf[0] != '\0') {
      buf.back() = '\0';
      return std::string(buf.data());
    }
    // No controlling terminal (a pipe, a service): the owner of the process.
    long size = sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> pwbuf(static_cast<std::size_t>(size > 0 ? size : 16384));
    passwd pw{};
    passwd* found = nullptr;
    if (getpwuid_r(geteuid(), &pw, pwbuf.data(), pwbuf.size(), &found) == 0 && found != nullptr &&
        found->pw_name != nullptr) {
      return std::string(found->pw_name);
    }
    return std::string();
  }

  bool host_name(std::string& name) override {
    std::array<char, 256> buf{};
    if (gethostname(buf.data(), buf.size() - 1) != 0) return false;
    buf.back() = '\0';
    name = buf.data();
    return true;
  }

  void local_date_time(std::string& ccyymmdd, std::string& hhmmss) override {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    std::array<char, 16> d{};
    std::array<char, 16> t{};
    if (localtime_r(&now, &local) == nullptr ||
        std::strftime(d.data(), d.size(), "%Y%m%d", &local) != 8 ||
        std::strftime(t.data(), t.size(), "%H%M%S", &local) != 6) {
      ccyymmdd = "00000000";
      hhmmss = "000000";
      return;
    }
    ccyymmdd = d.data();
    hhmmss = t.data();
  }

  float processor_time() override {
    timespec ts{};
    if (clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts) != 0) return 0.0f;
    const float sec = static_cast<float>(ts.tv_sec);
    const float frac = static_cast<float>(ts.tv_nsec) * 1.0e-9f;
    return sec + frac;
  }

  // Milliseconds of a monotonic clock, wrapped as a 32-bit count, so the
  // elapsed time is not disturbed by changes of the wall clock.
  void system_clock(int32_t& count, int32_t& rate, int32_t& max) override {
    timespec ts{};
    if (clock_gettime(CLOCK_MONOTONIC, &ts) != 0) {
      count = 0;
      rate = 0;
      max = 0;
      return;
    }
    const int64_t ms = static_cast<int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
    constexpr int64_t kPeriod = static_cast<int64_t>(INT32_MAX) + 1;
    count = static_cast<int32_t>(ms % kPeriod);
    rate = 1000;
    max = INT32_MAX;
  }
};

}  // namespace

std::unique_ptr<Platform> make_system_platform() { return std::make_unique<SystemPlatform>(); }

}  // namespace zk
