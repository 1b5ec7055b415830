// The damped joint inversion on synthetic gridded catalogues of known stress
// (tools/grid-study.sh): a stress field that turns smoothly over an nx x ny
// lon/lat grid, cells of varying event counts (some empty), and per cell the
// SHmax error of the undamped inversion (each cell's own, e = 0) and of the
// damped one at the corner of the trade-off curve; the e that would have
// minimised the true error; the time and memory of the damped solve.
//
// Truth of cell (i, j): sigma 1 horizontal toward 20 + T u + 25 sin(pi v)
// degrees (u = i / (nx - 1), v = j / (ny - 1)), sigma 2 vertical (strike-slip),
// R = 0.35 + 0.3 v; T = --turn, 70 by default. Counts: 5 % of cells empty, 30 % of 5 to 19 events, 25 %
// of 20 to 29, 40 % of 30 to 80. A fault of random orientation slips along
// its shear traction; the whole double couple is turned about a random axis
// by a Gaussian angle (--noise, degrees). --choice: each event is given by
// one nodal plane at random and the planes are chosen under the damped (or
// undamped) answer (grid::choose_damped, instability rule, friction 0.6);
// otherwise the true fault planes are inverted.
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "grid/damped.hpp"

namespace {

using namespace zk;
using mech::DoubleCouple;

constexpr double kPi = 3.14159265358979323846;

AxisVector unit(AxisVector v) {
  const double l = std::sqrt(mech::dot(v, v));
  return {v[0] / l, v[1] / l, v[2] / l};
}
AxisVector cross(const AxisVector& a, const AxisVector& b) {
  return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}
// v turned by `angle` radians about the unit axis k (Rodrigues).
AxisVector turned(const AxisVector& v, const AxisVector& k, double angle) {
  const AxisVector kv = cross(k, v);
  const double c = std::cos(angle), s = std::sin(angle), kd = mech::dot(k, v) * (1 - c);
  return {v[0] * c + kv[0] * s + k[0] * kd, v[1] * c + kv[1] * s + k[1] * kd, v[2] * c + kv[2] * s + k[2] * kd};
}

struct Options {
  int nx = 20, ny = 20;
  int replicas = 3;
  double noise = 10.0;
  double turn = 70.0;  // degrees SHmax turns across the grid along lon
  bool choice = false;
  int bootstrap = 0;
  int jobs = 2;
  unsigned seed = 1;
};

struct Grid {
  std::vector<double> truth_shmax;  // per input cell
  std::vector<grid::CellData> cells;
  std::vector<grid::CellEvents> events;
  std::vector<int> counts;
};

Grid make_grid(const Options& o, int replica) {
  std::mt19937_64 gen(o.seed * 1000003ULL + static_cast<unsigned>(replica));
  std::uniform_real_distribution<double> U(0.0, 1.0);
  std::normal_distribution<double> N(0.0, 1.0);
  Grid g;
  for (int i = 0; i < o.nx; ++i) {
    for (int j = 0; j < o.ny; ++j) {
      const double u = o.nx > 1 ? i / (o.nx - 1.0) : 0.0, v = o.ny > 1 ? j / (o.ny - 1.0) : 0.0;
      const double az = 20.0 + o.turn * u + 25.0 * std::sin(kPi * v), R = 0.35 + 0.3 * v;
      const double pick = U(gen);
      int n = 0;
      if (pick < 0.05) {
        n = 0;
      } else if (pick < 0.35) {
        n = 5 + static_cast<int>(U(gen) * 15.0);
      } else if (pick < 0.60) {
        n = 20 + static_cast<int>(U(gen) * 10.0);
      } else {
        n = 30 + static_cast<int>(U(gen) * 51.0);
      }
      if (n == 0) continue;
      const AxisVector s1 = axis_of(az, 0.0), s2 = {0.0, 0.0, 1.0}, s3 = axis_of(az + 90.0, 0.0);
      const Matrix3 T = reduced_tensor({s1, s2, s3}, R);
      grid::CellData cell{{i, j}, {}};
      grid::CellEvents ev{{i, j}, {}, {}};
      while (static_cast<int>(cell.planes.size()) < n) {
        AxisVector nv = unit({N(gen), N(gen), N(gen)});
        if (nv[2] > 0.0) nv = {-nv[0], -nv[1], -nv[2]};
        const PlaneStress ps = plane_stress(T, nv);
        if (!ps.slip || ps.shear < 0.05) continue;
        const AxisVector k = unit({N(gen), N(gen), N(gen)});
        const double angle = N(gen) * o.noise * kPi / 180.0;
        DoubleCouple d{turned(nv, k, angle), turned(*ps.slip, k, angle)};
        if (d.normal[2] > 0.0) d = {{-d.normal[0], -d.normal[1], -d.normal[2]}, {-d.slip[0], -d.slip[1], -d.slip[2]}};
        cell.planes.push_back(d);
        const bool aux = U(gen) < 0.5;
        const int number = static_cast<int>(ev.events.size()) + 1;
        ev.events.push_back(mech::make_event(number, number + 1, "", mech::plane_of(aux ? mech::auxiliary(d) : d), 0));
      }
      g.truth_shmax.push_back(az);
      g.counts.push_back(n);
      g.cells.push_back(std::move(cell));
      g.events.push_back(std::move(ev));
    }
  }
  return g;
}

double axial_error(double a, double b) {
  double d = std::fmod(std::fabs(a - b), 180.0);
  return d > 90.0 ? 180.0 - d : d;
}

struct Errors {
  double mean = 0.0, median = 0.0, p90 = 0.0;
  double within10_rich = 0.0;  // share of cells of >= 20 events within 10 degrees
  double within10_poor = 0.0;  // cells under 20 events
  int unsolved = 0;
};

Errors errors_of(const grid::DampedSolution& s, const Grid& g) {
  std::vector<double> all;
  int rich = 0, rich_ok = 0, poor = 0, poor_ok = 0;
  Errors e;
  for (std::size_t c = 0; c < g.cells.size(); ++c) {
    const grid::CellAnswer& a = s.cells[c];
    double err = 90.0;  // an unsolved cell counts as the worst
    if (a.status == grid::CellStatus::solved && a.state.shmax) {
      err = axial_error(*a.state.shmax, g.truth_shmax[c]);
    } else {
      ++e.unsolved;
    }
    all.push_back(err);
    if (g.counts[c] >= 20) {
      ++rich;
      rich_ok += err <= 10.0;
    } else {
      ++poor;
      poor_ok += err <= 10.0;
    }
  }
  double sum = 0.0;
  for (double v : all) sum += v;
  e.mean = sum / static_cast<double>(all.size());
  std::sort(all.begin(), all.end());
  e.median = all[all.size() / 2];
  e.p90 = all[std::min(all.size() - 1, all.size() * 9 / 10)];
  e.within10_rich = rich > 0 ? 100.0 * rich_ok / rich : 0.0;
  e.within10_poor = poor > 0 ? 100.0 * poor_ok / poor : 0.0;
  return e;
}

double seconds_since(std::chrono::steady_clock::time_point t0) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

grid::DampedSolution solve(const Grid& g, double e, const Options& o) {
  if (!o.choice) return grid::solve_damped(g.cells, e);
  return grid::choose_damped(g.events, e, {}).solution;
}

}  // namespace

int main(int argc, char** argv) {
  Options o;
  for (int a = 1; a < argc; ++a) {
    const std::string arg = argv[a];
    auto next = [&]() -> const char* {
      if (a + 1 >= argc) {
        std::fprintf(stderr, "grid_study: %s needs a value\n", arg.c_str());
        std::exit(2);
      }
      return argv[++a];
    };
    if (arg == "--nx") o.nx = std::atoi(next());
    else if (arg == "--ny") o.ny = std::atoi(next());
    else if (arg == "--replicas") o.replicas = std::atoi(next());
    else if (arg == "--noise") o.noise = std::atof(next());
    else if (arg == "--turn") o.turn = std::atof(next());
    else if (arg == "--choice") o.choice = true;
    else if (arg == "--bootstrap") o.bootstrap = std::atoi(next());
    else if (arg == "--jobs") o.jobs = std::atoi(next());
    else if (arg == "--seed") o.seed = static_cast<unsigned>(std::atoi(next()));
    else {
      std::fprintf(stderr, "grid_study: unknown option %s\n", arg.c_str());
      return 2;
    }
  }
  std::printf("grid %d x %d, SHmax turning %.0f deg along lon, noise %.0f deg, %s, %d replica(s)\n\n", o.nx, o.ny, o.turn, o.noise,
              o.choice ? "planes chosen (instability rule)" : "true fault planes", o.replicas);
  std::printf("| replica | cells | gap cells | corner e | best e | ratio | undamped mean / median / p90 | damped mean / median / p90 | "
              "best-e mean | >= 20 ev. within 10 deg: undamped | damped | < 20 ev.: undamped | damped | auto solve s |\n");
  std::printf("|---|---|---|---|---|---|---|---|---|---|---|---|---|---|\n");
  for (int r = 0; r < o.replicas; ++r) {
    const Grid g = make_grid(o, r);
    const grid::DampedSolution undamped = solve(g, 0.0, o);
    const Errors eu = errors_of(undamped, g);

    const auto t0 = std::chrono::steady_clock::now();
    grid::Tradeoff t;
    grid::DampedSolution damped;
    if (!o.choice) {
      t = grid::choose_damping(g.cells);
      damped = grid::solve_damped(g.cells, t.chosen);
    } else {
      // The corner on the planes chosen undamped, then the choice redone
      // under the damped answer.
      std::vector<grid::CellData> chosen;
      for (std::size_t c = 0; c < g.events.size(); ++c) chosen.push_back({g.cells[c].index, {}});
      const grid::DampedChoice start = grid::choose_damped(g.events, 0.0, {});
      for (std::size_t c = 0; c < g.events.size(); ++c) {
        for (std::size_t k = 0; k < g.events[c].events.size(); ++k) {
          chosen[c].planes.push_back(g.events[c].events[k].exact[start.planes[c][k] == 2 ? 1 : 0]);
        }
      }
      t = grid::choose_damping(chosen);
      damped = grid::choose_damped(g.events, t.chosen, {}).solution;
    }
    const double took = seconds_since(t0);
    const Errors ed = errors_of(damped, g);

    double best_e = 0.0, best_mean = 1e9;
    for (double e : grid::tradeoff_sweep()) {
      const Errors x = errors_of(solve(g, e, o), g);
      if (x.mean < best_mean) {
        best_mean = x.mean;
        best_e = e;
      }
    }
    std::printf("| %d | %zu | %d | %.3g | %.3g | %.2f | %.1f / %.1f / %.1f | %.1f / %.1f / %.1f | %.1f | %.0f %% | %.0f %% | %.0f %% | %.0f %% | %.2f |\n",
                r, g.cells.size(), damped.gap_cells, t.chosen, best_e, t.chosen / best_e, eu.mean, eu.median, eu.p90,
                ed.mean, ed.median, ed.p90, best_mean, eu.within10_rich, ed.within10_rich, eu.within10_poor,
                ed.within10_poor, took);
    std::fflush(stdout);

    if (o.bootstrap > 0 && r == 0) {
      const grid::DampedChoice main = grid::choose_damped(g.events, t.chosen, {});
      grid::BootstrapOptions bo;
      bo.e = t.chosen;
      bo.jobs = o.jobs;
      const auto tb = std::chrono::steady_clock::now();
      const auto reps = grid::damped_replicates(g.events, main, bo, 0, o.bootstrap);
      const auto stats = grid::damped_bootstrap_stats(main.solution, reps, 95.0);
      const double tookb = seconds_since(tb);
      int covered = 0, counted = 0;
      double cone = 0.0;
      for (std::size_t c = 0; c < g.cells.size(); ++c) {
        if (!stats[c].SHmax || !stats[c].cone_deg[0]) continue;
        ++counted;
        cone += *stats[c].cone_deg[0];
        const double mid = 0.5 * (stats[c].SHmax->low + stats[c].SHmax->high);
        const double half = 0.5 * (stats[c].SHmax->high - stats[c].SHmax->low);
        covered += axial_error(mid, g.truth_shmax[c]) <= half;
      }
      std::printf("\nbootstrap: %d replicates on %d thread(s) in %.1f s; mean 95 %% cone of sigma 1 %.1f deg; "
                  "true SHmax inside the 95 %% interval in %d of %d cells (%.0f %%)\n\n",
                  o.bootstrap, o.jobs, tookb, counted ? cone / counted : 0.0, covered, counted,
                  counted ? 100.0 * covered / counted : 0.0);
    }
  }
  rusage ru{};
  getrusage(RUSAGE_SELF, &ru);
  std::printf("\npeak resident memory of the study process: %.1f MB\n", static_cast<double>(ru.ru_maxrss) / 1024.0);
  return 0;
}
