#include "grid/grid.hpp"

#include <cstdlib>

namespace zk::grid {

const char* axis_name(Axis a) {
  switch (a) {
    case Axis::lon: return "lon";
    case Axis::lat: return "lat";
    case Axis::depth: return "depth";
    case Axis::time: return "time";
  }
  return "?";
}

bool adjacent(const Index& a, const Index& b) {
  if (a.size() != b.size()) return false;
  int steps = 0;
  for (std::size_t i = 0; i < a.size(); ++i) {
    const int d = std::abs(a[i] - b[i]);
    if (d > 1) return false;
    steps += d;
  }
  return steps == 1;
}

std::string cell_name(const Index& index) {
  std::string name = "c";
  for (int i : index) {
    name.push_back('_');
    name.append(std::to_string(i));
  }
  return name;
}

}  // namespace zk::grid
