#pragma once
// Messages that name the input file and line, and list-directed reads whose
// errors say which record was expected.
#include <string>
#include <string_view>

#include "areas/workspace.hpp"
#include "runtime/errors.hpp"

namespace zk::detail {

// "PARAMETERS file "name", line N" for unit 3, "DATA file ..." for unit 4.
std::string where(const Workspace& ws, int unit, int line);

// A list-directed read of unit `unit`; a failure is rethrown with `expected`
// (what the record holds, e.g. "run parameters INDX POURC NTIR NSEED IPRINT")
// put in front of the record layer's message, keeping its file and line.
template <class... Ts>
void read_list_expecting(Workspace& ws, int unit, std::string_view expected, const Ts&... targets) {
  try {
    ws.units.read_list(unit, targets...);
  } catch (const rt::InputError& e) {
    throw rt::InputError(e.file, e.line, "expected " + std::string(expected) + ": " + e.what());
  }
}

}  // namespace zk::detail
