#include "batch/command_line.hpp"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <utility>
#include <variant>

#include "grid/cells.hpp"
#include "import/mechanism_table.hpp"
#include "table/csv_table.hpp"
#include "runtime/option_values.hpp"
#include "runtime/printable.hpp"

namespace zk::batch {

namespace {

// How an option's value is read; the reader words the message that refuses
// it (runtime/option_values.hpp).
enum class Kind { Flag, Text, Whole, PhaseCount, Seed, Percent, Real, Degrees, Choice, Shard };

// What an option belongs with: given without it, the option is refused.
enum class Needs { Nothing, Mechanisms, Phases, Campaign, Svg, Grid };

std::string needs_text(Needs n) {
  switch (n) {
    case Needs::Mechanisms: return "belongs to a run on focal mechanisms: give --mechanisms";
    case Needs::Phases: return "belongs to a separation of phases: give --phases auto or --phases K";
    case Needs::Campaign: return "belongs to a campaign: give --stations and --out";
    case Needs::Svg: return "changes the figure: give --svg FILE";
    case Needs::Grid: return "belongs to a gridded catalogue: give --grid AXES";
    case Needs::Nothing: break;
  }
  return "";
}

using Shard = std::pair<int*, int*>;  // I and N of --shard I/N

// One option of the command line, its one description: the name (CLI11's,
// with a short alias first), what a missing value is called (null for a
// flag), how the value is read, the range of a number (Shard: N at most
// `high`), what it belongs with, whether it shapes a run's results (those
// given make a campaign's options digest, so shards run otherwise are not
// merged), where the value goes and the words of a Choice.
struct Row {
  const char* name;
  const char* argument;
  Kind kind;
  double low, high;
  Needs needs;
  bool shapes;
  std::variant<bool*, std::string*, int*, double*, std::uint64_t*, Shard> into;
  std::vector<const char*> words = {};
};

// "--quiet" of "-q,--quiet".
std::string long_name(const Row& r) {
  const std::string n = r.name;
  return n.substr(n.rfind(',') + 1);
}

bool given(const CLI::App& app, const std::string& name) { return app.count(name) != 0; }

// Whether what `n` names is on the command line (a campaign draws figures).
bool present(const CLI::App& app, Needs n) {
  const bool campaign = given(app, "--stations") || given(app, "--out") || given(app, "--grid");
  switch (n) {
    case Needs::Mechanisms: return given(app, "--mechanisms");
    case Needs::Phases: return given(app, "--phases");
    case Needs::Campaign: return campaign;
    case Needs::Svg: return campaign || given(app, "--svg");
    case Needs::Grid: return given(app, "--grid");
    case Needs::Nothing: break;
  }
  return true;
}

// Reads the value `text` of `r` into its place; "" or the message.
std::string read_value(const Row& r, const std::string& text) {
  const std::string name = long_name(r);
  long long n = 0, i = 0;
  std::string error;
  switch (r.kind) {
    case Kind::Flag:
      return "";
    case Kind::Text:
      *std::get<std::string*>(r.into) = text;
      return "";
    case Kind::Choice:
      return rt::read_choice(name, text, r.words, *std::get<std::string*>(r.into));
    case Kind::Seed:
      return rt::read_seed(name, text, *std::get<std::uint64_t*>(r.into));
    case Kind::Percent:
      return rt::read_percent(name, text, *std::get<double*>(r.into));
    case Kind::Real:
    case Kind::Degrees:
      return rt::read_real(name, text, r.low, r.high, r.kind == Kind::Degrees ? " of degrees" : "",
                           *std::get<double*>(r.into));
    case Kind::PhaseCount:
      if (text == "auto") break;  // 0: auto
      [[fallthrough]];
    case Kind::Whole:
      error = rt::read_whole(r.kind == Kind::Whole ? name : name + " (" + r.argument + ")", text,
                             static_cast<long long>(r.low), static_cast<long long>(r.high), n);
      break;
    case Kind::Shard: {
      const std::size_t slash = text.find('/');
      const auto high = static_cast<long long>(r.high);
      if (slash == std::string::npos || !rt::read_whole(name, text.substr(0, slash), 0, high - 1, i).empty() ||
          !rt::read_whole(name, text.substr(slash + 1), 1, high, n).empty() || i >= n) {
        return name + " takes I/N with 0 <= I < N <= " + std::to_string(high) + " (got \"" + rt::shortened(text) + "\")";
      }
      *std::get<Shard>(r.into).first = static_cast<int>(i);
      *std::get<Shard>(r.into).second = static_cast<int>(n);
      return "";
    }
  }
  if (error.empty()) *std::get<int*>(r.into) = static_cast<int>(n);
  return error;
}

// The value of a row as the options digest states it ("" for a flag).
std::string value_text(const Row& r) {
  if (const auto* p = std::get_if<std::string*>(&r.into)) return "=" + **p;
  if (const auto* p = std::get_if<int*>(&r.into)) return "=" + std::to_string(**p);
  if (const auto* p = std::get_if<std::uint64_t*>(&r.into)) return "=" + std::to_string(**p);
  if (const auto* p = std::get_if<double*>(&r.into)) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "=%.17g", **p);
    return buf;
  }
  return "";
}

// Checks the options in this order, the first fault being the message:
//   1. each option given at most once and with its value;
//   2. each option given with what it belongs with;
//   3. each value read and in its range.
// Within a step, the rows are taken in the order of the table.
std::string checked(const std::vector<Row>& table, const CLI::App& app) {
  std::string error;
  for (const Row& r : table) {
    if (r.kind == Kind::Flag || !given(app, long_name(r))) continue;
    error = rt::given_once(long_name(r), r.argument, app.count(long_name(r)), app.get_option(long_name(r))->results());
    if (!error.empty()) return error;
  }
  for (const Row& r : table) {
    if (given(app, long_name(r)) && !present(app, r.needs)) return long_name(r) + " " + needs_text(r.needs);
  }
  for (const Row& r : table) {
    if (r.kind == Kind::Flag || !given(app, long_name(r))) continue;
    error = read_value(r, app.get_option(long_name(r))->results().front());
    if (!error.empty()) return error;
  }
  return "";
}

// Position of the first argument before "--" that is one of `names`, or npos.
std::size_t first_of(const std::vector<std::string>& args, std::initializer_list<const char*> names) {
  for (std::size_t k = 0; k < args.size(); ++k) {
    if (args[k] == "--") break;
    for (const char* n : names) {
      if (args[k] == n) return k;
    }
  }
  return std::string::npos;
}

// --help, --version or an unknown option, whichever comes first, stops the
// parse where it stands; false when there is none.
bool stopped(const std::vector<std::string>& args, const CLI::App& app, CommandLine& cl) {
  std::string unknown;
  std::size_t unknown_at = std::string::npos;
  for (const std::string& r : app.remaining()) {
    const auto at = static_cast<std::size_t>(std::find(args.begin(), args.end(), r) - args.begin());
    if (r != "--" && at < unknown_at) {
      unknown_at = at;
      unknown = r;
    }
  }
  const std::size_t help_at = first_of(args, {"--help", "-h"});
  const std::size_t version_at = first_of(args, {"--version"});
  const std::size_t first = std::min({unknown_at, help_at, version_at});
  if (first == std::string::npos) return false;
  if (first == unknown_at) {
    cl.error = "unknown option " + unknown;
  } else {
    cl.action = first == help_at ? CommandLine::Action::Help : CommandLine::Action::Version;
  }
  return true;
}

// A gridded catalogue: PARAMETERS CATALOGUE.csv OUTDIR, the grid's options
// read as grid/cells reads them, and none of a single run's files.
std::string grid_form(CommandLine& cl, const std::vector<std::string>& operands) {
  Options& o = cl.options;
  double cell_km = 0.0;
  if (!o.cell_km.empty()) {
    const auto v = table::parse_number(o.cell_km, false);
    if (!v || !(*v > 0.0) || !std::isfinite(*v)) return "--cell-km takes a size above 0 km (got \"" + rt::shortened(o.cell_km) + "\")";
    cell_km = *v;
  }
  grid::GridRequest request;
  if (const std::string why = grid::read_grid_request(o.grid, o.cell, cell_km, o.grid_origin, request); !why.empty()) {
    return why;
  }
  if (!o.damping.empty() && o.damping != "auto") {
    const auto e = table::parse_number(o.damping, false);
    if (!e || *e < 0.0 || !std::isfinite(*e)) return "--damping takes auto or a number from 0 (got \"" + rt::shortened(o.damping) + "\")";
  }
  if (operands.size() != 3) {
    return "a gridded catalogue takes PARAMETERS CATALOGUE.csv OUTDIR (got " + std::to_string(operands.size()) +
           (operands.size() == 1 ? " operand)" : " operands)");
  }
  for (const auto& [option, value] : {std::pair<const char*, const std::string*>{"--svg", &o.svg}, {"--json", &o.json},
                                      {"--chosen-data", &o.chosen_data}, {"--chosen-planes", &o.chosen_planes},
                                      {"--phase-dir", &o.phase_dir}}) {
    if (!value->empty()) {
      return std::string(option) + " belongs to a single run: in a grid every cell's folder holds its LISTING, "
                                   "result.json, figure.svg, DATA and events.csv";
    }
  }
  if (!o.columns.empty()) return "--columns: a gridded catalogue needs a header row naming its columns";
  o.parameters = operands[0];
  o.data = operands[1];
  o.out_dir = operands[2];
  cl.action = CommandLine::Action::Grid;
  return "";
}

// What the command line asks once its options are read: a merge, a
// campaign or a run, with its operands; "" or the message.
std::string form(CommandLine& cl, const std::vector<std::string>& operands) {
  Options& o = cl.options;
  if (!o.merge_out.empty()) {
    if (operands.empty()) return "--merge OUT needs the shard folders to merge";
    o.merge_dirs = operands;
    cl.action = CommandLine::Action::Merge;
    return "";
  }
  if (!o.grid.empty()) {
    if (!o.stations.empty() || !o.out_dir.empty()) {
      return "--grid cuts one catalogue into cells: give PARAMETERS CATALOGUE.csv OUTDIR, not --stations or --out";
    }
    return grid_form(cl, operands);
  }
  if (!o.stations.empty() || !o.out_dir.empty()) {
    if (o.stations.empty() || o.out_dir.empty()) return "a campaign needs both --stations TABLE and --out DIR";
    if (!operands.empty()) {
      return "a campaign takes no PARAMETERS DATA OUTPUT operands (got " + operands[0] + "): the table names them";
    }
    if (o.mechanisms) return "--mechanisms runs one table of events: give PARAMETERS MECHANISMS.csv OUTPUT";
    if (!o.phase_dir.empty()) {
      return "--phase-dir belongs to a single run: in a campaign each station's JSON document holds its phases";
    }
    if (!o.svg.empty() || !o.json.empty()) {
      return "in a campaign every station gets its result.json and figure.svg: --svg and --json take no file";
    }
    cl.action = CommandLine::Action::Campaign;
    return "";
  }
  if (operands.size() < 3) {
    static const char* const kNames[] = {"PARAMETERS", "DATA", "OUTPUT"};
    return std::string("missing operand ") + kNames[operands.size()];
  }
  if (operands.size() > 3) {
    return "too many operands (from " + operands[3] + " on): give PARAMETERS, DATA and OUTPUT only";
  }
  o.parameters = operands[0];
  o.data = operands[1];
  o.output = operands[2];
  cl.action = CommandLine::Action::Run;
  return "";
}

// Flags that are not options of a run: read from the command line, then dropped.
struct Local {
  bool help = false, version = false, no_planes = false;
};

// The options of zarkel-batch, in the order in which their faults are
// reported (see checked). A number's range is [low, high]; 0, 0 where there is none.
std::vector<Row> option_table(Options& o, Local& l) {
  constexpr Needs kAny = Needs::Nothing, kMechanisms = Needs::Mechanisms, kPhases = Needs::Phases;
  constexpr Needs kCampaign = Needs::Campaign, kSvg = Needs::Svg, kGrid = Needs::Grid;
  return {
      // {name, argument, kind, low, high, needs, shapes results, into[, words]}
      {"--svg", "a file name", Kind::Text, 0, 0, kAny, false, &o.svg},
      {"--json", "a file name", Kind::Text, 0, 0, kAny, false, &o.json},
      {"--starts", "a number", Kind::Whole, 1, kMaxStarts, kAny, true, &o.starts},
      {"--bootstrap", "a number", Kind::Whole, 0, kMaxReplicates, kAny, true, &o.bootstrap},
      {"--jobs", "a number", Kind::Whole, 1, kMaxJobs, kAny, false, &o.jobs},
      {"--confidence", "a number", Kind::Percent, 0, 100, kAny, true, &o.confidence},
      {"--bootstrap-seed", "a number", Kind::Seed, 0, 0, kAny, true, &o.bootstrap_seed},
      {"--plane-choice", "a value", Kind::Choice, 0, 0, kMechanisms, true, &o.plane_choice,
       {"hybrid", "misfit", "instability", "given"}},
      {"--choice-gap", "a value", Kind::Real, 0, 180, kMechanisms, true, &o.choice_gap},
      {"--plane-seed", "a value", Kind::Seed, 0, 0, kMechanisms, true, &o.plane_seed},
      {"--friction", "a value", Kind::Real, 0.05, 2, kMechanisms, true, &o.friction},
      {"--chosen-data", "a file name", Kind::Text, 0, 0, kMechanisms, false, &o.chosen_data},
      {"--chosen-planes", "a file name", Kind::Text, 0, 0, kMechanisms, false, &o.chosen_planes},
      {"--delimiter", "a value", Kind::Choice, 0, 0, kMechanisms, true, &o.delimiter, {",", ";", "tab", "whitespace"}},
      {"--columns", "a value", Kind::Text, 0, 0, kMechanisms, true, &o.columns},
      {"--grid", "a list of axes", Kind::Text, 0, 0, kMechanisms, true, &o.grid},
      {"--cell", "a list of sizes", Kind::Text, 0, 0, kGrid, true, &o.cell},
      {"--cell-km", "a size in km", Kind::Text, 0, 0, kGrid, true, &o.cell_km},
      {"--min-events", "a number", Kind::Whole, 1, 1000000, kGrid, true, &o.min_events},
      {"--grid-origin", "a corner", Kind::Text, 0, 0, kGrid, true, &o.grid_origin},
      {"--damping", "auto or a number", Kind::Text, 0, 0, kGrid, true, &o.damping},
      {"--stations", "a file name", Kind::Text, 0, 0, kAny, false, &o.stations},
      {"--out", "a folder", Kind::Text, 0, 0, kAny, false, &o.out_dir},
      {"--shard", "I/N", Kind::Shard, 1, kMaxShards, kCampaign, false, Shard{&o.shard, &o.shards}},
      {"--parameters", "a file name", Kind::Text, 0, 0, kCampaign, true, &o.default_parameters},
      {"--merge", "a folder", Kind::Text, 0, 0, kAny, false, &o.merge_out},
      {"--phases", "auto or a number of phases", Kind::PhaseCount, 1, 4, kAny, true, &o.phases},
      {"--max-phases", "a number", Kind::Whole, 1, 4, kPhases, true, &o.max_phases},
      {"--phase-starts", "a number", Kind::Whole, 1, 64, kPhases, true, &o.phase_starts},
      {"--outlier-misfit", "a number of degrees", Kind::Degrees, 5, 90, kPhases, true, &o.outlier_misfit},
      {"--phase-dir", "a folder", Kind::Text, 0, 0, kPhases, false, &o.phase_dir},
      {"-q,--quiet", nullptr, Kind::Flag, 0, 0, kAny, false, &o.quiet},
      {"--progress", nullptr, Kind::Flag, 0, 0, kAny, false, &o.progress},
      {"--no-planes", nullptr, Kind::Flag, 0, 0, kSvg, true, &l.no_planes},
      {"--labels", nullptr, Kind::Flag, 0, 0, kSvg, true, &o.figure.labels},
      {"--couples", nullptr, Kind::Flag, 0, 0, kSvg, true, &o.figure.couples},
      {"--strict", nullptr, Kind::Flag, 0, 0, kAny, true, &o.strict},
      {"--mechanisms", nullptr, Kind::Flag, 0, 0, kAny, true, &o.mechanisms},
      {"-h,--help", nullptr, Kind::Flag, 0, 0, kAny, false, &l.help},
      {"--version", nullptr, Kind::Flag, 0, 0, kAny, false, &l.version},
  };
}

}  // namespace

CommandLine parse_command_line(const std::vector<std::string>& args) {
  CommandLine cl;
  Options& o = cl.options;
  Local local;
  const std::vector<Row> table = option_table(o, local);
  CLI::App app;
  app.set_help_flag();
  app.allow_extras(true);
  std::vector<std::string> operands;
  app.add_option("operands", operands);
  for (const Row& r : table) {
    if (r.kind == Kind::Flag) {
      app.add_flag(r.name, *std::get<bool*>(r.into));
    } else {  // every value kept, so that "given twice" can be told
      app.add_option(r.name)
          ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll)
          ->expected(0, 1)
          ->allow_extra_args(false);
    }
  }
  try {
    std::vector<std::string> reversed(args.rbegin(), args.rend());
    app.parse(reversed);
  } catch (const CLI::ParseError& e) {
    cl.error = e.what();
    return cl;
  }
  if (stopped(args, app, cl)) return cl;
  cl.error = checked(table, app);
  if (!cl.error.empty()) return cl;
  if (!o.columns.empty()) {
    std::vector<std::string> roles;
    if (const std::string why = import::mechanism_column_list(o.columns, roles); !why.empty()) {
      cl.error = "--columns " + why;
      return cl;
    }
  }
  o.starts_given = given(app, "--starts");
  o.friction_fixed = given(app, "--friction");
  o.figure.planes = !local.no_planes;
  for (const Row& r : table) {
    if (!r.shapes || !given(app, long_name(r))) continue;
    o.shaping += (o.shaping.empty() ? "" : " ") + long_name(r) + value_text(r);
  }
  cl.error = form(cl, operands);
  if (!cl.error.empty()) cl.action = CommandLine::Action::Usage;
  return cl;
}

const char* const kUsageLine =
    "Usage: zarkel-batch PARAMETERS DATA OUTPUT [--svg FIGURE.svg] [--json RESULT.json]\n"
    "                    [--no-planes] [--labels] [--couples] [--quiet] [--strict] [--starts K] [--bootstrap B]\n"
    "                    [--confidence P] [--bootstrap-seed S] [--jobs J] [--progress]\n"
    "                    [--phases auto|K] [--max-phases M] [--phase-starts S] [--outlier-misfit DEG]\n"
    "                    [--phase-dir DIR]\n"
    "       zarkel-batch PARAMETERS MECHANISMS.csv OUTPUT --mechanisms [--plane-choice RULE]\n"
    "                    [--choice-gap DEG] [--plane-seed S] [--friction MU] [--chosen-data FILE]\n"
    "                    [--chosen-planes FILE.csv] [--delimiter D] [--columns ROLE,...] [run options]\n"
    "       zarkel-batch --stations TABLE.csv --out DIR [--parameters FILE] [--shard I/N] [run options]\n"
    "       zarkel-batch PARAMETERS CATALOGUE.csv OUTDIR --mechanisms --grid AXES --cell SIZES\n"
    "                    [--cell-km S] [--min-events N] [--grid-origin LON,LAT[,DEPTH,TIME]]\n"
    "                    [--damping auto|E] [--shard I/N] [run options]\n"
    "       zarkel-batch --merge OUT DIR...";

std::string usage_text() {
  return std::string(kUsageLine) +
         "\n\n"
         "Runs the four stages of the stress inversion on the PARAMETERS and DATA\n"
         "files and writes the listing to OUTPUT, the same listing as zarkel writes.\n"
         "\n"
         "  --svg FILE           also draw the results: Schmidt net with SHmax, Mohr diagram,\n"
         "                       misfit histogram\n"
         "  --no-planes          leave the fault planes' great circles out of the figure\n"
         "  --labels             number the data beyond the cut-off in the figure\n"
         "  --couples            draw strike-slip data as couples (both blocks' motion) even with\n"
         "                       more than 40 data or where couples overlap; otherwise those get\n"
         "                       single arrows of the hanging wall's slip\n"
         "  --json FILE          also write the results as a JSON document (format 4,\n"
         "                       described by docs/result.schema.json)\n"
         "  --quiet              print nothing on success (warnings still go to standard error)\n"
         "  --strict             refuse input that gives a warning: nothing is run or written\n"
         "  --starts K           run stages 1 to 3 from K independent starts (NSEED + k x values\n"
         "                       per draw x NTIR) and list the one with the lowest misfit sum\n"
         "                       (default 10; 1 with INDX 5 or 6, whose start is imposed). OUTPUT is\n"
         "                       the console listing of the chosen start's NSEED, which the summary\n"
         "                       line and the JSON give; --starts 1 writes exactly what zarkel writes\n"
         "                       for the PARAMETERS file as it stands\n"
         "  --bootstrap B        invert B resamples of the data for confidence cones and an\n"
         "                       interval on R (default 0: none)\n"
         "  --confidence P       per cent of the replicates inside the cones and the interval (default 95)\n"
         "  --bootstrap-seed S   seed of the resampling (default 1)\n"
         "  --jobs J             worker threads (default: one per hardware thread); the results do\n"
         "                       not depend on J\n"
         "  --progress           show the progress line even when standard error is not a terminal\n"
         "  --phases auto|K      also separate the data into stress phases (INDX 1 only): K from 1\n"
         "                       to 4, or auto (chosen by BIC); the listing stays the all-data run\n"
         "  --max-phases M       largest number of phases tried (1 to 4, default 3)\n"
         "  --phase-starts S     independent searches of the phases (1 to 64, default 8); each k\n"
         "                       keeps the lowest objective any of them reaches\n"
         "  --outlier-misfit DEG a datum whose misfit to every phase exceeds DEG belongs to none\n"
         "                       (5 to 90 degrees, default 30)\n"
         "  --phase-dir DIR      write phase-i.DATA, phase-i.PARAMETERS, phase-i.LISTING (each phase\n"
         "                       reproduced by zarkel) and none.DATA into DIR\n"
         "  --mechanisms         DATA is a CSV table of focal mechanisms (strike, dip, rake of one\n"
         "                       nodal plane; Aki & Richards): choose each event's fault plane and\n"
         "                       invert the chosen planes (4 starts unless --starts is given)\n"
         "  --plane-choice RULE  hybrid (default: the smaller misfit when the two differ by the gap,\n"
         "                       else the more unstable plane), misfit, instability or given\n"
         "  --choice-gap DEG     the misfit difference that decides a hybrid choice (default 10)\n"
         "  --plane-seed S       seed of the random plane choices that start the linear inversion (default 1)\n"
         "  --friction MU        fix the friction of the instability (default: the one of largest mean\n"
         "                       instability in 0.40 to 0.95)\n"
         "  --chosen-data FILE   also write the chosen planes rounded to whole degrees as a DATA file\n"
         "                       (at most 300 events numbered up to 999; the run used the planes as\n"
         "                       given)\n"
         "  --chosen-planes FILE write one CSV row per event: id, strike, dip, rake of the chosen\n"
         "                       plane, chosen, basis, misfit_deg, instability, undecided, low_shear,\n"
         "                       P_trend, P_plunge, T_trend, T_plunge (read back by --plane-choice given)\n"
         "  --delimiter D        the table's cell delimiter: , ; tab or whitespace (default: the one\n"
         "                       its header row holds); lines starting with % or # are comments\n"
         "  --columns ROLES      the table has no header row: its columns' roles in order, such as\n"
         "                       strike,dip,rake (roles: id, label, strike, dip, rake, strike2, dip2,\n"
         "                       rake2, p_trend, p_plunge, t_trend, t_plunge, fault, or skip)\n"
         "  --stations TABLE     run every station of a CSV table (station, data, parameters,\n"
         "                       longitude, latitude, type: mechanisms, faults or blank; other\n"
         "                       columns carried) into --out DIR:\n"
         "                       DIR/<station>/{LISTING,result.json,figure.svg}, DIR/summary.csv,\n"
         "                       DIR/stations.geojson, DIR/map.svg (with --phases: a row per\n"
         "                       station and phase)\n"
         "  --grid AXES          with --mechanisms: cut the catalogue (columns longitude, latitude,\n"
         "                       depth_km, time) into cells along lon, lat, depth, time (1 to 4, in\n"
         "                       order) and run each cell of --min-events events as a station of a\n"
         "                       campaign in OUTDIR (named c_<i>_<j>..., with grid.json)\n"
         "  --cell SIZES         one cell size per axis: degrees, km of depth, a duration (30d, 12h)\n"
         "  --cell-km S          square lon/lat cells of S km in a local equal-area projection\n"
         "  --min-events N       events a cell needs to be run (default 20)\n"
         "  --grid-origin LON,LAT[,DEPTH,TIME]  the grid's corner (default: the smallest\n"
         "                       coordinates floored to the cell size)\n"
         "  --damping auto|E     also the damped joint inversion across the cells\n"
         "  --parameters FILE    the PARAMETERS file of the stations without their own\n"
         "  --shard I/N          run only the stations whose row (from 0) is I modulo N\n"
         "  --merge OUT DIR...   gather the shard folders DIR... of one campaign into OUT\n"
         "  --help               show this text\n"
         "  --version            show the version\n"
         "\n"
         "OUTPUT, --svg and --json may be - for standard output. A result replaces its\n"
         "file only when the whole run succeeds.\n"
         "\n"
         "Warnings (input that reads but is likely a mistake) go to standard error.\n"
         "Exit status: 0 success, 1 bad input or a file that cannot be read or written,\n"
         "2 bad command line or a result path that is refused, 3 internal error,\n"
         "128 + n interrupted by signal n (SIGINT 130, SIGTERM 143, SIGHUP 129, SIGQUIT 131).\n";
}

std::string version_text() { return "zarkel-batch 4.5 (2024-02-16)\n"; }

}  // namespace zk::batch
