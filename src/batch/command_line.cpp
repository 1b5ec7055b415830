#include "batch/command_line.hpp"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <variant>

namespace zk::batch {


namespace {

// How an option's value is read, which decides its "must be" message.
enum class Kind {
  Text,        // a file or folder name, as given
  Whole,       // a whole number in [low, high]
  PhaseCount,  // auto, or a whole number in [low, high]
  Seed,        // a whole number of 64 bits
  Percent,     // a per cent, in decimal digits
  Real,        // a number in [low, high]
  Degrees,     // a number of degrees in [low, high]
  Choice,      // one of `words`
  Shard,       // I/N with 0 <= I < N <= high
};

// The other options an option belongs with. An option that needs a flag is
// refused as soon as it is read; one that needs another option's value once
// the options of its group (the adjacent rows with the same need) are read.
enum class Needs { Nothing, Mechanisms, Phases, Campaign, Svg };

std::string needs_text(Needs n) {
  switch (n) {
    case Needs::Mechanisms: return "belongs to a run on focal mechanisms: give --mechanisms";
    case Needs::Phases: return "belongs to a separation of phases: give --phases auto or --phases K";
    case Needs::Campaign: return "belongs to a campaign: give --stations and --out";
    case Needs::Svg: return "changes the figure: give --svg FILE";
    case Needs::Nothing: break;
  }
  return "";
}

// An option with a value: a row of the table that registers it with CLI11
// and checks it. CLI11 keeps every value given, so that "given twice" can
// be told apart.
struct Valued {
  const char* name;
  const char* argument;  // what "needs" names: "a file name", "a number", ...
  Kind kind;
  double low, high;  // the range of Whole, PhaseCount, Real, Degrees, Shard
  Needs needs;
  std::variant<std::monostate, std::string*, int*, double*, std::uint64_t*> into;
  std::vector<const char*> words;  // of a Choice
  std::vector<std::string> values{};
};

// A flag: a row of the table of options without a value.
struct Flag {
  const char* names;
  bool* into;
  Needs needs;
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
bool whole_number(const std::string& text, long long low, long long high, const std::string& name, long long& out,
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
    error = name + " must be a whole number from " + std::to_string(low) + " to " + std::to_string(high) +
            " (got \"" + text + "\")";
    return false;
  }
  out = v;
  return true;
}

bool seed_number(const std::string& text, const char* name, std::uint64_t& out, std::string& error) {
  const bool digits = !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
  errno = 0;
  const unsigned long long v = digits ? std::strtoull(text.c_str(), nullptr, 10) : 0;
  if (!digits || errno == ERANGE) {
    error = std::string(name) + " must be a whole number from 0 to 18446744073709551615 (got \"" + text + "\")";
    return false;
  }
  out = v;
  return true;
}

// A per cent in decimal digits ("95", "68.3", "6.83e1"): the C library would
// also read "0x10" as 16, "inf" or " 95", which are refused.
bool percentage(const std::string& text, const char* name, double& out, std::string& error) {
  char* end = nullptr;
  errno = 0;
  const bool decimal = !text.empty() && (std::isdigit(static_cast<unsigned char>(text[0])) != 0 || text[0] == '.') &&
                       text.find_first_not_of("0123456789.eE+-") == std::string::npos;
  const double v = decimal ? std::strtod(text.c_str(), &end) : 0.0;
  const bool whole = decimal && end == text.c_str() + text.size() && errno == 0;
  if (!whole || !std::isfinite(v) || !(v > 0.0 && v < 100.0)) {
    error = std::string(name) +
            " must be a per cent above 0 and below 100 in decimal digits, such as 95 or 68.3 (got \"" + text + "\")";
    return false;
  }
  out = v;
  return true;
}

// A real number in [low, high] (decimal notation); `unit` as the message
// names it after "a number".
bool real_number(const std::string& text, double low, double high, const char* name, const char* unit, double& out,
                 std::string& error) {
  char* end = nullptr;
  errno = 0;
  const double v = text.empty() ? 0.0 : std::strtod(text.c_str(), &end);
  if (text.empty() || end != text.c_str() + text.size() || errno != 0 || !std::isfinite(v) || v < low || v > high) {
    char buf[128];
    std::snprintf(buf, sizeof buf, " must be a number%s from %g to %g (got \"", unit, low, high);
    error = std::string(name) + buf + text + "\")";
    return false;
  }
  out = v;
  return true;
}

// Reads the value `text` of `v` into its destination.
bool read_value(const Valued& v, const std::string& text, Options& o, std::string& error) {
  const auto low = static_cast<long long>(v.low), high = static_cast<long long>(v.high);
  long long n = 0;
  switch (v.kind) {
    case Kind::Text:
      *std::get<std::string*>(v.into) = text;
      return true;
    case Kind::Whole:
      if (!whole_number(text, low, high, v.name, n, error)) return false;
      *std::get<int*>(v.into) = static_cast<int>(n);
      return true;
    case Kind::PhaseCount:
      if (text != "auto" && !whole_number(text, low, high, std::string(v.name) + " (" + v.argument + ")", n, error)) {
        return false;
      }
      *std::get<int*>(v.into) = static_cast<int>(n);  // 0: auto
      return true;
    case Kind::Seed:
      return seed_number(text, v.name, *std::get<std::uint64_t*>(v.into), error);
    case Kind::Percent:
      return percentage(text, v.name, *std::get<double*>(v.into), error);
    case Kind::Real:
    case Kind::Degrees:
      return real_number(text, v.low, v.high, v.name, v.kind == Kind::Degrees ? " of degrees" : "",
                         *std::get<double*>(v.into), error);
    case Kind::Choice: {
      if (std::find(v.words.begin(), v.words.end(), text) == v.words.end()) {
        error = std::string(v.name) + " takes ";
        for (std::size_t k = 0; k < v.words.size(); ++k) {
          error += std::string(k == 0 ? "" : k + 1 == v.words.size() ? " or " : ", ") + v.words[k];
        }
        error += " (got \"" + text + "\")";
        return false;
      }
      *std::get<std::string*>(v.into) = text;
      return true;
    }
    case Kind::Shard: {
      const std::size_t slash = text.find('/');
      long long i = -1;
      std::string ignored;
      if (slash == std::string::npos || !whole_number(text.substr(0, slash), 0, high - 1, v.name, i, ignored) ||
          !whole_number(text.substr(slash + 1), 1, high, v.name, n, ignored) || i >= n) {
        error = std::string(v.name) + " takes I/N with 0 <= I < N <= " + std::to_string(high) + " (got \"" + text + "\")";
        return false;
      }
      o.shard = static_cast<int>(i);
      o.shards = static_cast<int>(n);
      return true;
    }
  }
  return true;
}

// Checks the options of the table in its order and reads their values: each
// given once with a value, then its need of a flag, then its value (those
// that need a flag once their group has passed), then its need of another
// option's value once its group is read. The first fault is the message.
std::string checked_values(std::vector<Valued>& table, const CLI::App& app, Options& o) {
  std::string error;
  std::vector<std::pair<const Valued*, std::string>> held;  // values read at the end of their group
  for (std::size_t k = 0; k < table.size(); ++k) {
    const Valued& v = table[k];
    std::string text;
    if (!single_value(v, app.count(v.name), v.argument, text, error)) return error;
    if (v.needs == Needs::Mechanisms) {
      if (!text.empty() && !o.mechanisms) return std::string(v.name) + " " + needs_text(v.needs);
      held.emplace_back(&v, text);
    } else if (!text.empty() && !read_value(v, text, o, error)) {
      return error;
    }
    if (k + 1 < table.size() && table[k + 1].needs == v.needs) continue;
    for (const auto& [w, value] : held) {
      if (!value.empty() && !read_value(*w, value, o, error)) return error;
    }
    held.clear();
    if (v.needs != Needs::Phases || o.phases >= 0) continue;
    std::size_t first = k;
    while (first > 0 && table[first - 1].needs == Needs::Phases) --first;
    for (std::size_t j = first; j <= k; ++j) {
      if (app.count(table[j].name) != 0) return std::string(table[j].name) + " " + needs_text(Needs::Phases);
    }
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

}  // namespace

CommandLine parse_command_line(const std::vector<std::string>& args) {
  CommandLine cl;
  Options& o = cl.options;
  CLI::App app;
  app.set_help_flag();
  app.allow_extras(true);
  std::vector<std::string> operands;
  constexpr double kNoRange = 0.0;
  constexpr Needs kAny = Needs::Nothing;
  // In the order of the checks: the first fault found is the one reported.
  std::vector<Valued> table = {
      {"--svg", "a file name", Kind::Text, kNoRange, kNoRange, kAny, &o.svg, {}},
      {"--json", "a file name", Kind::Text, kNoRange, kNoRange, kAny, &o.json, {}},
      {"--starts", "a number", Kind::Whole, 1, kMaxStarts, kAny, &o.starts, {}},
      {"--bootstrap", "a number", Kind::Whole, 0, kMaxReplicates, kAny, &o.bootstrap, {}},
      {"--jobs", "a number", Kind::Whole, 1, kMaxJobs, kAny, &o.jobs, {}},
      {"--confidence", "a number", Kind::Percent, 0, 100, kAny, &o.confidence, {}},
      {"--bootstrap-seed", "a number", Kind::Seed, kNoRange, kNoRange, kAny, &o.bootstrap_seed, {}},
      {"--plane-choice", "a value", Kind::Choice, kNoRange, kNoRange, Needs::Mechanisms, &o.plane_choice,
       {"hybrid", "misfit", "instability", "given"}},
      {"--choice-gap", "a value", Kind::Real, 0.0, 180.0, Needs::Mechanisms, &o.choice_gap, {}},
      {"--plane-seed", "a value", Kind::Seed, kNoRange, kNoRange, Needs::Mechanisms, &o.plane_seed, {}},
      {"--friction", "a value", Kind::Real, 0.05, 2.0, Needs::Mechanisms, &o.friction, {}},
      {"--chosen-data", "a file name", Kind::Text, kNoRange, kNoRange, Needs::Mechanisms, &o.chosen_data, {}},
      {"--stations", "a file name", Kind::Text, kNoRange, kNoRange, kAny, &o.stations, {}},
      {"--out", "a folder", Kind::Text, kNoRange, kNoRange, kAny, &o.out_dir, {}},
      {"--parameters", "a file name", Kind::Text, kNoRange, kNoRange, Needs::Campaign, &o.default_parameters, {}},
      {"--merge", "a folder", Kind::Text, kNoRange, kNoRange, kAny, &o.merge_out, {}},
      {"--shard", "I/N", Kind::Shard, 1, kMaxShards, Needs::Campaign, std::monostate{}, {}},
      {"--phases", "auto or a number of phases", Kind::PhaseCount, 1, 4, kAny, &o.phases, {}},
      {"--max-phases", "a number", Kind::Whole, 1, 4, Needs::Phases, &o.max_phases, {}},
      {"--phase-starts", "a number", Kind::Whole, 1, 64, Needs::Phases, &o.phase_starts, {}},
      {"--outlier-misfit", "a number of degrees", Kind::Degrees, 5, 90, Needs::Phases, &o.outlier_misfit, {}},
      {"--phase-dir", "a folder", Kind::Text, kNoRange, kNoRange, Needs::Phases, &o.phase_dir, {}},
  };
  bool help = false, version = false, no_planes = false;
  const Flag flags[] = {
      {"-q,--quiet", &o.quiet, kAny},         {"--progress", &o.progress, kAny},
      {"--no-planes", &no_planes, Needs::Svg}, {"--labels", &o.figure.labels, Needs::Svg},
      {"--couples", &o.figure.couples, Needs::Svg}, {"--strict", &o.strict, kAny},
      {"--mechanisms", &o.mechanisms, kAny},  {"-h,--help", &help, kAny},
      {"--version", &version, kAny},
  };
  app.add_option("operands", operands);
  for (Valued& v : table) {
    app.add_option(v.name, v.values)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll)
        ->expected(0, 1)
        ->allow_extra_args(false);
  }
  for (const Flag& f : flags) app.add_flag(f.names, *f.into);
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

  cl.error = checked_values(table, app, o);
  if (!cl.error.empty()) return cl;
  o.starts_given = app.count("--starts") != 0;
  o.friction_fixed = app.count("--friction") != 0;
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
  // The campaign's options outside a campaign: a shard before the rest.
  if (!o.default_parameters.empty() || o.shards != 1) {
    cl.error = std::string(o.shards != 1 ? "--shard" : "--parameters") + " " + needs_text(Needs::Campaign);
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
  for (const Flag& f : flags) {
    if (f.needs == Needs::Svg && *f.into && o.svg.empty()) {
      cl.error = std::string(f.names) + " " + needs_text(f.needs);
      return cl;
    }
  }
  cl.action = CommandLine::Action::Run;
  return cl;
}

const char* const kUsageLine =
    "Usage: zarkel-batch PARAMETERS DATA OUTPUT [--svg FIGURE.svg] [--json RESULT.json]\n"
    "                    [--no-planes] [--labels] [--couples] [--quiet] [--strict] [--starts K] [--bootstrap B]\n"
    "                    [--confidence P] [--bootstrap-seed S] [--jobs J] [--progress]\n"
    "                    [--phases auto|K] [--max-phases M] [--phase-starts S] [--outlier-misfit DEG]\n"
    "                    [--phase-dir DIR]\n"
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
