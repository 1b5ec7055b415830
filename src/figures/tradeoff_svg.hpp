#pragma once
// The trade-off curve of a grid's damped inversion (tradeoff.svg): model
// length against misfit for each damping e of the sweep, the chosen e marked
// and how it was chosen. Millimetre units; the same curve gives the same bytes.
#include <string>
#include <vector>

#include "results/grid_output.hpp"

namespace zk::batch {

std::string tradeoff_svg(const std::vector<DampingPoint>& curve, double chosen, const std::string& method);

}  // namespace zk::batch
