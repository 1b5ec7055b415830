// The campaign map: station positions read back with xmllint against PROJ's
// cs2cs, and which symbol each kind of station gets.
#include <cstdio>

#include "batch/campaign_map.hpp"
#include "batch_files.hpp"

namespace zk::test {
namespace {

class CampaignMap : public ScratchTest {
 protected:
  double xpath(const std::string& file, const std::string& expr) const {
    const Outcome o = shell("xmllint --xpath " + shell_quoted("number(" + expr + ")") + " " + shell_quoted(file));
    EXPECT_EQ(o.status, 0) << o.err;
    return std::stod(o.out.empty() ? "nan" : o.out);
  }
};

TEST_F(CampaignMap, StationsSitWherePROJPutsThemToATenthOfAMillimetre) {
  const fs::path ex = fs::path(ZARKEL_SOURCE_DIR) / "examples";
  ASSERT_EQ(batch({"--stations", (ex / "campaign" / "stations.csv").string(), "--out", at("c").string(), "--quiet"})
                .status, 1);  // old-road fails: it is listed under the map
  const std::string map = at("c/map.svg").string();
  EXPECT_NE(slurp(map).find("not on the map: old-road"), std::string::npos);
  // The two placed stations, from the table; the centre is their mean.
  const double lon[2] = {5.3712, 5.4010}, lat[2] = {43.2965, 43.3102};
  char cmd[512];
  std::snprintf(cmd, sizeof cmd,
                "(printf -- '%.4f %.4f\\n%.4f %.4f\\n' | cs2cs -f %%.4f +proj=longlat +ellps=WGS84 +to +proj=laea "
                "+lat_0=%.6f +lon_0=%.6f +ellps=WGS84)",
                lon[0], lat[0], lon[1], lat[1], (lat[0] + lat[1]) / 2.0, (lon[0] + lon[1]) / 2.0);
  const std::vector<std::string> rows = lines_of(shell(cmd).out);
  ASSERT_EQ(rows.size(), 2u);
  double e[2], n[2], z = 0.0;
  for (int k = 0; k < 2; ++k) ASSERT_EQ(std::sscanf(rows[k].c_str(), "%lf %lf %lf", &e[k], &n[k], &z), 3);
  const double mm_per_m = 1000.0 / xpath(map, "//*[@id='map']/@data-scale-denominator");
  double x[2], y[2];
  for (int k = 0; k < 2; ++k) {
    const std::string g = std::string("//*[@data-name='") + (k == 0 ? "quarry-north" : "river-cut") + "']/*";
    x[k] = xpath(map, g + "[local-name()='circle']/@cx");
    y[k] = xpath(map, g + "[local-name()='circle']/@cy");
  }
  EXPECT_NEAR(x[1] - x[0], (e[1] - e[0]) * mm_per_m, 0.1);
  EXPECT_NEAR(y[1] - y[0], -(n[1] - n[0]) * mm_per_m, 0.1);
  EXPECT_GT(x[1] - x[0], 50.0);  // spread over the frame, not a speck
}

TEST(CampaignMapSymbols, BarOnlyWhereSHmaxIsWorthDrawing) {
  struct Case {
    batch::MapStation s;
    const char* shows;  // what the station's group holds
  };
  const Case cases[] = {
      {{"a", 5.0, 45.0, true, 30.0, false, "NF", 'A'}, "stroke-width=\"1.40\""},
      {{"d", 5.1, 45.0, true, 30.0, false, "TF", 'D'}, "stroke-width=\"0.50\""},
      {{"thin", 5.2, 45.0, true, 30.0, false, "SS", std::nullopt}, "stroke-width=\"0.35\""},
      {{"e", 5.3, 45.0, true, 30.0, false, "SS", 'E'}, "class=\"hollow\""},
      {{"poor", 5.4, 45.0, true, 30.0, true, "NS", 'A'}, "class=\"hollow\""},
      {{"none", 5.5, 45.0, true, std::nullopt, false, "U", std::nullopt}, "class=\"hollow\""},
      {{"failed", 5.6, 45.1, false, std::nullopt, false, "", std::nullopt}, "stroke=\"#808080\""},
  };
  std::vector<batch::MapStation> all;
  for (const Case& c : cases) all.push_back(c.s);
  const std::string svg = batch::campaign_map_svg(all, "t");
  for (const Case& c : cases) {
    const auto from = svg.find("data-name=\"" + c.s.name + "\"");
    ASSERT_NE(from, std::string::npos) << c.s.name;
    const std::string group = svg.substr(from, svg.find("</g>", from) - from);
    EXPECT_NE(group.find(c.shows), std::string::npos) << c.s.name << ": " << group;
    EXPECT_EQ(group.find("shmax-bar") != std::string::npos, std::string(c.shows).find("stroke-width") == 0)
        << c.s.name;
  }
}

}  // namespace
}  // namespace zk::test
