#pragma once
// Separation of a data set into stress phases: which tensors the data
// support, how many of them, which datum belongs to which (with its
// posterior probability) and which data fit none.
//
// Numbers: double precision (statistics beside the listing); angles in
// radians inside, degrees in every reported field whose name says so. The
// misfit of datum i under tensor j is the angle between its observed slip and
// the shear traction of the tensor on its plane (pi/2 when there is none).
//
// The procedure, in order:
//  1. Pool: for POURC 30, 45 and 60, K = 4 starts on all data, then twice a
//     peel (the data the best tensor of the last step fits within theta_c
//     removed; when at least 10 remain, 4 starts on them at POURC 70). Every
//     start's tensor joins the pool; tensors within 5 degrees on every axis
//     and 0.05 in R are merged (the lower J_1 kept).
//  2. Selection: for k = 1 .. k_max, the 3 k-subsets of the pool with the
//     lowest J_k = sum_i min(min_j theta_ij^2, theta_c^2).
//  3. Refinement of each: assign each datum to its phase of smallest misfit
//     (none beyond theta_c), re-invert each phase on its members at POURC 100
//     with 2 starts, until the membership is stable or J_k stops falling (at
//     most 20 rounds); the best state wins. A phase below 6 members drops
//     that start.
//  4. Model: EM fit of the half-normal + uniform mixture of the misfits,
//     BIC_k = -2 ln L + (5k + 1) ln N; auto k is the lowest BIC among the k
//     whose phases all hold at least max(6, N/10) data.
// Steps 1 to 3 run from S independent streams (--phase-starts); for each k
// the state of lowest J_k over the streams is kept, and each stream's own
// choice of k is counted (k_votes), which shows how far one search is from
// the optimum of the objective. Then, per k, a joint search exchanges
// tensors between the streams' states and follows memberships with a
// linear stand-in fit, and a move search polishes the two lowest distinct
// memberships reached: moves of one datum or of two (to another phase, to
// none or from none), ranked by the stand-in's J_k, are tried with the
// engine's fit (the moved membership refitted and reassigned until it is
// its own assignment) and kept when they lower J_k (at most 8 tried per k).
// Every inversion has its own index (stream s takes the indices from
// s x stream_inversions() on) and runs with NSEED = start_seed(index) (the
// disjoint stretches of --starts), and the inversions of one step run on the
// worker threads: the result is the same for any number of jobs.
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/engine.hpp"
#include "engine/stress_state.hpp"
#include "ensemble/ensemble.hpp"
#include "ensemble/parallel.hpp"

namespace zk::phases {

constexpr int kMaxPhases = 4;
constexpr int kMinMembers = 6;       // a phase below this is not a phase
constexpr double kAmbiguousPosterior = 0.9;  // a largest posterior below this: ambiguous
// Two phases whose tensors differ by less than this stress difference
// (degrees) are one phase split by its noise: a model holding such a pair is
// not chosen automatically.
constexpr double kMinPhaseDifferenceDeg = 30.0;

constexpr int kDefaultStarts = 8;  // independent search streams
constexpr int kMaxStarts = 64;

struct Options {
  int phases = 0;       // 0: choose automatically; else the number imposed (1 .. kMaxPhases)
  int max_phases = 3;   // largest k tried (1 .. kMaxPhases)
  double outlier_misfit_deg = 30.0;  // theta_c, degrees (5 .. 90)
  int jobs = 1;         // worker threads
  int starts = kDefaultStarts;  // search streams S (1 .. kMaxStarts)
};

// A combination of options or parameters the separation cannot run with.
struct OptionError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// Why the separation cannot run with these options and parameters ("" when
// it can): INDX other than 1, k or theta_c out of range, seeds beyond what a
// PARAMETERS file holds.
std::string separation_problem(const RunParams& p, const Options& o);

// One k tried.
struct Model {
  int k = 0;
  double objective_rad2 = 0.0;  // J_k of the refined tensors
  double selected_objective_rad2 = 0.0;  // J_k of the best k-subset of the pool, before refinement
  double bic = 0.0;
  double sigma_deg = 0.0;       // EM spread of the half-normal
  double outlier_share = 0.0;   // EM eps
  // (max - min) / min of the J_k the streams reached on their own: 0 when
  // every stream found the same optimum.
  double objective_spread = 0.0;
  int smallest_phase = 0;       // members of the smallest phase
  // Smallest stress difference (Yamaji & Sato angle, degrees) between two of
  // its phases; none with one phase.
  std::optional<double> closest_phases_deg;
};

struct Phase {
  std::vector<int> members;  // indices into faults.data, data order
  int NSEED = 0;             // of the chosen start: PARAMETERS with POURC 100 reproduce `tensor`
  TensorSnapshot tensor;     // stage 3 of that run
  double misfit_sum_rad2 = 0.0;  // sum of the members' squared misfits
  // The members' residual standard deviation with the 4 parameters of a
  // tensor fitted, sqrt(sum / (n - 4)), as the run's ECART; none below 5.
  std::optional<double> residual_std_deg;
  double rms_misfit_deg = 0.0;  // root mean square of the members' misfits
};

struct DatumPhase {
  int phase = 0;                   // 1 .. k, 0: none
  std::vector<double> misfit_deg;  // to every phase
  std::vector<double> posterior;   // EM posterior of every phase
  double posterior_none = 0.0;
  std::optional<double> misfit_gap_deg;  // second smallest minus smallest (none with one phase)
  bool ambiguous = false;          // largest posterior below kAmbiguousPosterior
};

struct Separation {
  int k = 0;
  bool automatic = true;
  Options options;
  std::vector<Model> models;   // k order; a k whose every start dropped is absent
  std::vector<Phase> phases;   // numbered by decreasing size, then sigma 1 trend
  std::vector<DatumPhase> data;  // data order
  std::size_t chosen_model = 0;  // index in models
  int restarts = 0;              // search streams run (Options::starts)
  // [k - 1]: the streams whose own models chose k (k = 1 .. the largest
  // tried); a stream none of whose models is admissible votes for none.
  std::vector<int> k_votes;
  // Per phase, with a bootstrap (see bootstrap_phases); empty without.
  std::vector<ensemble::BootstrapReport> bootstrap;
};

// Inversions one search stream may run at most, each keyed by its index.
int stream_inversions();

// Inversions a separation of `starts` streams may run at most (the keys of
// their seeds): a bound for long-run warnings and progress lines.
int inversion_count(int starts);

// The most streams, up to kDefaultStarts, whose seeds fit below the largest
// NSEED with these parameters (at least 1).
int fitting_starts(const RunParams& p);

// Separates `faults`. Throws OptionError (see separation_problem), rt::RunStop
// when the data cannot support the imposed k (or any phase of kMinMembers).
// `report` (may be empty) gets the inversions done so far.
Separation separate(const FaultSet& faults, const RunParams& params, const Options& o,
                    const ensemble::Report& report = nullptr);

// Bootstrap of a separation: replicate b draws N data with replacement (the
// resample of the one-inversion bootstrap, keyed by (seed, b)), assigns them
// to the phase tensors of `sep` and refines as the separation does (no new
// pool); its inversions take NSEEDs from replicate_seed(b) on, one stretch
// each. Returns per phase the B replicates in replicate order; a replicate
// in which a phase falls below kMinMembers or a fit fails is not ok.
std::vector<std::vector<ensemble::Replicate>> bootstrap_phases(const FaultSet& faults, const RunParams& params,
                                                               const Separation& sep, int B, std::uint64_t seed,
                                                               int jobs);

// Adds to `sep` its bootstrap: per phase the cones and R intervals of
// bootstrap_phases' replicates at the options' count, seed and confidence.
void add_bootstrap(Separation& sep, const FaultSet& faults, const RunParams& params, const ensemble::Options& eo);

// ---- pieces, exposed for their tests ----

// Misfit (radians) of a datum of unit normal `n` and slip `s` under `T`.
double misfit_rad(const Matrix3& T, const Vec3& n, const Vec3& s);

// The capped objective of data given their misfits table theta[j][i].
double objective(const std::vector<std::vector<double>>& theta, double theta_c);

// Assignment by smallest misfit (ties: lower phase), 0 beyond theta_c.
std::vector<int> assign(const std::vector<std::vector<double>>& theta, double theta_c);

// EM fit of the mixture for fixed tensors; returns the model with its
// posteriors (w[j][i], and none[i]). k = theta.size(), N = theta[0].size().
struct MixtureFit {
  double log_likelihood = 0.0, sigma = 0.0, eps = 0.0;
  std::vector<double> share;
  std::vector<std::vector<double>> w;
  std::vector<double> none;
};
MixtureFit fit_mixture(const std::vector<std::vector<double>>& theta, double theta_c);
double bic(double log_likelihood, int k, int N);

// The order of phases: decreasing size, then increasing sigma 1 trend, then
// the earlier. Returns the new position's old index.
std::vector<std::size_t> phase_order(const std::vector<int>& sizes, const std::vector<double>& s1_trends);

// The k of lowest BIC among admissible models (every phase at least
// max(kMinMembers, N/10), every two phases at least kMinPhaseDifferenceDeg
// apart); ties: the smaller k. nullopt when none is.
std::optional<std::size_t> choose_model(const std::vector<Model>& models, int N);

}  // namespace zk::phases
