#pragma once
// The one line a batch run prints on success: the data file, N and NMIN, the
// final axes as trend/plunge, R, R' and its class, SHmax with the World
// Stress Map regime, the residual standard deviation, then what starts,
// bootstrap, phases, the linear inversion and a plane choice add.
#include <string>

#include "results/run_report.hpp"

namespace zk::batch {

std::string summary_line(const RunReport& r);

}  // namespace zk::batch
