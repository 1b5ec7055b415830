#include "ensemble/bootstrap.hpp"

#include <algorithm>
#include <climits>
#include <cmath>
#include <random>

#include "runtime/errors.hpp"

namespace zk::ensemble {

namespace {

// An index in [0, n) from the 64-bit generator, by rejection of the few
// values that would bias the remainder.
std::size_t draw_index(std::mt19937_64& gen, std::uint64_t n) {
  const std::uint64_t threshold = (0 - n) % n;  // 2^64 mod n
  for (;;) {
    const std::uint64_t x = gen();
    if (x >= threshold) return static_cast<std::size_t>(x % n);
  }
}

bool finite_tensor(const TensorSnapshot& t) {
  if (!std::isfinite(t.F) || !std::isfinite(t.P(4))) return false;
  for (float v : t.ROT.v) {
    if (!std::isfinite(v)) return false;
  }
  return true;
}

}  // namespace

std::mt19937_64 replicate_stream(std::uint64_t seed, int b, std::uint32_t which) {
  std::seed_seq seq{static_cast<std::uint32_t>(seed), static_cast<std::uint32_t>(seed >> 32),
                    static_cast<std::uint32_t>(b), which};
  return std::mt19937_64(seq);
}

int replicate_seed(const RunParams& p, int K, std::uint64_t seed, int b) {
  const long long room = start_seed(p, K - 1) - p.NSEED;  // what the K starts add
  if (values_per_draw(p) == 0) return p.NSEED;
  std::mt19937_64 gen = replicate_stream(seed, b, 1);
  const long long span = std::max(1LL, static_cast<long long>(INT_MAX) - room + 1);
  return static_cast<int>(draw_index(gen, static_cast<std::uint64_t>(span)));
}

FaultSet resample(const FaultSet& faults, std::uint64_t seed, int b) {
  std::mt19937_64 gen = replicate_stream(seed, b, 0);
  FaultSet out;
  out.file = faults.file;
  out.title = faults.title;
  const std::size_t n = faults.data.size();
  out.data.reserve(n);
  for (std::size_t i = 0; i < n; ++i) out.data.push_back(faults.data[draw_index(gen, n)]);
  return out;
}

Replicate solve_replicate(const FaultSet& faults, const RunParams& p, int K, std::uint64_t seed, int b,
                          Workspace& ws, const std::function<void()>& run_done) {
  const FaultSet resampled = resample(faults, seed, b);
  std::vector<Solution> runs;
  runs.reserve(static_cast<std::size_t>(K));
  Replicate rep;
  rep.index = b;
  RunParams q = p;
  q.NSEED = replicate_seed(p, K, seed, b);
  rep.NSEED = q.NSEED;
  try {
    for (int k = 0; k < K; ++k) {
      runs.push_back(solve_start(resampled, q, k, ws));
      if (run_done) run_done();
    }
  } catch (const rt::RunError&) {
    return rep;  // refused: failed
  }
  const Solution& kept = runs[choose_start(runs)];
  rep.tensor = kept.tensor;
  rep.ok = kept.fit_ok && finite_tensor(kept.tensor);
  return rep;
}

double nearest_rank(std::vector<double>& values, double percent) {
  std::sort(values.begin(), values.end());
  const auto n = static_cast<double>(values.size());
  // Multiplying first keeps P x n exact for whole percentages.
  auto rank = static_cast<long long>(std::ceil(percent * n / 100.0 - 1e-9));
  rank = std::clamp(rank, 1LL, static_cast<long long>(values.size()));
  return values[static_cast<std::size_t>(rank - 1)];
}

BootstrapStats bootstrap_stats(const TensorSnapshot& main, const std::vector<Replicate>& reps, double percent) {
  BootstrapStats s;
  std::vector<double> angles[3];
  std::vector<double> R;
  for (const Replicate& r : reps) {
    if (!r.ok) continue;
    ++s.used;
    for (int L = 1; L <= 3; ++L) angles[L - 1].push_back(axis_angle_deg(main, r.tensor, L));
    R.push_back(static_cast<double>(r.tensor.P(4)));
  }
  s.quality = shmax_quality({});  // until replicates say otherwise: none used
  if (s.used == 0) return s;
  for (int L = 0; L < 3; ++L) s.cone_deg[L] = nearest_rank(angles[L], percent);
  const double tail = (100.0 - percent) / 2.0;
  std::vector<double> low = R;
  s.R = Interval{nearest_rank(low, tail), nearest_rank(R, 100.0 - tail)};

  const StressState main_state = stress_state(main);
  const std::optional<double>& main_shmax = main_state.shmax;
  std::vector<double> dev, shmax;
  for (const Replicate& r : reps) {
    if (!r.ok) continue;
    const StressState st = stress_state(r.tensor);
    ++s.regimes[static_cast<int>(st.wsm.regime)];
    if (st.shmax) shmax.push_back(*st.shmax);
    if (!st.shmax) {
      ++s.shmax_undefined;
    } else if (main_shmax) {
      double d = std::fmod(*st.shmax - *main_shmax, 180.0);  // (-180, 180)
      if (d <= -90.0) d += 180.0;
      if (d > 90.0) d -= 180.0;
      dev.push_back(d);
    }
  }
  if (main_shmax && !dev.empty()) {
    std::vector<double> low_dev = dev;
    s.SHmax = Interval{*main_shmax + nearest_rank(low_dev, tail), *main_shmax + nearest_rank(dev, 100.0 - tail)};
  }
  s.shmax_sd_deg = axial_sd_deg(shmax);
  s.quality = shmax_quality({main_shmax.has_value(), main_state.shmax_poorly_defined, s.used, s.shmax_undefined,
                             s.shmax_sd_deg});
  return s;
}

}  // namespace zk::ensemble
