#pragma once
// A fault set from vectors (a program's arrays rather than a DATA file): each
// datum's plane normal (either sense) and the slip of its hanging wall, in
// the frame x = east, y = north, z = up, double. Each becomes the DATA record
// of whole degrees that zarkel-import would write for it, and the engine
// reads the record's vectors, so a run gives what a run on that DATA file
// gives.
#include <string>
#include <vector>

#include "data/fault_data.hpp"
#include "data/field_faults.hpp"

namespace zk::field {

// Angles of a slip to its plane (degrees): above the first it is projected
// with a warning, above the second it is refused (as zarkel-import's
// defaults).
constexpr double kWarnOffPlane = 10.0;
constexpr double kMaxOffPlane = 20.0;

// The fault set of `normals` and `slips` (same length), with datum numbers
// (empty: 1, 2, ...) and labels of at most 3 characters (empty: none).
// Throws rt::InputError naming the datum (its index from 0 and its number)
// for a vector that is not finite or is null, a slip more than kMaxOffPlane
// from its plane or along its normal, a sense the slip cannot give, a number
// outside 1 to 999, a label too long, lists of different lengths, or more
// than kMaxData data. Warnings (one line each) in `warnings`.
FaultSet fault_set_from_vectors(const std::vector<V3>& normals, const std::vector<V3>& slips,
                                const std::vector<int>& numbers, const std::vector<std::string>& labels,
                                std::vector<std::string>* warnings = nullptr);

}  // namespace zk::field
