#pragma once
// The linear stress inversion of Michael (1984, J. Geophys. Res. 89,
// 11517-11526), the fault instability of Vavrycuk (2014, Geophys. J. Int.
// 199, 69-77) and the misfit of a fault under a tensor.
//
// Numbers: double precision (beside the listing). Frame and conventions as in
// engine/stress_state.hpp and mechanisms/geometry.hpp: compression positive,
// R = (sigma 2 - sigma 3) / (sigma 1 - sigma 3).
#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <vector>

#include "engine/engine.hpp"
#include "engine/stress_state.hpp"
#include "data/nodal_planes.hpp"

namespace zk::mech {

// A tensor by its principal axes (unit, sigma 1 to 3) and R.
struct Principal {
  std::array<AxisVector, 3> axes{};
  double R = 0.0;
};
Principal principal_of(const TensorSnapshot& t);
// The axes of a symmetric tensor by decreasing eigenvalue (sigma 1 first,
// compression positive) and R; the values, in the same order, into `values`
// when given.
Principal principal_of(const Matrix3& T, std::array<double, 3>* values = nullptr);
// The reduced tensor of `p` (reduced_tensor(axes, R)).
Matrix3 tensor_of(const Principal& p);

// Michael's inversion: the traceless tensor (five unknowns) whose shear
// traction T n - (n.T n) n is nearest, in least squares, to the unit slip of
// every datum (the shear stress magnitude assumed the same on every plane).
// `ok` is false with fewer than three data or a singular system.
struct LinearResult {
  bool ok = false;
  Matrix3 tensor{};  // the least-squares tensor as solved (not rescaled)
  Principal stress;
};
LinearResult linear_inversion(const std::vector<DoubleCouple>& data);

// Instability of a plane of unit normal n for friction mu: with the stresses
// scaled so that sigma 1 = 1 and sigma 3 = -1, I = (tau - mu (sigma_n - 1)) /
// (mu + sqrt(1 + mu^2)); 1 on the most unstable plane, 0 on the plane normal
// to sigma 1.
double instability(const Principal& s, const AxisVector& n, double mu);

// The angle (degrees, 0 to 180) between a datum's slip and the shear traction
// of T on its plane, as the engine measures its misfit; 90 on a plane
// without shear traction.
double misfit_deg(const Matrix3& T, const DoubleCouple& dc);

// Solves the n x n system A x = b (double) by Gaussian elimination with
// partial pivoting; false when a pivot is below `tolerance` times the
// largest entry of A, or x is not finite.
template <std::size_t n>
bool solve_dense(std::array<std::array<double, n>, n> A, std::array<double, n> b, std::array<double, n>& x,
                 double tolerance) {
  double scale = 0.0;
  for (const auto& row : A) {
    for (double v : row) scale = std::max(scale, std::fabs(v));
  }
  if (!(scale > 0.0)) return false;
  for (std::size_t c = 0; c < n; ++c) {
    std::size_t pivot = c;
    for (std::size_t r = c + 1; r < n; ++r) {
      if (std::fabs(A[r][c]) > std::fabs(A[pivot][c])) pivot = r;
    }
    if (!(std::fabs(A[pivot][c]) > tolerance * scale)) return false;
    std::swap(A[c], A[pivot]);
    std::swap(b[c], b[pivot]);
    for (std::size_t r = c + 1; r < n; ++r) {
      const double f = A[r][c] / A[c][c];
      for (std::size_t k = c; k < n; ++k) A[r][k] -= f * A[c][k];
      b[r] -= f * b[c];
    }
  }
  for (std::size_t c = n; c-- > 0;) {
    double v = b[c];
    for (std::size_t k = c + 1; k < n; ++k) v -= A[c][k] * x[k];
    x[c] = v / A[c][c];
  }
  return std::all_of(x.begin(), x.end(), [](double v) { return std::isfinite(v); });
}

}  // namespace zk::mech
