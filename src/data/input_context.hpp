#pragma once
// Messages that name the input file and line, and list-directed reads whose
// errors say which record was expected.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "areas/workspace.hpp"
#include "runtime/errors.hpp"

namespace zk::detail {

// "PARAMETERS file "name", line N" for unit 3, "DATA file ..." for unit 4.
std::string where(const Workspace& ws, int unit, int line);

// Values left on the line after a record is complete: one warning, e.g.
// PARAMETERS file "p", line 3, column 9: "35" is left on the line after ...
void warn_rest(const Workspace& ws, int unit, const std::optional<rt::ListRest>& rest, std::string_view record,
               std::vector<std::string>* warnings);

// A list-directed read of unit `unit`; a failure is rethrown with `expected`
// (what the record holds, e.g. "run parameters INDX POURC NTIR NSEED IPRINT")
// put in front of the record layer's message, keeping its file and line.
// Values left on the last line are a warning.
template <class... Ts>
void read_list_expecting(Workspace& ws, int unit, std::string_view expected, std::vector<std::string>* warnings,
                         const Ts&... targets) {
  std::optional<rt::ListRest> rest;
  try {
    rest = ws.units.read_list(unit, targets...);
  } catch (const rt::InputError& e) {
    throw rt::InputError(e.file, e.line, "expected " + std::string(expected) + ": " + e.what());
  }
  warn_rest(ws, unit, rest, expected, warnings);
}

}  // namespace zk::detail
