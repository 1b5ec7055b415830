// Lines kept with bounded memory, and the named temporaries a signal removes.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "runtime/records.hpp"
#include "runtime/interrupt.hpp"

namespace zk::rt {
namespace {

std::string rep(std::size_t n, char c) { return std::string(n, c); }

TEST(RecordBuilder, KeepsColumnsThenCollapsesBlanksThenCounts) {
  struct Case {
    std::string line, text;
    std::uint64_t length;
    bool cut;
  } cases[] = {
      {"abc\r", "abc", 3, false},
      {rep(4096, 'a') + rep(1000, ' ') + "7\t\t2", rep(4096, 'a') + " 7 2", 5100, false},
      {rep(4090, 'a') + "  \t  x", rep(4090, 'a') + "  \t  x", 4096, false},  // within the columns: as read
      {rep(10000, 'x'), rep(8192, 'x'), 10000, true},
      {rep(8192, 'x') + rep(50, ' ') + "\r", rep(8192, 'x'), 8242, false},  // only blanks skipped
      {rep(9000, 'x') + "\r", rep(8192, 'x'), 9000, true},
  };
  for (const Case& c : cases) {
    // Whole, then a byte at a time: block boundaries change nothing.
    RecordBuilder whole, bytes;
    whole.add(c.line);
    for (char ch : c.line) bytes.add(std::string_view(&ch, 1));
    for (Record r : {whole.take(), bytes.take()}) {
      EXPECT_EQ(r.text, c.text) << c.line.size();
      EXPECT_EQ(r.length, c.length);
      EXPECT_EQ(r.cut, c.cut);
    }
  }
}

// A child registers a named temporary and gets a signal: the file goes and
// the child ends with 128 + n, unless the signal was ignored from the start.
TEST(SignalCleanup, RemovesNamedTemporariesAndEndsWithTheSignalsStatus) {
  const std::filesystem::path dir = std::filesystem::temp_directory_path() / ("zk_sig_" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  for (const int sig : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGPIPE, -SIGHUP}) {
    const std::filesystem::path temp = dir / ".zarkel-test";
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      if (sig < 0) std::signal(-sig, SIG_IGN);  // as nohup leaves SIGHUP
      remove_temporaries_on_signal();
      const int dirfd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY);
      ::close(::openat(dirfd, ".zarkel-test", O_CREAT | O_WRONLY, 0600));
      register_temporary(dirfd, ".zarkel-test");
      ::raise(std::abs(sig));
      ::_exit(0);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (sig < 0) {
      EXPECT_TRUE(WIFEXITED(status) && std::filesystem::exists(temp)) << "ignored " << -sig;
    } else {
      EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 128 + sig) << sig;
      EXPECT_FALSE(std::filesystem::exists(temp)) << sig;
    }
    std::filesystem::remove(temp);
  }
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace zk::rt
