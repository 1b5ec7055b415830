#include "ensemble/starts.hpp"

#include "engine/stress_state.hpp"

#include <algorithm>
#include <climits>
#include <cmath>
#include <limits>
#include <numeric>

namespace zk::ensemble {

int values_per_draw(const RunParams& p) {
  switch (p.mode()) {
    case Mode::Random:
      return 4;
    case Mode::Sigma1:
    case Mode::Sigma3:
      return 2;
    case Mode::BothAxes:
      return 1;
    default:
      return 0;
  }
}

long long start_seed(const RunParams& p, int k) {
  return static_cast<long long>(p.NSEED) +
         static_cast<long long>(k) * values_per_draw(p) * static_cast<long long>(p.NTIR);
}

std::string starts_problem(const RunParams& p, int K) {
  if (K < 1) return "--starts must be at least 1";
  if (K == 1) return "";
  if (values_per_draw(p) == 0) {
    return "--starts " + std::to_string(K) + ": INDX = " + std::to_string(p.INDX) +
           " imposes the starting tensor (no random search), so every start would give the same result; use "
           "--starts 1";
  }
  const long long last = start_seed(p, K - 1);
  if (last > INT_MAX) {
    return "--starts " + std::to_string(K) + " with NSEED = " + std::to_string(p.NSEED) + ", NTIR = " +
           std::to_string(p.NTIR) + " and INDX = " + std::to_string(p.INDX) + " needs NSEED up to " +
           std::to_string(last) + ", beyond the largest a PARAMETERS file holds (" + std::to_string(INT_MAX) +
           "); use fewer starts or a smaller NTIR";
  }
  return "";
}

int default_starts(const RunParams& p) {
  if (values_per_draw(p) == 0) return 1;
  int K = kDefaultStarts;
  while (K > 1 && start_seed(p, K - 1) > INT_MAX) --K;
  return K;
}

RunParams start_params(const RunParams& p, int k) {
  RunParams q = p;
  q.NSEED = static_cast<int>(start_seed(p, k));
  return q;
}

Solution solve_start(const FaultSet& faults, const RunParams& p, int k, Workspace& ws) {
  const RunParams q = start_params(p, k);
  const InversionResult r = invert(faults, q, ws, ListingSink::none(), Through::Stage3);
  return Solution{k, q.NSEED, r.stage3, r.fit.svd_ok};
}

std::size_t choose_start(const std::vector<Solution>& runs) {
  std::size_t best = 0;
  bool found = false;
  for (std::size_t i = 0; i < runs.size(); ++i) {
    const float F = runs[i].tensor.F;
    if (std::isnan(F)) continue;
    if (!found || F < runs[best].tensor.F) {
      best = i;
      found = true;
    }
  }
  return best;
}

double axis_angle_deg(const TensorSnapshot& a, const TensorSnapshot& b, int L) {
  double dot = 0.0, na = 0.0, nb = 0.0;
  for (int c = 1; c <= 3; ++c) {
    const auto x = static_cast<double>(a.ROT(L, c));
    const auto y = static_cast<double>(b.ROT(L, c));
    dot += x * y;
    na += x * x;
    nb += y * y;
  }
  const double cosine = std::min(1.0, std::fabs(dot) / std::sqrt(na * nb));
  return std::acos(cosine) * 180.0 / 3.14159265358979323846;
}

namespace {

// F for ordering: a non-number after every number.
double order_key(const Solution& s) {
  const auto F = static_cast<double>(s.tensor.F);
  return std::isnan(F) ? std::numeric_limits<double>::infinity() : F;
}

}  // namespace

namespace {
// The reduced tensor of a snapshot's axes ROT(L, .) and R = P(4).
Matrix3 reduced_of(const TensorSnapshot& t) {
  std::array<AxisVector, 3> axes;
  for (int L = 1; L <= 3; ++L) {
    for (int c = 1; c <= 3; ++c) axes[L - 1][c - 1] = static_cast<double>(t.ROT(L, c));
  }
  return reduced_tensor(axes, static_cast<double>(t.P(4)));
}
}  // namespace

double stress_difference_deg(const TensorSnapshot& a, const TensorSnapshot& b) {
  return zk::stress_difference_deg(reduced_of(a), reduced_of(b));
}

std::vector<Minimum> group_minima(const std::vector<Solution>& runs) {
  std::vector<std::size_t> order(runs.size());
  std::iota(order.begin(), order.end(), std::size_t{0});
  std::stable_sort(order.begin(), order.end(),
                   [&](std::size_t i, std::size_t j) { return order_key(runs[i]) < order_key(runs[j]); });
  std::vector<Minimum> groups;
  for (std::size_t i : order) {
    auto g = std::find_if(groups.begin(), groups.end(),
                          [&](const Minimum& m) {
                            return stress_difference_deg(runs[m.best].tensor, runs[i].tensor) <= kSameStateDeg;
                          });
    if (g == groups.end()) {
      const double from_best = groups.empty() ? 0.0 : stress_difference_deg(runs[groups[0].best].tensor, runs[i].tensor);
      groups.push_back(Minimum{i, 1, from_best});
    } else {
      ++g->count;
    }
  }
  return groups;
}

int close_minima(const std::vector<Solution>& runs, const std::vector<Minimum>& minima) {
  if (minima.empty()) return 0;
  const double best = order_key(runs[minima[0].best]);
  int close = 0;
  for (std::size_t g = 1; g < minima.size(); ++g) {
    if (order_key(runs[minima[g].best]) <= best * (1.0 + kAmbiguousShare)) ++close;
  }
  return close;
}

}  // namespace zk::ensemble
