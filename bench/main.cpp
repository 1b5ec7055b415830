// Benchmarks of the engine and of a whole run. Besides the benchmark flags:
//   zarkel_bench --make-data=N,NTIR,IPRINT,DIR
// writes DIR/PARAMETERS and DIR/DATA of that synthetic run and exits, so the
// real program can be run (and timed, and compared) on the same files.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "bench/synthetic.hpp"

namespace {

int make_data(const std::string& args) {
  zk::bench::RunFiles f;
  std::istringstream in(args);
  char c1 = 0, c2 = 0, c3 = 0;
  std::string dir;
  if (!(in >> f.N >> c1 >> f.NTIR >> c2 >> f.IPRINT >> c3) || c1 != ',' || c2 != ',' || c3 != ',' ||
      !std::getline(in, dir) || dir.empty()) {
    std::fprintf(stderr, "usage: --make-data=N,NTIR,IPRINT,DIR\n");
    return 2;
  }
  try {
    std::filesystem::create_directories(dir);
    std::ofstream(std::filesystem::path(dir) / "PARAMETERS", std::ios::binary) << zk::bench::make_parameters_text(f);
    std::ofstream(std::filesystem::path(dir) / "DATA", std::ios::binary) << zk::bench::make_data_text(f.N);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
    return 1;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  constexpr const char* kMake = "--make-data=";
  for (int i = 1; i < argc; ++i) {
    if (std::strncmp(argv[i], kMake, std::strlen(kMake)) == 0) return make_data(argv[i] + std::strlen(kMake));
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
