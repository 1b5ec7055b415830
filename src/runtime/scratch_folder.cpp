#include "runtime/scratch_folder.hpp"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

#include "runtime/errors.hpp"
#include "runtime/interrupt.hpp"

namespace zk::rt {

namespace {

std::string cause(int err, const std::string& folder) {
  const std::string shown = "the temporary folder \"" + folder + "\"";
  const std::string hint = " (set TMPDIR to a folder where this user may write)";
  switch (err) {
    case ENOENT: return shown + " does not exist" + hint;
    case ENOTDIR: return shown + " is not a folder" + hint;
    case EROFS: return shown + " is on a read-only file system" + hint;
    case EACCES:
    case EPERM: return shown + " does not let this user create files" + hint;
    case ENOSPC:
    case EDQUOT: return shown + " is full (" + std::strerror(err) + ")" + hint;
    default: return shown + " cannot take a file (" + std::string(std::strerror(err)) + ")" + hint;
  }
}

bool write_all(int fd, std::string_view text, int& err) {
  for (std::size_t at = 0; at < text.size();) {
    const ssize_t w = ::write(fd, text.data() + at, text.size() - at);
    if (w < 0) {
      if (errno == EINTR) continue;
      err = errno;
      return false;
    }
    at += static_cast<std::size_t>(w);
  }
  return true;
}

}  // namespace

std::string temporary_folder() {
  const char* t = std::getenv("TMPDIR");
  return t != nullptr && *t != '\0' ? std::string(t) : std::string("/tmp");
}

std::string temporary_folder_problem() {
  try {
    ScratchFolder probe("check");
    probe.write("probe", "zarkel\n");
  } catch (const RunStop& e) {
    return e.what();
  }
  return "";
}

ScratchFolder::ScratchFolder(const std::string& what) {
  const std::string folder = temporary_folder();
  parent_ = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (parent_ < 0) throw RunStop(cause(errno, folder));
  static constexpr char kAlphabet[] = "abcdefghijklmnopqrstuvwxyz0123456789";
  int err = EEXIST;
  for (int tries = 0; err == EEXIST && tries < 100; ++tries) {
    unsigned char bytes[6];
    if (::getrandom(bytes, sizeof bytes, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof bytes)) {
      unsigned x = static_cast<unsigned>(::getpid()) * 2654435761U + static_cast<unsigned>(tries) * 40503U;
      for (unsigned char& b : bytes) b = static_cast<unsigned char>((x = x * 1103515245U + 12345U) >> 16);
    }
    std::string leaf = "zarkel-" + what + "-";
    for (unsigned char b : bytes) leaf += kAlphabet[b % 36];
    const SignalsHeld held;
    if (::mkdirat(parent_, leaf.c_str(), 0700) != 0) {
      err = errno;
      continue;
    }
    err = 0;
    leaf_ = leaf;
    folder_slot_ = register_temporary_folder(parent_, leaf_);
  }
  if (err == 0) {
    dir_ = ::openat(parent_, leaf_.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (dir_ < 0) err = errno;
  }
  if (err != 0) {
    release();
    throw RunStop(cause(err, folder));
  }
  path_ = folder + "/" + leaf_;
}

ScratchFolder::~ScratchFolder() { release(); }

void ScratchFolder::release() {
  const SignalsHeld held;
  for (const auto& [name, slot] : files_) {
    if (dir_ >= 0) ::unlinkat(dir_, name.c_str(), 0);
    unregister_temporary(slot);
  }
  files_.clear();
  if (dir_ >= 0) ::close(dir_);
  dir_ = -1;
  if (!leaf_.empty()) ::unlinkat(parent_, leaf_.c_str(), AT_REMOVEDIR);
  leaf_.clear();
  unregister_temporary(folder_slot_);
  folder_slot_ = -1;
  if (parent_ >= 0) ::close(parent_);
  parent_ = -1;
}

std::string ScratchFolder::write(const std::string& name, std::string_view text) {
  int fd = -1;
  {
    const SignalsHeld held;
    fd = ::openat(dir_, name.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd >= 0) files_.emplace_back(name, register_temporary(dir_, name));
  }
  int err = errno;
  bool ok = fd >= 0 && write_all(fd, text, err);
  if (fd >= 0 && ::close(fd) != 0 && ok) {
    ok = false;
    err = errno;
  }
  if (!ok) {
    throw RunStop("could not write the temporary file " + path_ + "/" + name + ": " +
                  cause(err, temporary_folder()));
  }
  return path_ + "/" + name;
}

}  // namespace zk::rt
