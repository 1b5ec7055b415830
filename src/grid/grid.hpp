#pragma once
// A grid of cells over a catalogue of focal mechanisms: one to four axes
// (longitude, latitude, depth, time) in the order the user gives them, each
// cell named by its integer index along every axis, counted from the grid's
// origin (the corner of smallest coordinates).
#include <cstddef>
#include <string>
#include <vector>

namespace zk::grid {

enum class Axis { lon, lat, depth, time };
const char* axis_name(Axis a);  // "lon", "lat", "depth", "time"

// A cell's position: one integer per grid axis, in the grid's axis order.
using Index = std::vector<int>;

// Adjacent cells share a face: their indices differ by one along exactly one
// axis and agree along the others.
bool adjacent(const Index& a, const Index& b);

// The folder and station name of a cell: "c_<i>_<j>..." (negative indices
// keep their sign: "c_-1_4").
std::string cell_name(const Index& index);

}  // namespace zk::grid
