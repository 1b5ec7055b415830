#pragma once
// Which nodal plane of each focal mechanism slipped: a start from Michael's
// linear inversion iterated on the more unstable planes (Vavrycuk 2014), then
// the engine run on the chosen planes and the choice redone under its tensor
// until it repeats.
//
// The rules under a tensor, for each event (plane 1 as given, plane 2 its
// auxiliary): misfits m1, m2 (degrees, as the engine measures them) and
// instabilities I1, I2 for the friction mu;
//   hybrid       |m1 - m2| >= gap: the smaller misfit, else the larger I
//   misfit       the smaller misfit
//   instability  the larger I
//   given        plane 1
// ties go to plane 1 (values within kTieMisfitDeg or kTieInstability: the
// two planes of one double couple are computed from each other, so a tie in
// exact arithmetic can differ in the last bits); a known fault plane is kept
// whatever the rule.
// Statistics in double; the engine runs are the ensemble's (one Workspace per
// worker), so the outcome does not depend on the number of jobs.
#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "data/field_faults.hpp"
#include "data/nodal_planes.hpp"
#include "ensemble/ensemble.hpp"
#include "mechanisms/linear.hpp"

namespace zk::mech {

enum class Rule { Hybrid, Misfit, Instability, Given };
enum class Basis { Misfit, Instability, Given, Known };
enum class Ended { Converged, Cycle, Limit };
const char* rule_name(Rule r);    // "hybrid", "misfit", "instability", "given"
std::optional<Rule> rule_named(std::string_view name);  // none for a name of no rule
const char* basis_name(Basis b);  // "misfit", "instability", "given", "known"
const char* ended_name(Ended e);  // "converged", "cycle", "limit"

// The fault set of a choice: `base` (title, file name) with one datum per
// event, its vectors those of the plane as given (in float), its record the
// plane in whole degrees; it holds any number of events (from_table).
FaultSet chosen_set(const FaultSet& base, const std::vector<Event>& events, const Choice& choice);

struct Step {
  Choice planes;  // the plane taken of each event (1 or 2)
  std::vector<Basis> basis;
};
Step choose_under(const std::vector<Event>& events, const Principal& stress, double mu, Rule rule, double gap_deg);
// One event's plane by the rule (T = tensor_of(stress)).
struct Taken {
  int plane = 1;
  Basis basis = Basis::Given;
};
Taken take_plane(const std::array<DoubleCouple, 2>& exact, int known, const Matrix3& T, const Principal& stress,
                 double mu, Rule rule, double gap_deg);

constexpr double kTieMisfitDeg = 1e-9, kTieInstability = 1e-12;

// The friction scan of the start: 0.40, 0.45, ... 0.95.
constexpr double kFrictionLow = 0.40, kFrictionHigh = 0.95, kFrictionStep = 0.05;
constexpr int kRandomChoices = 10;    // random choices averaged for the first tensor
constexpr int kScanIterations = 6;    // instability iterations per friction of the scan
constexpr int kMaxEngineRuns = 10;
constexpr double kUndecidedMisfitDeg = 5.0, kUndecidedInstability = 0.05;
// Low shear: the resolved shear stress on the chosen plane below this share
// of the largest any plane carries, (sigma 1 - sigma 3) / 2, so that its
// misfit and predicted slip mean nothing.
constexpr double kLowShearShare = 0.02;
// Gross misfit: both planes misfit by more than this (degrees).
constexpr double kGrossMisfitDeg = 45.0;
// The answer leaves the events of gross misfit out when they are at most
// this share of the events: outliers (a wrong polarity, a mislocated event).
// More of them are no outliers but a stress the answer does not explain (a
// second phase): the answer then keeps every event, and they are named.
constexpr double kMaxLeftOutShare = 0.10;

struct Options {
  Rule rule = Rule::Hybrid;
  double gap_deg = 10.0;
  std::uint64_t seed = 1;          // of the random choices of the start
  std::optional<double> friction;  // fixed by the user, else from the scan
  int starts = 4;                  // engine starts per run (K)
  int jobs = 1;
  // Told the number (from 1) of each engine run of the main choice before
  // it starts (a progress line per run); may be empty.
  std::function<void(int run)> engine_run = nullptr;
};

// Why the plane choice cannot run with these options (a gap or a friction
// that is no number or out of range, fewer than 1 start or thread); "" when
// it can. The entry points below throw ensemble::OptionError with it.
std::string options_problem(const Options& o);

// The start: the linear tensor T0 and the friction.
struct Start {
  Principal stress;
  double friction = 0.6;
};
// Throws rt::RunStop when no linear inversion can be made (fewer than three
// events, or planes that cannot constrain a tensor).
Start start_tensor(const std::vector<Event>& events, const Options& o);

struct EventOutcome {
  int plane = 1;  // the plane taken (1 or 2)
  Basis basis = Basis::Given;
  std::array<double, 2> misfit{}, instability{};  // under the final tensor
  bool undecided = false;  // |m1 - m2| < 5 degrees and |I1 - I2| < 0.05
  double shear = 0.0;      // on the chosen plane, over (sigma 1 - sigma 3) / 2
  bool low_shear = false;  // shear < kLowShearShare
  bool gross_misfit = false;  // both misfits above kGrossMisfitDeg
};

struct Outcome {
  Start start;
  bool friction_fixed = false;
  int engine_runs = 0;
  Ended ended = Ended::Converged;
  std::vector<EventOutcome> events;
  int undecided = 0;
  int low_shear = 0, gross_misfits = 0;  // events so flagged
  double diversity = 0.0;   // largest eigenvalue of the orientation tensor of both planes' normals, 1/3 to 1
  double rms_misfit = 0.0;  // of the chosen planes under the final tensor (degrees)
  FaultSet chosen_data;     // the data of the last engine run (the planes taken)
  ensemble::Ensemble final; // the last engine run
};

// The whole choice on `base.params` (its POURC, NTIR, NSEED); `report` as for
// ensemble::solve, called with the units of work done in the current run.
// Throws as ensemble::solve and start_tensor.
Outcome choose_planes(const std::vector<Event>& events, const RunInput& base, const Options& o,
                      const ensemble::Report& report);

// The iteration alone, from a given start (T0 and the friction).
Outcome iterate_choice(const std::vector<Event>& events, const RunInput& base, const Options& o, const Start& start,
                       const ensemble::Report& report);

// The outcome's per-event values (misfits, instabilities, flags, rms,
// diversity) for the planes and bases of `step` under `stress`.
void assess(Outcome& out, const std::vector<Event>& events, const Step& step, const Principal& stress, double mu);

// The answer that resists gross misfits: the choice iterated again, once,
// from the same start, without the events `with` flags gross_misfit (both
// planes misfit by more than kGrossMisfitDeg under the answer with every
// event). Its events are all of `events`, under the new tensor: the others
// as the choice left them, those left out on the plane the rule gives and
// still flagged gross_misfit (so that the flag names the events left out);
// rms_misfit is that of the events of the answer. Throws as iterate_choice
// (too few events left, say). Whether the answer should be that one:
// leaves_out_gross_misfits.
bool leaves_out_gross_misfits(const Outcome& with);
Outcome without_gross_misfits(const std::vector<Event>& events, const RunInput& base, const Options& o,
                              const Outcome& with, const ensemble::Report& report = nullptr);

struct RCalibration;  // mechanisms/calibration.hpp
// The whole choice runs twice per replicate: on the resampled events and on
// a catalogue simulated under the answer (calibration.hpp).
constexpr int kChoicesPerReplicate = 2;

// B replicates: the events resampled with replacement (the draws of
// ensemble::resample keyed by (seed, b)), the whole choice made again for
// each from its own start (start_tensor of the resample; `start`, the main
// run's, when own_start is false, which narrows the cones: the study
// measures both), with the replicate's NSEED
// (ensemble::replicate_seed); statistics around the main tensor as for any
// bootstrap. Replicates run on o.jobs threads; the report does not depend on
// their number. `linear`, when given, receives in replicate order the linear
// inversion of each replicate's chosen planes (none for a failed replicate):
// the linear answer with the plane choice redone.
// R: besides the resamples, B catalogues simulated under the answer at the
// events' noise level (calibration.hpp; catalogue b drawn from
// replicate_stream(seed, b, 2), its choice made as replicate b's, with its
// NSEED); the interval of R is the hull of the either-way intervals of both
// sets (either_way_interval), and holds the answer's R; the cones, widened
// for the resampled replicates' lean, are joined to the simulated ones'
// (join_simulated_cones). The simulated
// replicates are counted in the report with the resampled ones (a replicate
// done per two choices); `calibration`, when given, receives what they gave.
// Cost: twice the choices of a resampling bootstrap alone.
ensemble::BootstrapReport bootstrap_choice(const std::vector<Event>& events, const RunInput& base, const Options& o,
                                           const Start& start, const TensorSnapshot& main, int B, std::uint64_t seed,
                                           double confidence, const ensemble::Report& report = nullptr,
                                           std::vector<std::optional<Principal>>* linear = nullptr, bool own_start = true,
                                           RCalibration* calibration = nullptr);

// The regions of the choice allowing for its bias, whichever way it goes:
// each cone widened by the angle from the answer's axis to the replicates'
// mean axis (the principal axis of their orientation tensor), and the R
// interval the union of the percentile interval and its reflection about
// the answer's R (the basic bootstrap interval). bootstrap_choice applies
// it to the resampled replicates, then joins the simulated ones' interval;
// the study (tools/mechanism-study.sh --coverage) measures why.
void allow_for_bias(ensemble::BootstrapStats& s, const TensorSnapshot& main, const std::vector<ensemble::Replicate>& reps);

// The linear inversion of a fault set's planes (their float vectors, as the
// engine reads them), in double.
LinearResult linear_of_set(const FaultSet& faults);

// Cones (half-angles, degrees) around the axes of `main` holding `confidence`
// % of the replicate axes (nearest rank); `used` the replicates given. No
// interval of R: the linear R is biased (equal shear stress magnitudes are
// assumed), and the percentiles of its replicates do not cover the true R.
struct AxisCones {
  int used = 0;
  std::optional<double> cone_deg[3];
};
AxisCones axis_cones(const Principal& main, const std::vector<std::optional<Principal>>& replicates, double confidence);

// Largest eigenvalue of the orientation tensor (1/2N) sum n n^T of both
// planes' normals: 1 when every plane is parallel, 1/3 for a uniform spread.
double plane_diversity(const std::vector<Event>& events);

}  // namespace zk::mech
