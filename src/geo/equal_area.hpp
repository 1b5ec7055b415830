#pragma once
// Map projection for the campaign map: Lambert azimuthal equal-area on the
// WGS 84 ellipsoid, computed with PROJ (libproj). Double precision.
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace zk::geo {

struct LonLat {
  double lon = 0.0, lat = 0.0;  // WGS 84 geographic, decimal degrees (east, north positive)
};

struct EastNorth {
  double east = 0.0, north = 0.0;  // metres on the projection plane from its centre
};

// The centre of a set of stations: the arithmetic mean of the latitudes and
// the circular mean of the longitudes (so stations either side of the 180
// degree meridian average near it, not near 0). Longitude in (-180, 180].
LonLat mean_centre(const std::vector<LonLat>& points);

// Lambert azimuthal equal-area projection, ellipsoidal form (PROJ operation
// "+proj=laea +lat_0=C.lat +lon_0=C.lon +ellps=WGS84", the same as
// `cs2cs +proj=longlat +ellps=WGS84 +to +proj=laea ...`; Snyder 1987,
// "Map projections: a working manual", USGS PP 1395, pp. 182-190).
// Domain: longitude in [-180, 180], latitude in [-90, 90], every point of
// the ellipsoid except the antipode of the centre. Units: degrees in,
// metres out; north is up along the centre's meridian, and the scale is true
// at the centre only (areas are true everywhere).
class EqualArea {
 public:
  // Throws std::runtime_error when PROJ refuses the centre.
  explicit EqualArea(LonLat centre);
  ~EqualArea();
  EqualArea(const EqualArea&) = delete;
  EqualArea& operator=(const EqualArea&) = delete;

  LonLat centre() const { return centre_; }
  // The PROJ definition of the projection, for the map's metadata.
  const std::string& definition() const { return definition_; }
  // The projected point; none outside the domain or where PROJ fails.
  std::optional<EastNorth> forward(LonLat p) const;
  // The geographic point of a projected one; none where PROJ fails.
  std::optional<LonLat> inverse(EastNorth p) const;

 private:
  struct Proj;
  LonLat centre_;
  std::string definition_;
  std::unique_ptr<Proj> proj_;
};

}  // namespace zk::geo
