#pragma once
// The PARAMETERS file: selection records (ENREG), the run parameter record,
// the imposed axes or tensor of modes 2 to 6; their validation and their
// boxed echo in the listing.
#include <string>
#include <vector>

#include "areas/workspace.hpp"

namespace zk {

// The inversion modes (INDX).
enum class Mode : int {
  Random = 1,    // random starting tensor
  Sigma1 = 2,    // sigma 1 imposed
  Sigma3 = 3,    // sigma 3 imposed
  BothAxes = 4,  // sigma 1 and sigma 3 imposed
  AxesAndR = 5,  // both axes and R imposed: no random search
  Euler = 6,     // Euler angles and R imposed: no random search
};

// The listing detail (IPRINT). Any integer is read and kept: a value other
// than these three lists as Plain does, except that the regression closes
// with its final parameters, as every value but Plain makes it do.
enum class Detail : int {
  Plain = 0,   // the stages' results
  Traces = 1,  // those, every step of the optimiser (OPTIMI) and of the regression
               // (CMQ), and the regression's final parameters
  Full = 2,    // those of Plain, stage 2's iterations, the histograms after stages 2
               // and 3, stage 4's table of nearest tensors, the regression's final
               // parameters
};

// Everything the PARAMETERS file sets for one run. INDX and IPRINT are kept
// as read (any integer); mode() and detail() name the values that mean
// something.
struct RunParams {
  int ISEL = 1, IECHO = 0;
  std::vector<int> selection;  // the selection list (ISEL != 1)
  int INDX = 0, POURC = 0, NTIR = 0, NSEED = 0, IPRINT = 0;
  int NTRI = 50;  // stage-2 passes at most
  int S1DIR = 0, S1PEN = 0, S3DIR = 0, S3PEN = 0;  // record 4a, INDX 2 to 5 (degrees)
  float R = 0.0f;                                   // record 4a, INDX 2 to 5
  Vec4 euler;  // INDX 6: PSI, TETA, PHI (radians), R
  std::string where;  // "PARAMETERS file "p", line 3": the run parameter record, for messages
  int given = 5;              // values of the run parameter record before a "/" ended it
  std::string imposed_where;  // where the imposed record (INDX 2 to 6) was read

  Mode mode() const { return static_cast<Mode>(INDX); }
  bool random_search() const { return INDX < 5; }  // stage 1 runs
  Detail detail() const { return static_cast<Detail>(IPRINT); }
};

// NMIN of a run: the POURC per cent best of N data, computed wide.
long long nmin_of(int N, int POURC);

// The first constraint `p` breaks for a run on N data, as a message naming
// it and the values, or "" when a run can start. Checked once before any
// stage: NMIN at least 5 and at most N, at least one draw when stage 1 runs,
// INDX 1 to 6.
std::string run_params_problem(const RunParams& p, int N);

// What `p` imposes that is legal but most likely not meant, one line each:
// an R outside 0..1, a direction outside 0..360 or plunge outside 0..90
// degrees, an Euler angle of more than a full turn (degrees for radians).
std::vector<std::string> run_params_warnings(const RunParams& p);

// Reads the selection switches and the selection lines (unit 3) into eeetc
// and eeet. A token that is not a whole number of at most 9 characters is an
// rt::InputError; more than 200 numbers stop the run (rt::RunStop). Values
// left on a line after its record is complete go to `warnings`.
void ENREG(Workspace& ws, std::vector<std::string>* warnings = nullptr);
// Reads the run parameter record and, for INDX 2 to 6, the record after it,
// for a run on N data; refuses (rt::RunStop) what run_params_problem names,
// before reading a record the mode does not define.
RunParams read_run_parameters(Workspace& ws, int N, std::vector<std::string>* warnings = nullptr);
// The "PARAMETRES CHOISIS" box of the listing (unit 8), under the title in
// modi2.
void list_run_parameters(Workspace& ws, const RunParams& p);

}  // namespace zk
