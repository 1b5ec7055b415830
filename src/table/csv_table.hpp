#pragma once
// Tables of text cells from spreadsheet exports (CSV): UTF-8 (a byte-order
// mark is skipped; or Latin-1 or Windows-1252, converted), CR LF or LF line ends, cells separated by a comma, a
// semicolon or a tab (named by an Excel "sep=;" first line, which is then
// not counted as a row), quoted cells as spreadsheets write them ("a ""b""",
// "x, y", a line end inside quotes). The first row names the columns. Every
// problem is an rt::InputError whose message names the file, the row (as a
// spreadsheet numbers it: the header is row 1) and the column.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zk::table {

struct Row {
  int number = 0;                  // spreadsheet row number
  std::vector<std::string> cells;  // one per header column; missing cells are empty
};

struct Table {
  std::string file;           // as messages name it
  std::string kind = "CSV file";  // what messages call it ("table" for cells given in memory)
  char delimiter = ',';
  std::vector<std::string> header;
  std::vector<Row> rows;  // rows with at least one non-empty cell
};

// kWhitespace as a delimiter: cells separated by runs of blanks and tabs
// (blanks at either end of a line ignored), no quoting, as numerical tools
// write their tables.
constexpr char kWhitespace = ' ';

// The encoding of a table's bytes: UTF-8, or a single-byte encoding of
// spreadsheets on other systems converted to UTF-8 on reading (ISO 8859-1,
// whose 0x80 to 0x9F are control codes; Windows-1252, which prints most of
// them): a byte left undefined stays as read and is refused as not text.
enum class Encoding { Utf8, Latin1, Cp1252 };

struct ReadOptions {
  char delimiter = 0;  // 0: the one of ',', ';', tab that the header row holds; or kWhitespace
  Encoding encoding = Encoding::Utf8;
  std::string encoding_hint;  // added to the message when a byte is not UTF-8
  std::size_t max_bytes = std::size_t{16} << 20;
  std::string delimiter_hint;  // added to the message when the delimiter cannot be told
  // Lines whose first character other than a blank is '%' or '#' are
  // comments (counted in the row numbers, read as blank rows); the header is
  // then the first row that is not blank.
  bool comments = false;
  // Not empty: the table has no header row and these are its columns' names.
  std::vector<std::string> columns;
  // Not empty: a first row of numbers only is refused as a table without a
  // header row, this added to the message (how the program reads one).
  std::string headerless_hint;
};

// Reads and checks a whole table: bytes that are not UTF-8 text (a binary
// file), a quote that is not closed, an empty file, a header row without a
// delimiter or with more than one kind of them (unless options name it), an
// empty or repeated column name, a non-empty cell beyond the header's columns.
Table read_table(const std::string& path, const ReadOptions& options = {});
Table parse_table(std::string_view bytes, const std::string& name, const ReadOptions& options = {});

// A table of cells held in memory (a data frame's columns), called `name`
// in messages as the `kind` "table": rows numbered as its CSV export would
// be (the header is row 1), rows of blank cells dropped, header names
// trimmed. Refuses an empty header, a row of another width, cells that are
// not UTF-8 text, as read_table refuses them in a file.
Table table_of_cells(std::vector<std::string> header, std::vector<std::vector<std::string>> rows, const std::string& name);

// The key a column name is matched by: lower case, blanks, hyphens and
// underscores alike ("Dip Direction", "dip-direction" -> "dip_direction").
std::string column_key(std::string_view name);

// A decimal number: [sign] digits [point [digits]] or [sign] point digits,
// the point being '.' or, with decimal_comma, ','; then an optional exponent
// e or E, [sign] digits (1.5264276e+02). Blanks around it are ignored;
// anything else (a unit, a thousands separator, nan, inf, hexadecimal) is
// not a number.
std::optional<double> parse_number(std::string_view text, bool decimal_comma);

// A decimal comma is read in tables separated by semicolons or tabs.
inline bool decimal_comma(const Table& t) { return t.delimiter != ','; }

// "CSV file "f.csv", row 4, column 3 (dip)"; column 0: the row alone.
std::string where(const Table& t, int row, std::size_t column);
// `bytes` of `encoding` as UTF-8; a byte `encoding` leaves undefined stays as
// it is (and is then refused as not text).
std::string to_utf8(std::string_view bytes, Encoding encoding);

// A cell's text as a message quotes it: control bytes and bytes that are not
// text as \xNN, a long text shortened.
std::string shown(std::string_view text);
[[noreturn]] void refuse(const Table& t, int row, std::size_t column, const std::string& what);

}  // namespace zk::table
