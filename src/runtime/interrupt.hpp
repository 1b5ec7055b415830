#pragma once
// Temporary files that an interrupted process removes: SIGINT, SIGTERM,
// SIGHUP, SIGQUIT or SIGPIPE unlinks every registered temporary file, then
// removes every registered temporary folder, and ends the
// process with status 128 + the signal number, whatever thread is running
// (workers stop with it). A signal ignored when the program starts (nohup,
// "&" in a script) stays ignored. The registry is the one process-wide table
// a signal handler can read: fixed slots, lock-free, nothing allocated in the
// handler. SIGKILL cannot be caught: a process killed so may leave a
// temporary (".zarkel-" and 8 letters, beside a result being committed; a
// folder zarkel-phase-* or zarkel-mechanisms-* in $TMPDIR; a new, empty
// station folder), never a half-written result.
#include <signal.h>

#include <string>

namespace zk::rt {

// The most jobs (threads, campaign stations at once) a program allows, and
// the most temporaries one job holds at once: a campaign station's folder
// while it is new, the named temporaries of its results (listing, JSON
// document, figure, DATA, chosen DATA) and the private folder of a
// mechanism or phase run with its two files. The registry has a slot for
// each, and some for the program's own files.
constexpr int kMaxJobs = 1024;
constexpr int kTemporariesPerJob = 9;
constexpr int kTemporarySlots = kTemporariesPerJob * kMaxJobs + 64;

// Registers a temporary file, by path or by its name in the directory open as
// `dirfd`; returns its slot, or -1 when the name is too long or every slot is
// taken (the file is then only removed as usual).
int register_temporary(const std::string& path);
int register_temporary(int dirfd, const std::string& name);
// The same for a temporary folder, removed on a signal once the registered
// files are (it is removed only when nothing else is left in it).
int register_temporary_folder(const std::string& path);
int register_temporary_folder(int dirfd, const std::string& name);
// Forgets a slot (after the file was renamed or removed); -1 is ignored.
void unregister_temporary(int slot);

// Installs the handlers, and ignores SIGXFSZ: a file that grows past the
// size limit (ulimit -f) is then a write error with its message (EFBIG), not
// a silent end of the process.
void remove_temporaries_on_signal();
// Blocks those signals in the calling thread for the rest of its life. Every
// worker thread calls it first, so the signals reach the main thread only and
// a SignalsHeld there holds them for the whole process.
void keep_signals_from_this_thread();
// While `open`, a self-updating line is on standard error: the handler ends
// it with a newline before exiting.
void set_line_open_on_stderr(bool open);

// While alive, those signals wait (blocked in the calling thread, and the
// workers never take them), so a
// temporary gets or loses its name, or a group of renames is made, without
// being cut in the middle; a signal that came meanwhile is acted on when the
// guard ends.
class SignalsHeld {
 public:
  SignalsHeld();
  ~SignalsHeld();
  SignalsHeld(const SignalsHeld&) = delete;
  SignalsHeld& operator=(const SignalsHeld&) = delete;

 private:
  sigset_t saved_;
};

}  // namespace zk::rt
