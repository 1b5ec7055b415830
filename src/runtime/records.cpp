#include "runtime/records.hpp"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <system_error>

namespace zk::rt {

namespace {

constexpr std::size_t kBlock = 64 * 1024;

bool blank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

}  // namespace

void RecordBuilder::add(std::string_view bytes) {
  if (bytes.empty()) return;
  const std::uint64_t column = r_.length;
  r_.length += bytes.size();
  last_cr_ = bytes.back() == '\r';
  std::size_t k = 0;
  if (column < kVerbatimColumns) {
    k = static_cast<std::size_t>(std::min<std::uint64_t>(bytes.size(), kVerbatimColumns - column));
    r_.text.append(bytes.substr(0, k));
  }
  if (r_.cut) return;  // only counted from here on
  for (; k < bytes.size(); ++k) {
    const char c = bytes[k];
    if (blank(c)) {
      if (r_.text.back() != ' ' && r_.text.size() < kKeptCharacters) r_.text += ' ';
    } else if (r_.text.size() < kKeptCharacters) {
      r_.text += c;
    } else {
      r_.cut = true;
      return;
    }
  }
}

Record RecordBuilder::take() {
  if (last_cr_) {
    // A carriage return before the line end is no part of the line.
    --r_.length;
    if (r_.length < kVerbatimColumns) r_.text.pop_back();
  }
  Record out = std::move(r_);
  r_ = Record{};
  last_cr_ = false;
  return out;
}

std::string long_line(int line, std::uint64_t length) {
  return "line " + std::to_string(line) + " is " + std::to_string(length) + " characters long";
}

FdLines::FdLines(int fd) : fd_(fd), buf_(kBlock) {}

FdLines::~FdLines() { ::close(fd_); }

bool FdLines::fill() {
  if (eof_) return false;
  for (;;) {
    const ssize_t n = ::read(fd_, buf_.data(), buf_.size());
    if (n > 0) {
      pos_ = 0;
      end_ = static_cast<std::size_t>(n);
      return true;
    }
    if (n == 0) {
      eof_ = true;
      return false;
    }
    if (errno != EINTR) throw std::system_error(errno, std::generic_category());
  }
}

bool FdLines::at_end() { return pos_ == end_ && !fill(); }

Record FdLines::next() {
  RecordBuilder b;
  while (pos_ < end_ || fill()) {
    const char* p = buf_.data() + pos_;
    const std::size_t avail = end_ - pos_;
    const auto* nl = static_cast<const char*>(std::memchr(p, '\n', avail));
    if (nl != nullptr) {
      b.add(std::string_view(p, static_cast<std::size_t>(nl - p)));
      pos_ += static_cast<std::size_t>(nl - p) + 1;
      return b.take();
    }
    b.add(std::string_view(p, avail));
    pos_ = end_;
  }
  return b.take();
}

bool next_line(std::istream& in, Record& out) {
  std::streambuf* sb = in.rdbuf();
  if (sb == nullptr) return false;
  RecordBuilder b;
  char chunk[256];
  std::size_t n = 0;
  bool any = false;
  for (;;) {
    const int c = sb->sbumpc();
    if (c == std::char_traits<char>::eof()) {
      if (!any) return false;
      break;
    }
    any = true;
    if (c == '\n') break;
    chunk[n++] = static_cast<char>(c);
    if (n == sizeof chunk) {
      b.add(std::string_view(chunk, n));
      n = 0;
    }
  }
  b.add(std::string_view(chunk, n));
  out = b.take();
  return true;
}

}  // namespace zk::rt
