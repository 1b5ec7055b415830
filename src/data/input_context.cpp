#include "data/input_context.hpp"

namespace zk::detail {

std::string where(const Workspace& ws, int unit, int line) {
  std::string label = unit == 3 ? "PARAMETERS" : unit == 4 ? "DATA" : "unit " + std::to_string(unit);
  return label + " file \"" + ws.units.file_name(unit) + "\", line " + std::to_string(line);
}

}  // namespace zk::detail
