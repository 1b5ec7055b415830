#pragma once
// What a focal-mechanism run adds to the result document, the summary line
// and the warnings.
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "results/run_report.hpp"

namespace zk::batch {

// "mechanisms": the choice and every event.
nlohmann::ordered_json mechanisms_json(const RunReport& r);

// The summary line's clause "  planes ...".
std::string mechanisms_summary(const RunReport& r);


}  // namespace zk::batch
