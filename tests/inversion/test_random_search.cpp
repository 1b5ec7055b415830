#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "data/geometry.hpp"
#include "inversion/misfit.hpp"
#include "inversion/random_search.hpp"

namespace zk {
namespace {

// A fresh run (generator at its start, INDX 1) on four planes slipping down
// their dip.
struct StageRun {
  std::istringstream in;
  std::ostringstream out;
  Workspace ws{in, out};
  std::filesystem::path listing = std::filesystem::temp_directory_path() / "zarkel_stage1.lst";

  explicit StageRun(int nmin) {
    ws.block.PI = 3.141593f;
    ws.tiraz.INDX = 1;
    const float n[4][3] = {{-0.5f, 0, -0.8660254f}, {0, 0.6f, -0.8f}, {0.6f, 0, -0.8f}, {-0.48f, -0.64f, -0.6f}};
    const float h[4] = {0.5f, 0.6f, 0.6f, 0.8f};
    for (int i = 1; i <= 4; ++i) {
      const float* v = n[i - 1];
      const float s[3] = {-v[0] / h[i - 1] * -v[2], -v[1] / h[i - 1] * -v[2], -h[i - 1]};
      for (int c = 1; c <= 3; ++c) {
        ws.tir.FN(i, c) = v[c - 1];
        ws.tir.STR(i, c) = s[c - 1];
      }
    }
    ws.tir.N = 4;
    ws.ind.NMIN = nmin;
    EXPECT_TRUE(ws.units.open(8, listing.string(), "unknown"));
  }
  ~StageRun() { std::filesystem::remove(listing); }

  std::vector<std::string> close_and_read() {
    ws.units.close(8);
    std::ifstream f(listing);
    std::vector<std::string> lines;
    for (std::string line; std::getline(f, line);) lines.push_back(line);
    return lines;
  }
};

// The candidate that the search should keep out of NTIR draws: the smallest
// misfit, the last of equal ones.
Vec4 expected_best(int ntir, int nmin) {
  StageRun r(nmin);
  Vec4 best;
  float PSI = 0, TETA = 0, PHI = 0, R = 0, FMIN = 1.0E30f;
  for (int I = 1; I <= ntir; ++I) {
    EULAZ(r.ws, I, PSI, TETA, PHI, R);
    float F = 1.0E30f, FT;
    SOMME(r.ws, F, FT, R, PSI, TETA, PHI, 0, 1);
    if (F <= FMIN) {
      FMIN = F;
      best(1) = PSI;
      best(2) = TETA;
      best(3) = PHI;
      best(4) = R;
    }
  }
  r.close_and_read();
  return best;
}

TEST(RandomSearch, KeepsTheBestDrawAndWritesItsSummary) {
  struct Case {
    const char* name;
    int ntir, nmin;  // NMIN 0: the misfit never reaches its NMIN-th term, every draw ties
    const char* summary_head;
  };
  const Case cases[] = {
      {"one draw", 1, 3, " NBRE DE DONNEES   3  PARAMETRES "},
      {"twelve draws", 12, 2, " NBRE DE DONNEES   2  PARAMETRES "},
      {"all tie: the last wins", 12, 0, " NBRE DE DONNEES   0  PARAMETRES "},
  };
  for (const Case& c : cases) {
    const Vec4 want = expected_best(c.ntir, c.nmin);
    StageRun r(c.nmin);
    Vec4 P;
    random_search(r.ws, c.ntir, P);
    for (int i = 1; i <= 4; ++i) EXPECT_EQ(P(i), want(i)) << c.name << " P(" << i << ")";

    const std::vector<std::string> lines = r.close_and_read();
    ASSERT_EQ(lines.size(), 7u) << c.name;  // empty record of draw 1, summary, banner, dashes
    EXPECT_EQ(lines[1].substr(0, 33), c.summary_head) << c.name;
    ASSERT_EQ(lines[1].size(), 33u + 4 * 8 + 11 + 14) << c.name;
    EXPECT_EQ(lines[1].substr(65, 11), "  FONCTION ") << c.name;
    if (c.nmin == 0) {
      EXPECT_EQ(lines[1].substr(76), "  0.100000E+31") << c.name;
    }
    EXPECT_EQ(lines[3], "     ********** FIN DE L ETAPE N0 1") << c.name;
    EXPECT_EQ(lines[6], " ---------------------------------------------") << c.name;
  }
}

}  // namespace
}  // namespace zk
