#include "driver/stages.hpp"

#include <cmath>

#include "data/fault_data.hpp"
#include "data/geometry.hpp"
#include "data/parameters.hpp"
#include "inversion/lsq.hpp"
#include "inversion/misfit.hpp"
#include "inversion/nearest.hpp"
#include "inversion/optimi.hpp"
#include "inversion/random_search.hpp"
#include "report/report.hpp"

namespace zk {
namespace {

constexpr int kListing = 8;
constexpr int kClasses = 21;
constexpr const char* kDashLine = "---------------------------------------------";

void dash_line(Workspace& ws) { ws.units.write_list(kListing, kDashLine); }

// The tensor block after a stage, remembered for the front end.
void list_tensor(Workspace& ws, Vec4& P, Vec3& PEN, Vec3& DIRE, TensorSnapshot* snap) {
  SORTIE(ws, 1, P(4), P(1), P(2), P(3), PEN, DIRE);
  if (snap == nullptr) return;
  snap->P = P;
  snap->PEN = PEN;
  snap->DIRE = DIRE;
  snap->VP = ws.mec.VP;
  snap->ROT = ws.mec.ROT;
  // SORTIE ranked the data by this tensor; the same evaluation again gives the
  // two sums without changing anything it leaves in the work areas.
  SOMME(ws, snap->F, snap->FT, P(4), P(1), P(2), P(3), 0, 1);
}

void histogram(Workspace& ws) { HISTO(ws, ws.tab.IX, ws.tab.ANG, ws.tir.N, kClasses); }

// The parameter held fixed in stage 4 when R is near 0 (1) or near 1 (3).
int degenerate_parameter(float R) {
  // Only a ratio outside [0, 1] or a non-number can leave 1 to 3; it is then
  // treated as the regular case (and the truncations never see a non-number).
  if (!(R >= 0.0f && R <= 1.0f)) return 2;
  const int KDEG = static_cast<int>(R / 0.95f) + static_cast<int>((R + 0.9f) / 0.95001f) + 1;
  return (KDEG >= 1 && KDEG <= 3) ? KDEG : 2;
}

}  // namespace

void store_constants(Workspace& ws) {
  ws.block.CONV = 57.29578f;
  ws.block.PI = 3.141593f;
}

void run_stages(Workspace& ws, RunRecord* rec) {
  ENREG(ws);
  GEOLOG(ws);
  const RunParams prm = read_run_parameters(ws);
  const int INDX = prm.INDX;
  const int IPRINT = prm.IPRINT;
  if (rec != nullptr) {
    rec->INDX = prm.INDX;
    rec->POURC = prm.POURC;
    rec->NTIR = prm.NTIR;
    rec->NSEED = prm.NSEED;
    rec->IPRINT = prm.IPRINT;
    rec->NMIN = ws.ind.NMIN;
    rec->N = ws.tir.N;
  }

  // Starting tensor.
  Vec4 P;
  if (INDX < 5) {
    random_search(ws, prm.NTIR, P);
    if (rec != nullptr) {
      rec->has_stage1 = true;
      rec->stage1.P = P;
      CHANG(ws, P(4), P(1), P(2), P(3));
      rec->stage1.VP = ws.mec.VP;
      rec->stage1.ROT = ws.mec.ROT;
      // The same ranking evaluation as stage 2 starts with: it leaves the work
      // areas as that one will.
      SOMME(ws, rec->stage1.F, rec->stage1.FT, P(4), P(1), P(2), P(3), 0, 1);
    }
  } else if (INDX == 6) {
    read_imposed_tensor(ws, P);
  } else {
    EULAZ(ws, 1, P(1), P(2), P(3), P(4));
  }

  Vec3 PEN;
  Vec3 DIRE;
  float F = 0.0f;
  float FT = 0.0f;

  // Stage 2: OPTIMI until the misfit stops falling by 1.0E-4.
  ws.units.write(kListing, "(//,2X,20('*'),' DEBUT DE L ETAPE N0 2',/)");
  dash_line(ws);
  const Vec4 XMIN;
  const Vec4 XMAX;
  const Vec<int, 4> KIND;
  Vec4 Q;
  float FPREV = 1.0E30f;
  F = 1.0E20f;
  int ITER = 1;
  for (; ITER <= prm.NTRI; ++ITER) {
    SOMME(ws, F, FT, P(4), P(1), P(2), P(3), 0, 1);
    if (ITER == 1 && INDX != 1) {
      ws.units.write(kListing, "(///,10X,'  RESULTATS AVEC LES PARAMETRES IMPOSES  ',///)");
      SORTIE(ws, 1, P(4), P(1), P(2), P(3), PEN, DIRE);
      histogram(ws);
    }
    if (ITER > 1 && FPREV - F < 1.0E-4f) break;
    FPREV = F;
    ws.iop.KMAX = 40;
    ws.iop.NPAR = 4;
    OPTIMI(ws, P, XMIN, XMAX, KIND, Q, F, IPRINT);
    if (IPRINT == 2) {
      ws.units.write(kListing, "(1X,' ITER N0 ',I3,'  PARAMATRES ',4F8.4, 'FONCTION',E15.6,4F8.4)", ITER,
                     rt::Many<float>{Q.data(), 4}, F, rt::Many<float>{P.data(), 4});
    }
  }
  ws.units.write(kListing, "(/,1X,'TENSEUR A L ITERATION ',I3,/)", ITER);
  list_tensor(ws, P, PEN, DIRE, rec != nullptr ? &rec->stage2 : nullptr);
  if (rec != nullptr) rec->stage2_iterations = ITER;
  if (IPRINT == 2) histogram(ws);
  ws.units.write(kListing, "(/,5X,10('*'),' FIN DE L ETAPE N0 2 ')");
  dash_line(ws);

  // Stage 3: least squares on the NMIN best data.
  ws.units.write(kListing, "(//,2X,20(1H*),'  DEBUT DE L ETAPE N0 3')");
  dash_line(ws);
  ws.units.write(kListing, "(/,1X,'REGRESSION MOINDRE CARRE SUR LES ',I3,'  PLUS FAIBLES ECARTS')", ws.ind.NMIN);
  CMQ(ws, P, 10, ws.ind.NMIN, IPRINT, rec != nullptr ? &rec->fit : nullptr);
  list_tensor(ws, P, PEN, DIRE, rec != nullptr ? &rec->stage3 : nullptr);
  if (rec != nullptr) {
    // The final ranking, before MOHR and stage 4 read tab as SORTIE left it.
    for (int j = 1; j <= ws.tir.N; ++j) {
      rec->final_angle(ws.tab.IX(j)) = ws.tab.ANG(j);
      rec->final_rank(ws.tab.IX(j)) = j;
    }
  }
  if (IPRINT == 2) histogram(ws);
  MOHR(ws);
  ws.units.write(kListing, "(/,5X,10('*'),'  FIN DE L ETAPE N0 3',/)");
  dash_line(ws);

  // Stage 4: the nearest tensor of each striation.
  ws.units.write(kListing, "(//,2X,20('*'),' DEBUT DE L ETAPE N0 4',/)");
  dash_line(ws);
  CHANGD(ws, P(4), P(1), P(2), P(3));
  ws.units.write(kListing, "(1X,6E14.6)", rt::Many<float>{PEN.data(), 3}, rt::Many<float>{DIRE.data(), 3});
  const int KDEG = degenerate_parameter(P(4));
  if (KDEG != 2) {
    for (int j = 1; j <= 4; ++j) {
      ws.mecd.G(KDEG, j) = 0.0f;
      ws.mecd.G(j, KDEG) = 0.0f;
    }
    ws.mecd.G(KDEG, KDEG) = 1.0f;
  }
  Mat4 GINV = ws.mecd.G;
  MB01B(GINV);
  if (KDEG != 2) GINV(KDEG, KDEG) = 0.0f;
  if (IPRINT == 2) {
    ws.units.write(kListing,
                   "(/,2X,'RECHERCHE DU TENSEUR LE PLUS PROCHE',/,2X,/,/,3X,'NUM',5X,'ST',7X,'DX2',3(5X,'NO',4X,"
                   "'DPEN',3X,'DDIRE',3X,'DSIG'))");
  }
  Mat<float, 3, kMaxData> PENS;
  Mat<float, 3, kMaxData> DIRES;
  const int N = ws.tir.N;
  for (int I = 1; I <= N; ++I) {
    Vec3 STR;
    Vec3 FN;
    for (int c = 1; c <= 3; ++c) {
      STR(c) = ws.tir.STR(I, c);
      FN(c) = ws.tir.FN(I, c);
    }
    Vec3 S;
    Mat<float, 3, 4> DS;
    Vec4 DX;
    float ST = 0.0f;
    float DX2 = 0.0f;
    Vec3 DPEN;
    Vec3 DDIRE;
    Vec3 DSIG;
    STRIED(ws, FN, S, DS);
    RECHER(ws, STR, S, DS, GINV, DX, ST, DX2, DPEN, DDIRE, DSIG);
    for (int K = 1; K <= 3; ++K) {
      PENS(K, I) = PEN(K) + DPEN(K);
      DIRES(K, I) = DIRE(K) + DDIRE(K);
    }
    if (IPRINT == 2) {
      ws.units.write(kListing, "(3X,I3,3X,F5.3,4X,F6.3,3(3X,I3,3F8.3))", ws.modi1.NUM(I), ST, DX2, 1, DPEN(1),
                     DDIRE(1), DSIG(1), 2, DPEN(2), DDIRE(2), DSIG(2), 3, DPEN(3), DDIRE(3), DSIG(3));
    }
    if (rec != nullptr) rec->nearest(I) = NearestTensor{ST, DX2, DPEN, DDIRE, DSIG};
  }
  if (rec != nullptr) {
    rec->PENS = PENS;
    rec->DIRES = DIRES;
  }
  ws.units.write(kListing, "(T10,80A1,//)", rt::Chars{ws.modi2.TITRE.data(), kTitleLen});
  histogram(ws);
  ws.units.write_list(kListing);
  ws.units.write(kListing, "(2X,' PROJECTION SUR DIAGRAMME DE SCHMITT (DEMI-SHERE INFERIEURE)')");
  ws.units.write(kListing, "(2X,' DES AXES DES TENSEURS CORRESPONDANT A CHAQUE STRIE')");
  GRAP(ws, PENS, DIRES, N, PEN, DIRE);
  ws.units.write_list(kListing);
  ws.units.write_list(kListing);
  ws.units.write(kListing,
                 "(//,T2,'************************************  FIN  ************************************')");
}

}  // namespace zk
