#include "batch/command_line.hpp"

#include <gtest/gtest.h>

#include "batch_files.hpp"

namespace zk::batch {
namespace {

namespace fs = std::filesystem;
using Action = CommandLine::Action;

struct ParseCase {
  const char* name;
  std::vector<std::string> args;
  Action action;
  const char* error_part;  // Usage only
  Options expect;          // Run only
};

class ParseTable : public ::testing::TestWithParam<ParseCase> {};

TEST_P(ParseTable, ParsesAsExpected) {
  const ParseCase& c = GetParam();
  const CommandLine cl = parse_command_line(c.args);
  ASSERT_EQ(cl.action, c.action) << cl.error;
  if (c.action == Action::Usage) {
    EXPECT_NE(cl.error.find(c.error_part), std::string::npos) << cl.error;
  }
  if (c.action == Action::Run) {
    EXPECT_EQ(cl.options.parameters, c.expect.parameters);
    EXPECT_EQ(cl.options.data, c.expect.data);
    EXPECT_EQ(cl.options.output, c.expect.output);
    EXPECT_EQ(cl.options.svg, c.expect.svg);
    EXPECT_EQ(cl.options.json, c.expect.json);
    EXPECT_EQ(cl.options.quiet, c.expect.quiet);
    EXPECT_EQ(cl.options.figure.planes, c.expect.figure.planes);
    EXPECT_EQ(cl.options.figure.labels, c.expect.figure.labels);
    EXPECT_EQ(cl.options.starts, c.expect.starts);
    EXPECT_EQ(cl.options.bootstrap, c.expect.bootstrap);
    EXPECT_EQ(cl.options.confidence, c.expect.confidence);
    EXPECT_EQ(cl.options.bootstrap_seed, c.expect.bootstrap_seed);
    EXPECT_EQ(cl.options.jobs, c.expect.jobs);
    EXPECT_EQ(cl.options.progress, c.expect.progress);
  }
}

INSTANTIATE_TEST_SUITE_P(
    CommandLine, ParseTable,
    ::testing::Values(
        ParseCase{"plain", {"P", "D", "O"}, Action::Run, "", {"P", "D", "O", "", "", false, {}}},
        ParseCase{"all_options_between_operands",
                  {"--quiet", "P", "--svg", "f.svg", "D", "--json=r.json", "O"},
                  Action::Run, "", {"P", "D", "O", "f.svg", "r.json", true, {}}},
        ParseCase{"dash_operand_after_double_dash", {"P", "--", "--odd", "O"}, Action::Run, "",
                  {"P", "--odd", "O", "", "", false, {}}},
        ParseCase{"lone_dash_is_an_operand", {"-", "D", "O"}, Action::Run, "", {"-", "D", "O", "", "", false, {}}},
        ParseCase{"figure_options", {"P", "D", "O", "--labels", "--svg", "f.svg", "--no-planes"}, Action::Run, "",
                  {"P", "D", "O", "f.svg", "", false, {false, true}}},
        ParseCase{"couples_without_figure", {"P", "D", "O", "--couples"}, Action::Usage,
                  "--couples changes the figure: give --svg FILE", {}},
        ParseCase{"help", {"P", "--help"}, Action::Help, "", {}},
        ParseCase{"version", {"--version"}, Action::Version, "", {}},
        ParseCase{"ensemble_options",
                  {"P", "--starts=3", "D", "--bootstrap", "0", "--confidence", "68.3", "--bootstrap-seed",
                   "18446744073709551615", "--jobs", "+2", "--progress", "O"},
                  Action::Run, "",
                  {"P", "D", "O", "", "", false, {}, 3, 0, 68.3, 18446744073709551615ULL, 2, true}},
        ParseCase{"help_before_unknown", {"--help", "--bogus"}, Action::Help, "", {}},
        // The order of the checks: given once with a value, then what it belongs
        // with, then its value; the first fault found is the one reported.
        ParseCase{"phase_option_need_before_its_range", {"P", "D", "O", "--max-phases", "9"}, Action::Usage,
                  "--max-phases belongs to a separation of phases", {}},
        ParseCase{"given_twice_before_the_need", {"P", "D", "O", "--friction", "1", "--friction", "2"}, Action::Usage,
                  "option --friction given twice", {}},
        ParseCase{"figure_need_before_values", {"P", "D", "O", "--starts", "0", "--labels"}, Action::Usage,
                  "--labels changes the figure", {}},
        ParseCase{"mechanism_option_need_before_its_value", {"P", "D", "O", "--plane-choice", "bad"}, Action::Usage,
                  "--plane-choice belongs to a run on focal mechanisms: give --mechanisms", {}},
        ParseCase{"missing_value_before_a_bad_value", {"P", "D", "O", "--mechanisms", "--plane-choice", "bad", "--friction"},
                  Action::Usage, "option --friction needs a value", {}},
        ParseCase{"mechanism_choice_words", {"P", "D", "O", "--mechanisms", "--plane-choice", "bad"}, Action::Usage,
                  "--plane-choice takes hybrid, misfit, instability or given (got \"bad\")", {}},
        ParseCase{"mechanism_real_range", {"P", "D", "O", "--mechanisms", "--choice-gap", "200"}, Action::Usage,
                  "--choice-gap must be a number from 0 to 180 in decimal digits (got \"200\")", {}},
        ParseCase{"plane_seed_named", {"P", "D", "O", "--mechanisms", "--plane-seed", "-1"}, Action::Usage,
                  "--plane-seed must be a whole number from 0 to", {}},
        ParseCase{"shard_named_before_parameters", {"P", "D", "O", "--parameters", "p", "--shard", "1/2"},
                  Action::Usage, "--shard belongs to a campaign: give --stations and --out", {}},
        ParseCase{"no_planes_named_first", {"P", "D", "O", "--couples", "--no-planes"}, Action::Usage,
                  "--no-planes changes the figure: give --svg FILE", {}},
        // A gridded catalogue: OUTPUT is its folder; --shard works on its cells.
        ParseCase{"grid", {"P", "C", "OUT", "--mechanisms", "--grid", "lon,lat", "--cell", "0.2,0.2", "--shard", "1/2"},
                  Action::Grid, "", {}},
        ParseCase{"grid_km_and_depth", {"P", "C", "OUT", "--mechanisms", "--grid", "lon,lat,depth", "--cell-km", "20",
                  "--cell", "10", "--damping", "auto", "--grid-origin", "10,45,0"}, Action::Grid, "", {}},
        ParseCase{"grid_two_operands", {"P", "C", "--mechanisms", "--grid", "lon", "--cell", "1"}, Action::Usage,
                  "a gridded catalogue takes PARAMETERS CATALOGUE.csv OUTDIR (got 2 operands)", {}},
        ParseCase{"grid_with_stations", {"P", "C", "O", "--mechanisms", "--grid", "lon", "--cell", "1", "--stations", "t"},
                  Action::Usage, "not --stations or --out", {}},
        ParseCase{"grid_damping_word", {"P", "C", "O", "--mechanisms", "--grid", "lon", "--cell", "1", "--damping", "much"},
                  Action::Usage, "--damping takes auto or a number from 0", {}},
        ParseCase{"grid_origin_text", {"P", "C", "O", "--mechanisms", "--grid", "lon", "--cell", "1", "--grid-origin", "a,b"},
                  Action::Usage, "--grid-origin: \"a\" is not a longitude", {}},
        ParseCase{"min_events_without_grid", {"P", "C", "O", "--mechanisms", "--min-events", "5"}, Action::Usage,
                  "--min-events belongs to a gridded catalogue: give --grid AXES", {}},
        ParseCase{"min_events_zero", {"P", "C", "O", "--mechanisms", "--grid", "lon", "--cell", "1", "--min-events", "0"},
                  Action::Usage, "--min-events must be a whole number from 1", {}}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace zk::batch
