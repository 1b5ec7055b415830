#pragma once
// The results of a batch run as one JSON document. Every real is the float
// the engine computed, written with the shortest digits that read back as the
// same float; a non-number is null.
#include <string>

#include <nlohmann/json.hpp>

#include "batch/result.hpp"

namespace zk::batch {

nlohmann::ordered_json result_json(const BatchResult& r);

// The document as text (two-space indentation). Bytes of the title or of a
// label that are not UTF-8 are replaced, never an error.
std::string result_json_text(const BatchResult& r);

// The JSON value of one float: the double nearest to the float's shortest
// decimal form, or null when it is not finite.
nlohmann::ordered_json json_float(float v);

}  // namespace zk::batch
