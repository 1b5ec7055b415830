// SORTIE: the listing block of one tensor (title, principal stresses with
// direction and plunge, stress ratio, misfit values).
#include <cmath>

#include "data/geometry.hpp"
#include "inversion/misfit.hpp"
#include "report/report.hpp"

namespace zk {

namespace {

constexpr float kPiSortie = 3.141593f;  // the routine's own pi, equal to block.PI

}  // namespace

void axes_plunge_direction(Mat<float, 3, 3>& ROT, Vec3& PEN, Vec3& DIRE) {
  // Every axis into the lower hemisphere; a horizontal one (z = 0) is turned too.
  for (int L = 1; L <= 3; ++L) {
    if (!(ROT(L, 3) < 0.0f)) {
      for (int c = 1; c <= 3; ++c) ROT(L, c) = -ROT(L, c);
    }
  }
  for (int L = 1; L <= 3; ++L) {
    const float x = ROT(L, 1);
    const float y = ROT(L, 2);
    const float z = ROT(L, 3);
    // Stereographic projection of the lower-hemisphere point.
    const float X = x / (1.0f - z);
    const float Y = y / (1.0f - z);
    const float rho2 = X * X + Y * Y;
    const float rho = std::sqrt(rho2);
    PEN(L) = 90.0f - 360.0f * std::atan(rho) / kPiSortie;
    float A = 0.0f;
    // A vertical axis has no direction: list it as 0.0 rather than whatever
    // atan2 makes of two signed zeros.
    if (!(X == 0.0f && Y == 0.0f)) {
      A = 90.0f - 180.0f * std::atan2(Y, X) / kPiSortie;
      if (A < 0.0f) A = A + 360.0f;
    }
    DIRE(L) = A;
  }
}

float listed_ratio(const Vec3& VP) { return (VP(2) - VP(3)) / (VP(1) - VP(3)); }

void SORTIE(Workspace& ws, Sortie what, float& R, float& PSI, float& TETA, float& PHI, Vec3& PEN, Vec3& DIRE) {
  auto& ROT = ws.mec.ROT;
  auto& VP = ws.mec.VP;
  const bool misfits = what == Sortie::WithMisfits;

  // RECTIF relabels from the axes in mec, which must be those of (R, PSI,
  // TETA, PHI); after the regression mec may still hold a rejected trial
  // point, so the axes are recomputed first.
  if (misfits) CHANG(ws, R, PSI, TETA, PHI);
  RECTIF(ws, PSI, TETA, PHI, R);
  if (misfits) CHANG(ws, R, PSI, TETA, PHI);

  ws.units.write(unit::kListing, "(//,T10,80A1,//)", rt::Chars{ws.modi2.TITRE.data(), kTitleLen});
  ws.units.write(unit::kListing, "(/,2X,'N0',5X,'TENSEUR EN X Y Z ',12X,    'DANS LES AXES PRINCIPAUX',2X,16(1H*),/)");

  axes_plunge_direction(ROT, PEN, DIRE);
  for (int L = 1; L <= 3; ++L) {
    ws.units.write(unit::kListing, "(1X,'    SIGMA(',I1,')=',F9.5,      '    DIRECTION',F7.1,'    PENDAGE',F7.1)", L, VP(L),
                   DIRE(L), PEN(L));
  }
  ws.units.write(unit::kListing, "(//,10X,'RAPPORT R =',F6.2,//)", listed_ratio(VP));

  if (!misfits) return;

  float F = 0.0f;
  float FT = 0.0f;
  SOMME(ws, F, FT, R, PSI, TETA, PHI, Ranking::Anew);
  ws.units.write(unit::kListing, "(2X,'LA FONCTION A MINIMIMISER EST EGALE A:',F8.4)", F);
  ws.units.write(unit::kListing, "(2X,'POUR LES ',I3,'PREMIERES DONNEES TRIEES PAR LE PROGRAMME')", ws.ind.NMIN);
  ws.units.write(unit::kListing, "(2X,'LA FONCTION A MINIMIMISER EST EGALE A:',F8.4)", FT);
  ws.units.write(unit::kListing, "(2X,'POUR L''ENSEMBLE DU PAQUET')");
}

}  // namespace zk
