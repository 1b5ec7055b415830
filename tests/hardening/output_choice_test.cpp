// The OUTPUT a geologist picks: an input file under another spelling, a
// directory, a missing directory, a link to last week's listing. Nothing is
// overwritten that should not be, and nothing is left behind.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/programs.hpp"

namespace zk::test {
namespace {

constexpr const char* kPrevious = "previous listing\n";

struct Choice {
  const char* name;
  std::vector<std::string> answers;  // after the RETURN at the header
  int status;
  int refusals;  // "COULD NOT OPEN" frames expected
};

void PrintTo(const Choice& c, std::ostream* os) { *os << c.name; }

class OutputChoice : public ScratchRun, public ::testing::WithParamInterface<Choice> {};

int count(const std::string& text, const std::string& what) {
  int n = 0;
  for (auto p = text.find(what); p != std::string::npos; p = text.find(what, p + 1)) ++n;
  return n;
}

TEST_P(OutputChoice, RefusesWhatItMustAndKeepsTheInputs) {
  const Choice& c = GetParam();
  fs::copy_file(corpus_dir() / "good" / "PARAMETERS", at("PARAMETERS"));
  fs::copy_file(corpus_dir() / "good" / "DATA", at("DATA"));
  const std::string parameters = slurp(at("PARAMETERS"));
  const std::string data = slurp(at("DATA"));
  spit(at("out/OLD"), kPrevious);
  fs::create_symlink("OLD", at("out/LINK"));
  fs::create_directory(at("out/sub"));

  std::string input = "\n";
  for (const std::string& a : c.answers) input += a + "\n";
  const Outcome r = console(input);

  ASSERT_NE(r.status, kTimedOut);
  EXPECT_EQ(r.status, c.status) << r.console;
  EXPECT_EQ(count(r.console, "COULD NOT OPEN"), c.refusals) << r.console;
  EXPECT_EQ(slurp(at("PARAMETERS")), parameters);
  EXPECT_EQ(slurp(at("DATA")), data);
  EXPECT_TRUE(fs::is_symlink(at("out/LINK")));
  EXPECT_TRUE(fs::is_directory(at("out/sub")));
  EXPECT_TRUE(fs::is_empty(at("out/sub")));
  const std::vector<std::string> left = strays({"OLD", "LINK", "sub", "NEW"});
  EXPECT_TRUE(left.empty()) << "left in the output directory: " << left.front();
  if (c.status != 0) {
    EXPECT_EQ(slurp(at("out/OLD")), kPrevious);
  }
}

// A refused answer is followed by the RETURN its warning waits for ("").
const Choice kChoices[] = {
    {"OutputIsTheParametersFile", {"PARAMETERS", "DATA", "PARAMETERS", "", "out/NEW"}, 0, 1},
    {"OutputIsTheDataFileSpelledOtherwise", {"PARAMETERS", "DATA", "./out/../DATA", "", "out/NEW"}, 0, 1},
    {"OutputIsADirectory", {"PARAMETERS", "DATA", "out/sub", "", "out/NEW"}, 0, 1},
    {"OutputInAMissingDirectory", {"PARAMETERS", "DATA", "out/none/LISTING", "", "out/NEW"}, 0, 1},
    {"EmptyAnswersAreAskedAgain", {"PARAMETERS", "", "", "DATA", "  ", "", "out/NEW"}, 0, 2},
    {"InputEndsAfterARefusal", {"PARAMETERS", "DATA", "DATA"}, 1, 1},
    {"MissingParametersFileThenTheRightOne", {"PARAMETRES", "", "PARAMETERS", "DATA", "out/NEW"}, 0, 1},
    {"DataFileIsADirectory", {"PARAMETERS", "out", "", "DATA", "out/NEW"}, 0, 1},
    {"ThroughALinkToLastWeeksListing", {"PARAMETERS", "DATA", "out/LINK"}, 0, 0},
    {"PathWithTrailingCarriageReturn", {"PARAMETERS\r", "DATA\r", "out/NEW\r"}, 0, 0},
    {"PathWithCarriageReturnThenBlanks", {"PARAMETERS", "DATA\r  ", "out/NEW \r"}, 0, 0},
};

INSTANTIATE_TEST_SUITE_P(Dialogue, OutputChoice, ::testing::ValuesIn(kChoices),
                         [](const ::testing::TestParamInfo<Choice>& i) { return std::string(i.param.name); });

TEST_F(ScratchRun, ListingThroughALinkReplacesTheFileItPointsTo) {
  fs::copy_file(corpus_dir() / "good" / "PARAMETERS", at("PARAMETERS"));
  fs::copy_file(corpus_dir() / "good" / "DATA", at("DATA"));
  spit(at("out/OLD"), kPrevious);
  fs::create_symlink("OLD", at("out/LINK"));
  ASSERT_EQ(run("PARAMETERS", "DATA", "out/LINK").status, 0);
  EXPECT_TRUE(fs::is_symlink(at("out/LINK")));
  EXPECT_NE(slurp(at("out/OLD")), kPrevious);
  EXPECT_EQ(slurp(at("out/OLD")), slurp(at("out/LINK")));
}

}  // namespace
}  // namespace zk::test
