#pragma once
// Campaigns: many stations (outcrops) in one command. A station table names
// each station's DATA file (or field spreadsheet) and PARAMETERS file, with
// optional coordinates and any other columns; each station is run as a single
// zarkel-batch run into its own folder, and the results are gathered in a
// summary table (summary.csv), a map layer (stations.geojson) and a map
// (map.svg, batch/campaign_map.hpp).
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

#include "import/import.hpp"
#include "runtime/result_file.hpp"

namespace zk::batch {

// One row of the station table.
struct Station {
  int index = 0;       // row number from 0, in table order (the shard key)
  int row = 0;         // spreadsheet row number, for messages
  std::string name;    // the station column
  std::string data;    // resolved path of the DATA file or spreadsheet
  std::string parameters;  // resolved path of the PARAMETERS file
  bool spreadsheet = false;  // data is a field spreadsheet to import first
  // The import conventions of a spreadsheet station, from its columns
  // plane, striation, delimiter, decimal, encoding and sense_map (a blank
  // cell: the default; csv and data are filled when it runs).
  import::Options import;
  bool mechanisms = false;   // data is a table of focal mechanisms (type column, or recognised)
  std::optional<double> longitude, latitude;  // WGS 84, decimal degrees
  std::vector<std::string> carried;  // the other columns' cells, as text
  // The carried columns as values (a grid cell's numbers); empty: `carried`
  // as text.
  std::vector<nlohmann::ordered_json> carried_values;
  // How messages name it ("" : "station NAME (row N)"; a grid's "cell c_1_2").
  std::string described;
  std::string problem;  // why the station cannot run ("" when it can)
  // What is suspicious in the row (a `type` that is no data type and is
  // carried as a label); --strict makes them the station's failure.
  std::vector<std::string> warnings;
};

struct StationTable {
  std::string file;
  std::vector<std::string> carried_columns;  // names as the header gives them
  std::vector<Station> stations;
};

// Reads the station table (the CSV rules of zarkel-import). A table without a
// `station` or `data` column is refused (rt::InputError naming the file);
// a problem of one row (an unsafe or repeated name, a coordinate out of
// range or not a number, a data file that does not exist, no PARAMETERS
// file) is kept in that station's `problem`, so the others still run.
// `default_parameters` ("" for none) serves the rows without their own.
StationTable read_station_table(const std::string& path, const std::string& default_parameters);

// What running one station gave: a value, never text to be parsed. The
// campaign's outputs read it (the summary columns from `document`); a new
// kind of station fills the same value.
struct StationRun {
  enum class Status { Ok, Failed };
  Status status = Status::Failed;
  std::string message;                // why it failed ("" when it ran)
  std::vector<std::string> warnings;  // one line each, "warning: " not included
  nlohmann::ordered_json document;    // its result.json document when it ran, else null
  bool ok() const { return status == Status::Ok; }
};

// The station's folder in the campaign folder, opened without following
// links (O_DIRECTORY | O_NOFOLLOW): every file of the station is made
// relative to `fd`; `path` only names it in messages.
struct StationFolder {
  int fd = -1;
  std::string path;
  // The campaign's inputs in this folder, which no station file may replace.
  const std::vector<rt::Destinations::Input>* inputs = nullptr;
};

// Runs one station into its folder (LISTING, result.json, figure.svg, and
// the imported DATA for a spreadsheet), committing them only when it ran.
// Supplied by the front end.
using StationRunner = std::function<StationRun(const Station&, const StationFolder& folder)>;

struct CampaignOptions {
  std::string table;
  std::string out_dir;
  std::string parameters;  // --parameters: for the rows without their own
  int shard = 0, shards = 1;  // --shard I/N
  int jobs = 1;
  bool quiet = false;
  bool strict = false;    // a warning of the station table fails its station
  bool progress = false;  // a progress line on standard error
  // The run options that shape a station's results, as text: the manifest
  // keeps their digest, so that a merge refuses shards run otherwise.
  std::string run_options;
  // Stations given rather than read from `table` (a grid's cells: `table`
  // then names the catalogue, whose digest the manifest keeps).
  const StationTable* stations = nullptr;
  // A grid: the head of grid.json (grid, damping, outside) and each cell's
  // entry, made while its run's document is at hand; null: no grid.json.
  nlohmann::ordered_json grid;
  std::function<nlohmann::ordered_json(const Station&, const StationRun&)> grid_cell;
  // Each cell's outline, [[lon, lat], ...] closed (stations.geojson draws it as
  // a polygon); null: a point.
  std::function<nlohmann::ordered_json(const Station&)> outline;
  std::string noun = "stations";  // of the closing line
};

// A station name that is a folder name: letters, digits, '-', '_' and '.',
// not "." or "..".
bool safe_name(const std::string& name);

// The columns of summary.csv, in order, before the carried columns.
const std::vector<std::string>& summary_columns();

// The summary row of one station: its columns in summary order, numbers as
// JSON numbers, null where undefined.
nlohmann::ordered_json summary_row(const Station& s, const StationRun& o);

// The summary rows of one station: its row, or, when its document holds a
// separation into stress phases, one row per phase (`phase` 1..k, `phases`
// k, `phase_members`), whose tensor columns (axes, R, stress state, SHmax,
// deviation, mean misfit, cones and intervals, NSEED) are the phase's and
// whose other columns are the station's.
std::vector<nlohmann::ordered_json> summary_rows(const Station& s, const StationRun& o);

// Runs the stations of the shard on `jobs` threads and writes
// DIR/summary.csv, DIR/stations.geojson, DIR/map.svg and DIR/campaign.json (the shard
// manifest). Returns 0 when every station ran, 1 when any failed.
int run_campaign(const CampaignOptions& o, const StationRunner& run_station, std::ostream& out,
                 std::ostream& err);

// zarkel-batch --merge OUT DIR...: the shards of one campaign gathered into
// OUT, in table order, byte for byte what an unsharded run writes; the
// station folders are moved into OUT. Every refusal (shards of another
// table or options, a shard given twice, missing or merged already, a file
// of OUT in the way) comes before anything moves; nothing in OUT is removed
// but the previous result of the same station. Returns 0 when every station
// ran, 1 when any failed.
int merge_campaigns(const std::string& out_dir, const std::vector<std::string>& shard_dirs, std::ostream& err);

}  // namespace zk::batch
