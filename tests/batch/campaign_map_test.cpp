// The campaign map: station positions read back with xmllint against PROJ's
// cs2cs, and which symbol each kind of station gets.
#include <cmath>
#include <cstdio>
#include <map>
#include <regex>

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

// What a station of map.svg draws and writes, read back from the document.
struct Drawn {
  std::string name;
  double x = 0.0, y = 0.0;
  struct Mark {
    double x1, y1, x2, y2, r;  // a thick segment, or a disc with both ends the same
  };
  std::vector<Mark> marks;
  struct Label {
    double x, y, size;
    std::string text;
    bool phase;
  };
  std::vector<Label> labels;
  std::vector<std::pair<double, double>> phases;  // where each phase's symbol is
  int leaders = 0;
};

double attr(const std::string& element, const std::string& name) {
  std::smatch m;
  const std::regex re(" " + name + "=\"([-0-9.]+)\"");
  return std::regex_search(element, m, re) ? std::stod(m[1]) : std::nan("");
}

std::vector<Drawn> drawn_stations(const std::string& svg) {
  std::vector<Drawn> out;
  const std::string open = "<g class=\"station\"";
  for (std::size_t at = svg.find(open); at != std::string::npos;) {
    const std::size_t next = svg.find(open, at + 1);
    const std::string chunk = svg.substr(at, (next == std::string::npos ? svg.find("</g>\n</g>", at) : next) - at);
    Drawn d;
    d.name = std::regex_replace(chunk, std::regex("^[^>]*data-name=\"([^\"]*)\"[\\s\\S]*$"), "$1");
    d.x = attr(chunk.substr(0, chunk.find('>')), "data-x");
    d.y = attr(chunk.substr(0, chunk.find('>')), "data-y");
    const std::regex element("<(line|circle|path|text|g class=\"phase\")([^>]*)>([^<]*)");
    for (auto e = std::sregex_iterator(chunk.begin(), chunk.end(), element); e != std::sregex_iterator(); ++e) {
      const std::string kind = (*e)[1], a = (*e)[2], text = (*e)[3];
      if (kind == "line") {
        d.marks.push_back({attr(a, "x1"), attr(a, "y1"), attr(a, "x2"), attr(a, "y2"), attr(a, "stroke-width") / 2.0});
        d.leaders += a.find("class=\"leader\"") != std::string::npos ? 1 : 0;
      } else if (kind == "circle") {
        d.marks.push_back({attr(a, "cx"), attr(a, "cy"), attr(a, "cx"), attr(a, "cy"), attr(a, "r")});
      } else if (kind == "path") {  // the cross of a failed station: "M x,y l2.8,2.8 ..."
        std::smatch m;
        std::regex_search(a, m, std::regex("d=\"M([-0-9.]+),([-0-9.]+)"));
        const double x = std::stod(m[1]) + 1.4, y = std::stod(m[2]) + 1.4;
        d.marks.push_back({x, y, x, y, 2.0});
      } else if (kind == "text") {
        const bool phase = a.find("phase-number") != std::string::npos;
        d.labels.push_back({attr(a, "x"), attr(a, "y"), phase ? 3.0 : 2.8, text, phase});
      } else {
        d.phases.emplace_back(attr(a, "data-x"), attr(a, "data-y"));
      }
    }
    out.push_back(d);
    at = next;
  }
  return out;
}

// A label's box: its characters at half the size wide (narrower than any
// glyph of the map's fonts but "i" and "l"), from the cap height to the
// baseline.
struct Box {
  double x0, y0, x1, y1;
};
Box box_of(const Drawn::Label& l) {
  std::size_t n = 0;
  for (unsigned char c : l.text) n += (c & 0xc0u) != 0x80u ? 1 : 0;
  return {l.x, l.y - 0.7 * l.size, l.x + 0.5 * l.size * static_cast<double>(n), l.y};
}

bool box_covers(const Box& b, const Drawn::Mark& m) {
  for (int k = 0; k <= 40; ++k) {
    const double x = m.x1 + (m.x2 - m.x1) * k / 40.0, y = m.y1 + (m.y2 - m.y1) * k / 40.0;
    const double dx = std::max({b.x0 - x, 0.0, x - b.x1}), dy = std::max({b.y0 - y, 0.0, y - b.y1});
    if (std::hypot(dx, dy) < m.r) return true;
  }
  return false;
}

TEST(CampaignMapPhases, FannedNumberedAndCountedApart) {
  using S = batch::MapStation;
  // A station of `k` phases at (lon, lat): its rows as the summary gives them.
  const auto phased = [](const std::string& name, double lon, double lat, int k, std::vector<double> shmax,
                         std::vector<std::optional<char>> q) {
    std::vector<S> rows;
    for (int j = 1; j <= k; ++j) {
      S s{name, lon, lat, true, shmax[static_cast<std::size_t>(j - 1)], false, j % 2 == 0 ? "SS" : "NF",
          q[static_cast<std::size_t>(j - 1)]};
      s.phase = j;
      s.phases = k;
      rows.push_back(s);
    }
    return rows;
  };
  struct Case {
    const char* what;
    std::vector<std::vector<S>> stations;
    int placed, phases, phased;
  } cases[] = {
      // Six stations, three of two phases: nine rows, six stations.
      {"six stations of nine rows",
       {phased("mix-a", 5.000, 45.000, 2, {62, 150}, {'A', 'E'}), phased("mix-b", 5.012, 45.004, 2, {62, 150}, {'B', 'C'}),
        phased("synthetic", 5.020, 44.995, 2, {90, 155}, {'A', 'A'}), {{"avb", 5.006, 44.990, true, 60.0, false, "NF", 'A'}},
        {{"tym", 5.030, 45.010, true, 0.0, false, "NF", 'E'}}, {{"md1", 4.990, 45.006, true, 20.0, false, "NS", 'D'}}},
       6, 6, 3},
      // Three and four phases of every rank in a tight cluster, beside a
      // failed station and one without coordinates.
      {"a crowded cluster",
       {phased("north", 5.000, 45.000, 3, {0, 45, 90}, {'A', 'B', 'C'}),
        phased("north-east", 5.002, 45.001, 4, {10, 100, 170, 30}, {'A', 'A', 'D', {}}),
        {{"down", 5.001, 44.999, false, {}, false, "", {}}}, {{"plain", 5.0015, 45.0012, true, 135.0, false, "TF", 'A'}},
        phased("nowhere", 0.0, 0.0, 2, {0, 90}, {'A', 'A'})},
       4, 7, 2},
      // Two stations of two phases each on one point, and a lone one far.
      {"two stations on one point",
       {phased("same-1", 6.0, 44.0, 2, {30, 120}, {'A', 'A'}), phased("same-2", 6.0, 44.0, 2, {60, 150}, {'B', 'B'}),
        {{"far", 6.1, 44.05, true, 90.0, false, "SS", 'C'}}},
       3, 4, 2},
  };
  // The station without coordinates is not placed (its rows lack them).
  for (S& s : cases[1].stations[4]) s.lon.reset();
  for (const Case& c : cases) {
    std::vector<S> rows;
    for (const auto& st : c.stations) rows.insert(rows.end(), st.begin(), st.end());
    const std::string svg = batch::campaign_map_svg(rows, c.what);
    char counts[2][96];
    std::snprintf(counts[0], sizeof counts[0], ">%d stations placed<", c.placed);
    std::snprintf(counts[1], sizeof counts[1], ">%d stress phases at %d of them<", c.phases, c.phased);
    for (const char* text : counts) EXPECT_NE(svg.find(text), std::string::npos) << c.what << ": " << text;
    if (svg.find("not on the map: ") != std::string::npos) {
      EXPECT_EQ(svg.find("nowhere (no longitude and latitude); nowhere"), std::string::npos) << "named once";
    }
    const std::vector<Drawn> drawn = drawn_stations(svg);
    ASSERT_EQ(static_cast<int>(drawn.size()), c.placed) << c.what;
    std::map<std::pair<std::string, std::string>, std::string> at;  // a phase number's coordinates as written
    std::vector<std::pair<Box, std::string>> boxes;
    for (const Drawn& d : drawn) {
      int numbers = 0;
      for (const Drawn::Label& l : d.labels) {
        std::string who = d.name;
        who += l.phase ? " phase " : " name ";
        who += l.text;
        if (l.phase) {
          ++numbers;
          const auto [it, fresh] = at.emplace(std::make_pair(std::to_string(l.x), std::to_string(l.y)), who);
          EXPECT_TRUE(fresh) << c.what << ": " << who << " written where " << it->second << " is";
        }
        const Box b = box_of(l);
        for (const auto& [other, name] : boxes) {
          EXPECT_FALSE(b.x0 < other.x1 && other.x0 < b.x1 && b.y0 < other.y1 && other.y0 < b.y1)
              << c.what << ": " << who << " overprints " << name;
        }
        boxes.emplace_back(b, who);
        for (const Drawn& e : drawn) {
          if (&e == &d) continue;
          for (const Drawn::Mark& m : e.marks) {
            EXPECT_FALSE(box_covers(b, m)) << c.what << ": " << who << " covers a mark of " << e.name;
          }
        }
      }
      // The phases around the point on short leaders, none on another.
      EXPECT_EQ(numbers, static_cast<int>(d.phases.size())) << d.name;
      EXPECT_EQ(d.leaders, static_cast<int>(d.phases.size())) << d.name;
      for (std::size_t j = 0; j < d.phases.size(); ++j) {
        const double r = std::hypot(d.phases[j].first - d.x, d.phases[j].second - d.y);
        EXPECT_GT(r, 5.0) << d.name;
        EXPECT_LT(r, 20.0) << d.name;
        for (std::size_t i = 0; i < j; ++i) {
          EXPECT_GT(std::hypot(d.phases[j].first - d.phases[i].first, d.phases[j].second - d.phases[i].second), 5.0)
              << d.name;
        }
      }
    }
    for (std::size_t i = 0; i < drawn.size(); ++i) {  // and no phase of one station on another's
      for (std::size_t j = 0; j < i; ++j) {
        for (const auto& p : drawn[i].phases) {
          for (const auto& q : drawn[j].phases) EXPECT_GT(std::hypot(p.first - q.first, p.second - q.second), 3.0) << c.what;
        }
      }
    }
  }
  // A campaign without phases counts its stations only.
  const std::string plain = batch::campaign_map_svg({{"a", 5.0, 45.0, true, 30.0, false, "NF", 'A'}}, "t");
  EXPECT_NE(plain.find(">1 station placed<"), std::string::npos);
  EXPECT_EQ(plain.find("stress phases"), std::string::npos);
}

}  // namespace
}  // namespace zk::test
