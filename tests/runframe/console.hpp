#pragma once
// A workspace on string streams with a fake platform, for the console tests.
#include <cstdint>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "areas/workspace.hpp"
#include "runframe/platform.hpp"

namespace zk::test {

// A platform whose every answer is set by the test.
class FakePlatform : public Platform {
 public:
  std::map<uint32_t, int32_t> answers;  // Gestalt selectors that succeed
  bool mac = true;
  bool has_kernel = true;
  std::string sysname = "Linux";
  std::string release = "6.1.0-28-amd64";
  std::string login = "geologist";
  bool host_ok = true;
  std::string host = "fieldstation";
  std::string date = "20240216";
  std::string time = "091502";
  float cpu = 0.0f;
  int32_t count = 0;
  int32_t rate = 1000;
  int32_t max = 2147483647;

  bool gestalt(uint32_t selector, int32_t& answer) override {
    auto it = answers.find(selector);
    if (it == answers.end()) return false;
    answer = it->second;
    return true;
  }
  bool is_mac_os() const override { return mac; }
  bool kernel(std::string& name, std::string& rel) override {
    if (!has_kernel) return false;
    name = sysname;
    rel = release;
    return true;
  }
  std::string login_name() override { return login; }
  bool host_name(std::string& name) override {
    if (!host_ok) return false;
    name = host;
    return true;
  }
  void local_date_time(std::string& d, std::string& t) override {
    d = date;
    t = time;
  }
  float processor_time() override { return cpu; }
  void system_clock(int32_t& c, int32_t& r, int32_t& m) override {
    c = count;
    r = rate;
    m = max;
  }
};

// The console of one test: `input` is what the user types.
struct Console {
  std::istringstream in;
  std::ostringstream out;
  FakePlatform platform;
  Workspace ws;

  explicit Console(const std::string& input = "") : in(input), ws(in, out) {
    ws.platform = &platform;
    iocom_t& io = ws.iocom;
    io.iostdin = 5;
    io.iostdout = 6;
    io.ioerrin = 5;
    io.ioerrout = 6;
    io.iopause = true;
    io.iominout = true;
    io.iomoreout = true;
  }

  std::vector<std::string> lines() const {
    std::vector<std::string> v;
    std::istringstream s(out.str());
    for (std::string l; std::getline(s, l);) v.push_back(l);
    return v;
  }
  // What is left of the input (to see whether a routine read a record).
  std::string rest() {
    std::string r;
    std::getline(in, r, '\0');
    return r;
  }
};

}  // namespace zk::test
