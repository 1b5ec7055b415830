#include "batch/batch.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <cstdio>
#include <cstring>
#include <exception>
#include <memory>
#include <optional>
#include <sstream>

#include "areas/workspace.hpp"
#include "campaign/campaign.hpp"
#include "batch/command_line.hpp"
#include "import/import.hpp"
#include "results/ensemble_output.hpp"
#include "results/phases_output.hpp"
#include "figures/figure_svg.hpp"
#include "results/mechanisms_output.hpp"
#include "batch/mechanisms_run.hpp"
#include "batch/grid_run.hpp"
#include "frontend/progress.hpp"
#include "results/run_report.hpp"
#include "results/run_steps.hpp"
#include "results/summary_line.hpp"
#include "results/warnings.hpp"
#include "results/result_json.hpp"
#include "frontend/run_error.hpp"
#include "engine/engine.hpp"
#include "ensemble/ensemble.hpp"
#include "report/report.hpp"
#include "runtime/errors.hpp"
#include "runtime/interrupt.hpp"
#include "runtime/printable.hpp"
#include "runtime/scratch_folder.hpp"
#include "runtime/result_file.hpp"

namespace zk::batch {

namespace {

// Stage 1 of a long run on the progress line, updated once a second at most.
class DrawLine : public DrawProgress {
 public:
  DrawLine(std::ostream& err, bool shown, int total) : line_(err, shown, total, "draws") {}
  void draws(int done, int total) override {
    const auto now = std::chrono::steady_clock::now();
    if (done < total && now - last_ < std::chrono::seconds(1)) return;
    last_ = now;
    line_.update(done);
    if (done >= total) line_.finish();
  }

 private:
  ProgressLine line_;
  std::chrono::steady_clock::time_point last_ = std::chrono::steady_clock::now();
};

// A result of the command line: "--json FILE" or "--svg FILE".
struct Extra {
  const char* option;
  const char* what;
  const std::string* path;
  std::unique_ptr<rt::ResultFile> file;
};

std::string described(const char* what, const std::string& path) {
  return path == "-" ? std::string(what) + " (standard output)" : std::string(what) + " \"" + path + "\"";
}

int refused(std::ostream& err, const std::string& option, const std::string& path, const std::string& why) {
  err << "zarkel-batch: " << option << " \"" << rt::shortened(path) << "\" is refused: " << rt::shortened(why) << "\n";
  return kExitUsage;
}

// Finishes every result, then replaces each in turn, signals held so that
// the group is not cut; a replacement that still fails says which files
// were replaced before it and which were not.
void commit_all(const std::vector<rt::ResultFile*>& results, bool& listing_pending) {
  for (rt::ResultFile* r : results) r->finish();
  const rt::SignalsHeld all_or_nothing;
  for (std::size_t k = 0; k < results.size(); ++k) {
    try {
      results[k]->replace();
      if (k == 0) listing_pending = false;
    } catch (const rt::RunStop& e) {
      std::string done, left;
      for (std::size_t j = 0; j < results.size(); ++j) {
        std::string& list = j < k ? done : left;
        list += (list.empty() ? "" : ", ") + results[j]->what();
      }
      throw rt::RunStop(std::string(e.what()) + "; " + (done.empty() ? "nothing was replaced" : "replaced: " + done) +
                        "; not replaced: " + left);
    }
  }
}

// Why --phase-dir cannot take the phase files ("" when it can): a path that
// is not a folder, or a folder that cannot be made (its parent missing).
std::string phase_dir_problem(const std::string& dir) {
  std::error_code ec;
  const auto st = std::filesystem::status(dir, ec);
  if (std::filesystem::exists(st)) return std::filesystem::is_directory(st) ? "" : "it is not a folder";
  const std::filesystem::path parent = std::filesystem::path(dir).parent_path();
  if (!parent.empty() && !std::filesystem::is_directory(parent, ec)) return "its parent folder does not exist";
  if (::faccessat(AT_FDCWD, parent.empty() ? "." : parent.c_str(), W_OK | X_OK, AT_EACCESS) != 0) {
    return "its parent folder does not let this user make it (" + std::string(std::strerror(errno)) + ")";
  }
  return "";
}

// The names of the phase files, and the number of the phase of each (0
// for none.DATA).
std::vector<std::pair<std::string, int>> phase_file_names() {
  std::vector<std::pair<std::string, int>> names{{"none.DATA", 0}};
  for (int i = 1; i <= phases::kMaxPhases; ++i) {
    for (const char* ext : {".DATA", ".PARAMETERS", ".LISTING", ".svg"}) {
      names.emplace_back("phase-" + std::to_string(i) + ext, i);
    }
  }
  return names;
}

// Before any work: every phase file a run of up to `most` phases could
// write must be a destination, and every other one of an earlier run, which
// this run would remove, removable under the same rules. Returns why not.
std::string phase_names_problem(const std::string& dir, int most, const rt::Destinations& taken) {
  std::string why;
  const int fd = rt::ResultFile::open_folder(dir, why);
  if (fd < 0) return why;  // "": no folder yet, made when the files are committed
  const struct Closer {
    int fd;
    ~Closer() { ::close(fd); }
  } closer{fd};
  if (::faccessat(fd, ".", W_OK | X_OK, AT_EACCESS) != 0) {
    return "this user may not create files in it (" + std::string(std::strerror(errno)) + ")";
  }
  for (const auto& [name, phase] : phase_file_names()) {
    if (phase <= most) {
      if (const std::string p = rt::ResultFile::destination_problem(fd, dir, name, taken); !p.empty()) {
        return name + ": " + p;
      }
    }
    const rt::ResultFile::Removal r = rt::ResultFile::removal_of(fd, dir, name, taken);
    if (!r.refusal.empty()) return name + ", a phase file of an earlier run that this run would remove: " + r.refusal;
  }
  return "";
}

// The phase files of an earlier run that this one did not write (a phase
// it no longer has, none.DATA when every datum has a phase) are removed, so
// the folder describes this run only; never a file this run read or wrote.
// Returns the warnings of those that could not be.
std::vector<std::string> remove_stale_phase_files(const std::string& dir, const std::vector<std::string>& written,
                                                  const rt::Destinations& taken) {
  std::vector<std::string> warnings;
  std::string why;
  const int fd = rt::ResultFile::open_folder(dir, why);
  if (fd < 0) return warnings;
  for (const auto& [name, phase] : phase_file_names()) {
    if (std::find(written.begin(), written.end(), name) != written.end()) continue;
    if (const std::string p = rt::ResultFile::remove_stale(fd, dir, name, taken); !p.empty()) {
      warnings.push_back("--phase-dir: " + dir + "/" + name + " of an earlier run was not removed: " + p);
    }
  }
  ::close(fd);
  return warnings;
}


int usage_error(std::ostream& err, const std::string& what) {
  err << "zarkel-batch: " << rt::shortened(what) << "\n"
      << kUsageLine << "\n"
      << "Try 'zarkel-batch --help' for more information.\n";
  return kExitUsage;
}

// The files of a campaign's station, prepared in its folder: the run writes
// into them instead of the paths of the options, and `also` (the imported
// DATA) is committed with them.
struct StationFiles {
  std::unique_ptr<rt::ResultFile> listing, json, svg;
  std::vector<rt::ResultFile*> also;
  std::string data_shown;  // how messages name the DATA read ("" as opened)
};

// One run, passed from step to step: open, prepare, solve, write, commit.
// Members are destroyed in reverse order, so the results not committed are
// removed before the Workspace that holds the listing.
struct RunSteps {
  const Options& o;
  std::ostream& out;
  std::ostream& err;
  StationRun* station;  // null on the command line
  StationFiles* files;
  std::shared_ptr<const MechanismsReport> mechanisms;
  std::istringstream no_console{};
  std::unique_ptr<Workspace> ws{};
  Extra extras[2] = {{"--json", "JSON document", &o.json, nullptr}, {"--svg", "SVG figure", &o.svg, nullptr}};
  rt::Destinations taken{};  // what the phase files of --phase-dir must not be
  rt::ResultFile* listing = nullptr;
  bool listing_pending = true;
  std::vector<rt::ResultFile*> results{};
  std::vector<std::unique_ptr<rt::ResultFile>> phase_results{};
  std::vector<std::string> written{};  // the names of the phase files
  rt::ResultFile* chosen = nullptr;   // --chosen-data, committed with the others
  int ntir = 0;                        // draws of the listed run's first stage

  int failed(bool listing_started) {
    if (station == nullptr) return report_run_error(err, listing_started, "zarkel-batch");
    const RunErrorText t = run_error_text();
    station->message = t.message;
    return t.status;
  }
  // A warning without its "warning: ": kept for a station, shown otherwise.
  void warn(const std::string& w) {
    if (station != nullptr) {
      station->warnings.push_back(w);
    } else {
      err << "warning: " << rt::shortened(w) << "\n";
    }
  }
};

// The input files, opened on their units.
void open(RunSteps& s) {
  const Options& o = s.o;
  s.ws = std::make_unique<Workspace>(s.no_console, s.err);
  Workspace* ws = s.ws.get();
  ws->units.set_dash_is_stdout(true);
  store_constants(*ws);
  const std::pair<const char*, const std::string*> inputs[] = {{"PARAMETERS", &o.parameters}, {"DATA", &o.data}};
  const int units[] = {unit::kParameters, unit::kData};
  // A run on focal mechanisms gets its data from the plane choice, which
  // read the table: only the PARAMETERS is opened.
  for (int k = 0; k < (s.mechanisms ? 1 : 2); ++k) {
    std::string why;
    if (!ws->units.open(units[k], *inputs[k].second, "old", &why)) {
      throw rt::RunStop("could not open the " + std::string(inputs[k].first) + " file " + *inputs[k].second +
                        (why.empty() ? "" : " (" + why + ")"));
    }
  }
  if (!s.mechanisms && s.files != nullptr && !s.files->data_shown.empty()) {
    ws->units.name_for_messages(unit::kData, s.files->data_shown);
  }
}

// Every destination is checked, and its temporary made, before any work.
// Returns the exit status of a refusal, or nothing when all are ready.
std::optional<int> prepare(RunSteps& s) {
  const Options& o = s.o;
  std::ostream& err = s.err;
  std::string why;
  if (s.files != nullptr) {
    s.ws->units.open_result(unit::kListing, std::move(s.files->listing), o.output);
    s.extras[0].file = std::move(s.files->json);
    s.extras[1].file = std::move(s.files->svg);
  } else {
    if (!s.ws->units.open(unit::kListing, o.output, "unknown", &why)) return refused(err, "OUTPUT", o.output, why);
    s.taken = s.ws->units.destinations();
    if (s.mechanisms) {  // the table is read by the plane choice, not by this run's units
      struct stat st {};
      if (::stat(s.mechanisms->table.c_str(), &st) == 0) {
        s.taken.inputs.push_back({{st.st_dev, st.st_ino}, "mechanism table \"" + s.mechanisms->table + "\""});
      }
    }
    if (s.chosen != nullptr) s.taken.results.push_back(s.chosen);
    for (Extra& x : s.extras) {
      if (x.path->empty()) continue;
      x.file = rt::ResultFile::prepare(*x.path, described(x.what, *x.path), s.taken, why);
      if (!x.file) return refused(err, x.option, *x.path, why);
      s.taken.results.push_back(x.file.get());
    }
  }
  s.listing = s.ws->units.result(unit::kListing);
  if (!o.phase_dir.empty()) {
    if (const std::string why_not = phase_dir_problem(o.phase_dir); !why_not.empty()) {
      return refused(err, "--phase-dir", o.phase_dir, why_not);
    }
    // Each phase's listing is made from files in the temporary folder.
    if (const std::string why_not = rt::temporary_folder_problem(); !why_not.empty()) {
      return refused(err, "--phase-dir", o.phase_dir, "the phase listings need temporary files: " + why_not);
    }
    if (const std::string why_not = phase_names_problem(o.phase_dir, o.phases > 0 ? o.phases : o.max_phases, s.taken);
        !why_not.empty()) {
      return refused(err, "--phase-dir", o.phase_dir, why_not);
    }
  }
  return std::nullopt;
}

// What the steps say as they run: on the command line, warnings and
// progress lines on `err`; for a station, its warnings kept.
class BatchHooks : public StepHooks {
 public:
  BatchHooks(RunSteps& s, bool shown) : s_(s), shown_(shown) {}
  void warn(const std::string& w) override {
    s_.warn(w);
    s_.err.flush();
  }
  // A campaign says the options' warnings once, not per station.
  void warn_options(const std::string& w) override {
    if (s_.station == nullptr) warn(w);
  }
  ensemble::Report counter(long long total, const std::string& what) override {
    line_ = std::make_unique<ProgressLine>(s_.err, shown_, total, what);
    return [this](long long done) { line_->update(done); };
  }
  void counted() override {
    if (line_) line_->finish();
    line_.reset();
  }
  DrawProgress* draws(bool slow) override {
    draws_ = std::make_unique<DrawLine>(s_.err, shown_ && slow, s_.ntir);
    return draws_.get();
  }

 private:
  RunSteps& s_;
  bool shown_;
  std::unique_ptr<ProgressLine> line_;
  std::unique_ptr<DrawLine> draws_;
};

// Reads the input, runs the steps (phases, ensemble, listed run), and
// gathers what the outputs show.
RunReport solve(RunSteps& s) {
  const Options& o = s.o;
  std::ostream& err = s.err;
  // A run on focal mechanisms lists the choice's input (the table's planes
  // as given); any other reads its PARAMETERS and DATA files.
  const RunInput input = s.mechanisms ? s.mechanisms->listed : read_run_input(*s.ws);
  if (s.station != nullptr) {
    s.station->warnings.insert(s.station->warnings.end(), input.warnings.begin(), input.warnings.end());
  } else {
    err << warning_lines(input.warnings);
  }
  if (o.strict && !input.warnings.empty()) {
    throw rt::RunStop("--strict: the input gives " + std::to_string(input.warnings.size()) +
                      (input.warnings.size() == 1 ? " warning" : " warnings") + "; nothing was run");
  }
  err.flush();
  StepOptions so;
  so.ensemble = {o.starts > 0 ? o.starts : ensemble::default_starts(input.params), o.bootstrap, o.confidence,
                 o.bootstrap_seed, o.jobs > 0 ? o.jobs : ensemble::hardware_jobs()};
  so.starts_asked = o.starts > 0;
  so.phases = o.phases;
  so.max_phases = o.max_phases;
  so.phase_starts = o.phase_starts;
  so.outlier_misfit = o.outlier_misfit;
  so.strict = o.strict;
  s.ntir = input.params.NTIR;
  BatchHooks hooks(s, !o.quiet && (o.progress || ::isatty(STDERR_FILENO) == 1));
  RunReport result = run_steps(input, so, s.mechanisms, *s.ws, ListingSink::output_unit(), hooks);
  result.parameters_path = o.parameters;
  result.data_path = o.data_name.empty() ? o.data : o.data_name;
  result.output_path = o.output_name.empty() ? o.output : o.output_name;
  return result;
}

// The result document, the figure and the phase files, written into their
// temporaries; `s.results` lists every file to commit, the listing first.
void write(RunSteps& s, const RunReport& result) {
  const Options& o = s.o;
  Extra* extras = s.extras;
  std::vector<rt::ResultFile*>& results = s.results;
  results.push_back(s.listing);
  if (extras[0].file) write_result_json(result, [&extras](std::string_view piece) { extras[0].file->write(piece); });
  if (extras[1].file) extras[1].file->write(figure_svg(result, o.figure));
  for (Extra& x : s.extras) {
    if (x.file) results.push_back(x.file.get());
  }
  if (s.files != nullptr) results.insert(results.end(), s.files->also.begin(), s.files->also.end());
  if (s.chosen != nullptr) results.push_back(s.chosen);
  if (s.mechanisms) {
    results.insert(results.end(), s.mechanisms->commit_with.begin(), s.mechanisms->commit_with.end());
  }
  if (!o.phase_dir.empty()) {
    // Each phase's files, then its figure: the run of its files drawn as a
    // plain run's figure.
    std::vector<RunReport> runs;
    std::vector<PhaseFile> files = phase_files(result, &runs);
    for (std::size_t j = 0; j < runs.size(); ++j) {
      files.push_back(PhaseFile{"phase-" + std::to_string(j + 1) + ".svg", figure_svg(runs[j], o.figure)});
    }
    for (const PhaseFile& f : files) {
      std::error_code ec;
      std::filesystem::create_directory(o.phase_dir, ec);
      const std::string path = o.phase_dir + "/" + f.name;
      std::string why;
      auto file = rt::ResultFile::prepare(path, "phase file \"" + path + "\"", s.taken, why);
      if (!file) throw rt::RunStop("--phase-dir: " + path + " is refused: " + why);
      file->write(f.text);
      s.taken.results.push_back(file.get());
      results.push_back(file.get());
      s.written.push_back(f.name);
      s.phase_results.push_back(std::move(file));
    }
  }
}

// Replaces every result at once, then the last words: the summary line, or
// a station's document.
int commit(RunSteps& s, const RunReport& result) {
  const Options& o = s.o;
  std::ostream& out = s.out;
  std::ostream& err = s.err;
  StationRun* station = s.station;
  // The summary, unless a result takes standard output.
  bool stdout_taken = false;
  for (const rt::ResultFile* r : s.results) stdout_taken = stdout_taken || r->to_stdout();
  commit_all(s.results, s.listing_pending);
  // The stale phase files are told from this run's results, the listing's
  // among them: its unit is closed after.
  if (!o.phase_dir.empty()) {
    for (const std::string& w : remove_stale_phase_files(o.phase_dir, s.written, s.taken)) s.warn(w);
  }
  s.ws->units.close(unit::kListing);
  for (const std::string& w : phase_warnings(result)) s.warn(w);
  if (station != nullptr) {
    constexpr std::string_view kWarning = "warning: ";
    if (const std::string ambiguous = ambiguity_warning(result); !ambiguous.empty()) {
      station->warnings.push_back(ambiguous.substr(kWarning.size()));
    }
    station->document = result_json(result);
    station->status = StationRun::Status::Ok;
    return kExitOk;
  }

  if (!o.quiet && !stdout_taken) {
    out << summary_line(result) << "\n";
  } else if (const std::string ambiguous = ambiguity_warning(result); !ambiguous.empty()) {
    err << ambiguous << "\n";  // without its summary line, a warning still shows
  }
  out.flush();
  return kExitOk;
}

// One run. On the command line (`station` null) its words go to `err` as
// they come; for a campaign's station they are kept in `station`, with the
// result document, and nothing is written on `out` or `err`.
// `mechanisms`: the plane choice whose chosen planes are the DATA.
int run(const Options& o, std::ostream& out, std::ostream& err, StationRun* station = nullptr,
        StationFiles* files = nullptr, std::shared_ptr<const MechanismsReport> mechanisms = nullptr,
        rt::ResultFile* chosen = nullptr) {
  rt::remove_temporaries_on_signal();
  RunSteps s{o, out, err, station, files, std::move(mechanisms)};
  s.chosen = chosen;
  try {
    open(s);
  } catch (const rt::RunError&) {
    return s.failed(false);
  }
  if (const std::optional<int> status = prepare(s)) return *status;
  try {
    const RunReport result = solve(s);
    write(s, result);
    return commit(s, result);
  } catch (const ensemble::OptionError& e) {
    if (station != nullptr) {
      station->message = e.what();
      return kExitUsage;
    }
    return usage_error(err, e.what());
  } catch (const phases::OptionError& e) {
    if (station != nullptr) {
      station->message = e.what();
      return kExitUsage;
    }
    return usage_error(err, e.what());
  } catch (const rt::RunError&) {
    return s.failed(s.listing_pending);
  }
}

// A file of a station's folder, prepared there without following links.
std::unique_ptr<rt::ResultFile> station_file(const StationFolder& folder, const char* name, const char* what,
                                             rt::Destinations& taken) {
  const std::string path = folder.path + "/" + name;
  std::string why;
  std::unique_ptr<rt::ResultFile> f =
      rt::ResultFile::prepare_at(folder.fd, folder.path, name, std::string(what) + " \"" + path + "\"", taken, why);
  if (!f) throw rt::RunStop(path + " is refused: " + why);
  taken.results.push_back(f.get());
  return f;
}

// One station of a campaign, as a single zarkel-batch run into its folder; a
// spreadsheet is first imported (through the import's library call) into
// the folder's DATA, which the run reads before it has its name and which
// is committed with the results, only when the run succeeded.
//
// A grid's cell (`cell_events` not null) is a mechanism station whose table
// is the text given: written to the folder's events.csv, read by the run from
// its temporary and committed with the other files.
StationRun run_station(const Options& base, const Station& s, const StationFolder& folder,
                       const std::string* cell_events = nullptr) {
  StationRun r;
  Options o = base;
  o.parameters = s.parameters;
  o.data = s.data;
  o.output = folder.path + "/LISTING";
  o.json = folder.path + "/result.json";
  o.svg = folder.path + "/figure.svg";
  o.output_name = "LISTING";  // the document names the files of its own folder
  o.quiet = true;
  o.jobs = 1;  // the stations run in parallel, each on one thread
  o.progress = false;
  try {
    // The station's inputs are never its destinations, whatever their names.
    rt::Destinations taken;
    if (folder.inputs != nullptr) taken.inputs = *folder.inputs;
    StationFiles files;
    std::unique_ptr<rt::ResultFile> data;
    std::string read_as;
    if (s.spreadsheet) {
      data = station_file(folder, "DATA", "DATA file", taken);
      import::Options io = s.import;  // the station's conventions
      io.csv = s.data;
      const import::ImportOutcome imported = import::import_table(io, *data);
      r.warnings = imported.warnings;
      read_as = data->written_path();
      o.data = read_as;
      o.data_name = "DATA";
      files.also.push_back(data.get());
    }
    std::unique_ptr<rt::ResultFile> events;
    if (cell_events != nullptr) {
      events = station_file(folder, "events.csv", "table of the cell's events", taken);
      events->write(*cell_events);
      o.data = events->written_path();
      o.data_name = "events.csv";
      files.also.push_back(events.get());
    }
    // A cell of more events than a DATA file holds runs on its planes as
    // given without a DATA of the chosen planes (the result document's
    // mechanisms.events still lists them).
    const bool too_many = cell_events != nullptr &&
                          std::count(cell_events->begin(), cell_events->end(), '\n') - 1 > kMaxData;
    std::unique_ptr<rt::ResultFile> chosen;
    if (s.mechanisms && !too_many) {
      chosen = station_file(folder, "DATA", "DATA file", taken);
      files.also.push_back(chosen.get());
      files.data_shown = folder.path + "/DATA (the planes chosen from " +
                         (events ? folder.path + "/events.csv" : s.data) + ")";
    }
    files.listing = station_file(folder, "LISTING", "OUTPUT file", taken);
    files.json = station_file(folder, "result.json", "JSON document", taken);
    files.svg = station_file(folder, "figure.svg", "SVG figure", taken);
    // Messages name the imported DATA by its place and origin, not by the
    // temporary the run reads.
    if (!read_as.empty()) files.data_shown = folder.path + "/DATA (imported from " + s.data + ")";
    std::ostringstream quiet;
    if (s.mechanisms) {
      // The chosen planes go to the folder's DATA, committed with the rest.
      const SingleRun single = [&](const Options& lo, std::ostream& a, std::ostream& b,
                                   std::shared_ptr<const MechanismsReport> m,
                                   rt::ResultFile*) { return run(lo, a, b, &r, &files, m); };
      run_mechanisms(o, quiet, quiet, single, chosen.get(), &r);
      return r;
    }
    run(o, quiet, quiet, &r, &files);
  } catch (const rt::RunError&) {
    r.status = StationRun::Status::Failed;
    r.message = run_error_text().message;
  }
  return r;
}

}  // namespace

int batch_main(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  const CommandLine cl = parse_command_line(args);
  switch (cl.action) {
    case CommandLine::Action::Help:
      out << usage_text();
      return kExitOk;
    case CommandLine::Action::Version:
      out << version_text();
      return kExitOk;
    case CommandLine::Action::Usage:
      return usage_error(err, cl.error);
    case CommandLine::Action::Run:
      if (cl.options.mechanisms) {
        return run_mechanisms(cl.options, out, err,
                              [](const Options& o, std::ostream& o_out, std::ostream& o_err,
                                 std::shared_ptr<const MechanismsReport> m, rt::ResultFile* chosen) {
                                return run(o, o_out, o_err, nullptr, nullptr, m, chosen);
                              });
      }
      break;
    case CommandLine::Action::Grid:
      return run_grid(cl.options,
                      [&o = cl.options](const Station& s, const StationFolder& folder, const std::string& events) {
                        return run_station(o, s, folder, &events);
                      },
                      out, err);
    case CommandLine::Action::Merge:
      try {
        return merge_campaigns(cl.options.merge_out, cl.options.merge_dirs, err);
      } catch (const rt::RunError& e) {
        err << "zarkel-batch: " << rt::shortened(e.what()) << "\n";
        const auto* stop = dynamic_cast<const rt::RunStop*>(&e);
        return stop != nullptr ? stop->status : kExitInput;  // 2: a refused result path
      }
    case CommandLine::Action::Campaign: {
      const Options& o = cl.options;
      const CampaignOptions co = campaign_options(o, o.stations);
      rt::remove_temporaries_on_signal();
      try {
        return run_campaign(
            co, [&o](const Station& s, const StationFolder& folder) { return run_station(o, s, folder); }, out, err);
      } catch (const rt::RunError& e) {
        err << "zarkel-batch: " << rt::shortened(e.what()) << "\n";
        const auto* stop = dynamic_cast<const rt::RunStop*>(&e);
        return stop != nullptr ? stop->status : kExitInput;  // 2: a refused result path
      }
    }
  }
  return run(cl.options, out, err);
}

}  // namespace zk::batch
