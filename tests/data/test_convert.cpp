#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <string>

#include "data/fault_data.hpp"

namespace zk {
namespace {

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

// The value as a listing to four decimals shows it (a negative zero as 0).
int four_decimals(float x) { return static_cast<int>(std::lround(x * 10000.0f)); }

struct Case {
  const char* name;
  FaultRecord r;
  float fn[3];
  float str[3];
};

TEST(ConvertDatum, WorkedValues) {
  const float h = 0.7071f, t = 0.5774f;  // as listed, to 4 decimals
  const Case cases[] = {
      {"pitch 90 N", rec(0, 45, 'E', 90, 'N', 0, 'N'), {-h, 0, -h}, {h, 0, -h}},
      {"pitch 30 S normal", rec(0, 45, 'E', 30, 'S', 0, 'N'), {-h, 0, -h}, {0.3536f, -0.8660f, -0.3536f}},
      {"pitch 30 S dextral", rec(0, 45, 'E', 30, 'S', 0, 'D'), {-h, 0, -h}, {0.3536f, -0.8660f, -0.3536f}},
      {"pitch 30 S sinistral", rec(0, 45, 'E', 30, 'S', 0, 'S'), {-h, 0, -h}, {-0.3536f, 0.8660f, 0.3536f}},
      {"pitch 30 S reverse", rec(0, 45, 'E', 30, 'S', 0, 'I'), {-h, 0, -h}, {-0.3536f, 0.8660f, 0.3536f}},
      {"trend down dip", rec(0, 45, 'E', 0, ' ', 90, 'N'), {-h, 0, -h}, {h, 0, -h}},
      {"trend 45 normal", rec(0, 45, 'E', 0, ' ', 45, 'N'), {-h, 0, -h}, {t, t, -t}},
      {"trend 45 dextral (s = -1)", rec(0, 45, 'E', 0, ' ', 45, 'D'), {-h, 0, -h}, {-t, -t, t}},
      {"trend 45 sinistral", rec(0, 45, 'E', 0, ' ', 45, 'S'), {-h, 0, -h}, {t, t, -t}},
      {"trend 135", rec(0, 45, 'E', 0, ' ', 135, 'N'), {-h, 0, -h}, {t, -t, -t}},
      {"trend 315", rec(0, 45, 'E', 0, ' ', 315, 'N'), {-h, 0, -h}, {t, -t, -t}},
      {"trend 135 sinistral (s = +1)", rec(0, 45, 'E', 0, ' ', 135, 'S'), {-h, 0, -h}, {-t, t, t}},
      {"dir 120 reverse", rec(120, 30, 'S', 20, 'E', 0, 'I'), {0.25f, 0.4330f, -0.8660f}, {-0.6657f, 0.7264f, 0.1710f}},
      {"pitch 0 is the strike end", rec(30, 60, 'E', 0, 'N', 0, 'N'), {-0.75f, 0.4330f, -0.5f}, {0.5f, 0.8660f, 0}},
      {"unknown letter as none", rec(0, 45, 'E', 30, 'S', 0, 'x'), {-h, 0, -h}, {0.3536f, -0.8660f, -0.3536f}},
      // down the dip line, sense D or S: s of the dip quadrant (-1 here)
      {"down dip dextral", rec(0, 45, 'E', 0, ' ', 90, 'D'), {-h, 0, -h}, {-h, 0, h}},
      {"down dip sinistral", rec(0, 45, 'E', 0, ' ', 90, 'S'), {-h, 0, -h}, {h, 0, -h}},
      // vertical plane, trend along the strike: horizontal along the trend
      {"vertical, trend on strike", rec(0, 90, 'E', 0, ' ', 180, 'N'), {-1, 0, 0}, {0, -1, 0}},
      {"vertical, trend on strike, S", rec(0, 90, 'E', 0, ' ', 180, 'S'), {-1, 0, 0}, {0, 1, 0}},
      {"vertical, trend on strike, D", rec(0, 90, 'E', 0, ' ', 180, 'D'), {-1, 0, 0}, {0, -1, 0}},
  };
  for (const Case& c : cases) {
    Vec3 FN, STR;
    convert_datum(c.r, FN, STR);
    for (int k = 1; k <= 3; ++k) {
      EXPECT_EQ(four_decimals(FN(k)), four_decimals(c.fn[k - 1])) << c.name << " FN " << k << " " << FN(k);
      EXPECT_EQ(four_decimals(STR(k)), four_decimals(c.str[k - 1])) << c.name << " STR " << k << " " << STR(k);
    }
  }
}

void expect_same(const FaultRecord& a, const FaultRecord& b, const std::string& what) {
  Vec3 fa, sa, fb, sb;
  convert_datum(a, fa, sa);
  convert_datum(b, fb, sb);
  EXPECT_EQ(fa.v, fb.v) << what;
  EXPECT_EQ(sa.v, sb.v) << what;
}

TEST(ConvertDatum, EquivalentRecords) {
  expect_same(rec(180, 40, 'E', 25, 'N', 0, 'D'), rec(0, 40, 'E', 25, 'N', 0, 'D'), "180 as 0");
  expect_same(rec(360, 40, 'E', 25, 'N', 0, 'D'), rec(0, 40, 'E', 25, 'N', 0, 'D'), "360 as 0");
  expect_same(rec(270, 40, 'N', 25, 'E', 0, 'S'), rec(90, 40, 'N', 25, 'E', 0, 'S'), "270 as 90");
  // pitch case, vertical plane: the dip quadrant read is ignored
  for (char q : {'S', 'E', 'W', 'x'})
    expect_same(rec(40, 90, q, 35, 'S', 0, 'D'), rec(40, 90, 'N', 35, 'S', 0, 'D'), std::string("vertical ") + q);
}

TEST(ConvertDatum, AlwaysUnitVectorsInThePlane) {
  const char letters[] = {'N', 'S', 'E', 'W', '\0'};
  const char senses[] = {'N', 'I', 'D', 'S'};
  for (int dir = 0; dir < 360; dir += 15)
    for (int pend = 0; pend <= 90; pend += 15)
      for (char qp : letters)
        for (int az : {0, 1, 45, 90, 180, 271})
          for (int pitch : {0, 20, 90})
            for (char qs : {'N', 'S', 'E'}) {
              FaultRecord r = rec(dir, pend, qp, pitch, qs, az, senses[(dir / 15) % 4]);
              Vec3 FN, STR;
              convert_datum(r, FN, STR);
              const float nf = FN(1) * FN(1) + FN(2) * FN(2) + FN(3) * FN(3);
              const float ns = STR(1) * STR(1) + STR(2) * STR(2) + STR(3) * STR(3);
              const float d = FN(1) * STR(1) + FN(2) * STR(2) + FN(3) * STR(3);
              const std::string where = std::to_string(dir) + " " + std::to_string(pend) + " " +
                                        std::to_string(az) + " " + std::to_string(pitch);
              ASSERT_NEAR(nf, 1.0f, 1e-5f) << where;
              ASSERT_NEAR(ns, 1.0f, 1e-5f) << where;
              ASSERT_NEAR(d, 0.0f, 1e-5f) << where;
              ASSERT_LE(FN(3), 1e-7f) << where;
            }
}

TEST(Contro, ParityRule) {
  std::istringstream in;
  std::ostringstream out;
  Workspace ws(in, out);
  ws.eeet.NLIST = 2;
  ws.eeet.LIST(1) = 12;
  ws.eeet.LIST(2) = 17;
  struct Case {
    int ISEL, NUM, IFLAG;
  } cases[] = {
      {0, 12, 1}, {0, 13, 0}, {2, 17, 1}, {2, 5, 0},     // even: listed ones skipped
      {3, 12, 0}, {3, 13, 1}, {5, 17, 0}, {5, 5, 1},     // odd: only listed ones kept
      {-1, 12, 0}, {-1, 13, -1}, {-2, 12, -1}, {-2, 5, 0},  // negative: nothing skipped
      {2147483647, 12, 0}, {2147483647, 13, 1}, {-2147483647 - 1, 12, -1},  // extremes: no overflow
  };
  for (const Case& c : cases) {
    int IFLAG = 99;
    ws.eeetc.ISEL = c.ISEL;
    CONTRO(ws, c.NUM, IFLAG);
    EXPECT_EQ(IFLAG, c.IFLAG) << c.ISEL << " " << c.NUM;
  }
}

}  // namespace
}  // namespace zk
