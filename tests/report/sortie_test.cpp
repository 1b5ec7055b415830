#include <algorithm>
#include <cmath>
#include <cstdio>

#include "data/geometry.hpp"
#include "listing.hpp"
#include "report/report.hpp"

namespace zk::test {
namespace {

class SortieTest : public ListingTest {
 protected:
  void SetUp() override {
    ListingTest::SetUp();
    ws.modi2.TITRE = "SITE A";
    // Two planes dipping 45 degrees, normal in the x-z plane. Under sigma 1
    // east and sigma 3 vertical, datum 2 slips exactly along the shear and
    // datum 1 at right angles to it (misfit pi/2).
    const float h = 0.70710677f;
    const float fn[3] = {h, 0.0f, -h};
    const float str[2][3] = {{0.0f, 1.0f, 0.0f}, {h, 0.0f, h}};
    ws.tir.N = 2;
    ws.ind.NMIN = 1;
    for (int i = 1; i <= 2; ++i) {
      ws.modi1.NUM(i) = 40 + i;
      for (int c = 1; c <= 3; ++c) {
        ws.tir.FN(i, c) = fn[c - 1];
        ws.tir.STR(i, c) = str[i - 1][c - 1];
      }
    }
  }
};

TEST_F(SortieTest, AxesAlongTheFrame) {
  float R = 0.5f, PSI = 0.0f, TETA = 0.0f, PHI = 0.0f;
  Vec3 PEN, DIRE;
  SORTIE(ws, 1, R, PSI, TETA, PHI, PEN, DIRE);
  const std::vector<std::string> expected = {
      "",
      "",
      pad("         SITE A", 89),
      "",
      "",
      "",
      "  N0     TENSEUR EN X Y Z             DANS LES AXES PRINCIPAUX  ****************",
      "",
      "     SIGMA(1)=  0.50000    DIRECTION  270.0    PENDAGE    0.0",
      "     SIGMA(2)=  0.00000    DIRECTION  180.0    PENDAGE    0.0",
      "     SIGMA(3)= -0.50000    DIRECTION    0.0    PENDAGE   90.0",
      "",
      "",
      "          RAPPORT R =  0.50",
      "",
      "",
      "  LA FONCTION A MINIMIMISER EST EGALE A:  0.0000",
      "  POUR LES   1PREMIERES DONNEES TRIEES PAR LE PROGRAMME",
      "  LA FONCTION A MINIMIMISER EST EGALE A:  2.4674",
      "  POUR L'ENSEMBLE DU PAQUET",
  };
  EXPECT_EQ(listing(), expected);
  EXPECT_EQ(DIRE(3), 0.0f);  // vertical sigma 3
  // The data are ranked by the listed tensor: the aligned datum first.
  EXPECT_EQ(ws.tab.IX(1), 2);
  EXPECT_EQ(ws.tab.IX(2), 1);
}

// R > 1 on entry: PHI + pi/2 and R = 1/R; the block shows the relabelled
// tensor (sigma 1 now north, the old sigma 2).
TEST_F(SortieTest, AboveOneIsRelabelled) {
  float R = 1.5f, PSI = 0.0f, TETA = 0.0f, PHI = 0.0f;
  Vec3 PEN, DIRE;
  SORTIE(ws, 1, R, PSI, TETA, PHI, PEN, DIRE);
  EXPECT_NEAR(R, 0.6666667f, 1e-6f);
  EXPECT_NEAR(PHI, 1.5707965f, 1e-6f);
  const auto lines = listing();
  ASSERT_EQ(lines.size(), 20u);
  const std::vector<std::string> axes = {
      "     SIGMA(1)=  0.44444    DIRECTION  180.0    PENDAGE    0.0",
      "     SIGMA(2)=  0.11111    DIRECTION   90.0    PENDAGE    0.0",
      "     SIGMA(3)= -0.55556    DIRECTION    0.0    PENDAGE   90.0",
  };
  EXPECT_EQ(std::vector<std::string>(lines.begin() + 8, lines.begin() + 11), axes);
  EXPECT_EQ(lines[13], "          RAPPORT R =  0.67");
}

struct Relabel {
  const char* name;
  float R, PSI, TETA, PHI;  // on entry
  float R_out;              // relabelled ratio
  int from[3];              // old axis of the new sigma 1, 2, 3
};

class SortieRelabel : public SortieTest, public ::testing::WithParamInterface<Relabel> {};

// Direction and plunge (degrees) of the axis along v.
void direction_plunge(float x, float y, float z, float& dir, float& pen) {
  if (z > 0.0f) {
    x = -x;
    y = -y;
    z = -z;
  }
  pen = std::asin(-z) * 57.29578f;
  dir = std::atan2(x, y) * 57.29578f;
  if (dir < 0.0f) dir += 360.0f;
}

float angle_gap(float a, float b) {
  const float d = std::fabs(a - b);
  return std::min(d, 360.0f - d);
}

// The listed axes are those of the entry tensor, relabelled, whatever tensor
// mec held before the call.
TEST_P(SortieRelabel, ListsTheAxesOfTheEntryTensor) {
  const Relabel& c = GetParam();
  CHANG(ws, c.R, c.PSI, c.TETA, c.PHI);
  float old_dir[3], old_pen[3];
  for (int L = 1; L <= 3; ++L) {
    direction_plunge(ws.mec.ROT(L, 1), ws.mec.ROT(L, 2), ws.mec.ROT(L, 3), old_dir[L - 1], old_pen[L - 1]);
  }
  CHANG(ws, 0.3f, 1.0f, 0.5f, 0.2f);  // left over from another evaluation
  float R = c.R, PSI = c.PSI, TETA = c.TETA, PHI = c.PHI;
  Vec3 PEN, DIRE;
  SORTIE(ws, 1, R, PSI, TETA, PHI, PEN, DIRE);
  EXPECT_NEAR(R, c.R_out, 1e-5f);
  for (int L = 1; L <= 3; ++L) {
    const int o = c.from[L - 1] - 1;
    EXPECT_NEAR(PEN(L), old_pen[o], 0.01f) << "sigma " << L;
    EXPECT_LT(angle_gap(DIRE(L), old_dir[o]), 0.01f) << "sigma " << L;
  }
  char ratio[40];
  std::snprintf(ratio, sizeof ratio, "          RAPPORT R =%6.2f", static_cast<double>(c.R_out));
  const auto lines = listing();
  ASSERT_EQ(lines.size(), 20u);
  EXPECT_EQ(lines[13], ratio);
}

INSTANTIATE_TEST_SUITE_P(Cases, SortieRelabel,
                         ::testing::Values(Relabel{"in_range", 0.3f, 0.5f, 1.0f, 0.7f, 0.3f, {1, 2, 3}},
                                           Relabel{"below_zero", -0.5f, 0.5f, 1.0f, 0.7f, 0.33333334f, {1, 3, 2}},
                                           Relabel{"far_below_zero", -2.0f, 2.0f, 0.4f, 2.5f, 0.6666667f, {1, 3, 2}},
                                           Relabel{"above_one", 1.5f, 0.5f, 1.0f, 0.7f, 0.6666667f, {2, 1, 3}},
                                           Relabel{"far_above_one", 4.0f, 2.0f, 2.4f, 2.9f, 0.25f, {2, 1, 3}}),
                         [](const auto& info) { return std::string(info.param.name); });

// ISW = 0 lists the tensor in mec as it stands and stops after the ratio.
TEST_F(SortieTest, WithoutRecomputing) {
  CHANG(ws, 0.5f, 0.0f, 0.0f, 0.0f);
  float R = 0.2f, PSI = 1.0f, TETA = 1.0f, PHI = 1.0f;
  Vec3 PEN, DIRE;
  SORTIE(ws, 0, R, PSI, TETA, PHI, PEN, DIRE);
  const auto lines = listing();
  ASSERT_EQ(lines.size(), 16u);
  EXPECT_EQ(lines[8], "     SIGMA(1)=  0.50000    DIRECTION  270.0    PENDAGE    0.0");
  EXPECT_EQ(lines[13], "          RAPPORT R =  0.50");
  EXPECT_EQ(R, 0.2f);
}

}  // namespace
}  // namespace zk::test
