#include "inversion/svd.hpp"

#include <cmath>

namespace zk {

namespace {

// QR sweeps allowed for one singular value before the decomposition is given
// up. Finite input converges in a few sweeps; the bound only stops a loop that
// a non-number or an overflow would otherwise keep running.
constexpr int kMaxSweeps = 75;

// Column-major views with the caller's leading dimensions, 1-based.
struct ColMajor {
  float* p;
  int ld;
  float& operator()(int i, int j) const { return p[(i - 1) + ld * (j - 1)]; }
};

// Householder g of a column or row part: -sqrt(s) when f > 0, +sqrt(s)
// otherwise (f = 0 included).
float householder_g(float f, float s) {
  const float r = std::sqrt(s);
  return f > 0.0f ? -r : r;
}

// The plane rotation that turns (f, h) onto (z, 0): its cosine c and sine s;
// returns z = sqrt(f^2 + h^2).
float givens(float f, float h, float& c, float& s) {
  const float z = std::sqrt(f * f + h * h);
  c = f / z;
  s = h / z;
  return z;
}

// (y, z) -> (y c + z s, -y s + z c) on columns a and b, rows 1..rows.
void rotate(const ColMajor& X, int rows, int a, int b, float c, float s) {
  for (int j = 1; j <= rows; ++j) {
    const float y = X(j, a);
    const float z = X(j, b);
    X(j, a) = y * c + z * s;
    X(j, b) = -y * s + z * c;
  }
}
// The decomposition in its phases (Golub & Reinsch 1970, Numer. Math. 14,
// 403-420): Householder reduction to bidiagonal form, accumulation of the
// right- and left-hand transformations, QR diagonalisation with shifts,
// sort. The work variables g, x, l carry from one phase to the next.
class GolubReinsch {
 public:
  GolubReinsch(int NM, int NV, int M, int N, SvdVectors vectors, float TOL, float* W, float* E, float* A,
               float* V)
      : a{A, NM},
        v{V, NV},
        W_(W),
        E_(E),
        M(M),
        N(N),
        WITHU(vectors == SvdVectors::Left || vectors == SvdVectors::Both),
        WITHV(vectors == SvdVectors::Right || vectors == SvdVectors::Both),
        TOL(TOL) {}

  bool finite_input() const {
    for (int j = 1; j <= N; ++j) {
      for (int i = 1; i <= M; ++i) {
        if (!std::isfinite(a(i, j))) return false;
      }
    }
    return true;
  }

  // Householder reduction to bidiagonal form; x becomes the largest
  // |w(i)| + |e(i)|.
  void bidiagonalise() {
    for (int i = 1; i <= N; ++i) {
      e(i) = g;
      s = 0.0f;
      l = i + 1;
      for (int j = i; j <= M; ++j) s = s + a(j, i) * a(j, i);
      if (s < TOL) {
        g = 0.0f;
      } else {
        f = a(i, i);
        g = householder_g(f, s);
        h = f * g - s;
        a(i, i) = f - g;
        for (int j = l; j <= N; ++j) {
          s = 0.0f;
          for (int k = i; k <= M; ++k) s = s + a(k, i) * a(k, j);
          f = s / h;
          for (int k = i; k <= M; ++k) a(k, j) = a(k, j) + f * a(k, i);
        }
      }
      w(i) = g;
      s = 0.0f;
      for (int j = l; j <= N; ++j) s = s + a(i, j) * a(i, j);
      // The last row has no part right of the diagonal (the sum is empty).
      if (i == N || s < TOL) {
        g = 0.0f;
      } else {
        f = a(i, i + 1);
        g = householder_g(f, s);
        h = f * g - s;
        a(i, i + 1) = f - g;
        for (int j = l; j <= N; ++j) e(j) = a(i, j) / h;
        for (int j = l; j <= M; ++j) {
          s = 0.0f;
          for (int k = l; k <= N; ++k) s = s + a(j, k) * a(i, k);
          for (int k = l; k <= N; ++k) a(j, k) = a(j, k) + s * e(k);
        }
      }
      const float y = std::fabs(w(i)) + std::fabs(e(i));
      if (y > x) x = y;
    }
  }

  // Accumulation of the right-hand transformations (g and l carried over).
  void accumulate_right() {
    if (WITHV) {
      for (int i = N; i >= 1; --i) {
        if (g != 0.0f) {
          h = a(i, i + 1) * g;
          for (int j = l; j <= N; ++j) v(j, i) = a(i, j) / h;
          for (int j = l; j <= N; ++j) {
            s = 0.0f;
            for (int k = l; k <= N; ++k) s = s + a(i, k) * v(k, j);
            for (int k = l; k <= N; ++k) v(k, j) = v(k, j) + s * v(k, i);
          }
        }
        for (int j = l; j <= N; ++j) {
          v(i, j) = 0.0f;
          v(j, i) = 0.0f;
        }
        v(i, i) = 1.0f;
        g = e(i);
        l = i;
      }
    }
  }

  // Accumulation of the left-hand transformations: A becomes U.
  void accumulate_left() {
    if (WITHU) {
      for (int i = N; i >= 1; --i) {
        l = i + 1;
        g = w(i);
        for (int j = l; j <= N; ++j) a(i, j) = 0.0f;
        if (g != 0.0f) {
          h = a(i, i) * g;
          for (int j = l; j <= N; ++j) {
            s = 0.0f;
            for (int k = l; k <= M; ++k) s = s + a(k, i) * a(k, j);
            f = s / h;
            for (int k = i; k <= M; ++k) a(k, j) = a(k, j) + f * a(k, i);
          }
          for (int j = i; j <= M; ++j) a(j, i) = a(j, i) / g;
        } else {
          for (int j = i; j <= M; ++j) a(j, i) = 0.0f;
        }
        a(i, i) = a(i, i) + 1.0f;
      }
    }
  }

  // Diagonalisation of the bidiagonal form; false when a singular value
  // needs more than kMaxSweeps QR sweeps.
  bool diagonalise(float& EPS) {
    EPS = EPS * x;
    for (int k = N; k >= 1; --k) {
      int sweeps = 0;
      for (;;) {
        // Splitting test. E(1) is zero by construction, so l = 1 always splits.
        bool cancel = false;
        for (l = k; l >= 1; --l) {
          if (std::fabs(e(l)) <= EPS || l == 1) break;
          if (std::fabs(w(l - 1)) <= EPS) {
            cancel = true;
            break;
          }
        }
        if (cancel) {
          // Cancellation of E(l), l > 1.
          float c = 0.0f;
          s = 1.0f;
          const int l1 = l - 1;
          for (int i = l; i <= k; ++i) {
            f = s * e(i);
            e(i) = c * e(i);
            if (std::fabs(f) <= EPS) break;
            g = w(i);
            h = std::sqrt(f * f + g * g);
            w(i) = h;
            c = g / h;
            s = -f / h;
            if (WITHU) rotate(a, M, l1, i, c, s);
          }
        }
        // Convergence test.
        float z = w(k);
        if (l == k) {
          if (z < 0.0f) {
            w(k) = -z;
            if (WITHV) {
              for (int j = 1; j <= N; ++j) v(j, k) = -v(j, k);
            }
          }
          break;
        }
        if (++sweeps > kMaxSweeps) return false;

        // Shift from the bottom 2 x 2 minor.
        x = w(l);
        float y = w(k - 1);
        g = e(k - 1);
        h = e(k);
        f = ((y - z) * (y + z) + (g - h) * (g + h)) / (2.0f * h * y);
        g = std::sqrt(f * f + 1.0f);
        f = ((x - z) * (x + z) + h * (y / (f < 0.0f ? f - g : f + g) - h)) / x;

        // Next QR transformation.
        float c = 1.0f;
        s = 1.0f;
        for (int i = l + 1; i <= k; ++i) {
          g = e(i);
          y = w(i);
          h = s * g;
          g = c * g;
          z = givens(f, h, c, s);
          e(i - 1) = z;
          f = x * c + g * s;
          g = -x * s + g * c;
          h = y * s;
          y = y * c;
          if (WITHV) rotate(v, N, i - 1, i, c, s);
          z = givens(f, h, c, s);
          w(i - 1) = z;
          f = c * g + s * y;
          x = -s * g + c * y;
          if (WITHU) rotate(a, M, i - 1, i, c, s);
        }
        e(l) = 0.0f;
        e(k) = f;
        w(k) = x;
      }
    }
    return true;
  }

  // Selection sort into decreasing order; on ties the first stays.
  void sort() {
    for (int i = 1; i <= N - 1; ++i) {
      int big = i;
      for (int j = i + 1; j <= N; ++j) {
        if (w(j) > w(big)) big = j;
      }
      if (big == i) continue;
      const float t = w(i);
      w(i) = w(big);
      w(big) = t;
      if (WITHU) {
        for (int j = 1; j <= M; ++j) {
          const float u = a(j, i);
          a(j, i) = a(j, big);
          a(j, big) = u;
        }
      }
      if (WITHV) {
        for (int j = 1; j <= N; ++j) {
          const float u = v(j, i);
          v(j, i) = v(j, big);
          v(j, big) = u;
        }
      }
    }
  }

  bool finite_values() const {
    for (int i = 1; i <= N; ++i) {
      if (!std::isfinite(w(i))) return false;
    }
    return true;
  }

 private:
  float& w(int i) const { return W_[i - 1]; }
  float& e(int i) const { return E_[i - 1]; }

  const ColMajor a;
  const ColMajor v;
  float* W_;
  float* E_;
  const int M, N;
  const bool WITHU, WITHV;  // U into A; V
  const float TOL;
  float g = 0.0f, x = 0.0f, f = 0.0f, h = 0.0f, s = 0.0f;
  int l = 1;
};

}  // namespace

bool SVDY(int NM, int NV, int M, int N, SvdVectors vectors, float& EPS, float TOL, float* W, float* E, float* A,
          float* V) {
  if (N < 1 || M < N || NM < M || NV < N) return false;
  GolubReinsch svd(NM, NV, M, N, vectors, TOL, W, E, A, V);
  if (!svd.finite_input()) return false;
  svd.bidiagonalise();
  svd.accumulate_right();  // each phase checks whether its factor is wanted
  svd.accumulate_left();
  if (!svd.diagonalise(EPS)) return false;
  // An overflow inside the reduction leaves non-numbers behind.
  if (!svd.finite_values()) return false;
  svd.sort();
  return true;
}

}  // namespace zk
