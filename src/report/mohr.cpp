// MOHR: the three Mohr circles of the current tensor and the points of the
// NMIN best data, as a character picture with its legend.
#include <algorithm>
#include <array>
#include <cmath>
#include <string_view>
#include <vector>

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

// Symbol k (1-based); every one past the alphabet is its last, the asterisk.
char symbol(const std::array<char, kSymbols>& alpha, int k) {
  return alpha[static_cast<std::size_t>(std::min(k, kSymbols) - 1)];
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
  const int nmin = std::clamp(ws.ind.NMIN, 0, std::max(0, std::min(ws.tir.N, ws.tab.IX.size())));
  std::vector<int> symbol_of(static_cast<std::size_t>(nmin) + 1, 0);
  int NSYM = 0;
  for (int I = 1; I <= nmin; ++I) {
    const int j = ws.tab.IX(I);
    if (j < 1 || j > ws.tir.FN.rows()) continue;
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
    while (k <= NSYM && symbol(alpha, k) != cell) ++k;
    if (k > NSYM) {
      NSYM = NSYM + 1;  // at most one per cell of the picture
      k = NSYM;
      cell = symbol(alpha, k);
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
  std::vector<std::vector<int>> numbers(static_cast<std::size_t>(NSYM));
  for (int I = 1; I <= nmin; ++I) {
    const int k = symbol_of[static_cast<std::size_t>(I)];
    if (k != 0) numbers[static_cast<std::size_t>(k - 1)].push_back(ws.modi1.NUM(ws.tab.IX(I)));
  }
  for (int k = 1; k <= NSYM; ++k) {
    const std::vector<int>& of_k = numbers[static_cast<std::size_t>(k - 1)];
    const int count = static_cast<int>(of_k.size());
    const int first = std::min(count, kNumbersPerLine);
    const char c = symbol(alpha, k);
    ws.units.write(unit::kListing, "(1X,'LE CARACTERE ',A1,' CORRESPOND AUX DONNEES',20I4)", std::string_view(&c, 1),
                   rt::Many<int>{of_k.data(), first});
    for (int done = first; done < count; done += kNumbersPerLine) {
      const int more = std::min(count - done, kNumbersPerLine);
      ws.units.write(unit::kListing, "(38X,20I4)", rt::Many<int>{of_k.data() + done, more});
    }
  }
}

}  // namespace zk
