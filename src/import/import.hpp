#pragma once
// zarkel-import: a spreadsheet export (CSV) of fault-slip measurements into a
// DATA file, with the conventions of the plane and the striation stated by
// the columns (and options), never guessed.
//
// Two entry points: import_main, the program and its command line; and
// import_table, the library call a campaign uses (options in, a typed
// outcome or a thrown rt::RunError out, nothing printed).
#include <map>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/exit_status.hpp"
#include "table/csv_table.hpp"

namespace zk::rt {
class ResultFile;
}

namespace zk::import {

// Exit statuses: the table of runtime/exit_status.hpp, shared by the three
// programs.
constexpr int kExitOk = rt::kExitDone;
constexpr int kExitRefused = rt::kExitFailed;  // bad table: nothing written
constexpr int kExitUsage = rt::kExitUsage;     // bad command line, a refused result path

struct Options {
  std::string csv, data, report;
  char delimiter = 0;                         // 0: detected from the header row; table::kWhitespace
  std::vector<std::string> mechanism_columns; // --columns: a table of mechanisms without a header row
  std::string encoding = "utf-8";             // --encoding: utf-8, latin1 or cp1252
  std::string decimal;                        // "" (comma with ; or tab), "point" or "comma"
  std::map<std::string, std::string> column;  // role -> header name (--column)
  std::string plane;                          // "" or dip-direction, strike-rhr, strike-quadrant
  std::string striation;                      // "" or rake, unsigned-rake, trend-plunge, pitch
  std::map<std::string, char> sense_map;      // column_key(word) -> N, I, D or S (--sense-map)
  std::optional<std::string> title;
  double warn_off_plane = 10.0;
  double max_off_plane = 20.0;
  bool mechanisms = false;  // focal mechanisms: the given (or known) nodal planes
};

// What an import gave. Rounding in degrees (double), between each
// measurement and its DATA record read back.
struct ImportOutcome {
  std::string conventions;            // "plane from ..., striation from ..."
  std::vector<std::string> ignored;   // headers of the columns not read
  int written = 0;                    // data written
  std::vector<std::string> warnings;  // one line each, "warning: " not included
  std::string report_table;           // the per-datum table the program shows
  std::string report_csv;             // the same as CSV (--report)
  int worst_row = 0;                  // table row of the largest rounding (0: no data)
  double worst_rounding = 0.0;
};

// Why `o` cannot be used at all (a threshold that is no number or out of
// range, a plane or striation form of no known name); "" when it can.
// import_table refuses such options itself (rt::RunStop, status 2).
std::string options_problem(const Options& o);

// Reads the table `o.csv` (o.data and o.report are not used) and writes the
// DATA file into `data`, checked by reading it back through the program's
// own reader. `data` is left uncommitted: the caller commits it, or
// abandons it and nothing is written. Throws rt::RunError (naming file,
// row and column) when the table is refused.
ImportOutcome import_table(const Options& o, rt::ResultFile& data);
// The same on a table already read or made in memory (table::table_of_cells);
// o.csv and o.delimiter are not used, the default title is the table's name.
ImportOutcome import_cells(const table::Table& t, const Options& o, rt::ResultFile& data);

// "--column ROLE=HEADER" and "--sense-map WORD=LETTER" added to `o`, as the
// command line reads them: "" or the message.
std::string add_column(Options& o, const std::string& mapping);
std::string add_sense(Options& o, const std::string& mapping);

// The key a header is matched by: a byte-order mark and a unit in brackets
// at its end ("Strike (deg)") dropped, then as table::column_key, with the
// field apps' other names for a role.
std::string header_key(std::string_view header);

// The whole program: `args` are the arguments after the program name; help
// and version go to `out`, the report, warnings and messages to `err`.
int import_main(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace zk::import
