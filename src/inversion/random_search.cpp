#include "inversion/random_search.hpp"

#include "data/geometry.hpp"
#include "inversion/misfit.hpp"

namespace zk {

namespace {

constexpr double kSecondsPerDraw = 0.3e-6;
constexpr double kSecondsPerDatum = 50e-9;
constexpr int kProgressEvery = 4096;  // draws between two reports

}  // namespace

double expected_stage1_seconds(long long NTIR, int N) {
  return static_cast<double>(NTIR) * (kSecondsPerDraw + kSecondsPerDatum * N);
}

void random_search(Workspace& ws, int NTIR, Vec4& P) {
  float FMIN = 1.0E30f;
  float F = 1.0E30f;
  float FT = 0.0f;
  // The candidate persists from draw to draw: with both axes imposed EULAZ
  // draws only R and leaves the angles of the first draw in place.
  float PSI = P(1);
  float TETA = P(2);
  float PHI = P(3);
  float R = P(4);

  for (int I = 1; I <= NTIR; ++I) {
    EULAZ(ws, I, PSI, TETA, PHI, R);
    // Only F is read here, and stage 1 ranks the chosen tensor again before
    // anything reads the ranks: the order of tied misfits need not be kept.
    SOMME(ws, F, FT, R, PSI, TETA, PHI, Ranking::SumOnly);
    // Not worse than the best so far: an equal misfit replaces it, so among
    // equal misfits the last draw is kept.
    if (!(F > FMIN)) {
      FMIN = F;
      P(1) = PSI;
      P(2) = TETA;
      P(3) = PHI;
      P(4) = R;
    }
    if (ws.progress != nullptr && I % kProgressEvery == 0) ws.progress->draws(I, NTIR);
  }
  if (ws.progress != nullptr) ws.progress->draws(NTIR, NTIR);

  ws.units.write(unit::kListing, "(1X,'NBRE DE DONNEES ',I3,'  PARAMETRES ',4F8.4 ,'  FONCTION ',E14.6)", ws.ind.NMIN,
                 rt::Many<float>{P.data(), 4}, FMIN);
  ws.units.write(unit::kListing, "(/,5X,10('*'),' FIN DE L ETAPE N0 1',//)");
  ws.units.write_list(unit::kListing, "---------------------------------------------");
}

}  // namespace zk
