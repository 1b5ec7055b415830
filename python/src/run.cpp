#include "run.hpp"

#include <memory>
#include <sstream>

#include "areas/workspace.hpp"
#include "data/parameters.hpp"
#include "ensemble/ensemble.hpp"
#include "phases/separate.hpp"
#include "results/warnings.hpp"
#include "runtime/errors.hpp"

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
