#include "campaign/campaign_files.hpp"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>

#include "areas/workspace.hpp"
#include "campaign/campaign.hpp"
#include "figures/tradeoff_svg.hpp"
#include "runtime/errors.hpp"
#include "runtime/interrupt.hpp"
#include "runtime/result_file.hpp"

namespace zk::batch {

namespace fs = std::filesystem;
using json = nlohmann::ordered_json;

namespace {

constexpr const char* kLock = ".zarkel-lock";

std::string error_text(int e) { return std::strerror(e); }

// A value as the summary writes it: text as it is, numbers as the JSON
// document writes them (so a cell equals the station's result.json), null
// as an empty cell.
std::string cell_text(const json& v) {
  if (v.is_null()) return "";
  if (v.is_string()) return csv_cell(v.get<std::string>(), true);
  return csv_cell(v.dump(), false);
}

// `text` (lines of a dumped JSON value) indented by `spaces` more, as
// within a document dumped whole.
std::string indented(const std::string& text, std::size_t spaces) {
  const std::string pad(spaces, ' ');
  std::string out = pad;
  for (char c : text) {
    out += c;
    if (c == '\n') out += pad;
  }
  return out;
}

// A document dumped with `indent`, its array `key` (empty in `doc`) split
// off: the text before the array's items, and after them.
std::pair<std::string, std::string> around(json doc, const char* key, int indent) {
  doc[key] = "\x01";
  const std::string text = doc.dump(indent);
  const std::size_t at = text.find("\"\\u0001\"");
  return {text.substr(0, at) + "[", text.substr(at + 8)};
}

std::unique_ptr<rt::ResultFile> output(const fs::path& dir, const char* name, const char* label,
                                       rt::Destinations& taken) {
  const std::string path = (dir / name).string();
  std::string why;
  std::unique_ptr<rt::ResultFile> f = rt::ResultFile::prepare(path, std::string(label) + " \"" + path + "\"", taken, why);
  if (!f) throw rt::RunStop(path + " is refused: " + why, rt::kExitUsage);
  taken.results.push_back(f.get());
  return f;
}

// Copies the folder `from` into the new folder `to`, each file written to
// disk before the next; a link or anything but a folder or a regular file
// is refused.
// Copies the folder `from` to the new folder `to`; every folder and file
// made is registered in `slots` for the signal cleanup.
void copy_tree(const fs::path& from, const fs::path& to, std::vector<int>& slots) {
  const fs::path whole = fs::absolute(to);
  {
    const rt::SignalsHeld held;
    if (::mkdir(to.c_str(), 0777) != 0) throw rt::RunStop("could not make " + to.string() + " (" + error_text(errno) + ")");
    slots.push_back(rt::register_temporary_folder(whole.string()));
  }
  for (const fs::directory_entry& e : fs::directory_iterator(from)) {
    const fs::path target = to / e.path().filename();
    const fs::file_status st = e.symlink_status();
    if (fs::is_directory(st)) {
      copy_tree(e.path(), target, slots);
      continue;
    }
    if (!fs::is_regular_file(st)) throw rt::RunStop(e.path().string() + " is not a regular file: it is not copied");
    const int in = ::open(e.path().c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    int out = -1;
    {
      const rt::SignalsHeld held;
      out = ::open(target.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
      if (out >= 0) slots.push_back(rt::register_temporary((whole / e.path().filename()).string()));
    }
    bool ok = in >= 0 && out >= 0;
    char buf[65536];
    for (ssize_t n = 0; ok && (n = ::read(in, buf, sizeof buf)) != 0;) {
      if (n < 0 && errno == EINTR) continue;
      for (ssize_t done = 0; ok && n > 0 && done < n;) {
        const ssize_t w = ::write(out, buf + done, static_cast<std::size_t>(n - done));
        ok = w > 0 || (w < 0 && errno == EINTR);
        if (w > 0) done += w;
      }
      ok = ok && n > 0;
    }
    struct stat sst {};
    ok = ok && ::fstat(in, &sst) == 0 && ::fchmod(out, sst.st_mode & 07777) == 0 && ::fsync(out) == 0;
    const int e_no = errno;
    if (in >= 0) ::close(in);
    if (out >= 0 && ::close(out) != 0) ok = false;
    if (!ok) throw rt::RunStop("could not copy " + e.path().string() + " to " + target.string() + " (" + error_text(e_no) + ")");
  }
  const int fd = ::open(to.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd >= 0) {
    (void)::fsync(fd);
    ::close(fd);
  }
}

// A new random name beside `p` for a folder on its way: ".zarkel-" + what
// + 8 letters or digits (made with mkdir or rename, which never follow a
// link planted there).
fs::path beside(const fs::path& p, const char* what) {
  static constexpr char kAlphabet[] = "abcdefghijklmnopqrstuvwxyz0123456789";
  unsigned char bytes[8] = {};
  if (::getrandom(bytes, sizeof bytes, 0) != static_cast<ssize_t>(sizeof bytes)) {
    for (std::size_t k = 0; k < sizeof bytes; ++k) bytes[k] = static_cast<unsigned char>(::getpid() >> (k % 4 * 8));
  }
  std::string name = ".zarkel-" + std::string(what) + "-";
  for (unsigned char b : bytes) name += kAlphabet[b % 36];
  return p.parent_path() / name;
}

const json& field(const json& doc, const char* key, bool (json::*is)() const noexcept, const char* kind,
                  const std::string& file) {
  if (!doc.is_object() || !doc.contains(key) || !(doc.at(key).*is)()) {
    throw rt::RunStop(file + ": the campaign manifest has no " + kind + " `" + key + "` (a damaged or edited file?)");
  }
  return doc.at(key);
}

// A station in the manifest: its summary row, or the list of its rows (one
// per stress phase).
json entry_json(const Manifest::Entry& e) {
  json j = {{"index", e.index}, {"summary", e.rows.size() == 1 ? e.rows.front() : json(e.rows)}};
  if (!e.cell.is_null()) j["cell"] = e.cell;
  if (!e.outline.is_null()) j["outline"] = e.outline;
  return j;
}

// The numbers of a summary row read back from a manifest, checked as the
// table reader and the run check them: a damaged or edited file is refused,
// never copied into the merged summary.
void check_values(const json& row, const std::string& at) {
  struct Range {
    const char* column;
    double lo, hi;
    bool whole;
  };
  static const Range kRanges[] = {
      {"longitude", -180.0, 180.0, false}, {"latitude", -90.0, 90.0, false},
      {"N", 0.0, kMaxData, true},          {"NMIN", 0.0, kMaxData, true},
      {"sigma1_trend", 0.0, 360.0, false}, {"sigma1_plunge", -90.0, 90.0, false},
      {"sigma2_trend", 0.0, 360.0, false}, {"sigma2_plunge", -90.0, 90.0, false},
      {"sigma3_trend", 0.0, 360.0, false}, {"sigma3_plunge", -90.0, 90.0, false},
      {"R", 0.0, 1.0, false},              {"R_low", 0.0, 1.0, false},
      {"R_high", 0.0, 1.0, false},         {"SHmax_deg", 0.0, 180.0, false},
      {"phase", 1.0, 99.0, true},          {"phases", 1.0, 99.0, true},
      {"phase_members", 0.0, kMaxData, true},
  };
  for (const Range& r : kRanges) {
    if (!row.contains(r.column) || row[r.column].is_null()) continue;
    const json& v = row[r.column];
    const bool number = v.is_number() && std::isfinite(v.get<double>());
    const double x = number ? v.get<double>() : 0.0;
    if (!number || x < r.lo || x > r.hi || (r.whole && x != std::floor(x))) {
      char lo[32], hi[32];
      std::snprintf(lo, sizeof lo, "%g", r.lo);
      std::snprintf(hi, sizeof hi, "%g", r.hi);
      throw rt::RunStop(at + ": " + r.column + " " + v.dump() + " is not " + (r.whole ? "a whole number " : "a number ") +
                        "from " + lo + " to " + hi + " (a damaged or edited file?)");
    }
  }
}

}  // namespace

std::string csv_cell(const std::string& s, bool text) {
  std::string c = s;
  if (text && !s.empty() && std::strchr("=+-@\t\r", s.front()) != nullptr) {
    char* end = nullptr;
    const double v = std::strtod(s.c_str(), &end);
    const bool number = end != s.c_str() && *end == '\0' && std::isfinite(v) && s.front() != '\t' && s.front() != '\r';
    if (!number) c = "'" + s;  // read by spreadsheets as text, not as a formula
  }
  const bool quote = c.find_first_of(",\"\r\n") != std::string::npos ||
                     (!c.empty() && (c.front() == ' ' || c.back() == ' '));
  if (!quote) return c;
  std::string q = "\"";
  for (char ch : c) q += ch == '"' ? std::string("\"\"") : std::string(1, ch);
  return q + "\"";
}

std::string digest(std::string_view bytes) {
  std::uint64_t h = 14695981039346656037ULL;
  for (char c : bytes) h = (h ^ static_cast<unsigned char>(c)) * 1099511628211ULL;
  char buf[17];
  std::snprintf(buf, sizeof buf, "%016llx", static_cast<unsigned long long>(h));
  return buf;
}

std::string file_digest(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) throw rt::RunStop("could not read " + path + " (" + error_text(errno) + ")");
  std::uint64_t h = 14695981039346656037ULL;
  char buf[65536];
  ssize_t n = 0;
  while ((n = ::read(fd, buf, sizeof buf)) != 0) {
    if (n < 0) {
      if (errno == EINTR) continue;
      const int e = errno;
      ::close(fd);
      throw rt::RunStop("could not read " + path + " (" + error_text(e) + ")");
    }
    for (ssize_t k = 0; k < n; ++k) h = (h ^ static_cast<unsigned char>(buf[k])) * 1099511628211ULL;
  }
  ::close(fd);
  char hex[17];
  std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(h));
  return hex;
}

json manifest_json(const Manifest& m) {
  json doc = {{"table", m.table},
              {"table_digest", m.table_digest},
              {"options_digest", m.options_digest},
              {"shard", m.shard},
              {"shards", m.shards},
              {"carried_columns", m.carried_columns},
              {"stations", json::array()}};
  for (const Manifest::Entry& e : m.stations) doc["stations"].push_back(entry_json(e));
  if (!m.input_digests.empty()) doc["input_digests"] = m.input_digests;
  if (!m.merged_into.empty()) doc["merged_into"] = m.merged_into;
  if (!m.grid.is_null()) doc["grid"] = m.grid;
  return doc;
}

// One station of a manifest: its summary rows checked against the columns
// of the campaign and the shard (`file` names the manifest in messages).
Manifest::Entry read_station_entry(const json& s, const Manifest& m, const std::vector<std::string>& columns,
                                   const std::string& file) {
  Manifest::Entry e;
  e.index = field(s, "index", &json::is_number_integer, "whole number", file + ": a station").get<int>();
  const json& summary = field(s, "summary", &json::is_structured, "row or list of rows", file + ": a station");
  const std::string at = file + ": station " + std::to_string(e.index);
  if (summary.is_object()) {
    e.rows.push_back(summary);
  } else {
    e.rows.assign(summary.begin(), summary.end());
  }
  if (e.rows.empty()) throw rt::RunStop(at + ": the summary has no row");
  for (const json& row : e.rows) {
    if (!row.is_object()) throw rt::RunStop(at + ": a summary row is not an object");
    if (row.value("station", json()) != e.rows.front().value("station", json()) ||
        row.value("status", json()) != e.rows.front().value("status", json())) {
      throw rt::RunStop(at + ": the summary rows differ in station or status");
    }
  }
  if (e.index < 0 || e.index % m.shards != m.shard) {
    throw rt::RunStop(at + " is not a station of shard " + std::to_string(m.shard) + "/" + std::to_string(m.shards) +
                      " or is given twice");
  }
  for (const json& row : e.rows) {
    std::size_t k = 0;
    for (const auto& [key, value] : row.items()) {
      if (k >= columns.size() || key != columns[k] || !value.is_primitive()) {
        throw rt::RunStop(at + ": the summary's column " + std::to_string(k + 1) + " is not `" +
                          (k < columns.size() ? columns[k] : std::string("(none)")) + "` with a value");
      }
      ++k;
    }
    if (k != columns.size()) throw rt::RunStop(at + ": the summary has " + std::to_string(k) + " columns, not " +
                                               std::to_string(columns.size()));
  }
  for (const json& row : e.rows) check_values(row, at);
  if (s.contains("cell")) e.cell = field(s, "cell", &json::is_object, "object", at);
  if (s.contains("outline")) {
    e.outline = field(s, "outline", &json::is_array, "list", at);
    for (const json& p : e.outline) {
      if (!p.is_array() || p.size() != 2 || !p[0].is_number() || !p[1].is_number()) {
        throw rt::RunStop(at + ": the outline holds a point that is not [longitude, latitude]");
      }
    }
  }
  e.station = field(e.rows.front(), "station", &json::is_string, "text", at).get<std::string>();
  const std::string status = field(e.rows.front(), "status", &json::is_string, "text", at).get<std::string>();
  if (status != "ok" && status != "failed") throw rt::RunStop(at + ": status \"" + status + "\" is not ok or failed");
  e.ok = status == "ok";
  if (e.ok && !safe_name(e.station)) {
    throw rt::RunStop(at + ": station name \"" + e.station + "\" is not a folder name (a damaged or edited file?)");
  }
  return e;
}

Manifest read_manifest(const std::string& dir) {
  const std::string file = (fs::path(dir) / kManifest).string();
  struct stat st {};
  if (::stat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) throw rt::RunStop(dir + " is not a folder");
  if (::stat(file.c_str(), &st) != 0) throw rt::RunStop(dir + " is not a campaign folder (no " + kManifest + ")");
  json doc;
  try {
    std::ifstream in(file, std::ios::binary);
    doc = json::parse(in);
  } catch (const json::exception& e) {
    throw rt::RunStop(file + " cannot be read: " + e.what());
  }
  Manifest m;
  m.table = field(doc, "table", &json::is_string, "text", file).get<std::string>();
  m.table_digest = field(doc, "table_digest", &json::is_string, "text", file).get<std::string>();
  m.options_digest = field(doc, "options_digest", &json::is_string, "text", file).get<std::string>();
  m.shards = field(doc, "shards", &json::is_number_integer, "whole number", file).get<int>();
  m.shard = field(doc, "shard", &json::is_number_integer, "whole number", file).get<int>();
  if (m.shards < 1 || m.shard < 0 || m.shard >= m.shards) {
    throw rt::RunStop(file + ": shard " + std::to_string(m.shard) + "/" + std::to_string(m.shards) + " is not a shard");
  }
  for (const json& c : field(doc, "carried_columns", &json::is_array, "list", file)) {
    if (!c.is_string()) throw rt::RunStop(file + ": a carried column name is not text");
    m.carried_columns.push_back(c.get<std::string>());
  }
  if (doc.contains("input_digests")) {  // written since format 4 of the documents
    for (const auto& [path, d] : field(doc, "input_digests", &json::is_object, "object", file).items()) {
      if (!d.is_string()) throw rt::RunStop(file + ": the digest of " + path + " is not text");
      m.input_digests[path] = d.get<std::string>();
    }
  }
  if (doc.contains("grid")) m.grid = field(doc, "grid", &json::is_object, "object", file);
  if (doc.contains("merged_into")) m.merged_into = field(doc, "merged_into", &json::is_string, "text", file).get<std::string>();
  std::vector<std::string> columns = summary_columns();
  columns.insert(columns.end(), m.carried_columns.begin(), m.carried_columns.end());
  std::set<int> seen;
  for (const json& s : field(doc, "stations", &json::is_array, "list", file)) {
    Manifest::Entry e = read_station_entry(s, m, columns, file);
    if (!seen.insert(e.index).second) {
      throw rt::RunStop(file + ": station " + std::to_string(e.index) + " is not a station of shard " +
                        std::to_string(m.shard) + "/" + std::to_string(m.shards) + " or is given twice");
    }
    m.stations.push_back(std::move(e));
  }
  return m;
}

void make_campaign_folder(const std::string& dir) {
  if (const std::string planted = rt::untrusted_link_in(dir); !planted.empty()) {
    throw rt::RunStop("the campaign folder " + dir + " is refused: " + planted, rt::kExitUsage);
  }
  std::error_code ec;
  fs::create_directories(fs::path(dir), ec);
  if (ec) throw rt::RunStop("could not make the campaign folder " + dir + " (" + ec.message() + ")");
}

FolderLock::FolderLock(const std::string& dir) {
  std::string why;
  dirfd_ = rt::ResultFile::open_folder(dir, why);
  if (dirfd_ < 0) {
    throw rt::RunStop("could not open the campaign folder " + dir + " (" + (why.empty() ? error_text(ENOENT) : why) + ")");
  }
  // The lock file may be removed by the holder as it ends: a lock taken on
  // a file no longer named is taken again on the new one.
  for (int tries = 0; tries < 100; ++tries) {
    const rt::SignalsHeld held;
    fd_ = ::openat(dirfd_, kLock, O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd_ < 0) {
      const int e = errno;
      // What is in the lock file's place, rather than the error of the open.
      struct stat st {};
      std::string what = error_text(e);
      if (::fstatat(dirfd_, kLock, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode)) {
        what = "a symbolic link of " + rt::owner_named(st.st_uid) +
               " is there, and a lock file is never reached through a link: remove it";
      } else if (::fstatat(dirfd_, kLock, &st, AT_SYMLINK_NOFOLLOW) == 0 && !S_ISREG(st.st_mode)) {
        what = "something that is not a regular file is there: remove it";
      }
      ::close(dirfd_);
      throw rt::RunStop("could not make the lock file " + dir + "/" + kLock + " (" + what + ")");
    }
    if (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
      const int e = errno;
      ::close(fd_);
      ::close(dirfd_);
      throw rt::RunStop(e == EWOULDBLOCK ? dir + " is in use by another campaign or merge (it holds the lock " + dir +
                                               "/" + kLock + "): wait for it to end, or choose another folder"
                                         : "could not lock " + dir + " (" + error_text(e) + ")");
    }
    struct stat a {}, b {};
    if (::fstat(fd_, &a) == 0 && ::fstatat(dirfd_, kLock, &b, AT_SYMLINK_NOFOLLOW) == 0 && a.st_ino == b.st_ino &&
        a.st_dev == b.st_dev) {
      slot_ = rt::register_temporary(dirfd_, kLock);
      return;
    }
    ::close(fd_);
  }
  ::close(dirfd_);
  throw rt::RunStop("could not lock " + dir);
}

FolderLock::~FolderLock() {
  const rt::SignalsHeld held;
  ::unlinkat(dirfd_, kLock, 0);
  rt::unregister_temporary(slot_);
  ::close(fd_);
  ::close(dirfd_);
}

namespace {
bool has_curve(const json& grid) {
  return grid.is_object() && grid.contains("damping") && grid["damping"].is_object() &&
         grid["damping"].contains("curve") && grid["damping"]["curve"].is_array() && !grid["damping"]["curve"].empty();
}
}  // namespace

CampaignOutputs::CampaignOutputs(const std::string& dir, const rt::Destinations& inputs, const json& grid) {
  rt::Destinations taken = inputs;
  summary_ = output(dir, kSummary, "summary file", taken);
  geojson_ = output(dir, kGeoJson, "GeoJSON file", taken);
  manifest_ = output(dir, kManifest, "campaign manifest file", taken);
  map_ = output(dir, kMap, "map file", taken);
  if (grid.is_object()) grid_ = output(dir, kGridFile, "grid file", taken);
  if (has_curve(grid)) tradeoff_ = output(dir, kTradeoff, "trade-off figure", taken);
}

void CampaignOutputs::start(const Manifest& head) {
  std::string header;
  std::vector<std::string> columns = summary_columns();
  columns.insert(columns.end(), head.carried_columns.begin(), head.carried_columns.end());
  for (std::size_t k = 0; k < columns.size(); ++k) {
    if (k > 0) header += ',';
    header += csv_cell(columns[k], true);
  }
  summary_->write(header + "\n");
  map_title_ = "Campaign " + fs::path(head.table).filename().string();
  Manifest top = head;
  top.stations.clear();
  const auto [manifest_head, manifest_tail] = around(manifest_json(top), "stations", 1);
  manifest_->write(manifest_head);
  manifest_tail_ = manifest_tail;
  geojson_->write(around(json{{"type", "FeatureCollection"}, {"features", json::array()}}, "features", 2).first);
  if (grid_) {
    if (!head.grid.is_object()) throw rt::RunStop("the campaign has no grid to write in " + std::string(kGridFile));
    json doc = head.grid;
    doc["cells"] = json::array();
    const auto [grid_head, grid_tail] = around(doc, "cells", 1);
    grid_->write(grid_head);
    grid_tail_ = grid_tail;
    if (tradeoff_) {
      if (!has_curve(head.grid)) throw rt::RunStop("the grid has no trade-off curve to draw in " + std::string(kTradeoff));
      damping_ = head.grid["damping"];
    }
  }
}

void CampaignOutputs::add(const Manifest::Entry& e) {
  manifest_->write(stations_++ > 0 ? ",\n" : "\n");
  manifest_->write(indented(entry_json(e).dump(1), 2));
  if (grid_ && !e.cell.is_null()) {
    grid_->write(cells_++ > 0 ? ",\n" : "\n");
    grid_->write(indented(e.cell.dump(1), 2));
  }
  bool mapped = false;
  for (const json& r : e.rows) {
    std::string line;
    std::size_t k = 0;
    for (const auto& [key, value] : r.items()) {
      if (k++ > 0) line += ',';
      line += cell_text(value);
    }
    summary_->write(line + "\n");
    // A bar per stress phase, fanned around the station's point by the map.
    on_map_.push_back(map_station(r));
    if (e.outline.is_array()) {
      for (const json& p : e.outline) on_map_.back().outline.emplace_back(p[0].get<double>(), p[1].get<double>());
    }
    // RFC 7946: Point features, longitude first, for the stations that ran
    // and have both coordinates; one per row (per stress phase).
    if (!(e.ok && r["longitude"].is_number() && r["latitude"].is_number())) continue;
    mapped = true;
    // A grid's cell is its outline, a polygon (its ring counter-clockwise).
    const json geometry = e.outline.is_array() && e.outline.size() >= 4
                              ? json{{"type", "Polygon"}, {"coordinates", json::array({e.outline})}}
                              : json{{"type", "Point"}, {"coordinates", {r["longitude"], r["latitude"]}}};
    const json feature = {{"type", "Feature"}, {"geometry", geometry}, {"properties", r}};
    geojson_->write(features_++ > 0 ? ",\n" : "\n");
    geojson_->write(indented(feature.dump(2), 4));
  }
  if (!mapped) left_out_.push_back(e.station);
}

void CampaignOutputs::commit(const Manifest& m, std::ostream& err) {
  start(m);
  for (const Manifest::Entry& e : m.stations) add(e);
  commit(err);
}

void CampaignOutputs::commit(std::ostream& err) {
  // An empty array is dumped as "[]", a full one with its items on lines.
  const auto close = [](std::size_t items, const char* pad) {
    std::string text = items == 0 ? "" : "\n";
    if (items > 0) text += pad;
    return text += ']';
  };
  manifest_->write(close(stations_, " ") + manifest_tail_ + "\n");
  geojson_->write(close(features_, "  ") + "\n}\n");
  map_->write(campaign_map_svg(on_map_, map_title_));
  if (grid_) grid_->write(close(cells_, " ") + grid_tail_ + "\n");
  if (tradeoff_) {
    std::vector<DampingPoint> curve;
    for (const json& p : damping_["curve"]) {
      curve.push_back({p.value("e", 0.0), p.value("misfit", 0.0), p.value("model_length", 0.0)});
    }
    tradeoff_->write(tradeoff_svg(curve, damping_.value("chosen", 0.0), damping_.value("method", std::string())));
  }
  std::vector<rt::ResultFile*> all = {summary_.get(), geojson_.get(), manifest_.get(), map_.get()};
  for (rt::ResultFile* extra : {grid_.get(), tradeoff_.get()}) {
    if (extra != nullptr) all.push_back(extra);
  }
  const std::size_t kFiles = all.size();
  rt::ResultFile* const* const files = all.data();
  for (std::size_t k = 0; k < kFiles; ++k) files[k]->finish();
  {
    const rt::SignalsHeld all_or_nothing;
    for (std::size_t k = 0; k < kFiles; ++k) {
      try {
        files[k]->replace();
      } catch (const rt::RunStop& e) {
        std::string done, left;
        for (std::size_t j = 0; j < kFiles; ++j) {
          std::string& list = j < k ? done : left;
          list += (list.empty() ? "" : ", ") + files[j]->what();
        }
        throw rt::RunStop(std::string(e.what()) + "; " + (done.empty() ? "nothing was replaced" : "replaced: " + done) +
                          "; not replaced: " + left);
      }
    }
  }
  if (!left_out_.empty()) {
    std::string names;
    for (const std::string& n : left_out_) {
      if (!names.empty()) names += ", ";
      names += n.empty() ? "(no name)" : n;
    }
    const char* noun = grid_ ? " cell" : " station";  // a grid's stations are its cells
    err << "warning: " << left_out_.size() << noun << (left_out_.size() == 1 ? " is" : "s are") << " not in "
        << kGeoJson << " (failed or without both coordinates): " << names << "\n";
  }
}

void move_folder(const std::string& from, const std::string& to, bool replace) {
  const fs::path old = beside(to, "old");
  std::error_code ec;
  // Puts `source` at `to`, the previous result stepping aside first; both
  // renames with signals held, so that a stop never leaves `to` missing.
  std::vector<int> slots;  // of a copy, removed on a signal until it is in place
  const struct Forget {
    std::vector<int>& slots;
    ~Forget() {
      for (int slot : slots) rt::unregister_temporary(slot);
    }
  } forget{slots};
  // A copy's original is set aside in the same held signals, so that a move
  // is made exactly when its source is gone (a stopped merge is resumed so).
  const auto swap_in = [&](const std::string& source, const fs::path* set_aside) {
    const rt::SignalsHeld held;
    if (replace && ::rename(to.c_str(), old.c_str()) != 0) return errno;
    if (::rename(source.c_str(), to.c_str()) == 0) {
      for (int& slot : slots) rt::unregister_temporary(std::exchange(slot, -1));
      if (set_aside != nullptr && ::rename(from.c_str(), set_aside->c_str()) != 0) fs::remove_all(from, ec);
      return 0;
    }
    const int e = errno;
    if (replace) (void)::rename(old.c_str(), to.c_str());
    return e;
  };
  int e = swap_in(from, nullptr);
  if (e == EXDEV) {
    // Another file system: a complete copy under a name of its own, on
    // disk before it takes the place, then the original removed.
    const fs::path copy = beside(to, "copy");
    try {
      copy_tree(from, copy, slots);
    } catch (const rt::RunStop&) {
      fs::remove_all(copy, ec);
      throw;
    }
    const fs::path gone = beside(from, "gone");
    e = swap_in(copy.string(), &gone);
    if (e != 0) fs::remove_all(copy, ec);
    if (e == 0) fs::remove_all(gone, ec);
  }
  if (e != 0) throw rt::RunStop("could not move " + from + " to " + to + " (" + error_text(e) + ")");
  if (replace) fs::remove_all(old, ec);
}

}  // namespace zk::batch
