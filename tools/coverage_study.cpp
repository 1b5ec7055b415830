// Coverage of the bootstrap confidence regions on synthetic data of known
// tensor: for each set, are the true sigma 1 and sigma 3 inside their cones
// and the true R inside its interval? Prints one row per set and a table per
// regime (Markdown), e.g.
//   zarkel_coverage --sets 48 --n 50 --noise 10 --bootstrap 200 --starts 2
// Not a unit test: it takes minutes.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include <limits>

#include "bench/synthetic.hpp"
#include "ensemble/ensemble.hpp"

namespace {

using zk::bench::SyntheticSet;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

struct Settings {
  int sets = 48, N = 50, bootstrap = 200, starts = 2, NTIR = 1000, POURC = 100, jobs = 0;
  double noise = 10.0, confidence = 95.0;
};

// The regimes studied: plunges of sigma 1 and sigma 3 (the trends are drawn).
struct Regime {
  const char* name;
  float s1_plunge, s3_plunge;
};
constexpr Regime kRegimes[] = {{"normal", 75.0f, 5.0f}, {"strike-slip", 8.0f, 4.0f}, {"thrust", 6.0f, 78.0f}};
constexpr float kRatios[] = {0.2f, 0.4f, 0.6f, 0.8f};

double angle_deg(const float a[3], const zk::TensorSnapshot& t, int L) {
  double dot = 0.0;
  for (int c = 1; c <= 3; ++c) dot += static_cast<double>(a[c - 1]) * static_cast<double>(t.ROT(L, c));
  return std::acos(std::min(1.0, std::fabs(dot))) * 180.0 / 3.14159265358979323846;
}

struct Tally {
  int sets = 0, s1 = 0, s3 = 0, R = 0, failed = 0;
  std::vector<double> cone1, cone3, width;
};

double median(std::vector<double> v) {
  if (v.empty()) return kNaN;
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

void row(const char* name, const Tally& t) {
  const auto pct = [&](int k) { return 100.0 * k / std::max(1, t.sets); };
  std::printf("| %s | %d | %.0f %% | %.0f %% | %.0f %% | %.1f | %.1f | %.2f | %d |\n", name, t.sets, pct(t.s1), pct(t.s3),
              pct(t.R), median(t.cone1), median(t.cone3), median(t.width), t.failed);
}

}  // namespace

int main(int argc, char** argv) {
  Settings s;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string k = argv[i];
    const double v = std::atof(argv[i + 1]);
    if (k == "--sets") s.sets = static_cast<int>(v);
    else if (k == "--n") s.N = static_cast<int>(v);
    else if (k == "--noise") s.noise = v;
    else if (k == "--bootstrap") s.bootstrap = static_cast<int>(v);
    else if (k == "--starts") s.starts = static_cast<int>(v);
    else if (k == "--ntir") s.NTIR = static_cast<int>(v);
    else if (k == "--pourc") s.POURC = static_cast<int>(v);
    else if (k == "--jobs") s.jobs = static_cast<int>(v);
    else if (k == "--confidence") s.confidence = v;
    else {
      std::fprintf(stderr, "unknown option %s\n", k.c_str());
      return 2;
    }
  }
  std::printf("N = %d, noise %.1f deg, no outliers, POURC %d, NTIR %d, %d starts, %d replicates, %.0f %% regions\n\n",
              s.N, s.noise, s.POURC, s.NTIR, s.starts, s.bootstrap, s.confidence);
  std::printf("set regime R s1_trend | cone1 err1 in | cone3 err3 in | R_low R_high in | failed\n");
  std::map<std::string, Tally> by_regime;
  Tally all;
  for (int i = 0; i < s.sets; ++i) {
    const Regime& reg = kRegimes[i % 3];
    zk::bench::RunFiles f;
    f.N = s.N;
    f.POURC = s.POURC;
    f.NTIR = s.NTIR;
    f.set.s1_plunge = reg.s1_plunge;
    f.set.s3_plunge = reg.s3_plunge;
    f.set.s1_trend = static_cast<float>((i * 137) % 360);  // spread over the compass
    f.set.s3_trend = f.set.s1_trend + 90.0f;
    f.set.R = kRatios[(i / 3) % 4];
    f.set.noise_deg = static_cast<float>(s.noise);
    f.set.outliers = false;
    f.set.seed = 1000u + static_cast<unsigned>(i);
    const zk::bench::DataDir dir(f);
    zk::bench::OpenRun run(dir);
    const zk::RunInput input = zk::read_run_input(*run.ws);
    zk::ensemble::Options o;
    o.starts = s.starts;
    o.bootstrap = s.bootstrap;
    o.confidence = s.confidence;
    o.jobs = s.jobs > 0 ? s.jobs : zk::ensemble::hardware_jobs();
    const zk::ensemble::Ensemble e = zk::ensemble::solve(input, o, nullptr);
    const zk::ensemble::BootstrapStats& st = e.bootstrap->stats;
    const zk::bench::Axes truth = zk::bench::generating_axes(f.set);
    const double err1 = angle_deg(truth.v[0], e.best_tensor, 1);
    const double err3 = angle_deg(truth.v[2], e.best_tensor, 3);
    const bool in1 = st.cone_deg[0] && err1 <= *st.cone_deg[0];
    const bool in3 = st.cone_deg[2] && err3 <= *st.cone_deg[2];
    const auto R = static_cast<double>(f.set.R);
    const bool inR = st.R && R >= st.R->low && R <= st.R->high;
    std::printf("%2d %-11s %.1f %3.0f | %5.1f %5.1f %d | %5.1f %5.1f %d | %.2f %.2f %d | %d\n", i, reg.name, R,
                static_cast<double>(f.set.s1_trend), st.cone_deg[0].value_or(kNaN), err1, in1,
                st.cone_deg[2].value_or(kNaN), err3, in3, st.R ? st.R->low : kNaN, st.R ? st.R->high : kNaN, inR,
                e.bootstrap->failed());
    std::fflush(stdout);
    for (Tally* t : {&by_regime[reg.name], &all}) {
      ++t->sets;
      t->s1 += in1;
      t->s3 += in3;
      t->R += inR;
      t->failed += e.bootstrap->failed();
      if (st.cone_deg[0]) t->cone1.push_back(*st.cone_deg[0]);
      if (st.cone_deg[2]) t->cone3.push_back(*st.cone_deg[2]);
      if (st.R) t->width.push_back(st.R->high - st.R->low);
    }
  }
  std::printf("\n| Regime | Sets | sigma 1 in its cone | sigma 3 in its cone | R in its interval | median cone sigma 1 (deg) "
              "| median cone sigma 3 (deg) | median R interval width | failed replicates |\n"
              "|---|---|---|---|---|---|---|---|---|\n");
  for (const Regime& reg : kRegimes) row(reg.name, by_regime[reg.name]);
  row("all", all);
  return 0;
}
