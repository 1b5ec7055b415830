#include "results/run_steps.hpp"

#include <optional>
#include <stdexcept>

#include "phases/separate.hpp"
#include "results/mechanisms_output.hpp"
#include "results/warnings.hpp"
#include "runtime/errors.hpp"

namespace zk::batch {

ensemble::Report StepHooks::counter(long long, const std::string&) { return {}; }
DrawProgress* StepHooks::draws(bool) { return nullptr; }

std::vector<std::string> run_options_warnings(const StepOptions& o, const RunInput& input) {
  const ensemble::Options& eo = o.ensemble;
  std::vector<std::string> said;
  if (!o.starts_asked && eo.starts < ensemble::kDefaultStarts && ensemble::values_per_draw(input.params) > 0) {
    said.push_back(std::to_string(eo.starts) + (eo.starts == 1 ? " start" : " starts") + " instead of " +
                   std::to_string(ensemble::kDefaultStarts) +
                   ": NSEED and NTIR leave no room for more below the largest NSEED");
  }
  if (const std::string rough = rough_bootstrap_warning(eo); !rough.empty()) said.push_back(rough.substr(9));
  const std::string long_ensemble =
      ensemble::ensemble_time_warning(input.params, static_cast<int>(input.faults.data.size()), eo);
  if (!long_ensemble.empty()) said.push_back(long_ensemble);  // with or without a terminal
  return said;
}

namespace {

// The stress phases (none unless asked), with their bootstrap; the warnings
// said before the separation go to `said` as well as to the hooks.
std::optional<phases::Separation> separate_phases(const StepOptions& o, const RunInput& input, StepHooks& hooks,
                                                  std::vector<std::string>& said) {
  if (o.phases < 0) return std::nullopt;
  const ensemble::Options& eo = o.ensemble;
  phases::Options po{o.phases, o.max_phases, o.outlier_misfit, eo.jobs};
  // The search streams: as many as asked, or the default when the seeds
  // leave room for them (fewer, with a warning, when they do not).
  po.starts = o.phase_starts != 0 ? o.phase_starts : phases::fitting_starts(input.params);
  const auto warn = [&](const std::string& w) {
    hooks.warn(w);
    said.push_back(w);
  };
  if (o.phase_starts == 0 && po.starts < phases::kDefaultStarts) {
    warn(std::to_string(po.starts) + (po.starts == 1 ? " phase start" : " phase starts") + " instead of " +
         std::to_string(phases::kDefaultStarts) + ": NSEED and NTIR leave no room for more below the largest NSEED");
  }
  if (const std::string why_not = phases::separation_problem(input.params, po); !why_not.empty()) {
    throw phases::OptionError(why_not);
  }
  if (const std::string why_not = invert_problem(input.faults, input.params); !why_not.empty()) {
    throw rt::RunStop(why_not);
  }
  const std::string long_separation =
      separation_time_warning(input.params, static_cast<int>(input.faults.data.size()), eo.jobs, po.starts);
  if (!long_separation.empty()) warn(long_separation);
  phases::Separation separation = phases::separate(
      input.faults, input.params, po, hooks.counter(phases::inversion_count(po.starts), "inversions of the separation"));
  hooks.counted();
  if (eo.bootstrap > 0) phases::add_bootstrap(separation, input.faults, input.params, eo);
  return separation;
}

// The plane choice in the report: its bootstrap is the run's, its warnings
// the run's (the listed run must be the choice's last engine run).
void add_mechanisms(RunReport& result, const std::shared_ptr<const MechanismsReport>& mechanisms,
                    const InversionResult& run) {
  if (!same_bits(run.stage3, mechanisms->outcome.final.best_tensor)) {
    throw std::logic_error("the listed run does not reproduce the plane choice's last engine run");
  }
  result.mechanisms = mechanisms;
  if (mechanisms->bootstrap) {
    if (!result.ensemble) result.ensemble = mechanisms->outcome.final;
    result.ensemble->bootstrap = mechanisms->bootstrap;
    result.ensemble_options = mechanisms->bootstrap_options;
  }
  result.warnings.insert(result.warnings.end(), mechanisms->warnings.begin(), mechanisms->warnings.end());
}

}  // namespace

RunReport run_steps(const RunInput& input, const StepOptions& o,
                    const std::shared_ptr<const MechanismsReport>& mechanisms, Workspace& ws, ListingSink sink,
                    StepHooks& hooks) {
  const ensemble::Options& eo = o.ensemble;
  const std::string slow = stage1_time_warning(input.params, static_cast<int>(input.faults.data.size()));
  if (!slow.empty()) hooks.warn(slow);
  // The engine checks its own options, even when no ensemble runs.
  if (const std::string why = ensemble::options_problem(eo); !why.empty()) throw ensemble::OptionError(why);
  std::vector<std::string> said = run_options_warnings(o, input);
  for (const std::string& w : said) hooks.warn_options(w);
  std::optional<phases::Separation> separation = separate_phases(o, input, hooks, said);
  std::optional<ensemble::Ensemble> ens;
  if (eo.active() && mechanisms) {
    ens = mechanisms->outcome.final;  // the choice's last engine run, on this input
  } else if (eo.active()) {
    ens = ensemble::solve(input, eo, hooks.counter(ensemble::work_units(eo), "runs"));
    hooks.counted();
  }
  // The listed run: the chosen start's, a plain run with its NSEED.
  ws.progress = hooks.draws(!slow.empty() && !ens);
  if (input.faults.from_table) {
    sink.attach(ws);
    ws.units.write_list(unit::kListing, " The DATA records listed are the chosen planes rounded to whole degrees;");
    ws.units.write_list(unit::kListing, " the inversion used the planes as given.");
  }
  const InversionResult run = invert(input.faults, ens ? ens->best_params : input.params, ws, sink);
  ws.progress = nullptr;
  if (ens && !mechanisms && !same_bits(run.stage3, ens->best_tensor)) {
    throw std::logic_error("the listed run does not reproduce its start");
  }

  RunReport result = collect_report(input, run);
  result.warnings.insert(result.warnings.end(), said.begin(), said.end());
  if (const std::string apart = linear_apart_warning(result, input.params); !apart.empty()) {
    hooks.warn(apart);
    result.warnings.push_back(apart);
    if (o.strict) throw rt::RunStop("--strict: " + apart + "; nothing was written");
  }
  result.ensemble = std::move(ens);
  result.ensemble_options = eo;
  result.separation = std::move(separation);
  for (const std::string& w : phase_warnings(result)) result.warnings.push_back(w);
  if (mechanisms) add_mechanisms(result, mechanisms, run);
  rank_quality(result);
  return result;
}

std::shared_ptr<MechanismsReport> choice_steps(const std::vector<mech::Event>& kept, const RunInput& base,
                                               const std::string& table, const ChoiceStepOptions& o,
                                               StepHooks& hooks) {
  auto report = std::make_shared<MechanismsReport>();
  report->table = table;
  mech::Options& mo = report->options;
  mo = o.choice;
  if (!o.starts_asked) mo.starts = ensemble::starts_problem(base.params, 4).empty() ? 4 : 1;
  if (const std::string problem = invert_problem(base.faults, base.params); !problem.empty()) {
    throw rt::RunStop(problem);
  }
  // A long choice says so (with or without a terminal).
  const std::string slow =
      choice_time_warning(base.params, static_cast<int>(kept.size()), mo.starts, o.bootstrap, mo.jobs);
  if (!slow.empty()) hooks.warn(slow);
  ensemble::Report starts_done;
  mo.engine_run = [&](int run) {
    hooks.counted();
    starts_done = hooks.counter(mo.starts, "starts of engine run " + std::to_string(run));
  };
  report->outcome = mech::choose_planes(kept, base, mo, [&starts_done](long long done) {
    if (starts_done) starts_done(done);
  });
  hooks.counted();
  mo.engine_run = nullptr;
  report->events = kept;
  complete_choice(*report, base, {o.bootstrap, o.confidence, o.seed}, [&](const std::string& what) {
    hooks.counted();
    return hooks.counter(o.bootstrap, what);
  });
  hooks.counted();
  report->warnings = mechanisms_warnings(*report);
  for (const std::string& w : report->warnings) hooks.warn(w);
  if (o.strict && !report->warnings.empty()) {
    throw rt::RunStop("--strict: the plane choice gives " + std::to_string(report->warnings.size()) +
                      (report->warnings.size() == 1 ? " warning" : " warnings") + "; nothing was written");
  }
  report->listed = RunInput{report->outcome.chosen_data, base.params, base.warnings};
  return report;
}

}  // namespace zk::batch
