#include "frontend/run_error.hpp"

#include <exception>
#include <string>
#include <string_view>

#include "runtime/errors.hpp"
#include "runtime/printable.hpp"

namespace zk {
namespace {

void report_stop(std::ostream& out, const std::string& what, bool listing_started, const char* program) {
  if (program != nullptr) {
    out << program << ": " << rt::shortened(what) << "\n";
    if (listing_started) out << program << ": no listing was written (an existing OUTPUT file is left unchanged)\n";
  } else {
    out << "\n *** ZARKEL STOPPED: " << rt::shortened(what) << "\n";
    if (listing_started) out << " *** No listing was written (an existing OUTPUT file is left unchanged).\n";
  }
  out.flush();
}

}  // namespace

RunErrorText run_error_text() {
  try {
    throw;
  } catch (const rt::EndOfInput& e) {
    return {std::string(e.what()) + ": no answer can be read, the run ends here.", 1};
  } catch (const rt::InputError& e) {
    // The message names the file and the line; add them where it does not.
    std::string msg = e.what();
    if (!e.file.empty() && msg.find(e.file) == std::string::npos) {
      std::string where = e.file;
      if (e.line > 0) where += ", line " + std::to_string(e.line);
      msg = where + ": " + msg;
    }
    return {msg, 1};
  } catch (const rt::RunStop& e) {
    return {e.what(), e.status};
  }
}

int report_run_error(std::ostream& out, bool listing_started, const char* program) {
  const RunErrorText t = run_error_text();
  bool shown = false;
  try {
    throw;
  } catch (const rt::RunStop& e) {
    shown = e.shown;
  } catch (const rt::RunError&) {
  }
  if (!shown || listing_started) report_stop(out, t.message, listing_started, program);
  return t.status;
}

}  // namespace zk
