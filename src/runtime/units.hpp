#pragma once
// The unit table: unit number -> open stream, with its file name and line
// counter. Units 5 and 6 are the injected console streams; 3, 4 and 8 are the
// run's files. Unit 8 (any unit opened for output with status "unknown") is
// written to a temporary file beside the chosen path and moved over it only
// by commit(), so a run that stops early leaves a previous listing intact.
#include <fstream>
#include <istream>
#include <map>
#include <memory>
#include <ostream>
#include <string>
#include <string_view>

#include "runtime/args.hpp"
#include "runtime/format.hpp"

namespace zk::rt {

class Units {
 public:
  Units(std::istream& console_in, std::ostream& console_out);
  ~Units();  // abandons uncommitted output (removes its temporary file)
  Units(const Units&) = delete;
  Units& operator=(const Units&) = delete;

  // Opens `path` on `unit`. status "old": the file must exist and is read;
  // "unknown": written (created if missing). Returns false, with the reason in
  // `why`, when it cannot open (missing, a directory, unreadable, or an output
  // that is the same file as an input already open, by identity).
  bool open(int unit, const std::string& path, std::string_view status, std::string* why = nullptr);
  bool is_open(int unit) const;
  const std::string& path(int unit) const;  // full name as opened
  // Closes a unit; an output unit is committed (moved over its path).
  void close(int unit);
  // Moves every open output over its path. Only a run that ends normally.
  void commit(int unit);

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

  // Reads one record (line end and trailing carriage return removed). At the
  // end of a file: InputError naming the file and line; on the console:
  // EndOfInput.
  std::string read_record(int unit);
  // A formatted read.
  template <class... Ts>
  void read(int unit, std::string_view fmt, const Ts&... targets) {
    const Target ts[] = {targets...};
    read_targets(unit, fmt, ts);
  }
  void read_targets(int unit, std::string_view fmt, std::span<const Target> targets);
  // A list-directed read.
  template <class... Ts>
  void read_list(int unit, const Ts&... targets) {
    const Target ts[] = {targets...};
    read_list_targets(unit, ts);
  }
  void read_list_targets(int unit, std::span<const Target> targets);

  // Name and current line number of an input unit, for messages.
  std::string file_name(int unit) const;
  int line_number(int unit) const;

 private:
  struct Unit;
  Unit& get(int unit);
  const Unit& get(int unit) const;
  std::map<int, std::unique_ptr<Unit>> units_;
};

}  // namespace zk::rt
