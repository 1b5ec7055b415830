#include "batch/command_line.hpp"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>

namespace zk::batch {


namespace {


// The values an option was given (CLI11 keeps them all, so that "given
// twice" can be told apart).
struct Valued {
  const char* name;
  std::vector<std::string> values;
};

// The one value of `v` (or "" when it was not given); false with `error` set
// when it was given twice or without a value.
bool single_value(const Valued& v, std::size_t count, const char* what, std::string& value, std::string& error) {
  if (count == 0) return true;
  if (count > 1) {
    error = std::string("option ") + v.name + " given twice";
    return false;
  }
  if (v.values.empty() || v.values.front().empty()) {
    error = std::string("option ") + v.name + " needs " + what;
    return false;
  }
  value = v.values.front();
  return true;
}

// A whole number in [low, high] (decimal digits, an optional sign).
bool whole_number(const std::string& text, long long low, long long high, const char* name, long long& out,
                  std::string& error) {
  const std::size_t first = !text.empty() && (text[0] == '-' || text[0] == '+') ? 1 : 0;
  bool ok = text.size() > first &&
            std::all_of(text.begin() + static_cast<long>(first), text.end(), [](char c) { return c >= '0' && c <= '9'; });
  long long v = 0;
  if (ok) {
    errno = 0;
    v = std::strtoll(text.c_str(), nullptr, 10);
    ok = errno != ERANGE && v >= low && v <= high;
  }
  if (!ok) {
    error = std::string(name) + " must be a whole number from " + std::to_string(low) + " to " +
            std::to_string(high) + " (got \"" + text + "\")";
    return false;
  }
  out = v;
  return true;
}

bool seed_number(const std::string& text, std::uint64_t& out, std::string& error) {
  const bool digits = !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
  errno = 0;
  const unsigned long long v = digits ? std::strtoull(text.c_str(), nullptr, 10) : 0;
  if (!digits || errno == ERANGE) {
    error = "--bootstrap-seed must be a whole number from 0 to 18446744073709551615 (got \"" + text + "\")";
    return false;
  }
  out = v;
  return true;
}

// A per cent in decimal digits ("95", "68.3", "6.83e1"): the C library would
// also read "0x10" as 16, "inf" or " 95", which are refused.
bool percentage(const std::string& text, double& out, std::string& error) {
  char* end = nullptr;
  errno = 0;
  const bool decimal = !text.empty() && (std::isdigit(static_cast<unsigned char>(text[0])) != 0 || text[0] == '.') &&
                       text.find_first_not_of("0123456789.eE+-") == std::string::npos;
  const double v = decimal ? std::strtod(text.c_str(), &end) : 0.0;
  const bool whole = decimal && end == text.c_str() + text.size() && errno == 0;
  if (!whole || !std::isfinite(v) || !(v > 0.0 && v < 100.0)) {
    error = "--confidence must be a per cent above 0 and below 100 in decimal digits, such as 95 or 68.3 (got \"" +
            text + "\")";
    return false;
  }
  out = v;
  return true;
}

// --phases auto|K, --max-phases M, --outlier-misfit DEG, --phase-dir DIR;
// the last three only with the first.
bool phase_options(const Valued& phases, std::size_t n_phases, const Valued& max, std::size_t n_max,
                   const Valued& outlier, std::size_t n_outlier, const Valued& dir, std::size_t n_dir, Options& o,
                   std::string& error) {
  std::string text;
  if (!single_value(phases, n_phases, "auto or a number of phases", text, error)) return false;
  long long v = 0;
  if (!text.empty()) {
    if (text == "auto") {
      o.phases = 0;
    } else if (whole_number(text, 1, 4, "--phases (auto or a number of phases)", v, error)) {
      o.phases = static_cast<int>(v);
    } else {
      return false;
    }
  }
  text.clear();
  if (!single_value(max, n_max, "a number", text, error)) return false;
  if (!text.empty()) {
    if (!whole_number(text, 1, 4, "--max-phases", v, error)) return false;
    o.max_phases = static_cast<int>(v);
  }
  text.clear();
  if (!single_value(outlier, n_outlier, "a number of degrees", text, error)) return false;
  if (!text.empty()) {
    char* end = nullptr;
    errno = 0;
    const double d = std::strtod(text.c_str(), &end);
    if (end != text.c_str() + text.size() || errno != 0 || !(d >= 5.0 && d <= 90.0)) {
      error = "--outlier-misfit must be a number of degrees from 5 to 90 (got \"" + text + "\")";
      return false;
    }
    o.outlier_misfit = d;
  }
  if (!single_value(dir, n_dir, "a folder", o.phase_dir, error)) return false;
  if (o.phases < 0 && (n_max + n_outlier + n_dir) > 0) {
    error = std::string(n_max ? "--max-phases" : n_outlier ? "--outlier-misfit" : "--phase-dir") +
            " belongs to a separation of phases: give --phases auto or --phases K";
    return false;
  }
  return true;
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

// A real number in [low, high] (decimal notation).
bool real_number(const std::string& text, double low, double high, const char* name, double& out, std::string& error) {
  char* end = nullptr;
  errno = 0;
  const double v = text.empty() ? 0.0 : std::strtod(text.c_str(), &end);
  if (text.empty() || end != text.c_str() + text.size() || errno != 0 || !std::isfinite(v) || v < low || v > high) {
    char buf[128];
    std::snprintf(buf, sizeof buf, " must be a number from %g to %g (got \"", low, high);
    error = std::string(name) + buf + text + "\")";
    return false;
  }
  out = v;
  return true;
}

// The options of the plane choice, which only --mechanisms takes.
bool mechanism_options(Options& o, const std::vector<const Valued*>& v, const CLI::App& app, std::string& error) {
  std::string text[5];
  for (std::size_t k = 0; k < 5; ++k) {
    if (!single_value(*v[k], app.count(v[k]->name), k == 4 ? "a file name" : "a value", text[k], error)) return false;
    if (!text[k].empty() && !o.mechanisms) {
      error = std::string(v[k]->name) + " belongs to a run on focal mechanisms: give --mechanisms";
      return false;
    }
  }
  if (!text[0].empty()) {
    if (text[0] != "hybrid" && text[0] != "misfit" && text[0] != "instability" && text[0] != "given") {
      error = "--plane-choice takes hybrid, misfit, instability or given (got \"" + text[0] + "\")";
      return false;
    }
    o.plane_choice = text[0];
  }
  if (!text[1].empty() && !real_number(text[1], 0.0, 180.0, "--choice-gap", o.choice_gap, error)) return false;
  if (!text[2].empty()) {
    if (!seed_number(text[2], o.plane_seed, error)) {
      error = "--plane-seed must be a whole number from 0 to 18446744073709551615 (got \"" + text[2] + "\")";
      return false;
    }
  }
  if (!text[3].empty()) {
    if (!real_number(text[3], 0.05, 2.0, "--friction", o.friction, error)) return false;
    o.friction_fixed = true;
  }
  o.chosen_data = text[4];
  return true;
}

}  // namespace

CommandLine parse_command_line(const std::vector<std::string>& args) {
  CommandLine cl;
  CLI::App app;
  app.set_help_flag();
  app.allow_extras(true);
  std::vector<std::string> operands;
  Valued svg{"--svg", {}}, json{"--json", {}}, starts{"--starts", {}}, bootstrap{"--bootstrap", {}},
      confidence{"--confidence", {}}, seed{"--bootstrap-seed", {}}, jobs{"--jobs", {}}, stations{"--stations", {}},
      out{"--out", {}}, parameters{"--parameters", {}}, shard{"--shard", {}}, merge{"--merge", {}},
      phases{"--phases", {}}, max_phases{"--max-phases", {}}, outlier{"--outlier-misfit", {}}, phase_dir{"--phase-dir", {}},
      plane_choice{"--plane-choice", {}}, choice_gap{"--choice-gap", {}}, plane_seed{"--plane-seed", {}},
      friction{"--friction", {}}, chosen_data{"--chosen-data", {}};
  bool help = false, version = false;
  app.add_option("operands", operands);
  for (Valued* v : {&svg, &json, &starts, &bootstrap, &confidence, &seed, &jobs, &stations, &out, &parameters, &shard,
                    &merge, &phases, &max_phases, &outlier, &phase_dir, &plane_choice, &choice_gap, &plane_seed, &friction,
                    &chosen_data}) {
    app.add_option(v->name, v->values)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll)
        ->expected(0, 1)
        ->allow_extra_args(false);
  }
  app.add_flag("-q,--quiet", cl.options.quiet);
  app.add_flag("--progress", cl.options.progress);
  bool no_planes = false;
  app.add_flag("--no-planes", no_planes);
  app.add_flag("--labels", cl.options.figure.labels);
  app.add_flag("--couples", cl.options.figure.couples);
  app.add_flag("--strict", cl.options.strict);
  app.add_flag("--mechanisms", cl.options.mechanisms);
  app.add_flag("-h,--help", help);
  app.add_flag("--version", version);
  try {
    std::vector<std::string> reversed(args.rbegin(), args.rend());
    app.parse(reversed);
  } catch (const CLI::ParseError& e) {
    cl.error = e.what();
    return cl;
  }

  // An unknown option stops the parse where it stands, as --help does.
  std::string unknown;
  std::size_t unknown_at = std::string::npos;
  for (const std::string& r : app.remaining()) {
    if (r == "--") continue;
    const auto at = static_cast<std::size_t>(std::find(args.begin(), args.end(), r) - args.begin());
    if (at < unknown_at) {
      unknown_at = at;
      unknown = r;
    }
  }
  const std::size_t help_at = first_of(args, {"--help", "-h"});
  const std::size_t version_at = first_of(args, {"--version"});
  const std::size_t first = std::min({unknown_at, help_at, version_at});
  if (first != std::string::npos) {
    if (first == unknown_at) {
      cl.error = "unknown option " + unknown;
    } else {
      cl.action = first == help_at ? CommandLine::Action::Help : CommandLine::Action::Version;
    }
    return cl;
  }

  Options& o = cl.options;
  std::string text;
  if (!single_value(svg, app.count("--svg"), "a file name", o.svg, cl.error) ||
      !single_value(json, app.count("--json"), "a file name", o.json, cl.error)) {
    return cl;
  }
  struct Whole {
    const Valued& v;
    long long low, high;
    int& into;
  } wholes[] = {{starts, 1, kMaxStarts, o.starts}, {bootstrap, 0, kMaxReplicates, o.bootstrap}, {jobs, 1, kMaxJobs, o.jobs}};
  for (const Whole& w : wholes) {
    text.clear();
    if (!single_value(w.v, app.count(w.v.name), "a number", text, cl.error)) return cl;
    long long value = 0;
    if (!text.empty()) {
      if (!whole_number(text, w.low, w.high, w.v.name, value, cl.error)) return cl;
      w.into = static_cast<int>(value);
    }
  }
  text.clear();
  if (!single_value(confidence, app.count("--confidence"), "a number", text, cl.error)) return cl;
  if (!text.empty() && !percentage(text, o.confidence, cl.error)) return cl;
  text.clear();
  if (!single_value(seed, app.count("--bootstrap-seed"), "a number", text, cl.error)) return cl;
  if (!text.empty() && !seed_number(text, o.bootstrap_seed, cl.error)) return cl;

  o.starts_given = app.count("--starts") != 0;
  if (!mechanism_options(o, {&plane_choice, &choice_gap, &plane_seed, &friction, &chosen_data}, app, cl.error)) {
    return cl;
  }
  for (const auto& [v, into] : {std::pair<const Valued*, std::string*>{&stations, &o.stations}, {&out, &o.out_dir},
                                 {&parameters, &o.default_parameters}, {&merge, &o.merge_out}}) {
    if (!single_value(*v, app.count(v->name), v == &out || v == &merge ? "a folder" : "a file name", *into,
                      cl.error)) {
      return cl;
    }
  }
  text.clear();
  if (!single_value(shard, app.count("--shard"), "I/N", text, cl.error)) return cl;
  if (!text.empty()) {
    const std::size_t slash = text.find('/');
    long long i = -1, n = 0;
    std::string ignored;
    if (slash == std::string::npos || !whole_number(text.substr(0, slash), 0, kMaxShards - 1, "--shard", i, ignored) ||
        !whole_number(text.substr(slash + 1), 1, kMaxShards, "--shard", n, ignored) || i >= n) {
      cl.error = "--shard takes I/N with 0 <= I < N <= " + std::to_string(kMaxShards) + " (got \"" + text + "\")";
      return cl;
    }
    o.shard = static_cast<int>(i);
    o.shards = static_cast<int>(n);
  }
  if (!phase_options(phases, app.count("--phases"), max_phases, app.count("--max-phases"), outlier,
                     app.count("--outlier-misfit"), phase_dir, app.count("--phase-dir"), o, cl.error)) {
    return cl;
  }
  if (!o.merge_out.empty()) {
    if (operands.empty()) {
      cl.error = "--merge OUT needs the shard folders to merge";
      return cl;
    }
    o.merge_dirs = operands;
    cl.action = CommandLine::Action::Merge;
    return cl;
  }
  if (!o.stations.empty() || !o.out_dir.empty()) {
    if (o.stations.empty() || o.out_dir.empty()) {
      cl.error = "a campaign needs both --stations TABLE and --out DIR";
      return cl;
    }
    if (!operands.empty()) {
      cl.error = "a campaign takes no PARAMETERS DATA OUTPUT operands (got " + operands[0] + "): the table names them";
      return cl;
    }
    if (o.mechanisms) {
      cl.error = "--mechanisms runs one table of events: give PARAMETERS MECHANISMS.csv OUTPUT";
      return cl;
    }
    if (!o.phase_dir.empty()) {
      cl.error = "--phase-dir belongs to a single run: in a campaign each station's JSON document holds its phases";
      return cl;
    }
    if (!o.svg.empty() || !o.json.empty()) {
      cl.error = "in a campaign every station gets its result.json and figure.svg: --svg and --json take no file";
      return cl;
    }
    o.figure.planes = !no_planes;
    cl.action = CommandLine::Action::Campaign;
    return cl;
  }
  if (!o.default_parameters.empty() || o.shards != 1) {
    cl.error = std::string(o.shards != 1 ? "--shard" : "--parameters") + " belongs to a campaign: give --stations and --out";
    return cl;
  }
  if (operands.size() < 3) {
    static const char* const kNames[] = {"PARAMETERS", "DATA", "OUTPUT"};
    cl.error = std::string("missing operand ") + kNames[operands.size()];
    return cl;
  }
  if (operands.size() > 3) {
    cl.error = "too many operands (from " + operands[3] + " on): give PARAMETERS, DATA and OUTPUT only";
    return cl;
  }
  o.parameters = operands[0];
  o.data = operands[1];
  o.output = operands[2];
  o.figure.planes = !no_planes;
  if (o.svg.empty() && (!o.figure.planes || o.figure.labels || o.figure.couples)) {
    cl.error = std::string(!o.figure.planes ? "--no-planes" : (o.figure.labels ? "--labels" : "--couples")) +
               " changes the figure: give --svg FILE";
    return cl;
  }
  cl.action = CommandLine::Action::Run;
  return cl;
}

const char* const kUsageLine =
    "Usage: zarkel-batch PARAMETERS DATA OUTPUT [--svg FIGURE.svg] [--json RESULT.json]\n"
    "                    [--no-planes] [--labels] [--couples] [--quiet] [--strict] [--starts K] [--bootstrap B]\n"
    "                    [--confidence P] [--bootstrap-seed S] [--jobs J] [--progress]\n"
    "                    [--phases auto|K] [--max-phases M] [--outlier-misfit DEG] [--phase-dir DIR]\n"
    "       zarkel-batch PARAMETERS MECHANISMS.csv OUTPUT --mechanisms [--plane-choice RULE]\n"
    "                    [--choice-gap DEG] [--plane-seed S] [--friction MU] [--chosen-data FILE] [run options]\n"
    "       zarkel-batch --stations TABLE.csv --out DIR [--parameters FILE] [--shard I/N] [run options]\n"
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
         "  --json FILE          also write the results as a JSON document (format 3,\n"
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
         "  --chosen-data FILE   also write the chosen planes as a DATA file: zarkel on it (with the\n"
         "                       NSEED of the result document) reproduces the listing\n"
         "  --stations TABLE     run every station of a CSV table (station, data, parameters,\n"
         "                       longitude, latitude, type: mechanisms, faults or blank; other\n"
         "                       columns carried) into --out DIR:\n"
         "                       DIR/<station>/{LISTING,result.json,figure.svg}, DIR/summary.csv,\n"
         "                       DIR/stations.geojson, DIR/map.svg (with --phases: a row per\n"
         "                       station and phase)\n"
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
