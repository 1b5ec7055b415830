// The data layer's rules with branches: conversion of a record, the end of
// the data, the selection list and its parity rule, NMIN, relabelling, the
// derivatives, the generator and the imposed starting axes. Layouts and
// refusal messages are pinned by the golden listings and the corpus.
#include <cmath>

#include "data/fault_data.hpp"
#include "data/geometry.hpp"
#include "data/parameters.hpp"
#include "data/random.hpp"
#include "support/listing.hpp"

namespace zk {
namespace {

constexpr float kPI = 3.141593f;

FaultRecord rec(int DIR, int PEND, char QPEND, int PITCH, char QPITCH, int AZSTR, char SENS) {
  FaultRecord r;
  r.DIR = DIR;
  r.PEND = PEND;
  r.QPEND = QPEND;
  r.PITCH = PITCH;
  r.QPITCH = QPITCH;
  r.AZSTR = AZSTR;
  r.SENS = SENS;
  return r;
}

// The value as a listing to four decimals shows it.
int four_decimals(float x) { return static_cast<int>(std::lround(x * 10000.0f)); }

TEST(ConvertDatum, WorkedValuesOfThePitchAndTrendForms) {
  const float h = 0.7071f, t = 0.5774f;
  struct Case {
    const char* name;
    FaultRecord r;
    float fn[3], str[3];
  } const cases[] = {
      {"pitch 90 N", rec(0, 45, 'E', 90, 'N', 0, 'N'), {-h, 0, -h}, {h, 0, -h}},
      {"pitch 30 S dextral", rec(0, 45, 'E', 30, 'S', 0, 'D'), {-h, 0, -h}, {0.3536f, -0.8660f, -0.3536f}},
      {"pitch 30 S sinistral", rec(0, 45, 'E', 30, 'S', 0, 'S'), {-h, 0, -h}, {-0.3536f, 0.8660f, 0.3536f}},
      {"pitch 30 S reverse", rec(0, 45, 'E', 30, 'S', 0, 'I'), {-h, 0, -h}, {-0.3536f, 0.8660f, 0.3536f}},
      {"trend 45 dextral", rec(0, 45, 'E', 0, ' ', 45, 'D'), {-h, 0, -h}, {-t, -t, t}},
      {"trend 135 sinistral", rec(0, 45, 'E', 0, ' ', 135, 'S'), {-h, 0, -h}, {-t, t, t}},
      {"down dip dextral", rec(0, 45, 'E', 0, ' ', 90, 'D'), {-h, 0, -h}, {-h, 0, h}},
      {"down dip sinistral", rec(0, 45, 'E', 0, ' ', 90, 'S'), {-h, 0, -h}, {h, 0, -h}},
      {"trend 270 on the dip line", rec(0, 45, 'E', 0, ' ', 270, 'N'), {-h, 0, -h}, {h, 0, -h}},
      {"dip line trend opposite the normal, D", rec(0, 10, 'N', 0, ' ', 270, 'D'), {0.1736f, 0, -0.9848f},
       {-0.9848f, 0, -0.1736f}},
      {"dir 120 reverse", rec(120, 30, 'S', 20, 'E', 0, 'I'), {0.25f, 0.4330f, -0.8660f}, {-0.6657f, 0.7264f, 0.1710f}},
      {"dir 90 pitch from N", rec(90, 60, 'S', 30, 'N', 0, 'N'), {0, 0.8660f, -0.5f}, {0.8660f, -0.25f, -0.4330f}},
      {"vertical, trend on strike", rec(0, 90, 'E', 0, ' ', 180, 'N'), {-1, 0, 0}, {0, -1, 0}},
      {"vertical, trend on strike, S", rec(0, 90, 'E', 0, ' ', 180, 'S'), {-1, 0, 0}, {0, 1, 0}},
  };
  for (const Case& c : cases) {
    Vec3 FN, STR;
    convert_datum(c.r, FN, STR);
    for (int k = 1; k <= 3; ++k) {
      EXPECT_EQ(four_decimals(FN(k)), four_decimals(c.fn[k - 1])) << c.name << " FN " << k;
      EXPECT_EQ(four_decimals(STR(k)), four_decimals(c.str[k - 1])) << c.name << " STR " << k;
    }
  }
}

// Directions taken modulo 180, the dip quadrant of a vertical plane given by
// its pitch ignored; whatever the record, a downward unit normal and a unit
// slip in its plane.
TEST(ConvertDatum, EquivalentRecordsAndUnitVectorsInThePlane) {
  const std::pair<FaultRecord, FaultRecord> same[] = {
      {rec(180, 40, 'E', 25, 'N', 0, 'D'), rec(0, 40, 'E', 25, 'N', 0, 'D')},
      {rec(270, 40, 'N', 25, 'E', 0, 'S'), rec(90, 40, 'N', 25, 'E', 0, 'S')},
      {rec(40, 90, 'E', 35, 'S', 0, 'D'), rec(40, 90, 'W', 35, 'S', 0, 'D')},
      {rec(130, 90, 'S', 35, 'E', 0, 'S'), rec(130, 90, 'N', 35, 'E', 0, 'S')},
  };
  for (const auto& [a, b] : same) {
    Vec3 fa, sa, fb, sb;
    convert_datum(a, fa, sa);
    convert_datum(b, fb, sb);
    EXPECT_TRUE(fa.v == fb.v && sa.v == sb.v) << a.DIR << " " << a.QPEND;
  }
  for (int dir = 0; dir < 360; dir += 15)
    for (int pend = 0; pend <= 90; pend += 15)
      for (char qp : {'N', 'S', 'E', 'W'})
        for (int az : {0, 1, 45, 90, 180, 271})
          for (char qs : {'N', 'S', 'E'}) {
            Vec3 n, s;
            convert_datum(rec(dir, pend, qp, 20, qs, az, "NIDS"[(dir / 15) % 4]), n, s);
            const float nn = n(1) * n(1) + n(2) * n(2) + n(3) * n(3), ss = s(1) * s(1) + s(2) * s(2) + s(3) * s(3);
            const float ns = n(1) * s(1) + n(2) * s(2) + n(3) * s(3);
            ASSERT_TRUE(std::fabs(nn - 1.0f) < 1e-5f && std::fabs(ss - 1.0f) < 1e-5f && std::fabs(ns) < 1e-5f &&
                        n(3) <= 1e-7f)
                << dir << " " << pend << " " << qp << " " << az << " " << qs;
          }
}

TEST(Contro, ParityRule) {
  test::Listing run;
  run.ws.eeet.NLIST = 2;
  run.ws.eeet.LIST(1) = 12;
  run.ws.eeet.LIST(2) = 17;
  const struct {
    int ISEL, NUM;
    bool skipped;
  } cases[] = {
      {0, 12, true},  {0, 13, false},  {3, 12, false},          {3, 13, true},  // even: listed skipped; odd: kept
      {-1, 12, false}, {-1, 13, false}, {2147483647, 13, true}, {-2147483647 - 1, 12, false},
  };
  for (const auto& c : cases) {
    run.ws.eeetc.ISEL = c.ISEL;
    EXPECT_EQ(CONTRO(run.ws, c.NUM), c.skipped) << c.ISEL << " " << c.NUM;
  }
}

TEST(Geolog, OnlyADirectionAbove400EndsTheData) {
  test::Listing run;
  run.ws.eeetc.ISEL = 1;
  run.data("title\n" + test::datum(400, 45, 'E', 90, 'N', 0, 'N', 11) + "\n" +
           test::datum(401, 0, ' ', 0, ' ', 0, ' ', 0) + "\nnever read\n");
  const FaultSet set = GEOLOG(run.ws);
  ASSERT_EQ(set.data.size(), 1u);
  EXPECT_EQ(set.data[0].record.NUM, 11);
}

TEST(Enreg, SelectionRecordsThenRecord3) {
  std::string lines21;
  std::vector<int> twenty_pairs;
  for (int k = 0; k < 21; ++k) lines21 += "1 2\n";
  for (int k = 0; k < 20; ++k) twenty_pairs.insert(twenty_pairs.end(), {1, 2});
  struct Case {
    const char* name;
    std::string file;
    std::vector<int> list;
    int next;  // first value of the record after the selection (0: none)
  } const cases[] = {
      {"all data", "1 0\n3 100 10 0 0\n", {}, 3},
      {"999 ends the list, the rest of its line unread", "3 1\n12 17 999 40\n2 100 10 0 0\n", {12, 17}, 2},
      {"zero ignored", "0 0\n12 0 15 999\n4 100 10 0 0\n", {12, 15}, 4},
      {"over lines, tabs, signs", "0 0\n\t12\t-3  +4\n\n 0999 5\n6 100 10 0 0\n", {12, -3, 4}, 6},
      {"21st line dropped", "0 0\n" + lines21 + "3 100 10 0 0\n", twenty_pairs, 3},
      {"columns past 80 ignored", "0 0\n" + std::string(78, ' ') + "1234\n999\n2 100 10 0 0\n", {12}, 2},
  };
  for (const Case& c : cases) {
    test::Listing run;
    run.parameters(c.file);
    ENREG(run.ws);
    EXPECT_EQ(std::vector<int>(run.ws.eeet.LIST.v.begin(), run.ws.eeet.LIST.v.begin() + run.ws.eeet.NLIST), c.list)
        << c.name;
    int next = 0;
    if (c.next != 0) run.ws.units.read_list(3, rt::target(next));
    EXPECT_EQ(next, c.next) << c.name;
  }
}

TEST(RunParameters, NminBoundsAndDraws) {
  struct Case {
    int N, INDX, POURC, NTIR;
    long long NMIN;
    bool ok;
  } const cases[] = {
      {37, 1, 100, 1, 37, true}, {300, 1, 2, 1, 6, true}, {10, 1, 50, 1, 5, true}, {10, 1, 49, 1, 4, false},
      {37, 1, 103, 1, 38, false}, {37, 5, 80, 0, 29, true}, {37, 4, 80, 0, 29, false}, {37, 7, 80, 1, 29, false},
  };
  for (const Case& c : cases) {
    RunParams p;
    p.INDX = c.INDX;
    p.POURC = c.POURC;
    p.NTIR = c.NTIR;
    EXPECT_EQ(nmin_of(c.N, c.POURC), c.NMIN) << c.N << " " << c.POURC;
    EXPECT_EQ(run_params_problem(p, c.N).empty(), c.ok) << c.N << " " << c.INDX << " " << c.POURC;
  }
}

TEST(Rectif, RatioOutsideZeroOneIsRelabelled) {
  struct Case {
    Vec4 a;                    // R, PSI, TETA, PHI
    float R_after, PHI_after;  // PHI_after < 0: not checked
  } const cases[] = {
      {{{2.0f, 0.4f, 1.0f, 0.3f}}, 0.5f, 0.3f + kPI / 2.0f},
      {{{2.0f, 0.4f, 1.0f, 2.0f}}, 0.5f, 2.0f + kPI / 2.0f - kPI},
      {{{2.0f, 0.4f, 1.0f, kPI / 2.0f}}, 0.5f, kPI},  // exactly pi stays
      {{{-1.0f, 0.4f, 1.0f, 0.3f}}, 0.5f, -1.0f},
      {{{-1.0f, 2.5f, 2.0f, 2.9f}}, 0.5f, -1.0f},
      {{{-0.25f, 0.1f, 0.3f, 1.0f}}, 0.2f, -1.0f},
      {{{0.5f, 0.4f, 1.0f, 0.3f}}, 0.5f, 0.3f},
  };
  for (const Case& c : cases) {
    test::Listing f;
    CHANG(f.ws, c.a(1), c.a(2), c.a(3), c.a(4));
    const mec_t before = f.ws.mec;
    float R = c.a(1), PSI = c.a(2), TETA = c.a(3), PHI = c.a(4);
    RECTIF(f.ws, PSI, TETA, PHI, R);
    EXPECT_FLOAT_EQ(R, c.R_after);
    if (c.PHI_after >= 0.0f) {
      EXPECT_EQ(PHI, c.PHI_after) << c.a(4);
    }
    // The same stresses, rescaled so that sigma 1 - sigma 3 = 1 again.
    const float scale = std::fmax(before.VP(1), before.VP(2)) - std::fmin(before.VP(2), before.VP(3));
    CHANG(f.ws, R, PSI, TETA, PHI);
    for (std::size_t n = 0; n < 9; ++n) EXPECT_NEAR(f.ws.mec.TENS.v[n] * scale, before.TENS.v[n], 1e-5f) << n;
  }
}

TEST(Randun, DiscardLandsWhereAsManyCallsWould) {
  for (int n : {0, 1, 2, 4096}) {
    test::Listing stepped, jumped;
    float U = 0.0f;
    for (int k = 0; k < n; ++k) RANDUN(stepped.ws, U);
    discard_randun(jumped.ws, n);
    EXPECT_EQ(std::vector<int>({jumped.ws.randun.I1, jumped.ws.randun.I2, jumped.ws.randun.I3}),
              std::vector<int>({stepped.ws.randun.I1, stepped.ws.randun.I2, stepped.ws.randun.I3}))
        << n;
  }
}

// The imposed axes: a vertical sigma 3 takes the angle of sigma 1, and a PSI
// of pi or more is brought back below pi.
TEST(Eulaz, ImposedAxesGiveNormalisedAngles) {
  struct Case {
    imposed_t axes;
    float PSI, TETA, PHI;
  } const cases[] = {
      {{0, 0, 77, 90, 0.25f}, 90.0f * kRadPerDeg, 0.0f, 0.0f},
      {{200, 0, 0, 90, 0.25f}, 250.0f * kRadPerDeg - kPI, kPI, kPI},
      {{270, 0, 0, 90, 0.25f}, 0.0f, kPI, kPI},
      {{90, 0, 180, 0, 0.25f}, 0.0f, kPI / 2.0f, kPI},  // PSI exactly pi
  };
  for (const Case& c : cases) {
    test::Listing run;
    run.ws.tiraz.INDX = 5;
    run.ws.imposed = c.axes;
    float PSI = -9, TETA = -9, PHI = -9, R = -9;
    EULAZ(run.ws, 1, PSI, TETA, PHI, R);
    EXPECT_NEAR(PSI, c.PSI, 1e-6f) << c.axes.S1DIR;
    EXPECT_NEAR(TETA, c.TETA, 1e-6f) << c.axes.S1DIR;
    EXPECT_NEAR(PHI, c.PHI, 1e-6f) << c.axes.S1DIR;
  }
}

}  // namespace
}  // namespace zk
