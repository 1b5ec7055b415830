// The cost of a bootstrap replicate beside a plain run of the same size, and
// the bootstrap on one and on two worker threads (real time).
#include <benchmark/benchmark.h>

#include "bench/synthetic.hpp"
#include "engine/engine.hpp"
#include "ensemble/ensemble.hpp"

namespace zk::bench {
namespace {

// The input of a synthetic run of N data (NTIR 999), read once.
struct Input {
  DataDir dir;
  RunInput input;
  explicit Input(int N) : dir(files(N)) {
    OpenRun run(dir);
    input = read_run_input(*run.ws);
  }
  static RunFiles files(int N) {
    RunFiles f;
    f.N = N;
    return f;
  }
};

// A plain run: the four stages with the listing written (into memory), as
// the console program runs them.
void BM_PlainRun(benchmark::State& state) {
  const Input in(static_cast<int>(state.range(0)));
  OpenRun run(in.dir);
  std::string listing;
  for (auto _ : state) {
    listing.clear();
    invert(in.input.faults, in.input.params, *run.ws, ListingSink::text(listing));
    benchmark::DoNotOptimize(listing.data());
  }
}
BENCHMARK(BM_PlainRun)->ArgName("N")->Arg(100)->Unit(benchmark::kMillisecond);

// The same plain run on the data of a resample (drawn twice or more, so the
// misfits tie in pairs): what the data of a replicate cost by themselves.
void BM_PlainRunOnResample(benchmark::State& state) {
  const Input in(static_cast<int>(state.range(0)));
  OpenRun run(in.dir);
  std::string listing;
  int b = 0;
  for (auto _ : state) {
    state.PauseTiming();
    const FaultSet resampled = ensemble::resample(in.input.faults, 1, b++);
    listing.clear();
    state.ResumeTiming();
    invert(resampled, in.input.params, *run.ws, ListingSink::text(listing));
    benchmark::DoNotOptimize(listing.data());
  }
}
BENCHMARK(BM_PlainRunOnResample)->ArgName("N")->Arg(100)->Unit(benchmark::kMillisecond);

// One replicate: the resample, then stages 1 to 3 of one start, listing
// discarded.
void BM_Replicate(benchmark::State& state) {
  const Input in(static_cast<int>(state.range(0)));
  OpenRun run(in.dir);
  int b = 0;
  for (auto _ : state) {
    const ensemble::Replicate r = ensemble::solve_replicate(in.input.faults, in.input.params, 1, 1, b++, *run.ws, {});
    benchmark::DoNotOptimize(r.tensor.F);
  }
}
BENCHMARK(BM_Replicate)->ArgName("N")->Arg(100)->Unit(benchmark::kMillisecond);

// --bootstrap 500 on 100 data with J worker threads, in real time.
void BM_Bootstrap500(benchmark::State& state) {
  const Input in(100);
  ensemble::Options o;
  o.bootstrap = 500;
  o.jobs = static_cast<int>(state.range(0));
  for (auto _ : state) {
    const ensemble::Ensemble e = ensemble::solve(in.input, o, nullptr);
    benchmark::DoNotOptimize(e.bootstrap->stats.used);
  }
}
BENCHMARK(BM_Bootstrap500)->ArgName("J")->Arg(1)->Arg(2)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace zk::bench
