#pragma once
// A workspace on string streams, for the console tests.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "areas/workspace.hpp"

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

// The console of one test: `input` is what the user types.
struct Console {
  std::istringstream in;
  std::ostringstream out;
  Workspace ws;

  explicit Console(const std::string& input = "") : in(input), ws(in, out) {
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
