// The projection against PROJ's own command-line program, run as a user would.
#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>

#include "geo/equal_area.hpp"

namespace zk::geo {
namespace {

TEST(EqualArea, AgreesWithCs2csToAMillimetre) {
  const std::vector<std::pair<LonLat, std::vector<LonLat>>> cases = {
      {{6.5, 45.2}, {{6.5, 45.2}, {7.9, 44.1}, {-3.0, 52.0}, {40.0, -10.0}}},
      {{179.5, -41.0}, {{-179.2, -40.0}, {178.0, -42.5}, {179.5, 89.0}}},  // across 180 degrees
      {{-70.0, 85.0}, {{110.0, 88.0}, {-70.0, -30.0}}},
  };
  for (const auto& [c, points] : cases) {
    std::ostringstream cmd;
    cmd.precision(12);
    cmd << "printf -- '";
    for (const LonLat& p : points) cmd << p.lon << " " << p.lat << "\\n";
    cmd << "' | cs2cs -f %.6f +proj=longlat +ellps=WGS84 +to +proj=laea +lat_0=" << c.lat << " +lon_0=" << c.lon
        << " +ellps=WGS84";
    FILE* f = popen(cmd.str().c_str(), "r");
    ASSERT_NE(f, nullptr);
    const EqualArea proj(c);
    double e = 0, n = 0, z = 0;
    std::size_t k = 0;
    for (; std::fscanf(f, "%lf %lf %lf", &e, &n, &z) == 3 && k < points.size(); ++k) {
      const auto got = proj.forward(points[k]);
      ASSERT_TRUE(got) << k;
      EXPECT_NEAR(got->east, e, 1e-3) << c.lon << " " << k;
      EXPECT_NEAR(got->north, n, 1e-3) << c.lon << " " << k;
    }
    EXPECT_EQ(pclose(f), 0);
    EXPECT_EQ(k, points.size());
  }
  // Outside the domain (the antipode, out of range) there is no point; the
  // centre of stations either side of 180 degrees is near it, not near 0.
  const EqualArea p({10.0, 50.0});
  for (LonLat q : {LonLat{-170.0, -50.0}, LonLat{181.0, 0.0}, LonLat{0.0, 91.0}}) EXPECT_FALSE(p.forward(q));
  EXPECT_NEAR(mean_centre({{179.0, 10.0}, {-177.0, 20.0}}).lon, -179.0, 1e-9);
}

}  // namespace
}  // namespace zk::geo
