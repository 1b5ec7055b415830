#pragma once
// What the command line may change in a figure.
#include <cstddef>

namespace zk::batch {

struct FigureOptions {
  bool planes = true;   // draw the fault planes' great circles (--no-planes leaves them out)
  bool labels = false;  // write the datum numbers of the data beyond the cut-off (--labels)
  // Draw strike-slip data as couples even with more than kMostCouples data or
  // where couples would overlap (--couples); otherwise those draw single
  // arrows of the hanging wall's slip.
  bool couples = false;
};

// Strike-slip couples are drawn for at most this many data.
constexpr std::size_t kMostCouples = 40;

}  // namespace zk::batch
