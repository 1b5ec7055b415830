#include "runtime/fixed.hpp"

#include <cstdio>

namespace zk::rt {

std::string fixed(double v, int decimals) {
  const int n = std::snprintf(nullptr, 0, "%.*f", decimals, v);
  std::string s(static_cast<std::size_t>(n > 0 ? n : 0), '\0');
  std::snprintf(s.data(), s.size() + 1, "%.*f", decimals, v);
  return s;
}

}  // namespace zk::rt
