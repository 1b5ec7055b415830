#pragma once
// What the separation of stress phases adds to a batch run: the `phases`
// object of the JSON document, the summary-line text, the warnings on the
// number of phases, and the files of --phase-dir.
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "results/run_report.hpp"

namespace zk::batch {

// Adds `phases` to `doc` when the run separated phases.
void add_phases_json(nlohmann::ordered_json& doc, const RunReport& r);

// "  phases 2: 1 (45 data) sigma1 ..., R=..., SHmax ...; 2 (...)", or "".
std::string phases_summary(const RunReport& r);

// "k=2 by 6, k=3 by 2": the k the search streams chose on their own, with
// their votes, in k order ("none admissible" without any).
std::string votes_text(const phases::Separation& s);

// One file of --phase-dir: its name in the folder and its bytes.
struct PhaseFile {
  std::string name;
  std::string text;
};

// phase-i.DATA (the members' records, title kept), phase-i.PARAMETERS (the
// run's settings with ISEL 1, POURC 100 and the phase's NSEED) and
// phase-i.LISTING (the console listing of that pair, made by reading the two
// files back as the console program does) for each phase, then none.DATA
// when some data belong to no phase. Throws std::logic_error when a listing
// does not reproduce its phase's tensor bit for bit. `runs` (when given)
// receives, per phase, the report of the run of its files (the LISTING's),
// titled with the phase and given the phase's bootstrap and quality: what
// its figure, phase-i.svg, draws.
std::vector<PhaseFile> phase_files(const RunReport& r, std::vector<RunReport>* runs = nullptr);

// True for a name a run may give a file of --phase-dir (none.DATA,
// phase-N.DATA, .PARAMETERS, .LISTING or .svg for N from 1 to
// phases::kMaxPhases).
bool is_phase_file_name(const std::string& name);

}  // namespace zk::batch
