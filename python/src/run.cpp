#include "run.hpp"

#include <filesystem>
#include <memory>
#include <sstream>

#include "areas/workspace.hpp"
#include "data/parameters.hpp"
#include "ensemble/ensemble.hpp"
#include "phases/separate.hpp"
#include "results/mechanisms_output.hpp"
#include "results/run_steps.hpp"
#include "results/warnings.hpp"
#include "mechanisms/choice.hpp"
#include "runtime/errors.hpp"
#include "runtime/printable.hpp"
#include "runtime/result_file.hpp"
#include "table/csv_table.hpp"

namespace zk::binding {

namespace {

// A workspace whose console nothing reads or writes.
struct Space {
  std::istringstream in;
  std::ostringstream out;
  Workspace ws{in, out};
};

void open_input(Workspace& ws, int u, const char* what, const std::string& path) {
  std::string why;
  if (!ws.units.open(u, path, "old", &why)) {
    throw rt::RunStop("could not open the " + std::string(what) + " file " + path + (why.empty() ? "" : " (" + why + ")"));
  }
}

// The data the parameters' selection keeps, in order.
FaultSet selected(const FaultSet& all, const RunParams& p) {
  if (p.ISEL == 1) return all;
  auto s = std::make_unique<Space>();
  s->ws.eeetc.ISEL = p.ISEL;
  s->ws.eeet.NLIST = static_cast<int>(p.selection.size());
  for (std::size_t k = 0; k < p.selection.size() && k < static_cast<std::size_t>(kMaxList); ++k) {
    s->ws.eeet.LIST(static_cast<int>(k) + 1) = p.selection[k];
  }
  FaultSet kept = all;
  kept.data.clear();
  for (const FaultDatum& d : all.data) {
    if (!CONTRO(s->ws, d.record.NUM)) kept.data.push_back(d);
  }
  return kept;
}


// What the steps say goes to the run's warnings, in the order the command
// line says them; its counters poll.
class PollHooks : public batch::StepHooks {
 public:
  PollHooks(Run& out, const Poll& poll) : out_(out), poll_(poll) {}
  void warn(const std::string& w) override { out_.warnings.push_back(w); }
  ensemble::Report counter(long long, const std::string&) override {
    return [this](long long) {
      if (poll_) poll_();
    };
  }

 private:
  Run& out_;
  const Poll& poll_;
};

// The steps zarkel-batch runs once its input is read, the listing kept as
// text, and the warnings it says after them.
void finish(Run& out, const RunInput& input, const batch::StepOptions& so,
            const std::shared_ptr<const batch::MechanismsReport>& mechanisms, const Parameters& params,
            const std::string& data_path, const Poll& poll) {
  auto space = std::make_unique<Space>();
  store_constants(space->ws);
  PollHooks hooks(out, poll);
  out.report = batch::run_steps(input, so, mechanisms, space->ws, ListingSink::text(out.listing), hooks);
  out.report.parameters_path = params.path;
  out.report.data_path = data_path;
  for (const std::string& w : batch::phase_warnings(out.report)) out.warnings.push_back(w);
  if (const std::string ambiguous = batch::ambiguity_warning(out.report); !ambiguous.empty()) {
    out.warnings.push_back(ambiguous.substr(9));
  }
}

}  // namespace

Parameters read_parameters(const std::string& path) {
  auto s = std::make_unique<Space>();
  open_input(s->ws, unit::kParameters, "PARAMETERS", path);
  Parameters p;
  p.path = path;
  ENREG(s->ws, &p.warnings);
  p.params = read_run_parameters(s->ws, kMaxData, &p.warnings);
  return p;
}

Faults read_data(const std::string& path) {
  auto s = std::make_unique<Space>();
  open_input(s->ws, unit::kData, "DATA", path);
  s->ws.eeetc.ISEL = 1;
  Faults f;
  f.set = GEOLOG(s->ws, &f.warnings);
  return f;
}

Faults faults_from_cells(std::vector<std::string> header, std::vector<std::vector<std::string>> rows,
                         const std::string& name, import::Options o, const std::vector<std::string>& columns,
                         const std::vector<std::string>& senses) {
  for (const std::string& c : columns) {
    if (const std::string why = import::add_column(o, c); !why.empty()) throw rt::RunStop(why, import::kExitUsage);
  }
  for (const std::string& w : senses) {
    if (const std::string why = import::add_sense(o, w); !why.empty()) throw rt::RunStop(why, import::kExitUsage);
  }
  const table::Table t = table::table_of_cells(std::move(header), std::move(rows), name);
  // The DATA text goes to an unnamed temporary in the system's temporary
  // folder, read back and never committed.
  std::string why;
  const std::string path = (std::filesystem::temp_directory_path() / "zarkel-table.txt").string();
  const std::unique_ptr<rt::ResultFile> file = rt::ResultFile::prepare(path, "DATA file \"" + path + "\"", {}, why);
  if (!file) throw rt::RunStop("no temporary DATA file could be made in " + path + ": " + why);
  const import::ImportOutcome r = import::import_cells(t, o, *file);
  Faults f = read_data(file->written_path());
  f.set.file = "";
  f.warnings.insert(f.warnings.begin(), r.warnings.begin(), r.warnings.end());
  f.conventions = r.conventions;
  f.ignored = r.ignored;
  f.report_csv = r.report_csv;
  return f;
}

Catalogue catalogue_from_cells(std::vector<std::string> header, std::vector<std::vector<std::string>> rows,
                               const std::string& name) {
  return Catalogue{import::mechanism_table_of(table::table_of_cells(std::move(header), std::move(rows), name),
                                              import::EventsFor::Run),
                   name};
}

Run run_catalogue(const Catalogue& c, const Parameters& params, const ChoiceOptions& o, const Poll& poll) {
  Run out;
  // The events the parameters' selection keeps, on their planes as given.
  auto s = std::make_unique<Space>();
  s->ws.eeetc.ISEL = params.params.ISEL;
  s->ws.eeet.NLIST = static_cast<int>(params.params.selection.size());
  for (std::size_t k = 0; k < params.params.selection.size() && k < static_cast<std::size_t>(kMaxList); ++k) {
    s->ws.eeet.LIST(static_cast<int>(k) + 1) = params.params.selection[k];
  }
  std::vector<mech::Event> kept;
  for (const mech::Event& e : c.table.events) {
    if (params.params.ISEL == 1 || !CONTRO(s->ws, e.number)) kept.push_back(e);
  }
  FaultSet named;
  named.file = c.name;
  named.title = Text<kTitleLen>(std::filesystem::path(c.name).filename().string().substr(0, kTitleLen));
  mech::Choice given;
  for (const mech::Event& e : kept) given.push_back(e.known != 0 ? e.known : 1);
  std::vector<std::string> input_warnings = params.warnings;
  const std::vector<std::string> values = run_params_warnings(params.params);
  input_warnings.insert(input_warnings.end(), values.begin(), values.end());
  const RunInput base{mech::chosen_set(named, kept, given), params.params, input_warnings};

  const std::optional<mech::Rule> rule = mech::rule_named(o.plane_choice);
  if (!rule) {
    throw ensemble::OptionError("--plane-choice takes hybrid, misfit, instability or given (got \"" +
                                rt::shortened(o.plane_choice) + "\")");
  }
  batch::ChoiceStepOptions co;
  co.choice.rule = *rule;
  co.choice.gap_deg = o.choice_gap;
  co.choice.seed = o.plane_seed;
  co.choice.friction = o.friction;
  co.choice.starts = o.starts.value_or(0);
  co.starts_asked = o.starts.has_value();
  co.choice.jobs = o.jobs ? *o.jobs : ensemble::hardware_jobs();
  co.bootstrap = o.bootstrap;
  co.confidence = o.confidence;
  co.seed = o.seed;
  co.strict = o.strict;
  PollHooks hooks(out, poll);
  const std::shared_ptr<const batch::MechanismsReport> m = batch::choice_steps(kept, base, c.name, co, hooks);
  const mech::Options& mo = m->options;

  // The listed run on the chosen planes: the choice's last engine run.
  const RunInput& input = m->listed;
  out.warnings.insert(out.warnings.end(), input.warnings.begin(), input.warnings.end());
  if (o.strict && !input.warnings.empty()) {
    throw rt::RunStop("--strict: the input gives " + std::to_string(input.warnings.size()) +
                      (input.warnings.size() == 1 ? " warning" : " warnings") + "; nothing was run");
  }
  batch::StepOptions so;
  so.ensemble = {mo.starts, 0, o.confidence, o.seed, mo.jobs};  // the bootstrap is the choice's
  so.starts_asked = true;  // the choice's starts
  so.phases = o.phases;
  so.max_phases = o.max_phases;
  so.phase_starts = o.phase_starts;
  so.outlier_misfit = o.outlier_misfit;
  so.strict = o.strict;
  finish(out, input, so, m, params, c.name, poll);
  return out;
}

Run run(const Faults& faults, const Parameters& params, const RunOptions& o, const Poll& poll) {
  Run out;
  RunInput input;
  input.faults = selected(faults.set, params.params);
  input.params = params.params;
  // The warnings in the order the DATA reader gives them: the PARAMETERS
  // file's, those of the values set, then the data's.
  input.warnings = params.warnings;
  const std::vector<std::string> values = run_params_warnings(input.params);
  input.warnings.insert(input.warnings.end(), values.begin(), values.end());
  input.warnings.insert(input.warnings.end(), faults.warnings.begin(), faults.warnings.end());
  out.warnings = input.warnings;
  if (o.strict && !input.warnings.empty()) {
    throw rt::RunStop("--strict: the input gives " + std::to_string(input.warnings.size()) +
                      (input.warnings.size() == 1 ? " warning" : " warnings") + "; nothing was run");
  }
  batch::StepOptions so;
  so.ensemble = {o.starts ? *o.starts : ensemble::default_starts(input.params), o.bootstrap, o.confidence, o.seed,
                 o.jobs ? *o.jobs : ensemble::hardware_jobs()};
  so.starts_asked = o.starts.has_value();
  so.phases = o.phases;
  so.max_phases = o.max_phases;
  so.phase_starts = o.phase_starts;
  so.outlier_misfit = o.outlier_misfit;
  so.strict = o.strict;
  finish(out, input, so, nullptr, params, faults.set.file, poll);
  return out;
}

}  // namespace zk::binding
