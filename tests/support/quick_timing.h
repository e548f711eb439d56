#ifndef VELMAR_TESTS_QUICK_TIMING_H
#define VELMAR_TESTS_QUICK_TIMING_H

#include "session/session_timing.h"

// The session's intervals for every test that does not test the figures
// themselves: a fifth of the real ones keeps their order (a refresh every
// second judgement, a time-out as long as a judgement) and the waits short.
// Waits still allow several intervals: the machine may be busy.
inline constexpr Session_timing quick_timing = Session_timing::scaled_down(5);

// For a test that judges the link itself (Session::check_link()) while its
// event loop runs: the session's own timers never fire before it ends.
inline constexpr Session_timing hand_timing = [] {
    Session_timing timing;
    timing.watchdog_ms = timing.refresh_ms = timing.ack_timeout_ms = timing.reopen_ms = 3600 * 1000;
    return timing;
}();

#endif
