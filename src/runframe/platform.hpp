#pragma once
// What the console frame asks of the system it runs on: the four-character
// Gestalt selectors of Mac OS, the login and host names, the local date and
// time, the processor time and a 32-bit system clock. The run information
// (runinfo.hpp) and the trailer (header.hpp) turn the answers into texts; a
// test injects its own answers through a fake.
#include <cstdint>
#include <memory>
#include <string>

namespace zk {

// The selector of a four-character code: gestalt_selector("sysa") = 0x73797361.
constexpr uint32_t gestalt_selector(const char (&code)[5]) {
  return (static_cast<uint32_t>(static_cast<unsigned char>(code[0])) << 24) |
         (static_cast<uint32_t>(static_cast<unsigned char>(code[1])) << 16) |
         (static_cast<uint32_t>(static_cast<unsigned char>(code[2])) << 8) |
         static_cast<uint32_t>(static_cast<unsigned char>(code[3]));
}

class Platform {
 public:
  virtual ~Platform() = default;

  // Mac OS Gestalt: true with the answer, false when the selector is unknown.
  virtual bool gestalt(uint32_t selector, int32_t& answer) = 0;
  // True on Mac OS, where the "sys1"/"sys2"/"sys3"/"sysv" selectors describe
  // the system; elsewhere the kernel's own name and release do.
  virtual bool is_mac_os() const = 0;
  // Kernel name and release (uname): false when the system does not say.
  virtual bool kernel(std::string& name, std::string& release) = 0;

  // Login name of the user running the process (empty when unknown).
  virtual std::string login_name() = 0;
  // Host name: false when the system reports a failure.
  virtual bool host_name(std::string& name) = 0;
  // Local date as "ccyymmdd" and time as "hhmmss" (24-hour clock).
  virtual void local_date_time(std::string& ccyymmdd, std::string& hhmmss) = 0;
  // Processor time used by the process so far, in seconds.
  virtual float processor_time() = 0;
  // A 32-bit system clock: count in 0..max, counts per second (0 when there
  // is no clock), and the count after which it wraps to 0.
  virtual void system_clock(int32_t& count, int32_t& rate, int32_t& max) = 0;
};

// The platform of the machine the program runs on.
std::unique_ptr<Platform> make_system_platform();

}  // namespace zk

namespace zk {

// The processor clock in MHz from the text of /proc/cpuinfo: the first
// "cpu MHz" line, its value truncated. False when there is none.
bool parse_cpuinfo_mhz(const std::string& text, int32_t& mhz);

}  // namespace zk
