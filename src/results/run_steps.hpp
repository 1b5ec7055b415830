#pragma once
// The steps of one run once its input is read: the separation into stress
// phases when asked, the ensemble of starts (or, on focal mechanisms, the
// plane choice's last engine run), the listed run, and the report gathered
// from them with its warnings and quality. zarkel-batch and the Python
// module both run these, so both give the same document for the same input.
#include <memory>
#include <string>

#include "areas/workspace.hpp"
#include "engine/engine.hpp"
#include "ensemble/ensemble.hpp"
#include "mechanisms/choice.hpp"
#include "results/run_report.hpp"

namespace zk::batch {

// The options of the steps, as zarkel-batch's command line gives them.
struct StepOptions {
  ensemble::Options ensemble;  // starts resolved (ensemble::default_starts when not asked)
  bool starts_asked = false;   // no "N starts instead of" warning when asked for
  int phases = -1;             // -1: no separation, 0: auto, K
  int max_phases = 3;
  int phase_starts = 0;        // 0: the default, fewer when the seeds leave no room (the phases layer checks the rest)
  double outlier_misfit = 30.0;  // degrees
  bool strict = false;         // a warning of the answer refuses the run
};

// What a front end does while the steps run; each default does nothing.
class StepHooks {
 public:
  virtual ~StepHooks() = default;
  // A warning (without "warning: ") as it arises, before the work it is about.
  virtual void warn(const std::string&) {}
  // A warning of the options (run_options_warnings), said the same way
  // unless a front end says those elsewhere.
  virtual void warn_options(const std::string& w) { warn(w); }
  // `total` units of `what` ("runs", "inversions of the separation") begin:
  // the report returned is called with the units done; `counted` ends them.
  virtual ensemble::Report counter(long long total, const std::string& what);
  virtual void counted() {}
  // The listed run begins (`slow`: its first stage is expected to be long);
  // its draws are shown to what is returned (null: not shown).
  virtual DrawProgress* draws(bool slow);
};

// The warnings of the options on this input, without "warning: ": fewer
// starts than the default, a rough bootstrap, a long ensemble.
std::vector<std::string> run_options_warnings(const StepOptions& o, const RunInput& input);

// Runs the steps on `input` (its own warnings are the caller's to say; a
// strict run refuses them before calling), lists the run through `sink` on
// `ws`, and returns the report. `mechanisms`: the plane choice whose chosen
// planes are `input` (null for fault-slip data). Throws ensemble or phases
// OptionError for options the engine refuses, rt::RunStop for a refused run.
RunReport run_steps(const RunInput& input, const StepOptions& o,
                    const std::shared_ptr<const MechanismsReport>& mechanisms, Workspace& ws, ListingSink sink,
                    StepHooks& hooks);

// The options of the plane choice step, as zarkel-batch --mechanisms gives
// them.
struct ChoiceStepOptions {
  mech::Options choice;  // its starts are used when asked for
  bool starts_asked = false;  // else 4 per engine run, 1 when NSEED and NTIR leave no room
  int bootstrap = 0;  // replicates, the choice rerun on each resample
  double confidence = 95.0;  // per cent
  std::uint64_t seed = 1;
  bool strict = false;  // a warning of the choice refuses the run
};

// The plane choice on the kept events of the table `table` (`base`: those
// events on their given planes with the run parameters and the input's
// warnings), with its bootstrap, gross misfits and warnings (said through
// the hooks); the report's `listed` is the input of run_steps.
std::shared_ptr<MechanismsReport> choice_steps(const std::vector<mech::Event>& kept, const RunInput& base,
                                               const std::string& table, const ChoiceStepOptions& o,
                                               StepHooks& hooks);

}  // namespace zk::batch
