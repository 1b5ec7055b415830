#include "grid/cells.hpp"

#include <gtest/gtest.h>

#include <cmath>

namespace {

using namespace zk::grid;

TEST(GridTime, IsoFormsAndRefusals) {
  struct Case {
    const char* text;
    double seconds;  // NAN: refused
  };
  const Case cases[] = {
      {"1970-01-01", 0.0},
      {"1970-01-02T00:00", 86400.0},
      {"2000-03-01T12:30:15", 951913815.0},
      {"2000-03-01 12:30:15Z", 951913815.0},
      {"2000-03-01T12:30:15.25", 951913815.25},
      {"2000-03-01T14:30:15+02:00", 951913815.0},
      {"2000-03-01T07:30:15-0500", 951913815.0},
      {"2000-03-01T13:30:15+01", 951913815.0},
      {"2024-02-29", 1709164800.0},
      {"1969-12-31T23:59:59Z", -1.0},
      {"2023-02-29", NAN},            // not a leap year
      {"2000-13-01", NAN},            {"2000-00-10", NAN},
      {"2000-01-01T24:00", NAN},      {"2000-01-01T12:60", NAN},
      {"2000-01-01T12:00:60", NAN},   // leap second
      {"2000-01-01T12", NAN},         {"2000-01-01T12:00:00.", NAN},
      {"01/02/2000", NAN},            {"2000-1-2", NAN},
      {"2000-01-01 x", NAN},          {"", NAN},
      {"2000-01-01T12:00+25:00", NAN}, {"0000-01-01", NAN},
  };
  for (const Case& c : cases) {
    std::string why;
    const auto t = parse_time(c.text, &why);
    if (std::isnan(c.seconds)) {
      EXPECT_FALSE(t) << c.text;
      EXPECT_NE(why.find(c.text), std::string::npos) << why;
    } else {
      ASSERT_TRUE(t) << c.text << ": " << why;
      EXPECT_DOUBLE_EQ(*t, c.seconds) << c.text;
    }
  }
}

TEST(GridTime, FormatReadsBack) {
  for (const char* text : {"1970-01-01T00:00:00Z", "2000-03-01T12:30:15.25Z", "1969-12-31T23:59:59Z", "2400-02-29T00:00:00Z"}) {
    const auto t = parse_time(text);
    ASSERT_TRUE(t) << text;
    EXPECT_EQ(format_time(*t), text);
  }
}

TEST(GridDuration, UnitsAndRefusals) {
  const std::pair<const char*, double> cases[] = {
      {"30d", 30 * 86400.0}, {"12h", 43200.0}, {"90min", 5400.0}, {"45s", 45.0}, {"2w", 1209600.0},
      {"1.5d", 129600.0},    {"0d", -1},       {"-1d", -1},       {"30", -1},    {"1y", -1},
      {"3mo", -1},           {"d", -1},        {"nand", -1},      {"1e400d", -1}};
  for (const auto& [text, seconds] : cases) {
    const auto v = parse_duration(text);
    if (seconds < 0) {
      EXPECT_FALSE(v) << text;
    } else {
      ASSERT_TRUE(v) << text;
      EXPECT_DOUBLE_EQ(*v, seconds) << text;
    }
  }
}

TEST(GridRequest, CommandLineRefusals) {
  struct Case {
    const char *grid, *cell;
    double cell_km;
    const char* origin;
    const char* error;  // "" accepted, else a part of the message
  };
  const Case cases[] = {
      {"lon,lat", "0.2,0.2", 0, "", ""},
      {"lon,lat,depth,time", "1,1,5,30d", 0, "", ""},
      {"time", "12h", 0, "", ""},
      {"lon,lat,depth,time,lon", "1,1,1,1d,1", 0, "", "one to four axes"},
      {"lon,lat", "0.2", 0, "", "1 size for 2 axes"},
      {"lon,lat", "0.2,0.2,5", 0, "", "3 sizes for 2 axes"},
      {"lon,lat", "0,0.2", 0, "", "size of lon"},
      {"lon,lat", "0.2,-1", 0, "", "size of lat"},
      {"depth", "x", 0, "", "number of km"},
      {"time", "30", 0, "", "duration"},
      {"lon,lon", "1,1", 0, "", "twice"},
      {"x,lat", "1,1", 0, "", "not an axis"},
      {"lon,lat", "", 0, "", "needs --cell"},
      {"lon,lat", "", 20, "", ""},
      {"lon,lat,depth", "10", 20, "", ""},
      {"lon,lat,depth", "", 20, "", "0 sizes for 1 axes other than lon and lat"},
      {"lon,depth", "5", 20, "", "needs lon and lat"},
      {"lon,lat", "1,1", 0, "10,20", ""},
      {"lon,lat", "1,1", 0, "10,20,0,2020-01-01", ""},
      {"lon,lat", "1,1", 0, "200,20", "longitude"},
      {"lon,lat", "1,1", 0, "10", "LON,LAT"},
      {"lon,lat", "1,1", 0, "10,20,0,2020-13-01", "the time"},
  };
  for (const Case& c : cases) {
    GridRequest r;
    const std::string error = read_grid_request(c.grid, c.cell, c.cell_km, c.origin, r);
    if (std::string(c.error).empty()) {
      EXPECT_EQ(error, "") << c.grid << " " << c.cell;
    } else {
      EXPECT_NE(error.find(c.error), std::string::npos) << c.grid << " " << c.cell << ": " << error;
    }
  }
}

Place at(double lon, double lat) { return Place{lon, lat, std::nullopt, std::nullopt}; }

TEST(GridAssign, OriginCellsAndKept) {
  GridRequest r;
  ASSERT_EQ(read_grid_request("lon,lat", "0.2,0.2", 0, "", r), "");
  // Two events at 10.05/20.05 and one on a bound (10.6: cell 3 along lon),
  // one without a latitude.
  std::vector<Place> places = {at(10.05, 20.05), at(10.15, 20.15), at(10.6, 20.05),
                               Place{10.1, std::nullopt, std::nullopt, std::nullopt}};
  const Grid g = make_grid(r, places);
  EXPECT_DOUBLE_EQ(g.origin[0], 10.0);
  EXPECT_DOUBLE_EQ(g.origin[1], 20.0);
  const Assignment a = assign(g, places, 2);
  ASSERT_EQ(a.cells.size(), 2u);
  EXPECT_EQ(cell_name(a.cells[0].index), "c_0_0");
  EXPECT_TRUE(a.cells[0].kept);
  EXPECT_EQ(cell_name(a.cells[1].index), "c_3_0");
  EXPECT_FALSE(a.cells[1].kept);
  EXPECT_EQ(a.kept(), 1u);
  ASSERT_EQ(a.outside.size(), 2u);
  EXPECT_EQ(a.outside[0].event, 2u);
  EXPECT_EQ(a.outside[0].cell, "c_3_0");
  EXPECT_EQ(a.outside[0].reason, "its cell holds 1 event, fewer than 2");
  EXPECT_EQ(a.outside[1].reason, "no latitude");
  const CellShape s = cell_shape(g, a.cells[1], places);
  EXPECT_EQ(*s.west, 10.6);
  EXPECT_EQ(*s.east, 10.8);
  EXPECT_EQ(*s.longitude, 10.7);
  EXPECT_EQ(*s.latitude, 20.1);
  ASSERT_EQ(s.outline.size(), 5u);
}

TEST(GridAssign, GivenOriginGivesNegativeIndices) {
  GridRequest r;
  ASSERT_EQ(read_grid_request("lat,depth,time", "1,10,1d", 0, "0,5,0,2020-01-02", r), "");
  const std::vector<Place> places = {Place{0.0, 4.5, 12.0, 1577923200.0 - 3600.0}};  // 2020-01-01T23:00
  const Grid g = make_grid(r, places);
  const Assignment a = assign(g, places, 1);
  ASSERT_EQ(a.cells.size(), 1u);
  EXPECT_EQ(cell_name(a.cells[0].index), "c_-1_1_-1");
  const CellShape s = cell_shape(g, a.cells[0], places);
  EXPECT_EQ(*s.depth_top, 10.0);
  EXPECT_EQ(*s.depth_bottom, 20.0);
  EXPECT_EQ(format_time(*s.time_start), "2020-01-01T00:00:00Z");
  EXPECT_EQ(*s.west, 0.0);  // lon not gridded: the events' extent
}

TEST(GridAssign, SquareKilometreCells) {
  GridRequest r;
  ASSERT_EQ(read_grid_request("lon,lat", "", 20, "", r), "");
  std::vector<Place> places;
  for (int k = 0; k < 10; ++k) places.push_back(at(10.0 + 0.05 * k, 45.0 + 0.04 * k));
  const Grid g = make_grid(r, places);
  ASSERT_TRUE(g.projected);
  EXPECT_NE(g.projection_definition.find("+proj=laea"), std::string::npos);
  const Assignment a = assign(g, places, 1);
  std::size_t events = 0;
  for (const Cell& c : a.cells) {
    events += c.events.size();
    const CellShape s = cell_shape(g, c, places);
    // A cell of 20 km spans about 0.18 degrees of latitude; every event lies within its outline's extent.
    EXPECT_NEAR(*s.north - *s.south, 0.18, 0.01);
    for (std::size_t e : c.events) {
      EXPECT_GE(*places[e].lat, *s.south);
      EXPECT_LE(*places[e].lat, *s.north);
      EXPECT_GE(*places[e].lon, *s.west);
      EXPECT_LE(*places[e].lon, *s.east);
    }
  }
  EXPECT_EQ(events, places.size());
}

}  // namespace
