#pragma once
// The command line of zarkel-batch:
//   zarkel-batch PARAMETERS DATA OUTPUT [--svg FIGURE.svg] [--json RESULT.json]
//                [--no-planes] [--labels] [--quiet] [--strict] [--starts K] [--bootstrap B] [--confidence P]
//                [--bootstrap-seed S] [--jobs J] [--progress]
//   zarkel-batch PARAMETERS MECHANISMS.csv OUTPUT --mechanisms [--plane-choice RULE] [--choice-gap DEG]
//                [--plane-seed S] [--friction MU] [--chosen-data FILE] [--chosen-planes FILE.csv]
//                [--delimiter D] [--columns ROLE,...] [run options]
// or a campaign:
//   zarkel-batch --stations TABLE.csv --out DIR [--parameters FILE] [--shard I/N] [run options]
//   zarkel-batch PARAMETERS CATALOGUE.csv OUTDIR --mechanisms --grid AXES --cell SIZES [--shard I/N] ...
//   zarkel-batch --merge OUT DIR...
// plus --help and --version.
#include <cstdint>
#include <string>
#include <vector>

#include "figures/figure_options.hpp"
#include "runtime/interrupt.hpp"

namespace zk::batch {

struct Options {
  std::string parameters, data, output;
  std::string svg;   // empty: no figure
  std::string json;  // empty: no result document
  bool quiet = false;
  FigureOptions figure;             // --no-planes, --labels
  int starts = 0;                   // independent starts (K); 0: ensemble::default_starts
  int bootstrap = 0;                // bootstrap replicates (B), 0: none
  double confidence = 95.0;         // per cent, in (0, 100)
  std::uint64_t bootstrap_seed = 1;
  int jobs = 0;                     // worker threads; 0: one per hardware thread
  bool progress = false;            // progress line even when standard error is not a terminal
  bool strict = false;              // a warning refuses the run
  // Separation of stress phases: --phases auto|K (-1: not asked, 0: auto),
  // --max-phases M, --outlier-misfit DEG, --phase-dir DIR.
  int phases = -1;
  int max_phases = 3;
  int phase_starts = 0;  // --phase-starts S (0: the default)
  double outlier_misfit = 30.0;  // degrees
  std::string phase_dir = {};
  // Campaigns: --stations TABLE --out DIR [--parameters FILE] [--shard I/N],
  // or --merge OUT DIR...
  std::string stations = {}, out_dir = {}, default_parameters = {}, merge_out = {};
  int shard = 0, shards = 1;
  std::vector<std::string> merge_dirs = {};
  // How the result document names the DATA and OUTPUT files, when not as
  // given (a campaign names them within the station's folder).
  std::string data_name = {}, output_name = {};
  // Focal mechanisms (--mechanisms): DATA is a table of events whose nodal
  // plane is chosen by --plane-choice; see batch/mechanisms_run.hpp.
  bool mechanisms = false;
  std::string plane_choice = "hybrid";   // hybrid, misfit, instability, given
  double choice_gap = 10.0;              // degrees
  std::uint64_t plane_seed = 1;
  double friction = 0.0;                 // used when friction_fixed
  bool friction_fixed = false;
  std::string chosen_data = {};          // empty: the chosen planes are not kept
  std::string chosen_planes = {};        // --chosen-planes FILE.csv: one row per event
  // How the table is read: --delimiter (",", ";", "tab", "whitespace"; empty:
  // the header row's) and --columns (a table without a header row).
  std::string delimiter = {};
  std::string columns = {};
  // A gridded catalogue (--grid AXES with --mechanisms; OUTPUT is then the
  // campaign folder of the cells): --cell SIZES, --cell-km S, --min-events N,
  // --grid-origin LON,LAT[,DEPTH,TIME], --damping auto|e; see batch/grid_run.hpp.
  std::string grid = {}, cell = {}, cell_km = {}, grid_origin = {}, damping = {};
  int min_events = 20;
  bool starts_given = false;             // --starts given (a mechanism run defaults to 4)
  // The options given that shape a run's results (the option table's
  // "shapes" column), as "--starts=4 --couples": a campaign digests them, so
  // that shards run with other options are not merged.
  std::string shaping = {};
};

// Limits of the numeric options.
constexpr int kMaxStarts = 10000;
constexpr int kMaxReplicates = 100000;
constexpr int kMaxJobs = rt::kMaxJobs;  // the signal-cleanup registry is sized from it
constexpr int kMaxShards = 100000;

extern const char* const kUsageLine;

struct CommandLine {
  enum class Action { Run, Campaign, Grid, Merge, Help, Version, Usage };
  Action action = Action::Usage;
  Options options;
  std::string error;  // Usage: what is wrong with the command line
};

// Parses the arguments after the program name. "--svg=F" and "--svg F" are
// both accepted; "--" ends the options; a lone "-" is an operand. Of an
// unknown option and --help or --version, the first one given decides;
// otherwise the first fault found is the message, checked in this order:
// every option given at most once and with its value; every option given
// with what it belongs with (--mechanisms, --phases, a campaign, --svg);
// every value read and in its range (numbers in decimal digits only); then
// the form of the command line and its operands. Within a step the options
// are taken in the order of the option table.
CommandLine parse_command_line(const std::vector<std::string>& args);

std::string usage_text();
std::string version_text();

}  // namespace zk::batch
