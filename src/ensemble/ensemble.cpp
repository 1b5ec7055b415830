#include "ensemble/ensemble.hpp"

#include <algorithm>

#include "inversion/random_search.hpp"
#include "runtime/errors.hpp"

namespace zk::ensemble {

long long work_units(const Options& o) {
  return static_cast<long long>(o.starts) * (1 + static_cast<long long>(o.bootstrap));
}

std::string ensemble_time_warning(const RunParams& p, int N, const Options& o) {
  constexpr double kLongEnsemble = 3600.0;  // seconds of waiting
  if (!o.active() || !p.random_search()) return "";
  const long long runs = work_units(o);
  const double processor = static_cast<double>(runs) * expected_stage1_seconds(p.NTIR, N);
  const double wall = processor / static_cast<double>(std::clamp<long long>(o.jobs, 1, runs));
  if (wall <= kLongEnsemble) return "";
  return std::to_string(runs) + " runs (--starts " + std::to_string(o.starts) + ", --bootstrap " +
         std::to_string(o.bootstrap) + ") of NTIR = " + std::to_string(p.NTIR) + " draws on N = " + std::to_string(N) +
         " data on " + std::to_string(std::min<long long>(o.jobs, runs)) + " threads are expected to take about " +
         duration_text(wall) + " (" + duration_text(processor) + " of processor time)";
}

std::string bootstrap_problem(int B, double confidence) {
  if (B < 0) return "the bootstrap needs a count of replicates from 0, not " + std::to_string(B);
  if (!(confidence > 0.0 && confidence < 100.0)) return "the confidence must lie between 0 and 100 per cent";
  return "";
}

std::string options_problem(const Options& o) {
  if (o.starts < 1) return "the ensemble needs at least 1 start, not " + std::to_string(o.starts);
  if (o.jobs < 1) return "the ensemble needs at least 1 thread, not " + std::to_string(o.jobs);
  return bootstrap_problem(o.bootstrap, o.confidence);
}

Ensemble solve(const RunInput& input, const Options& o, const Report& report) {
  if (const std::string why = options_problem(o); !why.empty()) throw OptionError(why);
  const std::string problem = invert_problem(input.faults, input.params);
  if (!problem.empty()) throw rt::RunStop(problem);
  const std::string option_problem = starts_problem(input.params, o.starts);
  if (!option_problem.empty()) throw OptionError(option_problem);

  const auto K = static_cast<std::size_t>(o.starts);
  const auto B = static_cast<std::size_t>(o.bootstrap);
  Ensemble e;
  e.starts.runs.resize(K);
  std::vector<Replicate> reps(B);
  // Tasks 0 .. K-1 are the main run's starts, then one task per replicate.
  const Task task = [&](std::size_t i, Workspace& ws, const Tick& tick) {
    if (i < K) {
      e.starts.runs[i] = solve_start(input.faults, input.params, static_cast<int>(i), ws);
      tick();
    } else {
      const int b = static_cast<int>(i - K);
      reps[i - K] = solve_replicate(input.faults, input.params, o.starts, o.seed, b, ws, tick);
    }
  };
  run_parallel(K + B, o.jobs, task, report);

  e.starts.best = choose_start(e.starts.runs);
  e.starts.minima = group_minima(e.starts.runs);
  e.starts.close_minima = close_minima(e.starts.runs, e.starts.minima);
  e.best_params = start_params(input.params, static_cast<int>(e.starts.best));
  e.best_tensor = e.starts.runs[e.starts.best].tensor;
  if (B > 0) {
    BootstrapReport br;
    br.replicates = o.bootstrap;
    br.confidence = o.confidence;
    br.seed = o.seed;
    br.stats = bootstrap_stats(e.best_tensor, reps, o.confidence);
    br.samples = std::move(reps);
    e.bootstrap = std::move(br);
  }
  return e;
}

}  // namespace zk::ensemble
