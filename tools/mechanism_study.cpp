// The plane choice on synthetic catalogues of focal mechanisms of known
// stress (tools/mechanism-study.sh): for each population of faults (random
// orientation, or near the optimal orientation for friction 0.6) and noise
// level, the share of faults identified and the errors of the tensor.
//
// A catalogue: a regime (normal: sigma 1 vertical; strike-slip: sigma 2
// vertical; reverse: sigma 3 vertical; oblique: axes at random), R, N
// events. A fault slips along its shear stress; the whole double couple is
// turned about a random axis by a Gaussian angle (the noise); one nodal
// plane, at random, is given in whole degrees. Catalogues run in parallel,
// each keyed by its index, so the table does not depend on --jobs.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "data/field_faults.hpp"
#include "ensemble/bootstrap.hpp"
#include "ensemble/parallel.hpp"
#include "mechanisms/calibration.hpp"
#include "mechanisms/choice.hpp"

namespace {

using namespace zk;
using mech::DoubleCouple;
using mech::Principal;

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

struct Cell {
  int population = 0;  // 0 random, 1 near-optimal
  double noise = 5.0;
  int regime = 0;  // 0 normal, 1 strike-slip, 2 reverse, 3 oblique
  double R = 0.5;
  int N = 30;
  int replica = 0;
};

struct Catalogue {
  Principal truth;
  std::vector<mech::Event> events;
  std::vector<int> fault;  // the plane (1 or 2) that slipped
};

Catalogue make_catalogue(const Cell& c, unsigned seed) {
  std::mt19937_64 gen(seed);
  std::normal_distribution<double> g;
  std::uniform_real_distribution<double> u(0.0, 1.0);
  const auto random_unit = [&] { return unit({g(gen), g(gen), g(gen)}); };
  AxisVector vertical{0, 0, 1};
  const double az = 2 * kPi * u(gen);
  const AxisVector h1{std::sin(az), std::cos(az), 0}, h2{std::cos(az), -std::sin(az), 0};
  Catalogue cat;
  cat.truth.R = c.R;
  switch (c.regime) {
    case 0: cat.truth.axes = {vertical, h1, h2}; break;
    case 1: cat.truth.axes = {h1, vertical, h2}; break;
    case 2: cat.truth.axes = {h1, h2, vertical}; break;
    default: {
      const AxisVector a = random_unit();
      const AxisVector b = unit(cross(a, random_unit()));
      cat.truth.axes = {a, cross(b, a), b};
    }
  }
  const Matrix3 T = mech::tensor_of(cat.truth);
  while (static_cast<int>(cat.events.size()) < c.N) {
    AxisVector n = random_unit();
    if (n[2] > 0) n = {-n[0], -n[1], -n[2]};
    const PlaneStress ps = plane_stress(T, n);
    if (ps.shear < 0.05) continue;
    if (c.population == 1 && mech::instability(cat.truth, n, 0.6) < 0.8) continue;
    DoubleCouple dc{n, *ps.slip};
    const AxisVector k = random_unit();
    const double angle = g(gen) * c.noise * kPi / 180.0;
    dc = {turned(dc.normal, k, angle), turned(dc.slip, k, angle)};
    if (dc.normal[2] > 0) dc = {{-dc.normal[0], -dc.normal[1], -dc.normal[2]}, {-dc.slip[0], -dc.slip[1], -dc.slip[2]}};
    const int fault = u(gen) < 0.5 ? 1 : 2;
    const mech::NodalPlane p = mech::plane_of(fault == 1 ? dc : mech::auxiliary(dc));
    mech::NodalPlane whole{std::fmod(std::round(p.strike), 360.0), std::round(p.dip), std::round(p.rake)};
    if (whole.rake <= -180) whole.rake = 180;
    const int number = static_cast<int>(cat.events.size()) + 1;
    cat.events.push_back(mech::make_event(number, number + 1, "", whole, 0));
    cat.fault.push_back(fault);
  }
  return cat;
}

struct Outcome {
  int identified = 0, events = 0;
  double s1 = 0, s3 = 0, dR = 0;
  double R = 0.5;
  int runs = 0;
  bool ended_cycle = false;
  const char* ended = "";
};

double median(std::vector<double> v) {
  if (v.empty()) return std::nan("");
  std::sort(v.begin(), v.end());
  const std::size_t n = v.size();
  return n % 2 ? v[n / 2] : 0.5 * (v[n / 2 - 1] + v[n / 2]);
}
double percentile(std::vector<double> v, double q) {
  if (v.empty()) return std::nan("");
  std::sort(v.begin(), v.end());
  const double at = q * static_cast<double>(v.size() - 1);
  const auto lo = static_cast<std::size_t>(std::floor(at));
  const std::size_t hi = std::min(lo + 1, v.size() - 1);
  return v[lo] + (v[hi] - v[lo]) * (at - static_cast<double>(lo));
}

// ---- Confidence regions (--coverage) ----
//
// Families: random faults, near-optimal faults, and swarm-like catalogues
// whose fault planes are those of a real set (the 33 normal faults of Agia
// Varvara, tests/batch/published/avb.DATA, each drawn plane turned by up to
// a few degrees) under the linear answer of that set, with 11 degrees of
// noise: little nodal-plane diversity. Each with and without 2 % of gross
// misfits (the slip turned by 100 degrees in its plane). Planes as given
// (not rounded). For each catalogue: the answer as zarkel-batch gives it
// (events of gross misfit left out when at most 10 %), its bootstrap (the
// choice redone in every replicate, on resampled and on simulated
// catalogues) and the linear bootstrap of the same replicates; whether the
// 95 % regions cover the truth, and the R intervals of each set of
// replicates alone (resampled: percentile and basic joined; simulated: basic,
// percentile) and the bias-corrected percentile interval, for comparison.

struct Family {
  const char* name;
  int population;  // 0 random, 1 near-optimal, 2 swarm-like
  bool gross;
};

struct Swarm {
  std::vector<AxisVector> normals;
  Principal truth;
};

Swarm read_swarm(const std::string& path) {
  const FaultSet set = field::read_data_file(path);
  Swarm s;
  std::vector<DoubleCouple> data;
  for (const FaultDatum& d : set.data) {
    const AxisVector n{static_cast<double>(d.FN(1)), static_cast<double>(d.FN(2)), static_cast<double>(d.FN(3))};
    const AxisVector sl{static_cast<double>(d.STR(1)), static_cast<double>(d.STR(2)), static_cast<double>(d.STR(3))};
    s.normals.push_back(n);
    data.push_back({n, sl});
  }
  s.truth = mech::linear_inversion(data).stress;
  return s;
}

// A double couple of the fault n under T, turned by the noise; one plane given.
bool add_event(Catalogue& cat, const Matrix3& T, AxisVector n, double noise, bool gross, std::mt19937_64& gen) {
  std::normal_distribution<double> g;
  std::uniform_real_distribution<double> u(0.0, 1.0);
  if (n[2] > 0) n = {-n[0], -n[1], -n[2]};
  const PlaneStress ps = plane_stress(T, n);
  if (ps.shear < 0.05) return false;
  AxisVector slip = *ps.slip;
  if (gross) slip = turned(slip, n, 100.0 * kPi / 180.0);
  DoubleCouple dc{n, slip};
  const AxisVector k = unit({g(gen), g(gen), g(gen)});
  const double angle = g(gen) * noise * kPi / 180.0;
  dc = {turned(dc.normal, k, angle), turned(dc.slip, k, angle)};
  if (dc.normal[2] > 0) dc = {{-dc.normal[0], -dc.normal[1], -dc.normal[2]}, {-dc.slip[0], -dc.slip[1], -dc.slip[2]}};
  const int fault = u(gen) < 0.5 ? 1 : 2;
  const mech::NodalPlane p = mech::plane_of(fault == 1 ? dc : mech::auxiliary(dc));
  const int number = static_cast<int>(cat.events.size()) + 1;
  cat.events.push_back(mech::make_event(number, number + 1, "", p, 0));
  cat.fault.push_back(fault);
  return true;
}

Catalogue coverage_catalogue(const Family& f, const Swarm& swarm, int N, unsigned seed) {
  std::mt19937_64 gen(seed);
  std::normal_distribution<double> g;
  std::uniform_real_distribution<double> u(0.0, 1.0);
  Catalogue cat;
  double noise = 10.0;
  if (f.population == 2) {
    cat.truth = swarm.truth;
    noise = 11.0;
  } else {
    const Catalogue shape = make_catalogue({f.population, 10.0, static_cast<int>(gen() % 4), 0.2 + 0.6 * u(gen), 0, 0},
                                           static_cast<unsigned>(gen()));
    cat.truth = shape.truth;
  }
  const Matrix3 T = mech::tensor_of(cat.truth);
  const int gross = f.gross ? std::max(1, static_cast<int>(std::lround(0.02 * N))) : 0;
  while (static_cast<int>(cat.events.size()) < N) {
    const bool bad = static_cast<int>(cat.events.size()) >= N - gross;
    AxisVector n;
    if (f.population == 2) {
      const AxisVector& base = swarm.normals[static_cast<std::size_t>(gen() % swarm.normals.size())];
      n = turned(base, unit({g(gen), g(gen), g(gen)}), 3.0 * g(gen) * kPi / 180.0);
    } else {
      n = unit({g(gen), g(gen), g(gen)});
      if (f.population == 1 && mech::instability(cat.truth, n[2] > 0 ? AxisVector{-n[0], -n[1], -n[2]} : n, 0.6) < 0.8)
        continue;
    }
    add_event(cat, T, n, noise, bad, gen);
  }
  return cat;
}

double normal_cdf(double z) { return 0.5 * std::erfc(-z / std::sqrt(2.0)); }
// By bisection: 60 halvings of [-10, 10] leave far less than a rank.
double normal_quantile(double p) {
  double lo = -10.0, hi = 10.0;
  for (int k = 0; k < 60; ++k) {
    const double mid = 0.5 * (lo + hi);
    (normal_cdf(mid) < p ? lo : hi) = mid;
  }
  return 0.5 * (lo + hi);
}

// The bias-corrected percentile interval of R (Efron 1987, without
// acceleration), for comparison with the percentile interval.
std::optional<ensemble::Interval> bias_corrected_R(const std::vector<ensemble::Replicate>& reps, double main_R,
                                                   double confidence) {
  std::vector<double> R;
  double below = 0.0;
  for (const ensemble::Replicate& rep : reps) {
    if (!rep.ok) continue;
    const double v = static_cast<double>(rep.tensor.P(4));
    R.push_back(v);
    below += v < main_R ? 1.0 : v == main_R ? 0.5 : 0.0;
  }
  if (R.empty()) return std::nullopt;
  const double n = static_cast<double>(R.size());
  const double z0 = normal_quantile(std::clamp(below / n, 0.5 / n, 1.0 - 0.5 / n));
  const double z = normal_quantile(0.5 + confidence / 200.0);
  std::vector<double> low = R;
  return ensemble::Interval{ensemble::nearest_rank(low, 100.0 * normal_cdf(2.0 * z0 - z)),
                            ensemble::nearest_rank(R, 100.0 * normal_cdf(2.0 * z0 + z))};
}

struct Regions {
  bool axes[3] = {}, R_pct = false, R_bc = false, lin[3] = {};
  bool R_res = false, R_sim = false, R_simpct = false;
  double cone[3] = {}, R_width = 0, R_bc_width = 0, lin_cone[3] = {};
  double R_res_width = 0, R_sim_width = 0, noise = 0;
  // The cones of the resampled replicates alone (widened for their lean,
  // the cones given before the simulated ones were joined) and the
  // simulated replicates' cones alone; each set's 95 % spread, not widened.
  double cone_res[3] = {}, cone_sim[3] = {}, res_spread[3] = {}, sim_spread[3] = {};
  double err_all[3] = {}, err[3] = {}, lin_err[3] = {};
  double dR = 0;
  bool left_out = false;
};

int coverage(int per_family, int N, int B, int ntir, int starts, int jobs, unsigned seed, const std::string& swarm_path,
             const std::string& only, const std::string& misses, const std::string& rows, int write_index,
             const std::string& write_file) {
  const Swarm swarm = read_swarm(swarm_path);
  const Family families[] = {{"random", 0, false},     {"random + 2 % gross", 0, true},
                             {"near-optimal", 1, false}, {"near-optimal + 2 % gross", 1, true},
                             {"swarm-like", 2, false},   {"swarm-like + 2 % gross", 2, true}};
  const std::size_t F = std::size(families);
  if (write_index >= 0) {
    // Catalogue I of the family named by --only, as the study makes it: its
    // planes as given and the truth, to full precision; nothing inverted.
    for (const Family& f : families) {
      if (only != f.name) continue;
      const Catalogue cat = coverage_catalogue(f, swarm, N, seed + static_cast<unsigned>(write_index) * 7919u +
                                                                static_cast<unsigned>(f.population) * 104729u);
      std::ofstream file(write_file);
      char line[200];
      for (std::size_t L = 0; L < 3; ++L) {
        std::snprintf(line, sizeof line, "# true sigma %zu %.17g,%.17g,%.17g\n", L + 1, cat.truth.axes[L][0],
                      cat.truth.axes[L][1], cat.truth.axes[L][2]);
        file << line;
      }
      std::snprintf(line, sizeof line, "# true R %.17g\nstrike,dip,rake\n", cat.truth.R);
      file << line;
      for (const mech::Event& e : cat.events) {
        std::snprintf(line, sizeof line, "%.17g,%.17g,%.17g\n", e.planes[0].strike, e.planes[0].dip, e.planes[0].rake);
        file << line;
      }
      return file.good() ? 0 : 1;
    }
    std::fprintf(stderr, "--write-catalogue needs --only FAMILY\n");
    return 2;
  }
  std::vector<Regions> out(F * static_cast<std::size_t>(per_family));
  ensemble::run_parallel(
      out.size(), jobs,
      [&](std::size_t i, Workspace&, const ensemble::Tick&) {
        const Family& f = families[i / static_cast<std::size_t>(per_family)];
        if (!only.empty() && only != f.name) return;
        const Catalogue cat = coverage_catalogue(f, swarm, N, seed + static_cast<unsigned>(i % per_family) * 7919u +
                                                                  static_cast<unsigned>(f.population) * 104729u);
        RunInput base;
        base.faults.title = "synthetic";
        base.params.INDX = 1;
        base.params.POURC = 100;
        base.params.NTIR = ntir;
        base.params.NSEED = 7;
        mech::Options o;
        o.starts = starts;
        mech::Outcome m = mech::choose_planes(cat.events, base, o, [](long long) {});
        Regions& r = out[i];
        const Principal all = mech::principal_of(m.final.best_tensor);
        std::vector<mech::Event> used = cat.events;
        if (mech::leaves_out_gross_misfits(m)) {
          try {
            mech::Outcome left = mech::without_gross_misfits(cat.events, base, o, m);
            used.clear();
            for (std::size_t k = 0; k < cat.events.size(); ++k) {
              if (!m.events[k].gross_misfit) used.push_back(cat.events[k]);
            }
            m = std::move(left);
            r.left_out = true;
          } catch (const std::exception&) {
          }
        }
        const Principal found = mech::principal_of(m.final.best_tensor);
        std::vector<std::optional<Principal>> linear;
        mech::RCalibration cal;
        const ensemble::BootstrapReport b =
            mech::bootstrap_choice(used, base, o, m.start, m.final.best_tensor, B, 1, 95.0, nullptr, &linear,
                                   std::getenv("STUDY_FIXED_START") == nullptr, &cal);
        const auto covers = [&](const std::optional<ensemble::Interval>& v) {
          return v && v->low <= cat.truth.R && cat.truth.R <= v->high;
        };
        r.noise = cal.noise.noise_deg;
        r.R_res = covers(cal.resampled);
        if (cal.resampled) r.R_res_width = cal.resampled->high - cal.resampled->low;
        {
          std::vector<double> v;
          for (const auto& x : cal.simulated_R) if (x) v.push_back(*x);
          if (const auto basic = mech::basic_interval(found.R, v, 95.0, 0.0, 1.0)) {
            r.R_sim = covers(basic);
            r.R_sim_width = basic->high - basic->low;
            std::vector<double> w = v;
            const double lo = ensemble::nearest_rank(v, 2.5), hi = ensemble::nearest_rank(w, 97.5);
            r.R_simpct = lo <= cat.truth.R && cat.truth.R <= hi;
          }
        }
        const Principal lin = mech::linear_of_set(m.chosen_data).stress;
        const mech::AxisCones lc = mech::axis_cones(lin, linear, 95.0);
        for (std::size_t L = 0; L < 3; ++L) {
          r.err_all[L] = mech::axial_angle_deg(all.axes[L], cat.truth.axes[L]);
          r.err[L] = mech::axial_angle_deg(found.axes[L], cat.truth.axes[L]);
          r.lin_err[L] = mech::axial_angle_deg(lin.axes[L], cat.truth.axes[L]);
          r.cone[L] = b.stats.cone_deg[L].value_or(180.0);
          r.axes[L] = r.err[L] <= r.cone[L];
          r.lin_cone[L] = lc.cone_deg[L].value_or(180.0);
          r.lin[L] = r.lin_err[L] <= r.lin_cone[L];
        }
        {
          ensemble::BootstrapStats alone = ensemble::bootstrap_stats(m.final.best_tensor, b.samples, 95.0);
          mech::allow_for_bias(alone, m.final.best_tensor, b.samples);
          std::vector<std::optional<Principal>> res;
          for (const ensemble::Replicate& rep : b.samples) {
            if (rep.ok) res.push_back(mech::principal_of(rep.tensor));
          }
          const mech::AxisCones rc = mech::axis_cones(found, res, 95.0);
          for (std::size_t L = 0; L < 3; ++L) {
            r.cone_res[L] = alone.cone_deg[L].value_or(180.0);
            r.res_spread[L] = rc.cone_deg[L].value_or(180.0);
            r.sim_spread[L] = cal.simulated_cones.cone_deg[L].value_or(180.0);
            r.cone_sim[L] = r.sim_spread[L];
          }
        }
        if (!misses.empty() && !r.left_out && b.stats.R && cal.resampled && !r.R_res &&
            b.stats.R->low <= cat.truth.R && cat.truth.R <= b.stats.R->high) {
          // A catalogue whose R the resampled replicates alone miss and the
          // R given covers: its planes as given, to full precision.
          std::ofstream file(misses + "/" + std::to_string(i) + ".csv");
          char line[160];
          std::snprintf(line, sizeof line, "# true R %.17g; resampled %.6f-%.6f; given %.6f-%.6f\n", cat.truth.R,
                        cal.resampled->low, cal.resampled->high, b.stats.R->low, b.stats.R->high);
          file << line << "strike,dip,rake\n";
          for (const mech::Event& e : cat.events) {
            std::snprintf(line, sizeof line, "%.17g,%.17g,%.17g\n", e.planes[0].strike, e.planes[0].dip, e.planes[0].rake);
            file << line;
          }
        }
        r.dR = found.R - cat.truth.R;
        if (b.stats.R) {
          r.R_pct = b.stats.R->low <= cat.truth.R && cat.truth.R <= b.stats.R->high;
          r.R_width = b.stats.R->high - b.stats.R->low;
        }
        if (const auto bc = bias_corrected_R(b.samples, found.R, 95.0)) {
          r.R_bc = bc->low <= cat.truth.R && cat.truth.R <= bc->high;
          r.R_bc_width = bc->high - bc->low;
        }
      },
      [](long long) {});

  if (!rows.empty()) {
    // One row per catalogue, for rules of cones worked out afterwards.
    std::ofstream file(rows);
    file << "family,catalogue,axis,error,cone,resampled_cone,resampled_spread,simulated_spread\n";
    for (std::size_t i = 0; i < out.size(); ++i) {
      const Family& f = families[i / static_cast<std::size_t>(per_family)];
      if (!only.empty() && only != f.name) continue;
      for (int L = 0; L < 3; ++L) {
        const Regions& r = out[i];
        char line[200];
        std::snprintf(line, sizeof line, "%s,%zu,%d,%.4f,%.4f,%.4f,%.4f,%.4f\n", f.name, i % static_cast<std::size_t>(per_family),
                      L + 1, r.err[L], r.cone[L], r.cone_res[L], r.res_spread[L], r.sim_spread[L]);
        file << line;
      }
    }
  }
  std::printf("coverage of the 95 %% regions: %d catalogues per family, %d events, %d replicates, NTIR %d, %d starts\n\n",
              per_family, N, B, ntir, starts);
  std::printf("| family | answer | sigma 1 | sigma 2 | sigma 3 | R | R, resampled | R, simulated basic | R, simulated "
              "percentile | R, bias-corrected | median cones (deg) | median R width | median R widths resampled/simulated "
              "basic | median error (deg) | median error, every event kept | median R - true R | median noise read (deg) "
              "| left out |\n");
  std::printf("|---|---|---|---|---|---|---|---|---|---|---|---|---|---|---|---|---|---|\n");
  for (std::size_t fi = 0; fi < F; ++fi) {
    if (!only.empty() && only != families[fi].name) continue;
    int ax[3] = {}, lin[3] = {}, rp = 0, rb = 0, left = 0, rres = 0, rsim = 0, rsp = 0;
    std::vector<double> cone[3], lcone[3], err[3], err_all[3], lerr[3], rw, dR, wres, wsim, noise;
    for (int c = 0; c < per_family; ++c) {
      const Regions& r = out[fi * static_cast<std::size_t>(per_family) + static_cast<std::size_t>(c)];
      for (int L = 0; L < 3; ++L) {
        ax[L] += r.axes[L];
        lin[L] += r.lin[L];
        cone[L].push_back(r.cone[L]);
        lcone[L].push_back(r.lin_cone[L]);
        err[L].push_back(r.err[L]);
        err_all[L].push_back(r.err_all[L]);
        lerr[L].push_back(r.lin_err[L]);
      }
      rp += r.R_pct;
      rb += r.R_bc;
      rres += r.R_res;
      rsim += r.R_sim;
      rsp += r.R_simpct;
      wres.push_back(r.R_res_width);
      wsim.push_back(r.R_sim_width);
      noise.push_back(r.noise);
      left += r.left_out;
      rw.push_back(r.R_width);
      dR.push_back(r.dR);
    }
    const double n = per_family;
    std::printf("| %s | engine | %.0f %% | %.0f %% | %.0f %% | %.0f %% | %.0f %% | %.0f %% | %.0f %% | %.0f %% | "
                "%.1f/%.1f/%.1f | %.2f | %.2f/%.2f | %.1f/%.1f/%.1f | %.1f/%.1f/%.1f | %+.3f | %.1f | %d |\n",
                families[fi].name, 100 * ax[0] / n, 100 * ax[1] / n, 100 * ax[2] / n, 100 * rp / n, 100 * rres / n,
                100 * rsim / n, 100 * rsp / n, 100 * rb / n, median(cone[0]), median(cone[1]), median(cone[2]),
                median(rw), median(wres), median(wsim), median(err[0]), median(err[1]), median(err[2]),
                median(err_all[0]), median(err_all[1]), median(err_all[2]), median(dR), median(noise), left);
    std::printf("| %s | linear bootstrap | %.0f %% | %.0f %% | %.0f %% | - | - | - | - | - | %.1f/%.1f/%.1f | - | - | "
                "%.1f/%.1f/%.1f | - | - | - | - |\n",
                families[fi].name, 100 * lin[0] / n, 100 * lin[1] / n, 100 * lin[2] / n, median(lcone[0]),
                median(lcone[1]), median(lcone[2]), median(lerr[0]), median(lerr[1]), median(lerr[2]));
  }
  // The cones of either set of replicates alone (the cones given are the
  // resampled ones moved halfway to the simulated ones where those are wider).
  std::printf("\ncones of either set of replicates alone (resampled: widened by their lean; simulated: their 95 %% "
              "spread around the answer):\n\n| family | resampled: sigma 1 | sigma 2 | sigma 3 | median cones (deg) "
              "| simulated: sigma 1 | sigma 2 | sigma 3 | median cones (deg) |\n|---|---|---|---|---|---|---|---|---|\n");
  for (std::size_t fi = 0; fi < F; ++fi) {
    if (!only.empty() && only != families[fi].name) continue;
    int ar[3] = {}, as[3] = {};
    std::vector<double> cr[3], cs[3];
    for (int c = 0; c < per_family; ++c) {
      const Regions& r = out[fi * static_cast<std::size_t>(per_family) + static_cast<std::size_t>(c)];
      for (int L = 0; L < 3; ++L) {
        ar[L] += r.err[L] <= r.cone_res[L];
        cr[L].push_back(r.cone_res[L]);
        as[L] += r.err[L] <= r.cone_sim[L];
        cs[L].push_back(r.cone_sim[L]);
      }
    }
    const double n = per_family;
    std::printf("| %s | %.0f %% | %.0f %% | %.0f %% | %.1f/%.1f/%.1f | %.0f %% | %.0f %% | %.0f %% | %.1f/%.1f/%.1f |\n",
                families[fi].name, 100 * ar[0] / n, 100 * ar[1] / n, 100 * ar[2] / n, median(cr[0]), median(cr[1]),
                median(cr[2]), 100 * as[0] / n, 100 * as[1] / n, 100 * as[2] / n, median(cs[0]), median(cs[1]),
                median(cs[2]));
  }
  return 0;
}

int usage() {
  std::fprintf(stderr,
               "usage: zarkel_mechanism_study [--replicas M] [--ntir NTIR] [--pourc P] [--starts K] [--jobs J]\n"
               "                              [--rule hybrid|misfit|instability|given] [--seed S] [--example FILE]\n"
               "                              [--open] [--catalogue I FILE]\n"
               "--open lists the catalogues whose choice did not converge; --catalogue writes catalogue I\n"
               "(as numbered there) as a mechanism table, both planes given.\n"
               "       zarkel_mechanism_study --coverage CATALOGUES N B [--ntir NTIR] [--starts K] [--jobs J] [--seed S]\n"
               "                              [--swarm DATA] [--only FAMILY] [--write-misses DIR] [--write-rows FILE]\n"
               "                              [--write-catalogue I FILE]:\n"
               "                              coverage of the 95 %% regions\n"
               "                              per family (one family only with --only, as named in the table);\n"
               "                              --write-misses writes DIR/I.csv for each catalogue I whose R the resampled\n"
               "                              replicates alone miss and the R given covers; --write-rows writes each\n"
               "                              catalogue's axis errors and cones (given, resampled alone, either set of\n"
               "                              replicates' spread) as CSV; --write-catalogue I FILE writes catalogue I of\n"
               "                              the family named by --only (planes and truth) and inverts nothing.\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  int replicas = 1, ntir = 500, pourc = 100, starts = 4, jobs = 2;
  unsigned seed = 2014;
  std::string rule_name = "hybrid", example, catalogue_file;
  int catalogue = -1;
  bool list_open = false;
  for (int k = 1; k < argc; ++k) {
    const std::string a = argv[k];
    if (a == "--open") {
      list_open = true;
      continue;
    }
    if (a == "--coverage" && k + 3 < argc) {
      // --coverage CATALOGUES N B: the confidence regions study.
      const int per = std::atoi(argv[k + 1]), N = std::atoi(argv[k + 2]), B = std::atoi(argv[k + 3]);
      k += 3;
      std::string swarm = "tests/batch/published/avb.DATA", only, misses, rows, write_file;
      int write_index = -1;
      for (int j = k + 1; j + 1 < argc; ++j) {
        const std::string opt = argv[j], v = argv[j + 1];
        if (opt == "--ntir") ntir = std::atoi(v.c_str());
        else if (opt == "--starts") starts = std::atoi(v.c_str());
        else if (opt == "--jobs") jobs = std::atoi(v.c_str());
        else if (opt == "--seed") seed = static_cast<unsigned>(std::strtoul(v.c_str(), nullptr, 10));
        else if (opt == "--swarm") swarm = v;
        else if (opt == "--only") only = v;
        else if (opt == "--write-misses") misses = v;
        else if (opt == "--write-rows") rows = v;
        else if (opt == "--write-catalogue" && j + 2 < argc) {
          write_index = std::atoi(v.c_str());
          write_file = argv[j + 2];
          ++j;
        }
        else return usage();
        ++j;
      }
      return coverage(per, N, B, ntir, starts, jobs, seed, swarm, only, misses, rows, write_index, write_file);
    }
    if (a == "--catalogue" && k + 2 < argc) {
      catalogue = std::atoi(argv[++k]);
      catalogue_file = argv[++k];
      continue;
    }
    if (k + 1 >= argc) return usage();
    const std::string v = argv[++k];
    if (a == "--replicas") replicas = std::atoi(v.c_str());
    else if (a == "--ntir") ntir = std::atoi(v.c_str());
    else if (a == "--pourc") pourc = std::atoi(v.c_str());
    else if (a == "--starts") starts = std::atoi(v.c_str());
    else if (a == "--jobs") jobs = std::atoi(v.c_str());
    else if (a == "--seed") seed = static_cast<unsigned>(std::strtoul(v.c_str(), nullptr, 10));
    else if (a == "--rule") rule_name = v;
    else if (a == "--example") example = v;
    else return usage();
  }
  const mech::Rule rule = rule_name == "misfit" ? mech::Rule::Misfit
                          : rule_name == "instability" ? mech::Rule::Instability
                          : rule_name == "given" ? mech::Rule::Given : mech::Rule::Hybrid;

  const auto write_table = [](const Catalogue& cat, const std::string& file) {
    std::ofstream f(file);
    f << "id,strike,dip,rake,strike2,dip2,rake2\n";
    for (const mech::Event& e : cat.events) {
      char buf[128];
      std::snprintf(buf, sizeof buf, "%d,%.0f,%.0f,%.0f,%.0f,%.0f,%.0f\n", e.number, e.planes[0].strike,
                    e.planes[0].dip, e.planes[0].rake, e.planes[1].strike, e.planes[1].dip, e.planes[1].rake);
      f << buf;
    }
    return static_cast<bool>(f);
  };
  if (!example.empty()) {
    // A small catalogue for the worked example of docs/mechanisms.md: strike-slip regime,
    // R 0.5, near-optimal faults, 5 degrees of noise, both planes written.
    const Catalogue cat = make_catalogue({1, 5.0, 1, 0.5, 40, 0}, seed);
    const bool written = write_table(cat, example);
    const Attitude s1 = attitude_of(cat.truth.axes[0]), s3 = attitude_of(cat.truth.axes[2]);
    std::printf("sigma1 %.1f/%.1f sigma3 %.1f/%.1f R %.2f\n", s1.trend, std::fabs(s1.plunge), s3.trend,
                std::fabs(s3.plunge), cat.truth.R);
    return written ? 0 : 1;
  }

  std::vector<Cell> cells;
  for (int pop = 0; pop < 2; ++pop)
    for (double noise : {5.0, 15.0})
      for (int regime = 0; regime < 4; ++regime)
        for (double R : {0.2, 0.5, 0.8})
          for (int N : {30, 60, 150})
            for (int r = 0; r < replicas; ++r) cells.push_back({pop, noise, regime, R, N, r});
  const auto catalogue_seed = [&](std::size_t i) { return seed + static_cast<unsigned>(i) * 7919u; };
  if (catalogue >= 0) {
    if (static_cast<std::size_t>(catalogue) >= cells.size()) return usage();
    return write_table(make_catalogue(cells[static_cast<std::size_t>(catalogue)], catalogue_seed(static_cast<std::size_t>(catalogue))), catalogue_file) ? 0 : 1;
  }
  std::vector<Outcome> out(cells.size());
  ensemble::run_parallel(
      cells.size(), jobs,
      [&](std::size_t i, Workspace&, const ensemble::Tick&) {
        const Cell& c = cells[i];
        const Catalogue cat = make_catalogue(c, catalogue_seed(i));
        RunInput base;
        base.faults.title = "synthetic";
        base.params.INDX = 1;
        base.params.POURC = pourc;
        base.params.NTIR = ntir;
        base.params.NSEED = 7;
        mech::Options o;
        o.rule = rule;
        o.starts = starts;
        const mech::Outcome m = mech::choose_planes(cat.events, base, o, [](long long) {});
        Outcome& r = out[i];
        r.events = c.N;
        for (std::size_t k = 0; k < cat.events.size(); ++k) r.identified += m.events[k].plane == cat.fault[k];
        const Principal found = mech::principal_of(m.final.best_tensor);
        r.s1 = mech::axial_angle_deg(found.axes[0], cat.truth.axes[0]);
        r.s3 = mech::axial_angle_deg(found.axes[2], cat.truth.axes[2]);
        r.dR = std::fabs(found.R - c.R);
        r.R = c.R;
        r.runs = m.engine_runs;
        r.ended_cycle = m.ended != mech::Ended::Converged;
        r.ended = mech::ended_name(m.ended);
      },
      [](long long) {});

  std::printf("rule %s, NTIR %d, POURC %d, %d starts, %zu catalogues\n\n", rule_name.c_str(), ntir, pourc, starts,
              cells.size());
  std::printf("| population | noise | catalogues | faults identified | sigma1 median (R<=0.5) | sigma3 median (R>=0.5) "
              "| R error median | R error p90 | inside 10/10/0.1 | engine runs (mean) | not converged |\n");
  std::printf("|---|---|---|---|---|---|---|---|---|---|---|\n");
  int all = 0, inside_all = 0;
  for (int pop = 0; pop < 2; ++pop) {
    for (double noise : {5.0, 15.0}) {
      int ident = 0, events = 0, count = 0, inside = 0, runs = 0, open = 0;
      std::vector<double> s1, s3, dR;
      for (std::size_t i = 0; i < cells.size(); ++i) {
        if (cells[i].population != pop || cells[i].noise != noise) continue;
        const Outcome& r = out[i];
        ++count;
        ident += r.identified;
        events += r.events;
        if (r.R <= 0.5) s1.push_back(r.s1);
        if (r.R >= 0.5) s3.push_back(r.s3);
        dR.push_back(r.dR);
        inside += r.s1 <= 10 && r.s3 <= 10 && r.dR <= 0.1;
        runs += r.runs;
        open += r.ended_cycle;
      }
      all += count;
      inside_all += inside;
      std::printf("| %s | %.0f | %d | %.2f | %.1f | %.1f | %.3f | %.3f | %.2f | %.1f | %d |\n",
                  pop == 0 ? "random" : "near-optimal", noise, count, static_cast<double>(ident) / events, median(s1),
                  median(s3), median(dR), percentile(dR, 0.9), static_cast<double>(inside) / count,
                  static_cast<double>(runs) / count, open);
    }
  }
  std::printf("\ninside the box over all catalogues: %.2f\n", static_cast<double>(inside_all) / all);
  for (std::size_t i = 0; list_open && i < cells.size(); ++i) {
    if (out[i].ended_cycle) std::printf("catalogue %zu (N %d): %s after %d runs\n", i, cells[i].N, out[i].ended, out[i].runs);
  }
  return 0;
}
