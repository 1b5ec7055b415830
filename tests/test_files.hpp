#pragma once
// File and shell helpers shared by the tests that run the real programs.
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace zk::test {

namespace fs = std::filesystem;

inline std::string slurp(const fs::path& p) {
  std::ifstream f(p, std::ios::binary);
  std::ostringstream s;
  s << f.rdbuf();
  return s.str();
}

inline void spit(const fs::path& p, const std::string& bytes) {
  std::ofstream f(p, std::ios::binary | std::ios::trunc);
  f << bytes;
}

// `s` as one single-quoted shell word.
inline std::string shell_quoted(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

}  // namespace zk::test
