#pragma once
// What the separation of stress phases adds to the figure, under the rest:
// a net per phase (its data's striations in the phase colour, hollow when
// ambiguous; its axes and, with a bootstrap, its cones), a common net with
// every phase's axes and the data of no phase in grey, the BIC of each k
// tried, and the histogram of each datum's misfit to its own phase, coloured
// by phase, with the outlier misfit dashed.
#include <sstream>
#include <string>

#include "figures/figure_svg.hpp"

namespace zk::batch {

// Colour of phase i (1 to 4; 0: no phase), from the Okabe-Ito palette,
// which colour-blind readers tell apart.
const char* phase_colour(int phase);

// Height of the phases panel (0 without a separation).
double phases_panel_height(const RunReport& r);
// The panel, from y = top down, across the figure's width.
void phases_panel(std::ostringstream& o, const RunReport& r, double top);

}  // namespace zk::batch
