#include "frontend/program_main.hpp"

#include <exception>

#include "runtime/exit_status.hpp"
#include "runtime/interrupt.hpp"
#include "runtime/std_streams.hpp"

namespace zk {

int program_main(const char* name, int argc, char** argv, const ProgramBody& body) {
  rt::remove_temporaries_on_signal();
  rt::FdStream out(1);
  rt::FdStream err(2);
  const std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + (argc > 0 ? argc : 0));
  int status = rt::kExitInternal;
  try {
    status = body(args, out, err);
  } catch (const std::exception& e) {
    err << name << ": internal error: " << e.what() << "\n";
  }
  return rt::close_standard_streams(status, name, out, err);
}

}  // namespace zk
