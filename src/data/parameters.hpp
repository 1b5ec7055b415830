#pragma once
// The PARAMETERS file: selection records (ENREG), the run parameter record
// and its boxed echo, the imposed tensor of mode 6.
#include "areas/workspace.hpp"

namespace zk {

struct RunParams {
  int INDX = 0, POURC = 0, NTIR = 0, NSEED = 0, IPRINT = 0;
  int NTRI = 50;
};

// Reads the selection switches and the selection lines (unit 3). A token that
// is not a whole number of at most 9 characters is an rt::InputError; more
// than 200 numbers stop the run (rt::RunStop).
void ENREG(Workspace& ws);
// Writes the "PARAMETRES CHOISIS" box, reads the parameter record, discards
// NSEED generator values, stores tiraz and NMIN. Refuses (RunStop with a clear
// message) values no run can go on with: NMIN below 5 or above N, and no
// draw (NTIR <= 0) when stage 1 runs (INDX <= 4).
RunParams read_run_parameters(Workspace& ws);
// Mode 6: reads PSI, TETA, PHI, R into P = (PSI, TETA, PHI, R) and echoes them.
void read_imposed_tensor(Workspace& ws, Vec4& P);

}  // namespace zk
