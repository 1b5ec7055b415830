#include "runtime/std_streams.hpp"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "runtime/exit_status.hpp"

namespace zk::rt {

FdStream::FdStream(int fd) : std::ostream(nullptr) {
  buf_.start(fd);
  rdbuf(&buf_);
}

FdStream::~FdStream() { buf_.drain(); }

bool FdStream::Buf::drain() {
  const char* p = pbase();
  std::size_t n = static_cast<std::size_t>(pptr() - pbase());
  while (n > 0 && error == 0) {
    const ssize_t w = ::write(fd, p, n);
    if (w < 0 && errno == EINTR) continue;
    if (w < 0) {
      error = errno;
      break;
    }
    p += w;
    n -= static_cast<std::size_t>(w);
  }
  setp(data, data + sizeof data);
  return error == 0;
}

int FdStream::Buf::overflow(int c) {
  if (!drain()) return traits_type::eof();
  if (c != traits_type::eof()) {
    *pptr() = static_cast<char>(c);
    pbump(1);
  }
  return traits_type::not_eof(c);
}

int FdStream::Buf::sync() { return drain() ? 0 : -1; }

int close_standard_streams(int status, std::string_view program, FdStream& out, FdStream& err) {
  out.flush();
  if (out.error() != 0) {
    err << program << ": could not write to standard output (" << std::strerror(out.error()) << ")\n";
  }
  err.flush();
  return status == 0 && (out.error() != 0 || err.error() != 0) ? kExitFailed : status;
}

}  // namespace zk::rt
