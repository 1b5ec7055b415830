// Result files as an attacker and a careless user would try them, on the real
// programs: every case is a shell command run in a scratch directory holding
// the example P and D and an empty out/, its exit status, a fragment of what
// it printed, and a shell test of the files it left. $Z is zarkel, $B
// zarkel-batch; $AS runs a command as another user when the test may.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <string>

#include "batch_files.hpp"

namespace zk::test {
namespace {

struct Case {
  const char* name;
  bool needs_root;  // device nodes, another user's files
  std::string command;
  int status;
  std::string printed;  // in standard output or error
  std::string after;    // shell test, must hold
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

class ResultFiles : public ScratchTest, public ::testing::WithParamInterface<Case> {
 protected:
  // Runs `command` in the scratch directory; the status of its last command.
  Outcome sh(const std::string& command) const {
    const char* z = std::getenv("ZARKEL_BINARY");
    const char* b = std::getenv("ZARKEL_BATCH_BINARY");
    const std::string env = "Z=" + shell_quoted(z ? z : ZARKEL_BINARY) + " B=" + shell_quoted(b ? b : ZARKEL_BATCH_BINARY) +
                            (::geteuid() == 0 ? " AS='setpriv --reuid=65534 --regid=65534 --clear-groups'" : " AS=");
    return shell("cd " + shell_quoted(dir.string()) + " && export " + env + " && { " + command + "; }");
  }
  void SetUp() override {
    ScratchTest::SetUp();
    fs::copy_file(example("PARAMETERS"), at("P"));
    fs::copy_file(example("DATA"), at("D"));
    fs::create_directory(at("out"));
  }
};

TEST_P(ResultFiles, AreRefusedOrWrittenSafely) {
  const Case& c = GetParam();
  if (c.needs_root && ::geteuid() != 0) GTEST_SKIP() << c.name << " needs root (device nodes, other users' files)";
#if defined(__SANITIZE_ADDRESS__)
  if (c.command.find("ulimit -v") != std::string::npos) GTEST_SKIP() << "AddressSanitizer needs more address space";
#endif
  const Outcome r = sh(c.command);
  EXPECT_EQ(r.status, c.status) << r.out << r.err;
  EXPECT_NE((r.out + r.err).find(c.printed), std::string::npos) << r.out << r.err;
  EXPECT_EQ(sh(c.after.empty() ? "true" : c.after).status, 0) << "after: " << c.after;
  EXPECT_EQ(sh("ls -A out | grep -e zarkel -e tmp").out, "") << "a temporary was left behind";
}

const std::string kLong = std::string(250, 'L');
const std::string kLongRun = "printf '1 0\\n1 80 2147483647 7 0\\n' > ph && ";
const std::string kStdout = "ln -s /proc/self/fd/1 out/so && ";
const std::string kSlowRun = "printf '1 0\\n1 80 400000 7 0\\n' > pl && ";

const Case kCases[] = {
    // 1: links planted at the temporary names a run would have used ($$ is its pid after exec).
    {"PlantedLinksAtTemporaryNames", false,
     "echo secret > victim && chmod 600 victim && echo old > out/L && ln -s ../victim out/.L.zarkel-tmp-$$ && "
     "ln -s victim r.json.tmp-$$ && exec $B P D out/L --json r.json",
     0, "R=", "test \"$(cat victim)\" = secret && test \"$(stat -c %a victim)\" = 600 && ! test -L out/L && rm out/.L.*"},
    // 2: what is not a regular file is refused before the run.
    {"DeviceNode", true, "mknod out/null c 1 3 && $B P D out/L --svg out/null", 2, "it is a device",
     "test -c out/null && ! test -e out/L"},
    {"NamedPipe", false, "mkfifo out/pipe && $B P D out/L --json out/pipe", 2, "named pipe (FIFO)",
     "test -p out/pipe"},
    // (out/so is /dev/stdout: a test must not risk /dev itself.)
    {"OwnStandardOutput", false, kStdout + "$B P D out/L --json out/so", 2, "standard output goes", ""},
    // 3: the log that standard output is appended to.
    {"BatchListingOverItsLog", false, kStdout + "echo earlier > log && $B P D out/so >> log", 2,
     "standard output goes", "test \"$(cat log)\" = earlier"},
    {"ConsoleListingOverItsLog", false,
     kStdout + "echo earlier > log && printf '\\nP\\nD\\nout/so\\n\\nout/L\\n' | $Z >> log", 0, "",
     "test \"$(head -1 log)\" = earlier && grep -q 'Reason: it is where' log && test -s out/L"},
    // 4: a directory given for a result, found before any work.
    {"ResultIsADirectory", false, "echo previous > out/L && $B P D out/L --json out/", 2, "it is a directory",
     "test \"$(cat out/L)\" = previous"},
    // 6: bounded memory: 64 MiB of address space for any input.
    {"TwoGigabyteData", false, "truncate -s 2G big && ulimit -v 65536 && $B P big out/L", 1,
     "line 1 is 2147483648 characters long", ""},
    {"QuarterGigabyteParameters", false, "printf '1 0\\n' > p && truncate -s 256M p && ulimit -v 65536 && $B p D out/L",
     1, "line 2 is 268435452 characters long", ""},
    // 7: a typing slip in NTIR is announced before stage 1, by both programs.
    {"HugeNtirBatch", false, kLongRun + "timeout 1 $B ph D out/L", 124, "expected to take about 1 h 22 min of processor time", ""},
    {"HugeNtirConsole", false, kLongRun + "printf '\\nph\\nD\\nout/L\\n' | timeout 1 $Z", 124,
     "warning: PARAMETERS file \"ph\", line 2: NTIR = 2147483647", ""},
    // 8: long names, a read-only directory, another user's file in a sticky directory.
    {"LongName", false, "$B P D out/" + kLong, 0, "R=", "test -s out/" + kLong},
    {"ReadOnlyDirectory", false,
     "mkdir ro && echo old > ro/L && chmod 666 ro/L && chmod 555 ro && $AS $B P D ro/L; s=$?; chmod 755 ro; (exit $s)", 2, "the file may be written, but its directory", "test \"$(cat ro/L)\" = old"},
    {"OtherUsersFileInStickyDirectory", true,
     "mkdir -m 1777 st && echo theirs > st/L && chown 65534 st/L && chmod 666 st/L && $B P D st/L", 2,
     "belongs to another user", "test \"$(cat st/L)\" = theirs"},
    // 9: the console says why it refused a path.
    {"ConsoleRefusalReason", false, "printf '\\nP\\nD\\nout\\n\\nout/L\\n' | $Z", 0, " Reason: it is a directory",
     "test -s out/L"},
    // 10: the owner and mode of the file replaced.
    {"OwnerKept", true, "echo x > out/L && chown 65534:65534 out/L && chmod 640 out/L && $B P D out/L", 0, "R=",
     "test \"$(stat -c %u:%g:%a out/L)\" = 65534:65534:640"},
    // 11: links: the linked file is replaced, a link to nothing refused.
    {"ResultThroughALink", false, "echo old > real.json && ln -s ../real.json out/r.json && $B P D out/L --json out/r.json",
     0, "R=", "test -L out/r.json && grep -q '\"program\"' real.json"},
    {"DanglingLink", false, "ln -s nowhere/L out/dl && $B P D out/dl", 2, "which does not exist", "test -L out/dl"},
    // 12: the records of the JSON document are the ones the run read.
    {"DataEditedDuringTheRun", false,
     kSlowRun + "$B pl D out/L --json out/r.json & sleep 0.3; sed -i 's/^   82 /  100 /' D; wait $!", 0, "",
     "grep -q '\"strike_deg\": 82' out/r.json"},
    // 13: write errors on standard output, read errors in an input.
    {"BatchStandardOutputFull", false, "$B P D out/L > /dev/full", 1, "could not write to standard output", ""},
    {"ConsoleStandardOutputFull", false, "printf '\\nP\\nD\\nout/L\\n' | $Z > /dev/full", 1,
     "could not write to standard output", "! test -e out/L"},
    {"ReadError", false, "$B P /proc/self/mem out/L", 1, "line 1: read error (Input/output error)", ""},
    // 14: imposed values outside their ranges, a record ended by "/".
    {"ModeFiveOutOfRange", false, "printf '1 0\\n5 80 1 7 0\\n400 95 120 10 1.5\\n' > p5 && $B p5 D out/L", 0,
     "imposed R = 1.5 is outside 0 to 1", ""},
    {"ModeSixOutOfRange", false, "printf '1 0\\n6 80 1 7 0\\n0.5 1e30 0.3 0.5\\n' > p6 && $B p6 D out/L", 0,
     "imposed TETA = 1e+30 is more than a full turn", ""},
    {"RecordEndedBySlash", false, "printf '1 0\\n1 80 /\\n' > ps && $B ps D out/L", 1,
     "the record ends at \"/\" after 2 of its 5 values", ""},
    // An input under another spelling; two results on one new file.
    {"InputSpelledOtherwise", false, "$B P D out/L --json ./P", 2, "it is the PARAMETERS file", ""},
    {"TwoResultsOnOneNewFile", false, "mkdir out/sub && $B P D out/L --json out/sub/../r.json --svg out/r.json", 2,
     "it is the destination of the JSON document", "! test -e out/r.json"},
    // Standard output as a result, and what a second result there would do.
    {"ListingOnStandardOutput", false, "$B P D - > l && $B P D out/L && cmp l out/L", 0, "", ""},
    {"TwoResultsOnStandardOutput", false, "$B P D out/L --json - --svg -", 2, "goes there already", "! test -e out/L"},
    // A rename that fails after others succeeded names them.
    {"RenameFailsAfterOthers", false,
     kSlowRun + "$B pl D out/L --json out/r.json --svg out/f.svg & sleep 0.3; mkdir out/f.svg; touch out/f.svg/x; wait $!",
     1, "replaced: OUTPUT file \"out/L\", JSON document \"out/r.json\"; not replaced: SVG figure \"out/f.svg\"", ""},
};

INSTANTIATE_TEST_SUITE_P(Findings, ResultFiles, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<Case>& i) { return std::string(i.param.name); });

// 5: an interrupted run leaves nothing behind and ends by its signal.
TEST_F(ResultFiles, SignalsLeaveNoTemporary) {
  // Only an unnamed temporary (O_TMPFILE) survives SIGKILL, which no program can catch.
  const int probe = ::open(dir.c_str(), O_TMPFILE | O_WRONLY, 0600);
  if (probe >= 0) ::close(probe);
  for (const int sig : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGKILL}) {
    if (sig == SIGKILL && probe < 0) GTEST_SKIP() << "no unnamed files on this file system: SIGKILL not tried";
    const std::string n = std::to_string(sig);
    const Outcome r = sh(kLongRun + "timeout --preserve-status -s " + n + " 1 $B ph D out/L --json out/r.json; echo $?");
    EXPECT_EQ(r.out, std::to_string(128 + sig) + "\n") << "signal " << sig;
    EXPECT_EQ(sh("ls -A out").out, "") << "signal " << sig;
  }
}

}  // namespace
}  // namespace zk::test
