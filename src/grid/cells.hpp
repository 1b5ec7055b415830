#pragma once
// The cells of a gridded catalogue: the grid a command line asks for
// (--grid, --cell, --cell-km, --grid-origin), its origin and projection,
// each event's cell, the cells kept (at least --min-events events) and their
// bounds and centres. Coordinates are doubles: longitude and latitude in
// WGS 84 decimal degrees, depth in km (positive down), time in seconds since
// 1970-01-01T00:00:00Z.
//
// A cell holds its lower bound along every axis and not its upper one:
// index = floor((x - origin) / size), origin + index x size <= x.
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "geo/equal_area.hpp"
#include "grid/grid.hpp"

namespace zk::grid {

constexpr int kMaxAxes = 4;
constexpr int kDefaultMinEvents = 20;

// An ISO 8601 date and time in the extended form, read as UTC unless it
// carries an offset: YYYY-MM-DD, then optionally T (or one space) and hh:mm,
// hh:mm:ss or hh:mm:ss.fff (any number of decimals), then optionally Z,
// +hh:mm, -hh:mm, +hhmm or +hh. Years 0001 to 9999; a leap second (ss 60)
// and the week or ordinal forms are refused. Seconds since 1970 UTC, or
// none with the reason in `why`.
std::optional<double> parse_time(std::string_view text, std::string* why = nullptr);
// The time as YYYY-MM-DDThh:mm:ssZ (with decimals when it has any, up to
// microseconds).
std::string format_time(double seconds);

// A duration: a positive number and a unit, s, min, h, d (86,400 s) or w
// ("30d", "12h", "1.5d"); months and years are refused (their length varies).
// Seconds, or none.
std::optional<double> parse_duration(std::string_view text);

// What the command line asks.
struct GridRequest {
  std::vector<Axis> axes;      // in the order given
  std::vector<double> sizes;   // per axis: degrees, km or seconds (0 for lon/lat with cell_km)
  double cell_km = 0.0;        // > 0: lon/lat cells are squares of this side in a local equal-area projection
  // --grid-origin LON,LAT[,DEPTH,TIME]: the corner per axis kind (lon, lat,
  // depth, time order), none where not given or left blank.
  std::optional<double> origin[4];
};

// Reads --grid AXES, --cell SIZES (empty: not given), --cell-km (0: not
// given) and --grid-origin (empty: not given). With --cell-km, --cell gives
// the sizes of the axes other than lon and lat, in order. "" or what is wrong.
std::string read_grid_request(const std::string& grid, const std::string& cell, double cell_km,
                              const std::string& origin, GridRequest& out);

// Where an event is; a coordinate that is none leaves it outside the grid
// when the grid has that axis.
struct Place {
  std::optional<double> lon, lat, depth_km, time;
};

// The grid over a catalogue.
struct Grid {
  std::vector<Axis> axes;
  std::vector<double> sizes;   // per axis: degrees, km (km also for projected lon/lat) or seconds
  std::vector<double> origin;  // per axis, in the same units (projected lon/lat: km east/north of the centre)
  bool projected = false;      // lon/lat cells of cell_km in the equal-area projection
  double cell_km = 0.0;
  std::shared_ptr<const geo::EqualArea> projection;  // when projected
  std::string projection_definition;                  // PROJ's, "" when not projected

  // The cell of a place, none when a gridded coordinate is missing (or not
  // projected).
  std::optional<Index> cell_of(const Place& p) const;
};

// The grid the request gives over the places: the origin given, else the
// smallest coordinate floored to the cell size (times from 1970 UTC);
// projected cells are centred on the mean centre of the events (or on the
// origin given, which is then the corner of cell 0). Throws
// std::runtime_error when no event has the gridded coordinates.
Grid make_grid(const GridRequest& r, const std::vector<Place>& places);

struct Cell {
  Index index;
  std::vector<std::size_t> events;  // positions in the catalogue, in its order
  bool kept = false;                // at least min_events events
};

// An event in no kept cell, and why.
struct Outside {
  std::size_t event = 0;
  std::string cell;    // its cell's name, "" when it has none
  std::string reason;  // "no latitude", "its cell holds 3 events, fewer than 20"
};

struct Assignment {
  std::vector<Cell> cells;        // every cell with an event, by index (lexicographic)
  std::vector<Outside> outside;   // in catalogue order
  std::size_t kept() const;
};

Assignment assign(const Grid& g, const std::vector<Place>& places, int min_events);

// Where a cell lies: its bounds along each axis, and on the map its extent,
// centre and outline (lon/lat). An axis the grid does not have is bounded by
// the cell's events (none when they have no such coordinate).
struct CellShape {
  std::optional<double> west, east, south, north;
  std::optional<double> longitude, latitude;  // the centre
  std::optional<double> depth_top, depth_bottom;
  std::optional<double> time_start, time_end;
  std::vector<geo::LonLat> outline;  // closed ring, counter-clockwise; empty without both extents
};

CellShape cell_shape(const Grid& g, const Cell& c, const std::vector<Place>& places);

}  // namespace zk::grid
