#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "data/parameters.hpp"
#include "data/random.hpp"
#include "data_test_util.hpp"

namespace zk {
namespace {

std::string lines(int n, const std::string& line) {
  std::string s;
  for (int k = 0; k < n; ++k) s += line + "\n";
  return s;
}

TEST(Enreg, SelectionRecordsThenRecord3) {
  std::vector<int> twenty_pairs;
  for (int k = 0; k < 20; ++k) twenty_pairs.insert(twenty_pairs.end(), {1, 2});
  struct Case {
    const char* name;
    std::string file;
    int ISEL;
    std::vector<int> list;
    int next;  // first value of the record after the selection (0: none)
  } cases[] = {
      {"all data", "1 0\n3 100 10 0 0\n", 1, {}, 3},
      {"999 ends the list", "0 1\n12 17 999 40\n2 100 10 0 0\n", 0, {12, 17}, 2},
      {"zero ignored", "0 0\n12 0 15 999\n4 100 10 0 0\n", 0, {12, 15}, 4},
      {"rest of the 999 line unread", "3 0\n7 999 8\n5 100 10 0 0\n", 3, {7}, 5},
      {"over lines, tabs, signs", "0 0\n\t12\t-3  +4\n\n 0999 5\n6 100 10 0 0\n", 0, {12, -3, 4}, 6},
      {"21st line dropped", "0 0\n" + lines(21, "1 2") + "3 100 10 0 0\n", 0, twenty_pairs, 3},
      {"end of file ends the list", "0 0\n4 5\n", 0, {4, 5}, 0},
      {"columns past 80 ignored", "0 0\n" + std::string(78, ' ') + "1234\n999\n2 100 10 0 0\n", 0, {12}, 2},
  };
  for (const Case& c : cases) {
    test::Run run;
    run.parameters(c.file);
    ENREG(run.ws);
    EXPECT_EQ(run.ws.eeetc.ISEL, c.ISEL) << c.name;
    const std::vector<int> list(run.ws.eeet.LIST.v.begin(), run.ws.eeet.LIST.v.begin() + run.ws.eeet.NLIST);
    EXPECT_EQ(list, c.list) << c.name;
    if (c.next == 0) continue;
    int next = 0;
    run.ws.units.read_list(3, rt::target(next));
    EXPECT_EQ(next, c.next) << c.name;
  }
}

std::string boxed(const std::string& inner) { return test::at_column(inner, 80, "*"); }

TEST(RunParameters, BoxEchoAndValues) {
  test::Run run;
  run.ws.tir.N = 37;
  const std::string title = "Quarry A, set 3" + std::string(44, '.') + "|tail of the title|";
  run.ws.modi2.TITRE = title;
  run.parameters("1 80\n 1000, 7\n -2\n");
  const RunParams p = read_run_parameters(run.ws);
  EXPECT_EQ(p.INDX, 1);
  EXPECT_EQ(p.NTIR, 1000);
  EXPECT_EQ(p.IPRINT, -2);
  EXPECT_EQ(p.NTRI, 50);
  EXPECT_EQ(run.ws.tiraz.INDX, 1);
  EXPECT_EQ(run.ws.tiraz.NSEED, 7);
  test::Run seeded;
  discard_randun(seeded.ws, 7);
  EXPECT_EQ(run.ws.randun.I3, seeded.ws.randun.I3);

  const std::vector<std::string> expected = {
      "",
      "",
      " *******************     PARAMETRES CHOISIS     ********************************",
      boxed(" *"),
      boxed(" *  " + title.substr(0, 59)),
      boxed(" *  " + title.substr(59, 21)),
      boxed(" *"),
      boxed(" *  VALEUR DE INDX CHOISIE 1"),
      boxed(" *  POURC ENTAGE SERVANT A LA MINIMISATION   80"),
      boxed(" *  NOMBRE  DE TIRAGES AU HASARD:   ***"),
      boxed(" *  NOMBRE SERVANT A CE TIRAGE          7"),
      boxed(" *  NOMBRE DE TRIS DURANT LA MINIMISATION    50"),
      boxed(" *"),
      "  " + std::string(77, '*'),
  };
  EXPECT_EQ(run.output(), expected);
}

TEST(RunParameters, NminFromPourc) {
  struct Case {
    int N, POURC, NMIN;
  } cases[] = {{37, 100, 37}, {37, 80, 29}, {300, 2, 6}, {5, 100, 5}, {10, 50, 5}};
  for (const Case& c : cases) {
    test::Run run;
    run.ws.tir.N = c.N;
    run.parameters("5 " + std::to_string(c.POURC) + " 0 0 0\n");  // imposed: no draw needed
    read_run_parameters(run.ws);
    EXPECT_EQ(run.ws.ind.NMIN, c.NMIN) << c.N << " " << c.POURC;
  }
}

TEST(RunParameters, BadFilesAreRefusedBeforeAnyStage) {
  std::string many = "0 0\n";
  for (int k = 1; k <= 201; ++k) many += std::to_string(k) + (k % 19 == 0 ? "\n" : " ");
  struct Case {
    const char* name;
    int N;
    std::string file;
    bool refused;
    int line;
    const char* words;
  } cases[] = {
      {"letter in token", 37, "0 0\n12 1x7 999\n", false, 2, "column 4"},
      {"10 characters", 37, "0 0\n1234567890 999\n", false, 2, "1234567890"},
      {"sign alone", 37, "0 0\n5 - 999\n", false, 2, "\"-\""},
      {"decimal point in list", 37, "0 0\n5 1.5 999\n", false, 2, "1.5"},
      {"more than 200 numbers", 37, many + "\n999\n", true, 12, "200"},
      {"switch not an integer", 37, "0.5 1\n", false, 1, "ISEL IECHO"},
      {"empty file", 37, "", false, 0, "ISEL IECHO"},
      {"letter", 37, "1 0\n1 80 x 0 0\n", false, 2, "run parameters INDX POURC NTIR NSEED IPRINT"},
      {"decimal point", 37, "1 0\n1 80\n10.5 0 0\n", false, 3, "run parameters INDX POURC NTIR NSEED IPRINT"},
      {"end of file", 37, "1 0\n1 80 10\n", false, 2, "run parameters INDX POURC NTIR NSEED IPRINT"},
      {"NMIN below 5", 37, "1 0\n1 10 10 0 0\n", true, 2, "NMIN = 3"},
      {"NMIN above N", 37, "1 0\n1 103 10 0 0\n", true, 2, "NMIN = 38"},
      {"POURC huge", 300, "1 0\n1 2000000000 10 0 0\n", true, 2, "POURC = 2000000000"},
      {"POURC negative", 300, "1 0\n1 -50 10 0 0\n", true, 2, "NMIN = -150"},
      {"too few data", 4, "1 0\n1 100 10 0 0\n", true, 2, "N = 4"},
      {"no draw", 37, "1 0\n\n2 100 0 0 0\n", true, 3, "NTIR = 0"},
      {"no draw, INDX below 1", 37, "1 0\n0 100 -3 0 0\n", true, 2, "NTIR = -3"},
  };
  for (const Case& c : cases) {
    test::Run run;
    run.ws.tir.N = c.N;
    run.parameters(c.file);
    test::expect_refusal(
        c.name, [&] {
          ENREG(run.ws);
          read_run_parameters(run.ws);
        },
        c.refused, "params.txt", c.line, c.words);
  }
}

TEST(RunParameters, ImposedTensorReadAndEchoed) {
  test::Run run;
  run.parameters("0.5, 1.25\n 3.0 0.4\n");
  Vec4 P;
  read_imposed_tensor(run.ws, P);
  EXPECT_EQ(P.v, (std::array<float, 4>{0.5f, 1.25f, 3.0f, 0.4f}));
  EXPECT_EQ(run.output(), std::vector<std::string>{boxed(" *     PSI=  0.5000  TETA=  1.2500  PHI=  3.0000  R=  0.4000")});
}

}  // namespace
}  // namespace zk
