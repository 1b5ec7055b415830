#pragma once
// What Michael's linear inversion, computed beside every run, adds to the
// result document and the summary line.
#include <string>

#include <nlohmann/json.hpp>

#include "results/run_report.hpp"

namespace zk::batch {

// "linear": axes, R, stress difference from the final tensor; null when the
// data cannot constrain it.
nlohmann::ordered_json linear_json(const RunReport& r);

// The summary line's clause "  linear sigma1 ..." ("  linear: none" without it).
std::string linear_summary(const RunReport& r);

}  // namespace zk::batch
