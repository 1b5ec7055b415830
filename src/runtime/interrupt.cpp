#include "runtime/interrupt.hpp"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cstring>

namespace zk::rt {

namespace {

constexpr int kSlots = kTemporarySlots;
constexpr std::size_t kPathMax = 256;  // names relative to a directory descriptor are short
constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGPIPE};

enum : int { kFree = 0, kFilling = 1, kReady = 2 };

struct Slot {
  std::atomic<int> state{kFree};
  int dirfd = AT_FDCWD;
  int flags = 0;  // AT_REMOVEDIR for a folder
  char path[kPathMax];
};

Slot slots[kSlots];
std::atomic<bool> line_open{false};

static_assert(std::atomic<int>::is_always_lock_free, "the handler reads the slots without locks");

extern "C" void on_signal(int sig) {
  if (line_open.load()) {
    const char nl = '\n';
    (void)!::write(2, &nl, 1);
  }
  for (Slot& s : slots) {
    if (s.state.load() == kReady && s.flags == 0) ::unlinkat(s.dirfd, s.path, 0);
  }
  // Folders last, the latest first: a folder registered inside another
  // goes before it.
  for (int i = kSlots - 1; i >= 0; --i) {
    if (slots[i].state.load() == kReady && slots[i].flags == AT_REMOVEDIR) ::unlinkat(slots[i].dirfd, slots[i].path, AT_REMOVEDIR);
  }
  ::_exit(128 + sig);
}

sigset_t cleanup_signals() {
  sigset_t set;
  sigemptyset(&set);
  for (int sig : kSignals) sigaddset(&set, sig);
  return set;
}

int register_slot(int dirfd, const std::string& name, int flags) {
  if (name.size() >= kPathMax) return -1;
  for (int i = 0; i < kSlots; ++i) {
    int expected = kFree;
    if (slots[i].state.compare_exchange_strong(expected, kFilling)) {
      slots[i].dirfd = dirfd;
      slots[i].flags = flags;
      std::memcpy(slots[i].path, name.c_str(), name.size() + 1);
      slots[i].state.store(kReady);
      return i;
    }
  }
  return -1;
}

}  // namespace

int register_temporary(int dirfd, const std::string& name) { return register_slot(dirfd, name, 0); }
int register_temporary(const std::string& path) { return register_slot(AT_FDCWD, path, 0); }
int register_temporary_folder(int dirfd, const std::string& name) { return register_slot(dirfd, name, AT_REMOVEDIR); }
int register_temporary_folder(const std::string& path) { return register_slot(AT_FDCWD, path, AT_REMOVEDIR); }

void unregister_temporary(int slot) {
  if (slot >= 0 && slot < kSlots) slots[slot].state.store(kFree);
}

void set_line_open_on_stderr(bool open) { line_open.store(open); }

void remove_temporaries_on_signal() {
  signal(SIGXFSZ, SIG_IGN);
  struct sigaction sa {};
  sa.sa_handler = on_signal;
  sa.sa_mask = cleanup_signals();
  for (int sig : kSignals) {
    struct sigaction old {};
    if (sigaction(sig, nullptr, &old) == 0 && old.sa_handler == SIG_IGN) continue;
    sigaction(sig, &sa, nullptr);
  }
}

void keep_signals_from_this_thread() {
  const sigset_t block = cleanup_signals();
  pthread_sigmask(SIG_BLOCK, &block, nullptr);
}

SignalsHeld::SignalsHeld() {
  const sigset_t block = cleanup_signals();
  pthread_sigmask(SIG_BLOCK, &block, &saved_);
}

SignalsHeld::~SignalsHeld() { pthread_sigmask(SIG_SETMASK, &saved_, nullptr); }

}  // namespace zk::rt
