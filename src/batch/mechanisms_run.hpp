#pragma once
// zarkel-batch PARAMETERS MECHANISMS.csv OUTPUT --mechanisms: reads the table
// of focal mechanisms, chooses each event's fault plane (mechanisms/choice),
// writes the chosen planes as a DATA file (--chosen-data, or a private
// temporary) checked by reading it back, and lists them with the ordinary
// single run, whose result document and summary line then carry the choice.
#include <functional>
#include <memory>
#include <ostream>

#include "campaign/campaign.hpp"
#include "import/mechanism_table.hpp"
#include "batch/command_line.hpp"
#include "runtime/result_file.hpp"
#include "results/run_report.hpp"

namespace zk::batch {

// The ordinary run of `o` with the report of the choice attached; `chosen`,
// when not null, is the --chosen-data file, committed with the run's other
// results (the same held signals, the same message when one cannot be).
using SingleRun = std::function<int(const Options& o, std::ostream& out, std::ostream& err,
                                    std::shared_ptr<const MechanismsReport>, rt::ResultFile* chosen)>;

// How --delimiter and --columns read the table.
import::MechanismReadOptions mechanism_read_options(const Options& o);

// For a campaign's station: `station_data` is its folder's DATA file, which
// receives the chosen planes and is committed by `single` with the station's
// other files; the warnings and a refusal go to `station`, not to `err`.
int run_mechanisms(const Options& o, std::ostream& out, std::ostream& err, const SingleRun& single,
                   rt::ResultFile* station_data = nullptr, StationRun* station = nullptr);

}  // namespace zk::batch
