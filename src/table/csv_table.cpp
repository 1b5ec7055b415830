#include "table/csv_table.hpp"

#include <sys/stat.h>

#include <csv.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <cmath>
#include <fstream>
#include <iterator>
#include <sstream>

#include "runtime/errors.hpp"
#include "runtime/printable.hpp"

namespace zk::table {
namespace {

constexpr std::string_view kBom = "\xEF\xBB\xBF";
constexpr std::size_t kShownMax = 60;

// Length of the text character at s[k]: printable ASCII, a tab, or a valid
// UTF-8 sequence (a byte-order mark included); 0 for a control byte or bytes
// that are not UTF-8.
std::size_t text_char(std::string_view s, std::size_t k) {
  const auto c = static_cast<unsigned char>(s[k]);
  if (c == '\t' || (c >= 0x20 && c < 0x7F)) return 1;
  return rt::utf8_sequence(s, k);
}

// Offset of the first byte that is not text (line ends aside), or npos.
std::size_t first_non_text(std::string_view s) {
  for (std::size_t k = 0; k < s.size();) {
    if (s[k] == '\r' || s[k] == '\n') {
      ++k;
      continue;
    }
    const std::size_t len = text_char(s, k);
    if (len == 0) return k;
    k += len;
  }
  return std::string_view::npos;
}

// The delimiter kinds the header row holds outside quotes.
std::string header_delimiters(std::string_view s) {
  std::string found;
  bool quoted = false;
  for (char c : s) {
    if (c == '"') quoted = !quoted;
    if (quoted) continue;
    if (c == '\r' || c == '\n') break;
    if ((c == ',' || c == ';' || c == '\t') && found.find(c) == std::string::npos) found += c;
  }
  return found;
}

std::string delimiter_name(char c) { return c == ',' ? "commas" : c == ';' ? "semicolons" : "tabs"; }

// What libcsv's callbacks build: the rows with their spreadsheet numbers.
// Every unquoted line end is reported (CSV_REPALL_NL), so blank rows are
// counted; the LF of a CR LF pair is not a second line end. Memory stays
// bounded by the text of the table: once the header row is read, a cell
// beyond its columns is not kept (the first one that is not blank is noted
// for the message), nor is a row of blank cells.
struct Builder {
  struct Beyond {
    int row = 0;
    std::size_t column = 0;
    std::string text;
  };
  std::vector<Row> rows;
  std::vector<std::string> cells;
  std::size_t in_row = 0;   // cells of the current row so far, kept or not
  std::size_t columns = 0;  // of the header row, once read
  std::optional<Beyond> beyond;
  int row = 1;
  bool after_cr = false;

  static void cell(void* s, std::size_t n, void* self) {
    auto& b = *static_cast<Builder*>(self);
    const std::string_view text = s != nullptr ? std::string_view(static_cast<const char*>(s), n) : std::string_view();
    if (b.columns > 0 && b.in_row >= b.columns) {
      if (!b.beyond && text.find_first_not_of(" \t") != std::string_view::npos) {
        b.beyond = Beyond{b.row, b.in_row + 1, std::string(text)};
      }
    } else {
      b.cells.emplace_back(text);
    }
    ++b.in_row;
    b.after_cr = false;
  }
  static void row_end(int c, void* self) {
    auto& b = *static_cast<Builder*>(self);
    if (c == '\n' && b.after_cr && b.in_row == 0) {
      b.after_cr = false;
      return;
    }
    b.after_cr = c == '\r';
    bool any = b.columns == 0 && b.in_row > 0;
    for (const std::string& cell : b.cells) any = any || cell.find_first_not_of(" \t") != std::string::npos;
    if (any) {
      if (b.columns == 0) {
        b.columns = b.cells.size();  // the header row
      } else {
        b.cells.resize(b.columns);
      }
      b.rows.push_back(Row{b.row, std::move(b.cells)});
    }
    b.cells.clear();
    b.in_row = 0;
    ++b.row;
  }
};

// Parses `s` into `b`; false on a quoting error (b.row and b.cells then say
// where).
bool run_parser(std::string_view s, char delimiter, Builder& b, bool finish) {
  csv_parser p;
  csv_init(&p, CSV_STRICT | CSV_REPALL_NL | CSV_STRICT_FINI | CSV_EMPTY_IS_NULL);
  csv_set_delim(&p, static_cast<unsigned char>(delimiter));
  bool ok = csv_parse(&p, s.data(), s.size(), Builder::cell, Builder::row_end, &b) == s.size();
  if (ok && finish) ok = csv_fini(&p, Builder::cell, Builder::row_end, &b) == 0;
  csv_free(&p);
  return ok;
}

std::string trimmed(std::string_view s) {
  const auto first = s.find_first_not_of(" \t");
  if (first == std::string_view::npos) return "";
  return std::string(s.substr(first, s.find_last_not_of(" \t") - first + 1));
}

bool blank(const std::string& s) { return s.find_first_not_of(" \t") == std::string::npos; }

bool comment_line(std::string_view line) {
  const auto first = line.find_first_not_of(" \t");
  return first != std::string_view::npos && (line[first] == '%' || line[first] == '#');
}

// The bytes with every comment line emptied (its line end kept, so that the
// rows keep their numbers).
std::string without_comments(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  for (std::size_t k = 0; k < s.size();) {
    std::size_t end = s.find_first_of("\r\n", k);
    if (end == std::string_view::npos) end = s.size();
    if (!comment_line(s.substr(k, end - k))) out.append(s.substr(k, end - k));
    const std::size_t next = s.substr(end, 2) == "\r\n" ? end + 2 : std::min(end + 1, s.size());
    out.append(s.substr(end, next - end));
    k = next;
  }
  return out;
}

// The first line that is not blank.
std::string_view first_filled_line(std::string_view s) {
  for (std::size_t k = 0; k < s.size();) {
    std::size_t end = s.find_first_of("\r\n", k);
    if (end == std::string_view::npos) end = s.size();
    if (s.substr(k, end - k).find_first_not_of(" \t") != std::string_view::npos) return s.substr(k, end - k);
    k = end + 1;
  }
  return {};
}

// A table whose cells are separated by runs of blanks and tabs: the rows
// that are not blank, as the CSV parser gives them (`b.columns` preset when
// the table has no header row).
void split_whitespace(std::string_view s, Builder& b) {
  int row = 1;
  for (std::size_t k = 0; k <= s.size();) {
    std::size_t end = s.find_first_of("\r\n", k);
    if (end == std::string_view::npos) end = s.size();
    const std::string_view line = s.substr(k, end - k);
    std::vector<std::string> cells;
    for (std::size_t p = line.find_first_not_of(" \t"); p != std::string_view::npos;) {
      const std::size_t q = std::min(line.find_first_of(" \t", p), line.size());
      cells.emplace_back(line.substr(p, q - p));
      p = line.find_first_not_of(" \t", q);
    }
    if (!cells.empty()) {
      if (b.columns == 0) {
        b.columns = cells.size();
      } else if (cells.size() > b.columns) {
        if (!b.beyond) b.beyond = Builder::Beyond{row, b.columns + 1, cells[b.columns]};
        cells.resize(b.columns);
      } else {
        cells.resize(b.columns);
      }
      b.rows.push_back(Row{row, std::move(cells)});
    }
    if (end >= s.size()) break;
    k = s.substr(end, 2) == "\r\n" ? end + 2 : end + 1;
    ++row;
  }
}

}  // namespace

std::string column_key(std::string_view name) {
  std::string key;
  bool gap = false;
  for (char c : trimmed(name)) {
    if (c == ' ' || c == '-' || c == '_' || c == '\t') {
      gap = true;
      continue;
    }
    if (gap && !key.empty()) key += '_';
    gap = false;
    key += (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
  }
  return key;
}

std::optional<double> parse_number(std::string_view text, bool decimal_comma) {
  std::string t = trimmed(text);
  std::size_t p = 0;
  if (p < t.size() && (t[p] == '+' || t[p] == '-')) ++p;
  std::size_t digits = 0;
  bool point = false;
  for (; p < t.size(); ++p) {
    const char c = t[p];
    if (c >= '0' && c <= '9') {
      ++digits;
    } else if (!point && (c == '.' || (decimal_comma && c == ','))) {
      point = true;
      t[p] = '.';
    } else if (c == 'e' || c == 'E') {
      break;
    } else {
      return std::nullopt;
    }
  }
  if (digits == 0) return std::nullopt;
  if (p < t.size()) {  // the exponent
    std::size_t q = p + 1;
    if (q < t.size() && (t[q] == '+' || t[q] == '-')) ++q;
    const std::size_t first = q;
    while (q < t.size() && t[q] >= '0' && t[q] <= '9') ++q;
    if (q == first || q != t.size()) return std::nullopt;
  }
  const char* begin = t.data() + (t[0] == '+' ? 1 : 0);
  double v = 0.0;
  const auto res = std::from_chars(begin, t.data() + t.size(), v);
  if (res.ec != std::errc() || res.ptr != t.data() + t.size() || !std::isfinite(v)) return std::nullopt;
  return v;
}

std::string shown(std::string_view text) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out;
  std::size_t chars = 0;
  for (std::size_t k = 0; k < text.size(); ++chars) {
    if (chars == kShownMax) return out + "...";
    const std::size_t len = text[k] == '\t' ? 0 : text_char(text, k);
    if (len > 0) {
      out.append(text.substr(k, len));
      k += len;
      continue;
    }
    const auto c = static_cast<unsigned char>(text[k++]);
    out += "\\x";
    out += kHex[c >> 4];
    out += kHex[c & 0xF];
  }
  return out;
}

std::string where(const Table& t, int row, std::size_t column) {
  std::string w = t.kind + " \"" + t.file + "\", row " + std::to_string(row);
  if (column == 0) return w;
  w += ", column " + std::to_string(column);
  if (column <= t.header.size() && !t.header[column - 1].empty()) w += " (" + shown(t.header[column - 1]) + ")";
  return w;
}

void refuse(const Table& t, int row, std::size_t column, const std::string& what) {
  throw rt::InputError(t.file, row, where(t, row, column) + ": " + what);
}

std::string to_utf8(std::string_view bytes, Encoding encoding) {
  // Windows-1252 at 0x80 .. 0x9F (0: undefined).
  static const char16_t kCp1252[32] = {0x20AC, 0, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
                                       0x2039, 0x0152, 0, 0x017D, 0, 0, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
                                       0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0, 0x017E, 0x0178};
  std::string out;
  out.reserve(bytes.size() + bytes.size() / 8);
  for (const char c : bytes) {
    const auto b = static_cast<unsigned char>(c);
    unsigned code = b;
    if (b < 0x80 || encoding == Encoding::Utf8) {
      out += c;
      continue;
    }
    if (b < 0xA0) code = encoding == Encoding::Cp1252 ? kCp1252[b - 0x80] : 0;  // Latin-1 0x80 .. 0x9F: controls
    if (code == 0) {
      out += c;  // undefined: left as a byte that is not text
    } else if (code < 0x800) {
      out += static_cast<char>(0xC0 | (code >> 6));
      out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
      out += static_cast<char>(0xE0 | (code >> 12));
      out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (code & 0x3F));
    }
  }
  return out;
}

Table parse_table(std::string_view raw, const std::string& name, const ReadOptions& options) {
  const std::string converted = options.encoding == Encoding::Utf8 ? std::string() : to_utf8(raw, options.encoding);
  std::string_view bytes = options.encoding == Encoding::Utf8 ? raw : std::string_view(converted);
  Table t;
  t.file = name;
  if (bytes.substr(0, kBom.size()) == kBom) bytes.remove_prefix(kBom.size());
  // Excel's "sep=;" first line names the delimiter; spreadsheets hide it,
  // so the rows are numbered without it.
  char named = 0;
  const std::string_view first = bytes.substr(0, bytes.find_first_of("\r\n"));
  if (first.size() >= 5 && (first.substr(0, 4) == "sep=" || first.substr(0, 4) == "SEP=") &&
      (first[4] == ',' || first[4] == ';' || first[4] == '\t') && trimmed(first.substr(5)).empty()) {
    named = first[4];
    bytes.remove_prefix(first.size());
    if (bytes.substr(0, 2) == "\r\n") {
      bytes.remove_prefix(2);
    } else if (!bytes.empty()) {
      bytes.remove_prefix(1);
    }
  }
  std::string kept;  // the bytes with the comment lines emptied
  if (options.comments) {
    kept = without_comments(bytes);
    bytes = kept;
  }
  const bool headed = options.columns.empty();
  if (bytes.find_first_not_of(" \t\r\n") == std::string_view::npos) {
    refuse(t, 1, 0, headed ? "the file is empty: expected a header row naming the columns" : "the file holds no rows");
  }
  if (!options.comments && headed && blank(std::string(bytes.substr(0, bytes.find_first_of("\r\n"))))) {
    refuse(t, 1, 0, "the first row is blank: expected a header row naming the columns");
  }
  const std::string kinds = header_delimiters(first_filled_line(bytes));
  t.delimiter = options.delimiter != 0 ? options.delimiter : named != 0 ? named : kinds.size() == 1 ? kinds[0] : ',';

  const std::size_t bad = first_non_text(bytes);
  if (bad != std::string_view::npos) {
    Builder b;
    b.columns = options.columns.size();
    if (t.delimiter == kWhitespace || run_parser(bytes.substr(0, bad), t.delimiter, b, false)) {
      if (t.delimiter == kWhitespace) split_whitespace(bytes.substr(0, bad), b);
      t.header = headed ? (b.rows.empty() ? std::vector<std::string>{} : b.rows.front().cells) : options.columns;
      refuse(t, b.row, b.in_row + 1,
             "byte " + shown(bytes.substr(bad, 1)) + " is not text: the file is not a UTF-8 text table (CSV)" +
                 (options.encoding_hint.empty() ? "" : "; " + options.encoding_hint));
    }
  }
  if (options.delimiter == 0 && named == 0 && kinds.size() != 1) {
    const std::string row = headed ? "the header row" : "the first row";
    std::string what = kinds.empty() ? row + " holds no comma, semicolon or tab, so its columns cannot be told apart"
                                     : row + " holds both " + delimiter_name(kinds[0]) + " and " +
                                           delimiter_name(kinds[1]) + ", so the delimiter cannot be told";
    refuse(t, 1, 0, what + (options.delimiter_hint.empty() ? "" : ": " + options.delimiter_hint));
  }

  Builder b;
  b.columns = options.columns.size();
  bool ok = true;
  if (t.delimiter == kWhitespace) {
    split_whitespace(bytes, b);
  } else {
    ok = run_parser(bytes, t.delimiter, b, true);
  }
  int header_row = 1;
  if (!headed) {
    t.header = options.columns;
  } else if (!b.rows.empty()) {
    header_row = b.rows.front().number;
    t.header = std::move(b.rows.front().cells);
    b.rows.erase(b.rows.begin());
  }
  if (!ok) {
    refuse(t, b.row, b.in_row + 1,
           "a quote in the middle of a cell, or a quoted cell not closed: a cell holding quotes is quoted as a "
           "whole, its quotes doubled (\"a \"\"b\"\"\")");
  }
  for (std::string& h : t.header) h = trimmed(h);
  if (headed && !options.headerless_hint.empty() && !t.header.empty() &&
      std::all_of(t.header.begin(), t.header.end(),
                  [&](const std::string& h) { return parse_number(h, decimal_comma(t)).has_value(); })) {
    refuse(t, header_row, 0,
           "the first row holds numbers, not the names of the columns: " + options.headerless_hint);
  }
  if (b.beyond) {
    std::string what = "\"";
    what += shown(b.beyond->text);
    what += "\" lies beyond the " + std::to_string(t.header.size()) +
            (headed ? " columns the header row names" : " columns named for the table");
    if (t.delimiter == ',') what += " (a decimal comma in a comma-separated file splits a number in two)";
    refuse(t, b.beyond->row, b.beyond->column, what);
  }
  t.rows = std::move(b.rows);
  return t;
}

Table table_of_cells(std::vector<std::string> header, std::vector<std::vector<std::string>> rows, const std::string& name) {
  Table t;
  t.file = name;
  t.kind = "table";
  if (header.empty()) refuse(t, 1, 0, "the table has no columns");
  t.header = std::move(header);
  for (std::size_t c = 0; c < t.header.size(); ++c) {
    if (const std::size_t bad = first_non_text(t.header[c]); bad != std::string_view::npos) {
      refuse(t, 1, c + 1, "byte " + shown(std::string_view(t.header[c]).substr(bad, 1)) + " of the column name is not text");
    }
    t.header[c] = trimmed(t.header[c]);
  }
  int number = 1;
  for (auto& cells : rows) {
    ++number;
    if (cells.size() != t.header.size()) {
      refuse(t, number, 0, std::to_string(cells.size()) + " cells for " + std::to_string(t.header.size()) + " columns");
    }
    bool any = false;
    for (std::size_t c = 0; c < cells.size(); ++c) {
      if (const std::size_t bad = first_non_text(cells[c]); bad != std::string_view::npos) {
        refuse(t, number, c + 1, "byte " + shown(std::string_view(cells[c]).substr(bad, 1)) + " is not text");
      }
      any = any || !blank(cells[c]);
    }
    if (any) t.rows.push_back(Row{number, std::move(cells)});
  }
  return t;
}

Table read_table(const std::string& path, const ReadOptions& options) {
  if (struct stat st {}; ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
    throw rt::InputError(path, 0, "CSV file \"" + path + "\" is a folder, not a table");
  }
  std::ifstream f(path, std::ios::binary);
  Table none;
  none.file = path;
  if (!f) throw rt::InputError(path, 0, "CSV file \"" + path + "\" cannot be opened (" + std::strerror(errno) + ")");
  std::string bytes;
  char buf[65536];
  while (f.read(buf, sizeof buf) || f.gcount() > 0) {
    bytes.append(buf, static_cast<std::size_t>(f.gcount()));
    if (bytes.size() > options.max_bytes) {
      throw rt::InputError(path, 0, "CSV file \"" + path + "\" is larger than " +
                                        std::to_string(options.max_bytes >> 20) + " MiB: not a table of field data");
    }
  }
  if (f.bad()) throw rt::InputError(path, 0, "CSV file \"" + path + "\" cannot be read (" + std::strerror(errno) + ")");
  return parse_table(bytes, path, options);
}

}  // namespace zk::table
