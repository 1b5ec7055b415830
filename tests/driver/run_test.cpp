// Whole runs of the real programs: the listings of the golden cases (every
// INDX, every IPRINT, selection and echo, a stage 2 that starts converged, a
// ratio of 0 in stage 4) and the batch program's results must not change by
// one character, and the dialogue must keep its order and never hang on a
// closed input.
#include <sstream>

#include "frontend/run_error.hpp"
#include "runtime/errors.hpp"
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
                         ::testing::Values("indx1_full", "indx2_select_echo", "indx3_keep", "indx4_full",
                                           "indx5_quiet", "indx6_trace", "indx6_converged", "r0_nearest"));

// The batch program's JSON document and figure: of a run whose data hold a
// direction of 400 (still a datum) and whose stage-1 sigma 1 points just west
// of north, and of a run whose smallest Mohr circle is a fraction of a pixel.
TEST_F(ScratchRun, BatchResultsAreUnchanged) {
  for (const char* name : {"batch_json", "r0_nearest"}) {
    const fs::path cas = kSource / "tests" / "driver" / "golden" / name;
    for (const char* f : {"PARAMETERS", "DATA"}) fs::copy_file(cas / f, at(f), fs::copy_options::overwrite_existing);
    const std::string cmd = "cd " + shell_quoted(dir.string()) + " && " + shell_quoted(ZARKEL_BATCH_BINARY) +
                            " PARAMETERS DATA out/LISTING --starts 1 --json out/result.json --svg out/figure.svg --quiet";
    ASSERT_EQ(std::system(cmd.c_str()), 0) << name;
    EXPECT_TRUE(slurp(at("out/result.json")) == slurp(cas / "result.json")) << name;
    EXPECT_TRUE(slurp(at("out/figure.svg")) == slurp(cas / "figure.svg")) << name;
  }
}

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

// A stop message shows what the file holds without driving the terminal:
// control bytes and bytes that are not text as \xNN, valid UTF-8 as it is,
// and a long quote cut in its middle (its first 300 and last 200 characters).
TEST(StopMessage, QuotesBytesSafelyAndShortensLongValues) {
  const auto shown = [](const std::string& what) {
    std::ostringstream out;
    try {
      throw zk::rt::RunStop(what);
    } catch (...) {
      EXPECT_EQ(zk::report_run_error(out, false), 1);
    }
    return out.str();
  };
  const std::pair<std::string, std::string> cases[] = {
      {"a\x01\x7f" "b", "a\\x01\\x7fb"},
      {"\xc2\x85|\xc3\xa9|\xef\xbb\xbf|\xe2\x82", "\\xc2\\x85|\xc3\xa9|\\xef\\xbb\\xbf|\\xe2\\x82"},
      {std::string(300, 'h') + std::string(10, 'm') + std::string(200, 't'),
       std::string(300, 'h') + " [... 10 characters left out ...] " + std::string(200, 't')},
  };
  for (const auto& [what, want] : cases) EXPECT_EQ(shown(what), "\n *** ZARKEL STOPPED: " + want + "\n");
}

}  // namespace
