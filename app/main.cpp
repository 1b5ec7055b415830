#include <iostream>

#include "driver/driver.hpp"
#include "runtime/exit_status.hpp"
#include "runtime/interrupt.hpp"
#include "runtime/std_streams.hpp"

int main(int argc, char**) {
  zk::rt::remove_temporaries_on_signal();
  zk::rt::FdStream out(1);
  zk::rt::FdStream err(2);
  if (argc > 1) {
    // The console program asks for everything; an argument is a mistake
    // (zarkel-batch is the one that takes files on its command line).
    err << "zarkel: takes no arguments: it asks for its PARAMETERS, DATA and OUTPUT files on standard input"
           " (zarkel-batch takes them as arguments)\n";
    return zk::rt::close_standard_streams(zk::rt::kExitUsage, "zarkel", out, err);
  }
  const int status = zk::main_program(std::cin, out);
  return zk::rt::close_standard_streams(status, "zarkel", out, err);
}
