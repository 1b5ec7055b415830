#include "data/input_context.hpp"

namespace zk::detail {

std::string where(const Workspace& ws, int unit, int line) {
  return ws.units.where(unit) + ", line " + std::to_string(line);
}

}  // namespace zk::detail
