#pragma once
// Stage 3: Gauss-Newton least squares on the NMIN best data, truncated SVD.
#include "areas/workspace.hpp"

namespace zk {

constexpr int kMaxRegressionRows = kMaxData;

// The values of the stage's closing lines, for a front end.
struct CmqResult {
  float ECART = 0.0f;  // mean deviation, degrees
  Vec3 err_dir;        // errors on the direction of sigma 1, 2, 3 (degrees)
  Vec3 err_pen;        // errors on their plunge (degrees)
  float err_R = 0.0f;  // error on R
  bool svd_ok = true;  // false: a decomposition failed and the best point was kept
};

// Refines X = (PSI, TETA, PHI, R) in place; writes its block to unit 8. Fills
// `out` when given.
void CMQ(Workspace& ws, Vec4& X, int NIT, int NMIN, int IPRINT, CmqResult* out = nullptr);

}  // namespace zk
