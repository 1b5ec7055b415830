#include "batch/batch.hpp"
#include "frontend/program_main.hpp"

int main(int argc, char** argv) { return zk::program_main("zarkel-batch", argc, argv, zk::batch::batch_main); }
