#pragma once
// The columns of a campaign's summary.csv and stations.geojson that say how
// far a station's answer can be trusted, read from its result document so
// that the row and the document cannot disagree.
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace zk::batch {

// SHmax_poorly_defined, horizontal_anisotropy (final stress state);
// ambiguous, minima (several starts; null with one); NSEED (the listed
// run's); replicates, failed, SHmax_sd_deg (null without a bootstrap);
// quality, quality_reason (the answer's rank and its first reason, with or
// without a bootstrap); regime_share (the share of the replicates in the
// station's World Stress Map regime; null without a bootstrap).
const std::vector<std::string>& answer_columns();

// Sets those columns of `row` from the result document `result`.
void fill_answer_columns(nlohmann::ordered_json& row, const nlohmann::ordered_json& result);

}  // namespace zk::batch
