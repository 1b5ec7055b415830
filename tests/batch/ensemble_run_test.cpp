// zarkel-batch with several starts and a bootstrap, run as a user would: the
// same bytes for any number of jobs, the chosen start's listing reproduced by
// the console program, the refusals, the progress line and the signals.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "batch_files.hpp"

namespace zk::test {
namespace {

using nlohmann::json;

class EnsembleRun : public ScratchTest {
 protected:
  // The example with its listing, JSON and figure under `tag`.
  Outcome run(const std::string& tag, std::vector<std::string> options) {
    std::vector<std::string> args = {example("PARAMETERS"), example("DATA"), at("L").string(), "--json",
                                     at("j").string(), "--svg", at("s").string()};
    args.insert(args.end(), options.begin(), options.end());
    return tagged_batch(tag, args, {"L", "j", "s"});
  }
  std::string bytes(const std::string& tag) { return tagged_bytes(tag, {"L", "j", "s"}); }
};

TEST_F(EnsembleRun, SameBytesForAnyJobsAndTheListingOfTheChosenStart) {
  ASSERT_EQ(run("plain", {}).status, 0);
  ASSERT_EQ(run("ten", {"--starts", "10", "--jobs", "2"}).status, 0);
  EXPECT_TRUE(bytes("plain") == bytes("ten")) << "the default is not --starts 10";

  const std::vector<std::string> ensemble = {"--starts", "3", "--bootstrap", "20", "--bootstrap-seed", "5"};
  std::vector<std::string> outs;
  for (const char* jobs : {"1", "2", "3"}) {
    auto options = ensemble;
    options.insert(options.end(), {"--jobs", jobs});
    const Outcome r = run(jobs, options);
    ASSERT_EQ(r.status, 0) << r.err;
    // standard error is not a terminal: no progress line, only the warning
    EXPECT_EQ(r.err, "warning: a bootstrap of 20 replicates gives rough intervals and quality rank (100 or more "
                     "advised)\n");
    outs.push_back(r.out);
  }
  EXPECT_TRUE(bytes("1") == bytes("2")) << "--jobs 2 changed the results";
  EXPECT_TRUE(bytes("1") == bytes("3")) << "--jobs 3 changed the results";
  EXPECT_EQ(outs[0], outs[1]);

  const json doc = json::parse(slurp(at("1j")));
  const json& st = doc["starts"];
  ASSERT_EQ(st["count"], 3);
  const int chosen = st["chosen"];
  double lowest = 1e30;
  for (const json& r : st["runs"]) lowest = std::min(lowest, r["F"].get<double>());
  EXPECT_EQ(st["runs"][chosen]["F"].get<double>(), lowest);
  EXPECT_EQ(st["runs"][chosen]["F"], doc["final"]["misfit_sum_rad2"]);
  expect_valid_results({at("1j")});
  EXPECT_EQ(st["runs"][chosen]["axes"], doc["final"]["axes"]);
  EXPECT_EQ(st["minima"][0]["F"].get<double>(), lowest);

  const json& bs = doc["bootstrap"];
  EXPECT_EQ(bs["replicates"], 20);
  EXPECT_EQ(bs["confidence"], 0.95);
  EXPECT_EQ(bs["seed"], 5);
  EXPECT_EQ(bs["samples"].size() + bs["failed"].get<std::size_t>(), 20u);
  EXPECT_LE(bs["R"]["low"].get<double>(), bs["R"]["high"].get<double>());
  for (const json& a : bs["axes"]) EXPECT_TRUE(a["cone_deg"] >= 0.0 && a["cone_deg"] <= 90.0) << a;
  // The summary line tells the chosen start and the cones.
  EXPECT_NE(outs[0].find("start " + std::to_string(chosen) + " of 3 (NSEED " + std::to_string(st["NSEED"].get<int>())),
            std::string::npos) << outs[0];
  EXPECT_NE(outs[0].find("95% cones sigma1 "), std::string::npos) << outs[0];

  const std::string svg = slurp(at("1s"));
  EXPECT_EQ(shell("xmllint --noout " + shell_quoted(at("1s").string())).status, 0);
  EXPECT_NE(svg.find("id=\"replicates\" data-count=\"" + std::to_string(bs["samples"].size()) + "\""), std::string::npos);
  EXPECT_NE(svg.find("class=\"cone\" data-sigma=\"3\""), std::string::npos);

  // The console program with the chosen start's NSEED writes the same listing.
  const std::string example_parameters = slurp(example("PARAMETERS"));
  spit(at("P"), "1 0\n1 80 500 " + std::to_string(st["NSEED"].get<int>()) + " 2\n");
  ASSERT_EQ(example_parameters.substr(0, 16), "1 0\n1 80 500 7 2") << "the example's parameters changed";
  ASSERT_EQ(console(at("P").string(), example("DATA"), at("console.lst").string()).status, 0);
  EXPECT_TRUE(slurp(at("console.lst")) == slurp(at("1L"))) << "the chosen start's listing differs";
}

// Twelve noisy strike-slip data whose starts end in two different stress
// states of nearly the same misfit: the warning names the other one and goes
// with the summary line, or alone on standard error when no summary line is
// written. Data whose sigma 2 and sigma 3 are nearly equal (R 0.05): starts
// that differ only by how those two turn are one stress state, no warning.
TEST_F(EnsembleRun, AmbiguityIsSaidWithOrWithoutTheSummaryLine) {
  const struct {
    const char* data;
    std::vector<std::string> options;
    bool on_stdout, on_stderr;
  } cases[] = {{"ambiguous", {}, true, false},      {"ambiguous", {"--quiet"}, false, true},
               {"ambiguous", {"--json", "-"}, false, true}, {"same_state", {"--json", "-"}, false, false}};
  for (const auto& c : cases) {
    std::vector<std::string> args = {example("PARAMETERS"), ZARKEL_SOURCE_DIR "/tests/batch/" + std::string(c.data) + ".DATA",
                                     at("L").string()};
    args.insert(args.end(), c.options.begin(), c.options.end());
    const Outcome r = batch(args);
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string said = "warning: ambiguous answer: another minimum ";
    EXPECT_EQ(r.out.find(said) != std::string::npos, c.on_stdout) << r.out;
    EXPECT_EQ(r.err.find(said) != std::string::npos, c.on_stderr) << r.err;
    EXPECT_EQ(r.out.find("is a different stress state (stress difference ") != std::string::npos, c.on_stdout);
    if (c.options.size() == 2) {
      const json st = json::parse(r.out)["starts"];
      EXPECT_EQ(st["ambiguous"], c.on_stderr) << c.data;
      EXPECT_EQ(st["minima"][1]["stress_difference_deg"] > 10.0, true) << c.data;
    }
  }
}

}  // namespace
}  // namespace zk::test
