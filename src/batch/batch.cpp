#include "batch/batch.hpp"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

#include "areas/workspace.hpp"
#include "batch/command_line.hpp"
#include "batch/figure_svg.hpp"
#include "batch/result.hpp"
#include "batch/result_json.hpp"
#include "driver/run_error.hpp"
#include "engine/engine.hpp"
#include "report/report.hpp"
#include "runtime/errors.hpp"

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
    temp_.clear();
  }

 private:
  void discard() {
    if (temp_.empty()) return;
    std::error_code ec;
    fs::remove(temp_, ec);
    temp_.clear();
  }
  std::string path_;
  std::string temp_;
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
  return s;
}

int usage_error(std::ostream& err, const std::string& what) {
  err << "zarkel-batch: " << what << "\n"
      << kUsageLine << "\n"
      << "Try 'zarkel-batch --help' for more information.\n";
  return kExitUsage;
}

int run(const Options& o, std::ostream& out, std::ostream& err) {
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
    const InversionResult run = invert(input.faults, input.params, *ws, ListingSink::output_unit());

    BatchResult result = collect_result(input, run);
    result.parameters_path = o.parameters;
    result.data_path = o.data;
    result.output_path = o.output;

    std::unique_ptr<PendingFile> json;
    std::unique_ptr<PendingFile> svg;
    if (!o.json.empty()) json = std::make_unique<PendingFile>(o.json, "JSON", result_json_text(result));
    if (!o.svg.empty()) svg = std::make_unique<PendingFile>(o.svg, "SVG", figure_svg(result, o.figure));

    ws->units.close(unit::kParameters);
    ws->units.close(unit::kData);
    ws->units.close(unit::kListing);  // the listing replaces the OUTPUT file only now
    if (json) json->commit("JSON");
    if (svg) svg->commit("SVG");

    if (!o.quiet) out << summary_line(result) << "\n";
    out.flush();
    return kExitOk;
  } catch (const rt::RunError&) {
    return report_run_error(err, output_open);
  }
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
  }
  const std::string conflict = conflicting_paths(cl.options);
  if (!conflict.empty()) return usage_error(err, conflict);
  return run(cl.options, out, err);
}

}  // namespace zk::batch
