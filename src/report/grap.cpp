// GRAP: lower-hemisphere equal-area (Schmidt) net of the three principal
// axes of the final tensor, as a character picture.
#include <array>
#include <cmath>
#include <string_view>

#include "report/picture.hpp"
#include "report/report.hpp"

namespace zk {

namespace {

constexpr int kCols = 66;  // column index grows to the east
constexpr int kRows = 42;  // row index grows to the north
constexpr float kDegToRad = 0.017452778f;     // the net's own degrees-to-radians factor
constexpr float kCircleStep = 0.020943733f;  // 300 steps for the full turn
constexpr float kCentreCol = 34.0f;
constexpr float kCentreRow = 21.0f;
constexpr float kRadiusCols = 33.0f;
constexpr float kRadiusRows = 19.800001f;
constexpr std::string_view kMarkers = "+.-";  // sigma 1, sigma 2, sigma 3

using Picture = std::array<std::array<char, kCols>, kRows>;  // [row - 1][column - 1]

// Cells outside the picture (the circle's east point lands on column 67, a
// cross can reach columns 0 and 68 and row 0) are left out.
void put(Picture& pic, int col, int row, char ch) {
  if (col < 1 || col > kCols || row < 1 || row > kRows) return;
  pic[static_cast<std::size_t>(row - 1)][static_cast<std::size_t>(col - 1)] = ch;
}

// Cell of picture coordinates (c, r). A cross centred one cell outside the
// picture still has arms inside it, so such centres are kept; the arms are
// clipped one by one. False for NaN or a point further out.
bool net_cell(float c, float r, int& col, int& row) {
  return truncate_to_cell(c, 0, kCols + 1, col) && truncate_to_cell(r, 0, kRows + 1, row);
}

}  // namespace

void GRAP(Workspace& ws, const Vec3& PEN, const Vec3& DIRE) {
  // The net shows the axes of the final tensor only; the per-datum axes of
  // the nearest tensors are not drawn.

  ws.units.write(unit::kListing, "(//,10X,80A1,//)", rt::Chars{ws.modi2.TITRE.data(), kTitleLen});

  Picture pic;
  for (auto& row : pic) row.fill(' ');

  for (int k = 1; k <= 301; ++k) {
    const float a = kCircleStep * static_cast<float>(k - 1);
    int col = 0;
    int row = 0;
    if (net_cell(kCentreCol + kRadiusCols * std::cos(a), kCentreRow + kRadiusRows * std::sin(a), col, row)) {
      put(pic, col, row, '.');
    }
  }

  for (int L = 1; L <= 3; ++L) {
    const float P = kDegToRad * PEN(L);
    const float A = kDegToRad * DIRE(L);
    const float cp = std::cos(P);
    const float x = cp * std::sin(A);
    const float y = cp * std::cos(A);
    const float z = std::sin(P);
    // Equal-area reduction: a horizontal axis on the circle, a vertical one
    // at the centre.
    const float s = std::sqrt(1.0f + z);
    const float xr = x / s;
    const float yr = y / s;
    int col = 0;
    int row = 0;
    if (!net_cell(kCentreCol + kRadiusCols * xr, kCentreRow + kRadiusRows * yr, col, row)) continue;
    const char m = kMarkers[static_cast<std::size_t>(L - 1)];
    put(pic, col, row, m);
    put(pic, col - 1, row, m);
    put(pic, col + 1, row, m);
    put(pic, col, row - 1, m);
    put(pic, col, row + 1, m);
  }

  put(pic, 34, 21, '*');

  for (int row = kRows; row >= 1; --row) {
    ws.units.write(unit::kListing, "(10X,73A1)", rt::Chars{pic[static_cast<std::size_t>(row - 1)].data(), kCols});
  }

  ws.units.write_list(unit::kListing, "   SIGMA1 = ", kMarkers.substr(0, 1));
  ws.units.write_list(unit::kListing, "   SIGMA2 = ", kMarkers.substr(1, 1));
  ws.units.write_list(unit::kListing, "   SIGMA3 = ", kMarkers.substr(2, 1));
}

}  // namespace zk
