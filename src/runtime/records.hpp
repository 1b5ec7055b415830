#pragma once
// Lines read with bounded memory. A line is kept as read up to column
// kVerbatimColumns; beyond, each run of blanks is kept as one blank and at
// most kKeptCharacters are kept in all. The rest of a longer line is skipped
// unread, only counted, so any input file is read in a few kilobytes.
#include <cstddef>
#include <cstdint>
#include <istream>
#include <string>
#include <string_view>
#include <vector>

namespace zk::rt {

constexpr std::size_t kVerbatimColumns = 4096;
constexpr std::size_t kKeptCharacters = 8192;

// One line as kept.
struct Record {
  std::string text;          // without its line end and a final carriage return
  std::uint64_t length = 0;  // characters of the whole line, so counted
  bool cut = false;          // characters other than blanks were skipped
};

// Builds a record from the bytes of one line (the line end excluded).
class RecordBuilder {
 public:
  void add(std::string_view bytes);
  Record take();

 private:
  Record r_;
  bool last_cr_ = false;
};

// "line 2 is 10485769 characters long": what messages say of a long line.
std::string long_line(int line, std::uint64_t length);

// The lines of a file descriptor (owned), read in blocks. A read error
// throws std::system_error with the system's error code.
class FdLines {
 public:
  explicit FdLines(int fd);
  ~FdLines();
  FdLines(const FdLines&) = delete;
  FdLines& operator=(const FdLines&) = delete;
  bool at_end();
  Record next();  // the line after the last; an empty record at the end

 private:
  bool fill();
  int fd_;
  std::vector<char> buf_;
  std::size_t pos_ = 0, end_ = 0;
  bool eof_ = false;
};

// The next line of a stream (the console), read a character at a time so
// that nothing beyond the line is taken; false at the end of the stream.
bool next_line(std::istream& in, Record& out);

}  // namespace zk::rt
