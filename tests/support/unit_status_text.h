#ifndef VELMAR_TESTS_UNIT_STATUS_TEXT_H
#define VELMAR_TESTS_UNIT_STATUS_TEXT_H

#include <QtCore/QStringList>

class Unit_status;

// Every field of a unit's status as "name=value", named as the simulator's
// commands name them ("sfp1.dir2=tx", "lock3=1", "dante.gain1=32"), powers in
// dBm, so that a table states a status by its fields and a failed comparison
// names the field that differs.
QStringList named_fields(const Unit_status &status);
// The fields of changed whose values differ from those of base.
QStringList changed_fields(const Unit_status &base, const Unit_status &changed);

// Lets QCOMPARE print a Unit_status.
char *toString(const Unit_status &status);

#endif
