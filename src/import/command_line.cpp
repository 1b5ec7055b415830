#include "import/command_line.hpp"

#include <CLI/CLI.hpp>
#include <algorithm>

#include "table/csv_table.hpp"

namespace zk::import {

const std::vector<std::string>& column_roles() {
  static const std::vector<std::string> roles = {"id",     "label", "dip_direction", "dip",   "strike",
                                                 "dip_quadrant", "rake", "trend", "plunge", "pitch",
                                                 "pitch_quadrant", "sense"};
  return roles;
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

}  // namespace

CommandLine parse_command_line(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  CommandLine cl;
  Options& o = cl.options;
  CLI::App app{"Converts a spreadsheet export (CSV) of fault-slip measurements into a DATA file.",
               "zarkel-import"};
  app.footer(kFooter);
  std::string delimiter;
  std::vector<std::string> columns;
  app.add_option("FIELD.csv", o.csv, "the spreadsheet export")->required();
  app.add_option("DATA", o.data, "the DATA file to write")->required();
  app.add_option("--delimiter", delimiter, "the cell delimiter: , ; or tab (default: the one the header row holds)");
  app.add_option("--encoding", o.encoding,
                 "the table's encoding: utf-8 (default), latin1 (ISO 8859-1) or cp1252 (Windows), converted to UTF-8")
      ->check(CLI::IsMember({"utf-8", "latin1", "cp1252"}));
  app.add_option("--decimal", o.decimal,
                 "the decimal mark: point or comma (default: a comma with ; or tab delimiters, else a point)")
      ->check(CLI::IsMember({"point", "comma"}));
  app.add_option("--column", columns, "ROLE=HEADER: the column of a role under another header name")
      ->allow_extra_args(false);
  app.add_option("--plane", o.plane, "the plane's convention when the table allows more than one")
      ->check(CLI::IsMember({"dip-direction", "strike-rhr", "strike-quadrant"}));
  app.add_option("--striation", o.striation, "the striation's convention when the table allows more than one")
      ->check(CLI::IsMember({"rake", "unsigned-rake", "trend-plunge", "pitch"}));
  std::vector<std::string> senses;
  app.add_option("--sense-map", senses, "WORD=LETTER: a local word for a sense of slip (N, I, D or S), repeatable")
      ->allow_extra_args(false);
  std::string title;
  app.add_option("--title", title, "the DATA title line (default: the CSV file name)");
  app.add_option("--warn-off-plane", o.warn_off_plane, "degrees off the plane that give a warning (default 10)")
      ->check(CLI::Range(0.0, 90.0));
  app.add_option("--max-off-plane", o.max_off_plane, "degrees off the plane that are refused (default 20)")
      ->check(CLI::Range(0.0, 90.0));
  app.add_option("--report", o.report, "write the report as CSV to this file");
  app.add_flag("--mechanisms", o.mechanisms,
               "the table holds focal mechanisms (strike, dip, rake of a nodal plane); write the given planes");
  app.set_version_flag("--version", kVersion);
  app.failure_message([](const CLI::App*, const CLI::Error& e) {
    return std::string("zarkel-import: ") + e.what() + "\nRun with --help for more information.\n";
  });

  std::vector<std::string> reversed(args.rbegin(), args.rend());
  try {
    app.parse(reversed);
  } catch (const CLI::ParseError& e) {
    const int code = app.exit(e, out, err);
    cl.action = code == 0 ? CommandLine::Action::Done : CommandLine::Action::Usage;
    return cl;
  }
  std::string error;
  if (delimiter == "tab" || delimiter == "\t" || delimiter == "," || delimiter == ";") {
    o.delimiter = delimiter == "tab" ? '\t' : delimiter[0];
  } else if (!delimiter.empty()) {
    error = "--delimiter " + delimiter + ": the delimiter is , ; or tab";
  }
  for (const auto& c : columns) {
    if (error.empty()) error = add_column(o, c);
  }
  for (const auto& s : senses) {
    if (error.empty()) error = add_sense(o, s);
  }
  if (app.count("--title") != 0) {
    o.title = title;
    if (o.title->size() > 80) error = "--title: at most 80 characters (the DATA title line)";
    for (char c : *o.title) {
      if (static_cast<unsigned char>(c) < 0x20) error = "--title: a control character cannot be in the title line";
    }
  }
  if (error.empty() && o.warn_off_plane > o.max_off_plane) {
    error = "--warn-off-plane (" + CLI::detail::to_string(o.warn_off_plane) + ") is above --max-off-plane (" +
            CLI::detail::to_string(o.max_off_plane) + ")";
  }
  if (error.empty() && o.max_off_plane >= 90.0) error = "--max-off-plane must be below 90";
  if (error.empty() && o.mechanisms && (!columns.empty() || !o.plane.empty() || !o.striation.empty() || !o.report.empty())) {
    error = "--mechanisms reads strike, dip and rake by their names: --column, --plane, --striation and --report do not apply";
  }
  if (!error.empty()) {
    err << "zarkel-import: " << error << "\nRun with --help for more information.\n";
    return cl;
  }
  cl.action = CommandLine::Action::Run;
  return cl;
}

}  // namespace zk::import
