#pragma once
// Fortran edit-descriptor formats, as GNU Fortran's runtime writes and reads
// them. A format is parsed once into a small tree (cached by its text) and
// handed to one writer per descriptor.
#include <memory>
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

// One formatted read (Iw, Aw, Tn, nX, nA1, '/'...): every read starts on a new
// record, taken from `src`, as is each further record the layout asks for
// ("/"). A blank numeric field is zero. Throws InputError naming the file, the
// line and the columns of a bad field.
struct RecordSource {
  virtual ~RecordSource() = default;
  // Next record (without its line end or a trailing carriage return); throws
  // InputError (or EndOfInput on the console) at end of file.
  virtual std::string next_record() = 0;
  virtual const std::string& file() const = 0;
  virtual int line() const = 0;  // line number of the record last returned
};
void read_formatted(const Format& fmt, RecordSource& src, std::span<const Target> targets);

// One list-directed read: values separated by blanks, commas (tabs count as
// blanks), continued over as many records as needed; the rest of the last
// record is skipped. A bad value or the end of the file throws InputError
// naming the file, the line and the item.
void read_list(RecordSource& src, std::span<const Target> targets);

}  // namespace zk::rt
