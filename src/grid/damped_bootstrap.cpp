#include <algorithm>
#include <cmath>
#include <random>

#include "ensemble/parallel.hpp"
#include "ensemble/quality.hpp"
#include "grid/damped.hpp"

namespace zk::grid {
namespace {

void check_rule(const ChoiceRule& r) {
  if (!(r.friction > 0.0 && r.friction <= 10.0)) throw DampedError("the friction must be above 0 and at most 10");
  if (!(r.gap_deg >= 0.0 && r.gap_deg <= 90.0)) throw DampedError("the choice gap must be from 0 to 90 degrees");
  if (r.max_rounds < 1) throw DampedError("the plane choice needs at least 1 round");
}

std::vector<CellData> data_of(const std::vector<CellEvents>& cells, const std::vector<mech::Choice>& planes) {
  std::vector<CellData> data;
  data.reserve(cells.size());
  for (std::size_t c = 0; c < cells.size(); ++c) {
    CellData d{cells[c].index, {}};
    d.planes.reserve(cells[c].events.size());
    for (std::size_t k = 0; k < cells[c].events.size(); ++k) {
      d.planes.push_back(cells[c].events[k].exact[planes[c][k] == 2 ? 1 : 0]);
    }
    data.push_back(std::move(d));
  }
  return data;
}

// An index in [0, n) from the 64-bit generator, by rejection of the few
// values that would bias the remainder (the ensemble's draw).
std::size_t draw_index(std::mt19937_64& gen, std::uint64_t n) {
  const std::uint64_t threshold = (0 - n) % n;
  for (;;) {
    const std::uint64_t x = gen();
    if (x >= threshold) return static_cast<std::size_t>(x % n);
  }
}

}  // namespace

DampedChoice choose_damped(const std::vector<CellEvents>& cells, double e, const ChoiceRule& rule) {
  check_rule(rule);
  std::vector<mech::Choice> planes;
  for (const CellEvents& c : cells) {
    if (!c.start.empty() && c.start.size() != c.events.size()) {
      throw DampedError("cell " + cell_name(c.index) + " has " + std::to_string(c.events.size()) +
                        " events but a start choice of " + std::to_string(c.start.size()));
    }
    mech::Choice p = c.start.empty() ? mech::Choice(c.events.size(), 1) : c.start;
    for (std::size_t k = 0; k < p.size(); ++k) {
      if (c.events[k].known != 0) p[k] = c.events[k].known;
      if (p[k] != 1 && p[k] != 2) throw DampedError("a chosen plane must be 1 or 2 (cell " + cell_name(c.index) + ")");
    }
    planes.push_back(std::move(p));
  }
  DampedChoice out;
  for (int round = 1;; ++round) {
    out.solution = solve_damped(data_of(cells, planes), e);
    out.rounds = round;
    std::vector<mech::Choice> next = planes;
    for (std::size_t c = 0; c < cells.size(); ++c) {
      const CellAnswer& a = out.solution.cells[c];
      if (a.status != CellStatus::solved || cells[c].events.empty()) continue;
      next[c] = mech::choose_under(cells[c].events, a.stress, rule.friction, rule.rule, rule.gap_deg).planes;
    }
    if (next == planes) {
      out.converged = true;
      break;
    }
    if (round >= rule.max_rounds) break;
    planes = std::move(next);
  }
  out.planes = std::move(planes);
  return out;
}

std::vector<DampedReplicate> damped_replicates(const std::vector<CellEvents>& cells, const DampedChoice& main,
                                               const BootstrapOptions& o, int first, int last) {
  if (first < 0 || last < first) {
    throw DampedError("replicates " + std::to_string(first) + " to " + std::to_string(last) +
                      ": the range must start at 0 or later and not end before it starts");
  }
  if (o.jobs < 1) throw DampedError("the bootstrap needs at least 1 thread, not " + std::to_string(o.jobs));
  if (main.planes.size() != cells.size()) throw DampedError("the main choice is not of these cells");
  for (std::size_t c = 0; c < cells.size(); ++c) {
    if (main.planes[c].size() != cells[c].events.size()) throw DampedError("the main choice is not of these cells");
  }
  check_rule(o.rule);
  std::vector<DampedReplicate> reps(static_cast<std::size_t>(last - first));
  const ensemble::Task task = [&](std::size_t k, Workspace&, const ensemble::Tick& tick) {
    const int b = first + static_cast<int>(k);
    std::seed_seq seq{static_cast<std::uint32_t>(o.seed), static_cast<std::uint32_t>(o.seed >> 32),
                      static_cast<std::uint32_t>(b), std::uint32_t{7}};
    std::mt19937_64 gen(seq);
    std::vector<CellEvents> drawn;
    drawn.reserve(cells.size());
    for (std::size_t c = 0; c < cells.size(); ++c) {
      CellEvents d{cells[c].index, {}, {}};
      const std::size_t n = cells[c].events.size();
      for (std::size_t i = 0; i < n; ++i) {
        const std::size_t pick = draw_index(gen, n);
        d.events.push_back(cells[c].events[pick]);
        d.start.push_back(main.planes[c][pick]);
      }
      drawn.push_back(std::move(d));
    }
    const DampedChoice r = choose_damped(drawn, o.e, o.rule);
    DampedReplicate& rep = reps[k];
    rep.index = b;
    rep.rounds = r.rounds;
    rep.converged = r.converged;
    for (const CellAnswer& a : r.solution.cells) {
      rep.status.push_back(a.status);
      rep.stress.push_back(a.stress);
    }
    if (tick) tick();
  };
  ensemble::run_parallel(reps.size(), o.jobs, task, nullptr);
  return reps;
}

std::vector<ensemble::BootstrapStats> damped_bootstrap_stats(const DampedSolution& main,
                                                             const std::vector<DampedReplicate>& replicates,
                                                             double confidence) {
  if (!(confidence > 0.0 && confidence < 100.0)) throw DampedError("the confidence must be above 0 and below 100 per cent");
  const double tail = (100.0 - confidence) / 2.0;
  std::vector<ensemble::BootstrapStats> out;
  for (std::size_t c = 0; c < main.cells.size(); ++c) {
    ensemble::BootstrapStats s;
    s.quality = ensemble::shmax_quality({});
    const CellAnswer& m = main.cells[c];
    if (m.status != CellStatus::solved) {
      out.push_back(s);
      continue;
    }
    std::vector<double> angles[3], R, dev, shmax;
    for (const DampedReplicate& r : replicates) {
      if (r.status.size() != main.cells.size()) throw DampedError("a replicate is not of this solution's cells");
      if (r.status[c] != CellStatus::solved) continue;
      ++s.used;
      const mech::Principal& p = r.stress[c];
      for (std::size_t L = 0; L < 3; ++L) angles[L].push_back(mech::axial_angle_deg(m.stress.axes[L], p.axes[L]));
      R.push_back(p.R);
      const StressState st = stress_state(p.axes, p.R);
      ++s.regimes[static_cast<int>(st.wsm.regime)];
      if (!st.shmax) {
        ++s.shmax_undefined;
        continue;
      }
      shmax.push_back(*st.shmax);
      if (m.state.shmax) {
        double d = std::fmod(*st.shmax - *m.state.shmax, 180.0);  // (-180, 180)
        if (d <= -90.0) d += 180.0;
        if (d > 90.0) d -= 180.0;
        dev.push_back(d);
      }
    }
    if (s.used > 0) {
      for (std::size_t L = 0; L < 3; ++L) s.cone_deg[L] = ensemble::nearest_rank(angles[L], confidence);
      std::vector<double> low = R;
      s.R = ensemble::Interval{ensemble::nearest_rank(low, tail), ensemble::nearest_rank(R, 100.0 - tail)};
      if (m.state.shmax && !dev.empty()) {
        std::vector<double> low_dev = dev;
        s.SHmax = ensemble::Interval{*m.state.shmax + ensemble::nearest_rank(low_dev, tail),
                                     *m.state.shmax + ensemble::nearest_rank(dev, 100.0 - tail)};
      }
      s.shmax_sd_deg = ensemble::axial_sd_deg(shmax);
      s.quality = ensemble::shmax_quality(
          {m.state.shmax.has_value(), m.state.shmax_poorly_defined, s.used, s.shmax_undefined, s.shmax_sd_deg});
    }
    out.push_back(s);
  }
  return out;
}

}  // namespace zk::grid
