#include "driver/driver.hpp"

#include <memory>
#include <string>

#include "areas/workspace.hpp"
#include "frontend/run_error.hpp"
#include "engine/engine.hpp"
#include "runframe/runframe.hpp"
#include "runtime/errors.hpp"

namespace zk {
namespace {

// The three files of a run, in the order they are asked for.
struct FileSlot {
  const char* label;
  int unit;
  const char* status;
};
constexpr FileSlot kFiles[] = {
    {"PARAMETERS", unit::kParameters, "old"}, {"DATA", unit::kData, "old"}, {"OUTPUT", unit::kListing, "unknown"}};

}  // namespace

int main_program(std::istream& in, std::ostream& out) {
  auto ws = std::make_unique<Workspace>(in, out);
  auto platform = make_system_platform();
  ws->platform = platform.get();
  bool output_open = false;
  try {
    // The precision control of the x87 unit's extended registers has no
    // meaning here: on x86-64 all float arithmetic runs in SSE registers at
    // single precision, so there is nothing to set.
    initsio2(*ws, 5);
    smaininfo2(*ws, "Zarkel     ", " 4.5", "2024-02-16");
    zarkelhead2(*ws);
    store_constants(*ws);

    for (const FileSlot& f : kFiles) {
      std::string name(30, ' ');
      name[0] = '?';
      opef2(*ws, name, f.label, f.unit, f.status, OpenMode::Ask);
    }
    output_open = true;

    const RunInput input = read_run_input(*ws);
    out << warning_lines(input.warnings);
    const std::string slow = stage1_time_warning(input.params, static_cast<int>(input.faults.data.size()));
    if (!slow.empty()) out << "warning: " << slow << "\n";
    out.flush();
    invert(input.faults, input.params, *ws, ListingSink::output_unit());

    ws->units.close(unit::kParameters);
    ws->units.close(unit::kData);
    ws->units.close(unit::kListing);  // the listing replaces the OUTPUT file only now
    progtail2(*ws);
    return 0;
  } catch (const rt::RunError&) {
    return report_run_error(out, output_open);
  } catch (const std::exception& e) {
    // A fault of the program itself: say so, and still leave no partial
    // listing behind (the unit table discards it when the workspace goes).
    out << "\n *** ZARKEL INTERNAL ERROR: " << e.what() << "\n";
    if (output_open) out << " *** No listing was written (an existing OUTPUT file is left unchanged).\n";
    out.flush();
    return rt::kExitInternal;
  }
}

}  // namespace zk
