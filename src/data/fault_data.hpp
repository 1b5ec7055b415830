#pragma once
// The DATA file: title, fixed-column fault records, terminator (DIR > 400).
#include "areas/workspace.hpp"

namespace zk {

// One DATA record as read (before any reduction).
struct FaultRecord {
  int DIR = 0, PEND = 0, PITCH = 0, AZSTR = 0, NUM = 0;
  char QPEND = ' ', QPITCH = ' ', SENS = ' ';
  char LABEL[3] = {' ', ' ', ' '};
};

// Unit normal FN and slip vector STR of one record.
void convert_datum(const FaultRecord& rec, Vec3& FN, Vec3& STR);
// Keep test of one datum number: IFLAG = 1 means the datum is skipped.
void CONTRO(const Workspace& ws, int NUM, int& IFLAG);
// Reads unit 4 into modi2, modi1 and tir; echoes to unit 8 when IECHO != 0.
// A file that ends before its terminator record, a malformed numeric field or
// a tab in a record is an rt::InputError naming the line; more than 300 kept
// data stop the run (rt::RunStop).
void GEOLOG(Workspace& ws);

}  // namespace zk
