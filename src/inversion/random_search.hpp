#pragma once
// Stage 1: NTIR random candidate tensors (EULAZ), keep the smallest misfit
// sum F; among equal sums the last draw. One draw takes 4 generator values
// with INDX 1 (three angles and R), 2 with INDX 2 and 3, 1 with INDX 4.
#include "areas/workspace.hpp"

namespace zk {

// Leaves the best tensor in P = (PSI, TETA, PHI, R) and writes the summary
// line, the end banner and the dash line.
void random_search(Workspace& ws, int NTIR, Vec4& P);

}  // namespace zk
