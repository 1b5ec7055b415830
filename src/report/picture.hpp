#pragma once
// Placement of a point in a character picture.

namespace zk {

// trunc(v) toward zero into `out` when it lies in lo..hi. NaN and values far
// out of range are rejected before any conversion to int.
inline bool truncate_to_cell(float v, int lo, int hi, int& out) {
  constexpr float kLimit = 1.0e6f;
  if (!(v > -kLimit && v < kLimit)) return false;
  out = static_cast<int>(v);
  return out >= lo && out <= hi;
}

}  // namespace zk
