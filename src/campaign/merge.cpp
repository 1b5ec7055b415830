// zarkel-batch --merge: the shards of one campaign gathered into one folder.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <set>

#include <algorithm>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>

#include "campaign/campaign.hpp"
#include "campaign/campaign_files.hpp"
#include "runtime/errors.hpp"
#include "runtime/result_file.hpp"

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

// A merge's plan, kept in OUT while it is made: the shards (absolute paths)
// and each station folder to move. A merge stopped half-way (a signal, a
// full disk) is finished by the same command: a planned move whose source
// is gone and whose destination is there was made (a move takes its source
// away in the same held signals as it puts the destination in place).
constexpr const char* kJournal = ".zarkel-merge.json";

struct Journal {
  std::vector<std::string> shards;
  std::set<std::pair<std::string, std::string>> moves;
};

std::string absolute_of(const std::string& p) { return fs::absolute(p).lexically_normal().string(); }

std::optional<Journal> read_journal(const fs::path& out) {
  std::ifstream in(out / kJournal, std::ios::binary);
  if (!in) return std::nullopt;
  try {
    const json doc = json::parse(in);
    Journal j;
    j.shards = doc.at("shards").get<std::vector<std::string>>();
    for (const json& m : doc.at("moves")) j.moves.emplace(m.at(0).get<std::string>(), m.at(1).get<std::string>());
    return j;
  } catch (const json::exception&) {
    return std::nullopt;  // not a journal of this program: no merge is resumed from it
  }
}

// The shards, checked to be all of one campaign, each once; refused with
// the reason otherwise. `resuming`: the absolute OUT of the merge resumed,
// into which its shards may say they were merged already.
void check_shards(const std::vector<std::string>& dirs, const std::vector<Manifest>& m, const std::string& resuming) {
  const Manifest& first = m.front();
  std::map<int, std::size_t> by_shard;
  std::map<std::pair<dev_t, ino_t>, std::size_t> by_folder;
  for (std::size_t k = 0; k < m.size(); ++k) {
    if (!m[k].merged_into.empty() && m[k].merged_into != resuming) {
      throw rt::RunStop(dirs[k] + " was merged into " + m[k].merged_into + " already: its stations are there");
    }
    if (m[k].table_digest != first.table_digest || m[k].shards != first.shards ||
        m[k].carried_columns != first.carried_columns) {
      throw rt::RunStop(dirs[k] + " is a shard of another campaign than " + dirs[0] + " (table " + m[k].table + ", " +
                        std::to_string(m[k].shards) + " shards, against table " + first.table + ", " +
                        std::to_string(first.shards) + " shards; the tables' bytes are compared)");
    }
    if (m[k].grid != first.grid) {
      throw rt::RunStop(dirs[k] + " holds another grid than " + dirs[0] +
                        " (its axes, cells, origin, damping or the events outside differ)");
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

// What OUT holds already, when it is a result of the same table: the
// previous result of a station may be replaced there, nothing else.
std::optional<Manifest> previous_manifest(const fs::path& out, const std::string& first_shard, const Manifest& first) {
  std::error_code ec;
  if (!exists_at(out / kManifest) || fs::equivalent(out, first_shard, ec)) return std::nullopt;
  try {
    Manifest previous = read_manifest(out.string());
    if (previous.table_digest == first.table_digest) return previous;
  } catch (const rt::RunStop&) {
  }
  return std::nullopt;
}

struct Move {
  fs::path from, to;
  bool replaces = false;
};

// One contents for every input file the shards read; the merged manifest
// records them.
void check_input_digests(const std::vector<std::string>& shard_dirs, const std::vector<Manifest>& manifests,
                         Manifest& merged) {
  std::map<std::string, std::size_t> read_by;
  for (std::size_t k = 0; k < manifests.size(); ++k) {
    for (const auto& [path, d] : manifests[k].input_digests) {
      const auto [it, fresh] = read_by.emplace(path, k);
      if (!fresh && manifests[it->second].input_digests.at(path) != d) {
        throw rt::RunStop(shard_dirs[it->second] + " and " + shard_dirs[k] + " read different contents of " + path +
                          " (it changed between their runs): run the shards again on the same files; nothing was moved");
      }
      merged.input_digests[path] = d;
    }
  }
}

// The merged manifest, and the station folders to move into OUT: all
// checked before anything moves. The moves a resumed merge made already
// (in its journal, done) are left out.
Manifest plan_merge(const fs::path& out, const std::vector<std::string>& shard_dirs,
                    const std::vector<Manifest>& manifests, const std::optional<Journal>& journal,
                    std::vector<Move>& moves) {
  const std::optional<Manifest> previous = previous_manifest(out, shard_dirs.front(), manifests.front());
  const auto previous_result = [&](const std::string& name) {
    if (!previous) return false;
    return std::any_of(previous->stations.begin(), previous->stations.end(),
                       [&](const Manifest::Entry& e) { return e.station == name; });
  };
  Manifest merged = manifests.front();
  merged.shard = 0;
  merged.shards = 1;
  merged.stations.clear();
  merged.merged_into.clear();  // a shard marked by the merge this one finishes
  std::error_code ec;
  for (std::size_t k = 0; k < manifests.size(); ++k) {
    const bool in_place = fs::equivalent(shard_dirs[k], out, ec);
    for (const Manifest::Entry& e : manifests[k].stations) {
      merged.stations.push_back(e);
      if (!e.ok || in_place) continue;
      const fs::path from = fs::path(shard_dirs[k]) / e.station;
      const fs::path to = out / e.station;
      if (!is_folder(from) && journal && journal->moves.count({absolute_of(from.string()), absolute_of(to.string())}) &&
          is_folder(to)) {
        continue;  // moved by the merge this one finishes
      }
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
  check_input_digests(shard_dirs, manifests, merged);
  std::sort(merged.stations.begin(), merged.stations.end(),
            [](const Manifest::Entry& a, const Manifest::Entry& b) { return a.index < b.index; });
  return merged;
}

// Moves the planned station folders; a failure says how far it got.
void make_moves(const std::vector<Move>& moves) {
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
}

// Says which stations of the merged campaign failed; true when any did.
bool report_failed(const Manifest& merged, std::ostream& err) {
  bool failed = false;
  for (const Manifest::Entry& e : merged.stations) {
    if (e.ok) continue;
    failed = true;
    const json& message = e.rows.front()["message"];
    err << "station " << (e.station.empty() ? std::string("(no name)") : e.station)
        << " failed: " << (message.is_string() ? message.get<std::string>() : std::string()) << "\n";
  }
  return failed;
}

}  // namespace

int merge_campaigns(const std::string& out_dir, const std::vector<std::string>& shard_dirs, std::ostream& err) {
  std::vector<Manifest> manifests;
  for (const std::string& d : shard_dirs) manifests.push_back(read_manifest(d));
  const fs::path out(out_dir);
  std::vector<std::string> shards_absolute;
  for (const std::string& d : shard_dirs) shards_absolute.push_back(absolute_of(d));
  std::optional<Journal> journal = read_journal(out);
  if (journal && journal->shards != shards_absolute) journal.reset();  // another merge's: started again
  check_shards(shard_dirs, manifests, journal ? absolute_of(out_dir) : std::string());

  make_campaign_folder(out_dir);
  std::error_code ec;
  // Nothing else may change the folders while they are read and moved.
  const FolderLock out_lock(out_dir);
  std::vector<std::unique_ptr<FolderLock>> shard_locks;
  for (const std::string& d : shard_dirs) {
    if (!fs::equivalent(d, out, ec)) shard_locks.push_back(std::make_unique<FolderLock>(d));
  }
  std::vector<Move> moves;
  const Manifest merged = plan_merge(out, shard_dirs, manifests, journal, moves);
  rt::Destinations inputs;
  if (struct stat st {}; ::stat(merged.table.c_str(), &st) == 0) {
    inputs.inputs.push_back({{st.st_dev, st.st_ino}, "station table \"" + merged.table + "\""});
  }
  CampaignOutputs outputs(out_dir, inputs, merged.grid);
  // The plan, on disk before the first move (the moves of a merge resumed
  // that are still to make are among the ones it planned).
  if (!journal) {
    json plan = {{"shards", shards_absolute}, {"moves", json::array()}};
    for (const Move& m : moves) plan["moves"].push_back({absolute_of(m.from.string()), absolute_of(m.to.string())});
    rt::ResultFile::write_whole((out / kJournal).string(), "merge journal", plan.dump(1) + "\n");
  }
  make_moves(moves);
  outputs.commit(merged, err);
  // The shards whose stations moved say where they went, so that a second
  // merge of them is refused.
  for (std::size_t k = 0; k < manifests.size(); ++k) {
    if (fs::equivalent(shard_dirs[k], out, ec)) continue;
    manifests[k].merged_into = fs::absolute(out).lexically_normal().string();
    rt::ResultFile::write_whole((fs::path(shard_dirs[k]) / kManifest).string(), "campaign manifest file",
                                manifest_json(manifests[k]).dump(1) + "\n");
  }
  // Done: nothing is left to resume.
  if (::unlink((out / kJournal).c_str()) != 0 && errno != ENOENT) {
    throw rt::RunStop("could not remove the merge journal " + (out / kJournal).string() + " (" + std::strerror(errno) + ")");
  }
  return report_failed(merged, err) ? 1 : 0;
}

}  // namespace zk::batch
