#ifndef VELMAR_TESTS_TEST_SETTINGS_H
#define VELMAR_TESTS_TEST_SETTINGS_H

#include <QtCore/QString>

// Points the per-user settings store at a fresh temporary directory so a test
// never reads or writes the real user's settings. Call before any window is
// built; returns the directory.
QString isolate_settings();

// Removes every saved setting of the tool from the isolated store.
void clear_saved_settings();

#endif
