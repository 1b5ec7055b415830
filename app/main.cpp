#include <iostream>

#include "driver/driver.hpp"
#include "frontend/program_main.hpp"
#include "runtime/exit_status.hpp"

int main(int argc, char** argv) {
  return zk::program_main("zarkel", argc, argv, [](const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    if (!args.empty()) {
      // The console program asks for everything; an argument is a mistake
      // (zarkel-batch is the one that takes files on its command line).
      err << "zarkel: takes no arguments: it asks for its PARAMETERS, DATA and OUTPUT files on standard input"
             " (zarkel-batch takes them as arguments)\n";
      return zk::rt::kExitUsage;
    }
    return zk::main_program(std::cin, out);
  });
}
