#include "batch/campaign_phases.hpp"

#include "batch/answer_columns.hpp"
#include "batch/campaign.hpp"

namespace zk::batch {

using json = nlohmann::ordered_json;

namespace {

json value_at(const json& doc, const char* pointer) {
  const json::json_pointer p(pointer);
  return doc.contains(p) ? doc.at(p) : json(nullptr);
}

json ordered(const json& row, const json& phase, const std::vector<std::string>& carried) {
  json out;
  for (const std::string& c : summary_columns()) out[c] = row.contains(c) ? row[c] : json(nullptr);
  for (const std::string& c : phase_columns()) out[c] = phase.contains(c) ? phase[c] : json(nullptr);
  for (const std::string& c : carried) out[c] = row.contains(c) ? row[c] : json(nullptr);
  return out;
}

}  // namespace

const std::vector<std::string>& phase_columns() {
  static const std::vector<std::string> kColumns = {"phase", "phases", "phase_members"};
  return kColumns;
}

json phase_summary(const json& document) {
  json phases = document["phases"]["phases"];
  for (json& p : phases) {
    if (p.contains("bootstrap")) p["bootstrap"].erase("samples");
  }
  return {{"phases", {{"k", document["phases"]["k"]}, {"phases", phases}}}};
}

json station_phase_rows(const json& row, const json& document, const std::vector<std::string>& carried) {
  json rows = json::array();
  if (!document.is_object() || !document.contains("phases")) {
    rows.push_back(ordered(row, json::object(), carried));
    return rows;
  }
  static const std::pair<const char*, const char*> kFromPhase[] = {
      {"sigma1_trend", "/axes/0/trend_deg"},
      {"sigma1_plunge", "/axes/0/plunge_deg"},
      {"sigma2_trend", "/axes/1/trend_deg"},
      {"sigma2_plunge", "/axes/1/plunge_deg"},
      {"sigma3_trend", "/axes/2/trend_deg"},
      {"sigma3_plunge", "/axes/2/plunge_deg"},
      {"R", "/R"},
      {"R_prime", "/stress_state/R_prime"},
      {"R_prime_class", "/stress_state/R_prime_class"},
      {"wsm_regime", "/stress_state/wsm_regime"},
      {"SHmax_deg", "/stress_state/SHmax_deg"},
      {"wsm_SHmax_deg", "/stress_state/wsm_SHmax_deg"},
      {"deviation_deg", "/no-such-value"},
      {"mean_misfit_deg", "/no-such-value"},
      {"sigma1_cone_deg", "/bootstrap/axes/0/cone_deg"},
      {"sigma2_cone_deg", "/bootstrap/axes/1/cone_deg"},
      {"sigma3_cone_deg", "/bootstrap/axes/2/cone_deg"},
      {"R_low", "/bootstrap/R/low"},
      {"R_high", "/bootstrap/R/high"},
      {"SHmax_low", "/bootstrap/SHmax/low"},
      {"SHmax_high", "/bootstrap/SHmax/high"},
  };
  const json& separation = document["phases"];
  for (const json& p : separation["phases"]) {
    json r = row;
    for (const auto& [column, pointer] : kFromPhase) r[column] = value_at(p, pointer);
    // The trust columns of the phase: its stress state, NSEED and bootstrap
    // (it has no starts of its own, so ambiguous and minima are blank).
    json doc = {{"final", {{"stress_state", p["stress_state"]}}}, {"parameters", {{"skipped_generator_values", p["NSEED"]}}}};
    if (p.contains("bootstrap")) doc["bootstrap"] = p["bootstrap"];
    fill_answer_columns(r, doc);
    const json phase = {{"phase", p["phase"]}, {"phases", separation["k"]}, {"phase_members", p["members"]}};
    rows.push_back(ordered(r, phase, carried));
  }
  return rows;
}

}  // namespace zk::batch
