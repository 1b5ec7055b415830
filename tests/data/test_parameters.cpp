#include "data/parameters.hpp"
#include "data/random.hpp"
#include "data_test_util.hpp"

namespace zk {
namespace {

// `inner` padded with blanks to column 79, then the box's right side.
std::string boxed(std::string inner) {
  inner.resize(79, ' ');
  return inner + "*";
}

TEST(Enreg, SelectionRecordsThenRecord3) {
  std::string lines21;
  std::vector<int> twenty_pairs;
  for (int k = 0; k < 21; ++k) lines21 += "1 2\n";
  for (int k = 0; k < 20; ++k) twenty_pairs.insert(twenty_pairs.end(), {1, 2});
  struct Case {
    const char* name;
    std::string file;
    int ISEL;
    std::vector<int> list;
    int next;  // first value of the record after the selection (0: none)
  } const cases[] = {
      {"all data", "1 0\n3 100 10 0 0\n", 1, {}, 3},
      {"999 ends the list, the rest of its line unread", "3 1\n12 17 999 40\n2 100 10 0 0\n", 3, {12, 17}, 2},
      {"zero ignored", "0 0\n12 0 15 999\n4 100 10 0 0\n", 0, {12, 15}, 4},
      {"over lines, tabs, signs", "0 0\n\t12\t-3  +4\n\n 0999 5\n6 100 10 0 0\n", 0, {12, -3, 4}, 6},
      {"21st line dropped", "0 0\n" + lines21 + "3 100 10 0 0\n", 0, twenty_pairs, 3},
      {"columns past 80 ignored", "0 0\n" + std::string(78, ' ') + "1234\n999\n2 100 10 0 0\n", 0, {12}, 2},
  };
  for (const Case& c : cases) {
    test::Run run;
    run.parameters(c.file);
    ENREG(run.ws);
    EXPECT_EQ(run.ws.eeetc.ISEL, c.ISEL) << c.name;
    EXPECT_EQ(std::vector<int>(run.ws.eeet.LIST.v.begin(), run.ws.eeet.LIST.v.begin() + run.ws.eeet.NLIST), c.list)
        << c.name;
    int next = 0;
    if (c.next != 0) run.ws.units.read_list(3, rt::target(next));
    EXPECT_EQ(next, c.next) << c.name;
  }
}

TEST(RunParameters, BoxEchoValuesAndNmin) {
  test::Run run;
  const std::string title = "Quarry A, set 3" + std::string(44, '.') + "|tail of the title|";
  run.ws.modi2.TITRE = title;
  run.parameters("1 80\n 1000, 7\n -2\n");
  const RunParams p = read_run_parameters(run.ws, 37);
  EXPECT_EQ(std::vector<int>({p.INDX, p.POURC, p.NTIR, p.NSEED, p.IPRINT, p.NTRI}),
            std::vector<int>({1, 80, 1000, 7, -2, 50}));
  list_run_parameters(run.ws, p);
  const test::Lines l = run.output();
  ASSERT_EQ(l.size(), 14u);
  EXPECT_EQ(l[4], boxed(" *  " + title.substr(0, 59)));  // the title on two lines
  EXPECT_EQ(l[5], boxed(" *  " + title.substr(59, 21)));
  EXPECT_EQ(l[9], boxed(" *  NOMBRE  DE TIRAGES AU HASARD:   ***"));

  const int nmin[][3] = {{37, 100, 37}, {300, 2, 6}, {10, 50, 5}, {37, 80, 29}};  // N, POURC, NMIN
  for (const auto& [N, POURC, NMIN] : nmin) EXPECT_EQ(nmin_of(N, POURC), NMIN) << N << " " << POURC;
}

TEST(RunParameters, BadFilesAreRefusedBeforeAnyStage) {
  std::string many = "0 0\n";
  for (int k = 1; k <= 201; ++k) many += std::to_string(k) + (k % 19 == 0 ? "\n" : " ");
  const std::string record3 = "run parameters INDX POURC NTIR NSEED IPRINT";
  struct Case {
    const char* name;
    int N;
    std::string file;
    bool refused;
    int line;
    std::string words;
  } const cases[] = {
      {"letter in token", 37, "0 0\n12 1x7 999\n", false, 2, "column 4"},
      {"decimal point in list", 37, "0 0\n5 1.5 999\n", false, 2, "1.5"},
      {"more than 200 numbers", 37, many + "\n999\n", true, 12, "200"},
      {"empty file", 37, "", false, 0, "ISEL IECHO"},
      {"letter", 37, "1 0\n1 80 x 0 0\n", false, 2, record3},
      {"NMIN below 5", 37, "1 0\n1 10 10 0 0\n", true, 2, "NMIN = 3"},
      {"NMIN above N", 37, "1 0\n1 103 10 0 0\n", true, 2, "NMIN = 38"},
      {"too few data", 4, "1 0\n1 100 10 0 0\n", true, 2, "N = 4"},
      {"no draw", 37, "1 0\n\n2 100 0 0 0\n", true, 3, "NTIR = 0"},
      {"not a mode, before record 4a", 37, "1 0\n9 100 10 0 0\n", true, 2, "INDX = 9 in the run parameters"},
      {"record 4a missing", 37, "1 0\n2 100 10 0 0\n", false, 2, "imposed axes"},
  };
  for (const Case& c : cases) {
    test::Run run;
    run.parameters(c.file);
    test::expect_refusal(
        c.name, [&] {
          ENREG(run.ws);
          read_run_parameters(run.ws, c.N);
        },
        c.refused, "params.txt", c.line, c.words);
  }
}

TEST(RunParameters, ImposedTensorReadAndEchoed) {
  test::Run run;
  run.parameters("6 100 0 0 0\n0.5, 1.25\n 3.0 0.4\n");
  const RunParams p = read_run_parameters(run.ws, 10);
  EXPECT_EQ(p.euler.v, (std::array<float, 4>{0.5f, 1.25f, 3.0f, 0.4f}));
  list_run_parameters(run.ws, p);
  EXPECT_EQ(run.output().back(), boxed(" *     PSI=  0.5000  TETA=  1.2500  PHI=  3.0000  R=  0.4000"));
}

}  // namespace
}  // namespace zk
