#pragma once
// One run from Python: the steps of a zarkel-batch run on a fault set and
// parameters held in memory, without files, giving the same report (and so
// the same JSON document, listing and figure).
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "engine/engine.hpp"
#include "import/import.hpp"
#include "import/mechanism_table.hpp"
#include "results/run_report.hpp"

namespace zk::binding {

// The run parameters with the warnings their file gave and its path.
struct Parameters {
  RunParams params;
  std::vector<std::string> warnings;  // of the file: selection and run records
  std::string path;
};

// The data with the warnings their file (or vectors) gave.
struct Faults {
  FaultSet set;
  std::vector<std::string> warnings;
  // Of an import from a table: "plane from ..., striation from ...", the
  // columns not read, and zarkel-import's --report (CSV text).
  std::string conventions;
  std::vector<std::string> ignored;
  std::string report_csv;
};

// The options of zarkel-batch that change the result, with its defaults.
struct RunOptions {
  std::optional<int> starts;  // none: ensemble::default_starts
  int bootstrap = 0;
  double confidence = 95.0;  // per cent
  std::uint64_t seed = 1;
  std::optional<int> jobs;  // none: one per hardware thread
  int phases = -1;   // -1: no separation, 0: auto, K
  int max_phases = 3;
  double outlier_misfit = 30.0;
  bool strict = false;
  int phase_starts = 0;  // 0: the default
};

struct Run {
  batch::RunReport report;
  std::string listing;
  std::vector<std::string> warnings;  // every warning the command line would show, in order
};

// Called about four times a second on the calling thread; throwing cancels.
using Poll = std::function<void()>;

// Reads a PARAMETERS file on its own: the run record is checked against the
// largest number of data, so that only what no DATA file could run is
// refused here; the rest when the run starts.
Parameters read_parameters(const std::string& path);
// Reads a DATA file, every datum kept (the parameters' selection applies
// when the run starts).
Faults read_data(const std::string& path);

// The data of a table of cells (a data frame's columns as text), imported
// as zarkel-import imports a CSV file: `columns` as "ROLE=HEADER" and
// `senses` as "WORD=LETTER", as --column and --sense-map; `name` names the
// table in messages. Nothing is left on disk.
Faults faults_from_cells(std::vector<std::string> header, std::vector<std::vector<std::string>> rows,
                         const std::string& name, import::Options o, const std::vector<std::string>& columns,
                         const std::vector<std::string>& senses);

// A catalogue of focal mechanisms read from a table of cells, as
// zarkel-batch --mechanisms reads a table (any number of events, planes as
// given); `name` names it in messages and the result.
struct Catalogue {
  import::MechanismTable table;
  std::string name;
};
Catalogue catalogue_from_cells(std::vector<std::string> header, std::vector<std::vector<std::string>> rows,
                               const std::string& name);

// The options of zarkel-batch --mechanisms, with its defaults.
struct ChoiceOptions {
  std::string plane_choice = "hybrid";  // hybrid, misfit, instability, given
  double choice_gap = 10.0;             // degrees
  std::uint64_t plane_seed = 1;
  std::optional<double> friction;  // none: from the scan
  std::optional<int> starts;       // none: 4, or 1 when NSEED and NTIR leave no room
  int bootstrap = 0;
  double confidence = 95.0;  // per cent
  std::uint64_t seed = 1;
  std::optional<int> jobs;
  bool strict = false;
  int phases = -1;  // of the chosen planes: -1 none, 0 auto, K
  int max_phases = 3;
  double outlier_misfit = 30.0;
  int phase_starts = 0;  // 0: the default
};

// The plane choice and the listed run on the chosen planes, as zarkel-batch
// --mechanisms runs them.
Run run_catalogue(const Catalogue& c, const Parameters& params, const ChoiceOptions& o, const Poll& poll);

// The run. Throws as zarkel-batch fails (rt::RunError, ensemble/phases
// OptionError).
Run run(const Faults& faults, const Parameters& params, const RunOptions& o, const Poll& poll);

}  // namespace zk::binding
