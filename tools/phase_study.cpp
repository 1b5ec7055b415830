// Separation of stress phases on synthetic mixtures of known membership:
// how many data go to their own phase (next to the best possible, each datum
// to the true tensor that fits it better), the axis and R errors of the
// phases, the share of genuine data called "none", the number of phases the
// automatic choice takes, how reliable a confident datum is, and the CPU
// time. Prints one row per set and a Markdown table, e.g.
//   zarkel_phase_study --sets 8 --ntir 500
//   zarkel_phase_study --cost 20 --n 150      (CPU time of 20 runs of --phases auto against --starts 10)
//   zarkel_phase_study --write DIR --seed 3   (the PARAMETERS and DATA of one two-phase set)
//   zarkel_phase_study --stability A.DATA,B.DATA,A.DATA+B.DATA --sets 4
//       (the stability table: k and J_k over NTIR 500/1000/2000 x NSEED 0/1/7/123457
//        on each DATA file, each "+" mixture of files and the first --sets
//        synthetic mixtures; --phase-starts S streams, default 8)
// Not a unit test: it takes minutes.
#include <sys/resource.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <numeric>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "bench/synthetic.hpp"
#include "ensemble/ensemble.hpp"
#include "phases/separate.hpp"

namespace {

using zk::bench::SyntheticSet;
constexpr double kPi = 3.14159265358979323846;

struct Settings {
  int sets = 8, NTIR = 500, cost = 0, N = 0, seed = 1, phase_starts = zk::phases::kDefaultStarts;
  std::string write, stability;
  bool stability_given = false, sets_given = false, verbose = false;
};

double cpu_seconds() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
         1e-6 * static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec);
}

// A set: its kind, the phases' generators and shares, and the data.
struct Mixture {
  std::string kind;
  int k = 1;
  std::vector<SyntheticSet> truth;
  std::vector<int> label;  // per datum: 1 .. k, 0 for a random slip
  std::string data;
  int N = 0;
};

// The regimes drawn: normal, strike-slip, thrust, with random trends.
SyntheticSet regime(std::mt19937& g, int which) {
  std::uniform_real_distribution<float> u(0.0f, 1.0f);
  SyntheticSet s;
  const float t = 360.0f * u(g);
  s.s1_trend = t;
  s.s3_trend = t + 90.0f;
  switch (which % 3) {
    case 0: s.s1_plunge = 70.0f + 15.0f * u(g); s.s3_plunge = 10.0f * u(g); break;
    case 1: s.s1_plunge = 15.0f * u(g); s.s3_plunge = 15.0f * u(g); break;
    default: s.s1_plunge = 10.0f * u(g); s.s3_plunge = 70.0f + 15.0f * u(g); break;
  }
  s.R = 0.2f + 0.6f * u(g);
  s.noise_deg = 5.0f + 5.0f * u(g);
  s.outliers = false;
  s.seed = static_cast<unsigned>(g());
  return s;
}

double axis_deg(const float a[3], const float b[3]) {
  double d = 0.0;
  for (int c = 0; c < 3; ++c) d += static_cast<double>(a[c]) * static_cast<double>(b[c]);
  return std::acos(std::min(1.0, std::fabs(d))) * 180.0 / kPi;
}

// At least 45 degrees apart in sigma 1 or in sigma 3.
bool apart(const SyntheticSet& a, const SyntheticSet& b) {
  const auto x = zk::bench::generating_axes(a), y = zk::bench::generating_axes(b);
  return axis_deg(x.v[0], y.v[0]) >= 45.0 || axis_deg(x.v[2], y.v[2]) >= 45.0;
}

// The data lines of a generated DATA text (title and terminator left out).
std::vector<std::string> records(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  std::string line;
  std::getline(in, line);
  while (std::getline(in, line)) {
    if (line.rfind("  999", 0) == 0) break;
    out.push_back(line);
  }
  return out;
}

Mixture make_mixture(int index, int fixed_N) {
  std::mt19937 g(9000u + static_cast<unsigned>(index));
  std::uniform_real_distribution<double> u(0.0, 1.0);
  Mixture m;
  const int kind = index % 4;  // two phases, three phases, two with random slips, homogeneous
  m.kind = kind == 0 ? "2 phases" : kind == 1 ? "3 phases" : kind == 2 ? "2 phases + 10 % random" : "homogeneous";
  m.k = kind == 1 ? 3 : kind == 3 ? 1 : 2;
  m.N = fixed_N > 0 ? fixed_N : 60 + static_cast<int>(91.0 * u(g));
  const int first = static_cast<int>(g() % 3);
  while (static_cast<int>(m.truth.size()) < m.k) {
    const SyntheticSet s = regime(g, first + static_cast<int>(m.truth.size()) + static_cast<int>(g() % 2));
    if (std::all_of(m.truth.begin(), m.truth.end(), [&](const SyntheticSet& t) { return apart(s, t); })) m.truth.push_back(s);
  }
  std::vector<double> share(static_cast<std::size_t>(m.k));
  if (m.k == 2) {
    share[0] = 0.3 + 0.4 * u(g);
    share[1] = 1.0 - share[0];
  } else if (m.k == 3) {
    double total = 0.0;
    for (double& s : share) total += (s = 1.0 + u(g));
    for (double& s : share) s /= total;
  } else {
    share[0] = 1.0;
  }
  const int random = kind == 2 ? m.N / 10 : 0;
  std::vector<std::pair<std::string, int>> lines;
  int left = m.N - random;
  for (int j = 0; j < m.k; ++j) {
    const int n = j + 1 == m.k ? left : static_cast<int>(std::lround(share[static_cast<std::size_t>(j)] * (m.N - random)));
    left -= n;
    for (const std::string& l : records(zk::bench::make_data_text(n, m.truth[static_cast<std::size_t>(j)]))) lines.emplace_back(l, j + 1);
  }
  if (random > 0) {
    SyntheticSet noise = m.truth[0];
    noise.noise_deg = 1000.0f;  // the slip direction anywhere in the plane
    noise.seed = static_cast<unsigned>(g());
    for (const std::string& l : records(zk::bench::make_data_text(random, noise))) lines.emplace_back(l, 0);
  }
  std::shuffle(lines.begin(), lines.end(), g);
  m.data = "SYNTHETIC MIXTURE " + std::to_string(index) + ": " + m.kind + "\n";
  for (std::size_t i = 0; i < lines.size(); ++i) {
    std::string l = lines[i].first;
    l.resize(76, ' ');
    char num[32];
    std::snprintf(num, sizeof num, "%3zu", i + 1);
    l.replace(69, 3, num);
    l.erase(l.find_last_not_of(' ') + 1);
    m.data += l + "\n";
    m.label.push_back(lines[i].second);
  }
  m.data += "  999\n";
  m.N = static_cast<int>(lines.size());
  return m;
}

std::string parameters_text(int NTIR) { return "1 0\n1 100 " + std::to_string(NTIR) + " 7 0\n"; }
std::string parameters_text(int NTIR, int NSEED);

zk::RunInput read_input(const std::string& parameters, const std::string& data) {
  std::string tmpl = (std::filesystem::temp_directory_path() / "zarkel-study-XXXXXX").string();
  if (mkdtemp(tmpl.data()) == nullptr) std::abort();
  const std::filesystem::path dir = tmpl;
  std::ofstream(dir / "PARAMETERS") << parameters;
  std::ofstream(dir / "DATA") << data;
  std::istringstream in;
  std::ostringstream out;
  zk::Workspace ws(in, out);
  zk::store_constants(ws);
  ws.units.open(3, (dir / "PARAMETERS").string(), "old");
  ws.units.open(4, (dir / "DATA").string(), "old");
  zk::RunInput r = zk::read_run_input(ws);
  std::filesystem::remove_all(dir);
  return r;
}

struct Tally {
  int sets = 0, k_right = 0, phases = 0, phases_good = 0;
  double right = 0.0, bound = 0.0, none = 0.0, seconds = 0.0;
  long long confident = 0, confident_right = 0, genuine = 0, called_none = 0;
  std::vector<double> e1, e3, eR;
};

double median(std::vector<double> v) {
  if (v.empty()) return NAN;
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

void table_row(const std::string& name, const Tally& t) {
  const double n = std::max(1, t.sets);
  std::printf("| %s | %d | %.1f %% | %.1f %% | %.1f %% | %.1f | %.1f | %.2f | %.0f %% | %.0f %% | %.1f %% | %.1f |\n", name.c_str(),
              t.sets, 100.0 * t.right / n, 100.0 * t.bound / n, 100.0 * static_cast<double>(t.called_none) / std::max(1LL, t.genuine),
              median(t.e1), median(t.e3), median(t.eR), 100.0 * t.phases_good / std::max(1, t.phases),
              100.0 * t.k_right / n, 100.0 * static_cast<double>(t.confident_right) / std::max(1LL, t.confident),
              t.seconds / n);
}

int cost(const Settings& s) {
  const Mixture m = make_mixture(0, s.N > 0 ? s.N : 150);
  const zk::RunInput input = read_input(parameters_text(s.NTIR), m.data);
  double t0 = cpu_seconds();
  zk::ensemble::Options eo;
  eo.starts = 10;
  eo.jobs = 1;
  for (int r = 0; r < s.cost; ++r) (void)zk::ensemble::solve(input, eo, nullptr);
  const double starts = cpu_seconds() - t0;
  t0 = cpu_seconds();
  zk::phases::Options po;
  po.jobs = 1;
  po.starts = s.phase_starts;
  for (int r = 0; r < s.cost; ++r) (void)zk::phases::separate(input.faults, input.params, po);
  const double auto_k = cpu_seconds() - t0;
  std::printf("N = %d, NTIR %d, one job, %d runs each: --starts 10 %.2f s CPU, --phases auto (%d phase starts) %.2f s "
              "CPU, ratio %.2f\n",
              m.N, s.NTIR, s.cost, starts, s.phase_starts, auto_k, auto_k / starts);
  return 0;
}

// The text of a DATA file.
std::string slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "cannot read %s\n", path.c_str());
    std::exit(2);
  }
  std::ostringstream t;
  t << in.rdbuf();
  return t.str();
}

// "a+b": the records of the files one after the other, renumbered.
std::string mixed(const std::string& recipe) {
  std::vector<std::string> parts;
  for (std::size_t at = 0; at <= recipe.size();) {
    const std::size_t plus = std::min(recipe.find('+', at), recipe.size());
    parts.push_back(recipe.substr(at, plus - at));
    at = plus + 1;
  }
  if (parts.size() == 1) return slurp(parts[0]);
  std::string text = "MIXTURE " + recipe + "\n";
  int number = 0;
  for (const std::string& p : parts) {
    for (std::string l : records(slurp(p))) {
      l.resize(76, ' ');
      char num[32];
      std::snprintf(num, sizeof num, "%3d", ++number);
      l.replace(69, 3, num);
      l.erase(l.find_last_not_of(' ') + 1);
      text += l + "\n";
    }
  }
  return text + "  999\n";
}

std::string parameters_text(int NTIR, int NSEED) {
  return "1 0\n1 100 " + std::to_string(NTIR) + " " + std::to_string(NSEED) + " 0\n";
}

// For each set, --phases auto over NTIR x NSEED: the k chosen, and how far
// each run's J_k lies above the lowest any run found.
int stability(const Settings& s) {
  struct Set {
    std::string name, data;
  };
  std::vector<Set> sets;
  for (std::size_t at = 0; at < s.stability.size();) {
    const std::size_t comma = std::min(s.stability.find(',', at), s.stability.size());
    const std::string recipe = s.stability.substr(at, comma - at);
    if (!recipe.empty()) {
      std::string name;
      for (std::size_t b = 0; b <= recipe.size();) {  // the file names without folders and extensions
        const std::size_t plus = std::min(recipe.find('+', b), recipe.size());
        std::string f = std::filesystem::path(recipe.substr(b, plus - b)).stem().string();
        name += (name.empty() ? "" : "+") + f;
        b = plus + 1;
      }
      sets.push_back({name, mixed(recipe)});
    }
    at = comma + 1;
  }
  for (int index = 0; s.sets_given && index < s.sets; ++index) {
    const Mixture m = make_mixture(index, s.N);
    sets.push_back({"synthetic " + std::to_string(index) + " (" + m.kind + ")", m.data});
  }
  const int ntir[] = {500, 1000, 2000};
  const int nseed[] = {0, 1, 7, 123457};
  std::printf("%d phase starts, one job; per set: k of each run (NTIR 500/1000/2000 x NSEED 0/1/7/123457), the "
              "largest excess of a run's J_k over the lowest found (per k), runs whose streams split their votes\n\n",
              s.phase_starts);
  std::printf("| Set | N | k chosen (runs) | largest J_1 excess | largest J_2 excess | largest J_3 excess | runs with split "
              "votes | CPU s per run |\n|---|---|---|---|---|---|---|---|\n");
  for (const Set& set : sets) {
    std::map<int, int> ks;
    std::vector<std::vector<double>> J(zk::phases::kMaxPhases);
    int split = 0, N = 0;
    double seconds = 0.0;
    for (int t : ntir) {
      for (int seed : nseed) {
        const zk::RunInput input = read_input(parameters_text(t, seed), set.data);
        N = static_cast<int>(input.faults.data.size());
        zk::phases::Options po;
        po.jobs = 1;
        po.starts = s.phase_starts;
        const double t0 = cpu_seconds();
        const zk::phases::Separation sep = zk::phases::separate(input.faults, input.params, po);
        seconds += cpu_seconds() - t0;
        ++ks[sep.k];
        for (const zk::phases::Model& md : sep.models) J[static_cast<std::size_t>(md.k - 1)].push_back(md.objective_rad2);
        int voted = 0;
        for (int v : sep.k_votes) voted += v > 0;
        split += voted > 1;
        if (s.verbose) {
          std::fprintf(stderr, "%s NTIR %d NSEED %d: k %d, J", set.name.c_str(), t, seed, sep.k);
          for (const zk::phases::Model& md : sep.models) std::fprintf(stderr, " %.4f (spread %.1f %%)", md.objective_rad2, 100.0 * md.objective_spread);
          std::fprintf(stderr, ", votes");
          for (int v : sep.k_votes) std::fprintf(stderr, " %d", v);
          std::fprintf(stderr, "\n");
          for (const zk::phases::Phase& ph : sep.phases) {  // the chosen memberships, data numbered from 1
            std::fprintf(stderr, "  sum %.5f:", ph.misfit_sum_rad2);
            for (int m : ph.members) std::fprintf(stderr, " %d", m + 1);
            std::fprintf(stderr, "\n");
          }
        }
      }
    }
    std::string chosen;
    for (const auto& [k, n] : ks) chosen += (chosen.empty() ? "" : ", ") + std::to_string(k) + " (" + std::to_string(n) + ")";
    std::printf("| %s | %d | %s |", set.name.c_str(), N, chosen.c_str());
    for (std::size_t k = 0; k < 3; ++k) {
      if (J[k].empty()) {
        std::printf(" - |");
        continue;
      }
      const double lo = *std::min_element(J[k].begin(), J[k].end()), hi = *std::max_element(J[k].begin(), J[k].end());
      std::printf(" %.1f %% |", lo > 0.0 ? 100.0 * (hi - lo) / lo : 0.0);
    }
    std::printf(" %d | %.1f |\n", split, seconds / 12.0);
    std::fflush(stdout);
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  Settings s;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string k = argv[i];
    if (k == "--sets") {
      s.sets = std::atoi(argv[i + 1]);
      s.sets_given = true;
    }
    else if (k == "--ntir") s.NTIR = std::atoi(argv[i + 1]);
    else if (k == "--cost") s.cost = std::atoi(argv[i + 1]);
    else if (k == "--n") s.N = std::atoi(argv[i + 1]);
    else if (k == "--seed") s.seed = std::atoi(argv[i + 1]);
    else if (k == "--write") s.write = argv[i + 1];
    else if (k == "--phase-starts") s.phase_starts = std::atoi(argv[i + 1]);
    else if (k == "--verbose") s.verbose = std::atoi(argv[i + 1]) != 0;
    else if (k == "--stability") {
      s.stability = argv[i + 1];
      s.stability_given = true;
    }
    else {
      std::fprintf(stderr, "unknown option %s\n", k.c_str());
      return 2;
    }
  }
  if (s.cost) return cost(s);
  if (s.stability_given) return stability(s);
  if (!s.write.empty()) {
    const Mixture m = make_mixture(s.seed, s.N);
    std::filesystem::create_directories(s.write);
    std::ofstream(std::filesystem::path(s.write) / "PARAMETERS") << parameters_text(s.NTIR);
    std::ofstream(std::filesystem::path(s.write) / "DATA") << m.data;
    std::printf("%s, N = %d:", m.kind.c_str(), m.N);
    for (const SyntheticSet& t : m.truth) {
      std::printf(" sigma1 %.0f/%.0f sigma3 %.0f/%.0f R %.2f noise %.1f;", static_cast<double>(t.s1_trend),
                  static_cast<double>(t.s1_plunge), static_cast<double>(t.s3_trend), static_cast<double>(t.s3_plunge),
                  static_cast<double>(t.R), static_cast<double>(t.noise_deg));
    }
    std::printf("\n");
    return 0;
  }
  std::printf("NTIR %d, one job per set, k given = the true k, auto from the same models\n\n", s.NTIR);
  std::printf("set kind N k auto | right bound none | s1 s3 R errors per phase | cpu s | closest phases (deg)\n");
  std::map<std::string, Tally> by_kind;
  Tally all;
  for (int index = 0; index < s.sets; ++index) {
    const Mixture m = make_mixture(index, s.N);
    const zk::RunInput input = read_input(parameters_text(s.NTIR), m.data);
    zk::phases::Options po;
    po.phases = m.k;
    po.jobs = 1;
    po.starts = s.phase_starts;
    const double t0 = cpu_seconds();
    const zk::phases::Separation sep = zk::phases::separate(input.faults, input.params, po);
    const double seconds = cpu_seconds() - t0;
    for (const zk::phases::Model& md : sep.models) {
      if (md.objective_rad2 > md.selected_objective_rad2) {
        std::printf("   k=%d: refined J %.4f above the selected subset's %.4f\n", md.k, md.objective_rad2,
                    md.selected_objective_rad2);
      }
    }
    const std::optional<std::size_t> auto_model = zk::phases::choose_model(sep.models, m.N);
    const int k_auto = auto_model ? sep.models[*auto_model].k : 0;
    // Misfits to the true tensors, and the bound.
    std::vector<std::vector<double>> theta;
    std::vector<zk::bench::Axes> axes;
    for (const SyntheticSet& t : m.truth) {
      axes.push_back(zk::bench::generating_axes(t));
      std::array<zk::AxisVector, 3> a{};
      for (int L = 0; L < 3; ++L)
        for (int c = 0; c < 3; ++c) a[static_cast<std::size_t>(L)][static_cast<std::size_t>(c)] = axes.back().v[L][c];
      const zk::Matrix3 M = zk::reduced_tensor(a, static_cast<double>(t.R));
      std::vector<double> th;
      for (const zk::FaultDatum& d : input.faults.data) th.push_back(zk::phases::misfit_rad(M, d.FN, d.STR));
      theta.push_back(th);
    }
    // The phase of each true tensor: the permutation with the most data right.
    std::vector<int> perm(static_cast<std::size_t>(sep.k));
    std::iota(perm.begin(), perm.end(), 1);
    std::vector<int> best_perm = perm;
    int best_right = -1;
    do {
      int right = 0;
      for (int i = 0; i < m.N; ++i) {
        const int l = m.label[static_cast<std::size_t>(i)];
        const int p = sep.data[static_cast<std::size_t>(i)].phase;
        if (l > 0 && p > 0 && l <= sep.k && perm[static_cast<std::size_t>(p - 1)] == l) ++right;
      }
      if (right > best_right) {
        best_right = right;
        best_perm = perm;
      }
    } while (std::next_permutation(perm.begin(), perm.end()));
    int genuine = 0, bound = 0, none = 0, confident = 0, confident_right = 0;
    for (int i = 0; i < m.N; ++i) {
      const auto ui = static_cast<std::size_t>(i);
      const int l = m.label[ui];
      if (l == 0) continue;
      ++genuine;
      int nearest = 1;
      for (int j = 1; j < m.k; ++j) {
        if (theta[static_cast<std::size_t>(j)][ui] < theta[static_cast<std::size_t>(nearest - 1)][ui]) nearest = j + 1;
      }
      bound += nearest == l;
      const zk::phases::DatumPhase& d = sep.data[ui];
      none += d.phase == 0;
      const double largest = d.posterior.empty() ? 0.0 : *std::max_element(d.posterior.begin(), d.posterior.end());
      if (largest >= zk::phases::kAmbiguousPosterior && d.phase > 0) {
        ++confident;
        confident_right += best_perm[static_cast<std::size_t>(d.phase - 1)] == l;
      }
    }
    std::printf("%2d %-22s %3d %d %d | %5.1f %5.1f %4.1f |", index, m.kind.c_str(), m.N, m.k, k_auto,
                100.0 * best_right / genuine, 100.0 * bound / genuine, 100.0 * none / genuine);
    for (Tally* t : {&by_kind[m.kind], &all}) {
      ++t->sets;
      t->right += static_cast<double>(best_right) / genuine;
      t->bound += static_cast<double>(bound) / genuine;
      t->genuine += genuine;
      t->called_none += none;
      t->confident += confident;
      t->confident_right += confident_right;
      t->k_right += k_auto == m.k;
      t->seconds += seconds;
    }
    for (int p = 0; p < sep.k; ++p) {
      const int l = best_perm[static_cast<std::size_t>(p)];
      const zk::TensorSnapshot& t = sep.phases[static_cast<std::size_t>(p)].tensor;
      float s1[3], s3[3];
      for (int c = 0; c < 3; ++c) {
        s1[c] = t.ROT(1, c + 1);
        s3[c] = t.ROT(3, c + 1);
      }
      const double e1 = axis_deg(axes[static_cast<std::size_t>(l - 1)].v[0], s1);
      const double e3 = axis_deg(axes[static_cast<std::size_t>(l - 1)].v[2], s3);
      const double eR = std::fabs(static_cast<double>(t.P(4) - m.truth[static_cast<std::size_t>(l - 1)].R));
      std::printf(" %.1f %.1f %.2f;", e1, e3, eR);
      for (Tally* x : {&by_kind[m.kind], &all}) {
        ++x->phases;
        x->phases_good += e1 <= 10.0 && e3 <= 10.0 && eR <= 0.15;
        x->e1.push_back(e1);
        x->e3.push_back(e3);
        x->eR.push_back(eR);
      }
    }
    const std::optional<double> closest = sep.models[sep.chosen_model].closest_phases_deg;
    std::printf(" | %.1f | closest %.1f\n", seconds, closest.value_or(NAN));
    std::fflush(stdout);
  }
  std::printf("\n| Sets | n | assigned right | bound | genuine called none | median sigma 1 error (deg) | median sigma 3 "
              "error (deg) | median R error | phases within 10 deg and 0.15 | auto k right | confident data right | CPU "
              "s per set |\n|---|---|---|---|---|---|---|---|---|---|---|---|\n");
  for (const char* kind : {"2 phases", "3 phases", "2 phases + 10 % random", "homogeneous"}) {
    if (by_kind.count(kind)) table_row(kind, by_kind[kind]);
  }
  table_row("all", all);
  return 0;
}
