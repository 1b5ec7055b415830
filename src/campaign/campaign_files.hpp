#pragma once
// The files of a campaign folder and how they change: the manifest
// (campaign.json) as a checked value, the lock that keeps a second campaign
// or merge out of a folder in use, the three outputs replaced together, and
// the move of a station folder into another campaign folder.
#include <memory>
#include <ostream>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "figures/campaign_map.hpp"
#include "runtime/result_file.hpp"

namespace zk::batch {

constexpr const char* kManifest = "campaign.json";
constexpr const char* kSummary = "summary.csv";
constexpr const char* kGeoJson = "stations.geojson";
constexpr const char* kMap = "map.svg";
constexpr const char* kGridFile = "grid.json";
constexpr const char* kTradeoff = "tradeoff.svg";

// 64-bit FNV-1a of the bytes, as 16 hex digits: tells one table or one set
// of options from another (a check against mistakes, not against forgery).
std::string digest(std::string_view bytes);
// The digest of a file's bytes, read in blocks; throws rt::RunStop.
std::string file_digest(const std::string& path);

// What campaign.json records of a campaign folder.
struct Manifest {
  std::string table;           // absolute path of the station table
  std::string table_digest;    // of the table's bytes
  std::string options_digest;  // of the run options that shape a station's results
  int shard = 0, shards = 1;
  std::vector<std::string> carried_columns;
  struct Entry {
    int index = 0;                   // row from 0 in the table
    std::string station;             // its name (summary.station)
    bool ok = false;                 // summary.status is "ok"
    // Its rows of summary.csv: one, or one per stress phase (kept in the
    // manifest as an object, or as a list of them).
    std::vector<nlohmann::ordered_json> rows;
    // A grid's cell: its entry of grid.json and its outline (null otherwise).
    nlohmann::ordered_json cell = nullptr, outline = nullptr;
  };
  std::vector<Entry> stations;  // in table order
  // The digest of the bytes of every PARAMETERS and DATA file its stations
  // read, by absolute path, as the run found them: shards that read one file
  // with other contents are not merged.
  std::map<std::string, std::string> input_digests;
  std::string merged_into;      // a shard whose stations a merge has moved: where
  // A grid's campaign: grid.json but its cells (grid, damping, outside);
  // null for a campaign of stations.
  nlohmann::ordered_json grid = nullptr;
};

nlohmann::ordered_json manifest_json(const Manifest& m);
// Reads DIR/campaign.json with every field checked; a missing or damaged
// manifest is an rt::RunStop naming the file and the field.
Manifest read_manifest(const std::string& dir);

// Makes the campaign folder `dir` (and its parents) when missing; refuses
// one reached through a planted link. Throws rt::RunStop.
void make_campaign_folder(const std::string& dir);

// An exclusive lock (flock) on a campaign folder, held by a lock file in it
// that is removed when the lock ends (or by a signal). Throws rt::RunStop
// when another campaign or merge holds it.
class FolderLock {
 public:
  explicit FolderLock(const std::string& dir);
  ~FolderLock();
  FolderLock(const FolderLock&) = delete;
  FolderLock& operator=(const FolderLock&) = delete;

 private:
  int dirfd_ = -1, fd_ = -1, slot_ = -1;
};

// summary.csv, stations.geojson and campaign.json of a folder: prepared
// (checked, temporaries made, none of `inputs` a destination) before any
// work, then written completely and replaced together under signals held;
// a failure says which were replaced and which were not.
class CampaignOutputs {
 public:
  // With a `grid` (Manifest::grid), grid.json too, and tradeoff.svg when its
  // damping holds a trade-off curve.
  CampaignOutputs(const std::string& dir, const rt::Destinations& inputs,
                  const nlohmann::ordered_json& grid = nullptr);
  // The outputs are written as the rows come, in table order, so that a
  // campaign of many stations holds none of them whole: the heads (the
  // manifest's fields but its stations), each station, then the commit,
  // with a warning on `err` naming the stations left out of the map.
  void start(const Manifest& head);
  void add(const Manifest::Entry& e);
  void commit(std::ostream& err);
  // All three steps for a whole manifest.
  void commit(const Manifest& m, std::ostream& err);

 private:
  std::unique_ptr<rt::ResultFile> summary_, geojson_, manifest_, map_, grid_, tradeoff_;
  nlohmann::ordered_json damping_;
  std::string manifest_tail_, map_title_, grid_tail_;
  std::size_t cells_ = 0;
  std::vector<MapStation> on_map_;  // map.svg is drawn whole at the commit
  std::size_t stations_ = 0, features_ = 0;
  std::vector<std::string> left_out_;
};

// A cell as summary.csv writes it: quoted when it holds the delimiter, a
// quote, a line end or blanks at either end (RFC 4180); text that a
// spreadsheet would read as a formula gets a leading apostrophe.
std::string csv_cell(const std::string& s, bool text);

// Moves the folder `from` to `to`: a rename, or across file systems a copy
// (every file written to disk) then the removal of `from`. With `replace`,
// the folder at `to` (a previous result) steps aside and is removed only
// once the new one is in place. Throws rt::RunStop; `to` is then as it was.
void move_folder(const std::string& from, const std::string& to, bool replace);

}  // namespace zk::batch
