#include "runtime/result_file.hpp"

#include <fcntl.h>
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

// The kernel's protected_symlinks rule, applied by the program itself
// whatever the system's setting: a link in a sticky folder that anyone may
// write is followed only when it belongs to this user or to the folder's
// owner (another user may have planted it). Every link on the way to
// `path` is checked; the reason of a refusal, or "".
std::string untrusted_link(const std::string& path) {
  std::string cur;
  if (path.front() != '/') {
    char buf[PATH_MAX];
    if (::getcwd(buf, sizeof buf) == nullptr) return "";
    cur = buf;
  }
  std::vector<std::string> rest;
  for (std::size_t at = 0; at <= path.size();) {
    const std::size_t end = std::min(path.find('/', at), path.size());
    if (end > at) rest.push_back(path.substr(at, end - at));
    at = end + 1;
  }
  for (int links = 0; !rest.empty() && links < 40;) {
    const std::string part = rest.front();
    rest.erase(rest.begin());
    if (part == ".") continue;
    if (part == "..") {
      cur = cur.substr(0, cur.rfind('/'));
      continue;
    }
    const std::string next = cur + "/" + part;
    struct stat st {}, folder {};
    if (::lstat(next.c_str(), &st) != 0) return "";
    if (!S_ISLNK(st.st_mode)) {
      cur = next;
      continue;
    }
    ++links;
    if (::stat(cur.empty() ? "/" : cur.c_str(), &folder) == 0 && (folder.st_mode & S_ISVTX) != 0 &&
        (folder.st_mode & S_IWOTH) != 0 && st.st_uid != ::geteuid() && st.st_uid != folder.st_uid) {
      return quoted(next) + " is a symbolic link of another user (uid " + std::to_string(st.st_uid) +
             ") in the shared sticky folder " + quoted(cur.empty() ? "/" : cur) +
             ", which is not followed (it may have been planted)";
    }
    char buf[PATH_MAX];
    const ssize_t n = ::readlink(next.c_str(), buf, sizeof buf - 1);
    if (n <= 0) return "";
    const std::string to(buf, static_cast<std::size_t>(n));
    std::vector<std::string> parts;
    for (std::size_t at = 0; at <= to.size();) {
      const std::size_t end = std::min(to.find('/', at), to.size());
      if (end > at) parts.push_back(to.substr(at, end - at));
      at = end + 1;
    }
    rest.insert(rest.begin(), parts.begin(), parts.end());
    if (to.front() == '/') cur.clear();
  }
  return "";
}

}  // namespace

std::string untrusted_link_in(const std::string& path) { return path.empty() ? "" : untrusted_link(path); }

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

  // A link stands for the file it points to; what is there must be a
  // regular file (or nothing).
  std::string resolved = path;
  const bool link = ::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
  if (::stat(path.c_str(), &st) == 0) {
    const std::string kind = kind_refusal(st.st_mode);
    if (!kind.empty()) return refuse(kind);
    char buf[PATH_MAX];
    if (link) {
      if (::realpath(path.c_str(), buf) == nullptr) {
        return refuse("it is a link that cannot be followed (" + error_text(errno) + ")");
      }
      resolved = buf;
    }
  } else if (errno == ENOENT && link) {
    char buf[PATH_MAX];
    const ssize_t n = ::readlink(path.c_str(), buf, sizeof buf - 1);
    const std::string to = n > 0 ? std::string(buf, static_cast<std::size_t>(n)) : std::string("?");
    return refuse("it is a link to " + quoted(to) + ", which does not exist (give the path of the file itself)");
  } else if (errno == ENAMETOOLONG) {
    return refuse("its name is longer than the system allows");
  } else if (errno != ENOENT) {
    return refuse("it cannot be reached (" + error_text(errno) + ")");
  }

  if (const std::string planted = untrusted_link(path); !planted.empty()) return refuse(planted);

  const std::size_t slash = resolved.rfind('/');
  const std::string folder =
      slash == std::string::npos ? std::string(".") : slash == 0 ? std::string("/") : resolved.substr(0, slash);
  r->name_ = slash == std::string::npos ? resolved : resolved.substr(slash + 1);
  r->dirfd_ = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (r->dirfd_ < 0) {
    const int err = errno;
    if (err == ENOENT) return refuse("its directory " + quoted(folder) + " does not exist");
    if (err == ENOTDIR) return refuse(quoted(folder) + " is not a directory");
    return refuse("its directory " + quoted(folder) + " cannot be opened (" + error_text(err) + ")");
  }
  {
    char buf[PATH_MAX];
    r->folder_ = ::realpath(folder.c_str(), buf) != nullptr ? std::string(buf) : folder;
  }
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
                                                   std::string& why) {
  const auto refuse = [&why](std::string text) {
    why = std::move(text);
    return std::unique_ptr<ResultFile>();
  };
  struct stat st {};
  const std::string shown_folder = quoted(r->folder_);
  struct stat fst {};
  if (::fstat(r->dirfd_, &fst) != 0) return refuse("its directory " + shown_folder + " cannot be examined");

  if (::fstatat(r->dirfd_, r->name_.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
    if (!S_ISREG(st.st_mode)) return refuse("it changed while it was being checked");
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
                      (!o->stdout_ && o->folder_ == r->folder_ && o->name_ == r->name_);
    if (same) return refuse("it is the destination of the " + o->what_ + " already");
  }

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
