#include "import/import.hpp"
#include "frontend/program_main.hpp"

int main(int argc, char** argv) { return zk::program_main("zarkel-import", argc, argv, zk::import::import_main); }
