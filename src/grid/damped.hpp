#pragma once
// The damped joint stress inversion over the cells of a grid, after
// Hardebeck & Michael (2006, J. Geophys. Res. 111, B11310): one least-squares
// system holding every cell's equations of Michael's linear inversion (1984,
// mechanisms/linear.hpp; five unknowns per cell, the traceless tensor
// (T11, T12, T13, T22, T23), T33 = -T11 - T22, whose shear traction is nearest
// to the unit slip of each chosen plane) and, for every pair of adjacent
// cells c, d (grid::adjacent), the five rows
//   e^2 (T_c - T_d) = 0
// so the damping e means what it means in SATSI: the penalty added to the
// data misfit is e^4 times the sum of squared neighbour differences.
//
// Gap cells: a cell without events that lies between two cells with events
// along one grid axis (same indices along the others) is an unknown of the
// system too, so the damping bridges the gap; it is reported, flagged
// (has_events = false), after the input cells.
//
// Numbers: double precision throughout (statistics beside the listing).
// Frame and conventions as mechanisms/linear.hpp: x east, y north, z up,
// compression positive, R = (sigma 2 - sigma 3) / (sigma 1 - sigma 3).
#include <array>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "data/nodal_planes.hpp"
#include "engine/stress_state.hpp"
#include "ensemble/bootstrap.hpp"
#include "grid/grid.hpp"
#include "mechanisms/choice.hpp"
#include "mechanisms/linear.hpp"

namespace zk::grid {

// Input the damped inversion cannot take (no cells, two cells of one index,
// indices of different lengths or beyond kMaxIndex, more gap cells than
// kMaxGapCells, a damping that is not 0 or within kMinDamping to
// kMaxDamping, a plane that is not finite, replicate ranges out of order). The message says
// which cell or value.
struct DampedError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// Limits that keep a caller's mistake from exhausting memory: indices within
// +-kMaxIndex, at most kMaxGapCells gap cells (DampedError beyond).
constexpr int kMaxIndex = 1000000000;
constexpr long long kMaxGapCells = 1000000;
// The damping e is 0 or within [kMinDamping, kMaxDamping]: beyond 1000 every
// neighbour is equal within rounding and the system (solved as its normal
// equations, where e^4 meets the data's squares) loses the data; below 1e-6
// e^4 nears the smallest double. Both far outside the trade-off sweep.
constexpr double kMinDamping = 1e-6, kMaxDamping = 1000.0;

// The chosen planes of one cell (double).
struct CellData {
  Index index;
  std::vector<mech::DoubleCouple> planes;
};

// What a cell's tensor is.
//   solved           a tensor with sigma 1 > sigma 3
//   underdetermined  the cell's connected part of the system cannot fix a
//                    tensor: with e = 0 a cell of fewer than 3 planes or of
//                    planes that constrain no tensor; with e > 0 a group of
//                    adjacent cells (gap cells included) whose planes pooled
//                    cannot (an isolated cell of 2 planes, a grid of one event)
//   isotropic        solved, but sigma 1 = sigma 3 (no axes, no R)
enum class CellStatus { solved, underdetermined, isotropic };
const char* cell_status_name(CellStatus s);  // "solved", "underdetermined", "isotropic"

struct CellAnswer {
  Index index;
  bool has_events = false;  // false: a gap cell
  int planes = 0;           // planes it holds
  CellStatus status = CellStatus::underdetermined;
  // The tensor as solved, scaled to unit norm (sqrt of the sum of the
  // squares of its nine components = 1), trace 0; zero when not solved.
  Matrix3 tensor{};
  mech::Principal stress;  // axes sigma 1..3 and R (meaningful when solved)
  StressState state;       // SHmax (Lund & Townend), R', World Stress Map regime; undefined unless solved
  // Mean misfit angle (degrees) of the cell's planes under its tensor (0 for a gap cell).
  double mean_misfit_deg = 0.0;
};

struct DampedSolution {
  double e = 0.0;
  std::vector<CellAnswer> cells;  // the input cells in input order, then the gap cells (sorted by index)
  int gap_cells = 0;
  // Data variance: the squared residuals of the data rows (three per plane)
  // over their number, the solved cells only.
  double misfit = 0.0;
  // Model length: the sum over adjacent solved pairs of the squared
  // differences of their five unknowns (as solved, not rescaled).
  double model_length = 0.0;
};

// Throws DampedError on input it cannot take (see above). e = 0 gives each
// cell's own linear inversion (gap cells then underdetermined).
DampedSolution solve_damped(const std::vector<CellData>& cells, double e);

// ---- the choice of the damping ----
struct TradeoffPoint {
  double e = 0.0, misfit = 0.0, model_length = 0.0;
};
struct Tradeoff {
  std::vector<TradeoffPoint> curve;  // increasing e
  double chosen = 0.0;
  // How `chosen` was found, for the report: "largest curvature of the
  // trade-off curve", or "flat trade-off curve: the least damping of the
  // sweep" when the damping changes nothing (no adjacent cells).
  std::string method;
};
// The sweep: kTradeoffPoints values of e spaced evenly in log from
// kTradeoffLow to kTradeoffHigh.
constexpr double kTradeoffLow = 0.01, kTradeoffHigh = 100.0;
constexpr int kTradeoffPoints = 33;
Tradeoff choose_damping(const std::vector<CellData>& cells);
// The sweep's values of e, increasing.
std::vector<double> tradeoff_sweep();
// (e, misfit, model length) of solve_damped at each e of `es`, in that order.
std::vector<TradeoffPoint> tradeoff_curve(const std::vector<CellData>& cells, const std::vector<double>& es);
// The corner of a trade-off curve (increasing e): the point of largest
// curvature of (misfit, model length), each axis scaled to its range over
// the curve, differentiated in log e. Exposed for tests. Throws DampedError
// with fewer than 3 points.
std::size_t tradeoff_corner(const std::vector<TradeoffPoint>& curve);

// ---- the plane choice under the damped answer, and its bootstrap ----

// The events of one cell, both nodal planes each (mech::make_event), and the
// plane taken of each at the start (1 or 2; empty: plane 1 of each).
struct CellEvents {
  Index index;
  std::vector<mech::Event> events;
  mech::Choice start;
};

// The choice redone under each cell's damped tensor by `rule`
// (mech::choose_under with `friction` and `gap_deg`), the system solved
// again, until the planes repeat or `max_rounds` solves were made. A gap
// cell or a cell whose tensor is not solved keeps its planes.
struct ChoiceRule {
  mech::Rule rule = mech::Rule::Instability;
  double friction = 0.6;
  double gap_deg = 10.0;
  int max_rounds = 10;
};
struct DampedChoice {
  DampedSolution solution;
  std::vector<mech::Choice> planes;  // per input cell, in input order
  int rounds = 0;
  bool converged = false;  // false: max_rounds solves made, planes still changing
};
DampedChoice choose_damped(const std::vector<CellEvents>& cells, double e, const ChoiceRule& rule);

// One replicate: every cell's events drawn with replacement (as many as it
// has), from one stream keyed by (seed, b) only, cells in input order; each
// drawn event starts from the plane `main` took, and choose_damped runs at
// the same e. Tensors per cell of the main solution's order (gap cells
// included).
struct DampedReplicate {
  int index = 0;
  int rounds = 0;
  bool converged = false;
  std::vector<CellStatus> status;
  std::vector<mech::Principal> stress;
};

struct BootstrapOptions {
  double e = 0.0;
  ChoiceRule rule;
  std::uint64_t seed = 1;
  int jobs = 1;
};

// Replicates first .. last-1 on o.jobs threads (ensemble::run_parallel); the
// result depends on the indices only, never on o.jobs or on a split of the
// range. `main` is choose_damped on the same cells. Throws DampedError when
// first < 0 or last < first.
std::vector<DampedReplicate> damped_replicates(const std::vector<CellEvents>& cells, const DampedChoice& main,
                                               const BootstrapOptions& o, int first, int last);

// Per cell (the main solution's order), the statistics of the ensemble's
// bootstrap: cones around the main axes holding `confidence` % of the
// replicate axes, the percentile interval of R and of SHmax, regimes, the
// SHmax quality; over the replicates in which that cell is solved (a cell not
// solved in the main answer gets empty statistics).
std::vector<ensemble::BootstrapStats> damped_bootstrap_stats(const DampedSolution& main,
                                                             const std::vector<DampedReplicate>& replicates,
                                                             double confidence);

}  // namespace zk::grid
