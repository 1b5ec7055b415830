#include "batch/batch.hpp"

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
      std::snprintf(buf, sizeof buf, "  SHmax %.1f%s", *st.shmax, st.shmax_poorly_defined ? " (poorly defined)" : "");
      s += buf;
    }
    s += std::string(" (WSM ") + wsm_regime_code(st.wsm.regime);
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

// One run; `document`, when given, receives the result document.
int run(const Options& o, std::ostream& out, std::ostream& err, nlohmann::ordered_json* document = nullptr) {
  rt::remove_temporaries_on_signal();
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
    return report_run_error(err, false, "zarkel-batch");
  }

  // Every destination is checked, and its temporary made, before any work.
  std::string why;
  if (!ws->units.open(unit::kListing, o.output, "unknown", &why)) return refused(err, "OUTPUT", o.output, why);
  Extra extras[] = {{"--json", "JSON document", &o.json, nullptr}, {"--svg", "SVG figure", &o.svg, nullptr}};
  rt::Destinations taken = ws->units.destinations();
  for (Extra& x : extras) {
    if (x.path->empty()) continue;
    x.file = rt::ResultFile::prepare(*x.path, described(x.what, *x.path), taken, why);
    if (!x.file) return refused(err, x.option, *x.path, why);
    taken.results.push_back(x.file.get());
  }
  rt::ResultFile* listing = ws->units.result(unit::kListing);
  bool listing_pending = true;

  try {
    const RunInput input = read_run_input(*ws);
    err << warning_lines(input.warnings);
    if (o.strict && !input.warnings.empty()) {
      throw rt::RunStop("--strict: the input gives " + std::to_string(input.warnings.size()) +
                        (input.warnings.size() == 1 ? " warning" : " warnings") + "; nothing was run");
    }
    const std::string slow = stage1_time_warning(input.params, static_cast<int>(input.faults.data.size()));
    if (!slow.empty()) err << "warning: " << slow << "\n";
    err.flush();
    const bool show_progress = !o.quiet && (o.progress || ::isatty(STDERR_FILENO) == 1);
    const ensemble::Options eo{o.starts, o.bootstrap, o.confidence, o.bootstrap_seed,
                               o.jobs > 0 ? o.jobs : ensemble::hardware_jobs()};
    std::optional<ensemble::Ensemble> ens;
    const std::string long_ensemble =
        ensemble::ensemble_time_warning(input.params, static_cast<int>(input.faults.data.size()), eo);
    if (!long_ensemble.empty()) err << "warning: " << long_ensemble << "\n" << std::flush;
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
    result.ensemble = std::move(ens);
    result.ensemble_options = eo;
    result.parameters_path = o.parameters;
    result.data_path = o.data_name.empty() ? o.data : o.data_name;
    result.output_path = o.output_name.empty() ? o.output : o.output_name;

    if (document != nullptr) *document = result_json(result);
    std::vector<rt::ResultFile*> results{listing};
    if (extras[0].file) extras[0].file->write(result_json_text(result));
    if (extras[1].file) extras[1].file->write(figure_svg(result, o.figure));
    for (Extra& x : extras) {
      if (x.file) results.push_back(x.file.get());
    }
    // The summary, unless a result takes standard output.
    bool stdout_taken = false;
    for (const rt::ResultFile* r : results) stdout_taken = stdout_taken || r->to_stdout();
    commit_all(results, listing_pending);
    ws->units.close(unit::kListing);

    if (!o.quiet && !stdout_taken) {
      out << summary_line(result) << "\n";
    } else if (const std::string ambiguous = ambiguity_warning(result); !ambiguous.empty()) {
      err << ambiguous << "\n";  // without its summary line, a warning still shows
    }
    out.flush();
    return kExitOk;
  } catch (const ensemble::OptionError& e) {
    return usage_error(err, e.what());
  } catch (const rt::RunError&) {
    return report_run_error(err, listing_pending, "zarkel-batch");
  }
}

// The message of a failed run or import: the first line its program wrote
// under its own name, without the name.
std::string stop_message(const std::string& err) {
  std::istringstream in(err);
  std::string last;
  for (std::string line; std::getline(in, line);) {
    for (const std::string_view program : {"zarkel-batch: ", "zarkel-import: "}) {
      if (line.rfind(program, 0) == 0) return line.substr(program.size());
    }
    if (!line.empty()) last = line;
  }
  return last;
}

// The warning lines a run wrote on `err`, "warning: " taken off.
std::vector<std::string> warnings_in(const std::string& err) {
  constexpr std::string_view kWarning = "warning: ";
  std::vector<std::string> out;
  std::istringstream in(err);
  for (std::string line; std::getline(in, line);) {
    if (line.rfind(kWarning, 0) == 0) out.push_back(line.substr(kWarning.size()));
  }
  return out;
}

// One station of a campaign: a spreadsheet is imported into a DATA file of
// its folder first; then the run of a single zarkel-batch into the folder.
StationOutcome run_station(const Options& base, const Station& s, const std::string& folder) {
  StationOutcome r;
  std::ostringstream out, err;
  Options o = base;
  o.parameters = s.parameters;
  o.data = s.data;
  o.output = folder + "/LISTING";
  o.json = folder + "/result.json";
  o.svg = folder + "/figure.svg";
  o.output_name = "LISTING";  // the document names the files of its own folder
  o.quiet = true;
  o.jobs = 1;  // the stations run in parallel, each on one thread
  o.progress = false;
  // The imported DATA is read by the run under a temporary name, which a
  // signal removes, and takes its name only when the run succeeded.
  std::string imported;
  int slot = -1;
  if (s.spreadsheet) {
    imported = folder + "/.DATA.import";
    slot = rt::register_temporary(imported);
    const int status = import::import_main({s.data, imported}, out, err);
    if (status != 0) {
      std::error_code ec;
      std::filesystem::remove(imported, ec);
      rt::unregister_temporary(slot);
      r.message = stop_message(err.str());
      r.warnings = warnings_in(err.str());
      return r;
    }
    o.data = imported;
    o.data_name = "DATA";
  }
  const int status = run(o, out, err, &r.result);
  r.ok = status == kExitOk;
  if (!r.ok) r.message = stop_message(err.str());
  r.warnings = warnings_in(err.str());
  if (!imported.empty()) {
    const rt::SignalsHeld held;
    std::error_code ec;
    if (r.ok) std::filesystem::rename(imported, folder + "/DATA", ec);
    if (ec) {
      r.ok = false;
      r.message = "the imported data could not be moved to " + folder + "/DATA (" + ec.message() + ")";
    }
    std::filesystem::remove(imported, ec);
    rt::unregister_temporary(slot);
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
        return run_campaign(co, [&o](const Station& s, const std::string& folder) { return run_station(o, s, folder); },
                            out, err);
      } catch (const rt::RunError& e) {
        err << "zarkel-batch: " << e.what() << "\n";
        return kExitInput;
      }
    }
  }
  return run(cl.options, out, err);
}

}  // namespace zk::batch
