#include "runtime/result_file.hpp"

#include <fcntl.h>
#include <pwd.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <ctime>
#include <stdexcept>
#include <vector>
#include <algorithm>
#include <utility>

#include "runtime/errors.hpp"
#include "runtime/interrupt.hpp"

namespace zk::rt {

namespace {

constexpr std::size_t kBlock = 64 * 1024;
constexpr int kNameTries = 100;

std::string error_text(int err) { return std::strerror(err); }

// A path as messages quote it: control bytes as \xNN, on one line.
std::string quoted(std::string_view s) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out = "\"";
  for (char c : s) {
    const auto u = static_cast<unsigned char>(c);
    if (u >= 0x20 && u != 0x7F) {
      out += c;
    } else {
      out += "\\x";
      out += kHex[u >> 4];
      out += kHex[u & 0xF];
    }
  }
  return out + "\"";
}

bool names_a_folder(const std::string& p) {
  if (p.back() == '/') return true;
  const std::size_t slash = p.rfind('/');
  const std::string base = slash == std::string::npos ? p : p.substr(slash + 1);
  return base == "." || base == "..";
}

std::string kind_refusal(mode_t m) {
  if (S_ISDIR(m)) return "it is a directory";
  if (S_ISCHR(m) || S_ISBLK(m)) return "it is a device, not a regular file";
  if (S_ISFIFO(m)) return "it is a named pipe (FIFO), not a regular file";
  if (S_ISSOCK(m)) return "it is a socket, not a regular file";
  if (!S_ISREG(m)) return "it is not a regular file";
  return "";
}

// A short random name for a temporary: ".zarkel-" and 8 letters or digits.
std::string temporary_name() {
  static constexpr char kAlphabet[] = "abcdefghijklmnopqrstuvwxyz0123456789";
  unsigned char bytes[8];
  if (getrandom(bytes, sizeof bytes, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof bytes)) {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    unsigned long long x = static_cast<unsigned long long>(ts.tv_nsec) ^ (static_cast<unsigned long long>(getpid()) << 32);
    for (unsigned char& b : bytes) {
      x = x * 6364136223846793005ULL + 1442695040888963407ULL;
      b = static_cast<unsigned char>(x >> 56);
    }
  }
  std::string name = ".zarkel-";
  for (unsigned char b : bytes) name += kAlphabet[b % 36];
  return name;
}

bool write_all(int fd, const char* p, std::size_t n, int& err) {
  while (n > 0) {
    const ssize_t w = ::write(fd, p, n);
    if (w < 0) {
      if (errno == EINTR) continue;
      err = errno;
      return false;
    }
    p += w;
    n -= static_cast<std::size_t>(w);
  }
  return true;
}

// Why no new file can be made in the folder, from the error of the attempt.
std::string creation_refusal(int err, const std::string& folder, bool existed) {
  if (err == EACCES || err == EPERM) {
    if (existed) {
      return "the file may be written, but its directory " + folder +
             " may not: a result is written beside its file and moved over it (" + error_text(err) + ")";
    }
    return "its directory " + folder + " does not let this user create files (" + error_text(err) + ")";
  }
  if (err == EROFS) return "its directory " + folder + " is on a read-only file system";
  return "no file can be created in its directory " + folder + " (" + error_text(err) + ")";
}

}  // namespace

std::string owner_named(uid_t uid) {
  const std::string number = "uid " + std::to_string(uid);
  std::vector<char> buf(16384);
  passwd pw{}, *found = nullptr;
  if (::getpwuid_r(uid, &pw, buf.data(), buf.size(), &found) == 0 && found != nullptr) {
    return "user " + std::string(found->pw_name) + " (" + number + ")";
  }
  return number;
}

namespace {

// A symbolic link on the way to a result is followed only when it belongs to
// the user running the program or to root: anyone else's link may have been
// planted to turn the result against a file of this user.
bool trusted_link(uid_t owner) { return owner == ::geteuid() || owner == 0; }

std::vector<std::string> path_parts(const std::string& p) {
  std::vector<std::string> parts;
  for (std::size_t at = 0; at <= p.size();) {
    const std::size_t end = std::min(p.find('/', at), p.size());
    if (end > at) parts.push_back(p.substr(at, end - at));
    at = end + 1;
  }
  return parts;
}

// A descriptor closed at the end of its scope.
struct Fd {
  int fd = -1;
  explicit Fd(int f = -1) : fd(f) {}
  ~Fd() {
    if (fd >= 0) ::close(fd);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  void reset(int f) {
    if (fd >= 0) ::close(fd);
    fd = f;
  }
  int release() { return std::exchange(fd, -1); }
};

// Where a result goes: its folder, open, and its name there.
struct Place {
  Fd dir;                     // the folder (O_RDONLY | O_DIRECTORY)
  std::string folder;         // its physical path, for messages
  std::string name;           // the last name
  bool through_link = false;  // the last name was a link, followed
  std::string link_text;      // what the last link followed says
};

// The walk of a result's path: one name at a time from the root or the
// working folder, each opened through the descriptor of the folder before it
// with O_NOFOLLOW, so that what is checked is what is used (no other process
// can swap a folder for a link between the two). A link met on the way, the
// last name included, is followed under the rule of trusted_link, read through
// its own descriptor. With `place` null the walk only checks the links.
bool walk_to_result(const std::string& path, Place* place, std::string& why) {
  const auto refuse = [&why](std::string text) {
    why = std::move(text);
    return false;
  };
  std::string base;  // the physical path of `cur`; "" for the root
  Fd cur;
  if (path.front() == '/') {
    cur.reset(::open("/", O_PATH | O_DIRECTORY | O_CLOEXEC));
  } else {
    cur.reset(::open(".", O_PATH | O_DIRECTORY | O_CLOEXEC));
    char buf[PATH_MAX];
    base = ::getcwd(buf, sizeof buf) != nullptr ? std::string(buf) : std::string(".");
    if (base == "/") base.clear();
  }
  if (cur.fd < 0) return refuse("the folder it starts from cannot be opened (" + error_text(errno) + ")");
  std::vector<std::string> rest = path_parts(path);
  std::reverse(rest.begin(), rest.end());  // a stack: the next name last
  bool through_link = false;
  std::string link_text;
  const auto dangling = [&] {
    return refuse("it is a link to " + quoted(link_text) + ", which does not exist (give the path of the file itself)");
  };
  for (int links = 0; !rest.empty();) {
    const std::string part = rest.back();
    rest.pop_back();
    const bool last = rest.empty();
    if (part == "." || part == "..") {
      if (last) return refuse("it names a directory, not a file");
      if (part == "..") {
        cur.reset(::openat(cur.fd, "..", O_PATH | O_DIRECTORY | O_CLOEXEC));
        if (cur.fd < 0) return refuse("a folder on its way cannot be opened (" + error_text(errno) + ")");
        const std::size_t slash = base.rfind('/');
        base = slash == std::string::npos ? base : base.substr(0, slash);
      }
      continue;
    }
    const std::string shown = base + "/" + part;
    Fd next(::openat(cur.fd, part.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
    struct stat st {};
    if (next.fd < 0 || ::fstat(next.fd, &st) != 0) {
      const int err = errno;
      if (err == ENOENT && through_link) return dangling();
      if (err == ENOENT && last) {
        if (place != nullptr) place->name = part;
        break;  // a new file
      }
      if (err == ENOENT) return refuse("its directory " + quoted(shown) + " does not exist");
      if (err == ENAMETOOLONG) return refuse("its name is longer than the system allows");
      if (err == ENOTDIR) return refuse(quoted(base) + " is not a directory");
      return refuse(quoted(shown) + " cannot be reached (" + error_text(err) + ")");
    }
    if (S_ISLNK(st.st_mode)) {
      if (!trusted_link(st.st_uid)) {
        return refuse(quoted(shown) + " is a symbolic link of " + owner_named(st.st_uid) +
                      ", which is not followed: a link on the way to a result is followed only when it belongs to "
                      "this user or to root");
      }
      if (++links > 40) return refuse("it is reached through too many symbolic links");
      char buf[PATH_MAX];
      const ssize_t n = ::readlinkat(next.fd, "", buf, sizeof buf - 1);
      if (n <= 0) return refuse(quoted(shown) + " is a link that cannot be read (" + error_text(errno) + ")");
      link_text.assign(buf, static_cast<std::size_t>(n));
      through_link = last || through_link;
      const std::vector<std::string> parts = path_parts(link_text);
      rest.insert(rest.end(), parts.rbegin(), parts.rend());
      if (link_text.front() == '/') {
        cur.reset(::open("/", O_PATH | O_DIRECTORY | O_CLOEXEC));
        base.clear();
      }
      if (parts.empty() && rest.empty()) return refuse("it names a directory, not a file");
      continue;
    }
    if (last) {
      if (place != nullptr) place->name = part;
      break;
    }
    if (!S_ISDIR(st.st_mode)) return refuse(quoted(shown) + " is not a directory");
    cur.reset(next.release());
    base = shown;
  }
  if (place == nullptr) return true;
  place->dir.reset(::openat(cur.fd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (place->dir.fd < 0) {
    return refuse("its directory " + quoted(base.empty() ? "/" : base) + " cannot be opened (" + error_text(errno) +
                  ")");
  }
  place->folder = base.empty() ? "/" : base;
  place->through_link = through_link;
  place->link_text = link_text;
  return true;
}


}  // namespace

std::string untrusted_link_in(const std::string& path) {
  std::string why;
  if (path.empty() || walk_to_result(path, nullptr, why)) return "";
  return why.find(" is a symbolic link of ") != std::string::npos ? why : "";
}

std::unique_ptr<ResultFile> ResultFile::prepare(const std::string& path, std::string what, const Destinations& d,
                                                std::string& why) {
  std::unique_ptr<ResultFile> r(new ResultFile);
  r->what_ = std::move(what);
  const auto refuse = [&why](std::string text) {
    why = std::move(text);
    return std::unique_ptr<ResultFile>();
  };
  if (path.empty()) return refuse("no file name given");
  if (path == "-") {
    if (!d.dash_is_stdout) {
      return refuse("\"-\" stands for standard output, which cannot take this result (write ./- for a file named -)");
    }
    for (const ResultFile* o : d.results) {
      if (o->stdout_) return refuse("the " + o->what_ + " goes there already");
    }
    r->stdout_ = true;
    return r;
  }
  struct stat st {};
  if (names_a_folder(path)) {
    return refuse(::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) ? "it is a directory"
                                                                        : "it names a directory, not a file");
  }

  // A trusted link stands for the file it points to; what is there must be
  // a regular file (or nothing).
  Place place;
  if (!walk_to_result(path, &place, why)) return nullptr;
  r->dirfd_ = place.dir.release();
  r->folder_ = place.folder;
  r->name_ = place.name;
  return prepare_in(std::move(r), d, why);
}

std::unique_ptr<ResultFile> ResultFile::prepare_at(int dirfd, const std::string& folder, const std::string& name,
                                                   std::string what, const Destinations& d, std::string& why) {
  std::unique_ptr<ResultFile> r(new ResultFile);
  r->what_ = std::move(what);
  r->folder_ = folder;
  r->name_ = name;
  r->dirfd_ = ::fcntl(dirfd, F_DUPFD_CLOEXEC, 0);
  if (r->dirfd_ < 0) {
    why = "its directory " + quoted(folder) + " cannot be opened (" + error_text(errno) + ")";
    return nullptr;
  }
  struct stat st {};
  if (::fstatat(r->dirfd_, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode)) {
    why = "it is a symbolic link, which is not followed here";
    return nullptr;
  }
  return prepare_in(std::move(r), d, why);
}

std::unique_ptr<ResultFile> ResultFile::prepare_in(std::unique_ptr<ResultFile> r, const Destinations& d,
                                                   std::string& why, bool make_temporary) {
  const auto refuse = [&why](std::string text) {
    why = std::move(text);
    return std::unique_ptr<ResultFile>();
  };
  struct stat st {};
  const std::string shown_folder = quoted(r->folder_);
  struct stat fst {};
  if (::fstat(r->dirfd_, &fst) != 0) return refuse("its directory " + shown_folder + " cannot be examined");
  r->folder_id_ = FileId{fst.st_dev, fst.st_ino};

  if (::fstatat(r->dirfd_, r->name_.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
    if (!S_ISREG(st.st_mode)) return refuse(kind_refusal(st.st_mode));
    r->existed_ = true;
    r->id_ = FileId{st.st_dev, st.st_ino};
    r->mode_ = st.st_mode & 07777;
    r->uid_ = st.st_uid;
    r->gid_ = st.st_gid;
    static const char* const kStreams[] = {"", "standard output", "standard error"};
    for (int fd : {1, 2}) {
      struct stat sst {};
      if (::fstat(fd, &sst) == 0 && FileId{sst.st_dev, sst.st_ino} == r->id_) {
        return refuse("it is where this program's " + std::string(kStreams[fd]) + " goes");
      }
    }
    for (const Destinations::Input& in : d.inputs) {
      if (in.id == r->id_) return refuse("it is the " + in.what + ", which is being read");
    }
    if (::faccessat(r->dirfd_, r->name_.c_str(), W_OK, AT_EACCESS) != 0) {
      return refuse(errno == EACCES ? std::string("it is write-protected")
                                    : "it cannot be written (" + error_text(errno) + ")");
    }
    if ((fst.st_mode & S_ISVTX) != 0 && st.st_uid != ::geteuid() && st.st_uid != fst.st_uid) {
      return refuse("it belongs to another user, in the sticky directory " + shown_folder +
                    " where only its owner may replace it");
    }
  } else if (errno == ENOENT) {
    const long most = ::fpathconf(r->dirfd_, _PC_NAME_MAX);
    if (most > 0 && r->name_.size() > static_cast<std::size_t>(most)) {
      return refuse("its name is " + std::to_string(r->name_.size()) + " bytes long; its directory takes at most " +
                    std::to_string(most));
    }
    const mode_t mask = ::umask(0);
    ::umask(mask);
    r->mode_ = 0666 & ~mask;
  } else {
    return refuse("it cannot be examined (" + error_text(errno) + ")");
  }
  for (const ResultFile* o : d.results) {
    const bool same = (o->existed_ && r->existed_ && o->id_ == r->id_) ||
                      (!o->stdout_ && o->folder_id_ == r->folder_id_ && o->name_ == r->name_);
    if (same) return refuse("it is the destination of the " + o->what_ + " already");
  }

  if (!make_temporary) return r;
  // The temporary: unnamed where the file system allows it (a name is then
  // given through /proc/self/fd), else a new name taken exclusively.
  if (::access("/proc/self/fd", X_OK) == 0) {
    r->fd_ = ::openat(r->dirfd_, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
    r->unnamed_ = r->fd_ >= 0;
  }
  if (r->fd_ < 0) {
    int err = 0;
    for (int k = 0; k < kNameTries && r->fd_ < 0; ++k) {
      const std::string name = temporary_name();
      const SignalsHeld held;
      r->fd_ = ::openat(r->dirfd_, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
      err = errno;
      if (r->fd_ >= 0) {
        r->temp_ = name;
        r->slot_ = register_temporary(r->dirfd_, name);
      } else if (err != EEXIST) {
        break;
      }
    }
    if (r->fd_ < 0) return refuse(creation_refusal(err, shown_folder, r->existed_));
  }
  return r;
}

std::string ResultFile::destination_problem(int dirfd, const std::string& folder, const std::string& name,
                                            const Destinations& d) {
  std::unique_ptr<ResultFile> r(new ResultFile);
  r->folder_ = folder;
  r->name_ = name;
  r->dirfd_ = ::fcntl(dirfd, F_DUPFD_CLOEXEC, 0);
  if (r->dirfd_ < 0) return "its directory " + quoted(folder) + " cannot be opened (" + error_text(errno) + ")";
  struct stat st {};
  if (::fstatat(r->dirfd_, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode)) {
    return "it is a symbolic link, which is not followed here";
  }
  std::string why;
  return prepare_in(std::move(r), d, why, false) ? "" : why;
}

ResultFile::Removal ResultFile::removal_of(int dirfd, const std::string& folder, const std::string& name,
                                          const Destinations& d) {
  Removal out;
  struct stat st {}, fst {};
  if (::fstatat(dirfd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return out;
  out.present = true;
  if (S_ISLNK(st.st_mode)) {
    if (!trusted_link(st.st_uid)) {
      out.refusal = "it is a symbolic link of " + owner_named(st.st_uid) +
                    ", which this run may not remove: only links of this user or of root are";
    }
    return out;
  }
  const FileId id{st.st_dev, st.st_ino};
  bool spared = !S_ISREG(st.st_mode);
  for (const Destinations::Input& in : d.inputs) spared = spared || in.id == id;
  for (int fd : {1, 2}) {
    struct stat sst {};
    spared = spared || (::fstat(fd, &sst) == 0 && FileId{sst.st_dev, sst.st_ino} == id);
  }
  for (const ResultFile* o : d.results) spared = spared || o->is(id);
  if (spared) {
    out.spared = true;
    return out;
  }
  // In a sticky folder: another user's file is not removed (as it is not
  // replaced) unless the folder is theirs too, and the system lets only the
  // file's owner, the folder's owner or root remove one.
  const uid_t me = ::geteuid();
  if (::fstat(dirfd, &fst) == 0 && (fst.st_mode & S_ISVTX) != 0 && st.st_uid != me &&
      (st.st_uid != fst.st_uid || (me != 0 && me != fst.st_uid))) {
    out.refusal = "it belongs to " + owner_named(st.st_uid) + ", in the sticky directory " + quoted(folder) +
                  " where this user may not remove it";
  } else if (::faccessat(dirfd, ".", W_OK | X_OK, AT_EACCESS) != 0) {
    out.refusal = "its directory " + quoted(folder) + " does not let this user remove files (" + error_text(errno) + ")";
  }
  return out;
}

std::string ResultFile::remove_stale(int dirfd, const std::string& folder, const std::string& name,
                                     const Destinations& d) {
  const Removal r = removal_of(dirfd, folder, name, d);
  if (!r.present || r.spared) return "";
  if (!r.refusal.empty()) return r.refusal;
  if (::unlinkat(dirfd, name.c_str(), 0) != 0 && errno != ENOENT) return "it cannot be removed (" + error_text(errno) + ")";
  return "";
}

int ResultFile::open_folder(const std::string& path, std::string& why) {
  why.clear();
  if (path.empty()) {
    why = "no folder name given";
    return -1;
  }
  std::string trimmed = path;
  while (trimmed.size() > 1 && trimmed.back() == '/') trimmed.pop_back();
  if (trimmed == "/" || trimmed == "." ) return ::open(trimmed.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  Place place;
  if (!walk_to_result(trimmed, &place, why)) {
    if (why == "it names a directory, not a file") {  // ends in "..": a folder by its path alone
      why.clear();
      return ::open(trimmed.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    }
    return -1;
  }
  const int fd = ::openat(place.dir.fd, place.name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) {
    const int err = errno;
    if (err == ENOENT) return -1;  // none yet
    why = err == ENOTDIR ? "it is not a folder" : "it cannot be opened (" + error_text(err) + ")";
  }
  return fd;
}

ResultFile::~ResultFile() {
  if (fd_ >= 0) ::close(fd_);
  if (!temp_.empty() && !done_) {
    const SignalsHeld held;
    ::unlinkat(dirfd_, temp_.c_str(), 0);
    unregister_temporary(slot_);
  }
  if (dirfd_ >= 0) ::close(dirfd_);
}

void ResultFile::fail(const std::string& doing, int err) const {
  throw RunStop("could not " + doing + " " + what_ + " (" + error_text(err) + ")");
}

void ResultFile::flush_buffer() {
  int err = 0;
  if (!write_all(fd_, buffer_.data(), buffer_.size(), err)) fail("write", err);
  buffer_.clear();
}

void ResultFile::write(std::string_view bytes) {
  if (finished_) throw std::logic_error("write after finish on " + what_);
  buffer_.append(bytes);
  if (!stdout_ && buffer_.size() >= kBlock) flush_buffer();
}

std::string ResultFile::written_path() {
  if (stdout_) throw std::logic_error("no path to read back standard output");
  flush_buffer();
  return unnamed_ ? "/proc/self/fd/" + std::to_string(fd_) : folder_ + "/" + temp_;
}

void ResultFile::write_whole(const std::string& path, const std::string& what, std::string_view text) {
  std::string why;
  const std::unique_ptr<ResultFile> f = prepare(path, what, Destinations{}, why);
  if (!f) throw RunStop("could not write the " + what + " (" + why + ")");
  f->write(text);
  f->commit();
}

void ResultFile::finish() {
  if (finished_) return;
  if (stdout_) {
    finished_ = true;
    return;
  }
  flush_buffer();
  if (::fsync(fd_) != 0) fail("write", errno);
  // The mode of the file replaced, or of a new file; as root its owner too.
  if (existed_) {
    if (::geteuid() == 0) {
      if (::fchown(fd_, uid_, gid_) != 0) fail("give the owner of the file it replaces to", errno);
    } else if (gid_ != ::getegid()) {
      (void)::fchown(fd_, static_cast<uid_t>(-1), gid_);  // kept where the user may
    }
  }
  if (::fchmod(fd_, mode_) != 0) fail("set the mode of", errno);
  if (unnamed_) {
    const std::string proc = "/proc/self/fd/" + std::to_string(fd_);
    int err = 0;
    for (int k = 0; k < kNameTries && temp_.empty(); ++k) {
      const std::string name = temporary_name();
      const SignalsHeld held;
      if (::linkat(AT_FDCWD, proc.c_str(), dirfd_, name.c_str(), AT_SYMLINK_FOLLOW) == 0 ||
          ::linkat(fd_, "", dirfd_, name.c_str(), AT_EMPTY_PATH) == 0) {
        temp_ = name;
        slot_ = register_temporary(dirfd_, name);
      } else if ((err = errno) != EEXIST) {
        break;
      }
    }
    if (temp_.empty()) fail("name the new version of", err);
  }
  finished_ = true;
}

void ResultFile::replace() {
  if (done_) return;
  finish();
  if (stdout_) {
    int err = 0;
    if (!write_all(STDOUT_FILENO, buffer_.data(), buffer_.size(), err)) {
      fail("write", err);
    }
    buffer_.clear();
    done_ = true;
    return;
  }
  {
    const SignalsHeld held;
    if (::renameat(dirfd_, temp_.c_str(), dirfd_, name_.c_str()) != 0) fail("replace", errno);
    unregister_temporary(slot_);
    done_ = true;
  }
  (void)::fsync(dirfd_);  // the rename itself on disk; not every file system can say
}

}  // namespace zk::rt
