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

#include "ensemble/parallel.hpp"
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

int usage() {
  std::fprintf(stderr,
               "usage: zarkel_mechanism_study [--replicas M] [--ntir NTIR] [--pourc P] [--starts K] [--jobs J]\n"
               "                              [--rule hybrid|misfit|instability|given] [--seed S] [--example FILE]\n"
               "                              [--open] [--catalogue I FILE]\n"
               "--open lists the catalogues whose choice did not converge; --catalogue writes catalogue I\n"
               "(as numbered there) as a mechanism table, both planes given.\n");
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
