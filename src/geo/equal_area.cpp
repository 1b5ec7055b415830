#include "geo/equal_area.hpp"

#include <proj.h>

#include <cmath>
#include <cstdio>
#include <stdexcept>

namespace zk::geo {

namespace {
constexpr double kRad = 3.14159265358979323846 / 180.0;
}

LonLat mean_centre(const std::vector<LonLat>& points) {
  if (points.empty()) return {};
  double lat = 0.0, s = 0.0, c = 0.0;
  for (const LonLat& p : points) {
    lat += p.lat;
    s += std::sin(p.lon * kRad);
    c += std::cos(p.lon * kRad);
  }
  double lon = (std::fabs(s) < 1e-12 && std::fabs(c) < 1e-12) ? 0.0 : std::atan2(s, c) / kRad;
  if (lon <= -180.0) lon += 360.0;
  return LonLat{lon, lat / static_cast<double>(points.size())};
}

// One PROJ context per projection, so projections on different threads
// share nothing.
struct EqualArea::Proj {
  PJ_CONTEXT* ctx = nullptr;
  PJ* op = nullptr;
  ~Proj() {
    if (op) proj_destroy(op);
    if (ctx) proj_context_destroy(ctx);
  }
};

EqualArea::EqualArea(LonLat centre) : centre_(centre), proj_(std::make_unique<Proj>()) {
  char buf[160];
  std::snprintf(buf, sizeof buf, "+proj=laea +lat_0=%.10g +lon_0=%.10g +ellps=WGS84 +units=m", centre.lat,
                centre.lon);
  definition_ = buf;
  proj_->ctx = proj_context_create();
  if (proj_->ctx == nullptr) throw std::runtime_error("PROJ: no context");
  proj_log_level(proj_->ctx, PJ_LOG_NONE);
  proj_->op = proj_create(proj_->ctx, definition_.c_str());
  if (proj_->op == nullptr) {
    throw std::runtime_error("PROJ refuses \"" + definition_ + "\": " +
                             proj_context_errno_string(proj_->ctx, proj_context_errno(proj_->ctx)));
  }
}

EqualArea::~EqualArea() = default;

std::optional<EastNorth> EqualArea::forward(LonLat p) const {
  if (!(std::fabs(p.lon) <= 180.0 && std::fabs(p.lat) <= 90.0)) return std::nullopt;
  // A "+proj=" operation takes geodetic coordinates in radians.
  PJ_COORD in = proj_coord(p.lon * kRad, p.lat * kRad, 0.0, 0.0);
  proj_errno_reset(proj_->op);
  const PJ_COORD out = proj_trans(proj_->op, PJ_FWD, in);
  if (proj_errno(proj_->op) != 0 || !std::isfinite(out.xy.x) || !std::isfinite(out.xy.y) ||
      out.xy.x == HUGE_VAL) {
    return std::nullopt;
  }
  return EastNorth{out.xy.x, out.xy.y};
}

std::optional<LonLat> EqualArea::inverse(EastNorth p) const {
  if (!std::isfinite(p.east) || !std::isfinite(p.north)) return std::nullopt;
  PJ_COORD in = proj_coord(p.east, p.north, 0.0, 0.0);
  proj_errno_reset(proj_->op);
  const PJ_COORD out = proj_trans(proj_->op, PJ_INV, in);
  if (proj_errno(proj_->op) != 0 || !std::isfinite(out.lp.lam) || !std::isfinite(out.lp.phi) ||
      out.lp.lam == HUGE_VAL) {
    return std::nullopt;
  }
  double lon = out.lp.lam / kRad;
  if (lon <= -180.0) lon += 360.0;
  if (lon > 180.0) lon -= 360.0;
  return LonLat{lon, out.lp.phi / kRad};
}

}  // namespace zk::geo
