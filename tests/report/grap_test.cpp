#include <limits>
#include <string>
#include <vector>

#include "listing.hpp"
#include "report/report.hpp"

namespace zk::test {
namespace {

struct Mark {
  int col, row;
  char ch;
};

struct NetCase {
  const char* name;
  Vec3 PEN, DIRE;
  std::vector<Mark> marks;
};

Vec3 vec3(float a, float b, float c) {
  Vec3 v;
  v(1) = a;
  v(2) = b;
  v(3) = c;
  return v;
}

class GrapTest : public ListingTest {
 protected:
  void draw(const Vec3& PEN, const Vec3& DIRE, int N = 0) {
    ws.modi2.TITRE = "SITE B";
    GRAP(ws, PENS, DIRES, N, PEN, DIRE);
    lines = listing();
    ASSERT_EQ(lines.size(), 5u + 42u + 3u);
    EXPECT_EQ(lines[2], pad("          SITE B", 90));
    for (std::size_t i = 5; i < 47; ++i) ASSERT_EQ(lines[i].size(), 76u) << "picture line " << i;
    EXPECT_EQ(lines[47], "    SIGMA1 = +");
    EXPECT_EQ(lines[48], "    SIGMA2 = .");
    EXPECT_EQ(lines[49], "    SIGMA3 = -");
  }
  // Character at (column 1..66, row 1..42); row 42 is printed first.
  char cell(int col, int row) const {
    return lines[static_cast<std::size_t>(5 + 42 - row)][static_cast<std::size_t>(9 + col)];
  }

  Mat<float, 3, kMaxData> PENS;
  Mat<float, 3, kMaxData> DIRES;
  std::vector<std::string> lines;
};

class GrapCases : public GrapTest, public ::testing::WithParamInterface<NetCase> {};

TEST_P(GrapCases, Crosses) {
  const NetCase& c = GetParam();
  draw(c.PEN, c.DIRE);
  for (const Mark& m : c.marks) EXPECT_EQ(cell(m.col, m.row), m.ch) << "column " << m.col << " row " << m.row;
}

const float kNaN = std::numeric_limits<float>::quiet_NaN();

INSTANTIATE_TEST_SUITE_P(
    Cases, GrapCases,
    ::testing::Values(
        // Sigma 1 vertical: a cross around the centre, which keeps its "*".
        // Sigma 2 north on the circle's north point; sigma 3 east, centred
        // on column 67 outside the picture: only its west arm is drawn.
        NetCase{"vertical_north_east",
                vec3(90.0f, 0.0f, 0.0f),
                vec3(0.0f, 0.0f, 90.0f),
                {{34, 21, '*'}, {33, 21, '+'}, {35, 21, '+'}, {34, 20, '+'}, {34, 22, '+'},
                 {34, 40, '.'}, {33, 40, '.'}, {35, 40, '.'}, {34, 39, '.'}, {34, 41, '.'},
                 {66, 21, '-'}, {65, 21, ' '}}},
        // South on row 1: the arm below is clipped.
        NetCase{"south",
                vec3(0.0f, 90.0f, 90.0f),
                vec3(180.0f, 0.0f, 0.0f),
                {{34, 1, '+'}, {33, 1, '+'}, {35, 1, '+'}, {34, 2, '+'}, {34, 21, '*'}, {33, 21, '-'}}},
        // Without a position, an axis is not drawn.
        NetCase{"not_a_number",
                vec3(kNaN, 0.0f, 90.0f),
                vec3(0.0f, kNaN, 0.0f),
                {{34, 21, '*'}, {33, 21, '-'}, {35, 21, '-'}, {34, 22, '-'}, {34, 20, '-'}, {34, 40, '.'}}}),
    [](const auto& info) { return std::string(info.param.name); });

// The primitive circle: north and south points on rows 40 and 1, the west
// point on column 1; its east point (column 67) lies outside.
TEST_F(GrapTest, Circle) {
  draw(vec3(kNaN, kNaN, kNaN), vec3(0.0f, 0.0f, 0.0f));
  EXPECT_EQ(cell(34, 40), '.');
  EXPECT_EQ(cell(34, 1), '.');
  EXPECT_EQ(cell(1, 21), '.');
  EXPECT_EQ(cell(66, 21), '.');
  EXPECT_EQ(cell(34, 21), '*');
  for (int row : {41, 42}) EXPECT_EQ(lines[static_cast<std::size_t>(5 + 42 - row)], std::string(76, ' '));
}

// The per-datum axes of the nearest tensors are not part of the picture.
TEST_F(GrapTest, PerDatumAxesNotDrawn) {
  draw(vec3(10.0f, 20.0f, 60.0f), vec3(30.0f, 130.0f, 260.0f), 0);
  const std::vector<std::string> alone = lines;
  for (int I = 1; I <= 3; ++I) {
    for (int K = 1; K <= 3; ++K) {
      PENS(K, I) = 15.0f * static_cast<float>(I + K);
      DIRES(K, I) = 50.0f * static_cast<float>(I * K);
    }
  }
  ASSERT_TRUE(ws.units.open(8, path.string(), "unknown"));
  draw(vec3(10.0f, 20.0f, 60.0f), vec3(30.0f, 130.0f, 260.0f), 3);
  EXPECT_EQ(lines, alone);
}

}  // namespace
}  // namespace zk::test
