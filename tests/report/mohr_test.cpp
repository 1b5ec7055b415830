#include <cmath>
#include <cstdio>
#include <limits>
#include <string>
#include <vector>

#include "listing.hpp"
#include "report/report.hpp"

namespace zk::test {
namespace {

constexpr float kH = 0.70710677f;  // sin 45 degrees

struct Normal {
  float x, y, z;
};

class MohrTest : public ListingTest {
 protected:
  // Datum j has normal ns[j-1], number 100 + j; the ranking is `ranks`.
  void set_data(const std::vector<Normal>& ns, const std::vector<int>& ranks) {
    ws.tir.N = static_cast<int>(ns.size());
    for (int j = 1; j <= ws.tir.N; ++j) {
      const Normal& n = ns[static_cast<std::size_t>(j - 1)];
      ws.tir.FN(j, 1) = n.x;
      ws.tir.FN(j, 2) = n.y;
      ws.tir.FN(j, 3) = n.z;
      ws.modi1.NUM(j) = 100 + j;
    }
    ws.ind.NMIN = static_cast<int>(ranks.size());
    for (int I = 1; I <= ws.ind.NMIN; ++I) ws.tab.IX(I) = ranks[static_cast<std::size_t>(I - 1)];
  }
  void draw() {
    MOHR(ws);
    lines = listing();
    ASSERT_GE(lines.size(), 27u);
    ASSERT_EQ(lines[0], "          REPRESENTATION SUR CERCLE DE MOHR");
    ASSERT_EQ(lines[1], "   ");
    for (std::size_t i = 2; i < 27; ++i) ASSERT_EQ(lines[i].size(), 67u) << "picture line " << i;
  }
  // Character of the picture at (column, row), rows 16..40.
  char cell(int col, int row) const {
    return lines[static_cast<std::size_t>(2 + row - 16)][static_cast<std::size_t>(col)];
  }
  std::vector<std::string> legend() const { return std::vector<std::string>(lines.begin() + 27, lines.end()); }

  std::vector<std::string> lines;
};

std::string legend_line(char symbol, const std::vector<int>& numbers) {
  std::string s = std::string(" LE CARACTERE ") + symbol + " CORRESPOND AUX DONNEES";
  for (int v : numbers) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "%4d", v);
    s += buf;
  }
  return s;
}

struct Landing {
  const char* name;
  float R;
  Normal n;
  int col, row;
};

class MohrLanding : public MohrTest, public ::testing::WithParamInterface<Landing> {};

TEST_P(MohrLanding, PointCell) {
  const Landing& c = GetParam();
  set_axis_tensor(c.R);
  set_data({c.n}, {1});
  draw();
  EXPECT_EQ(cell(c.col, c.row), 'A');
  EXPECT_EQ(legend(), std::vector<std::string>{legend_line('A', {101})});
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MohrLanding,
    ::testing::Values(Landing{"largest_shear", 0.5f, {kH, 0.0f, -kH}, 33, 20},
                      Landing{"normal_to_sigma1", 0.5f, {1.0f, 0.0f, 0.0f}, 66, 40},
                      Landing{"normal_to_sigma2", 0.5f, {0.0f, 1.0f, 0.0f}, 33, 40},
                      Landing{"normal_to_sigma3", 0.5f, {0.0f, 0.0f, -1.0f}, 1, 40}),
    [](const auto& info) { return std::string(info.param.name); });

// The axis line with the dots of the circles that meet it: a circle of
// radius 0 (R = 0 or 1) is a single dot at an end.
TEST_F(MohrTest, AxisLineWithDegenerateCircles) {
  const std::string ends = " ." + std::string(64, '-') + ".";
  const std::string middle = " ." + std::string(31, '-') + "." + std::string(32, '-') + ".";
  for (const auto& [R, row40] : std::vector<std::pair<float, std::string>>{{0.0f, ends}, {1.0f, ends}, {0.5f, middle}}) {
    set_axis_tensor(R);
    set_data({}, {});
    draw();
    EXPECT_EQ(lines.back(), row40) << "R = " << R;
    EXPECT_EQ(lines.size(), 27u);
    // The top of the large circle falls between two samples.
    EXPECT_EQ(cell(32, 20), '.') << "R = " << R;
    EXPECT_EQ(cell(34, 20), '.') << "R = " << R;
    ASSERT_TRUE(ws.units.open(8, path.string(), "unknown"));
  }
}

// Data in one cell share its symbol, the better ranked first in the legend.
TEST_F(MohrTest, SharedCell) {
  set_axis_tensor(0.5f);
  set_data({{1.0f, 0.0f, 0.0f}, {kH, 0.0f, -kH}, {kH, 0.0f, -kH}}, {3, 1, 2});
  draw();
  EXPECT_EQ(cell(33, 20), 'A');
  EXPECT_EQ(cell(66, 40), 'B');
  EXPECT_EQ(legend(), (std::vector<std::string>{legend_line('A', {103, 102}), legend_line('B', {101})}));
}

// Points that cannot be placed are left out of the picture and the legend.
TEST_F(MohrTest, PointsOutsideAreSkipped) {
  set_axis_tensor(0.5f);
  ws.mec.VP(3) = -0.4f;  // the sigma 3 plane now falls left of column 1
  const float nan = std::numeric_limits<float>::quiet_NaN();
  set_data({{0.0f, 0.0f, -1.0f}, {nan, nan, nan}, {1.0e20f, 0.0f, 0.0f}, {kH, 0.0f, -kH}}, {1, 2, 3, 4});
  draw();
  EXPECT_EQ(legend(), std::vector<std::string>{legend_line('A', {104})});
}

// More than 20 data in one cell: the legend goes on 20 numbers to a line,
// under the first numbers.
TEST_F(MohrTest, LongLegend) {
  std::vector<Normal> ns(45, Normal{kH, 0.0f, -kH});
  std::vector<int> ranks;
  for (int j = 1; j <= 45; ++j) ranks.push_back(j);
  set_axis_tensor(0.5f);
  set_data(ns, ranks);
  draw();
  std::vector<int> first, second, third;
  for (int j = 1; j <= 20; ++j) first.push_back(100 + j);
  for (int j = 21; j <= 40; ++j) second.push_back(100 + j);
  for (int j = 41; j <= 45; ++j) third.push_back(100 + j);
  const std::string indent(38, ' ');
  const auto tail = [&](const std::vector<int>& v) { return indent + legend_line('A', v).substr(38); };
  EXPECT_EQ(legend(), (std::vector<std::string>{legend_line('A', first), tail(second), tail(third)}));
}

// 60 data in 60 cells: symbols run A..Z, 1..0, signs, then asterisks, each
// cell with its legend line; a later datum in an asterisk cell joins the
// list of the first asterisk.
TEST_F(MohrTest, SixtyCells) {
  std::vector<Normal> ns;
  std::vector<int> ranks;
  for (int m = 3; m <= 62; ++m) {
    // A plane of the sigma 1 - sigma 3 zone whose normal stress is centred in column m.
    const float sn = -0.5f + (static_cast<float>(m) - 0.5f) / 65.0f;
    const float th = std::acos(-2.0f * sn) / 2.0f;
    ns.push_back({std::sin(th), 0.0f, -std::cos(th)});
  }
  ns.push_back(ns[54]);
  for (int j = 1; j <= 61; ++j) ranks.push_back(j);
  set_axis_tensor(0.5f);
  set_data(ns, ranks);
  draw();
  const std::string symbols = std::string("ABCDEFGHIJKLMNOPQRSTUVWXYZ1234567890!\">$%&():=+/?<*") + std::string(9, '*');
  std::vector<std::string> expected;
  for (int k = 1; k <= 60; ++k) {
    std::vector<int> numbers = {100 + k};
    if (k == 51) numbers.push_back(161);
    expected.push_back(legend_line(symbols[static_cast<std::size_t>(k - 1)], numbers));
  }
  EXPECT_EQ(legend(), expected);
}

}  // namespace
}  // namespace zk::test
