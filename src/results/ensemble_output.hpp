#pragma once
// What several starts and a bootstrap add to the results: the `starts` and
// `bootstrap` objects of the JSON document and the summary-line text.
#include <string>

#include <nlohmann/json.hpp>

#include "results/run_report.hpp"

namespace zk::batch {

// Adds `starts` (when K > 1) and `bootstrap` (when B > 0) to `doc`.
void add_ensemble_json(nlohmann::ordered_json& doc, const RunReport& r);

// The `bootstrap` object of a bootstrap report (the top-level one, or a
// phase's).
nlohmann::ordered_json bootstrap_json(const ensemble::BootstrapReport& b);

// The summary-line text of the chosen start, the cones and the R interval,
// and the ambiguity warning, each part starting with two blanks; "" when
// neither was asked for.
std::string ensemble_summary(const RunReport& r);



}  // namespace zk::batch
