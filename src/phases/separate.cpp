#include "phases/separate.hpp"

#include <algorithm>
#include <array>
#include <atomic>
#include <climits>
#include <cmath>
#include <limits>
#include <map>
#include <numeric>
#include <random>

#include "ensemble/starts.hpp"
#include "mechanisms/linear.hpp"
#include "runtime/errors.hpp"

namespace zk::phases {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kRadPerDeg = kPi / 180.0;

constexpr int kPoolPourc[] = {30, 45, 60};  // one chain of the pool each
constexpr int kChains = 3;
constexpr int kLevels = 3;       // the run on all data, then two peels
constexpr int kPoolStarts = 4;
constexpr int kPeelPourc = 70;
constexpr int kPeelMinData = 10;
constexpr double kMergeAxisDeg = 5.0;
constexpr double kMergeR = 0.05;
constexpr int kSubsets = 3;      // subsets refined per k
constexpr int kRounds = 20;
constexpr int kRefineStarts = 2;
constexpr double kMissed = 0.01;  // a member set's fit this far above its local minimum is fitted again
constexpr int kRetryStarts = 4;
constexpr int kEmIterations = 100;
constexpr double kMinSigma = 1.0 * kRadPerDeg;
constexpr double kMinEps = 1e-4, kMaxEps = 0.5;
constexpr int kPolishRounds = 5;  // rounds that make the winner's membership its assignment
constexpr int kSwapPasses = 50;   // exchanges of the joint search at most
constexpr int kProxyRestarts = 300;  // memberships followed with the stand-in fit, per k
constexpr int kProxyRounds = 30;
constexpr int kMoveBudget = 8;  // memberships of the move search settled by the engine, per k
constexpr int kMovePasses = 4;
constexpr int kFinalStarts = 6;  // more starts for each phase of each k's winner
constexpr int kPolished = 4;  // distinct memberships the move search starts from, per k
constexpr int kPairBase = 8;    // single moves whose pairs are ranked too
constexpr int kProxyKept = 2 * kSubsets;  // memberships refined by the engine, kSubsets at a time
constexpr int kPoolRuns = kLevels * kChains * kPoolStarts;
constexpr int kRefineRuns = kMaxPhases * kSubsets * kRounds * kMaxPhases * kRefineStarts;

int pool_index(int level, int chain, int start) { return (level * kChains + chain) * kPoolStarts + start; }
int refine_index(int k, int subset, int round, int phase, int start) {
  return kPoolRuns + ((((k - 1) * kSubsets + subset) * kRounds + round) * kMaxPhases + phase) * kRefineStarts + start;
}

int polish_index(int k, int round, int phase, int start) {
  return kPoolRuns + kRefineRuns + (((k - 1) * kPolishRounds + round) * kMaxPhases + phase) * kRefineStarts + start;
}

using Table = std::vector<std::vector<double>>;  // [tensor][datum]

// A tensor fitted by one inversion.
struct Fitted {
  bool ok = false;
  int NSEED = 0;
  TensorSnapshot t;
  Matrix3 M{};
};

bool finite(const TensorSnapshot& t) {
  for (int c = 1; c <= 4; ++c) {
    if (!std::isfinite(t.P(c))) return false;
  }
  for (int L = 1; L <= 3; ++L) {
    for (int c = 1; c <= 3; ++c) {
      if (!std::isfinite(t.ROT(L, c))) return false;
    }
  }
  return std::isfinite(t.F);
}

FaultSet subset_of(const FaultSet& all, const std::vector<int>& members) {
  FaultSet s;
  s.file = all.file;
  s.title = all.title;
  s.data.reserve(members.size());
  for (int i : members) s.data.push_back(all.data[static_cast<std::size_t>(i)]);
  return s;
}

// One inversion to run: data, POURC and its index.
struct Job {
  std::vector<int> members;
  int pourc = 100;
  int index = 0;
};

// Runs the inversions of one step on the worker threads; slot j gets job j.
class Runner {
 public:
  Runner(const FaultSet& faults, const RunParams& p, int jobs, const ensemble::Report& report)
      : faults_(faults), p_(p), jobs_(jobs), report_(report) {}

  // The stream whose inversions run next: its indices follow those of the
  // streams before it.
  void set_stream(int stream) { offset_ = stream * stream_inversions(); }

  std::vector<Fitted> run(const std::vector<Job>& jobs) {
    std::vector<Fitted> out(jobs.size());
    std::vector<FaultSet> sets(jobs.size());
    for (std::size_t j = 0; j < jobs.size(); ++j) sets[j] = subset_of(faults_, jobs[j].members);
    const long long base = done_;
    const ensemble::Task task = [&](std::size_t j, Workspace& ws, const ensemble::Tick& tick) {
      RunParams q = ensemble::start_params(p_, offset_ + jobs[j].index);
      q.POURC = jobs[j].pourc;
      if (invert_problem(sets[j], q).empty()) {
        const InversionResult r = invert(sets[j], q, ws, ListingSink::none(), Through::Stage3);
        Fitted& f = out[j];
        f.NSEED = q.NSEED;
        f.t = r.stage3;
        f.ok = r.fit.svd_ok && finite(f.t);
        if (f.ok) f.M = reduced_tensor(f.t);
      }
      tick();
    };
    ensemble::run_parallel(jobs.size(), jobs_, task, [&](long long done) {
      if (report_) report_(base + done);
    });
    done_ += static_cast<long long>(jobs.size());
    return out;
  }

 private:
  const FaultSet& faults_;
  const RunParams& p_;
  int jobs_;
  const ensemble::Report& report_;
  long long done_ = 0;
  int offset_ = 0;
};

std::vector<double> misfits(const FaultSet& faults, const Matrix3& M) {
  std::vector<double> m(faults.data.size());
  for (std::size_t i = 0; i < m.size(); ++i) m[i] = misfit_rad(M, faults.data[i].FN, faults.data[i].STR);
  return m;
}

// The best of a group of starts (lowest F, then the earlier), or none.
const Fitted* best_of(const std::vector<Fitted>& runs, std::size_t from, std::size_t count) {
  const Fitted* best = nullptr;
  for (std::size_t s = from; s < from + count; ++s) {
    if (runs[s].ok && (best == nullptr || runs[s].t.F < best->t.F)) best = &runs[s];
  }
  return best;
}

bool same_tensor(const TensorSnapshot& a, const TensorSnapshot& b) {
  for (int L = 1; L <= 3; ++L) {
    if (!(ensemble::axis_angle_deg(a, b, L) <= kMergeAxisDeg)) return false;
  }
  return std::fabs(static_cast<double>(a.P(4)) - static_cast<double>(b.P(4))) <= kMergeR;
}

struct PoolEntry {
  Fitted f;
  std::vector<double> theta;
  double J1 = 0.0;
};

std::vector<PoolEntry> build_pool(const FaultSet& faults, const Options& o, Runner& runner) {
  const double theta_c = o.outlier_misfit_deg * kRadPerDeg;
  const int N = static_cast<int>(faults.data.size());
  std::vector<int> all(static_cast<std::size_t>(N));
  std::iota(all.begin(), all.end(), 0);
  std::vector<std::vector<int>> remaining(kChains, all);
  std::vector<bool> active(kChains, true);
  std::vector<PoolEntry> pool;
  for (int level = 0; level < kLevels; ++level) {
    std::vector<Job> jobs;
    std::vector<int> chain_of;
    for (int c = 0; c < kChains; ++c) {
      if (!active[static_cast<std::size_t>(c)]) continue;
      for (int s = 0; s < kPoolStarts; ++s) {
        jobs.push_back(Job{remaining[static_cast<std::size_t>(c)], level == 0 ? kPoolPourc[c] : kPeelPourc,
                           pool_index(level, c, s)});
      }
      chain_of.push_back(c);
    }
    if (jobs.empty()) break;
    const std::vector<Fitted> runs = runner.run(jobs);
    for (std::size_t g = 0; g < chain_of.size(); ++g) {
      const auto c = static_cast<std::size_t>(chain_of[g]);
      for (std::size_t s = 0; s < kPoolStarts; ++s) {
        const Fitted& f = runs[g * kPoolStarts + s];
        if (f.ok) pool.push_back(PoolEntry{f, misfits(faults, f.M), 0.0});
      }
      // The peel: what the best tensor of this step fits is taken away.
      const Fitted* best = best_of(runs, g * kPoolStarts, kPoolStarts);
      active[c] = false;
      if (best == nullptr) continue;
      std::vector<int> left;
      for (int i : remaining[c]) {
        const FaultDatum& d = faults.data[static_cast<std::size_t>(i)];
        if (!(misfit_rad(best->M, d.FN, d.STR) <= theta_c)) left.push_back(i);
      }
      remaining[c] = std::move(left);
      active[c] = static_cast<int>(remaining[c].size()) >= kPeelMinData;
    }
  }
  for (PoolEntry& e : pool) e.J1 = objective({e.theta}, theta_c);
  // Merge: in order of J_1 (then pool order), a tensor close to one kept
  // before it is dropped.
  std::vector<std::size_t> order(pool.size());
  std::iota(order.begin(), order.end(), std::size_t{0});
  std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return pool[a].J1 < pool[b].J1; });
  std::vector<PoolEntry> kept;
  for (std::size_t i : order) {
    const bool merged = std::any_of(kept.begin(), kept.end(),
                                    [&](const PoolEntry& k) { return same_tensor(k.f.t, pool[i].f.t); });
    if (!merged) kept.push_back(pool[i]);
  }
  return kept;
}

// The kSubsets k-subsets of the pool of lowest J_k, in lexicographic order
// of enumeration for ties.
std::vector<std::vector<int>> select_subsets(const std::vector<PoolEntry>& pool, int k, double theta_c) {
  const int P = static_cast<int>(pool.size());
  std::vector<std::vector<int>> best;
  std::vector<double> best_J;
  if (k > P) return best;
  const double cap = theta_c * theta_c;
  Table capped(pool.size());
  for (std::size_t p = 0; p < pool.size(); ++p) {
    capped[p].resize(pool[p].theta.size());
    for (std::size_t i = 0; i < capped[p].size(); ++i) capped[p][i] = std::min(pool[p].theta[i] * pool[p].theta[i], cap);
  }
  const std::size_t N = pool.empty() ? 0 : pool[0].theta.size();
  std::vector<int> c(static_cast<std::size_t>(k));
  std::iota(c.begin(), c.end(), 0);
  while (true) {
    double J = 0.0;
    for (std::size_t i = 0; i < N; ++i) {
      double m = capped[static_cast<std::size_t>(c[0])][i];
      for (std::size_t j = 1; j < c.size(); ++j) m = std::min(m, capped[static_cast<std::size_t>(c[j])][i]);
      J += m;
    }
    std::size_t at = best_J.size();
    while (at > 0 && J < best_J[at - 1]) --at;
    if (at < static_cast<std::size_t>(kSubsets)) {
      best_J.insert(best_J.begin() + static_cast<std::ptrdiff_t>(at), J);
      best.insert(best.begin() + static_cast<std::ptrdiff_t>(at), c);
      if (best.size() > static_cast<std::size_t>(kSubsets)) {
        best.pop_back();
        best_J.pop_back();
      }
    }
    int j = k - 1;
    while (j >= 0 && c[static_cast<std::size_t>(j)] == P - k + j) --j;
    if (j < 0) break;
    ++c[static_cast<std::size_t>(j)];
    for (int m = j + 1; m < k; ++m) c[static_cast<std::size_t>(m)] = c[static_cast<std::size_t>(m - 1)] + 1;
  }
  return best;
}

// A state of refinement: tensors fitted on `members` (phase j's data).
struct State {
  std::vector<Fitted> tensors;
  std::vector<std::vector<int>> members;
  Table theta;
  double J = std::numeric_limits<double>::infinity();
  double selected_J = std::numeric_limits<double>::infinity();  // of the best pool subset
};

std::vector<std::vector<int>> members_of(const std::vector<int>& phase_of, int k) {
  std::vector<std::vector<int>> m(static_cast<std::size_t>(k));
  for (std::size_t i = 0; i < phase_of.size(); ++i) {
    if (phase_of[i] > 0) m[static_cast<std::size_t>(phase_of[i] - 1)].push_back(static_cast<int>(i));
  }
  return m;
}

// One refinement chain, advanced a round at a time.
struct Chain {
  bool active = true;
  Table theta;             // of the current tensors
  double J = 0.0;          // of the current tensors
  double first_J = 0.0;    // of the pool subset it starts from
  std::vector<std::vector<int>> fitted_on;  // empty for the pool tensors
  std::vector<std::vector<int>> next;       // the members the round fits
  State best;
};

// A phase's tensor near an engine fit, to rank moves of data between
// phases: the fit's axes turned by a small rotation w (radians, about east,
// north, up) and its R set to R0 + dr, p = (w1, w2, w3, dr). The fit of a
// member set from there is one Gauss-Newton step on the chord between each
// datum's slip and the predicted slip (close to the angle for the misfits
// that count, below theta_c), from the normal equations of the members at p;
// a datum in or out changes them by its own term, so every move of every
// datum costs one 4 x 4 solve and one row of misfits. The engine minimises
// the squared angles of its members from random starts; this stays at the
// engine's minimum and follows it, which the linear stand-in does not.
// In double.
class LocalFit {
 public:
  using P = std::array<double, 4>;
  using Jac = std::array<std::array<double, 4>, 3>;  // d(predicted slip)/dp

  LocalFit(const mech::Principal& s, const std::vector<mech::DoubleCouple>& dc)
      : dc_(&dc), axes_(s.axes), r0_(s.R) {}
  LocalFit(const TensorSnapshot& t, const std::vector<mech::DoubleCouple>& dc) : dc_(&dc) {
    for (int L = 1; L <= 3; ++L) {
      for (int c = 1; c <= 3; ++c) {
        axes_[static_cast<std::size_t>(L - 1)][static_cast<std::size_t>(c - 1)] = static_cast<double>(t.ROT(L, c));
      }
    }
    const double v1 = static_cast<double>(t.VP(1)), v2 = static_cast<double>(t.VP(2)),
                 v3 = static_cast<double>(t.VP(3));
    r0_ = v1 != v3 ? (v2 - v3) / (v1 - v3) : 0.5;
    if (v1 < v3) {  // sigma 1 listed last: the same tensor with the roles of the axes exchanged
      flip_ = true;
      r0_ = 1.0 - r0_;
    }
  }

  Matrix3 tensor(const P& p) const {
    const double w = std::sqrt(p[0] * p[0] + p[1] * p[1] + p[2] * p[2]);
    std::array<AxisVector, 3> a = axes_;
    if (w > 0.0) {  // Rodrigues: a cos w + (k x a) sin w + k (k.a)(1 - cos w)
      const AxisVector k{p[0] / w, p[1] / w, p[2] / w};
      const double c = std::cos(w), s = std::sin(w);
      for (AxisVector& v : a) {
        const double kv = k[0] * v[0] + k[1] * v[1] + k[2] * v[2];
        const AxisVector x{k[1] * v[2] - k[2] * v[1], k[2] * v[0] - k[0] * v[2], k[0] * v[1] - k[1] * v[0]};
        for (std::size_t i = 0; i < 3; ++i) v[i] = v[i] * c + x[i] * s + k[i] * kv * (1.0 - c);
      }
    }
    if (flip_) std::swap(a[0], a[2]);
    return reduced_tensor(a, r0_ + p[3]);
  }

  // The predicted slip (zero on a plane without shear) and its chord to the
  // observed slip of datum i.
  AxisVector predicted(const Matrix3& T, std::size_t i) const {
    const PlaneStress ps = plane_stress(T, (*dc_)[i].normal);
    return ps.slip ? *ps.slip : AxisVector{0.0, 0.0, 0.0};
  }
  AxisVector chord(const Matrix3& T, std::size_t i) const {
    const AxisVector q = predicted(T, i);
    const AxisVector& s = (*dc_)[i].slip;
    const double l = std::sqrt(s[0] * s[0] + s[1] * s[1] + s[2] * s[2]);
    return {q[0] - s[0] / l, q[1] - s[1] / l, q[2] - s[2] / l};
  }
  // Central differences at p, for every datum or for the data listed.
  std::vector<Jac> jacobians(const P& p, const std::vector<int>* only = nullptr) const {
    constexpr double h = 1e-5;
    std::vector<Jac> J(only != nullptr ? only->size() : dc_->size());
    for (std::size_t c = 0; c < 4; ++c) {
      P lo = p, hi = p;
      lo[c] -= h;
      hi[c] += h;
      const Matrix3 Tl = tensor(lo), Th = tensor(hi);
      for (std::size_t q = 0; q < J.size(); ++q) {
        const std::size_t i = only != nullptr ? static_cast<std::size_t>((*only)[q]) : q;
        const AxisVector a = predicted(Tl, i), b = predicted(Th, i);
        for (std::size_t r = 0; r < 3; ++r) J[q][r][c] = (b[r] - a[r]) / (2.0 * h);
      }
    }
    return J;
  }

 private:
  const std::vector<mech::DoubleCouple>* dc_;
  std::array<AxisVector, 3> axes_{};
  double r0_ = 0.5;
  bool flip_ = false;
};

// Solves A x = b (4 x 4); none when A is singular.
std::optional<LocalFit::P> solve4(const std::array<std::array<double, 4>, 4>& A, const LocalFit::P& b) {
  LocalFit::P x{};
  if (!mech::solve_dense<4>(A, b, x, 1e-12)) return std::nullopt;
  return x;
}

// The lowest sum of squared misfits (square radians) of `members` that
// Gauss-Newton steps of the local fit reach from the tensor t, each step
// kept only when the sum falls (halved up to 4 times). A bound the engine's
// fit of the same set should meet: where it does not, its random search
// ended away from the minimum.
struct LocalMinimum {
  LocalFit::P p{};
  double S = 0.0;
};
LocalMinimum local_minimum(const LocalFit& f, const std::vector<mech::DoubleCouple>& dc,
                           const std::vector<int>& members) {
  using P = LocalFit::P;
  const auto sum = [&](const P& p) {
    const Matrix3 T = f.tensor(p);
    double S = 0.0;
    for (int i : members) {
      const mech::DoubleCouple& d = dc[static_cast<std::size_t>(i)];
      const double m = slip_misfit_rad(T, d.normal, d.slip);
      S += m * m;
    }
    return S;
  };
  P p{};
  double best = sum(p);
  for (int it = 0; it < 8; ++it) {
    const std::vector<LocalFit::Jac> J = f.jacobians(p, &members);
    const Matrix3 T = f.tensor(p);
    std::array<std::array<double, 4>, 4> A{};
    P g{};
    for (std::size_t q = 0; q < members.size(); ++q) {
      const AxisVector e = f.chord(T, static_cast<std::size_t>(members[q]));
      for (std::size_t a = 0; a < 4; ++a) {
        for (std::size_t b = 0; b < 4; ++b) {
          for (std::size_t r = 0; r < 3; ++r) A[a][b] += J[q][r][a] * J[q][r][b];
        }
        for (std::size_t r = 0; r < 3; ++r) g[a] += J[q][r][a] * e[r];
      }
    }
    std::optional<P> d = solve4(A, g);
    if (!d) break;
    P q{};
    double S = best;
    for (int halve = 0; halve <= 4; ++halve) {
      for (std::size_t c = 0; c < 4; ++c) q[c] = p[c] - (*d)[c];
      S = sum(q);
      if (S < best) break;
      for (double& v : *d) v /= 2.0;
    }
    if (!(S < best)) break;
    const bool small = best - S < 1e-6 * best;
    best = S;
    p = q;
    if (small) break;
  }
  return {p, best};
}
double local_minimum(const TensorSnapshot& t, const std::vector<mech::DoubleCouple>& dc,
                     const std::vector<int>& members) {
  return local_minimum(LocalFit(t, dc), dc, members).S;
}

// The fits of member sets at POURC 100 (the best of kRefineStarts starts),
// shared by every chain, k and stream of a separation: a set fitted once is
// not fitted again. Refinements from different starting tensors often reach
// the same memberships; the first request of a set (in the fixed order of
// streams, k, chains and phases) keys its starts, so the result does not
// depend on the number of jobs.
class Fits {
 public:
  struct Fit {
    bool ok = false;
    Fitted f;
    std::vector<double> theta;  // the misfits of every datum under it
    int first = 0;              // the key of its first start
    bool retried = false;
  };

  Fits(const FaultSet& faults, Runner& runner, const std::vector<mech::DoubleCouple>& dc)
      : faults_(faults), runner_(runner), dc_(dc) {}

  // Fits each of `sets` (starts keyed from first_index[i]); one step on the
  // worker threads, and a second for the sets whose fit lies more than
  // kMissed above the local minimum next to it, or above bounds[i] when
  // given (a sum of squared misfits of the set that a local fit reached; a
  // set fitted before is then fitted again, once): kRetryStarts more starts
  // (keyed after the first), the fit of lowest F kept.
  std::vector<const Fit*> fit(const std::vector<std::vector<int>>& sets, const std::vector<int>& first_index,
                              const std::vector<double>* bounds = nullptr) {
    const auto above = [&](std::size_t i, float F) {
      return bounds != nullptr && static_cast<double>(F) > (*bounds)[i] * (1.0 + kMissed);
    };
    std::vector<std::size_t> queued, retried;
    for (std::size_t i = 0; i < sets.size(); ++i) {
      const auto same = [&](std::size_t q) { return sets[q] == sets[i]; };
      if (std::any_of(queued.begin(), queued.end(), same) || std::any_of(retried.begin(), retried.end(), same))
        continue;
      const auto it = done_.find(sets[i]);
      if (it == done_.end()) {
        queued.push_back(i);
      } else if (it->second.ok && !it->second.retried && above(i, it->second.f.t.F)) {
        retried.push_back(i);
      }
    }
    std::vector<Job> jobs;
    for (std::size_t q : queued) {
      for (int s = 0; s < kRefineStarts; ++s) jobs.push_back(Job{sets[q], 100, first_index[q] + s});
    }
    const std::vector<Fitted> runs = runner_.run(jobs);
    for (std::size_t n = 0; n < queued.size(); ++n) {
      const std::size_t q = queued[n];
      Fit e;
      e.first = first_index[q];
      if (const Fitted* b = best_of(runs, n * kRefineStarts, kRefineStarts)) {
        e.ok = true;
        e.f = *b;
        const double F = static_cast<double>(b->t.F);
        if (above(q, b->t.F) || local_minimum(b->t, dc_, sets[q]) < F * (1.0 - kMissed)) retried.push_back(q);
      }
      done_.emplace(sets[q], std::move(e));
    }
    jobs.clear();
    for (std::size_t q : retried) {
      Fit& e = done_.at(sets[q]);
      e.retried = true;
      for (int s = 0; s < kRetryStarts; ++s) {
        jobs.push_back(Job{sets[q], 100, (e.first + kRefineStarts + s) % stream_inversions()});
      }
    }
    const std::vector<Fitted> more = runner_.run(jobs);
    for (std::size_t r = 0; r < retried.size(); ++r) {
      Fit& e = done_.at(sets[retried[r]]);
      const Fitted* b = best_of(more, r * kRetryStarts, kRetryStarts);
      if (b != nullptr && b->t.F < e.f.t.F) e.f = *b;
    }
    for (std::size_t q : queued) {
      Fit& e = done_.at(sets[q]);
      if (e.ok) e.theta = misfits(faults_, e.f.M);
    }
    for (std::size_t q : retried) {
      Fit& e = done_.at(sets[q]);
      e.theta = misfits(faults_, e.f.M);
    }
    std::vector<const Fit*> out;
    for (const std::vector<int>& set : sets) out.push_back(&done_.at(set));
    return out;
  }

 private:
  const FaultSet& faults_;
  Runner& runner_;
  const std::vector<mech::DoubleCouple>& dc_;
  std::map<std::vector<int>, Fit> done_;
};

// Refinement of k tensors from each of `starts` (at most kSubsets, each the
// misfit table of its k tensors); the best state reached, polished.
std::optional<State> refine_from(const std::vector<Table>& starts, int k, const Options& o, Fits& fits) {
  const double theta_c = o.outlier_misfit_deg * kRadPerDeg;
  std::vector<Chain> chains;
  for (const Table& t : starts) {
    Chain ch;
    ch.theta = t;
    ch.J = ch.first_J = objective(ch.theta, theta_c);
    chains.push_back(std::move(ch));
  }
  if (chains.empty()) return std::nullopt;
  for (int round = 0; round < kRounds; ++round) {
    std::vector<std::vector<int>> sets;
    std::vector<int> first;
    std::vector<std::size_t> chain_of;
    for (std::size_t r = 0; r < chains.size(); ++r) {
      Chain& ch = chains[r];
      if (!ch.active) continue;
      ch.next = members_of(assign(ch.theta, theta_c), k);
      const bool small = std::any_of(ch.next.begin(), ch.next.end(),
                                     [](const std::vector<int>& m) { return static_cast<int>(m.size()) < kMinMembers; });
      if (small || ch.next == ch.fitted_on) {  // a phase too small, or the membership stable
        ch.active = false;
        continue;
      }
      for (int j = 0; j < k; ++j) {
        sets.push_back(ch.next[static_cast<std::size_t>(j)]);
        first.push_back(refine_index(k, static_cast<int>(r), round, j, 0));
      }
      chain_of.push_back(r);
    }
    if (sets.empty()) break;
    const std::vector<const Fits::Fit*> fitted = fits.fit(sets, first);
    for (std::size_t g = 0; g < chain_of.size(); ++g) {
      Chain& ch = chains[chain_of[g]];
      State st;
      st.members = ch.next;
      for (std::size_t j = 0; j < static_cast<std::size_t>(k); ++j) {
        const Fits::Fit* f = fitted[g * static_cast<std::size_t>(k) + j];
        if (!f->ok) break;
        st.tensors.push_back(f->f);
        st.theta.push_back(f->theta);
      }
      if (st.tensors.size() != static_cast<std::size_t>(k)) {
        ch.active = false;
        continue;
      }
      st.J = objective(st.theta, theta_c);
      const bool falling = st.J < ch.J;
      ch.theta = st.theta;
      ch.J = st.J;
      ch.fitted_on = st.members;
      if (st.J < ch.best.J) ch.best = std::move(st);
      if (!falling) ch.active = false;
    }
  }
  const State* winner = nullptr;
  for (const Chain& ch : chains) {
    if (!ch.best.tensors.empty() && (winner == nullptr || ch.best.J < winner->J)) winner = &ch.best;
  }
  if (winner == nullptr) return std::nullopt;
  // The winner may be a state whose membership is not yet its own
  // assignment (J stopped falling by a rounding): a few more rounds make it
  // so, so that each phase's tensor is the fit of its members.
  State st = *winner;
  st.selected_J = chains.front().first_J;
  for (int round = 0; round < kPolishRounds; ++round) {
    const std::vector<std::vector<int>> next = members_of(assign(st.theta, theta_c), k);
    if (next == st.members) break;
    if (std::any_of(next.begin(), next.end(),
                    [](const std::vector<int>& m) { return static_cast<int>(m.size()) < kMinMembers; })) {
      break;
    }
    std::vector<int> first;
    for (int j = 0; j < k; ++j) first.push_back(polish_index(k, round, j, 0));
    const std::vector<const Fits::Fit*> fitted = fits.fit(next, first);
    State nx;
    nx.members = next;
    for (const Fits::Fit* f : fitted) {
      if (!f->ok) break;
      nx.tensors.push_back(f->f);
      nx.theta.push_back(f->theta);
    }
    if (nx.tensors.size() != static_cast<std::size_t>(k)) break;
    nx.J = objective(nx.theta, theta_c);
    nx.selected_J = st.selected_J;
    st = std::move(nx);
  }
  return st;
}

std::optional<State> refine_k(const std::vector<PoolEntry>& pool, int k, const Options& o, Fits& fits) {
  const double theta_c = o.outlier_misfit_deg * kRadPerDeg;
  std::vector<Table> starts;
  for (const std::vector<int>& s : select_subsets(pool, k, theta_c)) {
    Table t;
    for (int p : s) t.push_back(pool[static_cast<std::size_t>(p)].theta);
    starts.push_back(std::move(t));
  }
  return refine_from(starts, k, o, fits);
}

// Capped objective of the rows `set` of `capped` (squared misfits, each at
// most theta_c squared).
double set_objective(const Table& capped, const std::vector<std::size_t>& set) {
  const std::size_t N = capped.empty() ? 0 : capped[0].size();
  double J = 0.0;
  for (std::size_t i = 0; i < N; ++i) {
    double m = capped[set[0]][i];
    for (std::size_t j = 1; j < set.size(); ++j) m = std::min(m, capped[set[j]][i]);
    J += m;
  }
  return J;
}

// k distinct indices below `count` (k <= count), drawn from gen by modulo
// so that every platform draws the same.
std::vector<std::size_t> draw_distinct(std::mt19937_64& gen, int k, std::size_t count) {
  std::vector<std::size_t> rows;
  while (rows.size() < static_cast<std::size_t>(k)) {
    const std::size_t c = static_cast<std::size_t>(gen() % count);
    if (std::find(rows.begin(), rows.end(), c) == rows.end()) rows.push_back(c);
  }
  return rows;
}

// Memberships followed with a stand-in for the engine's run: Michael's
// linear inversion (double, thousands of times cheaper than a run) fits
// each phase's members, the data are reassigned to their nearest stand-in
// tensor, until the membership is stable. Each of kProxyRestarts searches
// starts from k candidate rows drawn at random (a std::mt19937_64 keyed by
// NSEED and k, indices by modulo, so every platform draws the same); the
// kProxyKept stable memberships of lowest J_k start the engine's refinement
// (as the misfit tables of their stand-in tensors). Only the membership is
// taken from the stand-in: every tensor reported is the engine's.
std::vector<mech::DoubleCouple> double_couples(const FaultSet& faults);

std::vector<Table> proxy_starts(const FaultSet& faults, const Table& candidates, int k, double theta_c, int NSEED) {
  const std::vector<mech::DoubleCouple> dc = double_couples(faults);
  std::vector<std::pair<double, std::vector<std::vector<int>>>> found;
  std::vector<std::vector<int>> tried;  // stable memberships seen, as assignments
  std::vector<Table> tables;
  if (candidates.size() < static_cast<std::size_t>(k)) return tables;
  std::mt19937_64 gen((static_cast<std::uint64_t>(static_cast<std::uint32_t>(NSEED)) << 8) ^ static_cast<std::uint64_t>(k));
  std::vector<Table> best_theta;
  for (int r = 0; r < kProxyRestarts; ++r) {
    Table theta;
    for (std::size_t c : draw_distinct(gen, k, candidates.size())) theta.push_back(candidates[c]);
    std::vector<int> phase_of = assign(theta, theta_c);
    bool stable = false;
    for (int round = 0; round < kProxyRounds && !stable; ++round) {
      const std::vector<std::vector<int>> members = members_of(phase_of, k);
      if (std::any_of(members.begin(), members.end(), [](const std::vector<int>& m) { return static_cast<int>(m.size()) < kMinMembers; })) break;
      Table next;
      for (const std::vector<int>& m : members) {
        std::vector<mech::DoubleCouple> part;
        for (int i : m) part.push_back(dc[static_cast<std::size_t>(i)]);
        const mech::LinearResult fit = mech::linear_inversion(part);
        if (!fit.ok) break;
        std::vector<double> row(dc.size());
        for (std::size_t i = 0; i < dc.size(); ++i) row[i] = mech::misfit_deg(fit.tensor, dc[i]) * kRadPerDeg;
        next.push_back(std::move(row));
      }
      if (next.size() != static_cast<std::size_t>(k)) break;
      theta = std::move(next);
      const std::vector<int> again = assign(theta, theta_c);
      stable = again == phase_of;
      phase_of = again;
    }
    if (!stable || std::find(tried.begin(), tried.end(), phase_of) != tried.end()) continue;
    tried.push_back(phase_of);
    const double J = objective(theta, theta_c);
    std::size_t at = best_theta.size();
    std::vector<double> Js;
    for (const auto& f : found) Js.push_back(f.first);
    while (at > 0 && J < Js[at - 1]) --at;
    if (at < static_cast<std::size_t>(kProxyKept)) {
      found.insert(found.begin() + static_cast<std::ptrdiff_t>(at), {J, {}});
      best_theta.insert(best_theta.begin() + static_cast<std::ptrdiff_t>(at), theta);
      if (found.size() > static_cast<std::size_t>(kProxyKept)) {
        found.pop_back();
        best_theta.pop_back();
      }
    }
  }
  return best_theta;
}

// Swap search over candidate tensors: while some exchange of one of the k
// chosen rows for another candidate lowers J_k, the exchange that lowers it
// most is made (ties: the earlier position, then the earlier candidate).
std::vector<std::size_t> swap_search(const Table& capped, std::vector<std::size_t> set) {
  const std::size_t N = capped.empty() ? 0 : capped[0].size();
  double J = set_objective(capped, set);
  std::vector<double> others(N);
  for (int pass = 0; pass < kSwapPasses; ++pass) {
    double best = J;
    std::size_t best_j = 0, best_c = 0;
    for (std::size_t j = 0; j < set.size(); ++j) {
      for (std::size_t i = 0; i < N; ++i) {
        double m = std::numeric_limits<double>::infinity();
        for (std::size_t q = 0; q < set.size(); ++q) {
          if (q != j) m = std::min(m, capped[set[q]][i]);
        }
        others[i] = m;
      }
      for (std::size_t c = 0; c < capped.size(); ++c) {
        if (std::find(set.begin(), set.end(), c) != set.end()) continue;
        double t = 0.0;
        for (std::size_t i = 0; i < N && t < best; ++i) t += std::min(others[i], capped[c][i]);
        if (t < best) {
          best = t;
          best_j = j;
          best_c = c;
        }
      }
    }
    if (!(best < J)) break;
    set[best_j] = best_c;
    J = best;
  }
  return set;
}

std::vector<mech::DoubleCouple> double_couples(const FaultSet& faults) {
  std::vector<mech::DoubleCouple> dc;
  for (const FaultDatum& d : faults.data) {
    mech::DoubleCouple c;
    for (std::size_t i = 0; i < 3; ++i) {
      c.normal[i] = static_cast<double>(d.FN(static_cast<int>(i) + 1));
      c.slip[i] = static_cast<double>(d.STR(static_cast<int>(i) + 1));
    }
    dc.push_back(c);
  }
  return dc;
}

bool too_small(const std::vector<std::vector<int>>& members) {
  return std::any_of(members.begin(), members.end(),
                     [](const std::vector<int>& m) { return static_cast<int>(m.size()) < kMinMembers; });
}

// The state of the engine's fits of `members`, then reassigned and refitted
// until the membership is its own assignment (at most kPolishRounds rounds);
// none when a phase falls below kMinMembers, a fit fails or the rounds run out.
// Each set's starts are keyed from `key` on (advanced per set).
std::optional<State> settle(std::vector<std::vector<int>> members, double theta_c, Fits& fits, int& key,
                            const std::vector<double>* bounds = nullptr) {
  const int span = stream_inversions() - kRefineStarts;
  for (int round = 0; round <= kPolishRounds; ++round) {
    if (too_small(members)) return std::nullopt;
    std::vector<int> first;
    for (std::size_t j = 0; j < members.size(); ++j) {
      first.push_back(key % span);
      key += kRefineStarts;
    }
    const std::vector<const Fits::Fit*> fitted = fits.fit(members, first, round == 0 ? bounds : nullptr);
    State st;
    st.members = members;
    for (const Fits::Fit* f : fitted) {
      if (!f->ok) return std::nullopt;
      st.tensors.push_back(f->f);
      st.theta.push_back(f->theta);
    }
    st.J = objective(st.theta, theta_c);
    std::vector<std::vector<int>> next = members_of(assign(st.theta, theta_c), static_cast<int>(members.size()));
    if (next == members) return st;
    members = std::move(next);
  }
  return std::nullopt;
}

constexpr int kClimbSteps = 30;  // moves made on the local fits before the engine is asked
constexpr int kClimbConverge = 3;  // times a climb's phases are fitted to their minimum
constexpr double kClimbWork = 3.2e6;  // climbs from random tensors per k: kClimbWork / (N^3 k)
constexpr int kRestartsMax = 128;
constexpr int kRestartsKept = 3;  // their memberships settled by the engine, per k
constexpr std::size_t kSubsetSetsN = 40;  // sets this small get a pool of fits of small subsets
constexpr int kSubsetFits = 2000, kSubsetSize = 4, kSubsetStarts = 200, kSubsetClimbs = 16;
constexpr double kSubsetsAll = 5000;

// Moves of single data (to another phase, into a phase from none, out to
// none), and pairs of the kPairBase best, made one at a time on the local
// fits of the phases while the best of them lowers J_k. A move is judged on
// one Gauss-Newton step of the phases it changes; where none lowers J_k,
// the phases are fitted to their minimum and reassigned, and the moves are
// tried again (at most kClimbConverge times): the one-step fits rank
// memberships a few per cent apart wrongly, and stop climbs short of them.
// The assignments of the local fits' tensors after the first move and after
// the last (none when nothing lowers J_k).
struct Climb {
  std::vector<std::vector<int>> first, last;
  std::vector<double> first_S, last_S;  // each phase's sum of squared misfits under the local fits
  double J = 0.0;                       // J_k of the local fits at the last
};
std::optional<Climb> climb(const State& st, const std::vector<mech::DoubleCouple>& dc, double theta_c) {
  using P = LocalFit::P;
  using Normal = std::array<std::array<double, 4>, 4>;
  const int k = static_cast<int>(st.members.size());
  const std::size_t N = dc.size();
  struct Phase {
    LocalFit fit;
    P p{};
    std::vector<LocalFit::Jac> J;
    std::vector<AxisVector> e;
    Normal A{};
    P g{};
  };
  const auto add = [](Normal& A, P& g, const LocalFit::Jac& J, const AxisVector& e, double sign) {
    for (std::size_t a = 0; a < 4; ++a) {
      for (std::size_t b = 0; b < 4; ++b) {
        for (std::size_t r = 0; r < 3; ++r) A[a][b] += sign * J[r][a] * J[r][b];
      }
      for (std::size_t r = 0; r < 3; ++r) g[a] += sign * J[r][a] * e[r];
    }
  };
  const auto row_at = [&](const Phase& ph, const P& p) {
    const Matrix3 T = ph.fit.tensor(p);
    std::vector<double> row(N);
    for (std::size_t i = 0; i < N; ++i) row[i] = slip_misfit_rad(T, dc[i].normal, dc[i].slip);
    return row;
  };
  std::vector<int> phase_of = assign(st.theta, theta_c);
  std::vector<Phase> ph;
  Table rows(static_cast<std::size_t>(k));
  // Normal equations of phase j's members at its p; rows[j] at the step.
  const auto linearise = [&](std::size_t j) -> bool {
    Phase& f = ph[j];
    f.J = f.fit.jacobians(f.p);
    const Matrix3 T = f.fit.tensor(f.p);
    f.e.assign(N, AxisVector{});
    f.A = Normal{};
    f.g = P{};
    for (std::size_t i = 0; i < N; ++i) {
      f.e[i] = f.fit.chord(T, i);
      if (phase_of[i] == static_cast<int>(j) + 1) add(f.A, f.g, f.J[i], f.e[i], 1.0);
    }
    const std::optional<P> d = solve4(f.A, f.g);
    if (!d) return false;
    P q = f.p;
    for (std::size_t c = 0; c < 4; ++c) q[c] -= (*d)[c];
    rows[j] = row_at(f, q);
    return true;
  };
  for (std::size_t j = 0; j < static_cast<std::size_t>(k); ++j) {
    ph.push_back(Phase{LocalFit(st.tensors[j].t, dc), P{}, {}, {}, Normal{}, P{}});
    if (!linearise(j)) return std::nullopt;
  }
  double current = objective(rows, theta_c);
  // A move's phases at their step: the rows it changes, none when a phase
  // falls below kMinMembers or its equations are singular.
  using Move = std::vector<std::pair<int, int>>;  // (datum, phase it goes to; 0: none)
  struct Moved {
    double J = 0.0;
    std::vector<P> p;
  };
  std::vector<int> size(static_cast<std::size_t>(k), 0);  // of each phase, at the current step
  const auto try_move = [&](const Move& mv) -> std::optional<Moved> {
    std::vector<Normal> A(static_cast<std::size_t>(k));
    std::vector<P> g(static_cast<std::size_t>(k));
    std::vector<int> moved_size = size;
    std::vector<bool> changed(static_cast<std::size_t>(k), false);
    for (const auto& [d, to] : mv) {
      const auto i = static_cast<std::size_t>(d);
      for (const int j1 : {phase_of[i], to}) {
        if (j1 == 0) continue;
        const auto j = static_cast<std::size_t>(j1 - 1);
        if (!changed[j]) {
          A[j] = ph[j].A;
          g[j] = ph[j].g;
          changed[j] = true;
        }
        const bool in = j1 == to;
        add(A[j], g[j], ph[j].J[i], ph[j].e[i], in ? 1.0 : -1.0);
        moved_size[j] += in ? 1 : -1;
      }
    }
    Moved m;
    m.p.resize(static_cast<std::size_t>(k));
    Table fresh(static_cast<std::size_t>(k));
    for (std::size_t j = 0; j < A.size(); ++j) {
      m.p[j] = ph[j].p;
      if (!changed[j]) continue;
      if (moved_size[j] < kMinMembers) return std::nullopt;
      const std::optional<P> d = solve4(A[j], g[j]);
      if (!d) return std::nullopt;
      for (std::size_t c = 0; c < 4; ++c) m.p[j][c] -= (*d)[c];
      fresh[j] = row_at(ph[j], m.p[j]);
    }
    for (std::size_t i = 0; i < N; ++i) {
      double v = theta_c;
      for (std::size_t j = 0; j < A.size(); ++j) v = std::min(v, changed[j] ? fresh[j][i] : rows[j][i]);
      m.J += v * v;
    }
    return m;
  };
  Climb out;
  int converged = 0;
  for (int step = 0; step < kClimbSteps; ++step) {
    std::fill(size.begin(), size.end(), 0);
    for (std::size_t i = 0; i < N; ++i) {
      if (phase_of[i] > 0) ++size[static_cast<std::size_t>(phase_of[i] - 1)];
    }
    std::vector<std::pair<double, std::pair<int, int>>> singles;
    std::optional<Moved> best;
    Move best_move;
    const auto consider = [&](const Move& mv) {
      std::optional<Moved> m = try_move(mv);
      if (!m) return std::optional<double>{};
      const double J = m->J;
      if (J < current * (1.0 - 1e-6) && (!best || J < best->J)) {
        best = std::move(m);
        best_move = mv;
      }
      return std::optional<double>{J};
    };
    for (std::size_t i = 0; i < N; ++i) {
      for (int to = 0; to <= k; ++to) {
        if (to == phase_of[i]) continue;
        if (const std::optional<double> J = consider(Move{{static_cast<int>(i), to}})) {
          singles.emplace_back(*J, std::pair<int, int>{static_cast<int>(i), to});
        }
      }
    }
    std::stable_sort(singles.begin(), singles.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<std::pair<int, int>> base;
    for (const auto& s : singles) {
      if (base.size() == static_cast<std::size_t>(kPairBase)) break;
      if (std::none_of(base.begin(), base.end(), [&](const auto& q) { return q.first == s.second.first; })) {
        base.push_back(s.second);
      }
    }
    for (std::size_t a = 0; a < base.size(); ++a) {
      for (std::size_t b = a + 1; b < base.size(); ++b) consider(Move{base[a], base[b]});
    }
    if (!best) {
      // No move lowers J_k on the one-step fits: the phases fitted to
      // their minimum and reassigned, then the moves tried again.
      if (converged == kClimbConverge) break;
      ++converged;
      for (std::size_t j = 0; j < ph.size(); ++j) {
        std::vector<int> m;
        for (std::size_t i = 0; i < N; ++i) {
          if (phase_of[i] == static_cast<int>(j) + 1) m.push_back(static_cast<int>(i));
        }
        ph[j].fit = LocalFit(mech::principal_of(ph[j].fit.tensor(ph[j].p)), dc);
        ph[j].p = local_minimum(ph[j].fit, dc, m).p;
        if (!linearise(j)) return out.last.empty() ? std::nullopt : std::optional<Climb>(out);
      }
      const std::vector<int> again = assign(rows, theta_c);
      const double before = current;
      current = objective(rows, theta_c);
      if (again != phase_of) {
        phase_of = again;
        if (too_small(members_of(phase_of, k))) break;
        for (std::size_t j = 0; j < ph.size(); ++j) {
          if (!linearise(j)) return out.last.empty() ? std::nullopt : std::optional<Climb>(out);
        }
        current = objective(rows, theta_c);
      }
      if (!(current < before)) break;
    } else {
      for (const auto& [d, to] : best_move) phase_of[static_cast<std::size_t>(d)] = to;
      for (std::size_t j = 0; j < ph.size(); ++j) {
        if (best->p[j] == ph[j].p) continue;
        ph[j].p = best->p[j];
        if (!linearise(j)) return out.last.empty() ? std::nullopt : std::optional<Climb>(out);
      }
    }
    current = objective(rows, theta_c);
    out.J = current;
    out.last = members_of(assign(rows, theta_c), k);
    out.last_S.clear();
    for (std::size_t j = 0; j < out.last.size(); ++j) {
      double S = 0.0;
      for (int i : out.last[j]) S += rows[j][static_cast<std::size_t>(i)] * rows[j][static_cast<std::size_t>(i)];
      out.last_S.push_back(S);
    }
    if (out.first.empty()) {
      out.first = out.last;
      out.first_S = out.last_S;
    }
  }
  if (out.last.empty()) return std::nullopt;
  return out;
}

// Local search over memberships with the engine's fit: from `st` (a state
// whose membership is its own assignment), data are moved between phases
// on the local fits (climb above), and the membership reached is settled
// with the engine and kept when J_k falls (else the first move alone is
// tried); passes repeat while a membership is kept (at most kMovePasses),
// each try counted in `tries`. Refinement from pool subsets stops at the
// first membership that is its own assignment; memberships a few data
// apart then hold J_k several per cent apart, and which one a search ends
// in depends on its seeds. The moves reach the lower one.
State move_search(State st, const std::vector<mech::DoubleCouple>& dc, double theta_c, Fits& fits, int key,
                  int& tries) {
  const int k = static_cast<int>(st.members.size());
  if (members_of(assign(st.theta, theta_c), k) != st.members) {  // first made its own assignment
    std::optional<State> nx = settle(members_of(assign(st.theta, theta_c), k), theta_c, fits, key);
    if (nx) {  // else the moves start from the state as it is
      nx->selected_J = st.selected_J;
      st = std::move(*nx);
    }
  }
  for (int pass = 0; pass < kMovePasses && tries > 0; ++pass) {
    const std::optional<Climb> c = climb(st, dc, theta_c);
    if (!c) break;
    bool kept = false;
    for (const bool last : {true, false}) {
      const std::vector<std::vector<int>>& to = last ? c->last : c->first;
      if (kept || tries <= 0 || (!last && c->first == c->last)) continue;
      --tries;
      std::optional<State> nx = settle(to, theta_c, fits, key, last ? &c->last_S : &c->first_S);
      if (nx && nx->J < st.J * (1.0 - 1e-9)) {
        nx->selected_J = st.selected_J;
        st = std::move(*nx);
        kept = true;
      }
    }
    if (!kept) break;
  }
  return st;
}


// Climbs on the local fits from random sets of k engine tensors (any
// stream's pool and refined tensors; a std::mt19937_64 keyed by NSEED and
// k, indices by modulo), kClimbWork / (N^3 k) of them, at most
// kRestartsMax: a climb costs about N^2 k misfits per move, so these are
// for small sets (128 per k at N = 20, none at k = 2 from N = 118), whose
// minima lie many data apart; there they reach memberships that no stream
// and no move from the streams' states reaches. The kRestartsKept lowest
// distinct memberships reached (their J_k on the local fits), with their
// sums.
std::vector<Climb> restart_climbs(const std::vector<Fitted>& tensors, const Table& theta,
                                  const std::vector<mech::DoubleCouple>& dc, int k, double theta_c, int NSEED) {
  std::vector<Climb> kept;
  if (tensors.size() < static_cast<std::size_t>(k)) return kept;
  const double n = static_cast<double>(dc.size());
  const int restarts = std::min(static_cast<int>(kClimbWork / (n * n * n * k)), kRestartsMax);
  std::mt19937_64 gen(((static_cast<std::uint64_t>(static_cast<std::uint32_t>(NSEED)) << 8) ^
                       static_cast<std::uint64_t>(k)) + 0x9e3779b97f4a7c15ULL);
  for (int r = 0; r < restarts; ++r) {
    State st;
    for (std::size_t c : draw_distinct(gen, k, tensors.size())) {
      st.tensors.push_back(tensors[c]);
      st.theta.push_back(theta[c]);
    }
    st.members = members_of(assign(st.theta, theta_c), k);
    std::optional<Climb> c = climb(st, dc, theta_c);
    if (!c || too_small(c->last)) continue;
    if (std::any_of(kept.begin(), kept.end(), [&](const Climb& q) { return q.last == c->last; })) continue;
    kept.push_back(std::move(*c));
    std::stable_sort(kept.begin(), kept.end(), [](const Climb& x, const Climb& y) { return x.J < y.J; });
    if (kept.size() > static_cast<std::size_t>(kRestartsKept)) kept.pop_back();
  }
  return kept;
}

// A tensor as the local fits read it (axes and principal values).
TensorSnapshot snapshot_of(const mech::Principal& p) {
  TensorSnapshot t;
  const double v[3] = {1.0 - (1.0 + p.R) / 3.0, p.R - (1.0 + p.R) / 3.0, -(1.0 + p.R) / 3.0};
  for (int L = 1; L <= 3; ++L) {
    t.VP(L) = static_cast<float>(v[L - 1]);
    for (int c = 1; c <= 3; ++c) {
      t.ROT(L, c) = static_cast<float>(p.axes[static_cast<std::size_t>(L - 1)][static_cast<std::size_t>(c - 1)]);
    }
  }
  return t;
}

// The subsets of kSubsetSize of N data the subset pool fits: every one,
// in lexicographic order, where there are at most kSubsetsAll (N up to 20);
// else kSubsetFits drawn from gen.
std::vector<std::vector<std::size_t>> small_subsets(std::size_t N, std::mt19937_64& gen) {
  std::vector<std::vector<std::size_t>> out;
  const double n = static_cast<double>(N);
  if (n * (n - 1) * (n - 2) * (n - 3) / 24.0 > kSubsetsAll) {
    for (int m = 0; m < kSubsetFits; ++m) out.push_back(draw_distinct(gen, kSubsetSize, N));
    return out;
  }
  std::vector<std::size_t> next(kSubsetSize);
  std::iota(next.begin(), next.end(), std::size_t{0});
  const std::size_t k = next.size();
  while (next[0] + k <= N) {
    out.push_back(next);
    std::size_t c = k;  // the last index that can still grow
    while (c > 0 && next[c - 1] == N - k + c - 1) --c;
    if (c == 0) break;
    ++next[c - 1];
    for (std::size_t q = c; q < k; ++q) next[q] = next[q - 1] + 1;
  }
  return out;
}

// On the smallest sets (N up to kSubsetSetsN), a pool of its own: tensors
// fitted to every set of kSubsetSize data where there are at most
// kSubsetsAll of them (N up to 20; the pool is then the same at every
// seed), else to kSubsetFits random ones (Michael's linear inversion, then
// the local fit); the swap search over them from kSubsetStarts random sets
// of k, and climbs from the kSubsetClimbs lowest sets reached. A phase of 6
// or 7 data is close to the fit of a few of its members, which the engine's
// pool (fits of all data and of its peels) seldom holds; and many
// memberships lie within a few per cent of J_k, so that climbs from the
// three lowest sets left J_3 of a 20-datum published set 15 % apart
// between seeds.
std::vector<Climb> subset_climbs(const std::vector<mech::DoubleCouple>& dc, int k, double theta_c, int NSEED) {
  std::vector<Climb> kept;
  const std::size_t N = dc.size();
  if (N > kSubsetSetsN || N < static_cast<std::size_t>(kMinMembers * k)) return kept;
  std::mt19937_64 gen(((static_cast<std::uint64_t>(static_cast<std::uint32_t>(NSEED)) << 8) ^
                       static_cast<std::uint64_t>(k)) + 0x3c6ef372fe94f82bULL);
  std::vector<Fitted> tensors;
  Table rows;
  for (const std::vector<std::size_t>& drawn : small_subsets(N, gen)) {
    std::vector<int> members;
    std::vector<mech::DoubleCouple> part;
    for (std::size_t i : drawn) {
      members.push_back(static_cast<int>(i));
      part.push_back(dc[i]);
    }
    const mech::LinearResult lin = mech::linear_inversion(part);
    if (!lin.ok) continue;
    const LocalFit f(lin.stress, dc);
    const Matrix3 M = f.tensor(local_minimum(f, dc, members).p);
    Fitted ft;
    ft.ok = true;
    ft.t = snapshot_of(mech::principal_of(M));
    ft.M = M;
    std::vector<double> row(N);
    for (std::size_t i = 0; i < N; ++i) row[i] = slip_misfit_rad(M, dc[i].normal, dc[i].slip);
    tensors.push_back(ft);
    rows.push_back(std::move(row));
  }
  if (tensors.size() < static_cast<std::size_t>(k)) return kept;
  const double cap = theta_c * theta_c;
  Table capped = rows;
  for (std::vector<double>& row : capped) {
    for (double& v : row) v = std::min(v * v, cap);
  }
  std::vector<std::pair<double, std::vector<std::size_t>>> found;
  for (int r = 0; r < kSubsetStarts; ++r) {
    std::vector<std::size_t> set = swap_search(capped, draw_distinct(gen, k, tensors.size()));
    std::sort(set.begin(), set.end());
    if (std::any_of(found.begin(), found.end(), [&](const auto& f) { return f.second == set; })) continue;
    found.emplace_back(set_objective(capped, set), set);
  }
  std::stable_sort(found.begin(), found.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
  for (const auto& [J, set] : found) {
    if (kept.size() == static_cast<std::size_t>(kSubsetClimbs)) break;
    State st;
    for (std::size_t c : set) {
      st.tensors.push_back(tensors[c]);
      st.theta.push_back(rows[c]);
    }
    st.members = members_of(assign(st.theta, theta_c), k);
    std::optional<Climb> c = climb(st, dc, theta_c);
    if (!c) {  // the set is its own best: its assignment as it is
      c = Climb{};
      c->last = st.members;
      for (std::size_t j = 0; j < c->last.size(); ++j) {
        double S = 0.0;
        for (int i : c->last[j]) S += st.theta[j][static_cast<std::size_t>(i)] * st.theta[j][static_cast<std::size_t>(i)];
        c->last_S.push_back(S);
      }
      c->J = objective(st.theta, theta_c);
    }
    if (too_small(c->last)) continue;
    if (std::any_of(kept.begin(), kept.end(), [&](const Climb& q) { return q.last == c->last; })) continue;
    kept.push_back(std::move(*c));
  }
  return kept;
}

}  // namespace

void add_bootstrap(Separation& sep, const FaultSet& faults, const RunParams& params, const ensemble::Options& eo) {
  const auto reps = bootstrap_phases(faults, params, sep, eo.bootstrap, eo.seed, eo.jobs);
  for (std::size_t j = 0; j < sep.phases.size(); ++j) {
    ensemble::BootstrapReport b;
    b.replicates = eo.bootstrap;
    b.confidence = eo.confidence;
    b.seed = eo.seed;
    b.samples = reps[j];
    b.stats = ensemble::bootstrap_stats(sep.phases[j].tensor, b.samples, eo.confidence);
    sep.bootstrap.push_back(std::move(b));
  }
}

int inversion_count(int starts) { return (starts + 3) * stream_inversions(); }

int stream_inversions() { return polish_index(kMaxPhases, kPolishRounds - 1, kMaxPhases - 1, kRefineStarts - 1) + 1; }

int fitting_starts(const RunParams& p) {
  int S = kDefaultStarts;
  while (S > 1 && ensemble::start_seed(p, (S + 3) * stream_inversions() - 1) > INT_MAX) --S;
  return S;
}

std::string separation_problem(const RunParams& p, const Options& o) {
  if (p.INDX != 1) {
    return "--phases needs INDX = 1 (a random search over every tensor); the PARAMETERS give INDX = " +
           std::to_string(p.INDX) + ", which constrains or imposes the tensor, and one constraint cannot hold for "
           "several phases";
  }
  if (o.phases < 0 || o.phases > kMaxPhases) {
    return "--phases must be auto or a number of phases from 1 to " + std::to_string(kMaxPhases);
  }
  if (o.max_phases < 1 || o.max_phases > kMaxPhases) {
    return "--max-phases must be from 1 to " + std::to_string(kMaxPhases);
  }
  if (o.jobs < 1) return "the separation needs at least 1 thread, not " + std::to_string(o.jobs);
  if (!(o.outlier_misfit_deg >= 5.0 && o.outlier_misfit_deg <= 90.0)) {
    return "--outlier-misfit must be from 5 to 90 degrees";
  }
  if (o.starts < 1 || o.starts > kMaxStarts) {
    return "--phase-starts must be from 1 to " + std::to_string(kMaxStarts);
  }
  const long long last = ensemble::start_seed(p, (o.starts + 3) * stream_inversions() - 1);
  if (last > INT_MAX) {
    return "--phases with " + std::to_string(o.starts) + " phase starts, NSEED = " + std::to_string(p.NSEED) +
           " and NTIR = " + std::to_string(p.NTIR) + " needs NSEED up to " + std::to_string(last) +
           ", beyond the largest a PARAMETERS file holds (" + std::to_string(INT_MAX) +
           "); use fewer --phase-starts, a smaller NSEED or a smaller NTIR";
  }
  return "";
}

double misfit_rad(const Matrix3& T, const Vec3& n, const Vec3& s) {
  const auto d = [](const Vec3& v) {
    return AxisVector{static_cast<double>(v(1)), static_cast<double>(v(2)), static_cast<double>(v(3))};
  };
  return slip_misfit_rad(T, d(n), d(s));
}

double objective(const Table& theta, double theta_c) {
  double J = 0.0;
  const std::size_t N = theta.empty() ? 0 : theta[0].size();
  for (std::size_t i = 0; i < N; ++i) {
    double m = theta_c;
    for (const std::vector<double>& t : theta) m = std::min(m, t[i]);
    J += m * m;
  }
  return J;
}

std::vector<int> assign(const Table& theta, double theta_c) {
  const std::size_t N = theta.empty() ? 0 : theta[0].size();
  std::vector<int> a(N, 0);
  for (std::size_t i = 0; i < N; ++i) {
    double m = std::numeric_limits<double>::infinity();
    for (std::size_t j = 0; j < theta.size(); ++j) {
      if (theta[j][i] < m) {
        m = theta[j][i];
        a[i] = static_cast<int>(j) + 1;
      }
    }
    if (!(m <= theta_c)) a[i] = 0;
  }
  return a;
}

MixtureFit fit_mixture(const Table& theta, double theta_c) {
  const std::size_t k = theta.size();
  const std::size_t N = k == 0 ? 0 : theta[0].size();
  MixtureFit m;
  m.share.assign(k, 1.0 / static_cast<double>(k));
  m.eps = 0.05;
  m.sigma = std::max(kMinSigma, std::sqrt(objective(theta, theta_c) / static_cast<double>(std::max<std::size_t>(N, 1))));
  m.w.assign(k, std::vector<double>(N, 0.0));
  m.none.assign(N, 0.0);
  const double uniform = 1.0 / kPi;
  const auto e_step = [&]() {
    m.log_likelihood = 0.0;
    const double norm = std::sqrt(2.0 / kPi) / m.sigma;
    for (std::size_t i = 0; i < N; ++i) {
      double f = m.eps * uniform;
      for (std::size_t j = 0; j < k; ++j) {
        const double x = theta[j][i] / m.sigma;
        m.w[j][i] = m.share[j] * (1.0 - m.eps) * norm * std::exp(-0.5 * x * x);
        f += m.w[j][i];
      }
      for (std::size_t j = 0; j < k; ++j) m.w[j][i] /= f;
      m.none[i] = m.eps * uniform / f;
      m.log_likelihood += std::log(f);
    }
  };
  for (int it = 0; it < kEmIterations; ++it) {
    e_step();
    double none = 0.0, total = 0.0, spread = 0.0;
    for (std::size_t i = 0; i < N; ++i) none += m.none[i];
    for (std::size_t j = 0; j < k; ++j) {
      double s = 0.0;
      for (std::size_t i = 0; i < N; ++i) {
        s += m.w[j][i];
        spread += m.w[j][i] * theta[j][i] * theta[j][i];
      }
      m.share[j] = s;
      total += s;
    }
    m.eps = std::clamp(none / static_cast<double>(N), kMinEps, kMaxEps);
    for (double& s : m.share) s = total > 0.0 ? s / total : 1.0 / static_cast<double>(k);
    m.sigma = total > 0.0 ? std::max(kMinSigma, std::sqrt(spread / total)) : kMinSigma;
  }
  e_step();
  return m;
}

double bic(double log_likelihood, int k, int N) {
  return -2.0 * log_likelihood + static_cast<double>(5 * k + 1) * std::log(static_cast<double>(N));
}

std::vector<std::size_t> phase_order(const std::vector<int>& sizes, const std::vector<double>& s1_trends) {
  std::vector<std::size_t> order(sizes.size());
  std::iota(order.begin(), order.end(), std::size_t{0});
  std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
    if (sizes[a] != sizes[b]) return sizes[a] > sizes[b];
    return s1_trends[a] < s1_trends[b];
  });
  return order;
}

std::optional<std::size_t> choose_model(const std::vector<Model>& models, int N) {
  std::optional<std::size_t> best;
  for (std::size_t m = 0; m < models.size(); ++m) {
    const int least = models[m].smallest_phase;
    if (least < kMinMembers || least * 10 < N) continue;
    if (models[m].closest_phases_deg && !(*models[m].closest_phases_deg >= kMinPhaseDifferenceDeg)) continue;
    if (!best || models[m].bic < models[*best].bic) best = m;
  }
  return best;
}

namespace {

Model model_of(const State& st, int k, int N, double theta_c) {
  const MixtureFit fit = fit_mixture(st.theta, theta_c);
  Model m;
  m.k = k;
  m.objective_rad2 = st.J;
  m.selected_objective_rad2 = st.selected_J;
  m.bic = bic(fit.log_likelihood, k, N);
  m.sigma_deg = fit.sigma / kRadPerDeg;
  m.outlier_share = fit.eps;
  m.smallest_phase = N;
  for (const std::vector<int>& mem : st.members) m.smallest_phase = std::min(m.smallest_phase, static_cast<int>(mem.size()));
  for (std::size_t a = 0; a < st.tensors.size(); ++a) {
    for (std::size_t b = a + 1; b < st.tensors.size(); ++b) {
      const double d = stress_difference_deg(st.tensors[a].M, st.tensors[b].M);
      if (!m.closest_phases_deg || !(d >= *m.closest_phases_deg)) m.closest_phases_deg = d;
    }
  }
  return m;
}

}  // namespace

Separation separate(const FaultSet& faults, const RunParams& params, const Options& o,
                    const ensemble::Report& report) {
  if (const std::string why = separation_problem(params, o); !why.empty()) throw OptionError(why);
  const double theta_c = o.outlier_misfit_deg * kRadPerDeg;
  const int N = static_cast<int>(faults.data.size());
  const int k_max = std::max(o.max_phases, o.phases);
  Runner runner(faults, params, std::max(1, o.jobs), report);
  const std::vector<mech::DoubleCouple> dc = double_couples(faults);
  Fits fits(faults, runner, dc);

  Separation sep;
  sep.options = o;
  sep.automatic = o.phases == 0;
  sep.restarts = o.starts;
  sep.k_votes.assign(static_cast<std::size_t>(k_max), 0);
  // Per k, the state of lowest J_k over the streams (ties: the earlier
  // stream) and the lowest and highest J_k a stream reached.
  std::vector<std::optional<State>> best(static_cast<std::size_t>(k_max));
  std::vector<double> lowest(static_cast<std::size_t>(k_max), std::numeric_limits<double>::infinity());
  std::vector<double> highest(static_cast<std::size_t>(k_max), -std::numeric_limits<double>::infinity());
  bool any_pool = false;
  // The candidates of the joint search: every stream's pool and refined
  // tensors (misfit tables); per k, the rows of each stream's state.
  Table candidates;
  std::vector<Fitted> engine_tensors;  // the engine's tensors among them, and their misfits
  Table engine_theta;
  std::vector<std::vector<std::vector<std::size_t>>> reached(static_cast<std::size_t>(k_max));
  // Per k, every state a stream or the joint search reached.
  std::vector<std::vector<State>> seen(static_cast<std::size_t>(k_max));
  for (int stream = 0; stream < o.starts; ++stream) {
    runner.set_stream(stream);
    const std::vector<PoolEntry> pool = build_pool(faults, o, runner);
    if (pool.empty()) continue;
    any_pool = true;
    for (const PoolEntry& e : pool) {
      candidates.push_back(e.theta);
      engine_tensors.push_back(e.f);
      engine_theta.push_back(e.theta);
    }
    std::vector<Model> own;
    for (int k = 1; k <= k_max; ++k) {
      std::optional<State> st = refine_k(pool, k, o, fits);
      if (!st) continue;
      const auto at = static_cast<std::size_t>(k - 1);
      std::vector<std::size_t> rows;
      for (std::size_t j = 0; j < st->theta.size(); ++j) {
        rows.push_back(candidates.size());
        candidates.push_back(st->theta[j]);
        engine_tensors.push_back(st->tensors[j]);
        engine_theta.push_back(st->theta[j]);
      }
      reached[at].push_back(std::move(rows));
      own.push_back(model_of(*st, k, N, theta_c));
      lowest[at] = std::min(lowest[at], st->J);
      highest[at] = std::max(highest[at], st->J);
      seen[at].push_back(*st);
      if (!best[at] || st->J < best[at]->J) best[at] = std::move(st);
    }
    if (const std::optional<std::size_t> vote = choose_model(own, N)) ++sep.k_votes[static_cast<std::size_t>(own[*vote].k - 1)];
  }
  if (!any_pool) {
    throw rt::RunStop("--phases: no candidate tensor could be fitted to these " + std::to_string(N) +
                      " data (the pool inverts POURC 30, 45 and 60 % of them, which must be at least 5 data)");
  }
  // The joint search: from each stream's state, exchanges of single tensors
  // for candidates of any stream while J_k falls; the best few sets reached
  // are refined as the streams refine (their inversions keyed after the
  // last stream's). Combinations no single stream had are reached so.
  const double cap = theta_c * theta_c;
  Table capped = candidates;
  for (std::vector<double>& row : capped) {
    for (double& v : row) v = std::min(v * v, cap);
  }
  for (int k = 1; k <= k_max; ++k) {
    const auto at = static_cast<std::size_t>(k - 1);
    std::vector<std::pair<double, std::vector<std::size_t>>> found;
    for (const std::vector<std::size_t>& rows : reached[at]) {
      std::vector<std::size_t> set = swap_search(capped, rows);
      const double J = set_objective(capped, set);
      if (!(J < set_objective(capped, rows))) continue;
      std::sort(set.begin(), set.end());
      if (std::none_of(found.begin(), found.end(), [&](const auto& f) { return f.second == set; })) found.emplace_back(J, set);
    }
    std::stable_sort(found.begin(), found.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    if (found.size() > static_cast<std::size_t>(kSubsets)) found.resize(static_cast<std::size_t>(kSubsets));
    std::vector<Table> starts;
    for (const auto& f : found) {
      Table t;
      for (std::size_t r : f.second) t.push_back(candidates[r]);
      starts.push_back(std::move(t));
    }
    const std::vector<Table> proxy = proxy_starts(faults, candidates, k, theta_c, params.NSEED);
    for (int pass = 0; pass < 3; ++pass) {
      runner.set_stream(o.starts + pass);
      std::vector<Table> from = starts;
      if (pass > 0) {
        const std::size_t b = static_cast<std::size_t>((pass - 1) * kSubsets);
        from.assign(proxy.begin() + static_cast<std::ptrdiff_t>(std::min(b, proxy.size())),
                    proxy.begin() + static_cast<std::ptrdiff_t>(std::min(b + kSubsets, proxy.size())));
      }
      std::optional<State> st = refine_from(from, k, o, fits);
      if (st) seen[at].push_back(*st);
      if (st && best[at] && st->J < best[at]->J) {
        st->selected_J = best[at]->selected_J;
        best[at] = std::move(st);
      }
    }
  }
  // The move search from each k's best state; its inversions keyed in the
  // last stretch of the joint search's, one key per set fitted.
  runner.set_stream(o.starts + 2);
  for (int k = 1; k <= k_max; ++k) {
    const auto at = static_cast<std::size_t>(k - 1);
    if (!best[at]) continue;
    // The memberships of the climbs from random tensors, settled by the
    // engine (keys after the move search's).
    int restart_key = (k - 1) * 997 * kRefineStarts + 5 * 331 * kRefineStarts;
    std::vector<Climb> climbs = restart_climbs(engine_tensors, engine_theta, dc, k, theta_c, params.NSEED);
    for (Climb& c : subset_climbs(dc, k, theta_c, params.NSEED)) climbs.push_back(std::move(c));
    for (const Climb& c : climbs) {
      if (!(c.J < best[at]->J)) continue;  // only where the local fits promise a lower J_k
      std::optional<State> st = settle(c.last, theta_c, fits, restart_key, &c.last_S);
      if (!st) continue;
      st->selected_J = best[at]->selected_J;
      seen[at].push_back(*st);
      if (st->J < best[at]->J) best[at] = std::move(*st);
    }
    // The kPolished lowest distinct memberships reached, each searched.
    std::vector<State>& from = seen[at];
    std::stable_sort(from.begin(), from.end(), [](const State& a, const State& b) { return a.J < b.J; });
    std::vector<const State*> starts;
    for (const State& s : from) {
      if (starts.size() == static_cast<std::size_t>(kPolished)) break;
      if (std::none_of(starts.begin(), starts.end(), [&](const State* q) { return q->members == s.members; })) {
        starts.push_back(&s);
      }
    }
    int key = (k - 1) * 997 * kRefineStarts;
    int tries = kMoveBudget;
    for (const State* s : starts) {
      State nx = move_search(*s, dc, theta_c, fits, key, tries);
      key += 331 * kRefineStarts;
      if (nx.J < best[at]->J) {
        nx.selected_J = best[at]->selected_J;
        best[at] = std::move(nx);
      }
    }
    // The winner's phases refitted with kFinalStarts more starts each (the
    // fit of lowest F kept, as for any member set): one fit of two starts
    // leaves J_k a per cent or two apart between seeds for one membership.
    // Kept when the membership stays its own assignment.
    State& w = *best[at];
    std::vector<Job> jobs;
    const int span = stream_inversions() - kFinalStarts;
    for (std::size_t j = 0; j < w.members.size(); ++j) {
      const int first = (key + 7919 + static_cast<int>(j) * kFinalStarts) % span;
      for (int s = 0; s < kFinalStarts; ++s) jobs.push_back(Job{w.members[j], 100, first + s});
    }
    const std::vector<Fitted> runs = runner.run(jobs);
    State nx = w;
    for (std::size_t j = 0; j < w.members.size(); ++j) {
      const Fitted* b = best_of(runs, j * kFinalStarts, kFinalStarts);
      if (b != nullptr && b->t.F < nx.tensors[j].t.F) {
        nx.tensors[j] = *b;
        nx.theta[j] = misfits(faults, b->M);
      }
    }
    nx.J = objective(nx.theta, theta_c);
    if (members_of(assign(nx.theta, theta_c), k) == nx.members) w = std::move(nx);
  }
  std::vector<State> states;
  for (int k = 1; k <= k_max; ++k) {
    const auto at = static_cast<std::size_t>(k - 1);
    if (!best[at]) continue;
    Model m = model_of(*best[at], k, N, theta_c);
    m.objective_spread = lowest[at] > 0.0 ? (highest[at] - lowest[at]) / lowest[at] : 0.0;
    sep.models.push_back(m);
    states.push_back(std::move(*best[at]));
  }
  std::optional<std::size_t> chosen;
  if (sep.automatic) {
    chosen = choose_model(sep.models, N);
    if (!chosen) throw rt::RunStop("no number of phases fits these data with at least " + std::to_string(kMinMembers) +
                                   " data in each phase");
  } else {
    for (std::size_t m = 0; m < sep.models.size(); ++m) {
      if (sep.models[m].k == o.phases) chosen = m;
    }
    if (!chosen) {
      throw rt::RunStop("--phases " + std::to_string(o.phases) + ": these " + std::to_string(N) +
                        " data cannot be split into " + std::to_string(o.phases) + " phases of at least " +
                        std::to_string(kMinMembers) + " data each");
    }
  }
  sep.chosen_model = *chosen;
  const State& st = states[*chosen];
  sep.k = sep.models[*chosen].k;

  std::vector<int> sizes;
  std::vector<double> trends;
  for (std::size_t j = 0; j < st.tensors.size(); ++j) {
    sizes.push_back(static_cast<int>(st.members[j].size()));
    trends.push_back(static_cast<double>(st.tensors[j].t.DIRE(1)));
  }
  const std::vector<std::size_t> order = phase_order(sizes, trends);
  Table theta;
  for (std::size_t old : order) theta.push_back(st.theta[old]);
  const MixtureFit fit = fit_mixture(theta, theta_c);
  sep.data.resize(static_cast<std::size_t>(N));
  for (std::size_t j = 0; j < order.size(); ++j) {
    const std::size_t old = order[j];
    Phase ph;
    ph.members = st.members[old];
    ph.NSEED = st.tensors[old].NSEED;
    ph.tensor = st.tensors[old].t;
    for (int i : ph.members) {
      const double t = theta[j][static_cast<std::size_t>(i)];
      ph.misfit_sum_rad2 += t * t;
      sep.data[static_cast<std::size_t>(i)].phase = static_cast<int>(j) + 1;
    }
    const double n = static_cast<double>(ph.members.size());
    ph.rms_misfit_deg = ph.members.empty() ? 0.0 : std::sqrt(ph.misfit_sum_rad2 / n) / kRadPerDeg;
    if (ph.members.size() > 4) ph.residual_std_deg = std::sqrt(ph.misfit_sum_rad2 / (n - 4.0)) / kRadPerDeg;
    sep.phases.push_back(std::move(ph));
  }
  for (std::size_t i = 0; i < sep.data.size(); ++i) {
    DatumPhase& d = sep.data[i];
    double largest = fit.none[i];
    std::vector<double> sorted;
    for (std::size_t j = 0; j < theta.size(); ++j) {
      d.misfit_deg.push_back(theta[j][i] / kRadPerDeg);
      d.posterior.push_back(fit.w[j][i]);
      largest = std::max(largest, fit.w[j][i]);
      sorted.push_back(theta[j][i]);
    }
    d.posterior_none = fit.none[i];
    d.ambiguous = largest < kAmbiguousPosterior;
    std::sort(sorted.begin(), sorted.end());
    if (sorted.size() >= 2) d.misfit_gap_deg = (sorted[1] - sorted[0]) / kRadPerDeg;
  }
  return sep;
}

std::vector<std::vector<ensemble::Replicate>> bootstrap_phases(const FaultSet& faults, const RunParams& params,
                                                               const Separation& sep, int B, std::uint64_t seed,
                                                               int jobs) {
  if (const std::string why = ensemble::bootstrap_problem(B, 95.0); !why.empty()) throw OptionError(why);
  if (jobs < 1) throw OptionError("the bootstrap needs at least 1 thread, not " + std::to_string(jobs));
  const std::size_t k = sep.phases.size();
  const double theta_c = sep.options.outlier_misfit_deg * kRadPerDeg;
  constexpr int kRunsPerReplicate = kRounds * kMaxPhases * kRefineStarts;
  std::vector<std::vector<ensemble::Replicate>> out(k, std::vector<ensemble::Replicate>(static_cast<std::size_t>(B)));
  const ensemble::Task task = [&](std::size_t b, Workspace& ws, const ensemble::Tick& tick) {
    const int ib = static_cast<int>(b);
    const FaultSet data = ensemble::resample(faults, seed, ib);
    RunParams base = params;
    base.NSEED = ensemble::replicate_seed(params, kRunsPerReplicate, seed, ib);
    const auto fit = [&](const std::vector<int>& members, int index) {
      const FaultSet set = subset_of(data, members);
      RunParams q = ensemble::start_params(base, index);
      q.POURC = 100;
      Fitted f;
      if (invert_problem(set, q).empty()) {
        const InversionResult r = invert(set, q, ws, ListingSink::none(), Through::Stage3);
        f.NSEED = q.NSEED;
        f.t = r.stage3;
        f.ok = r.fit.svd_ok && finite(f.t);
        if (f.ok) f.M = reduced_tensor(f.t);
      }
      return f;
    };
    Table theta;
    for (const Phase& p : sep.phases) theta.push_back(misfits(data, reduced_tensor(p.tensor)));
    double J = objective(theta, theta_c);
    std::vector<std::vector<int>> fitted_on;
    State best;
    for (int round = 0; round < kRounds; ++round) {
      const std::vector<std::vector<int>> next = members_of(assign(theta, theta_c), static_cast<int>(k));
      if (next == fitted_on || std::any_of(next.begin(), next.end(), [](const std::vector<int>& m) {
            return static_cast<int>(m.size()) < kMinMembers;
          })) {
        break;
      }
      State st;
      st.members = next;
      for (std::size_t j = 0; j < k; ++j) {
        std::vector<Fitted> runs;
        for (int s = 0; s < kRefineStarts; ++s) {
          runs.push_back(fit(next[j], (round * kMaxPhases + static_cast<int>(j)) * kRefineStarts + s));
        }
        const Fitted* f = best_of(runs, 0, runs.size());
        if (f == nullptr) break;
        st.tensors.push_back(*f);
        st.theta.push_back(misfits(data, f->M));
      }
      if (st.tensors.size() != k) break;
      st.J = objective(st.theta, theta_c);
      const bool falling = st.J < J;
      theta = st.theta;
      J = st.J;
      fitted_on = st.members;
      if (st.J < best.J) best = std::move(st);
      if (!falling) break;
    }
    for (std::size_t j = 0; j < k; ++j) {
      ensemble::Replicate& r = out[j][b];
      r.index = ib;
      r.NSEED = base.NSEED;
      r.ok = best.tensors.size() == k;
      if (r.ok) r.tensor = best.tensors[j].t;
    }
    tick();
  };
  ensemble::run_parallel(static_cast<std::size_t>(B), std::max(1, jobs), task, nullptr);
  return out;
}

}  // namespace zk::phases
