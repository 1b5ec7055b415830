// The listing blocks: tensor block, histogram, Mohr diagram and net.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <limits>
#include <sstream>

#include "data/geometry.hpp"
#include "report/report.hpp"

namespace zk {
namespace {

using Lines = std::vector<std::string>;
constexpr float kH = 0.70710677f;  // sin 45 degrees
const float kNaN = std::numeric_limits<float>::quiet_NaN();

// Unit 8 goes to a file of the test's own, read back line by line.
class Report : public ::testing::Test {
 protected:
  void SetUp() override {
    ws.block.PI = 3.141593f;
    ws.block.CONV = 57.29578f;
    ASSERT_TRUE(ws.units.open(8, path.string(), "unknown"));
  }
  void TearDown() override { std::filesystem::remove(path); }
  // Closes unit 8, returns its records and opens it afresh.
  Lines listing() {
    ws.units.close(8);
    std::ifstream f(path);
    Lines lines;
    for (std::string s; std::getline(f, s);) lines.push_back(s);
    EXPECT_TRUE(ws.units.open(8, path.string(), "unknown"));
    return lines;
  }
  std::istringstream in;
  std::ostringstream out;
  Workspace ws{in, out};
  std::filesystem::path path = std::filesystem::temp_directory_path() /
                               ("zk_report_" + std::to_string(::getpid()) + "_" +
                                ::testing::UnitTest::GetInstance()->current_test_info()->name());
};

TEST_F(Report, SortieBlockAndRelabellingOfTheEntryTensor) {
  // Two planes dipping 45 degrees east: under sigma 1 east and sigma 3
  // vertical datum 42 slips along the shear and datum 41 at right angles.
  ws.modi2.TITRE = "SITE A";
  ws.tir.N = 2;
  ws.ind.NMIN = 1;
  const float str[2][3] = {{0.0f, 1.0f, 0.0f}, {kH, 0.0f, kH}};
  for (int i = 1; i <= 2; ++i) {
    ws.modi1.NUM(i) = 40 + i;
    ws.tir.FN(i, 1) = kH;
    ws.tir.FN(i, 3) = -kH;
    for (int c = 1; c <= 3; ++c) ws.tir.STR(i, c) = str[i - 1][c - 1];
  }
  float R = 0.5f, PSI = 0.0f, TETA = 0.0f, PHI = 0.0f;
  Vec3 PEN, DIRE;
  SORTIE(ws, Sortie::WithMisfits, R, PSI, TETA, PHI, PEN, DIRE);
  const Lines l = listing();
  ASSERT_EQ(l.size(), 20u);
  EXPECT_EQ(l[8], "     SIGMA(1)=  0.50000    DIRECTION  270.0    PENDAGE    0.0");  // horizontal: turned too
  EXPECT_EQ(l[10], "     SIGMA(3)= -0.50000    DIRECTION    0.0    PENDAGE   90.0");
  EXPECT_EQ(l[16], "  LA FONCTION A MINIMIMISER EST EGALE A:  0.0000");
  EXPECT_EQ(DIRE(3), 0.0f);    // vertical sigma 3
  EXPECT_EQ(ws.tab.IX(1), 2);  // ranked by the listed tensor: the aligned datum first
  // A ratio out of [0, 1] is relabelled from the axes of the entry tensor,
  // whatever mec held before.
  const auto block = [&](float R0, float PSI0, float TETA0, float PHI0) {
    CHANG(ws, R0, PSI0, TETA0, PHI0);
    R = -0.5f, PSI = 0.5f, TETA = 1.0f, PHI = 0.7f;
    SORTIE(ws, Sortie::WithMisfits, R, PSI, TETA, PHI, PEN, DIRE);
    EXPECT_NEAR(R, 0.33333334f, 1e-6f);
    return listing();
  };
  EXPECT_EQ(block(0.3f, 1.0f, 0.5f, 0.2f), block(-0.5f, 0.5f, 1.0f, 0.7f));
}

TEST_F(Report, HistogramClassesInWholeDegrees) {
  // 60 data in class 1 (numbers beyond 27 go on, then the format starts
  // again), one on the bound 0.1 (class 2), one in class 4 and one in the
  // last class, 40 classes asked for: every bound shows as its nearest whole
  // degree, an empty class keeps the running total. Rank r holds datum
  // 64 - r, numbered r: numbers are NUM(IX(r)).
  Vec<int, kMaxData> IX;
  Vec<float, kMaxData> A;
  for (int r = 1; r <= 63; ++r) {
    A(r) = r <= 60 ? 0.01f : r == 61 ? 0.1f : r == 62 ? 0.35f : 3.1f;
    IX(r) = 64 - r;
    ws.modi1.NUM(64 - r) = r;
  }
  HISTO(ws, IX.data(), A.data(), 63, 40);
  Lines want = {"", " GAMME         NBRE    INDICE DES VALEURS DANS CETTE GAMME", "",
                "   1    0-  6   60       1   2   3   4   5   6   7   8   9  10  11  12  13  14  15  16  17  18  19"
                "  20  21  22  23  24  25  26  27",
                "                        28  29  30  31  32  33  34  35  36  37  38  39  40  41  42  43  44  45  46"
                "  47  48  49  50  51  52  53  54",
                "  55   56- 57   58      59  60"};
  const int deg[22] = {0, 6, 11, 17, 23, 29, 34, 40, 46, 52, 57, 69, 80, 92, 103, 115, 126, 138, 149, 160, 172, 183};
  for (int k = 2; k <= 21; ++k) {
    const int total = k < 4 ? 61 : k < 21 ? 62 : 63;
    char line[64];
    std::snprintf(line, sizeof line, " %3d  %3d-%3d %4d", k, deg[k - 1], deg[k], total);
    want.push_back(std::string(line) + (k == 2 || k == 4 || k == 21 ? "      " + std::to_string(total) : ""));
  }
  EXPECT_EQ(listing(), want);
  HISTO(ws, IX.data(), A.data(), 0, 21);
  EXPECT_EQ(listing().size(), 3u);  // the heading only
}

class Mohr : public Report {
 protected:
  // Tensor of ratio R with sigma 1 east, sigma 2 north, sigma 3 up; datum j
  // has normal ns[j - 1] and number 100 + j, rank I holds datum rank[I - 1].
  void draw(float R, const std::vector<Vec3>& ns, std::vector<int> rank = {}) {
    const float vp[3] = {(2.0f - R) / 3.0f, (2.0f * R - 1.0f) / 3.0f, (1.0f + R) / -3.0f};
    for (int i = 1; i <= 3; ++i) ws.mec.TENS(i, i) = ws.mec.VP(i) = vp[i - 1];
    ws.tir.N = ws.ind.NMIN = static_cast<int>(ns.size());
    for (int j = 1; j <= ws.tir.N; ++j) {
      for (int c = 1; c <= 3; ++c) ws.tir.FN(j, c) = ns[static_cast<std::size_t>(j - 1)](c);
      ws.modi1.NUM(j) = 100 + j;
      ws.tab.IX(j) = rank.empty() ? j : rank[static_cast<std::size_t>(j - 1)];
    }
    MOHR(ws);
    lines = listing();
    ASSERT_GE(lines.size(), 27u);
    ASSERT_EQ(lines[0], "          REPRESENTATION SUR CERCLE DE MOHR");
    for (std::size_t i = 2; i < 27; ++i) ASSERT_EQ(lines[i].size(), 67u) << "picture line " << i;
  }
  // The picture shows rows 16..40.
  char cell(int col, int row) const { return lines[static_cast<std::size_t>(row - 14)][static_cast<std::size_t>(col)]; }
  Lines legend() const { return Lines(lines.begin() + 27, lines.end()); }
  Lines lines;
};

// The legend line of `symbol` from numbers[from]: a first line, or a
// continuation (38X,20I4).
std::string legend_line(char symbol, const std::vector<int>& numbers, std::size_t from = 0) {
  std::string s = from > 0 ? std::string(38, ' ') : std::string(" LE CARACTERE ") + symbol + " CORRESPOND AUX DONNEES";
  for (std::size_t k = from; k < numbers.size() && k < from + 20; ++k)
    s += (numbers[k] < 100 ? "  " : " ") + std::to_string(numbers[k]);
  return s;
}

TEST_F(Mohr, PointsLandInTheirCellsAndThoseOutsideAreLeftOut) {
  // Largest shear, then the planes normal to sigma 1, 2 and 3; then points
  // left of the picture, not a number and far out.
  draw(0.5f, {{{kH, 0.0f, -kH}}, {{1, 0, 0}}, {{0, 1, 0}}, {{0, 0, -1}}, {{0, 0, 2}}, {{kNaN, kNaN, kNaN}},
              {{1.0e20f, 0, 0}}});
  EXPECT_EQ(std::string() + cell(33, 20) + cell(66, 40) + cell(33, 40) + cell(1, 40), "ABCD");
  EXPECT_EQ(legend(), (Lines{legend_line('A', {101}), legend_line('B', {102}), legend_line('C', {103}),
                             legend_line('D', {104})}));
}

// 300 data in 60 cells, ranked in reverse: symbols run A..Z, 1..0, signs,
// then asterisks, one per new cell; a later datum in an asterisk cell joins
// the first asterisk. Each symbol lists its numbers in rank order, 20 to a
// line, then under the first numbers.
TEST_F(Mohr, ThreeHundredDataInSixtyCellsAndLongLegends) {
  std::vector<Vec3> ns(300);
  std::vector<int> rank;
  for (int I = 1; I <= 300; ++I) {
    // A plane of the sigma 1 - sigma 3 zone whose normal stress is centred in column m.
    const int m = (I - 1) % 60 + 3;
    const float sn = -0.5f + (static_cast<float>(m) - 0.5f) / 65.0f, th = std::acos(-2.0f * sn) / 2.0f;
    ns[static_cast<std::size_t>(300 - I)] = Vec3{{std::sin(th), 0.0f, -std::cos(th)}};
    rank.push_back(301 - I);
  }
  draw(0.5f, ns, rank);
  const std::string symbols = std::string("ABCDEFGHIJKLMNOPQRSTUVWXYZ1234567890!\">$%&():=+/?<*") + std::string(9, '*');
  Lines expected;
  for (int k = 1; k <= 60; ++k) {
    std::vector<int> numbers;  // NUM(IX(I)) = 401 - I
    for (int I = k; I <= 300; ++I) {
      const int cell = (I - 1) % 60 + 1, symbol = I > 60 && cell > 51 ? 51 : cell;
      if (symbol == k) numbers.push_back(401 - I);
    }
    for (std::size_t from = 0; from < numbers.size(); from += 20)
      expected.push_back(legend_line(symbols[static_cast<std::size_t>(k - 1)], numbers, from));
  }
  EXPECT_EQ(legend(), expected);
}

// On a principal plane of a turned tensor rounding leaves the squared shear
// just below zero: the point is drawn on the axis, not dropped.
TEST_F(Mohr, PrincipalPlaneOfATurnedTensorLiesOnTheAxis) {
  CHANG(ws, 0.5f, 0.1f, 0.14f, 0.3f);
  ws.tir.N = ws.ind.NMIN = 1;
  ws.modi1.NUM(1) = 101;
  ws.tab.IX(1) = 1;
  const float down = ws.mec.ROT(1, 3) > 0.0f ? -1.0f : 1.0f;
  for (int c = 1; c <= 3; ++c) ws.tir.FN(1, c) = down * ws.mec.ROT(1, c);
  MOHR(ws);
  lines = listing();
  EXPECT_EQ(cell(66, 40), 'A');
  EXPECT_EQ(legend(), Lines{legend_line('A', {101})});
}

}  // namespace
}  // namespace zk
