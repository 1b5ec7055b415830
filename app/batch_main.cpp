#include <exception>
#include <string>
#include <vector>

#include "batch/batch.hpp"
#include "runtime/errors.hpp"
#include "runtime/interrupt.hpp"
#include "runtime/std_streams.hpp"

int main(int argc, char** argv) {
  zk::rt::remove_temporaries_on_signal();
  zk::rt::FdStream out(1);
  zk::rt::FdStream err(2);
  const std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + (argc > 0 ? argc : 0));
  int status = zk::rt::kExitInternal;
  try {
    status = zk::batch::batch_main(args, out, err);
  } catch (const std::exception& e) {
    err << "zarkel-batch: internal error: " << e.what() << "\n";
  }
  return zk::rt::close_standard_streams(status, "zarkel-batch", out, err);
}
