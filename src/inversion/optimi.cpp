// Rotating coordinates: trial steps along N orthonormal directions, a step
// grows (x3) after a success and reverses and halves after a failure; once
// every direction has had a success followed by a failure, the directions are
// turned so that the first one follows the progress made since the last turn
// (Gram-Schmidt on the progress vectors). A call makes KMAX trial steps.
#include "inversion/optimi.hpp"

#include <cmath>
#include <string>

#include "inversion/misfit.hpp"
#include "runtime/errors.hpp"

namespace zk {
namespace {

constexpr float kStartStep = 0.1f;
constexpr float kGrow = 3.0f;
constexpr float kShrink = -0.5f;
// Per-direction state: no success yet / success(es), no failure since /
// a success later followed by a failure.
constexpr float kUntried = 2.0f;
constexpr float kSucceeded = 1.0f;
constexpr float kDone = 0.0f;

// Out of the bounds of its kind; a comparison with a NaN counts as out.
bool out_of_bounds(int kind, float x, float lo, float hi) {
  switch (kind) {
    case 0:
      return false;
    case 1:
      return !(x <= hi);
    case 2:
      return !(lo <= x && x <= hi);
    default:
      return !(x >= lo);
  }
}

}  // namespace

void rotate_directions(Mat4& V, const Vec4& D, int N, float& ALFA1, float& ALFA2, float& ALFA3) {
  // A(., L) = sum over J >= L of D(J) V(., J), all from the old directions.
  Mat4 A;
  for (int L = 1; L <= N; ++L) {
    for (int I = 1; I <= N; ++I) {
      float a = 0.0f;
      for (int J = L; J <= N; ++J) a = a + D(J) * V(I, J);
      A(I, L) = a;
    }
  }
  auto length = [&](int L) {
    float s = 0.0f;
    for (int I = 1; I <= N; ++I) s = s + A(I, L) * A(I, L);
    return std::sqrt(s);
  };
  ALFA1 = length(1);
  ALFA2 = N >= 3 ? length(2) : 0.0f;
  ALFA3 = N >= 3 ? length(3) : 0.0f;

  // Gram-Schmidt, each progress vector against the new directions already
  // built. A vector with nothing left (progress vectors linearly dependent,
  // e.g. a direction whose successes cancelled out) has no direction of its
  // own: the old direction L is kept rather than divided by a zero length.
  for (int L = 1; L <= N; ++L) {
    Vec4 B;
    for (int I = 1; I <= N; ++I) B(I) = A(I, L);
    for (int M = 1; M < L; ++M) {
      float p = 0.0f;
      for (int I = 1; I <= N; ++I) p = p + V(I, M) * A(I, L);
      for (int I = 1; I <= N; ++I) B(I) = B(I) - p * V(I, M);
    }
    float bb = 0.0f;
    for (int I = 1; I <= N; ++I) bb = bb + B(I) * B(I);
    const float blen = std::sqrt(bb);
    if (blen > 0.0f && std::isfinite(blen)) {
      for (int I = 1; I <= N; ++I) V(I, L) = B(I) / blen;
    }
  }
}

void OPTIMI(Workspace& ws, Vec4& X, const Vec4& XMIN, const Vec4& XMAX, const Vec<int, 4>& KIND, Vec4& XBEST,
            float& F, int IPRINT) {
  const int N = ws.iop.NPAR;
  if (N < 1 || N > 4) {
    throw rt::RunStop("OPTIMI: number of parameters " + std::to_string(N) + " is not within 1 to 4");
  }
  const int KMAX = ws.iop.KMAX;
  int& K = ws.iop.K;
  const bool trace = IPRINT == 1;

  Vec<int, 4> IND;
  for (int I = 1; I <= 4; ++I) IND(I) = I;
  K = 0;
  int out = 0;
  DIF(ws, X, F);
  float F0 = F;
  if (trace) ws.units.write(unit::kListing, "(/T3,'K=',I3,T20,'F0=',E11.4/)", K, F0);

  Mat4 V;
  for (int I = 1; I <= N; ++I) V(I, I) = 1.0f;
  Vec4 E;
  Vec4 D;
  Vec4 S;  // state of each direction

  for (;;) {
    // A new cycle of directions.
    for (int I = 1; I <= N; ++I) {
      E(I) = kStartStep;
      S(I) = kUntried;
      D(I) = 0.0f;
    }
    bool rotate = false;
    while (!rotate) {
      // A sweep over the directions.
      if (trace) {
        ws.units.write(unit::kListing, "(/T14,15('I=',I2,6X))", rt::Many<int>{IND.data(), N});
        ws.units.write(unit::kListing, "(/T6,'E(I)=',T11,15(F9.4,1X)/)", rt::Many<float>{E.data(), N});
      }
      for (int J = 1;;) {
        // Trial step along direction J.
        K = K + 1;
        for (int I = 1; I <= N; ++I) X(I) = X(I) + E(J) * V(I, J);
        if (trace) {
          ws.units.write(unit::kListing, "(/T14,15('I=',I2,6X))", rt::Many<int>{IND.data(), N});
          ws.units.write(unit::kListing, "(T6,'X(I)=',T11,15(F9.4,1X)//)", rt::Many<float>{X.data(), N});
        }
        for (int I = 1; I <= N; ++I) {
          if (out_of_bounds(KIND(I), X(I), XMIN(I), XMAX(I))) {
            if (trace) ws.units.write(unit::kListing, "(T2,'X',I2,'HORS LIMITE')", I);
            out = 1;
          }
        }
        bool success = false;
        if (out == 0) {
          DIF(ws, X, F);
          // A tie (or an undefined misfit) is a failure.
          success = F < F0;
          if (!success && trace) ws.units.write(unit::kListing, "(T12,'ECHEC')");
        }
        if (success) {
          D(J) = D(J) + E(J);
          E(J) = kGrow * E(J);
          F0 = F;
          for (int I = 1; I <= N; ++I) XBEST(I) = X(I);
          if (trace) ws.units.write(unit::kListing, "( T3,'K=',I3,T20,'F0=',E11.4/)", K, F);
          if (S(J) > 1.5f) S(J) = kSucceeded;
        } else {
          if (trace) ws.units.write(unit::kListing, "( T3,'K=',I3,T20,'F0=',E11.4/)", K, F);
          for (int I = 1; I <= N; ++I) X(I) = X(I) - E(J) * V(I, J);
          out = 0;
          E(J) = kShrink * E(J);
          if (S(J) < 1.5f) S(J) = kDone;
        }

        if (K >= KMAX) {
          K = K + 1;
          DIF(ws, X, F);
          return;
        }

        bool pending = false;
        for (int I = 1; I <= N; ++I) {
          if (S(I) >= 0.5f) pending = true;
        }
        if (!pending) {
          rotate = true;
          break;
        }
        if (J == N) break;  // next sweep
        J = J + 1;
      }
    }

    // Rotation of the directions.
    if (trace) ws.units.write(unit::kListing, "(/T5,'ROTATION DES AXES'/)");
    float ALFA1 = 0.0f;
    float ALFA2 = 0.0f;
    float ALFA3 = 0.0f;
    rotate_directions(V, D, N, ALFA1, ALFA2, ALFA3);
    if (trace) {
      if (N == 2) {
        ws.units.write(unit::kListing, "(T5,'ALFA1=',F9.4)", ALFA1);
      } else {
        const float ratio = ALFA2 / ALFA3;
        ws.units.write(unit::kListing, "(T5,'ALFA1=',F9.4,T25,'ALF2/ALFA3=',F9.4/)", ALFA1, ratio);
      }
      ws.units.write(unit::kListing, "(/T3,'V(I,J)=',T14,15('I=',I2,6X))", rt::Many<int>{IND.data(), N});
      for (int J = 1; J <= N; ++J) {
        ws.units.write(unit::kListing, "(T5,'J=',I2,5X,15(F9.4,1X))", J, rt::Many<float>{&V(1, J), N});
      }
    }
  }
}

}  // namespace zk
