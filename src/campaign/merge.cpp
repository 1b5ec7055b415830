// zarkel-batch --merge: the shards of one campaign gathered into one folder.
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>

#include "campaign/campaign.hpp"
#include "campaign/campaign_files.hpp"
#include "runtime/errors.hpp"

namespace zk::batch {

namespace fs = std::filesystem;
using json = nlohmann::ordered_json;

namespace {

bool is_folder(const fs::path& p) {
  struct stat st {};
  return ::lstat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool exists_at(const fs::path& p) {
  struct stat st {};
  return ::lstat(p.c_str(), &st) == 0;
}

// The shards, checked to be all of one campaign, each once; refused with
// the reason otherwise.
void check_shards(const std::vector<std::string>& dirs, const std::vector<Manifest>& m) {
  const Manifest& first = m.front();
  std::map<int, std::size_t> by_shard;
  std::map<std::pair<dev_t, ino_t>, std::size_t> by_folder;
  for (std::size_t k = 0; k < m.size(); ++k) {
    if (!m[k].merged_into.empty()) {
      throw rt::RunStop(dirs[k] + " was merged into " + m[k].merged_into + " already: its stations are there");
    }
    if (m[k].table_digest != first.table_digest || m[k].shards != first.shards ||
        m[k].carried_columns != first.carried_columns) {
      throw rt::RunStop(dirs[k] + " is a shard of another campaign than " + dirs[0] + " (table " + m[k].table + ", " +
                        std::to_string(m[k].shards) + " shards, against table " + first.table + ", " +
                        std::to_string(first.shards) + " shards; the tables' bytes are compared)");
    }
    if (m[k].options_digest != first.options_digest) {
      throw rt::RunStop(dirs[k] + " was run with other options than " + dirs[0] +
                        " (--starts, --bootstrap, --confidence, --bootstrap-seed, --strict, --parameters or the figure's)");
    }
    struct stat st {};
    ::stat(dirs[k].c_str(), &st);
    if (const auto [it, fresh] = by_folder.emplace(std::pair{st.st_dev, st.st_ino}, k); !fresh) {
      throw rt::RunStop(dirs[k] + " is given twice (as " + dirs[it->second] + ")");
    }
    if (const auto [it, fresh] = by_shard.emplace(m[k].shard, k); !fresh) {
      throw rt::RunStop("shard " + std::to_string(m[k].shard) + "/" + std::to_string(first.shards) +
                        " is given twice (" + dirs[it->second] + " and " + dirs[k] + ")");
    }
  }
  std::string missing;
  for (int i = 0; i < first.shards; ++i) {
    if (by_shard.count(i) > 0) continue;
    if (!missing.empty()) missing += ", ";
    missing += std::to_string(i) + "/" + std::to_string(first.shards);
  }
  if (!missing.empty()) throw rt::RunStop("shards missing: " + missing);
}

}  // namespace

int merge_campaigns(const std::string& out_dir, const std::vector<std::string>& shard_dirs, std::ostream& err) {
  std::vector<Manifest> manifests;
  for (const std::string& d : shard_dirs) manifests.push_back(read_manifest(d));
  check_shards(shard_dirs, manifests);

  const fs::path out(out_dir);
  if (const std::string planted = rt::untrusted_link_in(out_dir); !planted.empty()) {
    throw rt::RunStop("the campaign folder " + out_dir + " is refused: " + planted, rt::kExitUsage);
  }
  std::error_code ec;
  fs::create_directories(out, ec);
  if (ec) throw rt::RunStop("could not make the campaign folder " + out_dir + " (" + ec.message() + ")");
  // Nothing else may change the folders while they are read and moved.
  const FolderLock out_lock(out_dir);
  std::vector<std::unique_ptr<FolderLock>> shard_locks;
  for (const std::string& d : shard_dirs) {
    if (!fs::equivalent(d, out, ec)) shard_locks.push_back(std::make_unique<FolderLock>(d));
  }
  // What OUT holds already: the previous result of a station may be
  // replaced, nothing else.
  std::optional<Manifest> previous;
  if (exists_at(out / kManifest) && !fs::equivalent(out, shard_dirs.front(), ec)) {
    try {
      previous = read_manifest(out_dir);
    } catch (const rt::RunStop&) {
      previous.reset();
    }
    if (previous && previous->table_digest != manifests.front().table_digest) previous.reset();
  }
  const auto previous_result = [&](const std::string& name) {
    if (!previous) return false;
    return std::any_of(previous->stations.begin(), previous->stations.end(),
                       [&](const Manifest::Entry& e) { return e.station == name; });
  };

  struct Move {
    fs::path from, to;
    bool replaces = false;
  };
  std::vector<Move> moves;
  Manifest merged = manifests.front();
  merged.shard = 0;
  merged.shards = 1;
  merged.stations.clear();
  rt::Destinations inputs;
  if (struct stat st {}; ::stat(merged.table.c_str(), &st) == 0) {
    inputs.inputs.push_back({{st.st_dev, st.st_ino}, "station table \"" + merged.table + "\""});
  }
  for (std::size_t k = 0; k < manifests.size(); ++k) {
    const bool in_place = fs::equivalent(shard_dirs[k], out, ec);
    for (const Manifest::Entry& e : manifests[k].stations) {
      merged.stations.push_back(e);
      if (!e.ok || in_place) continue;
      const fs::path from = fs::path(shard_dirs[k]) / e.station;
      const fs::path to = out / e.station;
      if (!is_folder(from)) {
        throw rt::RunStop(from.string() + ", the folder of station " + e.station +
                          ", is missing or not a folder (moved by an earlier merge?); nothing was moved");
      }
      const bool there = exists_at(to);
      if (there && (!is_folder(to) || !previous_result(e.station))) {
        throw rt::RunStop(to.string() + " is in the way of station " + e.station +
                          " and is not that station's previous result: move it away; nothing was moved");
      }
      moves.push_back({from, to, there});
    }
  }
  std::sort(merged.stations.begin(), merged.stations.end(),
            [](const Manifest::Entry& a, const Manifest::Entry& b) { return a.index < b.index; });
  CampaignOutputs outputs(out_dir, inputs);

  std::size_t moved = 0;
  try {
    for (const Move& m : moves) {
      move_folder(m.from.string(), m.to.string(), m.replaces);
      ++moved;
    }
  } catch (const rt::RunStop& e) {
    throw rt::RunStop(std::string(e.what()) + "; " + std::to_string(moved) + " of " + std::to_string(moves.size()) +
                      " station folders were moved; summary.csv, stations.geojson, map.svg and campaign.json were "
                      "not written");
  }
  outputs.commit(merged, err);
  // The shards whose stations moved say where they went, so that a second
  // merge of them is refused.
  for (std::size_t k = 0; k < manifests.size(); ++k) {
    if (fs::equivalent(shard_dirs[k], out, ec)) continue;
    manifests[k].merged_into = fs::absolute(out).lexically_normal().string();
    rt::ResultFile::write_whole((fs::path(shard_dirs[k]) / kManifest).string(), "campaign manifest file",
                                manifest_json(manifests[k]).dump(1) + "\n");
  }
  bool failed = false;
  for (const Manifest::Entry& e : merged.stations) {
    if (e.ok) continue;
    failed = true;
    const json& message = e.rows.front()["message"];
    err << "station " << (e.station.empty() ? std::string("(no name)") : e.station)
        << " failed: " << (message.is_string() ? message.get<std::string>() : std::string()) << "\n";
  }
  return failed ? 1 : 0;
}

}  // namespace zk::batch
