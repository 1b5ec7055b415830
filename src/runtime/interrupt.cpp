#include "runtime/interrupt.hpp"

#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cstring>

namespace zk::rt {

namespace {

constexpr int kSlots = 16;
constexpr std::size_t kPathMax = 4096;

enum : int { kFree = 0, kFilling = 1, kReady = 2 };

struct Slot {
  std::atomic<int> state{kFree};
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
    if (s.state.load() == kReady) ::unlink(s.path);
  }
  ::_exit(128 + sig);
}

}  // namespace

int register_temporary(const std::string& path) {
  if (path.size() >= kPathMax) return -1;
  for (int i = 0; i < kSlots; ++i) {
    int expected = kFree;
    if (slots[i].state.compare_exchange_strong(expected, kFilling)) {
      std::memcpy(slots[i].path, path.c_str(), path.size() + 1);
      slots[i].state.store(kReady);
      return i;
    }
  }
  return -1;
}

void unregister_temporary(int slot) {
  if (slot >= 0 && slot < kSlots) slots[slot].state.store(kFree);
}

void set_line_open_on_stderr(bool open) { line_open.store(open); }

void remove_temporaries_on_signal() {
  struct sigaction sa {};
  sa.sa_handler = on_signal;
  sigemptyset(&sa.sa_mask);
  sigaddset(&sa.sa_mask, SIGINT);
  sigaddset(&sa.sa_mask, SIGTERM);
  sigaction(SIGINT, &sa, nullptr);
  sigaction(SIGTERM, &sa, nullptr);
}

SignalsHeld::SignalsHeld() {
  sigset_t block;
  sigemptyset(&block);
  sigaddset(&block, SIGINT);
  sigaddset(&block, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &block, &saved_);
}

SignalsHeld::~SignalsHeld() { pthread_sigmask(SIG_SETMASK, &saved_, nullptr); }

}  // namespace zk::rt
