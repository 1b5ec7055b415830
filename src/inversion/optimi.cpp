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
bool out_of_bounds(Bound kind, float x, float lo, float hi) {
  switch (kind) {
    case Bound::None:
      return false;
    case Bound::Upper:
      return !(x <= hi);
    case Bound::Both:
      return !(lo <= x && x <= hi);
    case Bound::Lower:
      break;
  }
  return !(x >= lo);
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

namespace {

// The search state of one call: directions V, step E, progress D and state S
// of each direction, the best misfit F0.
struct Search {
  int N = 0;
  bool trace = false;
  Vec<int, 4> IND;
  Mat4 V;
  Vec4 E, D, S;
  float F0 = 0.0f;
  int out = 0;
};

// One trial step along direction J from X: kept (X moved, the step grown)
// when the misfit falls, else undone (the step reversed and halved).
void trial_step(Workspace& ws, Search& s, int J, Vec4& X, const Vec4& XMIN, const Vec4& XMAX,
                const Vec<Bound, 4>& KIND, Vec4& XBEST, float& F) {
  const int N = s.N;
  int& K = ws.iop.K;
  K = K + 1;
  for (int I = 1; I <= N; ++I) X(I) = X(I) + s.E(J) * s.V(I, J);
  if (s.trace) {
    ws.units.write(unit::kListing, "(/T14,15('I=',I2,6X))", rt::Many<int>{s.IND.data(), N});
    ws.units.write(unit::kListing, "(T6,'X(I)=',T11,15(F9.4,1X)//)", rt::Many<float>{X.data(), N});
  }
  for (int I = 1; I <= N; ++I) {
    if (out_of_bounds(KIND(I), X(I), XMIN(I), XMAX(I))) {
      if (s.trace) ws.units.write(unit::kListing, "(T2,'X',I2,'HORS LIMITE')", I);
      s.out = 1;
    }
  }
  bool success = false;
  if (s.out == 0) {
    DIF(ws, X, F);
    // A tie (or an undefined misfit) is a failure.
    success = F < s.F0;
    if (!success && s.trace) ws.units.write(unit::kListing, "(T12,'ECHEC')");
  }
  if (success) {
    s.D(J) = s.D(J) + s.E(J);
    s.E(J) = kGrow * s.E(J);
    s.F0 = F;
    for (int I = 1; I <= N; ++I) XBEST(I) = X(I);
    if (s.trace) ws.units.write(unit::kListing, "( T3,'K=',I3,T20,'F0=',E11.4/)", K, F);
    if (s.S(J) > 1.5f) s.S(J) = kSucceeded;
  } else {
    if (s.trace) ws.units.write(unit::kListing, "( T3,'K=',I3,T20,'F0=',E11.4/)", K, F);
    for (int I = 1; I <= N; ++I) X(I) = X(I) - s.E(J) * s.V(I, J);
    s.out = 0;
    s.E(J) = kShrink * s.E(J);
    if (s.S(J) < 1.5f) s.S(J) = kDone;
  }
}

// The trace of a turn of the directions.
void list_rotation(Workspace& ws, const Search& s, float ALFA1, float ALFA2, float ALFA3) {
  const int N = s.N;
  if (N == 2) {
    ws.units.write(unit::kListing, "(T5,'ALFA1=',F9.4)", ALFA1);
  } else {
    const float ratio = ALFA2 / ALFA3;
    ws.units.write(unit::kListing, "(T5,'ALFA1=',F9.4,T25,'ALF2/ALFA3=',F9.4/)", ALFA1, ratio);
  }
  ws.units.write(unit::kListing, "(/T3,'V(I,J)=',T14,15('I=',I2,6X))", rt::Many<int>{s.IND.data(), N});
  for (int J = 1; J <= N; ++J) {
    ws.units.write(unit::kListing, "(T5,'J=',I2,5X,15(F9.4,1X))", J, rt::Many<float>{&s.V(1, J), N});
  }
}

}  // namespace

void OPTIMI(Workspace& ws, Vec4& X, const Vec4& XMIN, const Vec4& XMAX, const Vec<Bound, 4>& KIND, Vec4& XBEST,
            float& F, Detail detail) {
  Search s;
  s.N = ws.iop.NPAR;
  const int N = s.N;
  if (N < 1 || N > 4) {
    throw rt::RunStop("OPTIMI: number of parameters " + std::to_string(N) + " is not within 1 to 4");
  }
  const int KMAX = ws.iop.KMAX;
  int& K = ws.iop.K;
  s.trace = detail == Detail::Traces;

  for (int I = 1; I <= 4; ++I) s.IND(I) = I;
  K = 0;
  DIF(ws, X, F);
  s.F0 = F;
  if (s.trace) ws.units.write(unit::kListing, "(/T3,'K=',I3,T20,'F0=',E11.4/)", K, s.F0);
  for (int I = 1; I <= N; ++I) s.V(I, I) = 1.0f;

  for (;;) {
    // A new cycle of directions.
    for (int I = 1; I <= N; ++I) {
      s.E(I) = kStartStep;
      s.S(I) = kUntried;
      s.D(I) = 0.0f;
    }
    bool rotate = false;
    while (!rotate) {
      // A sweep over the directions.
      if (s.trace) {
        ws.units.write(unit::kListing, "(/T14,15('I=',I2,6X))", rt::Many<int>{s.IND.data(), N});
        ws.units.write(unit::kListing, "(/T6,'E(I)=',T11,15(F9.4,1X)/)", rt::Many<float>{s.E.data(), N});
      }
      for (int J = 1;;) {
        trial_step(ws, s, J, X, XMIN, XMAX, KIND, XBEST, F);
        if (K >= KMAX) {
          K = K + 1;
          DIF(ws, X, F);
          return;
        }
        bool pending = false;
        for (int I = 1; I <= N; ++I) {
          if (s.S(I) >= 0.5f) pending = true;
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
    if (s.trace) ws.units.write(unit::kListing, "(/T5,'ROTATION DES AXES'/)");
    float ALFA1 = 0.0f;
    float ALFA2 = 0.0f;
    float ALFA3 = 0.0f;
    rotate_directions(s.V, s.D, N, ALFA1, ALFA2, ALFA3);
    if (s.trace) list_rotation(ws, s, ALFA1, ALFA2, ALFA3);
  }
}

}  // namespace zk
