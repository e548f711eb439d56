#ifndef VELMAR_TESTS_TEST_SETTINGS_H
#define VELMAR_TESTS_TEST_SETTINGS_H

#include <QtCore/QString>

// Points the per-user settings store at a fresh temporary directory so a test
// never reads or writes the real user's settings. Call before any window is
// built; returns the directory.
QString isolate_settings();

// Removes every saved setting of the tool from the isolated store.
void clear_saved_settings();

// Saves a port index outside any port list, so that a window built afterwards
// opens no serial device of the host until a test selects one.
void select_no_port();

#endif
