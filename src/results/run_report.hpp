#pragma once
// One batch run gathered for the result writers: the data as the engine read
// them, the run parameters, the engine's result, what is derived from it for
// the reader (stress state, plane stresses, misfit statistics) and the files
// of the run.
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/engine.hpp"
#include "engine/stress_state.hpp"
#include "ensemble/ensemble.hpp"
#include "mechanisms/choice.hpp"
#include "phases/separate.hpp"
#include "runtime/result_file.hpp"

namespace zk::batch {

struct Datum {
  int NUM = 0;
  int line = 0;          // line of the DATA file
  FaultRecord as_read;   // the DATA record as the engine read it
  Vec3 FN;               // downward unit normal of the plane
  Vec3 STR;              // unit slip vector of the hanging wall
  float misfit = 0.0f;   // radians, final tensor
  int rank = 0;          // 1 = best fit, final tensor
  NearestTensor nearest; // stage 4
  PlaneStress stress;    // final tensor on the plane: Mohr coordinates, predicted slip
};

// Mean, median and root mean square of misfit angles (degrees, double: a
// summary beside the listing).
struct MisfitSummary {
  int count = 0;
  double mean = 0.0, median = 0.0, rms = 0.0;
};
MisfitSummary summarise_misfits(std::vector<double> degrees);

// Michael's linear inversion of the kept data beside the engine's answer
// (double): its tensor and the stress difference from the final tensor.
struct LinearCheck {
  mech::LinearResult fit;
  double stress_difference_deg = 0.0;
};

// A run on focal mechanisms: the events (table order, the kept ones), the
// options of the plane choice and its outcome, and its warnings.
struct MechanismsReport {
  mech::Options options;
  std::vector<mech::Event> events;
  mech::Outcome outcome;
  std::vector<std::string> warnings;
  // --bootstrap: the choice rerun on each resample of the events.
  std::optional<ensemble::BootstrapReport> bootstrap;
  ensemble::Options bootstrap_options;
  int simulated_failed = 0;  // of the catalogues simulated under the answer, those the choice could not invert
  // With the bootstrap: the linear inversion of each replicate's chosen
  // planes, its cones around the linear answer of the answer's planes (axes
  // only: the linear R is biased and its interval not calibrated).
  struct LinearBootstrap {
    int replicates = 0;
    double confidence = 95.0;
    std::uint64_t seed = 1;
    mech::AxisCones cones;
  };
  std::optional<LinearBootstrap> linear_bootstrap;
  std::string table;  // the path of the mechanism table: an input, never a destination
  // The input of the listed run: the chosen planes as given (the choice's
  // last engine run), the run parameters and the PARAMETERS' warnings.
  RunInput listed;
  // With events of gross misfit: the choice again without them, from the
  // same start, which is the answer (stress_difference_deg 0, its bootstrap
  // the run's); `found` false (and `why`) when it could not be made, and the
  // answer keeps every event. The same shape for the answer with every event
  // beside (with_gross, when the answer left some out).
  struct WithoutGross {
    std::vector<int> events;  // the ids left out
    bool found = false;
    std::string why;
    TensorSnapshot tensor;
    double stress_difference_deg = 0.0;  // to the answer (double)
    std::optional<ensemble::BootstrapReport> bootstrap;  // with the run's bootstrap: the choice redone on the others
  };
  std::optional<WithoutGross> without_gross, with_gross;
  // Files of the choice (--chosen-data, --chosen-planes), written: the
  // listed run replaces them with its own results, or not at all.
  std::vector<rt::ResultFile*> commit_with;
};

struct RunReport {
  std::string parameters_path, data_path, output_path;
  std::string title;  // DATA title line, trailing blanks removed
  std::vector<std::string> warnings;
  RunParams params;
  InversionResult run;
  std::vector<Datum> data;  // data order, N entries
  StressState state;        // of the final tensor
  MisfitSummary misfit_all, misfit_best;  // final misfits of all data, of the NMIN best

  bool among_best(const Datum& d) const { return d.rank >= 1 && d.rank <= run.NMIN; }
  // The misfit (radians) of the NMIN-th best datum: the cut-off of the
  // misfit sum; none without data.
  std::optional<float> cutoff() const;
  // Several starts or a bootstrap, when asked for (the listed run is the
  // chosen start's).
  std::optional<ensemble::Ensemble> ensemble;
  ensemble::Options ensemble_options;
  // The separation into stress phases, when asked for (--phases).
  std::optional<phases::Separation> separation;
  std::optional<LinearCheck> linear;  // none when the data cannot constrain it
  std::shared_ptr<const MechanismsReport> mechanisms;  // --mechanisms only
  // The quality of the all-data answer and of each phase (rank_quality).
  ensemble::AnswerQuality quality;
  std::vector<ensemble::AnswerQuality> phase_quality;
};

// The rake of a datum's slip (degrees, -180 to 180, from the right-hand-rule
// strike; Aki & Richards).
double rake_deg(const Datum& d);

// Fills r.quality and r.phase_quality from the answers, their data and their
// bootstraps (once the ensemble and the separation are in place).
void rank_quality(RunReport& r);

// The misfit of a datum in degrees, as every result writer gives it.
constexpr float kDegPerRad = 57.29578f;
inline float misfit_degrees(const Datum& d) { return d.misfit * kDegPerRad; }

// The same tensor and misfit sum, bit for bit.
bool same_bits(const TensorSnapshot& a, const TensorSnapshot& b);

// Gathers the result of a run on `input`.
RunReport collect_report(const RunInput& input, const InversionResult& run);

}  // namespace zk::batch
