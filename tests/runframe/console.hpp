#pragma once
// A workspace on string streams with a fake platform, for the console tests.
#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "areas/workspace.hpp"
#include "runframe/platform.hpp"

namespace zk::test {

using Lines = std::vector<std::string>;
const std::string kAt50 = " " + std::string(50, '@');
const std::string kStar50 = " " + std::string(50, '*');
const std::string kSlash50 = " " + std::string(50, '/');

inline Lines cat(std::initializer_list<Lines> parts) {
  Lines all;
  for (const Lines& p : parts) all.insert(all.end(), p.begin(), p.end());
  return all;
}

// A platform whose every answer is set by the test.
class FakePlatform : public Platform {
 public:
  std::map<uint32_t, int32_t> answers;  // Gestalt selectors that succeed
  bool mac = true, has_kernel = true, host_ok = true;
  std::string sysname = "Linux", release = "6.1.0-28-amd64", login = "geologist", host = "fieldstation";
  std::string date = "20240216", time = "091502";
  float cpu = 0.0f;
  int32_t count = 0, rate = 1000, max = 2147483647;

  bool gestalt(uint32_t selector, int32_t& answer) override {
    const auto it = answers.find(selector);
    if (it != answers.end()) answer = it->second;
    return it != answers.end();
  }
  bool is_mac_os() const override { return mac; }
  bool kernel(std::string& name, std::string& rel) override {
    name = sysname;
    rel = release;
    return has_kernel;
  }
  std::string login_name() override { return login; }
  bool host_name(std::string& name) override {
    name = host;
    return host_ok;
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
    io.iostdin = io.ioerrin = 5;
    io.iostdout = io.ioerrout = 6;
    io.iopause = io.iominout = io.iomoreout = true;
  }
  Lines lines() const {
    Lines v;
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
