#pragma once
// The R interval of the plane choice from catalogues simulated under its
// answer (a parametric bootstrap). The resampled replicates repeat the
// catalogue's own noise, so they miss how the choice's R leans at this
// geometry (low by 0.07 on catalogues of little nodal-plane diversity) and
// how a fresh draw of the noise moves it. A simulated catalogue has the
// events' chosen planes, each slipping along its shear traction under the
// answer, turned by fresh noise of the catalogue's own level, one plane
// given at random; the whole choice is made again on it, from its own
// start. The spread of its R about the answer's is that of the answer's R
// about the truth: the basic interval [2 R - R*(hi), 2 R - R*(lo)] holds the
// bias and the spread at once.
//
// Noise: a double couple turned about an axis uniform on the sphere by an
// angle drawn from N(0, noise^2). Statistics in double; the draws by
// formula from std::mt19937_64, so that a simulated catalogue is the same
// on every platform.
#include <cstdint>
#include <optional>
#include <random>
#include <vector>

#include "ensemble/bootstrap.hpp"
#include "mechanisms/choice.hpp"

namespace zk::mech {

double uniform_of(std::mt19937_64& gen);   // in [0, 1), 53 bits
double gaussian_of(std::mt19937_64& gen);  // N(0, 1), Box-Muller

// A catalogue like `events` under `answer`: event k's fault is its plane
// faults[k] (1 or 2), slipping along its shear traction under the answer
// (its own slip where there is none), the double couple turned by the
// noise, and one of its two planes given at random, as a catalogue gives
// it (a known fault given as plane 1, still known). Numbers, lines and
// labels are the events'.
std::vector<Event> simulated_catalogue(const std::vector<Event>& events, const Choice& faults, const Principal& answer,
                                       double noise_deg, std::mt19937_64& gen);

// The noise level of the events under the answer: the noise (degrees, 0 to
// kMaxNoiseDeg) at which catalogues simulated from the same faults misfit
// as the events do. The misfit level is the root mean square of the misfits
// of the planes the rule takes, each at most 45 degrees, events of gross
// misfit (both planes above kGrossMisfitDeg) left out as answers leave them
// out; the events' level is taken under the tensor of least misfit near the
// answer and raised by sqrt(N / (N - 4)) for the four parameters fitted to
// them, the simulated ones' under the answer (their truth), over about
// 1,000 simulated events drawn from replicate_stream(seed, 0, 3).
constexpr double kMaxNoiseDeg = 90.0;
struct NoiseLevel {
  Choice faults;          // the planes the rule takes under the answer
  double misfit_deg = 0;  // the root mean square of their misfits, each at most 45 degrees
  double noise_deg = 0;
};
NoiseLevel noise_level(const std::vector<Event>& events, const Principal& answer, double mu, const Options& o,
                       std::uint64_t seed);

// The basic bootstrap interval of an estimate: [2 e - v(hi), 2 e - v(lo)]
// with v(lo), v(hi) the nearest-rank percentiles (100 - confidence) / 2 and
// (100 + confidence) / 2 of the replicate values, within [lower, upper].
// None without values.
std::optional<ensemble::Interval> basic_interval(double estimate, std::vector<double> values, double confidence,
                                                 double lower, double upper);

// The hull of the percentile interval of the values and of the basic
// interval, within [lower, upper]: it holds whichever way the replicates
// lean, and near a bound, where the basic interval is cut short, the
// percentile interval still reaches across. None without values.
std::optional<ensemble::Interval> either_way_interval(double estimate, std::vector<double> values, double confidence,
                                                      double lower, double upper);

// The cones given by bootstrap_choice: each cone of the resampled
// replicates (widened for their lean, allow_for_bias) moved halfway to the
// cone holding the same share of the simulated replicates' axes around the
// answer, where that one is wider. On catalogues of little nodal-plane
// diversity the resampled replicates understate the axes' spread, as they
// understate R's (the swarm-like catalogues of the study: sigma 1 and 3
// covered in 75 and 70 %); the simulated catalogues overstate it on every
// family (their cones alone half again to twice as wide, covering 98 to
// 100 %). Halfway covers every axis of every family of the study in 90 to
// 100 % on two sets of catalogues.
void join_simulated_cones(ensemble::BootstrapStats& s, const AxisCones& simulated);

// What bootstrap_choice measured of R and the axes: the either-way
// intervals of the resampled replicates and of the simulated ones (the R
// interval given is their hull), the noise level, the simulated
// replicates' R and answers in replicate order (none for a failed one),
// and their cones.
struct RCalibration {
  NoiseLevel noise;
  std::vector<std::optional<double>> simulated_R;
  std::vector<std::optional<Principal>> simulated_stress;  // the simulated replicates' answers
  std::optional<ensemble::Interval> resampled, simulated;
  AxisCones simulated_cones;  // around the answer's axes, not widened
};

}  // namespace zk::mech
