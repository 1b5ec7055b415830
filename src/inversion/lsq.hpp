#pragma once
// Stage 3: Gauss-Newton least squares on the NMIN best data (residuals: the
// misfit angles, radians), each step solved by a truncated singular value
// decomposition (singular values above 1e-5 kept; Golub & Reinsch 1970).
// The deviation ECART = 180/3.14 sqrt(F / (NMIN - 4)) degrees is the residual
// standard deviation with 4 fitted parameters; the errors are linearised
// (covariance F (V W^-2 V^T)), degrees for the axes, dimensionless for R.
#include "areas/workspace.hpp"
#include "data/parameters.hpp"

namespace zk {

// How the regression ended.
enum class FitEnd {
  Converged,       // the rms step fell below 0.005 after the fifth iteration
  Iterations,      // NIT iterations were made
  Decomposition,   // a singular value decomposition failed: the best point was kept
  NoStep,          // every truncation of the step failed to lower the sum
};

// The values of the stage's closing lines, for a front end.
struct CmqResult {
  FitEnd end = FitEnd::Iterations;
  int iterations = 0;  // iterations begun
  float ECART = 0.0f;  // residual standard deviation sqrt(F / (NMIN - 4)), degrees
  Vec3 err_dir;        // errors on the direction of sigma 1, 2, 3 (degrees)
  Vec3 err_pen;        // errors on their plunge (degrees)
  float err_R = 0.0f;  // error on R
  bool svd_ok = true;  // false: a decomposition failed and the best point was kept
};

// Refines X = (PSI, TETA, PHI, R) in place; writes its block to unit 8 and
// returns its closing values. Detail::Traces lists every iteration, any
// detail but Plain the final parameters.
CmqResult CMQ(Workspace& ws, Vec4& X, int NIT, int NMIN, Detail detail);

}  // namespace zk
