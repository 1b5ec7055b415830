#pragma once
// zarkel-batch PARAMETERS CATALOGUE.csv OUTDIR --mechanisms --grid AXES
// --cell SIZES: the catalogue's events cut into the cells of a grid
// (grid/cells.hpp), each cell of at least --min-events events run as a
// station of a campaign in OUTDIR (its folder named after the cell, its
// events in the folder's events.csv, renumbered 1..n), with grid.json
// beside the campaign's summary, map layer, map and manifest. --shard and
// --merge work on the cells as on stations.
#include <functional>
#include <ostream>
#include <string>

#include "batch/command_line.hpp"
#include "campaign/campaign.hpp"

namespace zk::batch {

// The options of a campaign that the command line gives it, cells or
// stations alike (its table, folders, shard, jobs, words and run options).
CampaignOptions campaign_options(const Options& o, const std::string& table);

// Runs one cell as a mechanism station from the text of its events.csv
// (supplied by the front end, as a campaign's station runner).
using CellRunner = std::function<StationRun(const Station&, const StationFolder&, const std::string& events_csv)>;

// The whole command; returns the exit status (a grid axis without its
// column: 2; a time that does not read: 1, naming its row and column).
int run_grid(const Options& o, const CellRunner& run_cell, std::ostream& out, std::ostream& err);

}  // namespace zk::batch
