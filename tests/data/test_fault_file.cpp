#include <gtest/gtest.h>

#include <string>

#include "data/fault_data.hpp"
#include "data_test_util.hpp"
#include "runtime/errors.hpp"

namespace zk {
namespace {

using test::datum;

const std::string kTitle = "Faults of the north quarry";
const std::string kEnd = datum(999, 0, ' ', 0, ' ', 0, ' ', 0) + "\n";

TEST(Geolog, ReadsConvertsAndEchoes) {
  test::Run run;
  run.ws.eeetc.ISEL = 1;
  run.ws.eeetc.IECHO = 1;
  run.data(kTitle + "\n" + datum(0, 45, 'E', 90, 'N', 0, 'N', 11, "ab1") + "\n" +
           datum(120, 30, 'S', 20, 'E', 0, 'I', 7) + "\n" + datum(0, 45, 'E', 0, ' ', 45, 'N', 305, "xyz") + "\n" +
           kEnd + "trailing text is never read\n");
  GEOLOG(run.ws);
  const tir_t& t = run.ws.tir;
  ASSERT_EQ(t.N, 3);
  EXPECT_EQ(run.ws.modi1.NUM(1), 11);
  EXPECT_EQ(run.ws.modi1.NUM(2), 7);
  EXPECT_EQ(run.ws.modi1.NUM(3), 305);
  EXPECT_NEAR(t.FN(2, 1), 0.25f, 1e-4f);
  EXPECT_NEAR(t.STR(2, 1), -0.6657f, 1e-4f);
  EXPECT_NEAR(t.STR(3, 2), 0.5774f, 1e-4f);
  EXPECT_EQ(run.ws.modi2.TITRE.str(), kTitle + std::string(80 - kTitle.size(), ' '));

  const auto out = run.output();
  ASSERT_EQ(out.size(), 6u);
  EXPECT_EQ(out[0], "  Resultats du traitement par le programme ZARKEL");
  EXPECT_EQ(out[1], "");
  EXPECT_EQ(out[2], " " + kTitle + std::string(80 - kTitle.size(), ' '));
  EXPECT_EQ(out[3], "    0    45     E   90   N    0   N    11  ab1");
  EXPECT_EQ(out[4], "  120    30     S   20   E    0   I     7     ");
  EXPECT_EQ(out[5], "    0    45     E    0       45   N   305  xyz");
}

TEST(Geolog, SelectionSkipsWithoutTrace) {
  test::Run run;
  run.ws.eeetc.ISEL = 0;
  run.ws.eeetc.IECHO = 1;
  run.ws.eeet.NLIST = 2;
  run.ws.eeet.LIST(1) = 12;
  run.ws.eeet.LIST(2) = 15;
  std::string text = kTitle + "\n";
  for (int num : {11, 12, 13, 15, 16}) text += datum(10 * num, 30, 'N', 10, 'N', 0, 'N', num) + "\n";
  run.data(text + kEnd);
  GEOLOG(run.ws);
  ASSERT_EQ(run.ws.tir.N, 3);
  EXPECT_EQ(run.ws.modi1.NUM(1), 11);
  EXPECT_EQ(run.ws.modi1.NUM(2), 13);
  EXPECT_EQ(run.ws.modi1.NUM(3), 16);
  EXPECT_EQ(run.output().size(), 3u + 3u);

  // only the listed ones
  test::Run odd;
  odd.ws.eeetc.ISEL = 3;
  odd.ws.eeet = run.ws.eeet;
  odd.data(text + kEnd);
  GEOLOG(odd.ws);
  ASSERT_EQ(odd.ws.tir.N, 2);
  EXPECT_EQ(odd.ws.modi1.NUM(2), 15);
  EXPECT_TRUE(odd.output().empty());  // IECHO = 0 writes nothing
}

TEST(Geolog, ThreeHundredDataFillTheAreas) {
  test::Run run;
  run.ws.eeetc.ISEL = 1;
  std::string text = kTitle + "\n";
  for (int k = 1; k <= 300; ++k) text += datum(k % 360, 40, 'E', 20, 'N', 0, 'N', k % 1000) + "\n";
  run.data(text + kEnd);
  GEOLOG(run.ws);
  EXPECT_EQ(run.ws.tir.N, 300);
  EXPECT_EQ(run.ws.modi1.NUM(300), 300);
}

TEST(Geolog, BadFilesAreRefusedWithFileAndLine) {
  std::string many;
  for (int k = 1; k <= 301; ++k) many += datum(10, 40, 'E', 20, 'N', 0, 'N', k % 1000) + "\n";
  std::string tabbed = datum(10, 40, 'E', 20, 'N', 0, 'N', 3);
  tabbed[5] = '\t';
  std::string letter = datum(10, 40, 'E', 20, 'N', 0, 'N', 3);
  letter[3] = 'x';
  std::string nul = datum(10, 40, 'E', 20, 'N', 0, 'N', 3);
  nul[20] = '\0';
  struct Case {
    const char* name;
    std::string file;
    bool refused;  // RunStop rather than InputError
    int line;
    const char* words;
  } cases[] = {
      {"no terminator", kTitle + "\n" + datum(10, 40, 'E', 20, 'N', 0, 'N', 1) + "\n", false, 2, "terminator"},
      {"nothing after the title", kTitle + "\n", false, 1, "terminator"},
      {"empty file", "", false, 0, "title"},
      {"tab", kTitle + "\n\n" + tabbed + "\n" + kEnd, false, 3, "tab character in column 6"},
      {"letter in DIR", kTitle + "\n" + letter + "\n" + kEnd, false, 2, "columns 3-5"},
      {"NUL in PITCH", kTitle + "\n" + nul + "\n" + kEnd, false, 2, "columns 21-22"},
      {"301 data", kTitle + "\n" + many + kEnd, true, 302, "300"},
  };
  for (const Case& c : cases) {
    test::Run run;
    run.ws.eeetc.ISEL = 1;
    run.data(c.file);
    test::expect_refusal(c.name, [&] { GEOLOG(run.ws); }, c.refused, "DATA file \"", c.line, c.words);
  }
}

}  // namespace
}  // namespace zk
