#pragma once
// The figure of a batch run, as a self-contained SVG document: the
// lower-hemisphere equal-area net of the faults, striations, axes and SHmax,
// the Mohr diagram of the final tensor, and the misfit histogram in uniform
// 10-degree classes. The same result gives the same bytes.
#include <array>
#include <cstddef>
#include <string>

#include "figures/figure_options.hpp"
#include "results/run_report.hpp"

namespace zk::batch {

// Geometry of the net in the document, also written on the net's group
// (id "stereonet", data-cx, data-cy, data-radius).
struct NetFrame {
  double cx = 280.0, cy = 395.0, radius = 200.0;
};

struct Point {
  double x = 0.0, y = 0.0;
};

// Document point of the line (x east, y north, z up; either sense) on the
// lower-hemisphere equal-area net: distance radius*sqrt(1 - |z|) from the
// centre, north up.
Point net_point(const NetFrame& f, double x, double y, double z);
// The same for a line given by its plunge (degrees down) and direction
// (degrees clockwise from north).
Point net_point_of(const NetFrame& f, double plunge, double direction);

// A principal axis plunging at most this (degrees) is drawn at both ends of
// its line.
constexpr double kHorizontalAxis = 5.0;
// Around a principal axis plunging less than this (degrees), each dot of
// that axis (nearest tensors, replicates) is drawn at the end of its own
// line nearest the main axis, so the cloud stays in one piece; where that
// end points upward the dot is an upper-hemisphere point, drawn hollow.
constexpr double kShallowAxis = 20.0;
struct AxisDot {
  Point p;
  bool upper = false;
};
// The dot of the line (plunge, direction) of an axis whose main symbol has
// the given plunge and direction (degrees).
AxisDot axis_dot(const NetFrame& f, double main_plunge, double main_direction, double plunge, double direction);

// Colour of a misfit angle (degrees) on a viridis-like sequential scale,
// readable by colour-blind readers and in greyscale: dark violet at 0,
// through blue and green, to yellow-green from 90 degrees on.
std::string misfit_colour(double degrees);

// Text made safe for XML character data and attribute values: markup
// characters escaped, control characters dropped, bytes that are not UTF-8
// read as Latin-1.
std::string xml_text(const std::string& s);

// The figure's histogram: uniform 10-degree classes from 0 to 180 degrees,
// class k holding [10k, 10k + 10) and the last one 180 as well.
constexpr int kFigureClasses = 18;
std::array<int, kFigureClasses> misfit_histogram(const RunReport& r);

// A document coordinate as the figure writes it (two decimals), and the
// fill colour of the axis of sigma L (1 to 3).
std::string svg_number(double v);
// A document position given as data (data-x, data-cx, ...): three decimals.
std::string svg_data_number(double v);
// The path ("M x,y L ...") of the lower-hemisphere great circle of the plane
// of unit normal (nx, ny, nz) (x east, y north, z up; either sense): lines
// of the plane from strike to strike through the down-dip line.
std::string great_circle(const NetFrame& f, double nx, double ny, double nz);
const char* axis_fill(int L);

std::string figure_svg(const RunReport& r, const FigureOptions& options = {});

}  // namespace zk::batch
