#pragma once
// The rows of summary.csv and the features of stations.geojson of a
// campaign run with --phases: one per station and phase, the columns of the
// phase's tensor taken from the phase, and three more columns after the
// summary columns.
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace zk::batch {

// "phase" (1 .. k), "phases" (k of the station), "phase_members" (its data).
const std::vector<std::string>& phase_columns();

// The rows of a station from its summary row and its result document: a row
// per phase, whose axes, R, R', regimes, SHmax, bootstrap and trust columns
// are the phase's, deviation_deg, mean_misfit_deg, ambiguous and minima
// blank (they describe the all-data run and its starts); one row with blank phase columns when the station has no
// phases (it failed). Columns in summary order, the phase columns, then the
// carried columns.
// What the rows need of a station's result document, kept in the campaign's
// manifest (so that --merge can write them): k and each phase, without the
// per-datum entries and the bootstrap samples.
nlohmann::ordered_json phase_summary(const nlohmann::ordered_json& document);

nlohmann::ordered_json station_phase_rows(const nlohmann::ordered_json& row, const nlohmann::ordered_json& document,
                                          const std::vector<std::string>& carried);

}  // namespace zk::batch
