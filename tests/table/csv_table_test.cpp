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

TEST(CsvTable, ReadsWhatSpreadsheetsWrite) {
  struct Case {
    std::string bytes;
    char delimiter;
    std::vector<std::string> header;
    std::vector<std::vector<std::string>> rows;
    std::vector<int> numbers;
  };
  const Case cases[] = {
      {"a,b\n1,2\n", ',', {"a", "b"}, {{"1", "2"}}, {2}},
      {"\xEF\xBB\xBF" "a;b\r\n1,5;2\r\n", ';', {"a", "b"}, {{"1,5", "2"}}, {2}},
      {"a\tb\n\t2\n", '\t', {"a", "b"}, {{"", "2"}}, {2}},
      {"a,b\n\n,\n3\n", ',', {"a", "b"}, {{"3", ""}}, {4}},             // blank rows are counted, not kept
      {"a,b\n\"x, \"\"y\"\"\",\"two\nlines\"\n5,6", ',', {"a", "b"},
       {{"x, \"y\"", "two\nlines"}, {"5", "6"}}, {2, 3}},                // a line end inside quotes is one row
      {" a , \"b c\" \n 1 , 2 ,,\n", ',', {"a", "b c"}, {{"1", "2"}}, {2}},  // empty cells beyond the header
      {"a,b\r1,2\r", ',', {"a", "b"}, {{"1", "2"}}, {2}},
  };
  for (const Case& c : cases) {
    const Table t = parse_table(c.bytes, "t.csv");
    EXPECT_EQ(t.delimiter, c.delimiter) << c.bytes;
    EXPECT_EQ(t.header, c.header) << c.bytes;
    ASSERT_EQ(t.rows.size(), c.rows.size()) << c.bytes;
    for (std::size_t k = 0; k < t.rows.size(); ++k) {
      EXPECT_EQ(t.rows[k].cells, c.rows[k]) << c.bytes;
      EXPECT_EQ(t.rows[k].number, c.numbers[k]) << c.bytes;
    }
  }
}

TEST(CsvTable, RefusalsNameRowAndColumn) {
  const std::pair<std::string, std::string> cases[] = {
      {"", "t.csv\", row 1: the file is empty"},
      {" \r\n", "row 1: the file is empty"},
      {"\na,b\n", "row 1: the first row is blank"},
      {"ab\n1\n", "row 1: the header row holds no comma, semicolon or tab"},
      {"a;b\tc\n", "row 1: the header row holds both semicolons and tabs"},
      {"a,b\n1,2\n3,\"4\"x\n", "row 3, column 2 (b): a quote in the middle of a cell"},
      {"a,b\n1,\"2\n", "row 2, column 2 (b): a quote in the middle of a cell, or a quoted cell not closed"},
      {"a,b\n1,2,3\n", "row 2, column 3: \"3\" lies beyond the 2 columns the header row names (a decimal comma"},
      {"a,b\n1,2\n3,4\x01x\n", "row 3, column 2 (b): byte \\x01 is not text"},
      {"a,b\n1,\xC3\xA9\xFF\n", "row 2, column 2 (b): byte \\xff is not text"},
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
      {"0,35", true, 0.35},   {"0,35", false, {}},     {"1.5,2", true, {}},     {"1e3", false, {}},
      {"45°", false, {}},     {"", false, {}},         {"-", false, {}},        {"1 000", false, {}},
      {"nan", false, {}},     {"0x10", false, {}},
  };
  for (const auto& [text, comma, want] : numbers) EXPECT_EQ(parse_number(text, comma), want) << text;
  EXPECT_EQ(column_key(" Dip  Direction "), "dip_direction");
  EXPECT_EQ(column_key("dip-direction"), "dip_direction");
  EXPECT_EQ(column_key("PITCH_Quadrant"), "pitch_quadrant");
}

}  // namespace
}  // namespace zk::table
