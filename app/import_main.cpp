#include <exception>
#include <iostream>
#include <string>
#include <vector>

#include "import/import.hpp"
#include "runtime/errors.hpp"

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + (argc > 0 ? argc : 0));
  try {
    return zk::import::import_main(args, std::cout, std::cerr);
  } catch (const std::exception& e) {
    std::cerr << "zarkel-import: internal error: " << e.what() << "\n";
    return zk::rt::kExitInternal;
  }
}
