#pragma once
// One batch run gathered for the result writers: the data as the engine read
// them, the run parameters, the engine's result and the files of the run.
#include <string>
#include <vector>

#include "engine/engine.hpp"

namespace zk::batch {

struct Datum {
  int NUM = 0;
  FaultRecord as_read;   // the DATA record as the engine read it
  Vec3 FN;               // downward unit normal of the plane
  Vec3 STR;              // unit slip vector of the hanging wall
  float misfit = 0.0f;   // radians, final tensor
  int rank = 0;          // 1 = best fit, final tensor
  NearestTensor nearest; // stage 4
};

struct BatchResult {
  std::string parameters_path, data_path, output_path;
  std::string title;  // DATA title line, trailing blanks removed
  RunParams params;
  InversionResult run;
  std::vector<Datum> data;  // data order, N entries
};

// Gathers the result of a run on `input`.
BatchResult collect_result(const RunInput& input, const InversionResult& run);

}  // namespace zk::batch
