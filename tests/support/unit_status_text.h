#ifndef VELMAR_TESTS_UNIT_STATUS_TEXT_H
#define VELMAR_TESTS_UNIT_STATUS_TEXT_H

#include <QtCore/QStringList>

class Unit_status;

// A unit's status as five lines of numbers, so that a table can state a whole
// status compactly and a failed comparison shows which part differs:
//   one line per cage  "type dir1 dir2 temperature power1 power2 wl1 wl2 flag1 flag2"
//   the Dante line     "present system sync link mic input0 input1 gain0 gain1"
//   the general line   "0xVV rx_fault tx_fault overheat lock1..lock4 valid f p1 p2 threshold"
// Enumerations appear as their wire codes, powers in tenths of a dBm.
QStringList status_lines(const Unit_status &status);

// Lets QCOMPARE print a Unit_status.
char *toString(const Unit_status &status);

#endif
