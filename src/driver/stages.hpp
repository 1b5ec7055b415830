#pragma once
// The run sequence once the three files are open: data and parameters, the
// four stages, and every listing line of the driver, in listing order. Shared
// by the console program and the batch front end.
#include "areas/workspace.hpp"
#include "inversion/lsq.hpp"

namespace zk {

// One tensor as listed after a stage.
struct TensorSnapshot {
  Vec4 P;       // PSI, TETA, PHI (radians), R, after relabelling
  Vec3 PEN;     // plunge of sigma 1, 2, 3 (degrees)
  Vec3 DIRE;    // direction of sigma 1, 2, 3 (degrees)
  Vec3 VP;      // principal values
  Mat<float, 3, 3> ROT;  // ROT(L, c): axis of sigma L as the tensor was last listed or computed
  float F = 0.0f;   // misfit sum over the NMIN best data (square radians)
  float FT = 0.0f;  // misfit sum over all data
};

// Per-datum result of stage 4.
struct NearestTensor {
  float ST = 0.0f, DX2 = 0.0f;
  Vec3 DPEN, DDIRE, DSIG;
};

// What a front end may want besides the listing.
struct RunRecord {
  int INDX = 0, POURC = 0, NTIR = 0, NSEED = 0, IPRINT = 0, NMIN = 0, N = 0;
  bool has_stage1 = false;
  TensorSnapshot stage1, stage2, stage3;
  int stage2_iterations = 0;
  CmqResult fit;  // stage 3: mean deviation and errors
  Vec<float, kMaxData> final_angle;  // misfit angle of each datum (data order), final tensor
  Vec<int, kMaxData> final_rank;     // rank of each datum (1 = best) for the final tensor
  Vec<NearestTensor, kMaxData> nearest;
  Mat<float, 3, kMaxData> PENS, DIRES;
};

// Stores the constants of block (degrees per radian, pi).
void store_constants(Workspace& ws);

// Reads the data and parameters (units 3 and 4) and writes the whole listing
// on unit 8. Fills `record` when given.
void run_stages(Workspace& ws, RunRecord* record = nullptr);

}  // namespace zk
