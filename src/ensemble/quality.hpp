#pragma once
// A single quality figure for a station's SHmax from its bootstrap, on the
// World Stress Map's scale of SHmax accuracy (Heidbach et al. 2010): the
// axial standard deviation of the replicates' SHmax ranks it A (within 15
// degrees), B (20), C (25), D (40) or E (beyond, or no usable SHmax).
//
// Numbers: double (a statistic beside the listing). Angles in degrees,
// azimuths clockwise from north; SHmax is axial (x and x + 180 the same).
#include <optional>
#include <string>
#include <vector>

namespace zk::ensemble {

// Axial standard deviation: the circular standard deviation
// sqrt(-2 ln Rbar) of the doubled angles, halved (Mardia & Jupp 2000,
// 2.3.4). None when there is no angle or the doubled angles cancel out
// (Rbar below 1e-12: no preferred direction).
std::optional<double> axial_sd_deg(const std::vector<double>& azimuths_deg);

// The rank bounds, each inclusive: sd <= 15 is A, <= 20 B, <= 25 C, <= 40 D.
constexpr double kQualityBoundDeg[4] = {15.0, 20.0, 25.0, 40.0};
// Above this share of replicates without an SHmax the rank is E.
constexpr double kQualityUndefinedShare = 0.10;

struct Quality {
  char rank = 'E';     // 'A' .. 'E'
  std::string reason;  // why, for the summary line and the figure ("SHmax sd 12.3 deg", "SHmax poorly defined")
};

// What the rank is read from: the final tensor's SHmax (exists, poorly
// defined), the replicates that did not fail, those of them without an
// SHmax, and the axial standard deviation of the others' SHmax.
struct QualityInput {
  bool shmax = false;
  bool poorly_defined = false;
  int used = 0;
  int undefined = 0;
  std::optional<double> sd_deg;
};
Quality shmax_quality(const QualityInput& in);

}  // namespace zk::ensemble

namespace zk::ensemble {

// ---- the quality of an answer: fit, spread and the conditions that void it ----
//
// The fit rank reads the number of data the answer uses n, their share of the
// data given n / n_t, and the mean misfit angle of the data used, on the
// scale of the fault-slip ranking of Delvaux & Sperner (2003) as the World
// Stress Map applies it. The thresholds are this program's (each inclusive):
//   A: n >= 25, n / n_t >= 0.60, mean misfit <= 9 degrees
//   B: n >= 15, 0.45, 12;  C: n >= 10, 0.30, 15;  D: n >= 6, 0.15, 18;  else E.
struct FitBound {
  int n;
  double share;
  double misfit_deg;
};
constexpr FitBound kFitBounds[4] = {{25, 0.60, 9.0}, {15, 0.45, 12.0}, {10, 0.30, 15.0}, {6, 0.15, 18.0}};

// R within this of 0 or 1 (below 0.05, above 0.95) is at a bound: two
// principal stresses are not told apart, and the axes between them are not
// resolved.
constexpr double kRBound = 0.05;
// A bootstrap R interval that reaches a bound and is wider than this leaves
// the shape of the tensor unknown.
constexpr double kWideRInterval = 0.6;
// Below this share of the replicates in the most frequent regime the regime
// is not known.
constexpr double kRegimeMajority = 0.5;
// The best rank of a phase whose data are all of one kinematic family.
constexpr char kOneFamilyRank = 'C';

// Kinematic family of a datum from its rake (degrees, Aki & Richards: 90
// reverse, -90 normal, 0 sinistral, 180 dextral): the component that
// dominates, the bounds at 45 and 135 degrees going to the strike-slip side.
enum class Family { Normal, Reverse, Sinistral, Dextral };
Family kinematic_family(double rake_deg);
const char* family_name(Family f);  // "normal", "reverse", "sinistral", "dextral"

bool R_at_bound(double R);

// What the quality of one answer (the all-data tensor or one phase) is read
// from. The bootstrap part is absent without a bootstrap.
struct AnswerInput {
  int n_used = 0;
  int n_given = 0;
  double mean_misfit_deg = 0.0;
  double R = 0.5;
  std::optional<Family> one_family;  // a phase all of whose data are of this family
  struct Spread {
    Quality shmax;                    // the rank of the replicates' SHmax spread
    std::optional<double> R_low, R_high;  // the R interval, when any replicate ran
    double largest_regime_share = 0.0;    // share of the replicates in the most frequent regime
  };
  std::optional<Spread> spread;
};

struct AnswerQuality {
  char rank = 'E';       // the worst of the ranks below and the caps
  char fit_rank = 'E';
  std::optional<char> spread_rank;  // none without a bootstrap
  int n_used = 0, n_given = 0;
  double mean_misfit_deg = 0.0;
  bool R_at_bound = false;  // of the answer's R
  // Why, the reason that sets the rank first, then the others from the
  // lowest rank they impose (ties in the order: R at a bound, R interval,
  // regime, one family, fit, spread).
  std::vector<std::string> reasons;
};

char fit_rank(int n_used, int n_given, double mean_misfit_deg);
AnswerQuality answer_quality(const AnswerInput& in);

}  // namespace zk::ensemble
