#ifndef VELMAR_APP_RUN_WINDOW_H
#define VELMAR_APP_RUN_WINDOW_H

#include <functional>

class MainWindow;
class Session;
class Window_command_line;

// The tool as its entry point runs it once the command line asks for the
// window: a session, the record --record asks for, and the window, shown,
// until the event loop ends. Needs the application object. observe, when
// given, meets the session and the window before the loop starts (a soak
// run counts what the session hears through it).
//
// Returns the exit code; a record that cannot be opened is one line on
// stderr, before any window opens.
int run_window(const Window_command_line &line,
               const std::function<void(Session &, MainWindow &)> &observe = {});

#endif
