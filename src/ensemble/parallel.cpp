#include "ensemble/parallel.hpp"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <memory>
#include <mutex>
#include <sstream>
#include <thread>
#include <vector>

#include "runtime/interrupt.hpp"

namespace zk::ensemble {

namespace {

// A worker's workspace, with a console that nothing reads or writes.
struct WorkerSpace {
  std::istringstream in;
  std::ostringstream out;
  Workspace ws{in, out};
};

struct Shared {
  std::atomic<std::size_t> next{0};
  std::atomic<long long> done{0};
  std::atomic<bool> failed{false};
  std::mutex lock;
  std::condition_variable finished;
  int running = 0;
  std::size_t error_index = 0;
  std::exception_ptr error;
};

void worker(std::size_t count, const Task& task, Shared& sh) {
  rt::keep_signals_from_this_thread();
  auto space = std::make_unique<WorkerSpace>();
  const Tick tick = [&sh] { sh.done.fetch_add(1, std::memory_order_relaxed); };
  for (;;) {
    if (sh.failed.load(std::memory_order_relaxed)) break;
    const std::size_t i = sh.next.fetch_add(1, std::memory_order_relaxed);
    if (i >= count) break;
    try {
      task(i, space->ws, tick);
    } catch (...) {
      std::lock_guard<std::mutex> g(sh.lock);
      if (!sh.error || i < sh.error_index) {
        sh.error = std::current_exception();
        sh.error_index = i;
      }
      sh.failed.store(true);
    }
  }
  std::lock_guard<std::mutex> g(sh.lock);
  --sh.running;
  sh.finished.notify_all();
}

}  // namespace

int hardware_jobs() { return std::max(1, static_cast<int>(std::thread::hardware_concurrency())); }

void run_parallel(std::size_t count, int jobs, const Task& task, const Report& report) {
  if (count == 0) return;
  Shared sh;
  const auto workers = static_cast<int>(std::min<std::size_t>(static_cast<std::size_t>(std::max(1, jobs)), count));
  std::vector<std::thread> threads;
  threads.reserve(static_cast<std::size_t>(workers));
  sh.running = workers;
  try {
    for (int w = 0; w < workers; ++w) threads.emplace_back(worker, count, std::cref(task), std::ref(sh));
  } catch (...) {  // no more threads to be had: run on those that started
    std::lock_guard<std::mutex> g(sh.lock);
    sh.running -= workers - static_cast<int>(threads.size());
    if (threads.empty()) throw;
  }
  // A report that throws cancels the run: no task starts after it, the
  // running ones end, and its exception is the one rethrown.
  std::exception_ptr cancelled;
  {
    std::unique_lock<std::mutex> g(sh.lock);
    while (sh.running > 0) {
      sh.finished.wait_for(g, std::chrono::milliseconds(250));
      if (report && sh.running > 0 && !cancelled) {
        g.unlock();
        try {
          report(sh.done.load());
        } catch (...) {
          cancelled = std::current_exception();
          sh.failed.store(true);
        }
        g.lock();
      }
    }
  }
  for (std::thread& t : threads) t.join();
  if (cancelled) std::rethrow_exception(cancelled);
  if (sh.error) std::rethrow_exception(sh.error);
  if (report) report(sh.done.load());
}

}  // namespace zk::ensemble
