#pragma once
// Fixed-length, blank-padded text: assigning a longer text keeps its first
// characters, a shorter one is padded with blanks.
#include <algorithm>
#include <array>
#include <string>
#include <string_view>

namespace zk {

template <int N>
struct Text {
  std::array<char, N> c{};  // blanks from construction on
  Text() { c.fill(' '); }
  Text(std::string_view s) { assign(s); }
  void assign(std::string_view s) {
    c.fill(' ');
    std::copy_n(s.begin(), std::min<std::size_t>(s.size(), N), c.begin());
  }
  Text& operator=(std::string_view s) { assign(s); return *this; }
  std::string_view view() const { return std::string_view(c.data(), N); }
  std::string str() const { return std::string(c.data(), N); }
  char& operator()(int i) { return c[static_cast<std::size_t>(i - 1)]; }  // 1-based
  char operator()(int i) const { return c[static_cast<std::size_t>(i - 1)]; }
  char* data() { return c.data(); }
  const char* data() const { return c.data(); }
  static constexpr int size() { return N; }
};

}  // namespace zk
