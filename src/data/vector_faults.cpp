#include "data/vector_faults.hpp"

#include <cmath>

#include "runtime/errors.hpp"

namespace zk::field {

namespace {

double length(const V3& v) { return std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]); }

V3 unit(const V3& v) {
  const double l = length(v);
  return {v[0] / l, v[1] / l, v[2] / l};
}

[[noreturn]] void refuse(std::size_t k, int number, const std::string& why) {
  throw rt::InputError("", 0, "datum " + std::to_string(k) + " (number " + std::to_string(number) + "): " + why);
}

}  // namespace

FaultSet fault_set_from_vectors(const std::vector<V3>& normals, const std::vector<V3>& slips,
                                const std::vector<int>& numbers, const std::vector<std::string>& labels,
                                std::vector<std::string>* warnings) {
  const std::size_t n = normals.size();
  if (slips.size() != n) {
    throw rt::InputError("", 0, std::to_string(n) + " normals but " + std::to_string(slips.size()) + " slips");
  }
  if (!numbers.empty() && numbers.size() != n) {
    throw rt::InputError("", 0, std::to_string(n) + " data but " + std::to_string(numbers.size()) + " numbers");
  }
  if (!labels.empty() && labels.size() != n) {
    throw rt::InputError("", 0, std::to_string(n) + " data but " + std::to_string(labels.size()) + " labels");
  }
  if (n > static_cast<std::size_t>(kMaxData)) {
    throw rt::InputError("", 0, std::to_string(n) + " data: at most " + std::to_string(kMaxData) +
                                    " can be used in one run");
  }
  FaultSet set;
  for (std::size_t k = 0; k < n; ++k) {
    const int number = numbers.empty() ? static_cast<int>(k + 1) : numbers[k];
    if (number < 0 || number > 999) refuse(k, number, "a datum number must be 0 to 999 (three columns of DATA)");
    const std::string label = labels.empty() ? std::string() : labels[k];
    if (label.size() > 3) refuse(k, number, "label \"" + label + "\" has more than 3 characters");
    for (const V3* v : {&normals[k], &slips[k]}) {
      const char* what = v == &normals[k] ? "normal" : "slip";
      if (!std::isfinite((*v)[0]) || !std::isfinite((*v)[1]) || !std::isfinite((*v)[2])) {
        refuse(k, number, std::string("the ") + what + " is not finite");
      }
      if (length(*v) < 1e-9) refuse(k, number, std::string("the ") + what + " is a null vector");
    }
    const Plane plane = plane_of_normal(unit(normals[k]));
    const std::optional<Projection> p = project(plane, unit(slips[k]));
    // project() gives the line pointing down; the slip's own sense is kept.
    const double off = p ? p->off_plane : 90.0;
    if (off > kMaxOffPlane) {
      refuse(k, number, "the slip is " + std::to_string(static_cast<int>(std::lround(off))) +
                            " degrees off its plane (at most " + std::to_string(static_cast<int>(kMaxOffPlane)) +
                            "): check the vectors");
    }
    if (off > kWarnOffPlane && warnings != nullptr) {
      warnings->push_back("datum " + std::to_string(k) + " (number " + std::to_string(number) + "): the slip is " +
                          std::to_string(static_cast<int>(std::lround(off))) +
                          " degrees off its plane; it is projected onto the plane");
    }
    const V3 s = unit(slips[k]);
    V3 line = p->line;
    if (line[0] * s[0] + line[1] * s[1] + line[2] * s[2] < 0.0) line = {-line[0], -line[1], -line[2]};
    const Encoded e = encode(plane, line, dominant_sense(plane, line), number, label);
    FaultDatum d;
    d.record = e.record;
    d.line = static_cast<int>(k) + 2;  // as the line it would have in DATA, after the title
    convert_datum(d.record, d.FN, d.STR);
    set.data.push_back(d);
  }
  return set;
}

}  // namespace zk::field
