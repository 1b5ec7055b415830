#include <cstdio>
#include <string>
#include <vector>

#include "listing.hpp"
#include "report/report.hpp"

namespace zk::test {
namespace {

const std::vector<std::string> kHeading = {
    "",
    " GAMME         NBRE    INDICE DES VALEURS DANS CETTE GAMME",
    "",
};

// The 22 class bounds in whole degrees.
constexpr int kDegrees[22] = {0, 6, 11, 17, 23, 29, 34, 40, 46, 52, 57, 69, 80, 92, 103, 115, 126, 138, 149, 160, 172, 183};

// A class line with no data numbers.
std::string class_line(int k, int total) {
  char buf[64];
  std::snprintf(buf, sizeof buf, " %3d  %3d-%3d %4d", k, kDegrees[k - 1], kDegrees[k], total);
  return buf;
}

struct HistoCase {
  const char* name;
  std::vector<float> misfits;  // ranked, radians
  std::vector<std::string> lines;  // after the heading
};

class HistoTest : public ListingTest, public ::testing::WithParamInterface<HistoCase> {};

// Rank r holds datum n + 1 - r, whose number is r: the listed numbers run
// 1, 2, 3... only when they are taken as NUM(IX(r)) in rank order.
TEST_P(HistoTest, Classes) {
  const HistoCase& c = GetParam();
  const int n = static_cast<int>(c.misfits.size());
  Vec<int, kMaxData> IX;
  Vec<float, kMaxData> A;
  for (int r = 1; r <= n; ++r) {
    A(r) = c.misfits[static_cast<std::size_t>(r - 1)];
    IX(r) = n + 1 - r;
    ws.modi1.NUM(n + 1 - r) = r;
  }
  HISTO(ws, IX, A, n, 21);
  std::vector<std::string> expected = kHeading;
  expected.insert(expected.end(), c.lines.begin(), c.lines.end());
  EXPECT_EQ(listing(), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, HistoTest,
    ::testing::Values(
        HistoCase{"none", {}, {}},
        HistoCase{"all_below_first_bound",
                  {0.0f, 0.05f, 0.099999f},
                  {"   1    0-  6    3       1   2   3"}},
        HistoCase{"bound_belongs_to_the_upper_class",
                  {0.1f},
                  {"   1    0-  6    0", "   2    6- 11    1       1"}},
        HistoCase{"empty_classes_keep_the_running_total",
                  {0.05f, 0.35f, 0.36f},
                  {"   1    0-  6    1       1", "   2    6- 11    1", "   3   11- 17    1",
                   "   4   17- 23    3       2   3"}},
        HistoCase{"sixty_in_one_class",
                  std::vector<float>(60, 0.01f),
                  {"   1    0-  6   60       1   2   3   4   5   6   7   8   9  10  11  12  13  14  15  16  17  18  19"
                   "  20  21  22  23  24  25  26  27",
                   "                        28  29  30  31  32  33  34  35  36  37  38  39  40  41  42  43  44  45  46"
                   "  47  48  49  50  51  52  53  54",
                   "  55   56- 57   58      59  60"}}),
    [](const auto& info) { return std::string(info.param.name); });

// One datum in the middle of each class: every bound is printed as its
// nearest whole degree, and the running total climbs by one per class.
TEST_F(ListingTest, HistoBoundsInDegrees) {
  constexpr float kLower[22] = {0.0f, 0.1f, 0.2f, 0.3f, 0.4f, 0.5f, 0.6f, 0.7f, 0.8f, 0.9f, 1.0f,
                                1.2f, 1.4f, 1.6f, 1.8f, 2.0f, 2.2f, 2.4f, 2.6f, 2.8f, 3.0f, 3.2f};
  Vec<int, kMaxData> IX;
  Vec<float, kMaxData> A;
  for (int k = 1; k <= 21; ++k) {
    A(k) = (kLower[k - 1] + kLower[k]) / 2.0f;
    IX(k) = k;
    ws.modi1.NUM(k) = 200 + k;
  }
  HISTO(ws, IX, A, 21, 21);
  const auto lines = listing();
  ASSERT_EQ(lines.size(), 3u + 21u);
  for (int k = 1; k <= 21; ++k) {
    EXPECT_EQ(lines[static_cast<std::size_t>(2 + k)], class_line(k, k) + "     " + std::to_string(200 + k));
  }
}

// More classes asked for than there are bounds: the histogram stops at 21.
TEST_F(ListingTest, HistoAtMostTwentyOneClasses) {
  Vec<int, kMaxData> IX;
  Vec<float, kMaxData> A;
  A(1) = 3.3f;  // beyond every bound
  IX(1) = 1;
  HISTO(ws, IX, A, 1, 40);
  EXPECT_EQ(listing().size(), 3u + 21u);
}

}  // namespace
}  // namespace zk::test
