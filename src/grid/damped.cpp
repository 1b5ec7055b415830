#include "grid/damped.hpp"

#include <Eigen/Dense>
#include <Eigen/SparseCholesky>
#include <Eigen/SparseCore>
#include <algorithm>
#include <cmath>
#include <map>
#include <numeric>
#include <set>

namespace zk::grid {
namespace {

using Mat5 = Eigen::Matrix<double, 5, 5>;
using Vec5 = Eigen::Matrix<double, 5, 1>;

// The shear traction on the plane of unit normal n as a linear function of
// the unknowns (T11, T12, T13, T22, T23): row i gives component i (the rows
// of mech::linear_inversion).
Eigen::Matrix<double, 3, 5> shear_rows(const AxisVector& n) {
  const double n1 = n[0], n2 = n[1], n3 = n[2];
  Eigen::Matrix<double, 3, 5> G;
  G << n1 - n1 * n1 * n1 + n1 * n3 * n3, n2 * (1.0 - 2.0 * n1 * n1), n3 * (1.0 - 2.0 * n1 * n1),
      -n1 * n2 * n2 + n1 * n3 * n3, -2.0 * n1 * n2 * n3,  //
      -n2 * n1 * n1 + n2 * n3 * n3, n1 * (1.0 - 2.0 * n2 * n2), -2.0 * n1 * n2 * n3,
      n2 - n2 * n2 * n2 + n2 * n3 * n3, n3 * (1.0 - 2.0 * n2 * n2),  //
      -n3 * n1 * n1 - n3 + n3 * n3 * n3, -2.0 * n1 * n2 * n3, n1 * (1.0 - 2.0 * n3 * n3),
      -n3 * n2 * n2 - n3 + n3 * n3 * n3, n2 * (1.0 - 2.0 * n3 * n3);
  return G;
}

Matrix3 matrix_of(const Vec5& x) {
  return {{{x(0), x(1), x(2)}, {x(1), x(3), x(4)}, {x(2), x(4), -x(0) - x(3)}}};
}

// A 5 x 5 normal matrix fixes the five unknowns when it is positive definite
// beyond rounding (the same bound on the pivots as mech::linear_inversion).
bool determined(const Mat5& A) {
  const double scale = A.cwiseAbs().maxCoeff();
  if (!(scale > 0.0) || !std::isfinite(scale)) return false;
  const Eigen::SelfAdjointEigenSolver<Mat5> eig(A, Eigen::EigenvaluesOnly);
  return eig.eigenvalues()(0) > 1e-10 * scale;
}

std::string index_text(const Index& i) { return cell_name(i); }

void check_damping(double e) {
  if (e == 0.0) return;
  if (!(e >= kMinDamping && e <= kMaxDamping)) {
    throw DampedError("the damping e must be 0 or from 1e-6 to 1000, not " + std::to_string(e));
  }
}

// Everything of the system that does not depend on e.
struct System {
  std::vector<Index> index;      // input cells, then gap cells
  std::vector<const std::vector<mech::DoubleCouple>*> planes;  // null for a gap cell
  std::vector<Mat5> GtG;
  std::vector<Vec5> Gtd;
  std::vector<std::pair<std::size_t, std::size_t>> pairs;  // adjacent cells, first < second
  std::size_t inputs = 0;
};

const std::vector<mech::DoubleCouple> kNoPlanes;

void check_input(const std::vector<CellData>& cells) {
  if (cells.empty()) throw DampedError("the damped inversion needs at least one cell; none was given");
  const std::size_t dims = cells.front().index.size();
  if (dims == 0) throw DampedError("a cell index needs at least one axis");
  std::set<Index> seen;
  for (const CellData& c : cells) {
    if (c.index.size() != dims) {
      throw DampedError("cell " + index_text(c.index) + " has " + std::to_string(c.index.size()) +
                        " indices where the first cell has " + std::to_string(dims));
    }
    if (!seen.insert(c.index).second) throw DampedError("cell " + index_text(c.index) + " is given twice");
    for (int v : c.index) {
      if (v < -kMaxIndex || v > kMaxIndex) {
        throw DampedError("cell " + index_text(c.index) + " has an index beyond " + std::to_string(kMaxIndex));
      }
    }
    for (std::size_t k = 0; k < c.planes.size(); ++k) {
      for (int i = 0; i < 3; ++i) {
        if (!std::isfinite(c.planes[k].normal[static_cast<std::size_t>(i)]) ||
            !std::isfinite(c.planes[k].slip[static_cast<std::size_t>(i)])) {
          throw DampedError("plane " + std::to_string(k + 1) + " of cell " + index_text(c.index) + " is not finite");
        }
      }
    }
  }
}

System build(const std::vector<CellData>& cells) {
  check_input(cells);
  System s;
  s.inputs = cells.size();
  std::map<Index, std::size_t> where;
  for (const CellData& c : cells) {
    where.emplace(c.index, s.index.size());
    s.index.push_back(c.index);
    s.planes.push_back(&c.planes);
  }
  // Gap cells: along each axis, the cells between two consecutive cells
  // with events on one line.
  const std::size_t dims = cells.front().index.size();
  std::set<Index> gaps;
  for (std::size_t a = 0; a < dims; ++a) {
    std::map<Index, std::vector<int>> lines;
    for (const CellData& c : cells) {
      if (c.planes.empty()) continue;
      Index key = c.index;
      key[a] = 0;
      lines[key].push_back(c.index[a]);
    }
    long long count = 0;
    for (auto& [key, at] : lines) {
      std::sort(at.begin(), at.end());
      for (std::size_t k = 1; k < at.size(); ++k) count += static_cast<long long>(at[k]) - at[k - 1] - 1;
    }
    if (count + static_cast<long long>(gaps.size()) > kMaxGapCells) {
      throw DampedError("the cells leave more than " + std::to_string(kMaxGapCells) +
                        " empty cells between them along the " + std::to_string(a + 1) +
                        (a == 0 ? "st" : a == 1 ? "nd" : a == 2 ? "rd" : "th") + " axis: too sparse a grid to damp");
    }
    for (auto& [key, at] : lines) {
      for (std::size_t k = 1; k < at.size(); ++k) {
        for (int v = at[k - 1] + 1; v < at[k]; ++v) {
          Index g = key;
          g[a] = v;
          if (where.count(g) == 0) gaps.insert(g);
        }
      }
    }
  }
  for (const Index& g : gaps) {
    where.emplace(g, s.index.size());
    s.index.push_back(g);
    s.planes.push_back(&kNoPlanes);
  }
  for (std::size_t c = 0; c < s.index.size(); ++c) {
    for (std::size_t a = 0; a < dims; ++a) {
      Index up = s.index[c];
      ++up[a];
      if (const auto it = where.find(up); it != where.end()) s.pairs.emplace_back(c, it->second);
    }
  }
  s.GtG.assign(s.index.size(), Mat5::Zero());
  s.Gtd.assign(s.index.size(), Vec5::Zero());
  for (std::size_t c = 0; c < s.index.size(); ++c) {
    for (const mech::DoubleCouple& d : *s.planes[c]) {
      const auto G = shear_rows(d.normal);
      const Eigen::Vector3d slip(d.slip[0], d.slip[1], d.slip[2]);
      s.GtG[c].noalias() += G.transpose() * G;
      s.Gtd[c].noalias() += G.transpose() * slip;
    }
  }
  return s;
}

std::size_t find_root(std::vector<std::size_t>& parent, std::size_t i) {
  while (parent[i] != i) {
    parent[i] = parent[parent[i]];
    i = parent[i];
  }
  return i;
}

DampedSolution solve_system(const System& s, double e) {
  check_damping(e);
  const std::size_t n = s.index.size();
  // Groups of cells the damping ties together (each cell alone when e = 0);
  // a group's tensors are fixed when its planes pooled fix one tensor.
  std::vector<std::size_t> parent(n);
  std::iota(parent.begin(), parent.end(), std::size_t{0});
  if (e > 0.0) {
    for (const auto& [a, b] : s.pairs) parent[find_root(parent, a)] = find_root(parent, b);
  }
  std::vector<Mat5> pooled(n, Mat5::Zero());
  for (std::size_t c = 0; c < n; ++c) pooled[find_root(parent, c)] += s.GtG[c];
  std::vector<bool> fixed(n);
  for (std::size_t c = 0; c < n; ++c) fixed[c] = determined(pooled[find_root(parent, c)]);

  // The unknowns of the fixed cells, five each, and the normal equations
  // G^T G + e^4 (L x I5): the data rows and, per adjacent pair, the rows
  // e^2 (x_c - x_d) = 0.
  std::vector<long> column(n, -1);
  long unknowns = 0;
  for (std::size_t c = 0; c < n; ++c) {
    if (fixed[c]) {
      column[c] = unknowns;
      unknowns += 5;
    }
  }
  Eigen::VectorXd x = Eigen::VectorXd::Zero(unknowns);
  if (unknowns > 0) {
    const double e4 = e * e * e * e;
    std::vector<Eigen::Triplet<double>> entries;
    entries.reserve(static_cast<std::size_t>(unknowns) * 5 + s.pairs.size() * 20);
    Eigen::VectorXd rhs = Eigen::VectorXd::Zero(unknowns);
    for (std::size_t c = 0; c < n; ++c) {
      if (column[c] < 0) continue;
      for (long i = 0; i < 5; ++i) {
        rhs(column[c] + i) = s.Gtd[c](i);
        for (long j = 0; j < 5; ++j) {
          if (s.GtG[c](i, j) != 0.0) entries.emplace_back(column[c] + i, column[c] + j, s.GtG[c](i, j));
        }
      }
    }
    if (e4 > 0.0) {
      for (const auto& [a, b] : s.pairs) {
        if (column[a] < 0 || column[b] < 0) continue;
        for (long i = 0; i < 5; ++i) {
          entries.emplace_back(column[a] + i, column[a] + i, e4);
          entries.emplace_back(column[b] + i, column[b] + i, e4);
          entries.emplace_back(column[a] + i, column[b] + i, -e4);
          entries.emplace_back(column[b] + i, column[a] + i, -e4);
        }
      }
    }
    Eigen::SparseMatrix<double> A(unknowns, unknowns);
    A.setFromTriplets(entries.begin(), entries.end());
    Eigen::SimplicialLDLT<Eigen::SparseMatrix<double>> solver(A);
    if (solver.info() != Eigen::Success) throw DampedError("the damped system could not be factorised");
    x = solver.solve(rhs);
    if (!x.allFinite()) throw DampedError("the damped system could not be solved at e = " + std::to_string(e));
  }

  DampedSolution out;
  out.e = e;
  out.gap_cells = static_cast<int>(n - s.inputs);
  double squares = 0.0;
  long rows = 0;
  for (std::size_t c = 0; c < n; ++c) {
    CellAnswer a;
    a.index = s.index[c];
    a.has_events = !s.planes[c]->empty();
    a.planes = static_cast<int>(s.planes[c]->size());
    if (column[c] >= 0) {
      const Vec5 xc = x.segment<5>(column[c]);
      const Matrix3 T = matrix_of(xc);
      std::array<double, 3> values{};
      a.stress = mech::principal_of(T, &values);
      double norm2 = 0.0;
      for (const auto& row : T) {
        for (double v : row) norm2 += v * v;
      }
      const double norm = std::sqrt(norm2);
      a.status = values[0] - values[2] > 1e-12 && std::isfinite(norm) ? CellStatus::solved : CellStatus::isotropic;
      if (norm > 0.0 && std::isfinite(norm)) {
        for (std::size_t i = 0; i < 3; ++i) {
          for (std::size_t j = 0; j < 3; ++j) a.tensor[i][j] = T[i][j] / norm;
        }
      }
      if (a.status == CellStatus::solved) a.state = stress_state(a.stress.axes, a.stress.R);
      double misfit = 0.0;
      for (const mech::DoubleCouple& d : *s.planes[c]) {
        const Eigen::Vector3d r =
            shear_rows(d.normal) * xc - Eigen::Vector3d(d.slip[0], d.slip[1], d.slip[2]);
        squares += r.squaredNorm();
        rows += 3;
        misfit += mech::misfit_deg(T, d);
      }
      if (a.planes > 0) a.mean_misfit_deg = misfit / a.planes;
    }
    out.cells.push_back(std::move(a));
  }
  out.misfit = rows > 0 ? squares / static_cast<double>(rows) : 0.0;
  for (const auto& [a, b] : s.pairs) {
    if (column[a] < 0 || column[b] < 0) continue;
    out.model_length += (x.segment<5>(column[a]) - x.segment<5>(column[b])).squaredNorm();
  }
  return out;
}

}  // namespace

const char* cell_status_name(CellStatus s) {
  switch (s) {
    case CellStatus::solved: return "solved";
    case CellStatus::underdetermined: return "underdetermined";
    case CellStatus::isotropic: return "isotropic";
  }
  return "?";
}

DampedSolution solve_damped(const std::vector<CellData>& cells, double e) {
  check_damping(e);
  return solve_system(build(cells), e);
}

std::vector<TradeoffPoint> tradeoff_curve(const std::vector<CellData>& cells, const std::vector<double>& es) {
  const System s = build(cells);
  std::vector<TradeoffPoint> curve;
  for (double e : es) {
    const DampedSolution sol = solve_system(s, e);
    curve.push_back({e, sol.misfit, sol.model_length});
  }
  return curve;
}

}  // namespace zk::grid
