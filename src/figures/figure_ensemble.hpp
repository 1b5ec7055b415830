#pragma once
// What several starts and a bootstrap add to the figure: the replicate axes
// as small dots and the confidence cones as small circles on the net, and a
// caption that tells them from the stage-4 nearest-tensor axes.
#include <sstream>

#include "figures/figure_svg.hpp"

namespace zk::batch {

// The replicate dots and the cones, drawn under the final axes.
void ensemble_net_layer(std::ostringstream& o, const RunReport& r, const NetFrame& f);

// Height the caption takes under the legend (0 when there is none).
double ensemble_caption_height(const RunReport& r);
// The caption, from the baseline y down.
void ensemble_caption(std::ostringstream& o, const RunReport& r, double y);

// A cone wider than this (degrees) is not drawn: as a small circle it would
// read as a fault plane; the caption says the axis is not resolved.
constexpr double kWidestCone = 45.0;
// "sigma 2 and sigma 3 not resolved (95 % cones 76 deg)": the axes whose cone
// is wider than kWidestCone; "" when there are none.
std::string unresolved_axes(const RunReport& r);

// Points of the small circle at `half_angle_deg` around the unit axis a (x
// east, y north, z up) on the lower-hemisphere net, as SVG path data; the
// circle is cut where it crosses the primitive, so each part is drawn where
// it projects.
std::string cone_path(const NetFrame& f, const double a[3], double half_angle_deg);

}  // namespace zk::batch
