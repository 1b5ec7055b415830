#include <algorithm>
#include <cmath>

#include "grid/damped.hpp"

namespace zk::grid {

std::vector<double> tradeoff_sweep() {
  std::vector<double> es;
  const double low = std::log10(kTradeoffLow), high = std::log10(kTradeoffHigh);
  for (int k = 0; k < kTradeoffPoints; ++k) {
    es.push_back(std::pow(10.0, low + (high - low) * k / (kTradeoffPoints - 1)));
  }
  return es;
}

std::size_t tradeoff_corner(const std::vector<TradeoffPoint>& curve) {
  if (curve.size() < 3) throw DampedError("a trade-off curve needs at least 3 points to have a corner");
  // Each axis scaled to its range, so the corner does not depend on the
  // units of misfit and model length.
  auto range = [&](auto member) {
    double lo = curve.front().*member, hi = lo;
    for (const TradeoffPoint& p : curve) {
      lo = std::min(lo, p.*member);
      hi = std::max(hi, p.*member);
    }
    return std::pair{lo, hi > lo ? hi - lo : 1.0};
  };
  const auto [x0, dx] = range(&TradeoffPoint::misfit);
  const auto [y0, dy] = range(&TradeoffPoint::model_length);
  std::size_t best = 1;
  double best_k = -1.0;
  for (std::size_t i = 1; i + 1 < curve.size(); ++i) {
    // First and second derivatives in t = ln e on uneven steps.
    const double t0 = std::log(curve[i - 1].e), t1 = std::log(curve[i].e), t2 = std::log(curve[i + 1].e);
    const double h1 = t1 - t0, h2 = t2 - t1;
    if (!(h1 > 0.0 && h2 > 0.0)) throw DampedError("the values of e of a trade-off curve must increase");
    auto derivs = [&](double a, double b, double c) {
      const double d1 = (-h2 / (h1 * (h1 + h2))) * a + ((h2 - h1) / (h1 * h2)) * b + (h1 / (h2 * (h1 + h2))) * c;
      const double d2 = 2.0 * (a / (h1 * (h1 + h2)) - b / (h1 * h2) + c / (h2 * (h1 + h2)));
      return std::pair{d1, d2};
    };
    const auto [xp, xpp] = derivs((curve[i - 1].misfit - x0) / dx, (curve[i].misfit - x0) / dx,
                                  (curve[i + 1].misfit - x0) / dx);
    const auto [yp, ypp] = derivs((curve[i - 1].model_length - y0) / dy, (curve[i].model_length - y0) / dy,
                                  (curve[i + 1].model_length - y0) / dy);
    const double speed2 = xp * xp + yp * yp;
    if (!(speed2 > 1e-12)) continue;  // the curve does not move here: no direction to turn
    const double k = std::fabs(xp * ypp - yp * xpp) / std::pow(speed2, 1.5);
    if (k > best_k) {
      best_k = k;
      best = i;
    }
  }
  return best;
}

Tradeoff choose_damping(const std::vector<CellData>& cells) {
  Tradeoff t;
  t.curve = tradeoff_curve(cells, tradeoff_sweep());
  const bool flat = std::all_of(t.curve.begin(), t.curve.end(), [&](const TradeoffPoint& p) {
    return p.model_length <= 1e-24 && std::fabs(p.misfit - t.curve.front().misfit) <= 1e-12 * (1.0 + p.misfit);
  });
  if (flat) {
    t.chosen = t.curve.front().e;
    t.method = "flat trade-off curve: the least damping of the sweep";
  } else {
    t.chosen = t.curve[tradeoff_corner(t.curve)].e;
    t.method = "largest curvature of the trade-off curve";
  }
  return t;
}

}  // namespace zk::grid
