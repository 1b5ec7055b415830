// Input that reads but is likely a mistake: a warning on standard error (on
// the console for zarkel) and in the JSON document, a refusal with --strict,
// the listing as it always was.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "batch_files.hpp"

namespace zk::test {
namespace {

// The bundled DATA with its line `line` (1 = title) replaced.
std::string example_data_with(int line, const std::string& record) {
  std::vector<std::string> lines = lines_of(slurp(fs::path(ZARKEL_SOURCE_DIR) / "examples" / "DATA"));
  lines[static_cast<std::size_t>(line - 1)] = record;
  std::string out;
  for (const auto& l : lines) out += l + "\n";
  return out;
}

class Warnings : public ScratchTest {};

TEST_F(Warnings, EveryPitfallWarnsAndStrictRefuses) {
  struct Case {
    std::string parameters;  // "": the bundled one
    std::string data;        // "": the bundled one
    std::string warning;
  };
  const Case cases[] = {
      {"", example_data_with(3, "   59    55     S   88   E        i"), "DATA\", line 3, column 35: sense \"i\" is not N, I, D or S"},
      {"", example_data_with(4, "  179    41     W   80   s        N"), "line 4, column 26: pitch quadrant \"s\""},
      {"", example_data_with(6, ""), "line 6: a blank line among the records"},
      {"", example_data_with(3, "   59    55     S   88   E         N"), "column 35: no sense letter (the \"N\" in column 36"},
      {"", example_data_with(5, "  161    95     E   59   S        N"), "line 5, columns 10-11: dip 95 is outside 0 to 90"},
      {"", example_data_with(5, "  161    68     E   99   S        N"), "line 5, columns 21-22: pitch 99 is outside 0 to 90"},
      {"", example_data_with(5, "  370    68     E   59   S        N"), "line 5, columns 3-5: strike direction 370"},
      {"1 0\n1 80 500 7 0,5\n", "", "PARAMETERS\", line 2, column 14: \"5\" is left on the line after the run parameters"},
      {"1,0\n4,80,500,7,2\n120,60,\n300,10,0,35\n", "", "line 4, column 10: \"35\" is left on the line after the imposed axes"},
  };
  for (const Case& c : cases) {
    std::string P = example("PARAMETERS"), D = example("DATA");
    if (!c.parameters.empty()) spit(P = at("PARAMETERS").string(), c.parameters);
    if (!c.data.empty()) spit(D = at("DATA").string(), c.data);
    const Outcome r = batch({P, D, at("LISTING").string(), "--starts", "1", "--json", at("r.json").string(), "--quiet"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("warning: " + std::string(c.parameters.empty() ? "DATA" : "PARAMETERS") + " file"),
              std::string::npos) << r.err;
    EXPECT_NE(r.err.find(c.warning), std::string::npos) << r.err;
    const auto warnings = nlohmann::json::parse(slurp(at("r.json")))["warnings"];
    ASSERT_EQ(warnings.size(), 1u) << r.err;
    EXPECT_NE(warnings[0].get<std::string>().find(c.warning), std::string::npos);

    fs::remove(at("LISTING"));
    const Outcome s = batch({P, D, at("LISTING").string(), "--strict"});
    EXPECT_EQ(s.status, 1) << c.warning;
    EXPECT_NE(s.err.find("--strict: the input gives 1 warning; nothing was run"), std::string::npos) << s.err;
    EXPECT_FALSE(fs::exists(at("LISTING")));
  }
}

TEST_F(Warnings, AtMostTwentyLinesThenACountAndTheConsoleShowsThem) {
  std::vector<std::string> lines = lines_of(slurp(example("DATA")));
  std::string data;
  int n = 0;
  for (std::string& l : lines) {
    if (l.size() > 34 && l[34] == 'N') {
      l[34] = 'n';
      ++n;
    }
    data += l + "\n";
  }
  spit(at("DATA"), data);
  const Outcome r = batch({example("PARAMETERS"), at("DATA").string(), at("LISTING").string(), "--starts", "1", "--quiet"});
  ASSERT_EQ(r.status, 0) << r.err;
  const auto err = lines_of(r.err);
  ASSERT_EQ(err.size(), 21u) << r.err;
  EXPECT_EQ(err[20], "... and " + std::to_string(n - 20) + " more warnings (" + std::to_string(n) + " in all)");

  const Outcome c = console(example("PARAMETERS"), at("DATA").string(), at("console.lst").string());
  EXPECT_EQ(c.status, 0);
  const auto first = c.out.find("warning: DATA file");
  ASSERT_NE(first, std::string::npos) << c.out;
  EXPECT_LT(first, c.out.find("PROGRAM Zarkel", c.out.find("Choose OUTPUT")));  // before the run
  EXPECT_EQ(slurp(at("console.lst")), slurp(at("LISTING")));
}

}  // namespace
}  // namespace zk::test
