#pragma once
// The figure of a batch run, as a self-contained SVG document: the
// lower-hemisphere equal-area net of the faults, striations and axes, the Mohr
// diagram of the final tensor, and the misfit histogram in the listing's
// classes.
#include <array>
#include <string>

#include "batch/result.hpp"
#include "report/report.hpp"

namespace zk::batch {

// Geometry of the net in the document, also written on the net's group
// (id "stereonet", data-cx, data-cy, data-radius).
struct NetFrame {
  double cx = 280.0, cy = 335.0, radius = 205.0;
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

// Normal and shear stress on the plane of unit normal n for principal values
// VP along the axes ROT(L, .).
struct MohrPoint {
  double sigma_n = 0.0, tau = 0.0;
};
MohrPoint mohr_point(const Mat<float, 3, 3>& ROT, const Vec3& VP, const Vec3& n);

// Colour of a misfit angle (degrees): green at 0, yellow near 45, red from 90.
std::string misfit_colour(double degrees);

// Text made safe for XML character data and attribute values: markup
// characters escaped, control characters dropped, bytes that are not UTF-8
// read as Latin-1.
std::string xml_text(const std::string& s);

// Counts per misfit class of the listing's histogram (bounds 0, 0.1, ...
// 1.0, 1.2, ... 3.2 rad) of the final misfits.
std::array<int, kHistogramClasses> misfit_classes(const BatchResult& r);

std::string figure_svg(const BatchResult& r);

}  // namespace zk::batch
