// Tables read from spreadsheet exports: delimiters, quotes, line ends,
// numbers, and the row and column every refusal names.
#include <gtest/gtest.h>

#include "runtime/errors.hpp"
#include "table/csv_table.hpp"

namespace zk::table {
namespace {

std::string refusal(std::string_view bytes, char delimiter = 0) {
  try {
    ReadOptions o;
    o.delimiter = delimiter;
    parse_table(bytes, "t.csv", o);
  } catch (const rt::InputError& e) {
    return e.what();
  }
  return "";
}

// A table as "delimiter header | row: cells | ...", cells joined by '/'.
std::string dump(const Table& t) {
  std::string s(1, t.delimiter);
  for (const auto& h : t.header) s += " " + h;
  for (const Row& r : t.rows) {
    s += " | " + std::to_string(r.number) + ":";
    for (const auto& c : r.cells) s += "/" + c;
  }
  return s;
}

TEST(CsvTable, ReadsWhatSpreadsheetsWrite) {
  const std::pair<std::string, std::string> cases[] = {
      {"a,b\n1,2\n", ", a b | 2:/1/2"},
      {"\xEF\xBB\xBF" "a;b\r\n1,5;2\r\n", "; a b | 2:/1,5/2"},
      {"a\tb\n\t2\n", "\t a b | 2://2"},
      {"a,b\n\n,\n3\n", ", a b | 4:/3/"},  // blank rows are counted, not kept
      {"a,b\n\"x, \"\"y\"\"\",\"two\nlines\"\n5,6", ", a b | 2:/x, \"y\"/two\nlines | 3:/5/6"},  // one row
      {" a , \"b c\" \n 1 , 2 ,,\n", ", a b c | 2:/1/2"},  // empty cells beyond the header
      {"a,b\r1,2\r", ", a b | 2:/1/2"},
  };
  for (const auto& [bytes, want] : cases) EXPECT_EQ(dump(parse_table(bytes, "t.csv")), want) << bytes;
}

TEST(CsvTable, RefusalsNameRowAndColumn) {
  const std::pair<std::string, std::string> cases[] = {
      {"", "t.csv\", row 1: the file is empty"},
      {"\na,b\n", "row 1: the first row is blank"},
      {"ab\n1\n", "row 1: the header row holds no comma, semicolon or tab"},
      {"a;b\tc\n", "row 1: the header row holds both semicolons and tabs"},
      {"a,b\n1,2\n3,\"4\"x\n", "row 3, column 2 (b): a quote in the middle of a cell"},
      {"a,b\n1,\"2\n", "row 2, column 2 (b): a quote in the middle of a cell, or a quoted cell not closed"},
      {"a,b\n1,2,3\n", "row 2, column 3: \"3\" lies beyond the 2 columns the header row names (a decimal comma"},
      {"a,b\n1,2\n3,4\x01x\n", "row 3, column 2 (b): byte \\x01 is not text"},
      {"a,b\n1,\xC3\xA9\xFF\n", "row 2, column 2 (b): byte \\xff is not text"},
      {"a,b\n1,\xC2\x85\n", "row 2, column 2 (b): byte \\xc2 is not text"},  // C1 control
  };
  for (const auto& [bytes, want] : cases) {
    const std::string msg = refusal(bytes);
    EXPECT_NE(msg.find(want), std::string::npos) << bytes << " gave: " << msg;
  }
  EXPECT_EQ(refusal("a;b\tc\n", ';'), "");  // a named delimiter needs no detection
}

TEST(CsvTable, NumbersAndColumnKeys) {
  const std::tuple<const char*, bool, std::optional<double>> numbers[] = {
      {"12", false, 12.0},    {" -3.5 ", false, -3.5}, {"+.5", false, 0.5},     {"7.", false, 7.0},
      {"0,35", true, 0.35},   {"0,35", false, {}},     {"1.5,2", true, {}},     {"1e3", false, 1000.0},
      {"45°", false, {}},     {"", false, {}},         {"-", false, {}},        {"1 000", false, {}},
      {"nan", false, {}},     {"inf", false, {}},      {"0x10", false, {}},     {"1e", false, {}},
      {"1.5264276e+02", false, 152.64276}, {"-2.5E-1", false, -0.25}, {"1e400", false, {}}, {"1e3.5", false, {}},
      {"2,5e1", true, 25.0},
  };
  for (const auto& [text, comma, want] : numbers) EXPECT_EQ(parse_number(text, comma), want) << text;
  EXPECT_EQ(column_key(" Dip - direction "), "dip_direction");
}

}  // namespace
}  // namespace zk::table
