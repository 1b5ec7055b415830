#pragma once
// Standard output and error as streams that remember why a write failed
// (a full disk, a closed terminal), so that the program can say so and end
// with a non-zero status instead of losing its output unnoticed.
#include <ostream>
#include <streambuf>
#include <string_view>

namespace zk::rt {

class FdStream : public std::ostream {
 public:
  explicit FdStream(int fd);
  ~FdStream() override;
  // The error of the first write that failed (errno), 0 when none did.
  int error() const { return buf_.error; }

 private:
  struct Buf : std::streambuf {
    int fd = -1;
    int error = 0;
    char data[4096];
    void start(int f) {
      fd = f;
      setp(data, data + sizeof data);
    }
    int overflow(int c) override;
    int sync() override;
    bool drain();
  } buf_;
};

// Flushes `out` and `err` at the end of `program`. A stream that could not
// be written gives one message on standard error (when it still can be
// written) and turns a status of 0 into 1.
int close_standard_streams(int status, std::string_view program, FdStream& out, FdStream& err);

}  // namespace zk::rt
