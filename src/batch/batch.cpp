#include "batch/batch.hpp"

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <exception>
#include <memory>
#include <optional>
#include <sstream>

#include "areas/workspace.hpp"
#include "batch/campaign.hpp"
#include "batch/command_line.hpp"
#include "import/import.hpp"
#include "batch/ensemble_output.hpp"
#include "batch/figure_svg.hpp"
#include "batch/progress.hpp"
#include "batch/result.hpp"
#include "batch/result_json.hpp"
#include "driver/run_error.hpp"
#include "engine/engine.hpp"
#include "ensemble/ensemble.hpp"
#include "report/report.hpp"
#include "runtime/errors.hpp"
#include "runtime/interrupt.hpp"
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
  err << "zarkel-batch: " << option << " \"" << path << "\" is refused: " << why << "\n";
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

std::string summary_line(const BatchResult& r) {
  const TensorSnapshot& t = r.run.final_tensor();
  const StressState& st = r.state;
  std::string s = r.data_path + ": N=" + std::to_string(r.run.N) + " NMIN=" + std::to_string(r.run.NMIN);
  char buf[96];
  for (int L = 1; L <= 3; ++L) {
    std::snprintf(buf, sizeof buf, "  sigma%d %5.1f/%4.1f", L, static_cast<double>(t.DIRE(L)),
                  static_cast<double>(t.PEN(L)));
    s += buf;
  }
  std::snprintf(buf, sizeof buf, "  R=%4.2f", static_cast<double>(t.P(4)));
  s += buf;
  if (st.defined) {
    std::snprintf(buf, sizeof buf, "  R'=%4.2f (%s)", st.r_prime, r_prime_class_name(st.r_prime_class));
    s += buf;
    if (!st.shmax) {
      s += "  SHmax none (equal horizontal stresses)";
    } else {
      std::snprintf(buf, sizeof buf, "  SHmax %.1f", *st.shmax);
      s += buf;
    }
    s += std::string(st.shmax && st.shmax_poorly_defined ? " (poorly defined; WSM " : " (WSM ") +
         wsm_regime_code(st.wsm.regime);
    if (st.wsm.shmax) {
      std::snprintf(buf, sizeof buf, " %.1f", *st.wsm.shmax);
      s += buf;
    }
    s += ")";
  } else {
    s += "  stress state undefined";
  }
  std::snprintf(buf, sizeof buf, "  residual std dev %.1f deg", static_cast<double>(r.run.fit.ECART));
  s += buf;
  return s + ensemble_summary(r);
}

// The same tensor and misfit sum, bit for bit.
bool same_bits(const TensorSnapshot& a, const TensorSnapshot& b) {
  const float x[5] = {a.P(1), a.P(2), a.P(3), a.P(4), a.F};
  const float y[5] = {b.P(1), b.P(2), b.P(3), b.P(4), b.F};
  return std::memcmp(x, y, sizeof x) == 0;
}

int usage_error(std::ostream& err, const std::string& what) {
  err << "zarkel-batch: " << what << "\n"
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
};

// One run. On the command line (`station` null) its words go to `err` as
// they come; for a campaign's station they are kept in `station`, with the
// result document, and nothing is written on `out` or `err`.
int run(const Options& o, std::ostream& out, std::ostream& err, StationRun* station = nullptr,
        StationFiles* files = nullptr) {
  rt::remove_temporaries_on_signal();
  const auto failed = [&](bool listing_started) {
    if (station == nullptr) return report_run_error(err, listing_started);
    const RunErrorText t = run_error_text();
    station->message = t.message;
    return t.status;
  };
  std::istringstream no_console;
  auto ws = std::make_unique<Workspace>(no_console, err);
  ws->units.set_dash_is_stdout(true);
  try {
    store_constants(*ws);
    const std::pair<const char*, const std::string*> inputs[] = {{"PARAMETERS", &o.parameters}, {"DATA", &o.data}};
    const int units[] = {unit::kParameters, unit::kData};
    for (int k = 0; k < 2; ++k) {
      std::string why;
      if (!ws->units.open(units[k], *inputs[k].second, "old", &why)) {
        throw rt::RunStop("could not open the " + std::string(inputs[k].first) + " file " + *inputs[k].second +
                          (why.empty() ? "" : " (" + why + ")"));
      }
    }
  } catch (const rt::RunError&) {
    return failed(false);
  }

  // Every destination is checked, and its temporary made, before any work.
  std::string why;
  Extra extras[] = {{"--json", "JSON document", &o.json, nullptr}, {"--svg", "SVG figure", &o.svg, nullptr}};
  if (files != nullptr) {
    ws->units.open_result(unit::kListing, std::move(files->listing), o.output);
    extras[0].file = std::move(files->json);
    extras[1].file = std::move(files->svg);
  } else {
    if (!ws->units.open(unit::kListing, o.output, "unknown", &why)) return refused(err, "OUTPUT", o.output, why);
    rt::Destinations taken = ws->units.destinations();
    for (Extra& x : extras) {
      if (x.path->empty()) continue;
      x.file = rt::ResultFile::prepare(*x.path, described(x.what, *x.path), taken, why);
      if (!x.file) return refused(err, x.option, *x.path, why);
      taken.results.push_back(x.file.get());
    }
  }
  rt::ResultFile* listing = ws->units.result(unit::kListing);
  bool listing_pending = true;

  try {
    const RunInput input = read_run_input(*ws);
    if (station != nullptr) {
      station->warnings.insert(station->warnings.end(), input.warnings.begin(), input.warnings.end());
    } else {
      err << warning_lines(input.warnings);
    }
    if (o.strict && !input.warnings.empty()) {
      throw rt::RunStop("--strict: the input gives " + std::to_string(input.warnings.size()) +
                        (input.warnings.size() == 1 ? " warning" : " warnings") + "; nothing was run");
    }
    const std::string slow = stage1_time_warning(input.params, static_cast<int>(input.faults.data.size()));
    if (!slow.empty()) {
      if (station != nullptr) {
        station->warnings.push_back(slow);
      } else {
        err << "warning: " << slow << "\n";
      }
    }
    err.flush();
    const bool show_progress = !o.quiet && (o.progress || ::isatty(STDERR_FILENO) == 1);
    const int starts = o.starts > 0 ? o.starts : ensemble::default_starts(input.params);
    const ensemble::Options eo{starts, o.bootstrap, o.confidence, o.bootstrap_seed,
                               o.jobs > 0 ? o.jobs : ensemble::hardware_jobs()};
    std::vector<std::string> run_warnings;  // of the options on these input files, "warning: " left off
    if (o.starts == 0 && starts < ensemble::kDefaultStarts && ensemble::values_per_draw(input.params) > 0) {
      run_warnings.push_back(std::to_string(starts) + (starts == 1 ? " start" : " starts") + " instead of " +
                             std::to_string(ensemble::kDefaultStarts) +
                             ": NSEED and NTIR leave no room for more below the largest NSEED");
    }
    if (const std::string rough = rough_bootstrap_warning(eo); !rough.empty()) run_warnings.push_back(rough.substr(9));
    for (const std::string& w : run_warnings) err << "warning: " << w << "\n";
    std::optional<ensemble::Ensemble> ens;
    if (eo.active()) {
      ProgressLine progress(err, show_progress, ensemble::work_units(eo), "runs");
      ens = ensemble::solve(input, eo, [&progress](long long done) { progress.update(done); });
    }
    // The listed run: the chosen start's, a plain run with its NSEED.
    DrawLine draws(err, show_progress && !slow.empty() && !ens, input.params.NTIR);
    ws->progress = &draws;
    const InversionResult run =
        invert(input.faults, ens ? ens->chosen : input.params, *ws, ListingSink::output_unit());
    ws->progress = nullptr;
    if (ens && !same_bits(run.stage3, ens->chosen_tensor)) {
      throw std::logic_error("the listed run does not reproduce its start");
    }

    BatchResult result = collect_result(input, run);
    result.warnings.insert(result.warnings.end(), run_warnings.begin(), run_warnings.end());
    result.ensemble = std::move(ens);
    result.ensemble_options = eo;
    result.parameters_path = o.parameters;
    result.data_path = o.data_name.empty() ? o.data : o.data_name;
    result.output_path = o.output_name.empty() ? o.output : o.output_name;

    std::vector<rt::ResultFile*> results{listing};
    if (extras[0].file) extras[0].file->write(result_json_text(result));
    if (extras[1].file) extras[1].file->write(figure_svg(result, o.figure));
    for (Extra& x : extras) {
      if (x.file) results.push_back(x.file.get());
    }
    if (files != nullptr) results.insert(results.end(), files->also.begin(), files->also.end());
    // The summary, unless a result takes standard output.
    bool stdout_taken = false;
    for (const rt::ResultFile* r : results) stdout_taken = stdout_taken || r->to_stdout();
    commit_all(results, listing_pending);
    ws->units.close(unit::kListing);
    if (station != nullptr) {
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
  } catch (const ensemble::OptionError& e) {
    if (station != nullptr) {
      station->message = e.what();
      return kExitUsage;
    }
    return usage_error(err, e.what());
  } catch (const rt::RunError&) {
    return failed(listing_pending);
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

// `text` with every `from` replaced by `to`.
std::string replaced(std::string text, const std::string& from, const std::string& to) {
  for (std::size_t at = text.find(from); !from.empty() && at != std::string::npos; at = text.find(from, at + to.size())) {
    text.replace(at, from.size(), to);
  }
  return text;
}

// One station of a campaign, as a single zarkel-batch run into its folder; a
// spreadsheet is first imported (through the import's library call) into
// the folder's DATA, which the run reads before it has its name and which
// is committed with the results, only when the run succeeded.
StationRun run_station(const Options& base, const Station& s, const StationFolder& folder) {
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
    for (const auto& [path, what] : {std::pair{s.data, "DATA file"}, std::pair{s.parameters, "PARAMETERS file"}}) {
      struct stat st {};
      if (::stat(path.c_str(), &st) == 0) taken.inputs.push_back({{st.st_dev, st.st_ino}, what + (" \"" + path + "\"")});
    }
    StationFiles files;
    std::unique_ptr<rt::ResultFile> data;
    std::string read_as;
    if (s.spreadsheet) {
      data = station_file(folder, "DATA", "DATA file", taken);
      import::Options io;
      io.csv = s.data;
      const import::ImportOutcome imported = import::import_table(io, *data);
      r.warnings = imported.warnings;
      read_as = data->written_path();
      o.data = read_as;
      o.data_name = "DATA";
      files.also.push_back(data.get());
    }
    files.listing = station_file(folder, "LISTING", "OUTPUT file", taken);
    files.json = station_file(folder, "result.json", "JSON document", taken);
    files.svg = station_file(folder, "figure.svg", "SVG figure", taken);
    std::ostringstream quiet;
    run(o, quiet, quiet, &r, &files);
    if (!read_as.empty()) {
      // Messages name the imported DATA by its place and origin, not by the
      // temporary the run read.
      const std::string shown = folder.path + "/DATA (imported from " + s.data + ")";
      r.message = replaced(r.message, read_as, shown);
      for (std::string& w : r.warnings) w = replaced(w, read_as, shown);
    }
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
      break;
    case CommandLine::Action::Merge:
      try {
        return merge_campaigns(cl.options.merge_out, cl.options.merge_dirs, err);
      } catch (const rt::RunError& e) {
        err << "zarkel-batch: " << e.what() << "\n";
        return kExitInput;
      }
    case CommandLine::Action::Campaign: {
      const Options& o = cl.options;
      CampaignOptions co;
      co.table = o.stations;
      co.out_dir = o.out_dir;
      co.parameters = o.default_parameters;
      co.shard = o.shard;
      co.shards = o.shards;
      co.jobs = o.jobs > 0 ? o.jobs : ensemble::hardware_jobs();
      co.quiet = o.quiet;
      co.progress = !o.quiet && (o.progress || ::isatty(STDERR_FILENO) == 1);
      rt::remove_temporaries_on_signal();
      try {
        return run_campaign(
            co, [&o](const Station& s, const StationFolder& folder) { return run_station(o, s, folder); }, out, err);
      } catch (const rt::RunError& e) {
        err << "zarkel-batch: " << e.what() << "\n";
        return kExitInput;
      }
    }
  }
  return run(cl.options, out, err);
}

}  // namespace zk::batch
