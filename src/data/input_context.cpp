#include "data/input_context.hpp"

#include "runtime/printable.hpp"

namespace zk::detail {

std::string where(const Workspace& ws, int unit, int line) {
  return ws.units.where(unit) + ", line " + std::to_string(line);
}

void warn_rest(const Workspace& ws, int unit, const std::optional<rt::ListRest>& rest, std::string_view record,
               std::vector<std::string>* warnings) {
  if (!rest || warnings == nullptr) return;
  std::string w = where(ws, unit, rest->line);
  w += ", column " + std::to_string(rest->column) + ": \"" + rt::escape_bytes(rest->text) +
       "\" is left on the line after the " + std::string(record) + " and is not read";
  if (rest->decimal_comma) w += " (a decimal comma? write the decimal point as '.')";
  warnings->push_back(w);
}

}  // namespace zk::detail
