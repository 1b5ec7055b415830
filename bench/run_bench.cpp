// A whole run without the console: the files opened, run_stages, the listing
// committed, on a fresh Workspace each time.
#include <benchmark/benchmark.h>

#include "bench/synthetic.hpp"
#include "driver/stages.hpp"

namespace zk::bench {
namespace {

void BM_WholeRun(benchmark::State& state) {
  RunFiles f;
  f.N = static_cast<int>(state.range(0));
  f.NTIR = static_cast<int>(state.range(1));
  f.IPRINT = static_cast<int>(state.range(2));
  const DataDir dir(f);
  for (auto _ : state) {
    OpenRun run(dir);
    run_stages(*run.ws);
    for (int unit : {3, 4, 8}) run.ws->units.close(unit);
  }
}
BENCHMARK(BM_WholeRun)
    ->ArgNames({"N", "NTIR", "IPRINT"})
    ->Args({300, 999, 0})
    ->Args({300, 999, 2})
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace zk::bench
