#pragma once
// The DATA file: title, fixed-column fault records, terminator (DIR > 400).
#include <string>
#include <vector>

#include "areas/workspace.hpp"

namespace zk {

// One DATA record as read (before any reduction).
struct FaultRecord {
  int DIR = 0, PEND = 0, PITCH = 0, AZSTR = 0, NUM = 0;
  char QPEND = ' ', QPITCH = ' ', SENS = ' ';
  char LABEL[3] = {' ', ' ', ' '};
};

// One kept datum: its record as read, where it was read, and its vectors.
struct FaultDatum {
  FaultRecord record;
  int line = 0;  // line of the DATA file
  Vec3 FN;       // downward unit normal of the plane
  Vec3 STR;      // unit slip vector of the hanging wall
};

// The data of a run: the DATA title and the kept data in file order, as the
// engine reads them once (front ends and result writers use these, never a
// second reading of the file).
struct FaultSet {
  std::string file;        // the DATA file name, as given
  Text<kTitleLen> title;   // first record, 80 characters
  std::vector<FaultDatum> data;
  // Built from a table (focal mechanisms), not read from a DATA file: its
  // runs hold any number of data, the work areas sized by it; a DATA file's
  // hold at most kMaxData.
  bool from_table = false;
};

// Unit normal FN and slip vector STR of one record.
void convert_datum(const FaultRecord& rec, Vec3& FN, Vec3& STR);
// Keep test of one datum number: true when the selection skips it (its flag
// IFLAG = (ISEL + listed) mod 2 is 1: an even ISEL skips the listed numbers,
// an odd one the others; a negative ISEL's remainder, 0 or -1, keeps).
bool CONTRO(const Workspace& ws, int NUM);
// Reads unit 4 with the selection of eeetc/eeet applied. A file that ends
// before its terminator record, a malformed numeric field or a tab in a
// record is an rt::InputError naming the line; more than 300 kept data stop
// the run (rt::RunStop); a field that fails on a line holding commas or
// semicolons says that DATA is not a table. Kept records that read but are
// likely mistakes (a letter that is not one of its upper-case letters, a dip
// or pitch outside 0 to 90, a strike outside 0 to 359, an azimuth above 360,
// a blank line) give one line each in `warnings`, saying how they read.
FaultSet GEOLOG(Workspace& ws, std::vector<std::string>* warnings = nullptr);
// Puts a fault set into the work areas of a run (modi2, modi1, tir).
void load_fault_set(Workspace& ws, const FaultSet& set);
// The echo of the data in the listing (IECHO != 0): heading, title, records.
void list_fault_set(Workspace& ws, const FaultSet& set);

}  // namespace zk
