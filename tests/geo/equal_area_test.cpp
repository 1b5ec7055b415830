// The projection against PROJ's own command-line program, run as a user would.
#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>

#include "geo/equal_area.hpp"

namespace zk::geo {
namespace {

// Eastings and northings of `points` from cs2cs, one line each.
std::vector<EastNorth> cs2cs(LonLat c, const std::vector<LonLat>& points) {
  std::ostringstream cmd;
  cmd.precision(12);
  cmd << "printf -- '";
  for (const LonLat& p : points) cmd << p.lon << " " << p.lat << "\\n";
  cmd << "' | cs2cs -f %.6f +proj=longlat +ellps=WGS84 +to +proj=laea +lat_0=" << c.lat << " +lon_0=" << c.lon
      << " +ellps=WGS84";
  FILE* f = popen(cmd.str().c_str(), "r");
  std::vector<EastNorth> out;
  EastNorth e;
  double z = 0.0;
  while (f != nullptr && std::fscanf(f, "%lf %lf %lf", &e.east, &e.north, &z) == 3) out.push_back(e);
  EXPECT_EQ(f == nullptr ? -1 : pclose(f), 0);
  return out;
}

TEST(EqualArea, AgreesWithCs2csToAMillimetre) {
  struct Case {
    LonLat centre;
    std::vector<LonLat> points;
  };
  const Case cases[] = {
      {{6.5, 45.2}, {{6.5, 45.2}, {7.9, 44.1}, {-3.0, 52.0}, {40.0, -10.0}}},
      {{179.5, -41.0}, {{-179.2, -40.0}, {178.0, -42.5}, {179.5, 89.0}}},  // across 180 degrees
      {{-70.0, 85.0}, {{110.0, 88.0}, {-70.0, -30.0}}},
  };
  for (const Case& c : cases) {
    const EqualArea p(c.centre);
    const auto want = cs2cs(c.centre, c.points);
    ASSERT_EQ(want.size(), c.points.size());
    for (std::size_t k = 0; k < want.size(); ++k) {
      const auto got = p.forward(c.points[k]);
      ASSERT_TRUE(got) << k;
      EXPECT_NEAR(got->east, want[k].east, 1e-3) << c.centre.lon << " " << k;
      EXPECT_NEAR(got->north, want[k].north, 1e-3) << c.centre.lon << " " << k;
    }
  }
}

TEST(EqualArea, OutsideTheDomainIsNoPoint) {
  const EqualArea p({10.0, 50.0});
  for (LonLat q : {LonLat{-170.0, -50.0}, LonLat{181.0, 0.0}, LonLat{0.0, 91.0}}) EXPECT_FALSE(p.forward(q));
}

TEST(EqualArea, CentreAveragesLongitudesOnTheCircle) {
  const LonLat c = mean_centre({{179.0, 10.0}, {-177.0, 20.0}});
  EXPECT_NEAR(c.lon, -179.0, 1e-9);
  EXPECT_NEAR(c.lat, 15.0, 1e-12);
}

}  // namespace
}  // namespace zk::geo
