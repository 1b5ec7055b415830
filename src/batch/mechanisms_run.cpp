#include "batch/mechanisms_run.hpp"

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <set>
#include <sstream>

#include "batch/batch.hpp"
#include "results/mechanisms_output.hpp"
#include "results/phases_output.hpp"
#include "results/warnings.hpp"
#include "frontend/run_error.hpp"
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

// The PARAMETERS with the given planes: the run parameters, the selection
// (the events kept) and the warnings of the PARAMETERS file.
RunInput read_base(const std::string& parameters, const std::string& data, std::ostream& err) {
  std::istringstream no_console;
  Workspace ws(no_console, err);
  store_constants(ws);
  std::string why;
  if (!ws.units.open(unit::kParameters, parameters, "old", &why)) {
    throw rt::RunStop("could not open the PARAMETERS file " + parameters + (why.empty() ? "" : " (" + why + ")"));
  }
  if (!ws.units.open(unit::kData, data, "old", &why)) throw rt::RunStop("could not open " + data + " (" + why + ")");
  RunInput in = read_run_input(ws);
  ws.units.close(unit::kParameters);
  ws.units.close(unit::kData);
  return in;
}

// Refuses, with its message, a result path that is the mechanism table or
// a --chosen-data that is any other file of the run; true when refused.
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
  for (const std::string* other : {&o.output, &o.json, &o.svg, &o.parameters, &o.data}) {
    if (same_path(o.chosen_data, *other)) {
      err << "zarkel-batch: --chosen-data \"" << o.chosen_data << "\" is refused: it is also " << *other
          << " of this run\n";
      return true;
    }
  }
  // Nor the chosen DATA one of the phase files of the same run.
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

// The planes chosen are read back from files of the temporary folder: true,
// with the message given, when that folder cannot serve.
bool refuse_temporary_folder(StationRun* station, std::ostream& err) {
  const std::string why_not = rt::temporary_folder_problem();
  if (why_not.empty()) return false;
  if (station != nullptr) {
    station->message = "the plane choice needs temporary files: " + why_not;
  } else {
    err << "zarkel-batch: the plane choice needs temporary files: " << rt::shortened(why_not) << "\n";
  }
  return true;
}

// The --chosen-data file, prepared before anything runs (none without the
// option); false, with the message written, when it is refused.
bool prepare_chosen_data(const Options& o, std::unique_ptr<rt::ResultFile>& file, std::ostream& err) {
  if (o.chosen_data.empty()) return true;
  rt::Destinations taken;
  for (const std::string* in : {&o.parameters, &o.data}) {
    struct stat st {};
    if (::stat(in->c_str(), &st) == 0) taken.inputs.push_back({{st.st_dev, st.st_ino}, "input \"" + *in + "\""});
  }
  std::string why;
  file = rt::ResultFile::prepare(o.chosen_data, "chosen DATA file \"" + o.chosen_data + "\"", taken, why);
  if (file) return true;
  err << "zarkel-batch: --chosen-data \"" << rt::shortened(o.chosen_data) << "\" is refused: " << rt::shortened(why)
      << "\n";
  return false;
}

// The events the PARAMETERS' selection keeps: they take part in the choice.
std::vector<mech::Event> kept_events(const import::MechanismTable& table, const RunInput& base) {
  std::set<int> kept_numbers;
  for (const FaultDatum& d : base.faults.data) kept_numbers.insert(d.record.NUM);
  std::vector<mech::Event> kept;
  for (const mech::Event& e : table.events) {
    if (kept_numbers.count(e.number) != 0) kept.push_back(e);
  }
  return kept;
}

// The plane choice on the kept events, with its bootstrap and warnings (a
// station's go to its run, others to `err`). Throws rt::RunStop under
// --strict when there are warnings.
std::shared_ptr<MechanismsReport> choose(const Options& o, const RunInput& base, const std::vector<mech::Event>& kept,
                                         StationRun* station, std::ostream& err) {
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
  report->outcome = mech::choose_planes(kept, base, mo, [](long long) {});
  report->events = kept;
  if (o.bootstrap > 0) {
    report->bootstrap = mech::bootstrap_choice(kept, base, mo, report->outcome.start,
                                               report->outcome.final.best_tensor, o.bootstrap, o.bootstrap_seed,
                                               o.confidence);
    report->bootstrap_options = {mo.starts, o.bootstrap, o.confidence, o.bootstrap_seed, mo.jobs};
  }
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
  return report;
}

}  // namespace

int run_mechanisms(const Options& o, std::ostream& out, std::ostream& err, const SingleRun& single,
                   rt::ResultFile* station_data, StationRun* station) {
  rt::remove_temporaries_on_signal();
  std::unique_ptr<rt::ResultFile> own_file;
  if (refuse_destinations(o, err) || refuse_temporary_folder(station, err) || !prepare_chosen_data(o, own_file, err)) {
    return kExitUsage;
  }
  rt::ResultFile* chosen_file = station_data != nullptr ? station_data : own_file.get();
  try {
    rt::ScratchFolder scratch("mechanisms");
    const import::MechanismTable table = import::read_mechanism_table(o.data, 0);
    const std::string title = fs::path(o.data).filename().string().substr(0, 80);
    mech::Choice given;
    for (const mech::Event& e : table.events) given.push_back(e.known != 0 ? e.known : 1);
    const RunInput base = read_base(o.parameters, scratch.write("GIVEN", import::mechanism_data_text(title, table.events, given)), err);

    const std::vector<mech::Event> kept = kept_events(table, base);
    const std::shared_ptr<MechanismsReport> report = choose(o, base, kept, station, err);
    const mech::Options& mo = report->options;

    // Every event's chosen plane (the given one where the selection left it out).
    mech::Choice choice = given;
    for (std::size_t k = 0, j = 0; k < table.events.size(); ++k) {
      if (j < kept.size() && kept[j].number == table.events[k].number) choice[k] = report->outcome.events[j++].plane;
    }
    const std::string text = import::mechanism_data_text(title, table.events, choice);
    std::string path;
    if (chosen_file) {
      chosen_file->write(text);
      path = chosen_file->written_path();
    } else {
      path = scratch.write("CHOSEN", text);
    }
    import::check_mechanism_data(path, table.events, choice);

    Options listed = o;
    listed.mechanisms = false;
    listed.data = path;
    listed.data_name = o.data_name.empty() ? o.data : o.data_name;
    listed.starts = mo.starts;
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
