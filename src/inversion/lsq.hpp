#pragma once
// Stage 3: Gauss-Newton least squares on the NMIN best data, truncated SVD.
#include "areas/workspace.hpp"

namespace zk {

constexpr int kMaxRegressionRows = kMaxData;

// Refines X = (PSI, TETA, PHI, R) in place; writes its block to unit 8.
void CMQ(Workspace& ws, Vec4& X, int NIT, int NMIN, int IPRINT);

}  // namespace zk
