#include "mechanisms/calibration.hpp"

#include <algorithm>
#include <cmath>

namespace zk::mech {
namespace {

constexpr double kPi = 3.14159265358979323846;

// Draws of one simulated event: the axis and angle of its noise, and which
// plane is given.
struct Draw {
  AxisVector axis{};
  double z = 0.0;  // the angle in units of the noise
  bool auxiliary_given = false;
};

Draw draw(std::mt19937_64& gen) {
  Draw d;
  double length = 0.0;
  do {
    d.axis = {gaussian_of(gen), gaussian_of(gen), gaussian_of(gen)};
    length = std::sqrt(dot(d.axis, d.axis));
  } while (length < 1e-12);
  for (double& v : d.axis) v /= length;
  d.z = gaussian_of(gen);
  d.auxiliary_given = uniform_of(gen) < 0.5;
  return d;
}

// v turned by `angle` radians about the unit axis k (Rodrigues).
AxisVector turned(const AxisVector& v, const AxisVector& k, double angle) {
  const AxisVector kv{k[1] * v[2] - k[2] * v[1], k[2] * v[0] - k[0] * v[2], k[0] * v[1] - k[1] * v[0]};
  const double c = std::cos(angle), s = std::sin(angle), kd = dot(k, v) * (1.0 - c);
  return {v[0] * c + kv[0] * s + k[0] * kd, v[1] * c + kv[1] * s + k[1] * kd, v[2] * c + kv[2] * s + k[2] * kd};
}

// The double couple of event e's plane `fault` slipping under T, turned by
// the noise: the plane given first, its auxiliary second.
std::array<DoubleCouple, 2> simulated_planes(const Event& e, int fault, const Matrix3& T, double noise_deg,
                                             const Draw& d) {
  const DoubleCouple& plane = e.exact[static_cast<std::size_t>(fault - 1)];
  const PlaneStress ps = plane_stress(T, plane.normal);
  DoubleCouple dc{plane.normal, ps.slip ? *ps.slip : plane.slip};
  const double angle = d.z * noise_deg * kPi / 180.0;
  dc = {turned(dc.normal, d.axis, angle), turned(dc.slip, d.axis, angle)};
  const bool swap = e.known == 0 && d.auxiliary_given;
  const DoubleCouple other = auxiliary(dc);
  return swap ? std::array<DoubleCouple, 2>{other, dc} : std::array<DoubleCouple, 2>{dc, other};
}

// The misfit level: the root mean square of the misfits, each at most
// kCapDeg so that a few planes of low shear do not lead it.
constexpr double kCapDeg = 45.0;
double misfit_level(const std::vector<double>& misfits) {
  double sum = 0.0;
  for (double m : misfits) sum += std::min(m, kCapDeg) * std::min(m, kCapDeg);
  return misfits.empty() ? 0.0 : std::sqrt(sum / static_cast<double>(misfits.size()));
}

// The tensor nearest in misfit to the planes `faults` of the events, from
// `answer`: the least squares of the misfits (each at most kCapDeg) over a
// turn of the axes and R, by Nelder and Mead's simplex. The engine's answer
// is no least-misfit tensor: read under it, the median misfit put the noise
// a third to a half too high on the study's catalogues; under this one the
// misfits are as low as a fit of four parameters makes them.
Principal least_misfit(const std::vector<Event>& events, const Choice& faults, const Principal& answer) {
  using Point = std::array<double, 4>;  // turn vector (radians), R
  const auto tensor_at = [&](const Point& x) {
    Principal p = answer;
    const double angle = std::sqrt(x[0] * x[0] + x[1] * x[1] + x[2] * x[2]);
    if (angle > 0.0) {
      const AxisVector k{x[0] / angle, x[1] / angle, x[2] / angle};
      for (AxisVector& a : p.axes) a = turned(a, k, angle);
    }
    p.R = std::clamp(x[3], 0.0, 1.0);
    return p;
  };
  const auto cost = [&](const Point& x) {
    const Matrix3 T = tensor_of(tensor_at(x));
    double sum = 0.0;
    for (std::size_t k = 0; k < events.size(); ++k) {
      const double m = std::min(misfit_deg(T, events[k].exact[static_cast<std::size_t>(faults[k] - 1)]), kCapDeg);
      sum += m * m;
    }
    return sum + (x[3] < 0.0 ? x[3] * x[3] : x[3] > 1.0 ? (x[3] - 1.0) * (x[3] - 1.0) : 0.0) * 1e6;
  };
  std::array<Point, 5> simplex{};
  std::array<double, 5> f{};
  simplex[0] = {0.0, 0.0, 0.0, answer.R};
  for (std::size_t i = 1; i < 5; ++i) {
    simplex[i] = simplex[0];
    simplex[i][i - 1] += i <= 3 ? 5.0 * kPi / 180.0 : (answer.R > 0.5 ? -0.1 : 0.1);
  }
  for (std::size_t i = 0; i < 5; ++i) f[i] = cost(simplex[i]);
  const auto along = [](const Point& a, const Point& b, double t) {  // a + t (b - a)
    Point p{};
    for (std::size_t j = 0; j < 4; ++j) p[j] = a[j] + t * (b[j] - a[j]);
    return p;
  };
  for (int iteration = 0; iteration < 400; ++iteration) {
    std::array<std::size_t, 5> order{0, 1, 2, 3, 4};
    std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return f[a] < f[b]; });
    const std::size_t best = order[0], worst = order[4], second = order[3];
    if (f[worst] - f[best] <= 1e-10 * (1.0 + f[best])) break;
    Point centre{};
    for (std::size_t i : order) {
      if (i == worst) continue;
      for (std::size_t j = 0; j < 4; ++j) centre[j] += simplex[i][j] / 4.0;
    }
    const Point reflected = along(centre, simplex[worst], -1.0);
    const double fr = cost(reflected);
    if (fr < f[best]) {
      const Point expanded = along(centre, simplex[worst], -2.0);
      const double fe = cost(expanded);
      if (fe < fr) {
        simplex[worst] = expanded, f[worst] = fe;
      } else {
        simplex[worst] = reflected, f[worst] = fr;
      }
      continue;
    }
    if (fr < f[second]) {
      simplex[worst] = reflected, f[worst] = fr;
      continue;
    }
    const Point contracted = along(centre, simplex[worst], fr < f[worst] ? -0.5 : 0.5);
    const double fc = cost(contracted);
    if (fc < std::min(fr, f[worst])) {
      simplex[worst] = contracted, f[worst] = fc;
      continue;
    }
    for (std::size_t i : order) {  // shrink toward the best
      if (i == best) continue;
      simplex[i] = along(simplex[best], simplex[i], 0.5);
      f[i] = cost(simplex[i]);
    }
  }
  return tensor_at(simplex[static_cast<std::size_t>(std::min_element(f.begin(), f.end()) - f.begin())]);
}

}  // namespace

double uniform_of(std::mt19937_64& gen) { return static_cast<double>(gen() >> 11) * 0x1.0p-53; }

double gaussian_of(std::mt19937_64& gen) {
  const double u = 1.0 - uniform_of(gen);  // in (0, 1]
  const double v = uniform_of(gen);
  return std::sqrt(-2.0 * std::log(u)) * std::cos(2.0 * kPi * v);
}

std::vector<Event> simulated_catalogue(const std::vector<Event>& events, const Choice& faults, const Principal& answer,
                                       double noise_deg, std::mt19937_64& gen) {
  const Matrix3 T = tensor_of(answer);
  std::vector<Event> out;
  out.reserve(events.size());
  for (std::size_t k = 0; k < events.size(); ++k) {
    const Event& e = events[k];
    const std::array<DoubleCouple, 2> planes = simulated_planes(e, faults[k], T, noise_deg, draw(gen));
    out.push_back(make_event(e.number, e.line, e.label, plane_of(planes[0]), e.known != 0 ? 1 : 0));
  }
  return out;
}

NoiseLevel noise_level(const std::vector<Event>& events, const Principal& answer, double mu, const Options& o,
                       std::uint64_t seed) {
  NoiseLevel level;
  if (events.empty()) return level;
  const Matrix3 T = tensor_of(answer);
  for (const Event& e : events) level.faults.push_back(take_plane(e.exact, e.known, T, answer, mu, o.rule, o.gap_deg).plane);
  // The misfit of a plane taken, none for an event of gross misfit (both
  // planes): such events are left out of answers, and of the level.
  const auto taken_misfit = [](const Matrix3& S, const std::array<DoubleCouple, 2>& exact, int plane) {
    const double m1 = misfit_deg(S, exact[0]), m2 = misfit_deg(S, exact[1]);
    return m1 > kGrossMisfitDeg && m2 > kGrossMisfitDeg ? std::optional<double>() : (plane == 1 ? m1 : m2);
  };
  std::vector<Event> kept;
  Choice kept_faults;
  for (std::size_t k = 0; k < events.size(); ++k) {
    if (taken_misfit(T, events[k].exact, level.faults[k])) {
      kept.push_back(events[k]);
      kept_faults.push_back(level.faults[k]);
    }
  }
  if (kept.empty()) return level;
  const Matrix3 nearest = tensor_of(least_misfit(kept, kept_faults, answer));
  std::vector<double> misfits;
  for (std::size_t k = 0; k < kept.size(); ++k) {
    if (const auto m = taken_misfit(nearest, kept[k].exact, kept_faults[k])) misfits.push_back(*m);
  }
  level.misfit_deg = misfit_level(misfits);
  const auto N = static_cast<double>(misfits.size());
  const double target = level.misfit_deg * (N > 4.0 ? std::sqrt(N / (N - 4.0)) : 1.0);

  // Copies of the catalogue enough for about 1,000 simulated events; the
  // same draws at every noise level, so that the level grows smoothly.
  const std::size_t copies = std::max<std::size_t>(1, (1000 + events.size() - 1) / events.size());
  std::mt19937_64 gen = ensemble::replicate_stream(seed, 0, 3);
  std::vector<Draw> draws;
  draws.reserve(copies * events.size());
  for (std::size_t i = 0; i < copies * events.size(); ++i) draws.push_back(draw(gen));
  const auto level_at = [&](double noise_deg) {
    std::vector<double> m;
    m.reserve(draws.size());
    for (std::size_t i = 0; i < draws.size(); ++i) {
      const Event& e = events[i % events.size()];
      const std::array<DoubleCouple, 2> planes = simulated_planes(e, level.faults[i % events.size()], T, noise_deg, draws[i]);
      const int known = e.known != 0 ? 1 : 0;
      const Taken t = take_plane(planes, known, T, answer, mu, o.rule, o.gap_deg);
      if (const auto v = taken_misfit(T, planes, t.plane)) m.push_back(*v);
    }
    return misfit_level(m);
  };
  if (level_at(kMaxNoiseDeg) <= target) {
    level.noise_deg = kMaxNoiseDeg;
    return level;
  }
  double low = 0.0, high = kMaxNoiseDeg;
  for (int k = 0; k < 30; ++k) {  // to 1e-7 degree
    const double mid = 0.5 * (low + high);
    (level_at(mid) < target ? low : high) = mid;
  }
  level.noise_deg = 0.5 * (low + high);
  return level;
}

std::optional<ensemble::Interval> basic_interval(double estimate, std::vector<double> values, double confidence,
                                                 double lower, double upper) {
  if (values.empty()) return std::nullopt;
  const double tail = (100.0 - confidence) / 2.0;
  const double lo = ensemble::nearest_rank(values, tail), hi = ensemble::nearest_rank(values, 100.0 - tail);
  return ensemble::Interval{std::clamp(2.0 * estimate - hi, lower, upper), std::clamp(2.0 * estimate - lo, lower, upper)};
}

std::optional<ensemble::Interval> either_way_interval(double estimate, std::vector<double> values, double confidence,
                                                      double lower, double upper) {
  const std::optional<ensemble::Interval> basic = basic_interval(estimate, values, confidence, lower, upper);
  if (!basic) return std::nullopt;
  const double tail = (100.0 - confidence) / 2.0;
  std::vector<double> low = values;
  return ensemble::Interval{std::min(basic->low, std::clamp(ensemble::nearest_rank(low, tail), lower, upper)),
                            std::max(basic->high, std::clamp(ensemble::nearest_rank(values, 100.0 - tail), lower, upper))};
}

void join_simulated_cones(ensemble::BootstrapStats& s, const AxisCones& simulated) {
  for (std::size_t L = 0; L < 3; ++L) {
    std::optional<double>& cone = s.cone_deg[L];
    if (cone && simulated.cone_deg[L] && *simulated.cone_deg[L] > *cone) *cone = 0.5 * (*cone + *simulated.cone_deg[L]);
  }
}

}  // namespace zk::mech
