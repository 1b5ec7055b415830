// The unit table. Console units 5 and 6 are the injected streams; file units
// are opened by name: an input is read line by line with bounded memory, an
// output is a ResultFile, moved over its path only when the unit is
// committed or closed, so a run that stops early leaves a previous listing
// as it was.
#include "runtime/units.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <new>
#include <stdexcept>
#include <system_error>

#include "runtime/errors.hpp"
#include "runtime/records.hpp"

namespace zk::rt {

namespace fs = std::filesystem;

namespace {

constexpr int kConsoleIn = 5;
constexpr int kConsoleOut = 6;

std::string lower(std::string_view s) {
  std::string t(s);
  for (char& c : t) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return t;
}

bool refuse(std::string* why, const std::string& text) {
  if (why) *why = text;
  return false;
}

std::string default_label(int unit) {
  switch (unit) {
    case 3: return "PARAMETERS";
    case 4: return "DATA";
    case 8: return "OUTPUT";
    default: return "";
  }
}

}  // namespace

struct Units::Unit {
  bool input = false;
  bool console = false;
  std::string name;  // as given by the user
  std::string full;  // absolute path
  std::istream* in = nullptr;   // console
  std::ostream* out = nullptr;  // console
  std::unique_ptr<FdLines> lines;      // input file
  std::unique_ptr<ResultFile> result;  // output file
  bool has_id = false;  // identity of an input file
  FileId id;
  int line = 0;  // records read, or written
  std::uint64_t length = 0;  // of the record last read
  bool cut = false;
  std::size_t given = 0;  // items reached by the last list-directed read
  std::string* memory = nullptr;  // output kept in memory
  bool discard = false;           // output not wanted
};

namespace {

// Records of one unit, for the readers.
class UnitSource : public RecordSource {
 public:
  UnitSource(Units& units, int unit) : units_(units), unit_(unit), name_(units.file_name(unit)) {}
  std::string next_record() override { return units_.read_record(unit_); }
  const std::string& file() const override { return name_; }
  int line() const override { return units_.line_number(unit_); }
  bool at_end() override { return units_.at_end(unit_); }
  bool is_console() const override { return unit_ == kConsoleIn; }
  std::uint64_t record_length() const override { return units_.record_length(unit_); }
  bool record_cut() const override { return units_.record_cut(unit_); }
  std::string where() const override { return units_.where(unit_); }

 private:
  Units& units_;
  int unit_;
  std::string name_;
};

}  // namespace

Units::Units(std::istream& console_in, std::ostream& console_out) {
  auto in = std::make_unique<Unit>();
  in->input = true;
  in->console = true;
  in->name = "standard input";
  in->full = in->name;
  in->in = &console_in;
  units_[kConsoleIn] = std::move(in);
  auto out = std::make_unique<Unit>();
  out->console = true;
  out->name = "standard output";
  out->full = out->name;
  out->out = &console_out;
  units_[kConsoleOut] = std::move(out);
}

Units::~Units() = default;  // an uncommitted ResultFile removes its temporary

Units::Unit& Units::get(int unit) {
  auto it = units_.find(unit);
  if (it == units_.end()) throw std::logic_error("unit " + std::to_string(unit) + " is not open");
  return *it->second;
}

const Units::Unit& Units::get(int unit) const {
  auto it = units_.find(unit);
  if (it == units_.end()) throw std::logic_error("unit " + std::to_string(unit) + " is not open");
  return *it->second;
}

void Units::open_result(int unit, std::unique_ptr<ResultFile> file, const std::string& path) {
  if (is_open(unit)) close(unit);
  auto u = std::make_unique<Unit>();
  u->name = path;
  u->full = path;
  u->result = std::move(file);
  units_[unit] = std::move(u);
}

void Units::open_memory(int unit, std::string& into) {
  if (is_open(unit)) close(unit);
  auto u = std::make_unique<Unit>();
  u->name = "listing in memory";
  u->full = u->name;
  u->memory = &into;
  units_[unit] = std::move(u);
}

void Units::open_discard(int unit) {
  if (is_open(unit)) close(unit);
  auto u = std::make_unique<Unit>();
  u->name = "discarded listing";
  u->full = u->name;
  u->discard = true;
  units_[unit] = std::move(u);
}

bool Units::is_open(int unit) const { return units_.count(unit) != 0; }

const std::string& Units::path(int unit) const { return get(unit).full; }

void Units::name_for_messages(int unit, const std::string& name) {
  Unit& u = get(unit);
  u.name = name;
  u.full = name;
}

std::string Units::file_name(int unit) const { return get(unit).name; }

int Units::line_number(int unit) const { return get(unit).line; }

std::uint64_t Units::record_length(int unit) const { return get(unit).length; }

bool Units::record_cut(int unit) const { return get(unit).cut; }

void Units::set_label(int unit, std::string label) { labels_[unit] = std::move(label); }

std::string Units::describe(int unit, const std::string& name) const {
  auto it = labels_.find(unit);
  const std::string label = it != labels_.end() ? it->second : default_label(unit);
  return (label.empty() ? "" : label + " ") + "file \"" + name + "\"";
}

std::string Units::where(int unit) const {
  const Unit& u = get(unit);
  return u.console ? u.name : describe(unit, u.name);
}

namespace {

InputError read_failure(const std::string& file, int line, const std::string& where, const std::system_error& e) {
  return InputError(file, line + 1,
                    where + ", line " + std::to_string(line + 1) + ": read error (" + e.code().message() + ")");
}

InputError memory_failure(const std::string& file, int line, const std::string& where) {
  return InputError(file, line,
                    where + ", line " + std::to_string(line + 1) + ": not enough memory to read the file");
}

}  // namespace

bool Units::at_end(int unit) {
  Unit& u = get(unit);
  if (!u.input) throw std::logic_error("unit " + std::to_string(unit) + " is not open for reading");
  if (u.console) return u.in->peek() == std::char_traits<char>::eof();
  try {
    return u.lines->at_end();
  } catch (const std::system_error& e) {
    throw read_failure(u.name, u.line, where(unit), e);
  }
}

std::size_t Units::items_given(int unit) const { return get(unit).given; }

ResultFile* Units::result(int unit) { return get(unit).result.get(); }

Destinations Units::destinations() const {
  Destinations d;
  d.dash_is_stdout = dash_is_stdout_;
  for (const auto& [number, u] : units_) {
    if (u->has_id) d.inputs.push_back({u->id, where(number)});
    if (u->result) d.results.push_back(u->result.get());
  }
  return d;
}

bool Units::open(int unit, const std::string& path, std::string_view status, std::string* why) {
  if (unit == kConsoleIn || unit == kConsoleOut) {
    throw std::logic_error("unit " + std::to_string(unit) + " is the console");
  }
  const std::string st = lower(status);
  if (st != "old" && st != "unknown") throw std::logic_error("open status \"" + std::string(status) + "\"");
  if (is_open(unit)) close(unit);
  if (path.empty()) return refuse(why, "no file name given");

  auto u = std::make_unique<Unit>();
  u->name = path;
  std::error_code ec;
  u->full = fs::absolute(path, ec).lexically_normal().string();
  if (ec) u->full = path;

  if (st == "unknown") {
    std::string reason;
    const std::string what =
        path == "-" && dash_is_stdout_ ? default_label(unit) + " listing (standard output)" : describe(unit, path);
    u->result = ResultFile::prepare(path, what, destinations(), reason);
    if (!u->result) return refuse(why, reason);
    units_[unit] = std::move(u);
    return true;
  }

  // Input. Opened without waiting (a named pipe would block), then checked
  // on what was opened.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) {
    const int err = errno;
    if (err == ENOENT) return refuse(why, "no such file");
    return refuse(why, std::string("cannot be read: ") + std::strerror(err));
  }
  struct stat sb {};
  std::string problem;
  if (::fstat(fd, &sb) != 0) problem = std::strerror(errno);
  else if (S_ISDIR(sb.st_mode)) problem = "it is a directory";
  else if (!S_ISREG(sb.st_mode)) problem = "it is not a regular file";
  if (problem.empty()) ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  if (!problem.empty()) {
    ::close(fd);
    return refuse(why, problem);
  }
  u->lines = std::make_unique<FdLines>(fd);
  u->input = true;
  u->has_id = true;
  u->id = FileId{sb.st_dev, sb.st_ino};
  // An output must never be read.
  for (const auto& [number, other] : units_) {
    if (other->result && other->result->is(u->id)) {
      return refuse(why, "it is the " + where(number) + ", which is being written");
    }
  }
  units_[unit] = std::move(u);
  return true;
}

void Units::commit(int unit) {
  auto it = units_.find(unit);
  if (it == units_.end() || it->second->console || it->second->input) return;
  if (it->second->result) it->second->result->commit();
  units_.erase(it);
}

void Units::close(int unit) {
  auto it = units_.find(unit);
  if (it == units_.end() || it->second->console) return;
  if (!it->second->input) {
    commit(unit);
    return;
  }
  units_.erase(it);
}

void Units::write_record(int unit, std::string_view record) {
  Unit& u = get(unit);
  if (u.input) throw std::logic_error("unit " + std::to_string(unit) + " is open for reading, not writing");
  if (u.discard) return;
  ++u.line;
  if (u.memory != nullptr) {
    u.memory->append(record);
    u.memory->push_back('\n');
    return;
  }
  if (u.result) {
    u.result->write(record);
    u.result->write("\n");
    return;
  }
  *u.out << record << '\n';
  u.out->flush();  // a prompt must show before the read that waits for its answer
  if (!u.out->good()) throw RunStop("could not write to " + u.name);
}

void Units::write_args(int unit, std::string_view fmt, const ArgList& items) {
  if (get(unit).discard) return;  // a unit that is not open fails before any formatting
  for (const std::string& r : write_records(parse_format(fmt), items.items())) write_record(unit, r);
}

void Units::write_list_args(int unit, const ArgList& items) {
  if (get(unit).discard) return;
  write_record(unit, list_directed_record(items.items()));
}

std::string Units::read_record(int unit) {
  Unit& u = get(unit);
  if (!u.input) throw std::logic_error("unit " + std::to_string(unit) + " is open for writing, not reading");
  Record rec;
  try {
    if (u.console) {
      if (!next_line(*u.in, rec)) throw EndOfInput("end of standard input");
    } else {
      if (u.lines->at_end()) {
        throw InputError(u.name, u.line,
                         where(unit) + " ends after line " + std::to_string(u.line) + " where a further line was expected");
      }
      rec = u.lines->next();
    }
  } catch (const std::system_error& e) {
    throw read_failure(u.name, u.line, where(unit), e);
  } catch (const std::bad_alloc&) {
    throw memory_failure(u.name, u.line, where(unit));
  }
  ++u.line;
  u.length = rec.length;
  u.cut = rec.cut;
  return std::move(rec.text);
}

void Units::read_targets(int unit, std::string_view fmt, std::span<const Target> targets) {
  const Format& f = parse_format(fmt);
  UnitSource src(*this, unit);
  try {
    read_formatted(f, src, targets);
  } catch (const std::bad_alloc&) {
    throw memory_failure(src.file(), src.line(), src.where());
  }
}

std::optional<ListRest> Units::read_list_targets(int unit, std::span<const Target> targets) {
  UnitSource src(*this, unit);
  try {
    return rt::read_list(src, targets, &get(unit).given);
  } catch (const std::bad_alloc&) {
    throw memory_failure(src.file(), src.line(), src.where());
  }
}

}  // namespace zk::rt
