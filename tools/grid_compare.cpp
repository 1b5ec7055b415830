// The damped joint inversion on a catalogue in SATSI's input format
// (tools/grid-compare.sh): each line "x y dipdir dip rake" (2-D) or
// "x y z t dipdir dip rake" (4-D), a first line that is not numeric taken as
// a comment. The planes are inverted as given (no plane choice), one cell per
// distinct (x, y[, z, t]), adjacent when the integers differ by one along one
// axis, as SATSI grids them.
//
// Printed per cell, in SATSI's frame and sign (x east, y north, z up, tension
// positive; the tensor scaled to unit norm): See Sen Seu Snn Snu Suu, phi
// (= R), and trend/plunge of sigma 1, 2, 3 (degrees, plunge down).
//
// Against a reference (optional):
//   --out FILE      SATSI's .out: the tensor block "X Y See ... Suu"
//   --summary FILE  MSATSI's .summary: PhiBest, Tr1Best, Pl1Best, ... per
//                   cell in sorted cell order (its tensor rebuilt from the
//                   axes and phi)
// per cell the stress difference (zk::stress_difference_deg, Yamaji & Sato
// 2006) and the angle between each pair of axes, then median and largest.
// --sweep E1,E2,... runs every damping of the list and prints, per e, the
// misfit and model length of the solution, the agreement with the reference,
// and the corner chosen by MSATSI's rule (least distance to the origin of the
// trade-off curve, each axis scaled to its range over the list); --auto
// prints the e this program's `--damping auto` would choose (choose_damping).
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "grid/damped.hpp"

namespace {

using namespace zk;

constexpr double kPi = 3.14159265358979323846;
constexpr double kDeg = 180.0 / kPi;

[[noreturn]] void fail(const std::string& msg) {
  std::fprintf(stderr, "grid_compare: %s\n", msg.c_str());
  std::exit(1);
}

std::vector<double> numbers_of(const std::string& line, bool* ok) {
  std::istringstream in(line);
  std::vector<double> v;
  std::string tok;
  *ok = true;
  while (in >> tok) {
    char* end = nullptr;
    const double x = std::strtod(tok.c_str(), &end);
    if (end == tok.c_str() || *end != '\0' || !std::isfinite(x)) {
      *ok = false;
      return v;
    }
    v.push_back(x);
  }
  return v;
}

// The cells of a SATSI input file, in sorted index order.
std::vector<grid::CellData> read_sat(const std::string& path) {
  std::ifstream in(path);
  if (!in) fail(path + ": cannot open");
  std::map<grid::Index, std::vector<mech::DoubleCouple>> cells;
  std::string line;
  int lineno = 0;
  std::size_t width = 0;
  while (std::getline(in, line)) {
    ++lineno;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    bool ok = false;
    const std::vector<double> v = numbers_of(line, &ok);
    if (v.empty() && ok) continue;  // blank
    if (!ok) {
      if (lineno == 1) continue;  // SATSI's comment line
      fail(path + ":" + std::to_string(lineno) + ": not a number");
    }
    if (v.size() != 5 && v.size() != 7)
      fail(path + ":" + std::to_string(lineno) + ": " + std::to_string(v.size()) +
           " fields (x y [z t] dipdir dip rake: 5 or 7)");
    if (width == 0) width = v.size();
    if (v.size() != width) fail(path + ":" + std::to_string(lineno) + ": field count differs from the first line");
    const std::size_t k = v.size() - 3;
    grid::Index idx;
    for (std::size_t i = 0; i < k; ++i) {
      if (v[i] != std::floor(v[i])) fail(path + ":" + std::to_string(lineno) + ": grid coordinate is not an integer");
      idx.push_back(static_cast<int>(v[i]));
    }
    const double dipdir = v[k], dip = v[k + 1], rake = v[k + 2];
    if (dip < 0 || dip > 90) fail(path + ":" + std::to_string(lineno) + ": dip outside 0 to 90");
    // SATSI's dip direction is the strike + 90 (right-hand rule); rake after Aki & Richards.
    mech::NodalPlane p{std::fmod(dipdir - 90.0 + 720.0, 360.0), dip, rake};
    cells[idx].push_back(mech::vectors_of(p));
  }
  if (cells.empty()) fail(path + ": no planes");
  std::vector<grid::CellData> out;
  for (auto& [idx, planes] : cells) out.push_back({idx, std::move(planes)});
  return out;
}

AxisVector axis_of(double trend, double plunge) {
  const double t = trend / kDeg, p = plunge / kDeg;
  return {std::cos(p) * std::sin(t), std::cos(p) * std::cos(t), -std::sin(p)};
}
void trend_plunge(AxisVector v, double* trend, double* plunge) {
  if (v[2] > 0) v = {-v[0], -v[1], -v[2]};
  *plunge = std::asin(std::clamp(-v[2], -1.0, 1.0)) * kDeg;
  *trend = std::atan2(v[0], v[1]) * kDeg;
  if (*trend < 0) *trend += 360.0;
}
double axis_angle(const AxisVector& a, const AxisVector& b) {
  const double d = std::fabs(a[0] * b[0] + a[1] * b[1] + a[2] * b[2]);
  return std::acos(std::clamp(d, 0.0, 1.0)) * kDeg;
}

// A reference answer of one cell, in this program's sign (compression positive).
struct Reference {
  Matrix3 tensor{};
};

std::map<grid::Index, Reference> read_out(const std::string& path, std::size_t dims) {
  std::ifstream in(path);
  if (!in) fail(path + ": cannot open");
  std::map<grid::Index, Reference> ref;
  std::string line;
  bool in_block = false;
  int lineno = 0;
  while (std::getline(in, line)) {
    ++lineno;
    if (line.find("See") != std::string::npos) {
      in_block = true;
      continue;
    }
    if (!in_block) continue;
    bool ok = false;
    const std::vector<double> v = numbers_of(line, &ok);
    if (v.empty()) {
      if (!ref.empty()) break;  // the end of the tensor block
      continue;
    }
    if (!ok || v.size() != dims + 6) fail(path + ":" + std::to_string(lineno) + ": not a tensor line");
    grid::Index idx;
    for (std::size_t i = 0; i < dims; ++i) idx.push_back(static_cast<int>(v[i]));
    const double* s = &v[dims];  // See Sen Seu Snn Snu Suu, tension positive
    Reference r;
    r.tensor = {{{-s[0], -s[1], -s[2]}, {-s[1], -s[3], -s[4]}, {-s[2], -s[4], -s[5]}}};
    ref[idx] = r;
  }
  if (ref.empty()) fail(path + ": no tensor block (a line naming See ... Suu, then one line per cell)");
  return ref;
}

std::map<grid::Index, Reference> read_summary(const std::string& path, const std::vector<grid::CellData>& cells) {
  std::ifstream in(path);
  if (!in) fail(path + ": cannot open");
  std::map<grid::Index, Reference> ref;
  std::string line;
  int lineno = 0;
  std::size_t row = 0;
  while (std::getline(in, line)) {
    ++lineno;
    bool ok = false;
    const std::vector<double> v = numbers_of(line, &ok);
    if (!ok || v.empty()) continue;  // the header
    if (v.size() != 21) fail(path + ":" + std::to_string(lineno) + ": 21 columns expected");
    if (row >= cells.size()) fail(path + ": more rows than cells");
    // Columns: Phi, then per axis (trend, plunge) as Best/Min/Max triples.
    const double phi = v[0];
    const std::array<AxisVector, 3> axes{axis_of(v[3], v[6]), axis_of(v[9], v[12]), axis_of(v[15], v[18])};
    ref[cells[row].index] = {reduced_tensor(axes, phi)};
    ++row;
  }
  if (row != cells.size())
    fail(path + ": " + std::to_string(row) + " rows for " + std::to_string(cells.size()) +
         " cells (cells below the minimum of events are left out of a summary: not supported)");
  return ref;
}

struct Agreement {
  std::vector<double> ds, a1, a2, a3, dR;
};

double median(std::vector<double> v) {
  if (v.empty()) return std::nan("");
  std::sort(v.begin(), v.end());
  const std::size_t n = v.size();
  return n % 2 ? v[n / 2] : 0.5 * (v[n / 2 - 1] + v[n / 2]);
}
double largest(const std::vector<double>& v) { return v.empty() ? std::nan("") : *std::max_element(v.begin(), v.end()); }

Agreement agree(const grid::DampedSolution& sol, const std::map<grid::Index, Reference>& ref, bool print) {
  Agreement a;
  if (print) std::printf("\n%-8s %8s %7s %7s %7s %7s\n", "cell", "dS_deg", "s1_deg", "s2_deg", "s3_deg", "dR");
  for (const grid::CellAnswer& c : sol.cells) {
    if (!c.has_events || c.status != grid::CellStatus::solved) continue;
    const auto it = ref.find(c.index);
    if (it == ref.end()) continue;
    std::array<double, 3> values{};
    const mech::Principal p = mech::principal_of(it->second.tensor, &values);
    const double ds = stress_difference_deg(c.tensor, it->second.tensor);
    const double g1 = axis_angle(c.stress.axes[0], p.axes[0]), g2 = axis_angle(c.stress.axes[1], p.axes[1]),
                 g3 = axis_angle(c.stress.axes[2], p.axes[2]), dr = std::fabs(c.stress.R - p.R);
    a.ds.push_back(ds);
    a.a1.push_back(g1);
    a.a2.push_back(g2);
    a.a3.push_back(g3);
    a.dR.push_back(dr);
    if (print) std::printf("%-8s %8.3f %7.3f %7.3f %7.3f %7.4f\n", grid::cell_name(c.index).c_str(), ds, g1, g2, g3, dr);
  }
  return a;
}

void print_stats(const Agreement& a) {
  std::printf("\ncells compared: %zu\n", a.ds.size());
  std::printf("%-24s %8s %8s\n", "", "median", "largest");
  std::printf("%-24s %8.3f %8.3f\n", "stress difference (deg)", median(a.ds), largest(a.ds));
  std::printf("%-24s %8.3f %8.3f\n", "sigma 1 axis (deg)", median(a.a1), largest(a.a1));
  std::printf("%-24s %8.3f %8.3f\n", "sigma 2 axis (deg)", median(a.a2), largest(a.a2));
  std::printf("%-24s %8.3f %8.3f\n", "sigma 3 axis (deg)", median(a.a3), largest(a.a3));
  std::printf("%-24s %8.4f %8.4f\n", "R (phi)", median(a.dR), largest(a.dR));
}

void print_cells(const grid::DampedSolution& sol) {
  std::printf("# e = %g; SATSI's frame and sign (east, north, up; tension positive), unit norm\n", sol.e);
  std::printf("%-8s %4s %9s %9s %9s %9s %9s %9s %6s %6s %5s %6s %5s %6s %5s\n", "cell", "n", "See", "Sen", "Seu",
              "Snn", "Snu", "Suu", "phi", "tr1", "pl1", "tr2", "pl2", "tr3", "pl3");
  for (const grid::CellAnswer& c : sol.cells) {
    std::printf("%-8s %4d", grid::cell_name(c.index).c_str(), c.planes);
    if (c.status != grid::CellStatus::solved) {
      std::printf(" %s%s\n", grid::cell_status_name(c.status), c.has_events ? "" : " (gap cell)");
      continue;
    }
    const Matrix3& T = c.tensor;
    std::printf(" %9.6f %9.6f %9.6f %9.6f %9.6f %9.6f %6.3f", -T[0][0], -T[0][1], -T[0][2], -T[1][1], -T[1][2], -T[2][2],
                c.stress.R);
    for (const AxisVector& v : c.stress.axes) {
      double tr = 0, pl = 0;
      trend_plunge(v, &tr, &pl);
      std::printf(" %6.1f %5.1f", tr, pl);
    }
    std::printf("%s\n", c.has_events ? "" : " (gap cell)");
  }
}

std::vector<double> parse_list(const std::string& s) {
  std::vector<double> v;
  std::istringstream in(s);
  std::string tok;
  while (std::getline(in, tok, ',')) {
    char* end = nullptr;
    const double x = std::strtod(tok.c_str(), &end);
    if (end == tok.c_str() || *end != '\0' || !(x >= 0)) fail("--sweep: not a damping: " + tok);
    v.push_back(x);
  }
  if (v.size() < 3) fail("--sweep: give at least three values");
  return v;
}

void usage() {
  std::fprintf(stderr,
               "usage: grid_compare INPUT.sat E [--out SATSI.out | --summary RUN.summary] [--sweep E1,E2,...] "
               "[--auto] [--quiet]\n");
  std::exit(2);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) usage();
  const std::string sat = argv[1];
  char* end = nullptr;
  const double e = std::strtod(argv[2], &end);
  if (end == argv[2] || *end != '\0' || !(e >= 0)) fail(std::string("not a damping: ") + argv[2]);
  std::string out_path, summary_path, sweep;
  bool quiet = false, automatic = false;
  for (int i = 3; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--out" && i + 1 < argc) out_path = argv[++i];
    else if (a == "--summary" && i + 1 < argc) summary_path = argv[++i];
    else if (a == "--sweep" && i + 1 < argc) sweep = argv[++i];
    else if (a == "--quiet") quiet = true;
    else if (a == "--auto") automatic = true;
    else usage();
  }
  if (!out_path.empty() && !summary_path.empty()) fail("give --out or --summary, not both");

  const std::vector<grid::CellData> cells = read_sat(sat);
  std::size_t planes = 0;
  for (const auto& c : cells) planes += c.planes.size();
  std::printf("# %s: %zu planes in %zu cells\n", sat.c_str(), planes, cells.size());

  std::map<grid::Index, Reference> ref;
  if (!out_path.empty()) ref = read_out(out_path, cells.front().index.size());
  if (!summary_path.empty()) ref = read_summary(summary_path, cells);

  try {
    const grid::DampedSolution sol = grid::solve_damped(cells, e);
    if (!quiet) print_cells(sol);
    if (!ref.empty()) print_stats(agree(sol, ref, !quiet));

    if (!sweep.empty()) {
      const std::vector<double> es = parse_list(sweep);
      std::vector<grid::DampedSolution> sols;
      for (double x : es) sols.push_back(grid::solve_damped(cells, x));
      double xlo = 1e300, xhi = -1e300, ylo = 1e300, yhi = -1e300;
      for (const auto& s : sols) {
        xlo = std::min(xlo, s.misfit), xhi = std::max(xhi, s.misfit);
        ylo = std::min(ylo, s.model_length), yhi = std::max(yhi, s.model_length);
      }
      std::size_t corner = 0;
      double best = 1e300;
      std::printf("\n%7s %12s %12s %9s %9s %9s\n", "e", "misfit", "model_len", "dS_med", "dS_max", "s1_max");
      for (std::size_t i = 0; i < sols.size(); ++i) {
        const double xx = xhi > xlo ? (sols[i].misfit - xlo) / (xhi - xlo) : 0.0;
        const double yy = yhi > ylo ? (sols[i].model_length - ylo) / (yhi - ylo) : 0.0;
        const double r = std::hypot(xx, yy);
        if (r < best) best = r, corner = i;
        std::printf("%7.3g %12.6g %12.6g", es[i], sols[i].misfit, sols[i].model_length);
        if (!ref.empty()) {
          const Agreement a = agree(sols[i], ref, false);
          std::printf(" %9.2f %9.2f %9.2f", median(a.ds), largest(a.ds), largest(a.a1));
        }
        std::printf("\n");
      }
      std::printf("corner by least distance to the origin (each axis scaled to its range): e = %g\n", es[corner]);
    }
    if (automatic) {
      const grid::Tradeoff t = grid::choose_damping(cells);
      std::printf("this program's own choice (--damping auto): e = %.4g (%s)\n", t.chosen, t.method.c_str());
    }
  } catch (const grid::DampedError& err) {
    fail(err.what());
  }
  return 0;
}
