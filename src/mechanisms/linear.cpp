#include "mechanisms/linear.hpp"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace zk::mech {
namespace {

constexpr double kDegPerRad = 180.0 / std::numbers::pi;

// Eigenvalues and unit eigenvectors (columns of V) of a symmetric 3 x 3
// matrix by cyclic Jacobi rotations.
void jacobi(Matrix3 a, std::array<double, 3>& values, Matrix3& V) {
  V = {{{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}};
  for (int sweep = 0; sweep < 60; ++sweep) {
    const double off = a[0][1] * a[0][1] + a[0][2] * a[0][2] + a[1][2] * a[1][2];
    if (off < 1e-30) break;
    for (std::size_t p = 0; p < 2; ++p) {
      for (std::size_t q = p + 1; q < 3; ++q) {
        if (std::fabs(a[p][q]) < 1e-300) continue;
        const double theta = (a[q][q] - a[p][p]) / (2.0 * a[p][q]);
        const double t = (theta >= 0.0 ? 1.0 : -1.0) / (std::fabs(theta) + std::sqrt(theta * theta + 1.0));
        const double c = 1.0 / std::sqrt(t * t + 1.0), s = t * c;
        for (std::size_t k = 0; k < 3; ++k) {
          const double akp = a[k][p], akq = a[k][q];
          a[k][p] = c * akp - s * akq;
          a[k][q] = s * akp + c * akq;
        }
        for (std::size_t k = 0; k < 3; ++k) {
          const double apk = a[p][k], aqk = a[q][k];
          a[p][k] = c * apk - s * aqk;
          a[q][k] = s * apk + c * aqk;
        }
        for (std::size_t k = 0; k < 3; ++k) {
          const double vkp = V[k][p], vkq = V[k][q];
          V[k][p] = c * vkp - s * vkq;
          V[k][q] = s * vkp + c * vkq;
        }
      }
    }
  }
  values = {a[0][0], a[1][1], a[2][2]};
}

}  // namespace

Principal principal_of(const TensorSnapshot& t) {
  Principal p;
  for (std::size_t L = 0; L < 3; ++L) {
    for (std::size_t c = 0; c < 3; ++c) {
      p.axes[L][c] = static_cast<double>(t.ROT(static_cast<int>(L + 1), static_cast<int>(c + 1)));
    }
  }
  p.R = static_cast<double>(t.P(4));
  return p;
}

Principal principal_of(const Matrix3& T, std::array<double, 3>* values) {
  std::array<double, 3> w{};
  Matrix3 V{};
  jacobi(T, w, V);
  std::array<std::size_t, 3> order{0, 1, 2};
  std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return w[a] > w[b]; });
  Principal p;
  for (std::size_t L = 0; L < 3; ++L) {
    for (std::size_t c = 0; c < 3; ++c) p.axes[L][c] = V[c][order[L]];
  }
  const double spread = w[order[0]] - w[order[2]];
  p.R = spread > 0.0 ? (w[order[1]] - w[order[2]]) / spread : 0.5;
  if (values != nullptr) *values = {w[order[0]], w[order[1]], w[order[2]]};
  return p;
}

Matrix3 tensor_of(const Principal& p) { return reduced_tensor(p.axes, p.R); }

LinearResult linear_inversion(const std::vector<DoubleCouple>& data) {
  LinearResult r;
  if (data.size() < 3) return r;
  // Unknowns x = (T11, T12, T13, T22, T23), T33 = -T11 - T22. The shear
  // traction is linear in them: row i of G(n) gives component i.
  std::array<std::array<double, 5>, 5> A{};
  std::array<double, 5> b{};
  for (const DoubleCouple& d : data) {
    const double n1 = d.normal[0], n2 = d.normal[1], n3 = d.normal[2];
    const double G[3][5] = {
        {n1 - n1 * n1 * n1 + n1 * n3 * n3, n2 * (1.0 - 2.0 * n1 * n1), n3 * (1.0 - 2.0 * n1 * n1),
         -n1 * n2 * n2 + n1 * n3 * n3, -2.0 * n1 * n2 * n3},
        {-n2 * n1 * n1 + n2 * n3 * n3, n1 * (1.0 - 2.0 * n2 * n2), -2.0 * n1 * n2 * n3,
         n2 - n2 * n2 * n2 + n2 * n3 * n3, n3 * (1.0 - 2.0 * n2 * n2)},
        {-n3 * n1 * n1 - n3 + n3 * n3 * n3, -2.0 * n1 * n2 * n3, n1 * (1.0 - 2.0 * n3 * n3),
         -n3 * n2 * n2 - n3 + n3 * n3 * n3, n2 * (1.0 - 2.0 * n3 * n3)}};
    for (std::size_t i = 0; i < 3; ++i) {
      for (std::size_t j = 0; j < 5; ++j) {
        for (std::size_t k = 0; k < 5; ++k) A[j][k] += G[i][j] * G[i][k];
        b[j] += G[i][j] * d.slip[i];
      }
    }
  }
  std::array<double, 5> x{};
  if (!solve_dense<5>(A, b, x, 1e-10)) return r;
  r.tensor = {{{x[0], x[1], x[2]}, {x[1], x[3], x[4]}, {x[2], x[4], -x[0] - x[3]}}};
  std::array<double, 3> values{};
  r.stress = principal_of(r.tensor, &values);
  r.ok = values[0] - values[2] > 1e-12;
  return r;
}

double instability(const Principal& s, const AxisVector& n, double mu) {
  const double v[3] = {1.0, 2.0 * s.R - 1.0, -1.0};
  double sn = 0.0, t2 = 0.0;
  for (std::size_t L = 0; L < 3; ++L) {
    const double c = dot(n, s.axes[L]);
    sn += v[L] * c * c;
    t2 += v[L] * v[L] * c * c;
  }
  const double tau = std::sqrt(std::max(0.0, t2 - sn * sn));
  return (tau - mu * (sn - 1.0)) / (mu + std::sqrt(1.0 + mu * mu));
}

double misfit_deg(const Matrix3& T, const DoubleCouple& dc) {
  return slip_misfit_rad(T, dc.normal, dc.slip) * kDegPerRad;
}

}  // namespace zk::mech
