#pragma once
// What the separation of stress phases adds to the figure (above the
// all-data run with two phases or more, under it with one): a colour legend;
// a net per phase (its data's striations in the phase colour, hollow when
// ambiguous; its axes, both ends of a horizontal one, and, with a bootstrap,
// its cones up to kWidestCone) with its axes, R and quality written under it
// in its colour; a common net with every phase's axes, tagged with their
// phase, and the data of no phase in grey; the BIC of each k tried, on a
// scale; and the histogram of each datum's misfit to its own phase, coloured
// by phase, on a scale, with the outlier misfit dashed.
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
