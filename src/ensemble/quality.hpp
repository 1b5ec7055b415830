#pragma once
// A single quality figure for a station's SHmax from its bootstrap, on the
// World Stress Map's scale of SHmax accuracy (Heidbach et al. 2010): the
// axial standard deviation of the replicates' SHmax ranks it A (within 15
// degrees), B (20), C (25), D (40) or E (beyond, or no usable SHmax).
//
// Numbers: double (a statistic beside the listing). Angles in degrees,
// azimuths clockwise from north; SHmax is axial (x and x + 180 the same).
#include <optional>
#include <string>
#include <vector>

namespace zk::ensemble {

// Axial standard deviation: the circular standard deviation
// sqrt(-2 ln Rbar) of the doubled angles, halved (Mardia & Jupp 2000,
// 2.3.4). None when there is no angle or the doubled angles cancel out
// (Rbar below 1e-12: no preferred direction).
std::optional<double> axial_sd_deg(const std::vector<double>& azimuths_deg);

// The rank bounds, each inclusive: sd <= 15 is A, <= 20 B, <= 25 C, <= 40 D.
constexpr double kQualityBoundDeg[4] = {15.0, 20.0, 25.0, 40.0};
// Above this share of replicates without an SHmax the rank is E.
constexpr double kQualityUndefinedShare = 0.10;

struct Quality {
  char rank = 'E';     // 'A' .. 'E'
  std::string reason;  // why, for the summary line and the figure ("SHmax sd 12.3 deg", "SHmax poorly defined")
};

// What the rank is read from: the final tensor's SHmax (exists, poorly
// defined), the replicates that did not fail, those of them without an
// SHmax, and the axial standard deviation of the others' SHmax.
struct QualityInput {
  bool shmax = false;
  bool poorly_defined = false;
  int used = 0;
  int undefined = 0;
  std::optional<double> sd_deg;
};
Quality shmax_quality(const QualityInput& in);

}  // namespace zk::ensemble
