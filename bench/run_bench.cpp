// A whole run without the console: the files opened, the input read, the run inverted, the listing
// committed, on a fresh Workspace each time.
#include <benchmark/benchmark.h>

#include "bench/synthetic.hpp"
#include "data/random.hpp"
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

// One run through invert() with the listing discarded, kept as text, and the
// stages alone (called directly on a workspace already holding the data):
// what the engine API costs beyond the computation.
void BM_Invert(benchmark::State& state) {
  RunFiles f;
  f.N = static_cast<int>(state.range(0));
  const DataDir dir(f);
  OpenRun run(dir);
  const RunInput input = read_run_input(*run.ws);
  const int sink = static_cast<int>(state.range(1));  // 0 none, 1 text, 2 stages alone
  std::string text;
  for (auto _ : state) {
    if (sink == 2) {
      state.PauseTiming();
      invert(input.faults, input.params, *run.ws, ListingSink::none(), Through::Stage3);
      run.ws->randun = randun_t{};
      discard_randun(*run.ws, input.params.NSEED);
      state.ResumeTiming();
      InversionResult r;
      Vec4 P;
      stage1(*run.ws, input.params, P, r);
      stage2(*run.ws, input.params, P, r);
      stage3(*run.ws, input.params, P, r);
      stage4(*run.ws, input.params, P, r);
      benchmark::DoNotOptimize(r);
    } else {
      text.clear();
      const InversionResult r = invert(input.faults, input.params, *run.ws,
                                       sink == 0 ? ListingSink::none() : ListingSink::text(text));
      benchmark::DoNotOptimize(r);
    }
  }
}
BENCHMARK(BM_Invert)
    ->ArgNames({"N", "listing"})
    ->Args({300, 0})
    ->Args({300, 1})
    ->Args({300, 2})
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace zk::bench
