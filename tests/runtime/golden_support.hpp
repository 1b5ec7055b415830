#pragma once
// Items of the golden tables: values as the probe was given them.
#include <bit>
#include <cstdint>
#include <string>
#include <variant>
#include <vector>

#include "runtime/args.hpp"

namespace zk::rt::golden {

using Value = std::variant<int, float, bool, std::string>;

inline Value I(int v) { return v; }
inline Value R(float v) { return v; }
inline Value B(std::int32_t bits) { return std::bit_cast<float>(bits); }  // Inf, NaN, denormals
inline Value L(bool v) { return v; }
inline Value S(std::string v) { return v; }

struct Row {
  std::string fmt;
  std::vector<Value> items;
  std::vector<std::string> want;
};

// The values must outlive the list (texts are held as views).
inline ArgList to_args(const std::vector<Value>& items) {
  ArgList a;
  for (const Value& v : items) {
    std::visit([&a](const auto& x) { a.add(x); }, v);
  }
  return a;
}

}  // namespace zk::rt::golden
