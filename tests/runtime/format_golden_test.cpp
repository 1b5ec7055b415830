// Formatted and list-directed output against GNU Fortran. Every expected
// record in goldens.txt was written by gfortran (tools/make_goldens.py regenerates
// the formatted rows from golden_layouts.txt); the tests do not need it.
#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

#include "golden_support.hpp"
#include "runtime/format.hpp"

namespace zk::rt {
namespace {

using namespace golden;

std::string unescape(const std::string& t) {
  std::string o;
  for (std::size_t k = 0; k < t.size(); ++k) {
    if (t[k] == '\\' && k + 1 < t.size()) {
      ++k;
      o += t[k] == 'n' ? '\n' : t[k];
    } else {
      o += t[k];
    }
  }
  return o;
}

// The rows of one kind ("F" formatted, "D" list-directed) of goldens.txt.
std::vector<Row> load(char kind) {
  std::ifstream in(std::string(ZARKEL_SOURCE_DIR) + "/tests/runtime/goldens.txt");
  std::vector<Row> rows;
  Row row;
  bool keep = false;
  std::string line;
  while (std::getline(in, line)) {
    const char tag = line.empty() ? ' ' : line[0];
    const std::string rest = line.size() > 2 ? unescape(line.substr(2)) : std::string();
    switch (tag) {
      case 'F':
      case 'D': keep = tag == kind; row = Row{rest, {}, {}}; break;
      case 'I': row.items.push_back(I(std::stoi(rest))); break;
      case 'R': row.items.push_back(B(static_cast<std::int32_t>(std::stoul(rest, nullptr, 16)))); break;
      case 'L': row.items.push_back(L(rest == "T")); break;
      case 'S': row.items.push_back(S(rest)); break;
      case 'W': row.want.push_back(rest); break;
      case 'E':
        if (keep) rows.push_back(row);
        break;
      default: ADD_FAILURE() << "bad golden line: " << line;
    }
  }
  return rows;
}

TEST(FormattedWrite, MatchesGfortran) {
  const std::vector<Row> rows = load('F');
  ASSERT_GT(rows.size(), 100u);
  for (const Row& row : rows) {
    const ArgList args = to_args(row.items);
    EXPECT_EQ(write_records(parse_format(row.fmt), args.items()), row.want) << row.fmt;
  }
}

TEST(ListDirectedWrite, MatchesGfortran) {
  const std::vector<Row> rows = load('D');
  ASSERT_GT(rows.size(), 10u);
  for (const Row& row : rows) {
    const ArgList args = to_args(row.items);
    EXPECT_EQ(list_directed_record(args.items()), row.want.front());
  }
}

}  // namespace
}  // namespace zk::rt
