#ifndef VELMAR_TESTS_PROCESS_DESCRIPTORS_H
#define VELMAR_TESTS_PROCESS_DESCRIPTORS_H

#include <QtCore/QString>
#include <QtCore/QtGlobal>

// Whether process pid, once it runs program (a program a test started), has
// the device at path open: it got as far as opening its port. Before it runs
// the program it may hold the test's own descriptors.
bool process_holds_open(qint64 pid, const QString &program, const QString &path);

#endif
