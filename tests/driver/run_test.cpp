// Whole runs of the real console program on scripted standard input: the
// listings of the golden cases (every INDX, every IPRINT, selection and echo,
// a slow stage 2, a ratio of 0 in stage 4) must not change by one character,
// and the dialogue must keep its order and never hang on a closed input.
#include "support/programs.hpp"

namespace {

using namespace zk::test;

// Positions of `lines` in `text`, which must appear in this order.
void expect_in_order(const std::string& text, const std::vector<std::string>& lines) {
  std::size_t at = 0;
  for (const auto& l : lines) {
    const std::size_t p = text.find(l, at);
    ASSERT_NE(p, std::string::npos) << "missing or out of order: \"" << l << "\"";
    at = p + l.size();
  }
}

class GoldenListing : public ScratchRun, public ::testing::WithParamInterface<std::string> {};

// A case directory holds PARAMETERS and LISTING, and its own DATA or none
// (the bundled example's).
TEST_P(GoldenListing, IsUnchanged) {
  const fs::path cas = kSource / "tests" / "driver" / "golden" / GetParam();
  const fs::path data = fs::exists(cas / "DATA") ? cas / "DATA" : kSource / "examples" / "DATA";
  const Outcome r = run((cas / "PARAMETERS").string(), data.string());
  ASSERT_EQ(r.status, 0) << r.console;
  EXPECT_EQ(slurp(at("out/LISTING")), slurp(cas / "LISTING"));
}

INSTANTIATE_TEST_SUITE_P(Cases, GoldenListing,
                         ::testing::Values("indx1_full", "indx1_stop_test", "indx2_select_echo", "indx3_keep",
                                           "indx4_full", "indx5_quiet", "indx6_trace", "r0_nearest"));

TEST_F(ScratchRun, DialogueOpensTheThreeFilesInOrder) {
  const Outcome r = run((kSource / "examples" / "PARAMETERS").string(), (kSource / "examples" / "DATA").string());
  ASSERT_EQ(r.status, 0) << r.console;
  expect_in_order(r.console, {"HIT RETURN TO CONTINUE", " OPENING PARAMETERS FILE", " Choose PARAMETERS file name",
                              " OPENING DATA FILE", " Choose DATA file name", " OPENING OUTPUT FILE",
                              " Choose OUTPUT file name", " @ PROGRAM Zarkel", " @ TERMINATED ON:"});
}

TEST_F(ScratchRun, MissingPathWarnsAndAsksAgainThenEndOfInputStops) {
  const Outcome r = console("\nno/such/file\n\n");
  EXPECT_EQ(r.status, 1);
  expect_in_order(r.console, {" Choose PARAMETERS file name", "WARNING", " COULD NOT OPEN PARAMETERS FILE",
                              " File name = no/such/file", " for unit =    3", " ===> RETRYING",
                              " ===> HIT RETURN TO CONTINUE", " Choose PARAMETERS file name",
                              "end of standard input"});
  EXPECT_EQ(console("").status, 1);  // at the header already
}

}  // namespace
