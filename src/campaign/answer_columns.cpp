#include "campaign/answer_columns.hpp"

namespace zk::batch {

using json = nlohmann::ordered_json;

namespace {

json at(const json& doc, const std::string& pointer) {
  const json::json_pointer p(pointer);
  return doc.contains(p) ? doc.at(p) : json(nullptr);
}

}  // namespace

const std::vector<std::string>& answer_columns() {
  static const std::vector<std::string> kColumns = {
      "SHmax_poorly_defined", "horizontal_anisotropy", "ambiguous", "minima",  "NSEED",
      "replicates",           "failed",                "SHmax_sd_deg", "quality", "quality_reason",
      "regime_share"};
  return kColumns;
}

void fill_answer_columns(json& row, const json& r) {
  row["SHmax_poorly_defined"] = at(r, "/final/stress_state/SHmax_poorly_defined");
  row["horizontal_anisotropy"] = at(r, "/final/stress_state/horizontal_anisotropy");
  row["ambiguous"] = at(r, "/starts/ambiguous");
  const json minima = at(r, "/starts/minima");
  row["minima"] = minima.is_array() ? json(minima.size()) : json(nullptr);
  const json nseed = at(r, "/starts/NSEED");
  row["NSEED"] = nseed.is_null() ? at(r, "/parameters/skipped_generator_values") : nseed;
  row["replicates"] = at(r, "/bootstrap/replicates");
  row["failed"] = at(r, "/bootstrap/failed");
  row["SHmax_sd_deg"] = at(r, "/bootstrap/SHmax/sd_deg");
  // The rank of the answer (fit, and with a bootstrap spread); a document
  // of an earlier format has the bootstrap's only.
  const json quality = at(r, "/quality/rank");
  row["quality"] = quality.is_null() ? at(r, "/bootstrap/quality") : quality;
  row["quality_reason"] = quality.is_null() ? at(r, "/bootstrap/quality_reason") : at(r, "/quality/reasons/0");
  const json regime = at(r, "/final/stress_state/wsm_regime");
  row["regime_share"] = regime.is_string() ? at(r, "/bootstrap/regimes/" + regime.get<std::string>()) : json(nullptr);
}

}  // namespace zk::batch
