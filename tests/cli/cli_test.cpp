// The three programs as a user runs them, one table each (tests/cli/*.table):
// every row is a shell command run in a scratch folder that holds copies of
// the bundled P (PARAMETERS), D (DATA), field.csv and an empty out/, with
// what it reads on standard input, its exit status, fragments of what it
// prints and a shell test of the files it leaves. No row may leave a
// temporary behind.
//
// A row, one "key: value" per line, started by "case:" (lines with # are
// comments):
//   case: NAME        letters, digits and _
//   needs: root       run only as root (device nodes, another user's files)
//   stdin: TEXT       one line of standard input (repeatable; else none);
//                     \r, \t and \\ stand for a carriage return, a tab and a backslash
//   run: COMMAND      sh; $Z, $B and $I are zarkel, zarkel-batch and
//                     zarkel-import, $EX the examples folder, $AS runs a
//                     command as another user when the test may
//   status: N         the exit status of the command
//   prints: TEXT      in its standard output or error (repeatable)
//   files: TEST       a shell test that must hold afterwards (repeatable); the
//                     output is in stdout.txt and stderr.txt
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <string>
#include <vector>

#include "batch/batch_files.hpp"

namespace zk::test {
namespace {

struct Row {
  std::string table, name, needs, stdin_text, run, problem;
  int status = -1;
  std::vector<std::string> prints, files;
};

void PrintTo(const Row& r, std::ostream* os) { *os << r.table << ":" << r.name; }

// \r, \t and \\ in a line of standard input: bytes an editor would change.
std::string unescaped(const std::string& v) {
  std::string out;
  for (std::size_t k = 0; k < v.size(); ++k) {
    const char next = k + 1 < v.size() ? v[k + 1] : '\0';
    if (v[k] == '\\' && (next == 'r' || next == 't' || next == '\\')) {
      out += next == 'r' ? '\r' : next == 't' ? '\t' : '\\';
      ++k;
    } else {
      out += v[k];
    }
  }
  return out;
}

Row named(const std::string& table, const std::string& name, const std::string& problem = "") {
  Row r;
  r.table = table;
  r.name = name;
  r.problem = problem;
  return r;
}

std::vector<Row> load(const std::string& table) {
  std::vector<Row> rows;
  std::ifstream in(fs::path(ZARKEL_SOURCE_DIR) / "tests" / "cli" / table);
  if (!in) rows.push_back(named(table, "unreadable", "cannot read the table"));
  int n = 0;
  for (std::string line; std::getline(in, line);) {
    ++n;
    if (line.empty() || line[0] == '#') continue;
    const auto colon = line.find(':');
    const std::string key = line.substr(0, colon);
    const std::string value = colon == std::string::npos ? "" : line.substr(colon + (line[colon + 1] == ' ' ? 2 : 1));
    if (key == "case") {
      rows.push_back(named(table, value));
      continue;
    }
    if (rows.empty()) rows.push_back(named(table, "before_any_case"));
    Row& r = rows.back();
    if (key == "needs") r.needs = value;
    else if (key == "stdin") r.stdin_text += unescaped(value) + "\n";
    else if (key == "run") r.run = value;
    else if (key == "status") r.status = std::atoi(value.c_str());
    else if (key == "prints") r.prints.push_back(value);
    else if (key == "files") r.files.push_back(value);
    else r.problem += table + " line " + std::to_string(n) + ": unknown key \"" + key + "\"; ";
  }
  return rows;
}

class Cli : public ScratchTest, public ::testing::WithParamInterface<Row> {
 protected:
  void SetUp() override {
    ScratchTest::SetUp();
    for (const char* f : {"PARAMETERS", "DATA", "field.csv"}) {
      fs::copy_file(example(f), at(f[0] == 'f' ? f : std::string(1, f[0])));
    }
    fs::create_directory(at("out"));
  }
  // The exit status of `command` run by sh in the scratch folder.
  int sh(const std::string& command, const std::string& redirections) const {
    const std::string env = "export Z=" + shell_quoted(ZARKEL_BINARY) + " B=" + shell_quoted(ZARKEL_BATCH_BINARY) +
                            " I=" + shell_quoted(ZARKEL_IMPORT_BINARY) + " EX=" + shell_quoted(example("")) +
                            (::geteuid() == 0 ? " AS='setpriv --reuid=65534 --regid=65534 --clear-groups'" : " AS=");
    const int rc = std::system(("cd " + shell_quoted(dir.string()) + " && " + env + " && { " + command + "\n} " +
                                redirections).c_str());
    return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
  }
};

TEST_P(Cli, Row) {
  const Row& c = GetParam();
  ASSERT_EQ(c.problem, "");
  ASSERT_FALSE(c.run.empty() || c.status < 0) << "a row needs run: and status:";
  if (c.needs == "root" && ::geteuid() != 0) GTEST_SKIP() << c.name << " needs root";
#if defined(__SANITIZE_ADDRESS__)
  if (c.run.find("ulimit -v") != std::string::npos) GTEST_SKIP() << "AddressSanitizer needs more address space";
#endif
  spit(at("stdin.txt"), c.stdin_text);
  const int status = sh(c.run, "<stdin.txt >stdout.txt 2>stderr.txt");
  const std::string printed = slurp(at("stdout.txt")) + slurp(at("stderr.txt"));
  EXPECT_EQ(status, c.status) << printed;
  for (const std::string& p : c.prints) EXPECT_NE(printed.find(p), std::string::npos) << p << "\nin:\n" << printed;
  for (const std::string& f : c.files) EXPECT_EQ(sh(f, "</dev/null"), 0) << "files: " << f << "\n" << printed;
  const Outcome left = shell("cd " + shell_quoted(dir.string()) + " && find . -name '*.zarkel-*' -o -name '.DATA.import'");
  EXPECT_EQ(left.out, "") << "a temporary was left behind";
}

std::string row_name(const ::testing::TestParamInfo<Row>& i) { return i.param.name; }

INSTANTIATE_TEST_SUITE_P(zarkel, Cli, ::testing::ValuesIn(load("zarkel.table")), row_name);
INSTANTIATE_TEST_SUITE_P(zarkel_batch, Cli, ::testing::ValuesIn(load("zarkel-batch.table")), row_name);
INSTANTIATE_TEST_SUITE_P(zarkel_import, Cli, ::testing::ValuesIn(load("zarkel-import.table")), row_name);

}  // namespace
}  // namespace zk::test
