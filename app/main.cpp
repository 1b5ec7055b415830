#include <iostream>

#include "driver/driver.hpp"
#include "runtime/interrupt.hpp"
#include "runtime/std_streams.hpp"

int main() {
  zk::rt::remove_temporaries_on_signal();
  zk::rt::FdStream out(1);
  zk::rt::FdStream err(2);
  const int status = zk::main_program(std::cin, out);
  return zk::rt::close_standard_streams(status, "zarkel", out, err);
}
