#include "results/phases_output.hpp"

#include <stdlib.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <stdexcept>

#include "results/ensemble_output.hpp"
#include "results/result_json.hpp"
#include "data/field_faults.hpp"
#include "runtime/errors.hpp"
#include "runtime/scratch_folder.hpp"

namespace zk::batch {

using json = nlohmann::ordered_json;

namespace {

// A record in the DATA columns with every field it was read with (the pitch
// and, when there is one, the azimuth of the striation).
std::string record_line(const FaultRecord& r) {
  std::string line = field::data_line(r, false);
  if (r.AZSTR != 0) {
    line.resize(76, ' ');
    const std::string v = std::to_string(r.AZSTR);
    if (v.size() <= 3) line.replace(31 - v.size(), v.size(), v);
    line.erase(line.find_last_not_of(' ') + 1);
  }
  return line;
}

std::string data_text(const RunReport& r, const std::vector<int>& members) {
  std::string text = r.title + "\n";
  for (int i : members) text += record_line(r.data[static_cast<std::size_t>(i)].as_read) + "\n";
  return text + std::string(field::kTerminator) + "\n";
}

std::string parameters_text(const RunParams& p, int NSEED) {
  return "1 " + std::to_string(p.IECHO) + "\n1 100 " + std::to_string(p.NTIR) + " " + std::to_string(NSEED) + " " +
         std::to_string(p.IPRINT) + "\n";
}

// The console listing of a PARAMETERS and DATA pair, read from files as the
// console program reads them, and the run's final tensor.
std::string console_listing(const std::string& parameters, const std::string& data, TensorSnapshot& final,
                            std::vector<FaultRecord>& records, RunReport* report) {
  rt::ScratchFolder dir("phase");
  const std::string parameters_path = dir.write("PARAMETERS", parameters);
  const std::string data_path = dir.write("DATA", data);
  std::istringstream no_console;
  std::ostringstream console;
  auto ws = std::make_unique<Workspace>(no_console, console);
  store_constants(*ws);
  if (!ws->units.open(unit::kParameters, parameters_path, "old") || !ws->units.open(unit::kData, data_path, "old")) {
    throw rt::RunStop("could not read back the files of a phase in " + dir.path());
  }
  const RunInput input = read_run_input(*ws);
  for (const FaultDatum& d : input.faults.data) records.push_back(d.record);
  std::string listing;
  const InversionResult run = invert(input.faults, input.params, *ws, ListingSink::text(listing));
  final = run.stage3;
  if (report != nullptr) *report = collect_report(input, run);
  return listing;
}

bool same_record(const FaultRecord& a, const FaultRecord& b) {
  return a.DIR == b.DIR && a.PEND == b.PEND && a.PITCH == b.PITCH && a.AZSTR == b.AZSTR && a.NUM == b.NUM &&
         a.QPEND == b.QPEND && a.QPITCH == b.QPITCH && a.SENS == b.SENS && std::equal(a.LABEL, a.LABEL + 3, b.LABEL);
}

}  // namespace

void add_phases_json(json& doc, const RunReport& r) {
  if (!r.separation) return;
  const phases::Separation& s = *r.separation;
  json models = json::array();
  for (const phases::Model& m : s.models) {
    models.push_back({{"k", m.k},
                      {"objective_rad2", json_real(m.objective_rad2)},
                      {"objective_spread", json_real(m.objective_spread)},
                      {"bic", json_real(m.bic)},
                      {"sigma_deg", json_real(m.sigma_deg)},
                      {"outlier_share", json_real(m.outlier_share)},
                      {"smallest_phase", m.smallest_phase},
                      {"closest_phases_deg", json_optional_real(m.closest_phases_deg)}});
  }
  json list = json::array();
  for (std::size_t j = 0; j < s.phases.size(); ++j) {
    const phases::Phase& p = s.phases[j];
    list.push_back({{"phase", static_cast<int>(j + 1)},
                    {"members", static_cast<int>(p.members.size())},
                    {"NSEED", p.NSEED},
                    {"axes", axes_json(p.tensor)},
                    {"R", json_float(p.tensor.P(4))},
                    {"misfit_sum_rad2", json_real(p.misfit_sum_rad2)},
                    {"residual_std_deg", json_optional_real(p.residual_std_deg)},
                    {"rms_misfit_deg", json_real(p.rms_misfit_deg)},
                    {"stress_state", stress_state_json(stress_state(p.tensor), static_cast<double>(p.tensor.P(4)))}});
    if (j < r.phase_quality.size()) list.back()["quality"] = quality_json(r.phase_quality[j]);
    if (j < s.bootstrap.size()) {
      json b = bootstrap_json(s.bootstrap[j]);
      if (j < r.phase_quality.size()) {
        b["quality"] = std::string(1, r.phase_quality[j].rank);
        b["quality_reason"] = r.phase_quality[j].reasons.empty() ? std::string() : r.phase_quality[j].reasons.front();
      }
      list.back()["bootstrap"] = b;
    }
  }
  json data = json::array();
  for (std::size_t i = 0; i < s.data.size(); ++i) {
    const phases::DatumPhase& d = s.data[i];
    json misfits = json::array(), posterior = json::array();
    for (double m : d.misfit_deg) misfits.push_back(json_real(m));
    for (double w : d.posterior) posterior.push_back(json_real(w));
    data.push_back({{"index", static_cast<int>(i + 1)},
                    {"number", r.data[i].NUM},
                    {"phase", d.phase},
                    {"misfits_deg", misfits},
                    {"posterior", posterior},
                    {"posterior_none", json_real(d.posterior_none)},
                    {"misfit_gap_deg", json_optional_real(d.misfit_gap_deg)},
                    {"ambiguous", d.ambiguous}});
  }
  json votes = json::object();
  for (std::size_t k = 0; k < s.k_votes.size(); ++k) votes[std::to_string(k + 1)] = s.k_votes[k];
  doc["phases"] = {{"k", s.k},
                   {"chosen", s.automatic ? "auto" : "given"},
                   {"max_phases", s.options.max_phases},
                   {"restarts", s.restarts},
                   {"k_votes", votes},
                   {"outlier_misfit_deg", json_real(s.options.outlier_misfit_deg)},
                   {"models", models},
                   {"phases", list},
                   {"data", data}};
}

std::string votes_text(const phases::Separation& s) {
  std::string text;
  for (std::size_t k = 0; k < s.k_votes.size(); ++k) {
    if (s.k_votes[k] == 0) continue;
    text += (text.empty() ? "" : ", ") + std::string("k=") + std::to_string(k + 1) + " by " + std::to_string(s.k_votes[k]);
  }
  return text.empty() ? "none admissible" : text;
}

std::string phases_summary(const RunReport& r) {
  if (!r.separation) return "";
  const phases::Separation& s = *r.separation;
  std::string text = "  phases " + std::to_string(s.k) + (s.automatic ? " (auto)" : " (given)") + ":";
  for (std::size_t j = 0; j < s.phases.size(); ++j) {
    const TensorSnapshot& t = s.phases[j].tensor;
    text += (j == 0 ? " " : "; ") + std::to_string(j + 1) + " (" + std::to_string(s.phases[j].members.size()) + " data)";
    for (int L = 1; L <= 3; ++L) {
      text += " sigma" + std::to_string(L) + " " + format_number("%.1f", static_cast<double>(t.DIRE(L))) + "/" +
              format_number("%.1f", static_cast<double>(t.PEN(L)));
    }
    text += " R=" + format_number("%.2f", static_cast<double>(t.P(4)));
    const StressState st = stress_state(t);
    text += st.shmax ? " SHmax " + format_number("%.1f", *st.shmax) : std::string(" SHmax none");
  }
  int none = 0;
  for (const phases::DatumPhase& d : s.data) none += d.phase == 0 ? 1 : 0;
  const phases::Model& m = s.models[s.chosen_model];
  return text + "; " + std::to_string(none) + " of no phase; " + std::to_string(s.restarts) + " searches: " +
         votes_text(s) + "; J spread " + format_number("%.1f", 100.0 * m.objective_spread) + " %";
}

bool is_phase_file_name(const std::string& name) {
  if (name == "none.DATA") return true;
  for (int i = 1; i <= phases::kMaxPhases; ++i) {
    for (const char* ext : {".DATA", ".PARAMETERS", ".LISTING", ".svg"}) {
      if (name == "phase-" + std::to_string(i) + ext) return true;
    }
  }
  return false;
}

std::vector<PhaseFile> phase_files(const RunReport& r, std::vector<RunReport>* runs) {
  std::vector<PhaseFile> files;
  if (!r.separation) return files;
  const phases::Separation& s = *r.separation;
  for (std::size_t j = 0; j < s.phases.size(); ++j) {
    const phases::Phase& p = s.phases[j];
    const std::string stem = "phase-" + std::to_string(j + 1);
    PhaseFile data{stem + ".DATA", data_text(r, p.members)};
    PhaseFile params{stem + ".PARAMETERS", parameters_text(r.params, p.NSEED)};
    TensorSnapshot final;
    std::vector<FaultRecord> read_back;
    RunReport run;
    PhaseFile listing{stem + ".LISTING", console_listing(params.text, data.text, final, read_back, &run)};
    // What the console program reads from the files is the phase: the same
    // records and the same tensor, bit for bit. Focal mechanisms are
    // inverted on the planes as given: their files hold the records in
    // whole degrees, whose tensor is the console's on those records.
    bool same = read_back.size() == p.members.size();
    for (std::size_t i = 0; same && i < read_back.size(); ++i) {
      same = same_record(read_back[i], r.data[static_cast<std::size_t>(p.members[i])].as_read);
    }
    if (!same || (!r.mechanisms && !same_bits(final, p.tensor))) {
      throw std::logic_error("the files of phase " + std::to_string(j + 1) + " do not reproduce it");
    }
    files.push_back(std::move(data));
    files.push_back(std::move(params));
    files.push_back(std::move(listing));
    if (runs != nullptr) {
      // The run of the phase's files as its figure shows it: titled with
      // the phase, with the phase's bootstrap and quality.
      run.title = "Phase " + std::to_string(j + 1) + " of " + std::to_string(s.phases.size()) + " (" +
                  std::to_string(p.members.size()) + " of " + std::to_string(r.data.size()) + " data): " + r.title;
      if (j < s.bootstrap.size()) {
        run.ensemble = ensemble::Ensemble{run.params, run.run.stage3, {}, s.bootstrap[j]};
        run.ensemble_options = r.ensemble_options;
        run.ensemble_options.starts = 1;
      }
      if (j < r.phase_quality.size()) run.quality = r.phase_quality[j];
      runs->push_back(std::move(run));
    }
  }
  std::vector<int> none;
  for (std::size_t i = 0; i < s.data.size(); ++i) {
    if (s.data[i].phase == 0) none.push_back(static_cast<int>(i));
  }
  if (!none.empty()) files.push_back(PhaseFile{"none.DATA", data_text(r, none)});
  return files;
}

}  // namespace zk::batch
