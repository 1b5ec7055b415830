// The run sequence: reading the input once, then the four stages on a fault
// set and validated parameters, with every driver listing line in order.
#include <algorithm>
#include <cmath>
#include <stdexcept>

#include "data/geometry.hpp"
#include "data/random.hpp"
#include "engine/engine.hpp"
#include "inversion/misfit.hpp"
#include "inversion/nearest.hpp"
#include "inversion/optimi.hpp"
#include "inversion/random_search.hpp"
#include "report/report.hpp"
#include "runtime/errors.hpp"

namespace zk {
namespace {

using unit::kListing;
constexpr const char* kDashLine = "---------------------------------------------";
constexpr float kStage2Stop = 1.0E-4f;  // stage 2 ends when the misfit falls by less than this
constexpr int kRegressionIterations = 10;
constexpr double kLongStage1 = 60.0;  // seconds: a longer stage 1 is announced

void dash_line(Workspace& ws) { ws.units.write_list(kListing, kDashLine); }

void histogram(Workspace& ws) { HISTO(ws, ws.tab.IX.data(), ws.tab.ANG.data(), ws.tir.N, kHistogramClasses); }

// The tensor block after a stage, remembered in `snap`.
void list_tensor(Workspace& ws, Vec4& P, TensorSnapshot& snap) {
  SORTIE(ws, Sortie::WithMisfits, P(4), P(1), P(2), P(3), snap.PEN, snap.DIRE);
  snap.P = P;
  snap.VP = ws.mec.VP;
  snap.ROT = ws.mec.ROT;
  // SORTIE ranked the data by this tensor; the same evaluation again gives the
  // two sums without changing anything it leaves in the work areas.
  SOMME(ws, snap.F, snap.FT, P(4), P(1), P(2), P(3), Ranking::Anew);
}

// The parameter held fixed in stage 4 when R is near 0 (1) or near 1 (3).
int degenerate_parameter(float R) {
  // Only a ratio outside [0, 1] or a non-number can leave 1 to 3; it is then
  // treated as the regular case (and the truncations never see a non-number).
  if (!(R >= 0.0f && R <= 1.0f)) return 2;
  const int KDEG = static_cast<int>(R / 0.95f) + static_cast<int>((R + 0.9f) / 0.95001f) + 1;
  return (KDEG >= 1 && KDEG <= 3) ? KDEG : 2;
}

// A workspace as a fresh run finds it, keeping its units and platform; the
// data arrays hold `capacity` data.
void reset_run_areas(Workspace& ws, int capacity) {
  ws.eeet = eeet_t{};
  ws.eeetc = eeetc_t{};
  ws.ind = ind_t{};
  ws.iop = iop_t{};
  ws.mec = mec_t{};
  ws.mecd = mecd_t{};
  ws.modi1.reset(capacity);
  ws.modi2 = modi2_t{};
  ws.spes = spes_t{};
  ws.tab.reset(capacity);
  ws.tir.reset(capacity);
  ws.tiraz = tiraz_t{};
  ws.eulaz = eulaz_t{};
  ws.imposed = imposed_t{};
  reset_randun(ws);
  store_constants(ws);
}

}  // namespace

void ListingSink::attach(Workspace& ws) const {
  switch (kind_) {
    case Kind::Unit:
      if (!ws.units.is_open(kListing)) throw std::logic_error("the OUTPUT unit is not open");
      break;
    case Kind::Text:
      ws.units.open_memory(kListing, *text_);
      break;
    case Kind::None:
      ws.units.open_discard(kListing);
      break;
  }
}

void store_constants(Workspace& ws) {
  ws.block.CONV = 57.29578f;
  ws.block.PI = 3.141593f;
}

RunInput read_run_input(Workspace& ws) {
  RunInput in;
  std::vector<std::string> data_warnings;
  ENREG(ws, &in.warnings);
  in.faults = GEOLOG(ws, &data_warnings);
  in.params = read_run_parameters(ws, static_cast<int>(in.faults.data.size()), &in.warnings);
  const std::vector<std::string> values = run_params_warnings(in.params);
  in.warnings.insert(in.warnings.end(), values.begin(), values.end());
  in.warnings.insert(in.warnings.end(), data_warnings.begin(), data_warnings.end());
  return in;
}

TableParameters read_table_parameters(Workspace& ws, const std::vector<int>& numbers) {
  TableParameters t;
  ENREG(ws, &t.warnings);
  int N = 0;
  t.kept.reserve(numbers.size());
  for (const int number : numbers) {
    const bool keep = ws.eeetc.ISEL == 1 || !CONTRO(ws, number);
    t.kept.push_back(keep);
    N += keep ? 1 : 0;
  }
  t.params = read_run_parameters(ws, N, &t.warnings);
  const std::vector<std::string> values = run_params_warnings(t.params);
  t.warnings.insert(t.warnings.end(), values.begin(), values.end());
  return t;
}

std::string duration_text(double seconds) {
  const long long minutes = std::llround(seconds / 60.0);
  if (minutes < 1) return "less than a minute";
  if (minutes < 60) return std::to_string(minutes) + " min";
  return std::to_string(minutes / 60) + " h " + std::to_string(minutes % 60) + " min";
}

std::string stage1_time_warning(const RunParams& p, int N) {
  if (!p.random_search()) return "";
  const double seconds = expected_stage1_seconds(p.NTIR, N);
  if (seconds <= kLongStage1) return "";
  return p.where + ": NTIR = " + std::to_string(p.NTIR) + " random draws on N = " + std::to_string(N) +
         " data: stage 1 is expected to take about " + duration_text(seconds) + " of processor time";
}

std::string warning_lines(const std::vector<std::string>& warnings) {
  std::string out;
  for (std::size_t k = 0; k < warnings.size() && k < kMaxWarningLines; ++k) out += "warning: " + warnings[k] + "\n";
  if (warnings.size() > kMaxWarningLines) {
    out += "... and " + std::to_string(warnings.size() - kMaxWarningLines) + " more warnings (" +
           std::to_string(warnings.size()) + " in all)\n";
  }
  return out;
}

void stage1(Workspace& ws, const RunParams& p, Vec4& P, InversionResult& r) {
  if (p.random_search()) {
    random_search(ws, p.NTIR, P);
    r.has_stage1 = true;
    r.stage1.P = P;
    CHANG(ws, P(4), P(1), P(2), P(3));
    r.stage1.VP = ws.mec.VP;
    r.stage1.ROT = ws.mec.ROT;
    Mat<float, 3, 3> axes = ws.mec.ROT;
    axes_plunge_direction(axes, r.stage1.PEN, r.stage1.DIRE);
    // The same ranking evaluation as stage 2 starts with: it leaves the work
    // areas as that one will.
    SOMME(ws, r.stage1.F, r.stage1.FT, P(4), P(1), P(2), P(3), Ranking::Anew);
  } else if (p.mode() == Mode::Euler) {
    P = p.euler;
  } else {
    EULAZ(ws, 1, P(1), P(2), P(3), P(4));
  }
}

void stage2(Workspace& ws, const RunParams& p, Vec4& P, InversionResult& r) {
  ws.units.write(kListing, "(//,2X,20('*'),' DEBUT DE L ETAPE N0 2',/)");
  dash_line(ws);
  const Vec4 XMIN;
  const Vec4 XMAX;
  const Vec<Bound, 4> KIND;
  Vec4 Q;
  float FPREV = 1.0E30f;
  float F = 1.0E20f;
  float FT = 0.0f;
  Vec3 PEN;
  Vec3 DIRE;
  int ITER = 1;
  for (; ITER <= p.NTRI; ++ITER) {
    SOMME(ws, F, FT, P(4), P(1), P(2), P(3), Ranking::Anew);
    if (ITER == 1 && p.mode() != Mode::Random) {
      ws.units.write(kListing, "(///,10X,'  RESULTATS AVEC LES PARAMETRES IMPOSES  ',///)");
      SORTIE(ws, Sortie::WithMisfits, P(4), P(1), P(2), P(3), PEN, DIRE);
      histogram(ws);
    }
    if (ITER > 1 && FPREV - F < kStage2Stop) {
      r.stage2_converged = true;
      break;
    }
    FPREV = F;
    ws.iop.KMAX = 40;
    ws.iop.NPAR = 4;
    OPTIMI(ws, P, XMIN, XMAX, KIND, Q, F, p.detail());
    if (p.detail() == Detail::Full) {
      ws.units.write(kListing, "(1X,' ITER N0 ',I3,'  PARAMATRES ',4F8.4, 'FONCTION',E15.6,4F8.4)", ITER,
                     rt::Many<float>{Q.data(), 4}, F, rt::Many<float>{P.data(), 4});
    }
  }
  ws.units.write(kListing, "(/,1X,'TENSEUR A L ITERATION ',I3,/)", ITER);
  list_tensor(ws, P, r.stage2);
  r.stage2_iterations = ITER;
  if (p.detail() == Detail::Full) histogram(ws);
  ws.units.write(kListing, "(/,5X,10('*'),' FIN DE L ETAPE N0 2 ')");
  dash_line(ws);
}

void stage3(Workspace& ws, const RunParams& p, Vec4& P, InversionResult& r) {
  ws.units.write(kListing, "(//,2X,20(1H*),'  DEBUT DE L ETAPE N0 3')");
  dash_line(ws);
  ws.units.write(kListing, "(/,1X,'REGRESSION MOINDRE CARRE SUR LES ',I3,'  PLUS FAIBLES ECARTS')", ws.ind.NMIN);
  r.fit = CMQ(ws, P, kRegressionIterations, ws.ind.NMIN, p.detail());
  list_tensor(ws, P, r.stage3);
  // The final ranking, before MOHR and stage 4 read tab as SORTIE left it.
  const int N = ws.tir.N;
  r.misfit.assign(static_cast<std::size_t>(N), 0.0f);
  r.rank.assign(static_cast<std::size_t>(N), 0);
  for (int j = 1; j <= N; ++j) {
    const auto d = static_cast<std::size_t>(ws.tab.IX(j) - 1);
    r.misfit[d] = ws.tab.ANG(j);
    r.rank[d] = j;
  }
  if (p.detail() == Detail::Full) histogram(ws);
  MOHR(ws);
  ws.units.write(kListing, "(/,5X,10('*'),'  FIN DE L ETAPE N0 3',/)");
  dash_line(ws);
}

void stage4(Workspace& ws, const RunParams& p, const Vec4& P, InversionResult& r) {
  const Vec3& PEN = r.stage3.PEN;
  const Vec3& DIRE = r.stage3.DIRE;
  ws.units.write(kListing, "(//,2X,20('*'),' DEBUT DE L ETAPE N0 4',/)");
  dash_line(ws);
  CHANGD(ws, P(4), P(1), P(2), P(3));
  ws.units.write(kListing, "(1X,6E14.6)", rt::Many<float>{PEN.data(), 3}, rt::Many<float>{DIRE.data(), 3});
  // With R near 0 or 1 one parameter has no effect: it is held fixed, its
  // row and column of the metric replaced by the identity before the
  // inversion and its diagonal zeroed after it.
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
  if (p.detail() == Detail::Full) {
    ws.units.write(kListing,
                   "(/,2X,'RECHERCHE DU TENSEUR LE PLUS PROCHE',/,2X,/,/,3X,'NUM',5X,'ST',7X,'DX2',3(5X,'NO',4X,"
                   "'DPEN',3X,'DDIRE',3X,'DSIG'))");
  }
  const int N = ws.tir.N;
  r.nearest.assign(static_cast<std::size_t>(N), NearestTensor{});
  for (int I = 1; I <= N; ++I) {
    Vec3 STR;
    Vec3 FN;
    datum_vectors(ws, I, FN, STR);
    Vec3 S;
    Mat<float, 3, 4> DS;
    Vec4 DX;
    NearestTensor& nt = r.nearest[static_cast<std::size_t>(I - 1)];
    STRIED(ws, FN, S, DS);
    RECHER(ws, STR, S, DS, GINV, DX, nt.ST, nt.DX2, nt.DPEN, nt.DDIRE, nt.DSIG);
    for (int K = 1; K <= 3; ++K) {
      nt.PENS(K) = PEN(K) + nt.DPEN(K);
      nt.DIRES(K) = DIRE(K) + nt.DDIRE(K);
    }
    if (p.detail() == Detail::Full) {
      ws.units.write(kListing, "(3X,I3,3X,F5.3,4X,F6.3,3(3X,I3,3F8.3))", ws.modi1.NUM(I), nt.ST, nt.DX2, 1,
                     nt.DPEN(1), nt.DDIRE(1), nt.DSIG(1), 2, nt.DPEN(2), nt.DDIRE(2), nt.DSIG(2), 3, nt.DPEN(3),
                     nt.DDIRE(3), nt.DSIG(3));
    }
  }
  r.has_stage4 = true;
  ws.units.write(kListing, "(T10,80A1,//)", rt::Chars{ws.modi2.TITRE.data(), kTitleLen});
  histogram(ws);
  ws.units.write_list(kListing);
  ws.units.write(kListing, "(2X,' PROJECTION SUR DIAGRAMME DE SCHMITT (DEMI-SHERE INFERIEURE)')");
  ws.units.write(kListing, "(2X,' DES AXES DES TENSEURS CORRESPONDANT A CHAQUE STRIE')");
  GRAP(ws, PEN, DIRE);
  ws.units.write_list(kListing);
  ws.units.write_list(kListing);
  ws.units.write(kListing,
                 "(//,T2,'************************************  FIN  ************************************')");
}

std::string invert_problem(const FaultSet& faults, const RunParams& params) {
  const int N = static_cast<int>(faults.data.size());
  if (!faults.from_table && N > kMaxData) {
    return "DATA file \"" + faults.file + "\": more than " + std::to_string(kMaxData) +
           " fault data kept; at most 300 can be used in one run";
  }
  return run_params_problem(params, N);
}

InversionResult invert(const FaultSet& faults, const RunParams& params, Workspace& ws, ListingSink sink,
                       Through through) {
  const std::string problem = invert_problem(faults, params);
  if (!problem.empty()) throw rt::RunStop(problem);
  const int N = static_cast<int>(faults.data.size());
  sink.attach(ws);

  reset_run_areas(ws, std::max(kMaxData, N));
  ws.eeetc.ISEL = params.ISEL;
  ws.eeetc.IECHO = params.IECHO;
  load_fault_set(ws, faults);
  ws.ind.NMIN = static_cast<int>(nmin_of(N, params.POURC));
  ws.tiraz.INDX = params.INDX;
  ws.tiraz.NSEED = params.NSEED;
  ws.imposed = imposed_t{params.S1DIR, params.S1PEN, params.S3DIR, params.S3PEN, params.R};
  discard_randun(ws, params.NSEED);

  InversionResult r;
  r.N = N;
  r.NMIN = ws.ind.NMIN;
  r.NSEED = params.NSEED;
  if (params.IECHO != 0) list_fault_set(ws, faults);
  list_run_parameters(ws, params);

  Vec4 P;
  stage1(ws, params, P, r);
  stage2(ws, params, P, r);
  stage3(ws, params, P, r);
  if (through == Through::Stage4) stage4(ws, params, P, r);
  return r;
}

}  // namespace zk
