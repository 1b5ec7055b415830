#include "batch/mechanisms_run.hpp"

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <set>
#include <sstream>

#include "batch/batch.hpp"
#include "frontend/progress.hpp"
#include "frontend/run_error.hpp"
#include "results/mechanisms_output.hpp"
#include "results/phases_output.hpp"
#include "results/warnings.hpp"
#include "engine/engine.hpp"
#include "import/mechanism_table.hpp"
#include "runtime/errors.hpp"
#include "runtime/interrupt.hpp"
#include "runtime/printable.hpp"
#include "runtime/result_file.hpp"
#include "runtime/scratch_folder.hpp"

namespace zk::batch {
namespace {

namespace fs = std::filesystem;

mech::Rule rule_of(const std::string& name) {
  if (name == "misfit") return mech::Rule::Misfit;
  if (name == "instability") return mech::Rule::Instability;
  if (name == "given") return mech::Rule::Given;
  return mech::Rule::Hybrid;
}

// The same file (by device and inode when both exist, else by resolved path).
bool same_path(const std::string& a, const std::string& b) {
  if (a.empty() || b.empty() || a == "-" || b == "-") return false;
  struct stat sa {}, sb {};
  if (::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0) return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
  std::error_code ec;
  return fs::weakly_canonical(fs::absolute(a, ec), ec) == fs::weakly_canonical(fs::absolute(b, ec), ec);
}

// The PARAMETERS of a run on the table's events: the run parameters, the
// events the selection keeps and the warnings of the PARAMETERS file.
struct Base {
  RunInput input;  // the kept events on their given planes
  std::vector<mech::Event> kept;
};

Base read_base(const std::string& parameters, const std::string& table_path, const std::vector<mech::Event>& events,
               std::ostream& err) {
  std::istringstream no_console;
  Workspace ws(no_console, err);
  store_constants(ws);
  std::string why;
  if (!ws.units.open(unit::kParameters, parameters, "old", &why)) {
    throw rt::RunStop("could not open the PARAMETERS file " + parameters + (why.empty() ? "" : " (" + why + ")"));
  }
  std::vector<int> numbers;
  numbers.reserve(events.size());
  for (const mech::Event& e : events) numbers.push_back(e.number);
  TableParameters read = read_table_parameters(ws, numbers);
  ws.units.close(unit::kParameters);
  Base b;
  for (std::size_t k = 0; k < events.size(); ++k) {
    if (read.kept[k]) b.kept.push_back(events[k]);
  }
  FaultSet named;
  named.file = table_path;
  named.title = Text<kTitleLen>(fs::path(table_path).filename().string().substr(0, kTitleLen));
  mech::Choice given;
  for (const mech::Event& e : b.kept) given.push_back(e.known != 0 ? e.known : 1);
  b.input = RunInput{mech::chosen_set(named, b.kept, given), std::move(read.params), std::move(read.warnings)};
  return b;
}

// Why the chosen planes cannot be written as a DATA file ("" when they can):
// the format holds at most kMaxData records numbered up to 999.
std::string data_file_problem(const std::vector<mech::Event>& events) {
  int largest = 0;
  for (const mech::Event& e : events) largest = std::max(largest, e.number);
  if (events.size() <= static_cast<std::size_t>(kMaxData) && largest <= 999) return "";
  return "the table holds " + std::to_string(events.size()) + " events with ids up to " + std::to_string(largest) +
         "; a DATA file holds at most " + std::to_string(kMaxData) + " numbered up to 999";
}

// Refuses, with its message, a result path that is the mechanism table, a
// file of the choice that is any other file of the run, or a chosen DATA
// that is a phase file of the run; true when refused.
bool refuse_destinations(const Options& o, std::ostream& err) {
  // The table is read by this front end, not by the listed run: no result may replace it.
  for (const auto& [option, path] : {std::pair<const char*, const std::string*>{"OUTPUT", &o.output}, {"--json", &o.json},
                                     {"--svg", &o.svg}}) {
    if (same_path(*path, o.data)) {
      err << "zarkel-batch: " << option << " \"" << rt::shortened(*path)
          << "\" is refused: it is the mechanism table MECHANISMS.csv\n";
      return true;
    }
  }
  const std::pair<const char*, const std::string*> own[] = {{"--chosen-data", &o.chosen_data},
                                                            {"--chosen-planes", &o.chosen_planes}};
  for (const auto& [option, path] : own) {
    for (const std::string* other : {&o.output, &o.json, &o.svg, &o.parameters, &o.data, &o.chosen_data}) {
      if (other != path && same_path(*path, *other)) {
        err << "zarkel-batch: " << option << " \"" << *path << "\" is refused: it is also " << *other
            << " of this run\n";
        return true;
      }
    }
  }
  if (!o.chosen_data.empty() && !o.phase_dir.empty()) {
    std::error_code ec;
    const fs::path chosen = fs::weakly_canonical(fs::absolute(o.chosen_data, ec), ec);
    if (chosen.parent_path() == fs::weakly_canonical(fs::absolute(o.phase_dir, ec), ec) &&
        is_phase_file_name(chosen.filename().string())) {
      err << "zarkel-batch: --chosen-data \"" << o.chosen_data << "\" is refused: it is a phase file of --phase-dir \""
          << o.phase_dir << "\" of this run\n";
      return true;
    }
  }
  return false;
}

// The files of the choice (--chosen-data, --chosen-planes), prepared before
// any work and committed with the listing and the other results; false,
// with the message written, when one is refused.
bool prepare_choice_files(const Options& o, std::unique_ptr<rt::ResultFile>& own_file,
                          std::unique_ptr<rt::ResultFile>& planes_file, std::ostream& err) {
  rt::Destinations taken;
  for (const std::string* in : {&o.parameters, &o.data}) {
    struct stat st {};
    if (::stat(in->c_str(), &st) == 0) taken.inputs.push_back({{st.st_dev, st.st_ino}, "input \"" + *in + "\""});
  }
  const struct {
    const char* option;
    const char* what;
    const std::string* path;
    std::unique_ptr<rt::ResultFile>* file;
  } files[] = {{"--chosen-data", "chosen DATA file", &o.chosen_data, &own_file},
               {"--chosen-planes", "chosen planes table", &o.chosen_planes, &planes_file}};
  for (const auto& f : files) {
    if (f.path->empty()) continue;
    std::string why;
    *f.file = rt::ResultFile::prepare(*f.path, std::string(f.what) + " \"" + *f.path + "\"", taken, why);
    if (!*f.file) {
      err << "zarkel-batch: " << f.option << " \"" << rt::shortened(*f.path) << "\" is refused: " << rt::shortened(why)
          << "\n";
      return false;
    }
    taken.results.push_back(f.file->get());
  }
  return true;
}

// How the table is read: the delimiter and the columns of a table without
// a header row, as the command line gave them (checked there).
import::MechanismReadOptions read_options(const Options& o) {
  import::MechanismReadOptions ro;
  ro.use = import::EventsFor::Run;
  ro.delimiter = o.delimiter.empty() ? 0
                 : o.delimiter == "tab"        ? '\t'
                 : o.delimiter == "whitespace" ? table::kWhitespace
                                               : o.delimiter[0];
  if (!o.columns.empty() && !import::mechanism_column_list(o.columns, ro.columns).empty()) {
    throw std::logic_error("--columns was not checked");
  }
  return ro;
}

// A warning of the choice: a station's go to its run, others to `err`.
void say(const std::string& w, StationRun* station, std::ostream& err) {
  if (station != nullptr) {
    station->warnings.push_back(w);
  } else {
    err << "warning: " << rt::shortened(w) << "\n" << std::flush;
  }
}

// The plane choice on the kept events, with the answer without gross
// misfits, its bootstrap and its warnings. Throws rt::RunStop under
// --strict when there are warnings.
std::shared_ptr<MechanismsReport> choose(const Options& o, const Base& read, StationRun* station, std::ostream& err) {
  const RunInput& base = read.input;
  const std::vector<mech::Event>& kept = read.kept;
  auto report = std::make_shared<MechanismsReport>();
  report->table = o.data;
  mech::Options& mo = report->options;
  mo.rule = rule_of(o.plane_choice);
  mo.gap_deg = o.choice_gap;
  mo.seed = o.plane_seed;
  if (o.friction_fixed) mo.friction = o.friction;
  mo.starts = o.starts_given ? o.starts : (ensemble::starts_problem(base.params, 4).empty() ? 4 : 1);
  mo.jobs = o.jobs > 0 ? o.jobs : ensemble::hardware_jobs();
  const std::string problem = invert_problem(base.faults, base.params);
  if (!problem.empty()) throw rt::RunStop(problem);
  // A long choice says so (with or without a terminal), and shows a
  // progress line per engine run where asked.
  const std::string slow = choice_time_warning(base.params, static_cast<int>(kept.size()), mo.starts, o.bootstrap, mo.jobs);
  if (!slow.empty()) say(slow, station, err);
  const bool show_progress = station == nullptr && !o.quiet && (o.progress || ::isatty(STDERR_FILENO) == 1);
  std::unique_ptr<ProgressLine> line;
  mo.engine_run = [&](int run) {
    line.reset();
    line = std::make_unique<ProgressLine>(err, show_progress, mo.starts, "starts of engine run " + std::to_string(run));
  };
  report->outcome = mech::choose_planes(kept, base, mo, [&line](long long done) {
    if (line) line->update(done);
  });
  line.reset();
  mo.engine_run = nullptr;
  report->events = kept;
  std::unique_ptr<ProgressLine> replicates;
  complete_choice(*report, base, {o.bootstrap, o.confidence, o.bootstrap_seed}, [&](const std::string& what) {
    replicates.reset();
    replicates = std::make_unique<ProgressLine>(err, show_progress, o.bootstrap, what);
    return [&replicates](long long done) { replicates->update(done); };
  });
  replicates.reset();
  report->warnings = mechanisms_warnings(*report);
  for (const std::string& w : report->warnings) {
    if (station != nullptr) {
      station->warnings.push_back(w);
    } else {
      err << "warning: " << rt::shortened(w) << "\n";
    }
  }
  if (o.strict && !report->warnings.empty()) {
    throw rt::RunStop("--strict: the plane choice gives " + std::to_string(report->warnings.size()) +
                      (report->warnings.size() == 1 ? " warning" : " warnings") + "; nothing was written");
  }
  report->listed = RunInput{report->outcome.chosen_data, base.params, base.warnings};
  return report;
}

// Every event's chosen plane (the given one where the selection left it
// out), in whole degrees, written as DATA and read back as the console
// program reads it.
void write_chosen_data(rt::ResultFile& file, const std::string& table_path, const import::MechanismTable& table,
                       const std::vector<mech::Event>& kept, const MechanismsReport& report) {
  mech::Choice choice;
  for (std::size_t k = 0, j = 0; k < table.events.size(); ++k) {
    const mech::Event& e = table.events[k];
    const bool chosen = j < kept.size() && kept[j].number == e.number;
    choice.push_back(chosen ? report.outcome.events[j++].plane : (e.known != 0 ? e.known : 1));
  }
  const std::string name = fs::path(table_path).filename().string();
  const std::string title = (name.substr(0, 46) + ": chosen planes rounded to whole degrees").substr(0, kTitleLen);
  file.write(import::mechanism_data_text(title, table.events, choice));
  import::check_mechanism_data(file.written_path(), table.events, choice);
}

}  // namespace

int run_mechanisms(const Options& o, std::ostream& out, std::ostream& err, const SingleRun& single,
                   rt::ResultFile* station_data, StationRun* station) {
  rt::remove_temporaries_on_signal();
  std::unique_ptr<rt::ResultFile> own_file, planes_file;
  if (refuse_destinations(o, err) || !prepare_choice_files(o, own_file, planes_file, err)) return kExitUsage;
  rt::ResultFile* chosen_file = station_data != nullptr ? station_data : own_file.get();
  try {
    const import::MechanismTable table = import::read_mechanism_table(o.data, read_options(o));
    if (chosen_file != nullptr) {
      if (const std::string why = data_file_problem(table.events); !why.empty()) {
        throw rt::RunStop((station_data != nullptr ? "the folder's DATA file of the chosen planes: " : "--chosen-data: ") +
                          why);
      }
    }
    const Base read = read_base(o.parameters, o.data, table.events, err);
    const std::shared_ptr<MechanismsReport> report = choose(o, read, station, err);
    if (chosen_file != nullptr) write_chosen_data(*chosen_file, o.data, table, read.kept, *report);
    if (planes_file) planes_file->write(chosen_planes_csv(*report));
    if (planes_file) report->commit_with.push_back(planes_file.get());

    Options listed = o;
    listed.mechanisms = false;
    listed.data_name = o.data_name.empty() ? o.data : o.data_name;
    listed.starts = report->options.starts;
    listed.bootstrap = 0;  // done above, with the choice rerun on each resample
    // A station's chosen DATA is among its files already.
    return single(listed, out, err, report, own_file.get());
  } catch (const ensemble::OptionError& e) {
    if (station != nullptr) station->message = e.what();
    if (station == nullptr) err << "zarkel-batch: " << rt::shortened(e.what()) << "\n";
    return kExitUsage;
  } catch (const rt::RunError&) {
    if (station == nullptr) return report_run_error(err, false, "zarkel-batch");
    const RunErrorText t = run_error_text();
    station->message = t.message;
    return t.status;
  }
}

}  // namespace zk::batch
