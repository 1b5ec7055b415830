// The inner loops of stages 1 and 2 on synthetic data: the misfit function
// with ranking, one optimiser call, the random search.
#include <benchmark/benchmark.h>

#include <array>
#include <vector>

#include "bench/synthetic.hpp"
#include "inversion/misfit.hpp"
#include "inversion/optimi.hpp"
#include "inversion/random_search.hpp"

namespace zk::bench {
namespace {

// A fixed spread of candidate tensors (PSI, TETA, PHI in [0, pi), R in
// [0, 1)), as stage 1 evaluates them.
std::array<Vec4, 64> candidates() {
  std::array<Vec4, 64> c;
  unsigned s = 12345u;
  const auto next = [&s] {
    s = s * 1103515245u + 12345u;
    return static_cast<float>((s >> 8) & 0xffffu) / 65536.0f;
  };
  for (Vec4& p : c) {
    p(1) = next() * 3.141593f;
    p(2) = next() * 3.141593f;
    p(3) = next() * 3.141593f;
    p(4) = next();
  }
  return c;
}

// SOMME with ranking (ITRI = 1), the evaluation of every random draw and of
// every optimiser step.
void BM_SommeRanked(benchmark::State& state) {
  RunFiles f;
  f.N = static_cast<int>(state.range(0));
  const DataDir dir(f);
  LoadedRun run(dir);
  Workspace& ws = *run.ws;
  const auto cands = candidates();
  std::size_t k = 0;
  float F = 0.0f;
  float FT = 0.0f;
  for (auto _ : state) {
    const Vec4& p = cands[k];
    k = (k + 1) % cands.size();
    SOMME(ws, F, FT, p(4), p(1), p(2), p(3), Ranking::Anew);
    benchmark::DoNotOptimize(F);
    benchmark::DoNotOptimize(FT);
  }
  state.SetComplexityN(f.N);
}
BENCHMARK(BM_SommeRanked)->Arg(30)->Arg(100)->Arg(300)->Unit(benchmark::kMicrosecond)->Complexity();

// The ranking sort alone on the misfit angles of N = 300 data, for each of
// the candidate tensors in turn (one array sorted again and again would let
// the branch predictor learn it). Each iteration sorts a fresh copy of the
// unsorted angles; the copy of 1.2 kB is small beside the sort.
void BM_TriMisfits(benchmark::State& state) {
  RunFiles f;
  const DataDir dir(f);
  LoadedRun run(dir);
  Workspace& ws = *run.ws;
  const auto cands = candidates();
  std::vector<Vec<float, kMaxData>> unsorted;
  float F = 0.0f;
  float FT = 0.0f;
  for (const Vec4& p : cands) {
    SOMME(ws, F, FT, p(4), p(1), p(2), p(3), Ranking::Kept);
    unsorted.emplace_back();
    std::copy_n(ws.tab.ANG.data(), kMaxData, unsorted.back().data());
  }
  Vec<float, kMaxData> A;
  Vec<int, kMaxData> IX;
  std::size_t k = 0;
  for (auto _ : state) {
    A = unsorted[k];
    k = (k + 1) % unsorted.size();
    TRI(A, IX, ws.tir.N);
    benchmark::DoNotOptimize(A);
    benchmark::DoNotOptimize(IX);
  }
}
BENCHMARK(BM_TriMisfits)->Unit(benchmark::kMicrosecond);

// One OPTIMI call as stage 2 makes it (KMAX 40, NPAR 4, no trace) from the
// tensor the random search of the run file found.
void BM_OptimiCall(benchmark::State& state) {
  RunFiles f;
  f.N = static_cast<int>(state.range(0));
  const DataDir dir(f);
  LoadedRun run(dir);
  Workspace& ws = *run.ws;
  Vec4 start;
  random_search(ws, run.NTIR, start);
  const Vec4 XMIN;
  const Vec4 XMAX;
  const Vec<Bound, 4> KIND;
  Vec4 XBEST;
  float F = 0.0f;
  for (auto _ : state) {
    Vec4 X = start;
    ws.iop.KMAX = 40;
    ws.iop.NPAR = 4;
    OPTIMI(ws, X, XMIN, XMAX, KIND, XBEST, F, Detail::Plain);
    benchmark::DoNotOptimize(X);
    benchmark::DoNotOptimize(F);
  }
}
BENCHMARK(BM_OptimiCall)->Arg(300)->Unit(benchmark::kMicrosecond);

// Stage 1 at N = 300: the cost is NTIR evaluations, nothing else grows.
void BM_RandomSearch(benchmark::State& state) {
  RunFiles f;
  const DataDir dir(f);
  LoadedRun run(dir);
  Workspace& ws = *run.ws;
  const int NTIR = static_cast<int>(state.range(0));
  Vec4 P;
  for (auto _ : state) {
    random_search(ws, NTIR, P);
    benchmark::DoNotOptimize(P);
  }
  state.SetComplexityN(NTIR);
}
BENCHMARK(BM_RandomSearch)
    ->Arg(1000)
    ->Arg(10000)
    ->Arg(100000)
    ->Unit(benchmark::kMillisecond)
    ->Complexity(benchmark::oN);

}  // namespace
}  // namespace zk::bench
