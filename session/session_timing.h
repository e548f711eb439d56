#ifndef VELMAR_SESSION_SESSION_TIMING_H
#define VELMAR_SESSION_SESSION_TIMING_H

#include <QtCore/QDateTime>
#include <QtCore/QtGlobal>

// The session's clocks in one value, given at construction. The defaults are
// what a unit and its operators rely on; tests that do not test the figures
// themselves run on shorter ones.
struct Session_timing
{
    // Milliseconds since the epoch, UTC: when the bytes of a read arrived.
    using Clock = qint64 (*)();

    // How often the link is judged: a period without a complete frame is silence.
    int watchdog_ms = 1000;
    // How often a connected 2.0 unit is sent the current values.
    int refresh_ms = 2000;
    // How long a control frame waits for its acknowledgement.
    int ack_timeout_ms = 1000;
    // How often a lost port is tried again; a port across the network waits
    // twice as long after each failed attempt, up to reconnect_max_ms.
    int reopen_ms = 1000;
    int reconnect_max_ms = 8000;
    // How long a connection to a terminal server may take to be made, and
    // the server to answer what the line is set to.
    int connect_timeout_ms = 5000;
    int answer_timeout_ms = 2000;
    Clock clock = &QDateTime::currentMSecsSinceEpoch;

    // Every interval divided by the same factor, for tests that only need
    // the intervals' order (a refresh slower than a judgement, ...).
    static constexpr Session_timing scaled_down(int divisor)
    {
        Session_timing timing;
        timing.watchdog_ms /= divisor;
        timing.refresh_ms /= divisor;
        timing.ack_timeout_ms /= divisor;
        timing.reopen_ms /= divisor;
        timing.reconnect_max_ms /= divisor;
        timing.connect_timeout_ms /= divisor;
        timing.answer_timeout_ms /= divisor;
        return timing;
    }
};

#endif
