#include "batch/batch.hpp"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <fstream>
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

namespace zk::batch {

namespace fs = std::filesystem;

namespace {

// The three files of a run.
struct FileSlot {
  const char* label;
  int unit;
  const char* status;
};

// A result written beside its path and moved over it only by commit(), so a
// run that fails leaves an existing file as it was.
class PendingFile {
 public:
  PendingFile(std::string path, const std::string& label, const std::string& text) : path_(std::move(path)) {
    temp_ = path_ + ".tmp-" + std::to_string(::getpid());
    slot_ = rt::register_temporary(temp_);
    std::ofstream f(temp_, std::ios::binary | std::ios::trunc);
    if (f) f << text;
    if (f) f.flush();
    if (!f) {
      const std::string why = std::strerror(errno);
      discard();
      throw rt::RunStop("could not write the " + label + " file " + path_ + " (" + why + ")");
    }
  }
  PendingFile(const PendingFile&) = delete;
  PendingFile& operator=(const PendingFile&) = delete;
  ~PendingFile() { discard(); }
  void commit(const std::string& label) {
    std::error_code ec;
    fs::rename(temp_, path_, ec);
    if (ec) throw rt::RunStop("could not save the " + label + " file " + path_ + " (" + ec.message() + ")");
    rt::unregister_temporary(slot_);
    temp_.clear();
  }

 private:
  void discard() {
    if (temp_.empty()) return;
    std::error_code ec;
    fs::remove(temp_, ec);
    rt::unregister_temporary(slot_);
    temp_.clear();
  }
  std::string path_;
  std::string temp_;
  int slot_ = -1;
};

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
  bool output_open = false;
  try {
    store_constants(*ws);
    const FileSlot slots[] = {{"PARAMETERS", unit::kParameters, "old"},
                              {"DATA", unit::kData, "old"},
                              {"OUTPUT", unit::kListing, "unknown"}};
    const std::string* paths[] = {&o.parameters, &o.data, &o.output};
    for (int k = 0; k < 3; ++k) {
      std::string why;
      if (!ws->units.open(slots[k].unit, *paths[k], slots[k].status, &why)) {
        throw rt::RunStop("could not open the " + std::string(slots[k].label) + " file " + *paths[k] +
                          (why.empty() ? "" : " (" + why + ")"));
      }
    }
    output_open = true;

    const RunInput input = read_run_input(*ws);
    err << warning_lines(input.warnings);
    if (o.strict && !input.warnings.empty()) {
      throw rt::RunStop("--strict: the input gives " + std::to_string(input.warnings.size()) +
                        (input.warnings.size() == 1 ? " warning" : " warnings") + "; nothing was run");
    }
    const ensemble::Options eo{o.starts, o.bootstrap, o.confidence, o.bootstrap_seed,
                               o.jobs > 0 ? o.jobs : ensemble::hardware_jobs()};
    std::optional<ensemble::Ensemble> ens;
    if (eo.active()) {
      ProgressLine progress(err, !o.quiet && (o.progress || ::isatty(STDERR_FILENO) == 1), ensemble::work_units(eo),
                            "runs");
      ens = ensemble::solve(input, eo, [&progress](long long done) { progress.update(done); });
    }
    // The listed run: the chosen start's, a plain run with its NSEED.
    const InversionResult run =
        invert(input.faults, ens ? ens->chosen : input.params, *ws, ListingSink::output_unit());
    if (ens && !same_bits(run.stage3, ens->chosen_tensor)) {
      throw std::logic_error("the listed run does not reproduce its start");
    }

    BatchResult result = collect_result(input, run);
    result.ensemble = std::move(ens);
    result.ensemble_options = eo;
    result.parameters_path = o.parameters;
    result.data_path = o.data_name.empty() ? o.data : o.data_name;
    result.output_path = o.output_name.empty() ? o.output : o.output_name;

    std::unique_ptr<PendingFile> json;
    std::unique_ptr<PendingFile> svg;
    if (document != nullptr) *document = result_json(result);
    if (!o.json.empty()) json = std::make_unique<PendingFile>(o.json, "JSON", result_json_text(result));
    if (!o.svg.empty()) svg = std::make_unique<PendingFile>(o.svg, "SVG", figure_svg(result, o.figure));

    {
      const rt::SignalsHeld all_or_nothing;  // a signal waits until every result is in place
      ws->units.close(unit::kParameters);
      ws->units.close(unit::kData);
      ws->units.close(unit::kListing);  // the listing replaces the OUTPUT file only now
      if (json) json->commit("JSON");
      if (svg) svg->commit("SVG");
    }

    if (!o.quiet) out << summary_line(result) << "\n";
    out.flush();
    return kExitOk;
  } catch (const ensemble::OptionError& e) {
    return usage_error(err, e.what());
  } catch (const rt::RunError&) {
    return report_run_error(err, output_open);
  }
}

// The message of a failed run, as report_run_error wrote it on `err`.
std::string stop_message(const std::string& err) {
  const std::string mark = "*** ZARKEL STOPPED: ";
  std::size_t at = err.rfind(mark);
  if (at == std::string::npos) at = err.rfind("*** ZARKEL INTERNAL ERROR: ");
  if (at == std::string::npos) {
    std::string t = err;
    while (!t.empty() && (t.back() == '\n' || t.back() == ' ')) t.pop_back();
    return t.substr(t.rfind('\n') == std::string::npos ? 0 : t.rfind('\n') + 1);
  }
  at = err.find(": ", at) + 2;
  return err.substr(at, err.find('\n', at) - at);
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
  std::string imported;
  if (s.spreadsheet) {
    imported = folder + "/.DATA.import";
    const int status = import::import_main({s.data, imported}, out, err);
    if (status != 0) {
      std::filesystem::remove(imported);
      r.message = stop_message(err.str());
      return r;
    }
    o.data = imported;
    o.data_name = "DATA";
  }
  const int status = run(o, out, err, &r.result);
  if (!imported.empty()) {
    std::error_code ec;
    if (status == kExitOk) {
      std::filesystem::rename(imported, folder + "/DATA", ec);
    } else {
      std::filesystem::remove(imported, ec);
    }
  }
  r.ok = status == kExitOk;
  if (!r.ok) r.message = stop_message(err.str());
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
  const std::string conflict = conflicting_paths(cl.options);
  if (!conflict.empty()) return usage_error(err, conflict);
  return run(cl.options, out, err);
}

}  // namespace zk::batch
