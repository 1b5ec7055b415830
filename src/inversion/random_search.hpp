#pragma once
// Stage 1: NTIR random candidate tensors, keep the smallest misfit.
#include "areas/workspace.hpp"

namespace zk {

// Leaves the best tensor in P = (PSI, TETA, PHI, R) and writes the summary
// line, the end banner and the dash line.
void random_search(Workspace& ws, int NTIR, Vec4& P);

}  // namespace zk
