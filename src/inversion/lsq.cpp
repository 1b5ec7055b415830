#include "inversion/lsq.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <string>
#include <vector>

#include "data/geometry.hpp"
#include "inversion/nearest.hpp"
#include "inversion/svd.hpp"
#include "runtime/errors.hpp"

namespace zk {

namespace {

// Degrees per radian of this stage: 180/3.14, not 180/pi, applied as
// "* 180 / 3.14" in that order.
constexpr float kDeg180 = 180.0f;
constexpr float kPiRounded = 3.14f;

constexpr float kStartSum = 1.0e30f;    // Smin before the first evaluation
constexpr float kDenFloor = 1.0e-4f;    // floor of the sine in a residual
constexpr float kSvdEps = 1.0e-7f;      // relative precision of SVDY
constexpr float kSvdTol = 1.0e-7f;      // Householder sum-of-squares floor
constexpr float kKeepFloor = 1.0e-5f;   // singular values kept above this
constexpr float kConvStep = 0.005f;     // rms step size of convergence
constexpr int kConvMinIt = 5;           // convergence only after this many
constexpr int kNPar = 4;

// The regression's rows: at least kMaxData (the leading dimension of the
// decomposition), or the NMIN of a larger run.
using Column = std::vector<float>;
struct Block {
  explicit Block(int rows) : rows(rows), v(static_cast<std::size_t>(rows) * kNPar, 0.0f) {}
  int rows;
  std::vector<float> v;
};

float& at(Block& b, int i, int k) {
  return b.v[static_cast<std::size_t>(i - 1) + static_cast<std::size_t>(b.rows) * static_cast<std::size_t>(k - 1)];
}

// Error of a direction from its gradient Gq over the angles (R does not move
// the axes): sqrt(s2 * sum over M of ((V(., M) . Gq) / W(M))^2).
float axis_error(float s2, const Vec4& Gq, const Vec4& W, const Mat4& V) {
  float acc = 0.0f;
  for (int M = 1; M <= kNPar; ++M) {
    float sum = 0.0f;
    for (int k = 1; k <= kNPar; ++k) sum = sum + V(k, M) * Gq(k);
    const float t = sum / W(M);
    acc = acc + t * t;
  }
  return std::sqrt(s2 * acc);
}

// The residuals of the NMIN best data (ranked by the last evaluation) for
// the tensor in mec/mecd, res(I) = sin(a) a / max(sin(a), 1e-4) with a the
// misfit angle (radians), and their Jacobian A over (PSI, TETA, PHI, R);
// returns the sum of the squared angles.
float residuals(Workspace& ws, int NMIN, Column& res, Block& A) {
  const int N = ws.tir.N;
  float S = 0.0f;
  for (int I = 1; I <= NMIN; ++I) {
    int j = ws.tab.IX(I);
    if (j < 1 || j > N) j = I;  // no ranking yet: the datum of the same rank
    Vec3 n;
    Vec3 sobs;
    datum_vectors(ws, j, n, sobs);
    Vec3 spred;
    Mat<float, 3, 4> ds;
    STRIED(ws, n, spred, ds);

    float c = 0.0f;
    for (int i = 1; i <= 3; ++i) c = c + spred(i) * sobs(i);
    if (c > 1.0f) c = 1.0f;
    if (c < -1.0f) c = -1.0f;
    const float angle = std::acos(c);
    const float sine = std::sqrt(1.0f - c * c);
    const float den = sine > kDenFloor ? sine : kDenFloor;
    res[static_cast<std::size_t>(I - 1)] = sine * angle / den;
    for (int k = 1; k <= kNPar; ++k) {
      float d = 0.0f;
      for (int i = 1; i <= 3; ++i) d = d + ds(i, k) * sobs(i);
      at(A, I, k) = d / den;
    }
    S = S + angle * angle;
  }
  return S;
}

// The closing lines: linearised standard errors (degrees) of the direction
// and plunge of each axis and of R, from the misfit sum s2 (square radians)
// and the last decomposition (W, V, all four singular values), for the axes
// of the last point evaluated (mec, mecd).
void listed_errors(Workspace& ws, float s2, const Vec4& W, const Mat4& V, CmqResult& out) {
  for (int L = 1; L <= 3; ++L) {
    const float x = ws.mec.ROT(L, 1);
    const float y = ws.mec.ROT(L, 2);
    const float z = ws.mec.ROT(L, 3);
    const float h2 = x * x + y * y;
    const float h = std::sqrt(h2);
    // A vertical axis (h = 0) has no azimuth: its errors are IEEE results.
    const Vec3 ga{{y / h2, -x / h2, 0.0f}};
    const Vec3 gp{{-x * z / h, -y * z / h, h}};
    Vec4 Ga;
    Vec4 Gp;
    for (int k = 1; k <= 3; ++k) {
      float sa = 0.0f;
      float sp = 0.0f;
      for (int c = 1; c <= 3; ++c) {
        sa = sa + ga(c) * ws.mecd.DROT(L, c, k);
        sp = sp + gp(c) * ws.mecd.DROT(L, c, k);
      }
      Ga(k) = sa;
      Gp(k) = sp;
    }
    const float ea = axis_error(s2, Ga, W, V) * kDeg180 / kPiRounded;
    const float ep = axis_error(s2, Gp, W, V) * kDeg180 / kPiRounded;
    ws.units.write(unit::kListing, "(2X,'COMP NO',I2,'   ERR SUR DIREC',F6.1,'   ERR SUR PEND',F6.1)", L, ea, ep);
    out.err_dir(L) = ea;
    out.err_pen(L) = ep;
  }

  float acc = 0.0f;
  for (int M = 1; M <= kNPar; ++M) {
    const float t = V(4, M) / W(M);
    acc = acc + t * t;
  }
  const float ER = std::sqrt(s2 * acc);
  ws.units.write(unit::kListing, "(1X,//,'     ERREUR SUR R    ',E10.2)", ER);
  out.err_R = ER;
}

}  // namespace

CmqResult CMQ(Workspace& ws, Vec4& X, int NIT, int NMIN, Detail detail) {
  const bool trace = detail == Detail::Traces;
  CmqResult out;
  const int N = ws.tir.N;
  if (NMIN < 0 || NMIN > N) {
    throw rt::RunStop("LEAST SQUARES: " + std::to_string(NMIN) + " DATA REQUESTED, " + std::to_string(N) +
                      " AVAILABLE");
  }
  // Fewer rows than parameters: the decomposition runs on four rows, the
  // missing ones zero (they change neither the fit nor the step).
  const int MROWS = NMIN < kNPar ? kNPar : NMIN;

  const int kRows = std::max(kMaxData, MROWS);
  Column res(static_cast<std::size_t>(kRows), 0.0f);
  Block A(kRows);  // Jacobian of the residuals
  Block U(kRows);  // left singular vectors of the last successful decomposition
  Vec4 W;
  Mat4 V;
  Vec4 E;
  Vec4 XCUR = X;
  Vec4 DELTA;
  float Smin = kStartSum;
  int NKEEP = 0;

  for (int IT = 1; IT <= NIT; ++IT) {
    out.iterations = IT;
    CHANGD(ws, XCUR(4), XCUR(1), XCUR(2), XCUR(3));

    const float S = residuals(ws, NMIN, res, A);
    if (trace) ws.units.write(unit::kListing, "(/,1X,'FORME QUADRATIQUE ',E14.3,' AVANT IT',I3)", S, IT);

    if (S < Smin) {
      Smin = S;
      X = XCUR;
      float dd = 0.0f;
      for (int k = 1; k <= kNPar; ++k) dd = dd + DELTA(k) * DELTA(k);
      const float size = std::sqrt(0.25f * dd);
      if (IT > kConvMinIt && size < kConvStep) {
        out.end = FitEnd::Converged;
        break;
      }

      // Decompose a copy, so that a failure leaves the last good U, W, V.
      Block Ut = A;
      Vec4 Wt;
      Mat4 Vt;
      float EPS = kSvdEps;
      if (!SVDY(kRows, kNPar, MROWS, kNPar, SvdVectors::Both, EPS, kSvdTol, Wt.data(), E.data(), Ut.v.data(),
                Vt.data())) {
        ws.units.write(unit::kListing, "(/,2X,'DECOMPOSITION EN VALEURS SINGULIERES IMPOSSIBLE: LE MEILLEUR POINT EST CONSERVE')");
        out.svd_ok = false;
        out.end = FitEnd::Decomposition;
        break;
      }
      U = Ut;
      W = Wt;
      V = Vt;
      if (trace) {
        ws.units.write(unit::kListing, "(/,2X,'V.PROPRES',4(I3,2X,E14.5))", 1, W(1), 2, W(2), 3, W(3), 4, W(4));
        for (int K = 1; K <= kNPar; ++K) {
          ws.units.write(unit::kListing, "(11X,4(5X,F14.5))", V(K, 1), V(K, 2), V(K, 3), V(K, 4));
        }
      }
      NKEEP = 0;
      while (NKEEP < kNPar && W(NKEEP + 1) > kKeepFloor) ++NKEEP;
    } else {
      // The step failed: drop the smallest kept value and retry from X with
      // the residuals of the rejected point.
      NKEEP = NKEEP - 1;
      if (NKEEP < 1) {
        out.end = FitEnd::NoStep;
        break;
      }
    }
    if (trace) ws.units.write(unit::kListing, "(/,2X,'ON CONSERVE',I3,' V. PROPRES')", NKEEP);

    // Truncated least-squares step.
    Vec4 coef;
    for (int M = 1; M <= NKEEP; ++M) {
      float sum = 0.0f;
      for (int I = 1; I <= MROWS; ++I) sum = sum + res[static_cast<std::size_t>(I - 1)] * at(U, I, M);
      coef(M) = sum / W(M);
    }
    for (int k = 1; k <= kNPar; ++k) {
      float sum = 0.0f;
      for (int M = 1; M <= NKEEP; ++M) sum = sum + coef(M) * V(k, M);
      DELTA(k) = sum;
    }
    for (int k = 1; k <= kNPar; ++k) {
      XCUR(k) = X(k) + DELTA(k);
      if (trace) ws.units.write(unit::kListing, "(2X,'PARAM NO ',I3,' = ',E14.5)", k, XCUR(k));
    }
  }

  if (detail != Detail::Plain) {
    for (int k = 1; k <= kNPar; ++k) ws.units.write(unit::kListing, "(2X,'PARAM NO ',I3,' = ',E14.5)", k, XCUR(k));
  }

  // Residual standard deviation (4 fitted parameters), 180 * sqrt(Smin / (NMIN - 4)) / 3.14,
  // in that order; the listing calls it ECART MOYEN.
  const float dof = static_cast<float>(NMIN - kNPar);
  const float ECART = kDeg180 * std::sqrt(Smin / dof) / kPiRounded;
  ws.units.write(unit::kListing, "(////,2X,'ECART MOYEN EN DEGRES',F10.5,//)", ECART);
  out.ECART = ECART;

  listed_errors(ws, Smin, W, V, out);
  return out;
}

}  // namespace zk
