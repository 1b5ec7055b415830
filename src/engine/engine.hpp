#pragma once
// The engine as one call: invert a fault set with validated run parameters
// and return every stage's result; the listing is optional. Both front ends
// (and every parallel start or replicate) go through invert().
#include <string>
#include <vector>

#include "areas/workspace.hpp"
#include "data/fault_data.hpp"
#include "data/parameters.hpp"
#include "inversion/lsq.hpp"

namespace zk {

// One tensor as listed (or, for stage 1, as it would be listed) after a stage.
struct TensorSnapshot {
  Vec4 P;                // PSI, TETA, PHI (radians), R, after relabelling
  Vec3 PEN;              // plunge of sigma 1, 2, 3 (degrees, lower hemisphere)
  Vec3 DIRE;             // direction (trend) of sigma 1, 2, 3 (degrees from north)
  Vec3 VP;               // principal values (trace 0)
  Mat<float, 3, 3> ROT;  // ROT(L, c): axis of sigma L, x east, y north, z up
  float F = 0.0f;        // misfit sum over the NMIN best data (square radians)
  float FT = 0.0f;       // misfit sum over all data
};

// Stage 4 for one datum: the nearest tensor that explains its striation.
struct NearestTensor {
  float ST = 0.0f, DX2 = 0.0f;
  Vec3 DPEN, DDIRE, DSIG;  // change of plunge, direction (degrees), principal value
  Vec3 PENS, DIRES;        // plunge and direction of that tensor's axes (degrees)
};

// The result of one run, every stage recorded.
struct InversionResult {
  int N = 0, NMIN = 0;
  int NSEED = 0;  // generator values skipped before stage 1
  bool has_stage1 = false;  // false when the starting tensor was imposed
  TensorSnapshot stage1, stage2, stage3;
  int stage2_iterations = 0;
  bool stage2_converged = false;  // true: the misfit stopped falling by 1e-4; false: NTRI passes made
  CmqResult fit;                  // stage 3: deviation, linearised errors, how it ended
  bool has_stage4 = false;
  // Per datum, in data order: the misfit angle for the final tensor
  // (radians), its rank (1 = best) and its stage-4 nearest tensor.
  std::vector<float> misfit;
  std::vector<int> rank;
  std::vector<NearestTensor> nearest;

  const TensorSnapshot& final_tensor() const { return stage3; }
};

// Where the listing of a run goes.
class ListingSink {
 public:
  static ListingSink output_unit() { return ListingSink(Kind::Unit, nullptr); }  // unit 8 as opened
  static ListingSink text(std::string& into) { return ListingSink(Kind::Text, &into); }
  static ListingSink none() { return ListingSink(Kind::None, nullptr); }
  void attach(Workspace& ws) const;

 private:
  enum class Kind { Unit, Text, None };
  ListingSink(Kind k, std::string* t) : kind_(k), text_(t) {}
  Kind kind_;
  std::string* text_;
};

// The stages a run goes through.
enum class Through { Stage3, Stage4 };

// The data and parameters of a run, read once from units 3 and 4.
struct RunInput {
  FaultSet faults;
  RunParams params;
  std::vector<std::string> warnings;  // plausible but suspicious input, one line each
};

// Reads the PARAMETERS (unit 3) and DATA (unit 4) files in the order the
// program always has: selection, data, run parameters, imposed record.
// Throws rt::InputError / rt::RunStop with file, line and field. The
// warnings are those of the PARAMETERS file, then those of the DATA file.
RunInput read_run_input(Workspace& ws);

// The PARAMETERS (unit 3) of a run whose data come from a table instead of a
// DATA file, read in the same order (selection, then the run parameters for
// the data kept); `numbers` are the table's datum numbers, and `kept` says
// which of them the selection keeps, as it would in a DATA file.
struct TableParameters {
  RunParams params;
  std::vector<bool> kept;
  std::vector<std::string> warnings;
};
TableParameters read_table_parameters(Workspace& ws, const std::vector<int>& numbers);

// The warnings as front ends show them: "warning: " and one line each, at
// most kMaxWarningLines, then how many more there are.
constexpr std::size_t kMaxWarningLines = 20;
std::string warning_lines(const std::vector<std::string>& warnings);

// When NTIR x N predicts more than a minute of stage 1, the warning that
// says how long (not an input warning: --strict runs it); else "".
std::string stage1_time_warning(const RunParams& p, int N);
// "3 min", "9 h 8 min": a duration as warnings and progress lines give it.
std::string duration_text(double seconds);

// Stores the constants of block (degrees per radian, pi).
void store_constants(Workspace& ws);

// What invert() would refuse on these data and parameters, as its message, or
// "" when the run can start.
std::string invert_problem(const FaultSet& faults, const RunParams& params);

// Inverts `faults` with `params` on the work areas of `ws` (reset first, so a
// workspace can serve many runs), writing the listing into `sink`. Throws
// rt::RunStop naming the constraint when the parameters cannot run on these
// data. Re-entrant: runs on distinct workspaces share nothing mutable.
InversionResult invert(const FaultSet& faults, const RunParams& params, Workspace& ws, ListingSink sink,
                       Through through = Through::Stage4);

// The stages, in order, on a workspace holding the data and parameters.
void stage1(Workspace& ws, const RunParams& p, Vec4& P, InversionResult& r);
void stage2(Workspace& ws, const RunParams& p, Vec4& P, InversionResult& r);
void stage3(Workspace& ws, const RunParams& p, Vec4& P, InversionResult& r);
void stage4(Workspace& ws, const RunParams& p, const Vec4& P, InversionResult& r);

}  // namespace zk
