#pragma once
// Tables of earthquake focal mechanisms (CSV), one event a row: a nodal
// plane by strike, dip and rake (Aki & Richards, dip to the right of the
// strike, rake positive for reverse slip), optionally the other plane and
// the P and T axes, checked against it; a known fault plane; the datum
// number and label as the fault-slip import reads them. Read by
// zarkel-import --mechanisms and zarkel-batch --mechanisms.
#include <optional>
#include <string>
#include <vector>

#include "data/nodal_planes.hpp"
#include "table/csv_table.hpp"

namespace zk::import {

constexpr double kAuxiliaryWithinDeg = 5.0;  // the second plane given vs the auxiliary one
constexpr double kAxesWithinDeg = 10.0;      // the P and T axes given vs the planes'
constexpr int kMaxEvents = 300;              // events of a DATA file
constexpr double kMaxId = 999999999.0;       // largest event id of a run from the table
constexpr std::size_t kMaxRunTableBytes = std::size_t{1} << 30;  // a table read for a run

struct MechanismTable {
  table::Table table;
  std::vector<mech::Event> events;  // table order; Event::line is its DATA line
  std::vector<int> rows;            // the table row of each event
};

// What the events are read for: a DATA file (zarkel-import: at most
// kMaxEvents, ids 1 to 999, planes within 1 degree of their whole-degree
// records) or a run on the planes as given (zarkel-batch: any number, ids up
// to kMaxId; the records serve the listing only).
enum class EventsFor { DataFile, Run };

// Lines starting with % or # are comments; numbers may carry an exponent.
struct MechanismReadOptions {
  char delimiter = 0;  // 0: the one the header row holds; table::kWhitespace
  EventsFor use = EventsFor::DataFile;
  std::vector<std::string> columns;  // --columns: the table has no header row, these are its roles
};

// The roles a column can have, as --columns names them.
const std::vector<std::string>& mechanism_roles();
// The value of --columns, "strike,dip,rake[,...]": each a role or "skip" (a
// column not read), no role twice, strike, dip and rake among them. Returns
// "" with the names in `out`, or what is wrong.
std::string mechanism_column_list(const std::string& text, std::vector<std::string>& out);

// Reads and checks the table: a refused row is an rt::InputError naming the
// file, row and column.
MechanismTable read_mechanism_table(const std::string& path, const MechanismReadOptions& options);
// The same on a table already read or made in memory (table::table_of_cells).
MechanismTable mechanism_table_of(table::Table cells, EventsFor use);

// Where each event lies, from the columns `longitude`, `latitude` (WGS 84
// decimal degrees), `depth_km` (km below sea level) and `time` (kept as text:
// the grid reads it as ISO 8601), matched by their keys as the station
// table's coordinates are. A blank cell gives nothing; a cell that is not a
// number, or a coordinate out of range (longitude -180 to 180, latitude -90
// to 90, depth -10 to 1000 km), is an rt::InputError naming row and column.
struct EventPlaces {
  std::size_t longitude = 0, latitude = 0, depth_km = 0, time = 0;  // columns from 1; 0: none
  struct Place {
    std::optional<double> longitude, latitude, depth_km;
    std::string time;  // trimmed; "" when blank
  };
  std::vector<Place> events;  // one per event, in table order
};
EventPlaces read_event_places(const MechanismTable& m);

// True when the file reads as a table whose header names strike, dip and
// rake and no column of a fault-slip spreadsheet's plane or sense
// (dip_direction, dip_quadrant, sense, trend, pitch).
bool is_mechanism_table(const std::string& path);

// The DATA file of a choice (1 or 2 per event): title, one record per event
// in whole degrees, terminator.
std::string mechanism_data_text(const std::string& title, const std::vector<mech::Event>& events,
                                const mech::Choice& choice);

// Reads the DATA file at `path` back with the program's reader and checks
// that it holds every event's chosen record with the vectors the engine was
// given; throws rt::RunStop naming the first event that differs.
void check_mechanism_data(const std::string& path, const std::vector<mech::Event>& events,
                          const mech::Choice& choice);

}  // namespace zk::import
