#include "campaign/campaign.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <set>
#include <sstream>

#include "campaign/answer_columns.hpp"
#include "campaign/campaign_files.hpp"
#include "ensemble/parallel.hpp"
#include "frontend/progress.hpp"
#include "results/result_json.hpp"
#include "import/mechanism_table.hpp"
#include "runtime/errors.hpp"
#include "runtime/interrupt.hpp"
#include "runtime/printable.hpp"
#include "runtime/result_file.hpp"
#include "table/csv_table.hpp"

namespace zk::batch {

namespace fs = std::filesystem;
using json = nlohmann::ordered_json;

namespace {

// Why `path` cannot be read as an input file; "" when it can be tried.
std::string not_a_file(const std::string& path) {
  std::error_code ec;
  const fs::file_status st = fs::status(path, ec);
  if (!fs::exists(st)) return " does not exist";
  if (fs::is_directory(st)) return " is a folder, not a file";
  return fs::is_regular_file(st) ? "" : " is not a regular file";
}

std::string lowered(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

bool is_spreadsheet(const std::string& path) {
  std::string ext = fs::path(path).extension().string();
  for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return ext == ".csv" || ext == ".tsv";
}

// A path of the table, relative to the table's folder.
std::string resolved(const fs::path& folder, const std::string& p) {
  const fs::path q(p);
  return (q.is_absolute() ? q : folder / q).lexically_normal().string();
}

// The value at `pointer` in a result document, null when absent.
json at(const json& doc, const char* pointer) {
  const json::json_pointer p(pointer);
  return doc.contains(p) ? doc.at(p) : json(nullptr);
}

// The summary columns read from the station's own result.json, so that the
// row and the document cannot disagree.
void fill_summary_from_result(json& row, const json& r) {
  static const std::pair<const char*, const char*> kFrom[] = {
      {"N", "/N"},
      {"NMIN", "/NMIN"},
      {"sigma1_trend", "/final/axes/0/trend_deg"},
      {"sigma1_plunge", "/final/axes/0/plunge_deg"},
      {"sigma2_trend", "/final/axes/1/trend_deg"},
      {"sigma2_plunge", "/final/axes/1/plunge_deg"},
      {"sigma3_trend", "/final/axes/2/trend_deg"},
      {"sigma3_plunge", "/final/axes/2/plunge_deg"},
      {"R", "/final/R"},
      {"R_prime", "/final/stress_state/R_prime"},
      {"R_prime_class", "/final/stress_state/R_prime_class"},
      {"wsm_regime", "/final/stress_state/wsm_regime"},
      {"SHmax_deg", "/final/stress_state/SHmax_deg"},
      {"wsm_SHmax_deg", "/final/stress_state/wsm_SHmax_deg"},
      {"deviation_deg", "/final/residual_std_deg"},
      {"mean_misfit_deg", "/final/misfit_statistics/all/mean_deg"},
      {"sigma1_cone_deg", "/bootstrap/axes/0/cone_deg"},
      {"sigma2_cone_deg", "/bootstrap/axes/1/cone_deg"},
      {"sigma3_cone_deg", "/bootstrap/axes/2/cone_deg"},
      {"R_low", "/bootstrap/R/low"},
      {"R_high", "/bootstrap/R/high"},
      {"SHmax_low", "/bootstrap/SHmax/low"},
      {"SHmax_high", "/bootstrap/SHmax/high"},
  };
  for (const auto& [column, pointer] : kFrom) row[column] = at(r, pointer);
  fill_answer_columns(row, r);
}

// Closes a descriptor at the end of a scope.
struct FdCloser {
  int fd;
  ~FdCloser() {
    if (fd >= 0) ::close(fd);
  }
};

// Runs a station in its folder of the campaign folder open as `dir_fd`: the
// folder is made if need be and opened without following links, so that a
// link planted in its place cannot send the results elsewhere. A folder made
// for a station that then failed is removed again (it is empty: a failed
// station commits nothing).
using InputsByFolder = std::map<std::pair<dev_t, ino_t>, std::vector<rt::Destinations::Input>>;

StationRun run_in_folder(int dir_fd, const fs::path& dir, const Station& s, const InputsByFolder& inputs,
                         const StationRunner& run_station) {
  const std::string path = (dir / s.name).string();
  bool made = false;
  int made_slot = -1;  // a new folder is removed on a signal while it is empty
  int err = 0;
  {
    const rt::SignalsHeld held;
    made = ::mkdirat(dir_fd, s.name.c_str(), 0777) == 0;
    err = errno;
    if (made) made_slot = rt::register_temporary_folder(dir_fd, s.name);
  }
  struct Forget {
    int slot;
    ~Forget() { rt::unregister_temporary(slot); }
  } const forget{made_slot};
  if (!made && err != EEXIST) {
    throw rt::RunStop("could not make the station folder " + path + " (" + std::strerror(err) + ")");
  }
  const int fd = ::openat(dir_fd, s.name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) {
    const int e = errno;
    struct stat st {};
    const bool link = ::fstatat(dir_fd, s.name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode);
    throw rt::RunStop("the station folder " + path +
                      (link ? " is a symbolic link, which is not followed"
                            : e == ENOTDIR ? " is not a folder" : " cannot be opened (" + std::string(std::strerror(e)) + ")"));
  }
  const FdCloser closer{fd};
  const std::vector<rt::Destinations::Input> none;
  struct stat st {};
  const auto here = ::fstat(fd, &st) == 0 ? inputs.find({st.st_dev, st.st_ino}) : inputs.end();
  StationRun r = run_station(s, StationFolder{fd, path, here == inputs.end() ? &none : &here->second});
  if (!r.ok() && made) ::unlinkat(dir_fd, s.name.c_str(), AT_REMOVEDIR);
  return r;
}

}  // namespace

bool safe_name(const std::string& s) {
  if (s.empty() || s == "." || s == "..") return false;
  return std::all_of(s.begin(), s.end(), [](char c) {
    return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '-' || c == '_' || c == '.';
  });
}

const std::vector<std::string>& summary_columns() {
  static const std::vector<std::string> kColumns = {
      "station",         "longitude",       "latitude",        "status",        "message",
      "N",               "NMIN",            "sigma1_trend",    "sigma1_plunge", "sigma2_trend",
      "sigma2_plunge",   "sigma3_trend",    "sigma3_plunge",   "R",             "R_prime",
      "R_prime_class",   "wsm_regime",      "SHmax_deg",       "wsm_SHmax_deg", "deviation_deg",
      "mean_misfit_deg", "sigma1_cone_deg", "sigma2_cone_deg", "sigma3_cone_deg", "R_low",
      "R_high",          "SHmax_low",       "SHmax_high"};
  static const std::vector<std::string> kAll = [] {
    std::vector<std::string> all = kColumns;
    all.insert(all.end(), answer_columns().begin(), answer_columns().end());
    for (const char* c : {"phase", "phases", "phase_members"}) all.emplace_back(c);
    return all;
  }();
  return kAll;
}

namespace {

// The columns of a station table, as its header row names them.
struct StationColumns {
  std::map<std::string, std::size_t> index;  // column key -> column, from 0
  std::vector<std::size_t> carried;          // the columns carried to the outputs

  std::size_t at(const char* key) const { return index.at(key); }
};

// Each column once, by name: the outputs key the values by column name, so
// a repeated name would overwrite a value or shift the summary's cells. A
// column without a name is left out when it is empty (the trailing
// delimiter of a spreadsheet export) and refused when it holds values.
std::map<std::string, std::size_t> named_columns(const table::Table& t, const std::string& path) {
  std::map<std::string, std::size_t> col;
  for (std::size_t k = 0; k < t.header.size(); ++k) {
    const std::string key = table::column_key(t.header[k]);
    if (key.empty()) {
      for (const table::Row& r : t.rows) {
        if (k < r.cells.size() && r.cells[k].find_first_not_of(" \t") != std::string::npos) {
          throw rt::InputError(path, r.number,
                               table::where(t, r.number, k + 1) + ": a value in a column without a name in the header row");
        }
      }
      continue;
    }
    const auto [first, fresh] = col.emplace(key, k);
    if (!fresh) {
      throw rt::InputError(path, 1, table::where(t, 1, k + 1) + ": column \"" + table::shown(t.header[k]) +
                                        "\" repeats column " + std::to_string(first->second + 1) + " (\"" +
                                        table::shown(t.header[first->second]) + "\")");
    }
  }
  return col;
}

// The header row's checks: the required columns, and no carried column
// named as a summary column. The carried names go to `st`.
StationColumns station_columns(const table::Table& t, const std::string& path, StationTable& st) {
  StationColumns c{named_columns(t, path), {}};
  for (const char* required : {"station", "data"}) {
    if (c.index.count(required) == 0) {
      throw rt::InputError(path, 1, table::where(t, 1, 0) + ": the station table has no `" + required +
                                        "` column (required: station, data; optional: parameters, longitude, "
                                        "latitude; any other column is carried to the outputs)");
    }
  }
  // `type` is carried too: it chooses the kind of data, and is the user's
  // label where it holds another value.
  const std::set<std::string> known = {"station",   "data",      "parameters", "longitude", "latitude", "plane",
                                       "striation", "delimiter", "decimal",    "encoding",  "sense_map"};
  std::set<std::string> results;
  for (const std::string& col : summary_columns()) results.insert(table::column_key(col));
  for (std::size_t k = 0; k < t.header.size(); ++k) {
    const std::string key = table::column_key(t.header[k]);
    if (key.empty() || known.count(key) != 0) continue;
    if (results.count(key) != 0) {
      throw rt::InputError(path, 1, table::where(t, 1, k + 1) + ": column \"" + table::shown(t.header[k]) +
                                        "\" has the name of a summary column, where the result goes: rename it");
    }
    c.carried.push_back(k);
    st.carried_columns.push_back(t.header[k]);
  }
  return c;
}

// A cell without its surrounding blanks.
std::string trimmed_cell(const std::string& text) {
  const auto b = text.find_first_not_of(" \t");
  if (b == std::string::npos) return "";
  return text.substr(b, text.find_last_not_of(" \t") - b + 1);
}

// Names seen so far: lower case -> the first name and its row.
using StationNames = std::map<std::string, std::pair<std::string, int>>;

// Whether a station's data file holds focal mechanisms: its `type` cell
// (with a warning for a value that is no data type), else the file itself.
bool holds_mechanisms(const table::Table& t, const table::Row& r, const StationColumns& c,
                      const std::function<std::string(const char*)>& cell, Station& s) {
  // The kind of data: `type` mechanisms (or mechanism), faults, or blank
  // (a table with strike, dip and rake but no other plane or sense
  // column holds mechanisms). Any other value is the user's label, as
  // in the tables written before `type` chose the data: carried, and
  // the file decides as for a blank.
  std::string type = table::column_key(cell("type"));
  type.erase(std::remove(type.begin(), type.end(), '_'), type.end());
  if (type == "mechanism") type = "mechanisms";
  if (type != "" && type != "mechanisms" && type != "faults") {
    s.warnings.push_back(table::where(t, r.number, c.at("type") + 1) + ": type \"" + table::shown(cell("type")) +
                         "\" is not a data type (mechanisms or faults): it is carried as a label");
    type.clear();
  }
  return type == "mechanisms" ||
         (type.empty() && s.spreadsheet && s.problem.empty() && import::is_mechanism_table(s.data));
}

// The import conventions of a spreadsheet station (its `plane`,
// `striation`, `decimal`, `encoding`, `delimiter` and `sense_map` cells),
// checked as zarkel-import checks its options; true when any is given.
bool read_conventions(const std::function<std::string(const char*)>& cell, const StationColumns& c,
                      const std::function<void(std::size_t, const std::string&)>& problem,
                      decltype(Station::import)& into) {
  const struct Convention {
    const char* key;
    std::vector<const char*> values;
    std::string* into;
  } conventions[] = {
      {"plane", {"dip-direction", "strike-rhr", "strike-quadrant"}, &into.plane},
      {"striation", {"rake", "unsigned-rake", "trend-plunge", "pitch"}, &into.striation},
      {"decimal", {"point", "comma"}, &into.decimal},
      {"encoding", {"utf-8", "latin1", "cp1252"}, &into.encoding},
  };
  bool convention_given = false;
  for (const Convention& cv : conventions) {
    const std::string text = trimmed_cell(cell(cv.key));
    if (text.empty()) continue;
    convention_given = true;
    if (std::find_if(cv.values.begin(), cv.values.end(), [&](const char* v) { return text == v; }) == cv.values.end()) {
      std::string list;
      for (const char* v : cv.values) list += (list.empty() ? "" : ", ") + std::string(v);
      problem(c.at(cv.key), std::string(cv.key) + " \"" + table::shown(text) + "\" is not one of " + list);
    } else {
      *cv.into = text;
    }
  }
  if (const std::string d = trimmed_cell(cell("delimiter")); !d.empty() || cell("delimiter") == "\t") {
    convention_given = true;
    const std::string v = d.empty() ? std::string("\t") : d;
    if (v == "," || v == ";" || v == "tab" || v == "\t") {
      into.delimiter = v == "tab" ? '\t' : v[0];
    } else {
      problem(c.at("delimiter"), "delimiter \"" + table::shown(v) + "\" is not , ; or tab");
    }
  }
  if (const std::string m = trimmed_cell(cell("sense_map")); !m.empty()) {
    convention_given = true;
    std::istringstream words(m);  // WORD=LETTER pairs separated by blanks
    for (std::string pair; words >> pair;) {
      const auto eq = pair.rfind('=');
      const std::string word = eq == std::string::npos ? "" : table::column_key(pair.substr(0, eq));
      const std::string letter = eq == std::string::npos ? "" : pair.substr(eq + 1);
      const char u = letter.size() == 1 ? static_cast<char>(std::toupper(static_cast<unsigned char>(letter[0]))) : '?';
      if (word.empty() || std::string("NIRDS").find(u) == std::string::npos) {
        problem(c.at("sense_map"), "sense_map \"" + table::shown(pair) +
                                       "\": expected WORD=LETTER pairs separated by blanks, LETTER N, I (or R), D or S");
        break;
      }
      if (!into.sense_map.emplace(word, u == 'R' ? 'I' : u).second) {
        problem(c.at("sense_map"), "sense_map gives \"" + table::shown(pair.substr(0, eq)) + "\" twice");
        break;
      }
    }
  }
  return convention_given;
}

// One row of the table as a station; what is wrong with the row is its
// `problem` (the first found), not an exception: the other stations run.
Station station_row(const table::Table& t, const table::Row& r, const StationColumns& c, const fs::path& folder,
                    const std::string& default_parameters, StationNames& names, int index) {
  const auto cell = [&](const char* key) -> std::string {
    auto it = c.index.find(key);
    return it == c.index.end() ? std::string() : r.cells[it->second];
  };
  Station s;
  s.index = index;
  s.row = r.number;
  s.name = cell("station");
  for (std::size_t k : c.carried) s.carried.push_back(r.cells[k]);
  const auto problem = [&](std::size_t column, const std::string& what) {
    if (s.problem.empty()) s.problem = table::where(t, r.number, column + 1) + ": " + what;
  };
  if (!safe_name(s.name)) {
    problem(c.at("station"), "station name \"" + table::shown(s.name) +
                                 "\" is not a folder name: use letters, digits, '-', '_' and '.'");
  } else if (const std::string folded = lowered(s.name);
             folded == kSummary || folded == kGeoJson || folded == kManifest || folded == kMap) {
    problem(c.at("station"), "station name \"" + s.name + "\" is the name of a campaign file");
  } else if (const auto [other, fresh] = names.emplace(folded, std::pair{s.name, s.row}); !fresh) {
    problem(c.at("station"), other->second.first == s.name
                                 ? "station \"" + s.name + "\" is named twice"
                                 : "station \"" + s.name + "\" differs from station \"" + other->second.first +
                                       "\" (row " + std::to_string(other->second.second) +
                                       ") only in case: on a file system that ignores case both are one folder");
  }
  for (const char* key : {"longitude", "latitude"}) {
    const std::string text = cell(key);
    if (text.find_first_not_of(" \t") == std::string::npos) continue;
    const auto v = table::parse_number(text, table::decimal_comma(t));
    const double limit = std::string(key) == "longitude" ? 180.0 : 90.0;
    if (!v) {
      problem(c.at(key), std::string(key) + " \"" + table::shown(text) + "\" is not a number");
    } else if (*v < -limit || *v > limit) {
      problem(c.at(key), std::string(key) + " " + text + " is outside -" + std::to_string(int(limit)) + " to " +
                             std::to_string(int(limit)) + " (WGS 84 decimal degrees)");
    } else {
      (std::string(key) == "longitude" ? s.longitude : s.latitude) = *v + 0.0;  // -0 is 0
    }
  }
  const std::string data = cell("data");
  if (data.empty()) {
    problem(c.at("data"), "no data file");
  } else {
    s.data = resolved(folder, data);
    s.spreadsheet = is_spreadsheet(s.data);
    if (const std::string why = not_a_file(s.data); !why.empty()) problem(c.at("data"), "data file " + s.data + why);
    s.mechanisms = holds_mechanisms(t, r, c, cell, s);
    s.spreadsheet = s.spreadsheet && !s.mechanisms;
  }
  const bool convention_given = read_conventions(cell, c, problem, s.import);
  if (convention_given && !s.spreadsheet && s.problem.empty()) {
    problem(c.at("data"), "import conventions (plane, striation, delimiter, decimal, encoding, sense_map) are for a "
                          "field spreadsheet of faults; " + s.data + " is not one");
  }
  const std::string prm = cell("parameters");
  if (!prm.empty()) {
    s.parameters = resolved(folder, prm);
    if (const std::string why = not_a_file(s.parameters); !why.empty()) {
      problem(c.at("parameters"), "parameters file " + s.parameters + why);
    }
  } else if (!default_parameters.empty()) {
    s.parameters = default_parameters;
  } else {
    problem(c.at("station"), "no parameters file: give a `parameters` column or --parameters FILE");
  }
  return s;
}

}  // namespace

StationTable read_station_table(const std::string& path, const std::string& default_parameters) {
  const table::Table t = table::read_table(path);
  StationTable st;
  st.file = path;
  const StationColumns columns = station_columns(t, path, st);
  const fs::path folder = fs::path(path).parent_path();
  StationNames names;
  for (const table::Row& r : t.rows) {
    st.stations.push_back(
        station_row(t, r, columns, folder, default_parameters, names, static_cast<int>(st.stations.size())));
  }
  return st;
}

json summary_row(const Station& s, const StationRun& o) {
  json row;
  for (const std::string& c : summary_columns()) row[c] = nullptr;
  row["station"] = s.name;
  if (s.longitude) row["longitude"] = *s.longitude;
  if (s.latitude) row["latitude"] = *s.latitude;
  row["status"] = o.ok() ? "ok" : "failed";
  row["message"] = o.ok() ? "" : o.message;
  if (o.ok()) fill_summary_from_result(row, o.document);
  return row;
}

namespace {

// The document of a station read as if phase `j` were its answer, in the
// places fill_summary_from_result reads: the phase's tensor, stress state,
// deviation, the mean misfit of its members, its bootstrap and NSEED; N,
// NMIN and the starts' ambiguity stay the station's.
json phase_view(const json& doc, const json& separation, std::size_t j) {
  const json& p = separation["phases"][j];
  double sum = 0.0;  // the mean misfit of the phase's members, in double
  int members = 0;
  for (const json& d : separation["data"]) {
    const json m = at(d, ("/misfits_deg/" + std::to_string(j)).c_str());
    if (d["phase"] != static_cast<int>(j + 1) || !m.is_number()) continue;
    sum += m.get<double>();
    ++members;
  }
  json view = {{"N", at(doc, "/N")},
               {"NMIN", at(doc, "/NMIN")},
               {"final",
                {{"axes", p["axes"]},
                 {"R", p["R"]},
                 {"stress_state", p["stress_state"]},
                 {"residual_std_deg", p["residual_std_deg"]},
                 {"misfit_statistics", {{"all", {{"mean_deg", members > 0 ? json_real(sum / members) : json()}}}}}}},
               {"starts",
                {{"ambiguous", at(doc, "/starts/ambiguous")}, {"minima", at(doc, "/starts/minima")}, {"NSEED", p["NSEED"]}}}};
  if (p.contains("bootstrap")) view["bootstrap"] = p["bootstrap"];
  if (p.contains("quality")) view["quality"] = p["quality"];
  return view;
}

}  // namespace

std::vector<json> summary_rows(const Station& s, const StationRun& o) {
  const json row = summary_row(s, o);
  const json separation = o.ok() ? at(o.document, "/phases") : json();
  if (!separation.is_object() || !separation["phases"].is_array() || separation["phases"].empty()) return {row};
  std::vector<json> rows;
  const json& list = separation["phases"];
  for (std::size_t j = 0; j < list.size(); ++j) {
    json r = row;
    fill_summary_from_result(r, phase_view(o.document, separation, j));
    r["phase"] = static_cast<int>(j + 1);
    r["phases"] = separation["k"];
    r["phase_members"] = list[j]["members"];
    rows.push_back(std::move(r));
  }
  return rows;
}

namespace {

// The campaign's inputs (the table, every station's files): never
// destinations, whatever their names. They are also kept by folder, as a
// station's files can only be an input that lies in its folder: a station
// checks those alone.
rt::Destinations campaign_inputs(const CampaignOptions& o, const StationTable& table, InputsByFolder& by_folder) {
  rt::Destinations inputs;
  const auto input = [&](const std::string& path, const std::string& what) {
    struct stat st {}, folder {};
    if (path.empty() || ::stat(path.c_str(), &st) != 0) return;
    const rt::Destinations::Input in{{st.st_dev, st.st_ino}, what + " \"" + path + "\""};
    inputs.inputs.push_back(in);
    const std::string parent = fs::path(path).parent_path().string();
    if (::stat(parent.empty() ? "." : parent.c_str(), &folder) == 0) by_folder[{folder.st_dev, folder.st_ino}].push_back(in);
  };
  input(o.table, "station table");
  input(o.parameters, "PARAMETERS file");
  for (const Station& s : table.stations) {
    input(s.data, "DATA file");
    input(s.parameters, "PARAMETERS file");
  }
  return inputs;
}

// What the stations of a shard gave: their outcomes and summary rows, by
// station.
struct ShardRuns {
  std::vector<StationRun> outcomes;
  std::vector<std::vector<json>> rows;
  std::vector<json> cells, outlines;  // a grid's: each cell's grid.json entry and outline
};

// Runs the stations `mine` on the shared worker threads. A station's
// document is read into its summary row as soon as it ran, and let go: a
// campaign keeps one row per station, not its documents.
ShardRuns run_stations(const CampaignOptions& o, const StationTable& table, const std::vector<const Station*>& mine,
                       int dir_fd, const InputsByFolder& by_folder, const StationRunner& run_station,
                       std::ostream& err) {
  ShardRuns runs{std::vector<StationRun>(mine.size()), std::vector<std::vector<json>>(mine.size()),
                 std::vector<json>(mine.size()), std::vector<json>(mine.size())};
  ProgressLine progress(err, o.progress && !o.quiet, static_cast<long long>(mine.size()), o.noun);
  const fs::path dir(o.out_dir);
  const auto task = [&](std::size_t k, Workspace&, const ensemble::Tick& tick) {
    const Station& s = *mine[k];
    StationRun& r = runs.outcomes[k];
    if (!s.problem.empty()) {
      r.message = s.problem;
    } else if (o.strict && !s.warnings.empty()) {
      r.message = s.warnings.front() + " (--strict makes warnings errors)";
    } else {
      try {
        r = run_in_folder(dir_fd, dir, s, by_folder, run_station);
      } catch (const std::exception& e) {
        r = StationRun{};
        r.message = e.what();
      }
    }
    if (!o.strict) r.warnings.insert(r.warnings.begin(), s.warnings.begin(), s.warnings.end());
    runs.rows[k] = summary_rows(s, r);
    for (json& row : runs.rows[k]) {
      for (std::size_t c = 0; c < table.carried_columns.size(); ++c) {
        row[table.carried_columns[c]] = c < s.carried_values.size() ? s.carried_values[c] : json(s.carried[c]);
      }
    }
    if (o.grid_cell) runs.cells[k] = o.grid_cell(s, r);
    if (o.outline) runs.outlines[k] = o.outline(s);
    r.document = nullptr;
    tick();
  };
  ensemble::run_parallel(mine.size(), o.jobs, task, [&](long long done) { progress.update(done); });
  progress.finish();
  return runs;
}

}  // namespace

int run_campaign(const CampaignOptions& o, const StationRunner& run_station, std::ostream& out,
                 std::ostream& err) {
  const StationTable read = o.stations != nullptr ? StationTable{} : read_station_table(o.table, o.parameters);
  const StationTable& table = o.stations != nullptr ? *o.stations : read;
  std::vector<const Station*> mine;
  for (const Station& s : table.stations) {
    if (s.index % o.shards == o.shard) mine.push_back(&s);
  }
  make_campaign_folder(o.out_dir);
  const FolderLock lock(o.out_dir);
  // The campaign's outputs are checked, and their temporaries made, before
  // any station runs.
  InputsByFolder by_folder;
  CampaignOutputs outputs(o.out_dir, campaign_inputs(o, table, by_folder), o.grid);
  const std::string table_digest = file_digest(o.table);
  // What the stations read, before they run; a file that cannot be read is
  // the station's failure, not the campaign's.
  std::map<std::string, std::string> input_digests;
  for (const Station* s : mine) {
    for (const std::string* path : {&s->parameters, &s->data}) {
      if (path->empty()) continue;
      const std::string whole = fs::absolute(*path).lexically_normal().string();
      if (input_digests.count(whole) != 0) continue;
      try {
        input_digests[whole] = file_digest(*path);
      } catch (const rt::RunError&) {
      }
    }
  }

  // Walked as a result's path is: the folder checked is the folder used.
  std::string why_not;
  const int dir_fd = rt::ResultFile::open_folder(o.out_dir, why_not);
  if (dir_fd < 0) {
    throw rt::RunStop("could not open the campaign folder " + o.out_dir + " (" +
                      (why_not.empty() ? std::string(std::strerror(ENOENT)) : why_not) + ")");
  }
  const FdCloser dir_closer{dir_fd};
  ShardRuns runs = run_stations(o, table, mine, dir_fd, by_folder, run_station, err);

  Manifest manifest;
  manifest.table = fs::absolute(o.table).lexically_normal().string();
  manifest.table_digest = table_digest;
  manifest.options_digest = digest(o.run_options);
  manifest.shard = o.shard;
  manifest.shards = o.shards;
  manifest.carried_columns = table.carried_columns;
  manifest.input_digests = std::move(input_digests);
  manifest.grid = o.grid;
  outputs.start(manifest);
  int failed = 0;
  for (std::size_t k = 0; k < mine.size(); ++k) {
    const Station& s = *mine[k];
    const std::string station = !s.described.empty() ? s.described
                                : "station " + (s.name.empty() ? std::string("(no name)") : s.name) + " (row " +
                                      std::to_string(s.row) + ")";
    for (const std::string& w : runs.outcomes[k].warnings) {
      err << "warning: " << station << ": " << rt::shortened(w) << "\n";
    }
    if (!runs.outcomes[k].ok()) {
      ++failed;
      err << station << " failed: " << rt::shortened(runs.outcomes[k].message) << "\n";
    }
    outputs.add({s.index, s.name, runs.outcomes[k].ok(), std::move(runs.rows[k]), std::move(runs.cells[k]),
                 std::move(runs.outlines[k])});
  }
  outputs.commit(err);
  if (!o.quiet) {
    out << o.out_dir << ": " << mine.size() - static_cast<std::size_t>(failed) << " of " << mine.size()
        << " " << o.noun << " ran" << (failed ? ", " + std::to_string(failed) + " failed" : std::string()) << "\n";
  }
  return failed == 0 ? 0 : 1;
}

}  // namespace zk::batch
