// MOHR: the three Mohr circles of the current tensor and the points of the
// NMIN best data, as a character picture with its legend.
#include <algorithm>
#include <array>
#include <cmath>
#include <string_view>

#include "report/picture.hpp"
#include "report/report.hpp"

namespace zk {

namespace {

constexpr int kCols = 66;  // columns M1 = 1 to M2 = 66
constexpr int kRows = 40;
constexpr int kSymbols = 300;       // one per plotted datum at most
constexpr int kNumbersPerLine = 20;  // datum numbers on one legend line

// The plotting symbols: letters, digits, then signs; position 51 and every
// later one is the asterisk.
std::array<char, kSymbols> symbol_alphabet() {
  std::array<char, kSymbols> a{};
  constexpr std::string_view first = "ABCDEFGHIJKLMNOPQRSTUVWXYZ1234567890!\">$%&():=+/?<*";
  static_assert(first.size() == 51);
  std::copy(first.begin(), first.end(), a.begin());
  std::fill(a.begin() + 51, a.end(), a[50]);
  return a;
}

using Picture = std::array<std::array<char, kCols>, kRows>;  // [row - 1][column - 1]

char& at(Picture& pic, int col, int row) {
  return pic[static_cast<std::size_t>(row - 1)][static_cast<std::size_t>(col - 1)];
}

// The cell of stress point (sn, tau); false when it falls outside the picture.
bool mohr_cell(float sn, float tau, float s3, int& col, int& row) {
  const float c = (sn - s3) * 65.0f + 1.0f;
  const float r = 40.0f - 40.0f * tau;
  return truncate_to_cell(c, 1, kCols, col) && truncate_to_cell(r, 1, kRows, row);
}

}  // namespace

void MOHR(Workspace& ws) {
  const auto& T = ws.mec.TENS;
  const auto& VP = ws.mec.VP;
  const float PI = ws.block.PI;
  const std::array<char, kSymbols> alpha = symbol_alphabet();

  // Centre and radius of circles 1 (sigma 2, sigma 3), 2 (sigma 1, sigma 3)
  // and 3 (sigma 1, sigma 2).
  const std::array<float, 3> centre = {(VP(2) + VP(3)) / 2.0f, (VP(1) + VP(3)) / 2.0f, (VP(1) + VP(2)) / 2.0f};
  const std::array<float, 3> radius = {(VP(2) - VP(3)) / 2.0f, (VP(1) - VP(3)) / 2.0f, (VP(1) - VP(2)) / 2.0f};

  Picture pic;
  for (auto& row : pic) row.fill(' ');
  for (int m = 1; m <= kCols; ++m) at(pic, m, kRows) = '-';

  const float step = PI / 65.0f;
  for (int k = 1; k <= kCols; ++k) {
    const float a = step * static_cast<float>(k - 1);
    const float ca = std::cos(a);
    const float sa = std::sin(a);
    for (std::size_t c = 0; c < 3; ++c) {
      const float x = centre[c] + radius[c] * ca;
      const float y = radius[c] * sa;
      int col = 0;
      int row = 0;
      if (mohr_cell(x, y, VP(3), col, row)) at(pic, col, row) = '.';
    }
  }

  // symbol_of[I]: the symbol (1..NSYM) of the datum of rank I, 0 when its
  // point falls outside the picture.
  const int nmin = std::clamp(ws.ind.NMIN, 0, std::max(0, std::min(ws.tir.N, kMaxData)));
  std::array<int, kMaxData + 1> symbol_of{};
  int NSYM = 0;
  for (int I = 1; I <= nmin; ++I) {
    const int j = ws.tab.IX(I);
    if (j < 1 || j > kMaxData) continue;
    const float n1 = ws.tir.FN(j, 1);
    const float n2 = ws.tir.FN(j, 2);
    const float n3 = ws.tir.FN(j, 3);
    const float t1 = T(1, 1) * n1 + T(1, 2) * n2 + T(1, 3) * n3;
    const float t2 = T(2, 1) * n1 + T(2, 2) * n2 + T(2, 3) * n3;
    const float t3 = T(3, 1) * n1 + T(3, 2) * n2 + T(3, 3) * n3;
    const float sn = t1 * n1 + t2 * n2 + t3 * n3;
    const float tt = t1 * t1 + t2 * t2 + t3 * t3;
    const float tau2 = tt - sn * sn;
    // On a principal plane rounding can leave the squared shear just below 0.
    const float tau = tau2 > 0.0f ? std::sqrt(tau2) : 0.0f;
    int col = 0;
    int row = 0;
    if (!mohr_cell(sn, tau, VP(3), col, row)) continue;
    char& cell = at(pic, col, row);
    int k = 1;
    while (k <= NSYM && alpha[static_cast<std::size_t>(k - 1)] != cell) ++k;
    if (k > NSYM) {
      NSYM = NSYM + 1;  // at most nmin <= 300 symbols
      k = NSYM;
      cell = alpha[static_cast<std::size_t>(k - 1)];
    }
    symbol_of[static_cast<std::size_t>(I)] = k;
  }

  ws.units.write(unit::kListing, "(10X,'REPRESENTATION SUR CERCLE DE MOHR')");
  ws.units.write_list(unit::kListing, "  ");
  for (int row = 16; row <= kRows; ++row) {
    ws.units.write(unit::kListing, "(1X,66A1)", rt::Chars{pic[static_cast<std::size_t>(row - 1)].data(), kCols});
  }

  // Legend: the numbers of each symbol in the order the data were added;
  // a long list goes on under the first numbers, 20 to a line.
  std::array<int, kMaxData> numbers{};
  for (int k = 1; k <= NSYM; ++k) {
    int count = 0;
    for (int I = 1; I <= nmin; ++I) {
      if (symbol_of[static_cast<std::size_t>(I)] == k) {
        numbers[static_cast<std::size_t>(count++)] = ws.modi1.NUM(ws.tab.IX(I));
      }
    }
    const int first = std::min(count, kNumbersPerLine);
    ws.units.write(unit::kListing, "(1X,'LE CARACTERE ',A1,' CORRESPOND AUX DONNEES',20I4)",
                   std::string_view(&alpha[static_cast<std::size_t>(k - 1)], 1), rt::Many<int>{numbers.data(), first});
    for (int done = first; done < count; done += kNumbersPerLine) {
      const int more = std::min(count - done, kNumbersPerLine);
      ws.units.write(unit::kListing, "(38X,20I4)", rt::Many<int>{numbers.data() + done, more});
    }
  }
}

}  // namespace zk
