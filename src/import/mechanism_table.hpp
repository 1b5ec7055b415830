#pragma once
// Tables of earthquake focal mechanisms (CSV), one event a row: a nodal
// plane by strike, dip and rake (Aki & Richards, dip to the right of the
// strike, rake positive for reverse slip), optionally the other plane and
// the P and T axes, checked against it; a known fault plane; the datum
// number and label as the fault-slip import reads them. Read by
// zarkel-import --mechanisms and zarkel-batch --mechanisms.
#include <string>
#include <vector>

#include "data/nodal_planes.hpp"
#include "table/csv_table.hpp"

namespace zk::import {

constexpr double kAuxiliaryWithinDeg = 5.0;  // the second plane given vs the auxiliary one
constexpr double kAxesWithinDeg = 10.0;      // the P and T axes given vs the planes'
constexpr int kMaxEvents = 300;              // data in one run

struct MechanismTable {
  table::Table table;
  std::vector<mech::Event> events;  // table order; Event::line is its DATA line
  std::vector<int> rows;            // the table row of each event
};

// Reads and checks the table: a refused row is an rt::InputError naming the
// file, row and column. `delimiter` 0: the one the header row holds.
MechanismTable read_mechanism_table(const std::string& path, char delimiter);

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
