// The DATA file: conversion of a record, the selection rule, reading.
#include <cmath>

#include "data/fault_data.hpp"
#include "data_test_util.hpp"

namespace zk {
namespace {

using test::datum;

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

TEST(ConvertDatum, WorkedValuesOfThePitchAndTrendForms) {
  const float h = 0.7071f, t = 0.5774f, n45e[3] = {-h, 0, -h};  // as listed; striking north, dipping 45 east
  struct Case {
    const char* name;
    FaultRecord r;
    float fn[3], str[3];  // fn unset: n45e
  } const cases[] = {
      {"pitch 90 N", rec(0, 45, 'E', 90, 'N', 0, 'N'), {}, {h, 0, -h}},
      {"pitch 30 S normal", rec(0, 45, 'E', 30, 'S', 0, 'N'), {}, {0.3536f, -0.8660f, -0.3536f}},
      {"pitch 30 S dextral", rec(0, 45, 'E', 30, 'S', 0, 'D'), {}, {0.3536f, -0.8660f, -0.3536f}},
      {"pitch 30 S sinistral", rec(0, 45, 'E', 30, 'S', 0, 'S'), {}, {-0.3536f, 0.8660f, 0.3536f}},
      {"pitch 30 S reverse", rec(0, 45, 'E', 30, 'S', 0, 'I'), {}, {-0.3536f, 0.8660f, 0.3536f}},
      {"unknown sense as none", rec(0, 45, 'E', 30, 'S', 0, 'x'), {}, {0.3536f, -0.8660f, -0.3536f}},
      {"trend 45 normal", rec(0, 45, 'E', 0, ' ', 45, 'N'), {}, {t, t, -t}},
      {"trend 45 dextral", rec(0, 45, 'E', 0, ' ', 45, 'D'), {}, {-t, -t, t}},
      {"trend 135 sinistral", rec(0, 45, 'E', 0, ' ', 135, 'S'), {}, {-t, t, t}},
      {"trend 315", rec(0, 45, 'E', 0, ' ', 315, 'N'), {}, {t, -t, -t}},
      {"down dip dextral", rec(0, 45, 'E', 0, ' ', 90, 'D'), {}, {-h, 0, h}},
      {"down dip sinistral", rec(0, 45, 'E', 0, ' ', 90, 'S'), {}, {h, 0, -h}},
      {"dir 120 reverse", rec(120, 30, 'S', 20, 'E', 0, 'I'), {0.25f, 0.4330f, -0.8660f}, {-0.6657f, 0.7264f, 0.1710f}},
      {"pitch 0 is the strike end", rec(30, 60, 'E', 0, 'N', 0, 'N'), {-0.75f, 0.4330f, -0.5f}, {0.5f, 0.8660f, 0}},
      {"vertical, trend on strike", rec(0, 90, 'E', 0, ' ', 180, 'N'), {-1, 0, 0}, {0, -1, 0}},
      {"vertical, trend on strike, S", rec(0, 90, 'E', 0, ' ', 180, 'S'), {-1, 0, 0}, {0, 1, 0}},
  };
  for (const Case& c : cases) {
    Vec3 FN, STR;
    convert_datum(c.r, FN, STR);
    const float* fn = c.r.DIR == 0 && c.r.PEND == 45 ? n45e : c.fn;
    for (int k = 1; k <= 3; ++k) {
      EXPECT_EQ(four_decimals(FN(k)), four_decimals(fn[k - 1])) << c.name << " FN " << k;
      EXPECT_EQ(four_decimals(STR(k)), four_decimals(c.str[k - 1])) << c.name << " STR " << k;
    }
  }
}

// Directions taken modulo 180, the quadrant of a vertical plane ignored;
// whatever the record, a downward unit normal and a unit slip in its plane.
TEST(ConvertDatum, EquivalentRecordsAndUnitVectorsInThePlane) {
  const std::pair<FaultRecord, FaultRecord> same[] = {
      {rec(180, 40, 'E', 25, 'N', 0, 'D'), rec(0, 40, 'E', 25, 'N', 0, 'D')},
      {rec(270, 40, 'N', 25, 'E', 0, 'S'), rec(90, 40, 'N', 25, 'E', 0, 'S')},
      {rec(40, 90, 'x', 35, 'S', 0, 'D'), rec(40, 90, 'N', 35, 'S', 0, 'D')},
  };
  for (const auto& [a, b] : same) {
    Vec3 fa, sa, fb, sb;
    convert_datum(a, fa, sa);
    convert_datum(b, fb, sb);
    EXPECT_TRUE(fa.v == fb.v && sa.v == sb.v) << a.DIR;
  }
  for (int dir = 0; dir < 360; dir += 15)
    for (int pend = 0; pend <= 90; pend += 15)
      for (char qp : {'N', 'S', 'E', 'W', '\0'})
        for (int az : {0, 1, 45, 90, 180, 271})
          for (int pitch : {0, 20, 90})
            for (char qs : {'N', 'S', 'E'}) {
              Vec3 n, s;
              convert_datum(rec(dir, pend, qp, pitch, qs, az, "NIDS"[(dir / 15) % 4]), n, s);
              const float nn = n(1) * n(1) + n(2) * n(2) + n(3) * n(3), ss = s(1) * s(1) + s(2) * s(2) + s(3) * s(3);
              const float ns = n(1) * s(1) + n(2) * s(2) + n(3) * s(3);
              ASSERT_TRUE(std::fabs(nn - 1.0f) < 1e-5f && std::fabs(ss - 1.0f) < 1e-5f && std::fabs(ns) < 1e-5f &&
                          n(3) <= 1e-7f)
                  << dir << " " << pend << " " << qp << " " << az << " " << pitch << " " << qs;
            }
}

TEST(Contro, ParityRule) {
  test::Run run;
  run.ws.eeet.NLIST = 2;
  run.ws.eeet.LIST(1) = 12;
  run.ws.eeet.LIST(2) = 17;
  const int cases[][3] = {
      {0, 12, 1},  {0, 13, 0},   {2, 17, 1},   {3, 12, 0}, {3, 13, 1}, {5, 17, 0},  // even: listed skipped; odd: kept
      {-1, 12, 0}, {-1, 13, -1}, {-2, 12, -1},                                     // negative: nothing skipped
      {2147483647, 12, 0}, {2147483647, 13, 1}, {-2147483647 - 1, 12, -1},          // extremes: no overflow
  };
  for (const auto& [ISEL, NUM, want] : cases) {
    int IFLAG = 99;
    run.ws.eeetc.ISEL = ISEL;
    CONTRO(run.ws, NUM, IFLAG);
    EXPECT_EQ(IFLAG, want) << ISEL << " " << NUM;
  }
}

const std::string kTitle = "Faults of the north quarry";
const std::string kEnd = datum(999, 0, ' ', 0, ' ', 0, ' ', 0) + "\n";

std::vector<int> numbers(const FaultSet& set) {
  std::vector<int> n;
  for (const FaultDatum& d : set.data) n.push_back(d.record.NUM);
  return n;
}

TEST(Geolog, ReadsConvertsAndEchoesTheKeptData) {
  test::Run run;
  run.ws.eeetc.ISEL = 1;
  run.ws.eeetc.IECHO = 1;
  run.data(kTitle + "\n" + datum(0, 45, 'E', 90, 'N', 0, 'N', 11, "ab1") + "\n" +
           datum(120, 30, 'S', 20, 'E', 0, 'I', 7) + "\n" + datum(0, 45, 'E', 0, ' ', 45, 'N', 305, "xyz") + "\n" +
           kEnd + "trailing text is never read\n");
  const FaultSet set = GEOLOG(run.ws);
  EXPECT_EQ(numbers(set), (std::vector<int>{11, 7, 305}));
  EXPECT_EQ(set.data[1].line, 3);
  load_fault_set(run.ws, set);
  EXPECT_NEAR(run.ws.tir.FN(2, 1), 0.25f, 1e-4f);
  EXPECT_NEAR(run.ws.tir.STR(2, 1), -0.6657f, 1e-4f);
  EXPECT_NEAR(run.ws.tir.STR(3, 2), 0.5774f, 1e-4f);
  const std::string title = kTitle + std::string(80 - kTitle.size(), ' ');
  EXPECT_EQ(run.ws.modi2.TITRE.str(), title);
  list_fault_set(run.ws, set);
  EXPECT_EQ(run.output(), (test::Lines{"  Resultats du traitement par le programme ZARKEL", "", " " + title,
                                       "    0    45     E   90   N    0   N    11  ab1",
                                       "  120    30     S   20   E    0   I     7     ",
                                       "    0    45     E    0       45   N   305  xyz"}));
}

TEST(Geolog, BadFilesAreRefusedWithFileAndLine) {
  std::string many, tabbed = datum(10, 40, 'E', 20, 'N', 0, 'N', 3), letter = tabbed;
  for (int k = 1; k <= 301; ++k) many += datum(10, 40, 'E', 20, 'N', 0, 'N', k % 1000) + "\n";
  tabbed[5] = '\t';
  letter[3] = 'x';
  struct Case {
    const char* name;
    std::string file;
    bool refused;  // RunStop rather than InputError
    int line;
    const char* words;
  } const cases[] = {
      {"no terminator", kTitle + "\n" + datum(10, 40, 'E', 20, 'N', 0, 'N', 1) + "\n", false, 2, "terminator"},
      {"empty file", "", false, 0, "title"},
      {"tab", kTitle + "\n\n" + tabbed + "\n" + kEnd, false, 3, "tab character in column 6"},
      {"letter in DIR", kTitle + "\n" + letter + "\n" + kEnd, false, 2, "columns 3-5"},
      {"301 data", kTitle + "\n" + many + kEnd, true, 302, "300"},
      {"a table", "id,dip\n1,RTE,172,81,262,3,sinistral\n", false, 2, "not a table: a spreadsheet export (CSV) is "
                                                                     "converted into a DATA file by zarkel-import"},
  };
  for (const Case& c : cases) {
    test::Run run;
    run.ws.eeetc.ISEL = 1;
    run.data(c.file);
    test::expect_refusal(c.name, [&] { GEOLOG(run.ws); }, c.refused, "DATA file \"", c.line, c.words);
  }
}

// Records that read but are likely mistakes: one warning each, saying how
// they read; kept records only.
TEST(Geolog, WarnsOfRecordsThatReadButAreLikelyMistakes) {
  std::string off = datum(10, 40, 'E', 20, 'N', 0, ' ', 3);
  off[35] = 'I';
  struct Case {
    std::string record;
    const char* warning;  // "": none
  } const cases[] = {
      {datum(10, 40, 'E', 20, 'N', 0, 'N', 1), ""},
      {datum(10, 40, 'E', 0, ' ', 360, 'D', 1), ""},  // 360 is north for an azimuth
      {datum(10, 40, 'E', 20, 'N', 0, 'i', 1), "column 35: sense \"i\" is not N, I, D or S (the letters are upper case): it reads as N"},
      {datum(10, 40, 'E', 20, 'N', 0, ' ', 1), "column 35: no sense letter: it reads as N (normal)"},
      {off, "column 35: no sense letter (the \"I\" in column 36 is one column off)"},
      {datum(10, 40, 'w', 20, 'N', 0, 'N', 1), "column 17: dip quadrant \"w\" is not N, S, E or W (the letters are upper case): it reads as dipping toward 280"},
      {datum(100, 40, 'E', 20, 'x', 0, 'N', 1), "column 26: pitch quadrant \"x\" is not N, S, E or W: the pitch reads as measured from the end toward 280"},
      {datum(10, 95, 'E', 20, 'N', 0, 'N', 1), "columns 10-11: dip 95 is outside 0 to 90"},
      {datum(10, 40, 'E', 99, 'N', 0, 'N', 1), "columns 21-22: pitch 99 is outside 0 to 90"},
      {datum(370, 40, 'E', 20, 'N', 0, 'N', 1), "columns 3-5: strike direction 370 is outside 0 to 359; it reads as 10"},
      {datum(10, 40, 'E', 0, ' ', 370, 'N', 1), "columns 29-31: striation azimuth 370 is outside 1 to 360"},
      {"", "line 3: a blank line among the records reads as a datum (horizontal plane, datum number 0)"},
  };
  for (const Case& c : cases) {
    test::Run run;
    run.ws.eeetc.ISEL = 1;
    run.data(kTitle + "\n" + datum(0, 45, 'E', 90, 'N', 0, 'N', 11) + "\n" + c.record + "\n" + kEnd);
    std::vector<std::string> warnings;
    GEOLOG(run.ws, &warnings);
    if (*c.warning == '\0') {
      EXPECT_TRUE(warnings.empty()) << c.record << ": " << warnings.front();
      continue;
    }
    ASSERT_EQ(warnings.size(), 1u) << c.record;
    EXPECT_EQ(warnings[0].rfind("DATA file \"", 0), 0u) << warnings[0];
    EXPECT_NE(warnings[0].find(c.warning), std::string::npos) << warnings[0];
  }
  // A record left out by the selection gives no warning.
  test::Run run;
  run.ws.eeetc.ISEL = 2;
  run.ws.eeet.NLIST = 1;
  run.ws.eeet.LIST(1) = 4;
  run.data(kTitle + "\n" + datum(10, 95, 'e', 20, 'N', 0, ' ', 4) + "\n" + kEnd);
  std::vector<std::string> warnings;
  GEOLOG(run.ws, &warnings);
  EXPECT_TRUE(warnings.empty());
}

}  // namespace
}  // namespace zk
