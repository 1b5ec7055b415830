#pragma once
// Stage 1: NTIR random candidate tensors (EULAZ), keep the smallest misfit
// sum F; among equal sums the last draw. One draw takes 4 generator values
// with INDX 1 (three angles and R), 2 with INDX 2 and 3, 1 with INDX 4.
#include "areas/workspace.hpp"

namespace zk {

// Leaves the best tensor in P = (PSI, TETA, PHI, R) and writes the summary
// line, the end banner and the dash line. Tells ws.progress, when set.
void random_search(Workspace& ws, int NTIR, Vec4& P);

// The processor time stage 1 is expected to take, in seconds: NTIR draws on
// N data at the cost measured per draw (0.3 us, plus 50 ns a datum: about
// 15 us a draw at N = 300 on the 2-core development machine under load).
double expected_stage1_seconds(long long NTIR, int N);

}  // namespace zk
