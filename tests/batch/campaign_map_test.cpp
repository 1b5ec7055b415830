// The campaign map: station positions read back with xmllint against PROJ's
// cs2cs, and which symbol each kind of station gets.
#include <cstdio>

#include "figures/campaign_map.hpp"
#include "batch_files.hpp"

namespace zk::test {
namespace {

class CampaignMap : public ScratchTest {};

TEST_F(CampaignMap, StationsSitWherePROJPutsThemToATenthOfAMillimetre) {
  const fs::path ex = fs::path(ZARKEL_SOURCE_DIR) / "examples";
  ASSERT_EQ(batch({"--stations", (ex / "campaign" / "stations.csv").string(), "--out", at("c").string(), "--quiet"})
                .status, 1);  // old-road fails: it is named under the map
  const std::string map = at("c/map.svg").string();
  EXPECT_NE(slurp(map).find("not on the map: old-road"), std::string::npos);
  const auto xpath = [&](const std::string& e) {
    return std::stod(shell("xmllint --xpath " + shell_quoted("number(" + e + ")") + " " + shell_quoted(map)).out);
  };
  // The two placed stations of the table, projected about their mean.
  const double lon[2] = {5.3712, 5.4010}, lat[2] = {43.2965, 43.3102};
  char cmd[512];
  std::snprintf(cmd, sizeof cmd,
                "(printf -- '%.4f %.4f\\n%.4f %.4f\\n' | cs2cs -f %%.4f +proj=longlat +ellps=WGS84 +to +proj=laea "
                "+lat_0=%.6f +lon_0=%.6f +ellps=WGS84)",
                lon[0], lat[0], lon[1], lat[1], (lat[0] + lat[1]) / 2.0, (lon[0] + lon[1]) / 2.0);
  double e[2], n[2], x[2], y[2], z = 0.0;
  ASSERT_EQ(std::sscanf(shell(cmd).out.c_str(), "%lf %lf %lf %lf %lf %lf", &e[0], &n[0], &z, &e[1], &n[1], &z), 6);
  const double mm_per_m = 1000.0 / xpath("//*[@id='map']/@data-scale-denominator");
  for (int k = 0; k < 2; ++k) {
    const std::string g = std::string("//*[@data-name='") + (k == 0 ? "quarry-north" : "river-cut") + "']/*";
    x[k] = xpath(g + "[local-name()='circle']/@cx");
    y[k] = xpath(g + "[local-name()='circle']/@cy");
  }
  EXPECT_NEAR(x[1] - x[0], (e[1] - e[0]) * mm_per_m, 0.1);
  EXPECT_NEAR(y[1] - y[0], -(n[1] - n[0]) * mm_per_m, 0.1);
  EXPECT_GT(x[1] - x[0], 50.0);  // spread over the frame, not a speck
}

// A grid's cells are drawn as their outlines, inside the frame; stations
// without one draw none.
TEST(CampaignMapSymbols, CellOutlines) {
  batch::MapStation cell{"c_0_0", 10.1, 45.1, true, 30.0, false, "SS", {}, {}, {}};
  const std::string bare = batch::campaign_map_svg({cell}, "t");
  EXPECT_EQ(bare.find("id=\"cells\""), std::string::npos);
  cell.outline = {{10.0, 45.0}, {10.2, 45.0}, {10.2, 45.2}, {10.0, 45.2}, {10.0, 45.0}};
  const std::string svg = batch::campaign_map_svg({cell}, "t");
  const auto at = svg.find("<polygon data-cell=\"c_0_0\" points=\"");
  ASSERT_NE(at, std::string::npos);
  const std::string points = svg.substr(at, svg.find('"', svg.find("points=\"", at) + 8) - at);
  EXPECT_EQ(std::count(points.begin(), points.end(), ','), 5) << points;
  // The frame holds the whole cell: the scale is no longer the 2 km floor's.
  EXPECT_NE(svg.find("data-scale-denominator"), std::string::npos);
  EXPECT_NE(bare.substr(bare.find("data-scale-denominator"), 40), svg.substr(svg.find("data-scale-denominator"), 40));
}

TEST(CampaignMapSymbols, BarOnlyWhereSHmaxIsWorthDrawing) {
  using S = batch::MapStation;
  const std::vector<std::pair<S, const char*>> cases = {  // the station, what its group holds
      {{"a", 5.0, 45.0, true, 30.0, false, "NF", 'A', {}, {}}, "stroke-width=\"1.40\""},
      {{"d", 5.1, 45.0, true, 30.0, false, "TF", 'D', {}, {}}, "stroke-width=\"0.50\""},
      {{"thin", 5.2, 45.0, true, 30.0, false, "SS", {}, {}, {}}, "stroke-width=\"0.35\""},
      {{"e", 5.3, 45.0, true, 30.0, false, "SS", 'E', {}, {}}, "class=\"hollow\""},
      {{"poor", 5.4, 45.0, true, 30.0, true, "NS", 'A', {}, {}}, "class=\"hollow\""},
      {{"none", 5.5, 45.0, true, {}, false, "U", {}, {}, {}}, "class=\"hollow\""},
      {{"failed", 5.6, 45.1, false, {}, false, "", {}, {}, {}}, "stroke=\"#808080\""},
      // a grid's cell: its damped bar and its own SHmax as a tick
      {{"tick", 5.7, 45.1, true, 30.0, false, "SS", 'B', 80.0, {}}, "stroke-width=\"0.2\""}};
  std::vector<S> all;
  for (const auto& c : cases) all.push_back(c.first);
  const std::string svg = batch::campaign_map_svg(all, "t");
  for (const auto& [s, shows] : cases) {
    const auto from = svg.find("data-name=\"" + s.name + "\"");
    ASSERT_NE(from, std::string::npos) << s.name;
    const std::string group = svg.substr(from, svg.find("</g>", from) - from);
    EXPECT_NE(group.find(shows), std::string::npos) << s.name << ": " << group;
    EXPECT_EQ(group.find("shmax-bar") != std::string::npos, std::string(shows).find("stroke-width") == 0) << s.name;
  }
}

}  // namespace
}  // namespace zk::test
