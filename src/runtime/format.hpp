#pragma once
// Fortran edit-descriptor formats, as GNU Fortran's runtime writes and reads
// them. A format is parsed once into a small tree (cached by its text) and
// handed to one writer per descriptor.
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/args.hpp"

namespace zk::rt {

class Format;  // parsed layout, opaque to callers

// The parsed layout of `text`, e.g. "(1X,'SIGMA(',I1,')=',F9.5)". Parsed on
// first use and kept; throws FormatError on a layout that does not parse.
const Format& parse_format(std::string_view text);

// The records that a formatted write of `items` with `fmt` produces (without
// line ends). Output stops at the first data descriptor with no item left;
// items that outlast the layout continue by format reversion.
std::vector<std::string> write_records(const Format& fmt, std::span<const Arg> items);

// The record of a list-directed write: texts after one leading blank, with no
// separator between consecutive texts; no items gives an empty record.
std::string list_directed_record(std::span<const Arg> items);

// Where reads take their records from.
struct RecordSource {
  virtual ~RecordSource() = default;
  // Next record (without its line end or a trailing carriage return); throws
  // InputError (or EndOfInput on the console) at end of file.
  virtual std::string next_record() = 0;
  virtual const std::string& file() const = 0;
  virtual int line() const = 0;  // line number of the record last returned
  // True when no record is left; checked before a record is asked for, so a
  // read can say what it was still waiting for. Default: never at the end.
  virtual bool at_end() { return false; }
  // The console: its end ends the run (EndOfInput), it is not a bad file.
  virtual bool is_console() const { return false; }
  // How messages name the source, e.g. DATA file "x.dat".
  virtual std::string where() const { return "file \"" + file() + "\""; }
  // The whole length of the record last returned, and whether characters
  // other than blanks were skipped from it (records.hpp).
  virtual std::uint64_t record_length() const { return 0; }
  virtual bool record_cut() const { return false; }
};

// One formatted read (Iw, Fw.d, Aw, Tn, nX, nA1, '/'...): every read starts
// on a new record, taken from `src`, as is each further record the layout
// asks for ("/"). Blanks in a numeric field are ignored and a blank field is
// zero; a record shorter than a field reads as blanks. Throws InputError
// naming the file, the line and the columns of a bad field, or saying that the
// file ended before the values.
void read_formatted(const Format& fmt, RecordSource& src, std::span<const Target> targets);

// One list-directed read: values separated by blanks, commas (tabs count as
// blanks), continued over as many records as needed; the rest of the last
// record is skipped. A record end counts as a blank, so a comma opening a
// record separates the value before it (unless a comma followed that value
// on its own record). r*value repeats, r* and an empty value between commas
// leave items unchanged, "/" ends the read. A bad value or the end of the
// file throws InputError naming the file, the line and the item; the end of
// the console throws EndOfInput.
// Returns what is left on the last record after the last value and its
// separators (the first value there), or nothing (a "/" ends a record on
// purpose).
struct ListRest {
  int line = 0;
  std::size_t column = 0;      // 1-based
  std::string text;            // the first value left
  bool decimal_comma = false;  // it follows a comma written between digits ("0,35")
};
// `given`, when asked, receives the number of items the read reached: all of
// them, or those before a "/" that ended it early.
std::optional<ListRest> read_list(RecordSource& src, std::span<const Target> targets,
                                  std::size_t* given = nullptr);

// Records taken from a text, one per line, kept as records.hpp says (an
// internal read, e.g. a number read from an answer already typed). An empty
// text is one empty record.
class TextSource : public RecordSource {
 public:
  explicit TextSource(std::string_view text, std::string name = "answer");
  std::string next_record() override;
  const std::string& file() const override { return name_; }
  int line() const override { return line_; }
  bool at_end() override { return next_ > text_.size() || (next_ == text_.size() && !text_.empty()); }
  std::string where() const override { return name_; }
  std::uint64_t record_length() const override { return length_; }
  bool record_cut() const override { return cut_; }

 private:
  std::string text_;
  std::size_t next_ = 0;  // start of the next line
  int line_ = 0;
  std::uint64_t length_ = 0;
  bool cut_ = false;
  std::string name_;
};

}  // namespace zk::rt
