#include "import/command_line.hpp"

#include <CLI/CLI.hpp>
#include <algorithm>

#include "import/mechanism_table.hpp"
#include "runtime/option_values.hpp"
#include "runtime/printable.hpp"
#include "table/csv_table.hpp"

namespace zk::import {

const std::vector<std::string>& column_roles() {
  static const std::vector<std::string> roles = {"id",     "label", "dip_direction", "dip",   "strike",
                                                 "dip_quadrant", "rake", "trend", "plunge", "pitch",
                                                 "pitch_quadrant", "sense"};
  return roles;
}

// The role of "--column ROLE=HEADER" and its header name, or an error.
std::string add_column(Options& o, const std::string& mapping) {
  const auto eq = mapping.find('=');
  if (eq == std::string::npos || eq == 0 || eq + 1 == mapping.size()) {
    return "--column " + mapping + ": expected ROLE=HEADER, e.g. --column dip_direction=Azimuth";
  }
  const std::string role = table::column_key(mapping.substr(0, eq));
  const auto& roles = column_roles();
  if (std::find(roles.begin(), roles.end(), role) == roles.end()) {
    std::string list;
    for (const auto& r : roles) list += (list.empty() ? "" : ", ") + r;
    return "--column " + mapping + ": \"" + mapping.substr(0, eq) + "\" is not a column role (" + list + ")";
  }
  if (o.column.count(role) != 0) return "--column " + role + " given twice";
  o.column[role] = mapping.substr(eq + 1);
  return "";
}

// "--sense-map WORD=LETTER" into o.sense_map, or an error.
std::string add_sense(Options& o, const std::string& mapping) {
  const auto eq = mapping.rfind('=');
  const std::string word = eq == std::string::npos ? "" : table::column_key(mapping.substr(0, eq));
  const std::string letter = eq == std::string::npos ? "" : mapping.substr(eq + 1);
  const char u = letter.size() == 1 && letter[0] >= 'a' && letter[0] <= 'z' ? static_cast<char>(letter[0] - 'a' + 'A')
                                                                              : (letter.size() == 1 ? letter[0] : '?');
  if (word.empty() || (u != 'N' && u != 'I' && u != 'R' && u != 'D' && u != 'S')) {
    return "--sense-map " + mapping + ": expected WORD=LETTER with LETTER N, I (or R), D or S, e.g. --sense-map "
           "Abschiebung=N";
  }
  if (o.sense_map.count(word) != 0) return "--sense-map " + mapping.substr(0, eq) + " given twice";
  o.sense_map[word] = u == 'R' ? 'I' : u;
  return "";
}

namespace {

const char* kVersion = "zarkel-import 4.5";

const char* kFooter = R"text(Columns are found by their header names, matched case-insensitively with
blanks, hyphens and underscores alike and a unit in brackets at the end
dropped ("Dip (deg)", "trend [°]"): id, label, dip_direction, dip, strike,
dip_quadrant, rake, trend, plunge, pitch, pitch_quadrant, sense. Also read:
dipdir, dip azimuth, dip_az, dipazimuth (dip_direction); plunge azimuth,
lineation trend (trend); movement, kinematics (sense).
Plane: dip_direction + dip; strike + dip with --plane strike-rhr; or strike +
dip + dip_quadrant. Striation: rake (Aki & Richards, -180 to 180); trend +
plunge + sense; or pitch + pitch_quadrant + sense; or with --striation
unsigned-rake, rake 0 to 180 from the right-hand-rule strike, signed by the
sense (normal down, reverse up; normal-dextral and the like accepted). When
a rake and a sense column are both given, every row must agree: normal needs
a rake below 0, reverse above 0, sinistral |rake| below 90, dextral above 90.
An Excel "sep=;" first line names the delimiter (rows are then numbered as
the spreadsheet shows them, without it).
Columns not read are listed; one whose header looks like a role is warned of.
With --mechanisms: strike, dip, rake of one nodal plane (Aki & Richards);
optional strike2, dip2, rake2 and p_trend, p_plunge, t_trend, t_plunge
(checked), fault (1, 2 or blank: the known fault plane), id, label.
Exit status: 0 written, 1 refused input or a file that cannot be written
(nothing written), 2 bad command line or a refused DATA or --report path,
3 internal error, 128 + n interrupted by signal n.)text";

// An option with a value, as zarkel-batch describes its own: the name, what
// a missing value is called, where the value goes (text as given, one of
// `words`, or a number of degrees from 0 to 90) and whether it may be empty.
struct Row {
  const char* name;
  const char* argument;
  std::string* text;
  double* degrees;
  std::vector<const char*> words = {};
  bool empty_ok = false;
};

// The values of the rows given, checked as zarkel-batch checks its own:
// each given at most once and with its value, then each value read. "" or
// the message.
std::string checked(const std::vector<Row>& table, const CLI::App& app) {
  for (const Row& r : table) {
    if (app.count(r.name) == 0) continue;
    const std::string error = rt::given_once(r.name, r.argument, app.count(r.name), app.get_option(r.name)->results(), r.empty_ok);
    if (!error.empty()) return error;
  }
  for (const Row& r : table) {
    if (app.count(r.name) == 0) continue;
    const std::string& v = app.get_option(r.name)->results().front();
    std::string error;
    if (r.degrees != nullptr) {
      error = rt::read_real(r.name, v, 0.0, 90.0, " of degrees", *r.degrees);
    } else if (!r.words.empty()) {
      error = rt::read_choice(r.name, v, r.words, *r.text);
    } else {
      *r.text = v;
    }
    if (!error.empty()) return error;
  }
  return "";
}

// The values read as text, checked once the command line is parsed.
struct Given {
  std::string delimiter, title, mechanism_columns;
  std::vector<std::string> columns, senses;
};

// The options with a value, checked as zarkel-batch checks its own.
std::vector<Row> option_table(Options& o, Given& g) {
  return {
      // {name, argument, text, degrees[, words[, empty_ok]]}
      {"--delimiter", "a delimiter", &g.delimiter, nullptr},
      {"--columns", "a list of roles", &g.mechanism_columns, nullptr},
      {"--decimal", "a decimal mark", &o.decimal, nullptr, {"point", "comma"}},
      {"--encoding", "an encoding", &o.encoding, nullptr, {"utf-8", "latin1", "cp1252"}},
      {"--plane", "a convention", &o.plane, nullptr, {"dip-direction", "strike-rhr", "strike-quadrant"}},
      {"--striation", "a convention", &o.striation, nullptr, {"rake", "unsigned-rake", "trend-plunge", "pitch"}},
      {"--title", "a title", &g.title, nullptr, {}, true},
      {"--warn-off-plane", "a number of degrees", nullptr, &o.warn_off_plane},
      {"--max-off-plane", "a number of degrees", nullptr, &o.max_off_plane},
      {"--report", "a file name", &o.report, nullptr},
  };
}

// The options as CLI11 reads them, in the order the help lists them; a
// valued option keeps every value, so that "given twice" can be told.
void add_options(CLI::App& app, Options& o, Given& g) {
  app.footer(kFooter);
  app.allow_extras(true);
  app.add_option("FIELD.csv", o.csv, "the spreadsheet export")->required();
  app.add_option("DATA", o.data, "the DATA file to write")->required();
  const auto valued = [&app](const char* name, const char* type, const char* what) {
    app.add_option(name)
        ->description(what)
        ->type_name(type)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll)
        ->expected(0, 1)
        ->allow_extra_args(false);
  };
  valued("--delimiter", "TEXT", "the cell delimiter: , ; tab or whitespace (default: the one the header row holds)");
  valued("--columns", "ROLE,...",
         "with --mechanisms, a table without a header row: the roles of its columns in order");
  valued("--decimal", "TEXT:{point,comma}",
         "the decimal mark (default: a comma with ; or tab delimiters, else a point)");
  valued("--encoding", "TEXT:{utf-8,latin1,cp1252}",
         "the table's encoding (default utf-8; latin1 is ISO 8859-1, cp1252 Windows), converted to UTF-8");
  app.add_option("--column", g.columns, "ROLE=HEADER: the column of a role under another header name")
      ->allow_extra_args(false);
  valued("--plane", "TEXT:{dip-direction,strike-rhr,strike-quadrant}",
         "the plane's convention when the table allows more than one");
  valued("--striation", "TEXT:{rake,unsigned-rake,trend-plunge,pitch}",
         "the striation's convention when the table allows more than one");
  app.add_option("--sense-map", g.senses, "WORD=LETTER: a local word for a sense of slip (N, I, D or S), repeatable")
      ->allow_extra_args(false);
  valued("--title", "TEXT", "the DATA title line (default: the CSV file name)");
  valued("--warn-off-plane", "FLOAT:FLOAT in [0 - 90]", "degrees off the plane that give a warning (default 10)");
  valued("--max-off-plane", "FLOAT:FLOAT in [0 - 90]", "degrees off the plane that are refused (default 20)");
  valued("--report", "TEXT", "write the report as CSV to this file");
  app.add_flag("--mechanisms", o.mechanisms,
               "the table holds focal mechanisms (strike, dip, rake of a nodal plane); write the given planes");
  app.set_version_flag("--version", kVersion);
  app.failure_message([](const CLI::App*, const CLI::Error& e) {
    return std::string("zarkel-import: ") + e.what() + "\nRun with --help for more information.\n";
  });
}

// Of the arguments CLI11 left over, an unknown option first, then an
// operand too many; "" when none.
std::string left_over(const CLI::App& app) {
  for (const std::string& r : app.remaining()) {
    if (r.size() > 1 && r[0] == '-') return "unknown option " + r;
  }
  if (app.remaining().empty()) return "";
  return "too many operands (from " + app.remaining().front() + " on): give FIELD.csv and DATA only";
}

// The values that are more than a word or a number, and the options taken
// together; "" or the message.
std::string combined(const CLI::App& app, Options& o, const Given& g) {
  std::string error;
  if (g.delimiter == "tab" || g.delimiter == "\t" || g.delimiter == "," || g.delimiter == ";") {
    o.delimiter = g.delimiter == "tab" ? '\t' : g.delimiter[0];
  } else if (g.delimiter == "whitespace") {
    o.delimiter = table::kWhitespace;
  } else if (!g.delimiter.empty()) {
    return "--delimiter takes , ; tab or whitespace (got \"" + rt::shortened(g.delimiter) + "\")";
  }
  if (app.count("--columns") != 0) {
    if (!o.mechanisms) {
      return "--columns names the columns of a table of focal mechanisms without a header row: give --mechanisms";
    }
    if (const std::string why = mechanism_column_list(g.mechanism_columns, o.mechanism_columns); !why.empty()) {
      return "--columns " + why;
    }
  }
  for (const auto& c : g.columns) {
    if (error.empty()) error = add_column(o, c);
  }
  for (const auto& s : g.senses) {
    if (error.empty()) error = add_sense(o, s);
  }
  if (!error.empty()) return error;
  if (app.count("--title") != 0) {
    o.title = g.title;
    if (o.title->size() > 80) return "--title: at most 80 characters (the DATA title line)";
    for (char c : *o.title) {
      if (static_cast<unsigned char>(c) < 0x20) return "--title: a control character cannot be in the title line";
    }
  }
  if (o.warn_off_plane > o.max_off_plane) {
    return "--warn-off-plane (" + CLI::detail::to_string(o.warn_off_plane) + ") is above --max-off-plane (" +
           CLI::detail::to_string(o.max_off_plane) + ")";
  }
  if (o.max_off_plane >= 90.0) return "--max-off-plane must be below 90";
  if (o.mechanisms && (!g.columns.empty() || !o.plane.empty() || !o.striation.empty() || !o.report.empty())) {
    return "--mechanisms reads strike, dip and rake by their names: --column, --plane, --striation and --report do "
           "not apply";
  }
  return "";
}

}  // namespace

CommandLine parse_command_line(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  CommandLine cl;
  Options& o = cl.options;
  CLI::App app{"Converts a spreadsheet export (CSV) of fault-slip measurements into a DATA file.",
               "zarkel-import"};
  Given given;
  add_options(app, o, given);
  std::string error;
  try {
    std::vector<std::string> reversed(args.rbegin(), args.rend());
    app.parse(reversed);
  } catch (const CLI::RequiredError&) {
    error = std::string("missing operand ") + (o.csv.empty() ? "FIELD.csv" : "DATA");
  } catch (const CLI::ParseError& e) {
    const int code = app.exit(e, out, err);
    cl.action = code == 0 ? CommandLine::Action::Done : CommandLine::Action::Usage;
    return cl;
  }
  if (error.empty()) error = left_over(app);
  if (error.empty()) error = checked(option_table(o, given), app);
  if (error.empty()) error = combined(app, o, given);
  if (!error.empty()) {
    err << "zarkel-import: " << error << "\nRun with --help for more information.\n";
    return cl;
  }
  cl.action = CommandLine::Action::Run;
  return cl;
}

}  // namespace zk::import
