#pragma once
// What a run on focal mechanisms adds to the figure: on the net, each
// event's auxiliary (not chosen) plane as a thin dashed grey circle and the
// undecided events ringed in orange; in the Mohr diagram, the other plane of
// each event (open, joined to the chosen one by a faint line) and the
// Coulomb line of the friction; under the figure, a net of every event's P
// and T axes with the final principal axes.
#include <functional>
#include <sstream>

#include "figures/figure_svg.hpp"

namespace zk::batch {

constexpr const char* kUndecidedColour = "#e66100";

void mechanisms_net_layer(std::ostringstream& o, const RunReport& r, const NetFrame& f, bool planes);
// X, Y: document coordinates of a normal and a shear stress; s1, s3 the
// principal values of the diagram.
void mechanisms_mohr_layer(std::ostringstream& o, const RunReport& r, const std::function<double(double)>& X,
                           const std::function<double(double)>& Y, double s1, double s3);
// Height of the P/T panel under the figure (0 without mechanisms), and the
// panel from y down.
double mechanisms_panel_height(const RunReport& r);
void mechanisms_panel(std::ostringstream& o, const RunReport& r, double y);

}  // namespace zk::batch
