#include "bench/synthetic.hpp"

#include <stdlib.h>

#include <cmath>
#include <cstdint>
#include <fstream>
#include <random>
#include <stdexcept>

#include "data/fault_data.hpp"
#include "data/parameters.hpp"
#include "data/random.hpp"
#include "engine/engine.hpp"

namespace zk::bench {
namespace {

constexpr float kDegToRad = 0.017453292f;

struct V3 {
  float x = 0.0f, y = 0.0f, z = 0.0f;
};

float dot(const V3& a, const V3& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
V3 cross(const V3& a, const V3& b) {
  return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
V3 scaled(const V3& a, float s) { return {a.x * s, a.y * s, a.z * s}; }
V3 plus(const V3& a, const V3& b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
V3 unit(const V3& a) { return scaled(a, 1.0f / std::sqrt(dot(a, a))); }
V3 from(const Vec3& v) { return {v(1), v(2), v(3)}; }

// Downward axis of azimuth a and plunge p (degrees); x east, y north, z up.
V3 axis(float a, float p) {
  const float ar = a * kDegToRad;
  const float pr = p * kDegToRad;
  return {std::cos(pr) * std::sin(ar), std::cos(pr) * std::cos(ar), -std::sin(pr)};
}

// The generating tensor of a set (trace 0, compression positive).
struct Tensor {
  float T[3][3] = {};
  V3 e[3];
  explicit Tensor(const SyntheticSet& set) {
    const V3 e1 = unit(axis(set.s1_trend, set.s1_plunge));
    V3 e3 = unit(axis(set.s3_trend, set.s3_plunge));
    e3 = unit(plus(e3, scaled(e1, -dot(e3, e1))));
    const V3 e2 = cross(e3, e1);
    e[0] = e1;
    e[1] = e2;
    e[2] = e3;
    const float R = set.R;
    const float vp[3] = {(2.0f - R) / 3.0f, (2.0f * R - 1.0f) / 3.0f, -(1.0f + R) / 3.0f};
    const auto c = [](const V3& v, int i) { return i == 0 ? v.x : (i == 1 ? v.y : v.z); };
    for (int i = 0; i < 3; ++i)
      for (int j = 0; j < 3; ++j)
        for (int k = 0; k < 3; ++k) T[i][j] += vp[k] * c(e[k], i) * c(e[k], j);
  }
  V3 traction(const V3& n) const {
    return {T[0][0] * n.x + T[0][1] * n.y + T[0][2] * n.z, T[1][0] * n.x + T[1][1] * n.y + T[1][2] * n.z,
            T[2][0] * n.x + T[2][1] * n.y + T[2][2] * n.z};
  }
};

// Draws from a fixed generator, the same on every platform (the standard
// distributions are not).
class Draws {
 public:
  explicit Draws(unsigned seed) : gen_(seed) {}
  int below(int k) { return static_cast<int>(gen_() % static_cast<std::uint32_t>(k)); }
  float uniform() { return static_cast<float>(gen_() >> 8) * 5.9604645E-8f; }  // [0, 1)
  float gauss(float sigma) {
    const float u1 = 1.0f - uniform();
    const float u2 = uniform();
    return sigma * std::sqrt(-2.0f * std::log(u1)) * std::cos(6.2831855f * u2);
  }

 private:
  std::mt19937 gen_;
};

void put(std::string& rec, int col, const std::string& text) {
  for (std::size_t k = 0; k < text.size(); ++k) rec[static_cast<std::size_t>(col - 1) + k] = text[k];
}

std::string right(int v, int w) {
  std::string s = std::to_string(v);
  return std::string(static_cast<std::size_t>(w) - s.size(), ' ') + s;
}

void write_file(const std::filesystem::path& p, const std::string& text) {
  std::ofstream f(p, std::ios::binary);
  f << text;
  if (!f) throw std::runtime_error("cannot write " + p.string());
}

}  // namespace

Axes generating_axes(const SyntheticSet& set) {
  const Tensor t(set);
  Axes a{};
  for (int L = 0; L < 3; ++L) {
    a.v[L][0] = t.e[L].x;
    a.v[L][1] = t.e[L].y;
    a.v[L][2] = t.e[L].z;
  }
  return a;
}

std::string make_data_text(int n, unsigned seed) {
  SyntheticSet set;
  set.seed = seed;
  return make_data_text(n, set);
}

std::string make_data_text(int n, const SyntheticSet& set) {
  if (n < 1 || n > kMaxData) throw std::invalid_argument("make_data_text: N out of 1.." + std::to_string(kMaxData));
  const Tensor tensor(set);
  Draws rnd(set.seed);
  const char* labels[] = {"CAR", "RTE", "CRT", "FLC", "BRD"};
  std::string text = "STATION 99 - JEU SYNTHETIQUE DE " + std::to_string(n) + " FAILLES\n";
  int num = 0;
  while (num < n) {
    FaultRecord rec;
    rec.DIR = rnd.below(180);
    rec.PEND = 35 + rnd.below(51);
    // Dip direction on either side of the strike, named by its nearest
    // cardinal point.
    const int dipaz = (rec.DIR + 90 + 180 * rnd.below(2)) % 360;
    rec.QPEND = "NESW"[((dipaz + 45) % 360) / 90];
    rec.QPITCH = 'N';
    rec.SENS = 'N';
    Vec3 fn;
    Vec3 str;
    convert_datum(rec, fn, str);
    const V3 FN = from(fn);
    const V3 t = tensor.traction(FN);
    const V3 tau = plus(t, scaled(FN, -dot(t, FN)));
    if (std::sqrt(dot(tau, tau)) < 0.15f) continue;  // poorly constrained plane
    const V3 u = unit(tau);
    const float err = num % 9 != 8 || !set.outliers ? rnd.gauss(set.noise_deg)
                                   : (rnd.below(2) == 0 ? -1.0f : 1.0f) * (35.0f + 35.0f * rnd.uniform());
    const V3 w = cross(FN, u);
    const V3 target = unit(plus(scaled(u, std::cos(err * kDegToRad)), scaled(w, std::sin(err * kDegToRad))));

    // The pitch, its end and the sense letter that say this slip best, found
    // through the program's own conversion.
    const int d = rec.DIR % 180;
    const char ends[2] = {d <= 90 ? (d < 45 ? 'N' : 'E') : (d < 135 ? 'E' : 'S'),
                          d <= 90 ? (d < 45 ? 'S' : 'W') : (d < 135 ? 'W' : 'N')};
    float best = -2.0f;
    FaultRecord chosen = rec;
    for (int pitch = 0; pitch <= 90; ++pitch) {
      for (char qp : ends) {
        for (char sens : std::string(pitch >= 45 ? "NI" : "DS")) {
          FaultRecord r = rec;
          r.PITCH = pitch;
          r.QPITCH = qp;
          r.SENS = sens;
          convert_datum(r, fn, str);
          const float c = dot(from(str), target);
          if (c > best) {
            best = c;
            chosen = r;
          }
        }
      }
    }
    ++num;
    std::string line(76, ' ');
    put(line, 3, right(chosen.DIR, 3));
    put(line, 10, right(chosen.PEND, 2));
    put(line, 17, std::string(1, chosen.QPEND));
    put(line, 21, right(chosen.PITCH, 2));
    put(line, 26, std::string(1, chosen.QPITCH));
    put(line, 35, std::string(1, chosen.SENS));
    put(line, 70, right(num, 3));
    put(line, 74, labels[num % 5]);
    text += line + "\n";
  }
  text += "  999\n";
  return text;
}

std::string make_parameters_text(const RunFiles& f) {
  return "1 0\n1 " + std::to_string(f.POURC) + " " + std::to_string(f.NTIR) + " " + std::to_string(f.NSEED) + " " +
         std::to_string(f.IPRINT) + "\n";
}

DataDir::DataDir(const RunFiles& f) {
  std::string tmpl = (std::filesystem::temp_directory_path() / "zarkel-bench-XXXXXX").string();
  if (mkdtemp(tmpl.data()) == nullptr) throw std::runtime_error("cannot make a temporary directory");
  dir_ = tmpl;
  write_file(parameters(), make_parameters_text(f));
  write_file(data(), make_data_text(f.N, f.set));
}

DataDir::~DataDir() {
  std::error_code ec;
  std::filesystem::remove_all(dir_, ec);
}

OpenRun::OpenRun(const DataDir& dir) : ws(std::make_unique<Workspace>(in, out)) {
  store_constants(*ws);
  std::string why;
  if (!ws->units.open(3, dir.parameters().string(), "old", &why) ||
      !ws->units.open(4, dir.data().string(), "old", &why) ||
      !ws->units.open(8, dir.listing().string(), "unknown", &why)) {
    throw std::runtime_error("cannot open the run files: " + why);
  }
}

OpenRun::~OpenRun() {
  for (int unit : {3, 4, 8})
    if (ws->units.is_open(unit)) ws->units.close(unit);
}

LoadedRun::LoadedRun(const DataDir& dir) : OpenRun(dir) {
  const RunInput input = read_run_input(*ws);
  load_fault_set(*ws, input.faults);
  ws->ind.NMIN = static_cast<int>(nmin_of(ws->tir.N, input.params.POURC));
  ws->tiraz.INDX = input.params.INDX;
  ws->tiraz.NSEED = input.params.NSEED;
  discard_randun(*ws, input.params.NSEED);
  NTIR = input.params.NTIR;
}

}  // namespace zk::bench
