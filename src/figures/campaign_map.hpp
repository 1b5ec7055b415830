#pragma once
// The map of a campaign (map.svg): every station at its coordinates on a
// Lambert azimuthal equal-area projection centred on the stations, with a
// World Stress Map style SHmax bar, its name, a scale bar, a north arrow, a
// graticule and a legend that counts the stations and their phases apart;
// no label overprints another or a station's symbol where a free place is
// found near its mark. The document is in millimetres (one user unit is
// one millimetre of the drawing); the same stations give the same bytes.
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

namespace zk::batch {

// What the map shows of one station.
struct MapStation {
  std::string name;
  std::optional<double> lon, lat;  // WGS 84, decimal degrees; a station without both is listed, not placed
  bool ran = true;                 // false: the station failed (a grey cross)
  std::optional<double> shmax;     // degrees clockwise from north (Lund & Townend)
  bool poorly_defined = false;     // SHmax poorly defined: no bar
  std::string regime;              // World Stress Map regime code (NF NS SS TS TF U), "" when none
  std::optional<char> quality;     // rank A to E of the SHmax; none without a bootstrap (a thin bar)
  // A grid's cell with a damped answer: the bar is the damped SHmax and this
  // the cell's own (undamped) SHmax, drawn as a thin tick.
  std::optional<double> undamped_shmax{};
  // A grid's cell: its outline, a closed ring of (lon, lat), drawn as a thin
  // polygon under the bars; empty for a station.
  std::vector<std::pair<double, double>> outline{};
  // A stress phase of the station (1 to `phases`); 0 for the station's one
  // answer. The phases of one station (rows of the same name and place) are
  // fanned around its point, each on a short leader and numbered in the
  // colour of its phase.
  int phase = 0, phases = 0;
};

// The station as a campaign's summary row gives it (keys station,
// longitude, latitude, status, SHmax_deg, wsm_regime, SHmax_poorly_defined,
// quality, phase, phases; a key absent or null is unknown). A grid's row
// with a damped answer (damped_SHmax_deg, damped_regime, damped_quality) is
// drawn by its damped SHmax, its own SHmax_deg as a thin tick.
MapStation map_station(const nlohmann::ordered_json& row);

// The SVG document; `title` is written as given (escaped).
std::string campaign_map_svg(const std::vector<MapStation>& stations, const std::string& title);

}  // namespace zk::batch
