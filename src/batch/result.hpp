#pragma once
// One batch run gathered for the result writers: the run record of the
// engine, the data as read and as converted, and the files of the run.
#include <optional>
#include <string>
#include <vector>

#include "areas/workspace.hpp"
#include "data/fault_data.hpp"
#include "driver/stages.hpp"

namespace zk::batch {

struct Datum {
  int NUM = 0;
  std::optional<FaultRecord> as_read;  // the DATA record (absent when it could not be matched)
  Vec3 FN;                             // downward unit normal of the plane
  Vec3 STR;                            // unit slip vector of the hanging wall
  float misfit = 0.0f;                 // radians, final tensor
  int rank = 0;                        // 1 = best fit, final tensor
  NearestTensor nearest;               // stage 4
  Vec3 PENS, DIRES;                    // stage 4: plunge and direction of the nearest tensor's axes
};

struct BatchResult {
  std::string parameters_path, data_path, output_path;
  std::string title;  // DATA title line, trailing blanks removed
  int ISEL = 0, IECHO = 0;
  std::vector<int> selection;
  RunRecord run;
  std::vector<Datum> data;  // data order, N entries
};

// The kept records of the DATA file at `data_path` as read, in data order,
// with the selection of the run applied. Empty when the file no longer matches
// the data of the run (other count or other numbers).
std::vector<FaultRecord> kept_records(const Workspace& ws, const std::string& data_path);

// Gathers the result after run_stages. `as_read` as kept_records returns it.
BatchResult collect_result(const Workspace& ws, const RunRecord& rec, const std::vector<FaultRecord>& as_read);

// Plunge and direction (degrees) of the axes in ROT as the tensor listing
// computes them: each axis turned into the lower hemisphere, then its
// stereographic point.
void listed_axes(const Mat<float, 3, 3>& ROT, float PI, Vec3& PEN, Vec3& DIRE);

// The listed stress ratio (VP(2) - VP(3)) / (VP(1) - VP(3)).
float listed_ratio(const Vec3& VP);

}  // namespace zk::batch
