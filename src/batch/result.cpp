#include "batch/result.hpp"

namespace zk::batch {

BatchResult collect_result(const RunInput& input, const InversionResult& run) {
  BatchResult r;
  r.title = input.faults.title.str();
  while (!r.title.empty() && (r.title.back() == ' ' || r.title.back() == '\0')) r.title.pop_back();
  r.params = input.params;
  r.run = run;
  const std::size_t N = input.faults.data.size();
  for (std::size_t i = 0; i < N; ++i) {
    const FaultDatum& f = input.faults.data[i];
    Datum d;
    d.NUM = f.record.NUM;
    d.as_read = f.record;
    d.FN = f.FN;
    d.STR = f.STR;
    d.misfit = run.misfit[i];
    d.rank = run.rank[i];
    if (run.has_stage4) d.nearest = run.nearest[i];
    r.data.push_back(d);
  }
  return r;
}

}  // namespace zk::batch
