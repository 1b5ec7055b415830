// Replays the fuzz corpora (tests/fuzz-corpus*) through the fuzz entries, built
// here without libFuzzer: every input must end in a completed run or in one
// of the program's own errors. Under the sanitizer build this is the
// fuzzer's check on every committed input.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "fuzz/fuzz_new_inputs.hpp"

namespace zk::test {
namespace {

namespace fs = std::filesystem;

std::vector<std::uint8_t> bytes_of(const fs::path& p) {
  std::ifstream f(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

std::string as_input(const std::string& parameters, const std::string& data) {
  return parameters + '\xff' + data;
}

fuzz::Outcome run(const std::string& input) {
  return fuzz::run_one(reinterpret_cast<const std::uint8_t*>(input.data()), input.size());
}

TEST(FuzzCorpus, EveryInputEndsInARunOrAProgramError) {
  struct Corpus {
    const char* dir;
    fuzz::Outcome (*entry)(const std::uint8_t*, std::size_t);
  } const corpora[] = {{"fuzz-corpus", fuzz::run_one},
                       {"fuzz-corpus-mechanisms", fuzz::run_mechanism_table},
                       {"fuzz-corpus-phases", fuzz::run_separation}};
  for (const Corpus& c : corpora) {
    int files = 0, completed = 0;
    for (const auto& e : fs::directory_iterator(fs::path(ZARKEL_SOURCE_DIR) / "tests" / c.dir)) {
      if (!e.is_regular_file()) continue;
      const std::vector<std::uint8_t> b = bytes_of(e.path());
      SCOPED_TRACE(std::string(c.dir) + "/" + e.path().filename().string());
      fuzz::Outcome o = fuzz::Outcome::Refused;
      EXPECT_NO_THROW(o = c.entry(b.data(), b.size()));
      ++files;
      if (o == fuzz::Outcome::Completed) ++completed;
    }
    EXPECT_GT(files, 0) << c.dir;
    EXPECT_GT(completed, 0) << "no input of " << c.dir << " reaches the whole work";
  }
}

// The entry itself: the split at 0xFF, the three outcomes.
TEST(FuzzEntry, SplitsTheInputAndSortsTheOutcomes) {
  std::ifstream d(fs::path(ZARKEL_SOURCE_DIR) / "examples" / "DATA", std::ios::binary);
  const std::string data{std::istreambuf_iterator<char>(d), std::istreambuf_iterator<char>()};
  struct Row {
    std::string input;
    fuzz::Outcome outcome;
  } rows[] = {
      {as_input("1 0\n1 80 20 7 0\n", data), fuzz::Outcome::Completed},
      {as_input("1 0\n6 100 1 7 0\n0.5 1.2 2.0 0.35\n", data), fuzz::Outcome::Completed},
      {as_input("1 0\n1 80 21 7 0\n", data), fuzz::Outcome::Skipped},   // too many draws to fuzz
      {as_input("1 0\n6 80 999999 7 0\n0 0 0 0.5\n", data), fuzz::Outcome::Completed},  // no draw made
      {"1 0\n1 80 20 7 0\n", fuzz::Outcome::Refused},                   // no 0xFF: DATA empty
      {as_input("1 0\n1 80 2x 7 0\n", data), fuzz::Outcome::Refused},
      {as_input("", ""), fuzz::Outcome::Refused},
      {as_input("1 0\n1 80 20 7 0\n", data + "\xff\xff"), fuzz::Outcome::Completed},  // bytes after the terminator
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.input.substr(0, r.input.find('\xff')));
    EXPECT_EQ(run(r.input), r.outcome);
  }
}

}  // namespace
}  // namespace zk::test
