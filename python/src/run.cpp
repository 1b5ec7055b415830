#include "run.hpp"

#include <filesystem>
#include <memory>
#include <sstream>

#include "areas/workspace.hpp"
#include "data/parameters.hpp"
#include "ensemble/ensemble.hpp"
#include "phases/separate.hpp"
#include "results/mechanisms_output.hpp"
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
  const ensemble::Report report = [&poll](long long) {
    if (poll) poll();
  };
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

  auto m = std::make_shared<batch::MechanismsReport>();
  m->table = c.name;
  mech::Options& mo = m->options;
  const std::optional<mech::Rule> rule = mech::rule_named(o.plane_choice);
  if (!rule) {
    throw ensemble::OptionError("--plane-choice takes hybrid, misfit, instability or given (got \"" +
                                rt::shortened(o.plane_choice) + "\")");
  }
  mo.rule = *rule;
  mo.gap_deg = o.choice_gap;
  mo.seed = o.plane_seed;
  mo.friction = o.friction;
  mo.starts = o.starts ? *o.starts : (ensemble::starts_problem(base.params, 4).empty() ? 4 : 1);
  mo.jobs = o.jobs ? *o.jobs : ensemble::hardware_jobs();
  if (const std::string problem = invert_problem(base.faults, base.params); !problem.empty()) throw rt::RunStop(problem);
  const std::string slow =
      batch::choice_time_warning(base.params, static_cast<int>(kept.size()), mo.starts, o.bootstrap, mo.jobs);
  if (!slow.empty()) out.warnings.push_back(slow);
  m->outcome = mech::choose_planes(kept, base, mo, report);
  m->events = kept;
  batch::complete_choice(*m, base, {o.bootstrap, o.confidence, o.seed},
                         [&report](const std::string&) { return report; });
  m->warnings = batch::mechanisms_warnings(*m);
  out.warnings.insert(out.warnings.end(), m->warnings.begin(), m->warnings.end());
  if (o.strict && !m->warnings.empty()) {
    throw rt::RunStop("--strict: the plane choice gives " + std::to_string(m->warnings.size()) +
                      (m->warnings.size() == 1 ? " warning" : " warnings") + "; nothing was written");
  }
  m->listed = RunInput{m->outcome.chosen_data, base.params, base.warnings};

  // The listed run on the chosen planes: the choice's last engine run.
  const RunInput& input = m->listed;
  out.warnings.insert(out.warnings.end(), input.warnings.begin(), input.warnings.end());
  if (o.strict && !input.warnings.empty()) {
    throw rt::RunStop("--strict: the input gives " + std::to_string(input.warnings.size()) +
                      (input.warnings.size() == 1 ? " warning" : " warnings") + "; nothing was run");
  }
  const int N = static_cast<int>(input.faults.data.size());
  if (const std::string slow1 = stage1_time_warning(input.params, N); !slow1.empty()) out.warnings.push_back(slow1);
  const ensemble::Options eo{mo.starts, 0, o.confidence, o.seed, mo.jobs};
  std::vector<std::string> run_warnings;
  if (const std::string rough = batch::rough_bootstrap_warning(eo); !rough.empty()) run_warnings.push_back(rough.substr(9));
  if (const std::string longer = ensemble::ensemble_time_warning(input.params, N, eo); !longer.empty()) {
    run_warnings.push_back(longer);
  }
  out.warnings.insert(out.warnings.end(), run_warnings.begin(), run_warnings.end());
  std::vector<std::string> phase_warnings;  // said before the separation, kept in the document
  std::optional<phases::Separation> separation;
  if (o.phases >= 0) {
    phases::Options po{o.phases, o.max_phases, o.outlier_misfit, eo.jobs};
    po.starts = phases::fitting_starts(input.params);
    if (po.starts < phases::kDefaultStarts) {
      const std::string w = std::to_string(po.starts) + (po.starts == 1 ? " phase start" : " phase starts") +
                            " instead of " + std::to_string(phases::kDefaultStarts) +
                            ": NSEED and NTIR leave no room for more below the largest NSEED";
      phase_warnings.push_back(w);
      out.warnings.push_back(w);
    }
    if (const std::string why_not = phases::separation_problem(input.params, po); !why_not.empty()) {
      throw phases::OptionError(why_not);
    }
    if (const std::string why_not = invert_problem(input.faults, input.params); !why_not.empty()) {
      throw rt::RunStop(why_not);
    }
    if (const std::string w = batch::separation_time_warning(input.params, N, eo.jobs, po.starts); !w.empty()) {
      phase_warnings.push_back(w);
      out.warnings.push_back(w);
    }
    separation = phases::separate(input.faults, input.params, po, report);
  }
  std::optional<ensemble::Ensemble> ens;
  if (eo.active()) ens = m->outcome.final;
  auto space = std::make_unique<Space>();
  store_constants(space->ws);
  if (input.faults.from_table) {
    // As the OUTPUT unit writes a line: a blank for carriage control first.
    out.listing += "  The DATA records listed are the chosen planes rounded to whole degrees;\n";
    out.listing += "  the inversion used the planes as given.\n";
  }
  const InversionResult result =
      invert(input.faults, ens ? ens->best_params : input.params, space->ws, ListingSink::text(out.listing));
  if (!batch::same_bits(result.stage3, m->outcome.final.best_tensor)) {
    throw std::logic_error("the listed run does not reproduce the plane choice's last engine run");
  }
  out.report = batch::collect_report(input, result);
  out.report.warnings.insert(out.report.warnings.end(), run_warnings.begin(), run_warnings.end());
  out.report.warnings.insert(out.report.warnings.end(), phase_warnings.begin(), phase_warnings.end());
  if (const std::string apart = batch::linear_apart_warning(out.report, input.params); !apart.empty()) {
    out.warnings.push_back(apart);
    out.report.warnings.push_back(apart);
    if (o.strict) throw rt::RunStop("--strict: " + apart + "; nothing was written");
  }
  out.report.ensemble = std::move(ens);
  out.report.ensemble_options = eo;
  out.report.separation = std::move(separation);
  const std::vector<std::string> after = batch::phase_warnings(out.report);
  out.report.warnings.insert(out.report.warnings.end(), after.begin(), after.end());
  out.report.mechanisms = m;
  if (m->bootstrap) {
    if (!out.report.ensemble) out.report.ensemble = m->outcome.final;
    out.report.ensemble->bootstrap = m->bootstrap;
    out.report.ensemble_options = m->bootstrap_options;
  }
  out.report.warnings.insert(out.report.warnings.end(), m->warnings.begin(), m->warnings.end());
  out.report.parameters_path = params.path;
  out.report.data_path = c.name;
  out.warnings.insert(out.warnings.end(), after.begin(), after.end());
  if (const std::string ambiguous = batch::ambiguity_warning(out.report); !ambiguous.empty()) {
    out.warnings.push_back(ambiguous.substr(9));
  }
  batch::rank_quality(out.report);
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
  const int N = static_cast<int>(input.faults.data.size());
  if (const std::string slow = stage1_time_warning(input.params, N); !slow.empty()) out.warnings.push_back(slow);
  const int starts = o.starts ? *o.starts : ensemble::default_starts(input.params);
  const ensemble::Options eo{starts, o.bootstrap, o.confidence, o.seed, o.jobs ? *o.jobs : ensemble::hardware_jobs()};
  // The engine's own check of its options, asked for even when no ensemble runs.
  if (const std::string why = ensemble::options_problem(eo); !why.empty()) throw ensemble::OptionError(why);
  std::vector<std::string> run_warnings;
  if (!o.starts && starts < ensemble::kDefaultStarts && ensemble::values_per_draw(input.params) > 0) {
    run_warnings.push_back(std::to_string(starts) + (starts == 1 ? " start" : " starts") + " instead of " +
                           std::to_string(ensemble::kDefaultStarts) +
                           ": NSEED and NTIR leave no room for more below the largest NSEED");
  }
  if (const std::string rough = batch::rough_bootstrap_warning(eo); !rough.empty()) {
    run_warnings.push_back(rough.substr(9));
  }
  if (const std::string longer = ensemble::ensemble_time_warning(input.params, N, eo); !longer.empty()) {
    run_warnings.push_back(longer);
  }
  out.warnings.insert(out.warnings.end(), run_warnings.begin(), run_warnings.end());
  const ensemble::Report report = [&poll](long long) {
    if (poll) poll();
  };

  std::optional<phases::Separation> separation;
  std::string phase_starts_warning;
  if (o.phases >= 0) {
    phases::Options po{o.phases, o.max_phases, o.outlier_misfit, eo.jobs};
    po.starts = phases::fitting_starts(input.params);
    if (po.starts < phases::kDefaultStarts) {
      phase_starts_warning = std::to_string(po.starts) + (po.starts == 1 ? " phase start" : " phase starts") +
                             " instead of " + std::to_string(phases::kDefaultStarts) +
                             ": NSEED and NTIR leave no room for more below the largest NSEED";
      out.warnings.push_back(phase_starts_warning);
    }
    if (const std::string why_not = phases::separation_problem(input.params, po); !why_not.empty()) {
      throw phases::OptionError(why_not);
    }
    if (const std::string why_not = invert_problem(input.faults, input.params); !why_not.empty()) {
      throw rt::RunStop(why_not);
    }
    separation = phases::separate(input.faults, input.params, po, report);
    if (eo.bootstrap > 0) phases::add_bootstrap(*separation, input.faults, input.params, eo);
  }
  std::optional<ensemble::Ensemble> ens;
  if (eo.active()) ens = ensemble::solve(input, eo, report);
  auto s = std::make_unique<Space>();
  store_constants(s->ws);
  const InversionResult result =
      invert(input.faults, ens ? ens->best_params : input.params, s->ws, ListingSink::text(out.listing));
  if (ens && !batch::same_bits(result.stage3, ens->best_tensor)) {
    throw std::logic_error("the listed run does not reproduce its start");
  }
  out.report = batch::collect_report(input, result);
  out.report.warnings.insert(out.report.warnings.end(), run_warnings.begin(), run_warnings.end());
  out.report.ensemble = std::move(ens);
  out.report.ensemble_options = eo;
  out.report.separation = std::move(separation);
  out.report.parameters_path = params.path;
  out.report.data_path = faults.set.file;
  if (!phase_starts_warning.empty()) out.report.warnings.push_back(phase_starts_warning);
  for (const std::string& w : batch::phase_warnings(out.report)) {
    out.report.warnings.push_back(w);
    out.warnings.push_back(w);
  }
  if (const std::string ambiguous = batch::ambiguity_warning(out.report); !ambiguous.empty()) {
    out.warnings.push_back(ambiguous.substr(9));
  }
  batch::rank_quality(out.report);
  return out;
}

}  // namespace zk::binding
