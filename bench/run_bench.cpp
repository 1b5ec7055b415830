// A whole run without the console: the files opened, the input read, the run inverted, the listing
// committed, on a fresh Workspace each time.
#include <benchmark/benchmark.h>

#include "bench/synthetic.hpp"
#include "engine/engine.hpp"

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
    const RunInput input = read_run_input(*run.ws);
    invert(input.faults, input.params, *run.ws, ListingSink::output_unit());
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
