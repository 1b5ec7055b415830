// Many warnings: at most twenty lines, then a count; the console shows them
// before its run. (One warning each: the command-line table.)
#include <gtest/gtest.h>

#include "batch_files.hpp"

namespace zk::test {
namespace {

class Warnings : public ScratchTest {};

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
