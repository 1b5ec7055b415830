// The console program on malformed and hostile inputs (corpus/cases.tsv; the
// ones too large to commit, or whose line ends a checkout might change, are
// rows of tests/cli/zarkel.table): it never hangs, stops with one message
// naming the file and the line, keeps an existing OUTPUT file and leaves no
// temporary file; inputs that are only untidy (tabs, long lines) give the
// listing of the tidy input.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "support/programs.hpp"

namespace zk::test {
namespace {

constexpr const char* kPrevious = "previous listing\n";
constexpr const char* kSameAsGood = "=good";
constexpr const char* kListingEnd =
    " ************************************  FIN  ************************************\n";
// A stop message quotes what it could not read, shortened: far below the
// 10 MB a bad line may hold.
constexpr std::size_t kMaxStopLine = 1000;

struct Case {
  std::string name;
  int status = 0;
  std::string expected;
  // Writes PARAMETERS and DATA into the directory (good/ is there already).
  std::function<void(const fs::path&)> make;
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

void copy_inputs(const fs::path& from, const fs::path& to) {
  for (const char* f : {"PARAMETERS", "DATA"}) {
    if (fs::exists(from / f)) fs::copy_file(from / f, to / f, fs::copy_options::overwrite_existing);
  }
}

std::vector<Case> corpus_cases() {
  std::vector<Case> out;
  std::ifstream table(corpus_dir() / "cases.tsv");
  for (std::string line; std::getline(table, line);) {
    if (line.empty() || line[0] == '#') continue;
    const auto t1 = line.find('\t');
    const auto t2 = line.find('\t', t1 + 1);
    if (t1 == std::string::npos || t2 == std::string::npos) {
      ADD_FAILURE() << "cases.tsv: malformed row: " << line;
      continue;
    }
    Case c;
    c.name = line.substr(0, t1);
    c.status = std::stoi(line.substr(t1 + 1, t2 - t1 - 1));
    c.expected = line.substr(t2 + 1);
    const fs::path src = corpus_dir() / c.name;
    c.make = [src](const fs::path& dir) { copy_inputs(src, dir); };
    out.push_back(std::move(c));
  }
  return out;
}

// The listing of the tidy inputs, made once.
const std::string& good_listing() {
  static const std::string listing = [] {
    const fs::path d = fs::temp_directory_path() / ("zk_hard_good_" + std::to_string(::getpid()));
    fs::remove_all(d);
    fs::create_directories(d);
    copy_inputs(corpus_dir() / "good", d);
    spit(d / "stdin.txt", "\nPARAMETERS\nDATA\nLISTING\n");
    const std::string cmd = "cd " + shell_quoted(d.string()) + " && " + shell_quoted(ZARKEL_BINARY) + " <stdin.txt >/dev/null 2>&1";
    const int rc = std::system(cmd.c_str());
    std::string l = rc == 0 ? slurp(d / "LISTING") : std::string();
    fs::remove_all(d);
    return l;
  }();
  return listing;
}

// The expected text of a stop: fragments separated by '|', all in the message.
std::vector<std::string> parts(const std::string& expected) {
  std::vector<std::string> out;
  std::size_t start = 0;
  for (std::size_t bar; (bar = expected.find('|', start)) != std::string::npos; start = bar + 1) {
    out.push_back(expected.substr(start, bar - start));
  }
  out.push_back(expected.substr(start));
  return out;
}

bool has_control_bytes(const std::string& s) {
  for (char c : s) {
    const auto u = static_cast<unsigned char>(c);
    if ((u < 0x20 && c != '\n') || u == 0x7F) return true;
  }
  return false;
}

class BadInput : public ScratchRun, public ::testing::WithParamInterface<Case> {};

TEST_P(BadInput, StopsCleanlyOrListsAsTheTidyInput) {
  const Case& c = GetParam();
  copy_inputs(corpus_dir() / "good", dir);
  c.make(dir);
  spit(at("out/LISTING"), kPrevious);

  const Outcome r = run();

  ASSERT_NE(r.status, kTimedOut) << "no end within 10 s";
  EXPECT_EQ(r.status, c.status) << r.console.substr(r.console.size() > 2000 ? r.console.size() - 2000 : 0);
  EXPECT_TRUE(strays().empty()) << "left in the output directory: " << strays().front();
  EXPECT_FALSE(has_control_bytes(r.console)) << "the console shows raw control bytes";
  // Under the sanitizer build the binary reports there, not by its status.
  EXPECT_EQ(r.console.find("Sanitizer"), std::string::npos) << r.console;
  EXPECT_EQ(r.console.find("runtime error:"), std::string::npos) << r.console;
  const std::string listing = slurp(at("out/LISTING"));
  if (c.status != 0) {
    const std::string stop = stop_line(r.console);
    for (const std::string& part : parts(c.expected)) {
      EXPECT_NE(stop.find(part), std::string::npos) << "message: " << stop << "\nexpected: " << part;
    }
    EXPECT_LT(stop.size(), kMaxStopLine);
    EXPECT_NE(r.console.find("No listing was written"), std::string::npos);
    EXPECT_EQ(listing, kPrevious) << "the previous listing was replaced";
  } else {
    EXPECT_EQ(stop_line(r.console), "");
    ASSERT_GT(listing.size(), std::string(kListingEnd).size());
    EXPECT_EQ(listing.substr(listing.size() - std::string(kListingEnd).size()), kListingEnd) << "listing cut short";
    if (c.expected == kSameAsGood) {
      ASSERT_FALSE(good_listing().empty()) << "the tidy inputs give no listing";
      EXPECT_TRUE(listing == good_listing()) << "the listing differs from the one of the tidy inputs";
    } else {
      EXPECT_NE(listing.find(c.expected), std::string::npos) << "not in the listing: " << c.expected;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Corpus, BadInput, ::testing::ValuesIn(corpus_cases()),
                         [](const ::testing::TestParamInfo<Case>& i) { return i.param.name; });

TEST(CorpusTable, EveryCaseDirectoryIsListedAndEveryListedCaseExists) {
  std::set<std::string> listed;
  for (const Case& c : corpus_cases()) {
    listed.insert(c.name);
    EXPECT_TRUE(fs::is_directory(corpus_dir() / c.name)) << c.name;
  }
  for (const auto& e : fs::directory_iterator(corpus_dir())) {
    const std::string n = e.path().filename().string();
    if (e.is_directory() && n != "good") {
      EXPECT_EQ(listed.count(n), 1u) << n << " is not in cases.tsv";
    }
  }
  EXPECT_GE(listed.size(), 40u);
}

}  // namespace
}  // namespace zk::test
