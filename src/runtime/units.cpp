// The unit table. Console units 5 and 6 are the injected streams; file units
// are opened by name. An output file is written to a temporary file beside it
// and moved over it only when the unit is committed or closed, so a run that
// stops early leaves a previous listing as it was.
#include "runtime/units.hpp"

#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <stdexcept>

#include "runtime/errors.hpp"
#include "runtime/interrupt.hpp"

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
  std::istream* in = nullptr;
  std::ostream* out = nullptr;
  std::ifstream ifs;
  std::ofstream ofs;
  std::string target;  // output: the file that commit replaces
  std::string temp;    // output: the file being written
  int temp_slot = -1;  // its entry in the registry of temporaries removed on a signal
  bool has_id = false;  // identity of the file on disk (input, or an existing output)
  dev_t dev = 0;
  ino_t ino = 0;
  int line = 0;  // records read, or written
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

Units::~Units() {
  for (auto& [number, u] : units_) {
    if (!u->console && !u->input && !u->temp.empty()) {
      u->ofs.close();
      std::remove(u->temp.c_str());
      unregister_temporary(u->temp_slot);
    }
  }
}

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

std::string Units::file_name(int unit) const { return get(unit).name; }

int Units::line_number(int unit) const { return get(unit).line; }

void Units::set_label(int unit, std::string label) { labels_[unit] = std::move(label); }

std::string Units::where(int unit) const {
  const Unit& u = get(unit);
  if (u.console) return u.name;
  auto it = labels_.find(unit);
  const std::string label = it != labels_.end() ? it->second : default_label(unit);
  return (label.empty() ? "" : label + " ") + "file \"" + u.name + "\"";
}

bool Units::at_end(int unit) {
  Unit& u = get(unit);
  if (!u.input) throw std::logic_error("unit " + std::to_string(unit) + " is not open for reading");
  return u.in->peek() == std::char_traits<char>::eof();
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

  struct stat sb {};
  const bool exists = ::stat(path.c_str(), &sb) == 0;
  if (!exists && errno != ENOENT) return refuse(why, std::strerror(errno));
  if (exists && S_ISDIR(sb.st_mode)) return refuse(why, "it is a directory");
  if (exists && !S_ISREG(sb.st_mode)) return refuse(why, "it is not a regular file");
  if (exists) {
    u->has_id = true;
    u->dev = sb.st_dev;
    u->ino = sb.st_ino;
  }

  // An output must never be one of the files being read, nor another output
  // (found by identity, so other spellings and links of the path count too).
  const std::string canonical = fs::weakly_canonical(path, ec).string();
  for (const auto& [number, other] : units_) {
    if (other->console || (other->input && st == "old")) continue;  // two readers of one file are fine
    const bool same = (u->has_id && other->has_id && u->dev == other->dev && u->ino == other->ino) ||
                      (!other->input && other->target == canonical);
    if (same) {
      return refuse(why, "it is the file of unit " + std::to_string(number) + " (" + other->name + ")");
    }
  }

  if (st == "old") {
    if (!exists) return refuse(why, "no such file");
    u->input = true;
    u->ifs.open(path, std::ios::in | std::ios::binary);
    if (!u->ifs.is_open()) return refuse(why, std::string("cannot be read: ") + std::strerror(errno));
    u->in = &u->ifs;
    units_[unit] = std::move(u);
    return true;
  }

  // Output: the real file (through a link, the file it points to) is
  // replaced at commit by a temporary written in its directory.
  if (exists && ::access(path.c_str(), W_OK) != 0) {
    return refuse(why, std::string("cannot be written: ") + std::strerror(errno));
  }
  u->target = canonical.empty() ? u->full : canonical;
  const fs::path tp(u->target);
  u->temp = (tp.parent_path() / ("." + tp.filename().string() + ".zarkel-tmp-" + std::to_string(::getpid()))).string();
  u->temp_slot = register_temporary(u->temp);
  u->ofs.open(u->temp, std::ios::out | std::ios::trunc | std::ios::binary);
  if (!u->ofs.is_open()) {
    const std::string reason = std::strerror(errno);
    unregister_temporary(u->temp_slot);
    u->temp.clear();
    return refuse(why, "cannot be written: " + reason);
  }
  if (exists) fs::permissions(u->temp, fs::status(u->target, ec).permissions(), ec);
  u->out = &u->ofs;
  units_[unit] = std::move(u);
  return true;
}

void Units::commit(int unit) {
  auto it = units_.find(unit);
  if (it == units_.end()) return;
  Unit& u = *it->second;
  if (u.console || u.input) return;
  if (u.memory != nullptr || u.discard) {
    units_.erase(it);
    return;
  }
  u.ofs.flush();
  const bool written = u.ofs.good();
  u.ofs.close();
  const std::string where_text = where(unit);
  if (!written || u.ofs.fail()) {
    throw RunStop("could not write " + where_text + " (" + std::strerror(errno) + ")");
  }
  if (std::rename(u.temp.c_str(), u.target.c_str()) != 0) {
    throw RunStop("could not save " + where_text + " (" + std::strerror(errno) + ")");
  }
  unregister_temporary(u.temp_slot);
  u.temp.clear();
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
  if (u.memory != nullptr) {
    u.memory->append(record);
    u.memory->push_back('\n');
    ++u.line;
    return;
  }
  *u.out << record << '\n';
  ++u.line;
  if (u.console) {
    u.out->flush();  // a prompt must show before the read that waits for its answer
  } else if (!u.ofs.good()) {
    throw RunStop("could not write " + where(unit) + " (" + std::strerror(errno) + ")");
  }
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
  std::string rec;
  if (!std::getline(*u.in, rec)) {
    if (u.console) throw EndOfInput("end of standard input");
    throw InputError(u.name, u.line,
                     where(unit) + " ends after line " + std::to_string(u.line) + " where a further line was expected");
  }
  if (!rec.empty() && rec.back() == '\r') rec.pop_back();
  ++u.line;
  return rec;
}

void Units::read_targets(int unit, std::string_view fmt, std::span<const Target> targets) {
  const Format& f = parse_format(fmt);
  UnitSource src(*this, unit);
  read_formatted(f, src, targets);
}

std::optional<ListRest> Units::read_list_targets(int unit, std::span<const Target> targets) {
  UnitSource src(*this, unit);
  return rt::read_list(src, targets);
}

}  // namespace zk::rt
