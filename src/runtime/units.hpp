#pragma once
// The unit table: unit number -> open stream, with its file name and line
// counter. Units 5 and 6 are the injected console streams; 3, 4 and 8 are the
// run's files. Input files are read with bounded memory (records.hpp). Unit 8
// (any unit opened for output with status "unknown") is a ResultFile: written
// to a temporary beside the chosen path and moved over it only by commit(),
// so a run that stops early leaves a previous listing intact.
#include <cstdint>
#include <istream>
#include <map>
#include <memory>
#include <ostream>
#include <string>
#include <string_view>

#include "runtime/args.hpp"
#include "runtime/format.hpp"
#include "runtime/result_file.hpp"

namespace zk {
// The units of a run.
namespace unit {
constexpr int kParameters = 3;  // PARAMETERS file
constexpr int kData = 4;        // DATA file
constexpr int kConsoleIn = 5;   // the console
constexpr int kConsoleOut = 6;
constexpr int kListing = 8;     // OUTPUT listing
}  // namespace unit
}  // namespace zk

namespace zk::rt {

class Units {
 public:
  Units(std::istream& console_in, std::ostream& console_out);
  ~Units();  // abandons uncommitted output (removes its temporary file)
  Units(const Units&) = delete;
  Units& operator=(const Units&) = delete;

  // Opens `path` on `unit`. status "old": the file must exist and is read;
  // "unknown": written (created if missing). Returns false, with the reason in
  // `why`, when it cannot open: an input that is missing, not a regular file
  // or unreadable; an output refused by ResultFile::prepare (not a regular
  // file, an input or another output, a folder that cannot take it...).
  // Opening a unit that is open closes it first.
  bool open(int unit, const std::string& path, std::string_view status, std::string* why = nullptr);
  // Opens `unit` for output into a result file prepared by the caller (e.g.
  // in a folder opened without following links), named `path` in messages.
  void open_result(int unit, std::unique_ptr<ResultFile> file, const std::string& path);
  // Opens `unit` for output into memory (appended to `into`, which must
  // outlive the unit) or into nothing (writes are not even formatted): the
  // listing of a run that is kept as text or not wanted at all.
  void open_memory(int unit, std::string& into);
  void open_discard(int unit);
  bool is_open(int unit) const;
  const std::string& path(int unit) const;  // full name as opened
  // How messages name the file of an open unit, when not by the path it was
  // opened by (a temporary read through /proc/self/fd).
  void name_for_messages(int unit, const std::string& name);
  // Closes a unit; an output unit is committed (moved over its path).
  // Closing a unit that is not open does nothing.
  void close(int unit);
  // Moves the output written on `unit` over its path and closes the unit
  // (nothing for an input or a unit not open). Only a run that ends normally.
  // Throws RunStop when the file cannot be written or moved.
  void commit(int unit);
  // "-" as an output path: standard output (refused unless set).
  void set_dash_is_stdout(bool on) { dash_is_stdout_ = on; }
  // The open files, as a further result's destination must not be them.
  Destinations destinations() const;
  // The result file of an output unit (nullptr for any other unit).
  ResultFile* result(int unit);

  // A formatted write: one or more records.
  template <class... Ts>
  void write(int unit, std::string_view fmt, const Ts&... items) {
    write_args(unit, fmt, make_args(items...));
  }
  void write_args(int unit, std::string_view fmt, const ArgList& items);
  // A list-directed write.
  template <class... Ts>
  void write_list(int unit, const Ts&... items) {
    write_list_args(unit, make_args(items...));
  }
  void write_list_args(int unit, const ArgList& items);
  // A raw record (already laid out).
  void write_record(int unit, std::string_view record);

  // Reads one record (line end and trailing carriage return removed; a long
  // line kept as records.hpp says). At the end of a file, or when it cannot
  // be read: InputError naming the file and line; on the console: EndOfInput.
  std::string read_record(int unit);
  // The whole length of the record last read, and whether characters other
  // than blanks were skipped from it.
  std::uint64_t record_length(int unit) const;
  bool record_cut(int unit) const;
  // A formatted read.
  template <class... Ts>
  void read(int unit, std::string_view fmt, const Ts&... targets) {
    const Target ts[] = {targets...};
    read_targets(unit, fmt, ts);
  }
  // A read with no items still takes (and skips) one record.
  void read(int unit, std::string_view fmt) { read_targets(unit, fmt, {}); }
  void read_targets(int unit, std::string_view fmt, std::span<const Target> targets);
  // A list-directed read.
  template <class... Ts>
  std::optional<ListRest> read_list(int unit, const Ts&... targets) {
    const Target ts[] = {targets...};
    return read_list_targets(unit, ts);
  }
  std::optional<ListRest> read_list(int unit) { return read_list_targets(unit, {}); }
  std::optional<ListRest> read_list_targets(int unit, std::span<const Target> targets);
  // The items the last list-directed read of `unit` reached: all of them, or
  // those before a "/" that ended the record early.
  std::size_t items_given(int unit) const;

  // Name and current line number of an input unit, for messages.
  std::string file_name(int unit) const;
  int line_number(int unit) const;
  // What messages call the file of a unit: units 3, 4 and 8 are the
  // PARAMETERS, DATA and OUTPUT files unless told otherwise, e.g.
  // DATA file "x.dat", line 7, columns 3-5: "1a2" is not an integer
  void set_label(int unit, std::string label);
  std::string where(int unit) const;
  // True when an input unit has no record left (waits for the console).
  bool at_end(int unit);

 private:
  struct Unit;
  Unit& get(int unit);
  const Unit& get(int unit) const;
  std::map<int, std::unique_ptr<Unit>> units_;
  std::map<int, std::string> labels_;
  bool dash_is_stdout_ = false;
  std::string describe(int unit, const std::string& name) const;
};

}  // namespace zk::rt
