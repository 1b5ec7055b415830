#pragma once
// The one writer of every result file (listing, JSON document, figure...).
//
// prepare() checks the destination before any work and creates the
// temporary; write() fills it; commit() flushes it to disk, gives it the mode
// (and, as root, the owner) of the file it replaces and renames it over the
// destination. A result never committed leaves the destination as it was.
//
// The temporary is an unnamed file of the destination's folder (O_TMPFILE)
// that gets a name only just before the rename, or, where the file system has
// no unnamed files, a new file of a short random name created exclusively
// (O_CREAT|O_EXCL|O_NOFOLLOW, mode 0600). Named temporaries are listed in the
// signal-cleanup registry (interrupt.hpp).
//
// Links: the path is walked one name at a time, each through the descriptor
// of the folder before it (openat, O_NOFOLLOW), and the result is written and
// renamed through its folder's descriptor, so nothing can be swapped between
// the check and the use. A symbolic link on the way, or as the destination,
// is followed only when it belongs to the user running the program or to
// root; any other link is refused with its owner named (untrusted_link_in).
// A destination that is a followed link stands for the file it points to,
// which is replaced (the link stays); a link to nothing is refused. A
// hard-linked destination is replaced by a new file: its other names keep
// the old contents.
#include <sys/types.h>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace zk::rt {

// A file on disk, by identity.
struct FileId {
  dev_t dev = 0;
  ino_t ino = 0;
  bool operator==(const FileId&) const = default;
};

class ResultFile;

// Why the program must not follow a symbolic link on the way to `path`: a
// link that belongs neither to the user running the program nor to root,
// named with its owner; "" when none.
std::string untrusted_link_in(const std::string& path);

// A user as messages name the owner of a file: "user NAME (uid N)", or
// "uid N" when the system has no name for it.
std::string owner_named(uid_t uid);

// What the destination of a new result may not be, besides a file that is
// not a regular file or that cannot be replaced.
struct Destinations {
  struct Input {
    FileId id;
    std::string what;  // e.g. PARAMETERS file "p", as messages name it
  };
  std::vector<Input> inputs;                // files being read
  std::vector<const ResultFile*> results;   // results already prepared
  bool dash_is_stdout = false;              // "-" names standard output
};

class ResultFile {
 public:
  // Checks `path` as the destination of a result that messages call `what`
  // (e.g. OUTPUT file "x") and creates its temporary. On refusal: nullptr,
  // and `why` says why (e.g. "it is a folder").
  static std::unique_ptr<ResultFile> prepare(const std::string& path, std::string what, const Destinations& d,
                                             std::string& why);
  // The same for the file `name` of the directory open as `dirfd` (duplicated,
  // so the caller keeps its own), whose path messages call `folder`. A
  // symbolic link there is refused, never followed.
  static std::unique_ptr<ResultFile> prepare_at(int dirfd, const std::string& folder, const std::string& name,
                                                std::string what, const Destinations& d, std::string& why);
  // Why `name` of the folder open as `dirfd` could not be prepared as a
  // result (as prepare_at, without making its temporary); "" when it could.
  static std::string destination_problem(int dirfd, const std::string& folder, const std::string& name,
                                         const Destinations& d);
  // What may become of the file `name` of the folder open as `dirfd`, an
  // earlier run's result that this run would remove, under the rules of
  // replacing one: absent; spared (an input, standard output or error, or
  // not a regular file or link: never removed); or removable, or refused
  // with the reason (a link of another user than this one or root, another
  // user's file in a sticky folder, a folder where this user may not remove).
  struct Removal {
    bool present = false, spared = false;
    std::string refusal;
  };
  static Removal removal_of(int dirfd, const std::string& folder, const std::string& name, const Destinations& d);
  // Removes it when removal_of allows (a link is removed, never what it
  // points to); the reason when it may not, "" when done or absent.
  static std::string remove_stale(int dirfd, const std::string& folder, const std::string& name,
                                  const Destinations& d);
  // Opens the folder `path` for results, walked as a result's path is (links
  // under the same rule); -1 when it cannot, with `why`, "" when it does not
  // exist.
  static int open_folder(const std::string& path, std::string& why);

  ~ResultFile();  // an uncommitted result is abandoned: its temporary goes
  ResultFile(const ResultFile&) = delete;
  ResultFile& operator=(const ResultFile&) = delete;

  // Appends to the result. Throws RunStop when it cannot be written.
  void write(std::string_view bytes);
  // Everything of the commit that can fail before the destination changes:
  // the last writes, fsync, mode and owner, the temporary's name.
  void finish();
  // Renames the finished temporary over the destination (standard output:
  // nothing left to do).
  void replace();
  void commit() {
    finish();
    replace();
  }

  // A path the bytes written so far can be read back from before the
  // commit (the unnamed temporary through /proc/self/fd): a check of what
  // was written, with the program's own reader.
  std::string written_path();
  // Writes `text` to `path` as one result, or throws RunStop saying why not.
  static void write_whole(const std::string& path, const std::string& what, std::string_view text);

  bool to_stdout() const { return stdout_; }
  // True when the destination is the existing file `id`.
  bool is(const FileId& id) const { return existed_ && id_ == id; }
  const std::string& what() const { return what_; }

 private:
  ResultFile() = default;
  static std::unique_ptr<ResultFile> prepare_in(std::unique_ptr<ResultFile> r, const Destinations& d,
                                                std::string& why, bool make_temporary = true);
  void flush_buffer();
  [[noreturn]] void fail(const std::string& doing, int err) const;

  std::string what_;
  bool stdout_ = false;
  std::string folder_;  // resolved folder of the destination
  FileId folder_id_;
  std::string name_;    // file name in it
  bool existed_ = false;
  FileId id_;
  mode_t mode_ = 0;
  uid_t uid_ = 0;
  gid_t gid_ = 0;
  int dirfd_ = -1;
  int fd_ = -1;
  bool unnamed_ = false;   // O_TMPFILE: no name until finish()
  std::string temp_;       // name of the temporary in the folder, once it has one
  int slot_ = -1;          // its entry in the cleanup registry
  std::string buffer_;
  bool finished_ = false, done_ = false;
};

}  // namespace zk::rt
