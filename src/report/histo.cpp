// HISTO: histogram of the ranked misfit angles, with the data numbers of
// each class.
#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

#include "report/report.hpp"

namespace zk {

namespace {

constexpr int kBounds = 22;
// Class bounds in radians: steps of 0.1 up to 1.0, then of 0.2.
constexpr std::array<float, kBounds> kBound = {0.0f, 0.1f, 0.2f, 0.3f, 0.4f, 0.5f, 0.6f, 0.7f,
                                               0.8f, 0.9f, 1.0f, 1.2f, 1.4f, 1.6f, 1.8f, 2.0f,
                                               2.2f, 2.4f, 2.6f, 2.8f, 3.0f, 3.2f};
// The histogram converts its bounds to degrees with this value of pi, one
// unit in the last place below block.PI.
constexpr float kPiHistogram = 3.1415925f;

}  // namespace

float histogram_bound(int k) { return kBound[static_cast<std::size_t>(k - 1)]; }

int histogram_bound_degrees(int k) {
  const float deg = 180.0f * histogram_bound(k) / kPiHistogram;
  return static_cast<int>(std::lround(deg));
}

int histogram_class(float angle) {
  for (int k = 1; k < kBounds; ++k) {
    if (angle < histogram_bound(k + 1)) return angle >= histogram_bound(1) ? k : 0;
  }
  return 0;
}

void HISTO(Workspace& ws, const int* IX, const float* A, int N, int NCLASS) {
  ws.units.write(unit::kListing, "(/,1X,'GAMME',9X,'NBRE',4X,'INDICE DES VALEURS DANS ',                               'CETTE GAMME',/)");

  // There are only 21 classes.
  const int nclass = std::min(NCLASS, kBounds - 1);
  const int n = std::max(N, 0);

  std::vector<int> labels(static_cast<std::size_t>(n));
  int j = 1;
  int total = 0;
  for (int k = 1; k <= nclass; ++k) {
    if (j > n) break;
    const int j0 = j;
    const float upper = kBound[static_cast<std::size_t>(k)];
    while (j <= n && A[j - 1] < upper) ++j;
    total = total + (j - j0);
    int count = 0;
    for (int r = j0; r <= j - 1; ++r) {
      const int d = IX[r - 1];
      labels[static_cast<std::size_t>(count++)] = (d >= 1 && d <= ws.modi1.NUM.size()) ? ws.modi1.NUM(d) : 0;
    }
    ws.units.write(unit::kListing, "(1X,I3,2X,I3,'-',I3,1X,I4,4X,27I4,/,22X,27I4)", k, histogram_bound_degrees(k), histogram_bound_degrees(k + 1),
                   total, rt::Many<int>{labels.data(), count});
  }
}

}  // namespace zk
