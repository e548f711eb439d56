#ifndef VELMAR_SESSION_LINK_WATCHDOG_H
#define VELMAR_SESSION_LINK_WATCHDOG_H

#include "protocol/protocol_version.h"

#include <QtCore/QMetaType>

#include <cstdint>

// Judges, once a second, whether the unit is talking, from the frames that
// completed since the last judgement. It keeps no clock: the owner calls
// tick() every watchdog period and reports each completed frame.
//
//   state      a tick that finds                          next state
//   any        no frame                                   silent
//   any        frames; the last good, version >= 2.0      connected (announced when entered)
//   any        frames; the last bad, or version < 2.0     receiving (withdrawn when left connected)
//
// A connection is announced once, on the first tick that enters connected;
// leaving connected withdraws it, so the next good tick announces it again.
class Link_watchdog
{
public:
    enum class State : uint8_t
    {
        waiting,   // no tick yet
        silent,    // no frame completed during the last period
        receiving, // frames, but no connection to announce
        connected, // frames from a unit that takes a threshold, the last one good
    };

    // What a tick found, as the window and the records show it.
    struct Verdict
    {
        State state = State::waiting;
        // The unit speaks a version that takes a threshold (never while silent).
        bool takes_threshold = false;

        bool operator==(const Verdict &other) const
        {
            return state == other.state && takes_threshold == other.takes_threshold;
        }
        bool operator!=(const Verdict &other) const { return !(*this == other); }
    };

    struct Tick
    {
        Verdict verdict;
        bool announce = false; // a connection begins: take the unit's settings, refresh
        bool withdraw = false; // the connection ended: stop refreshing
    };

    // A frame completed, good or bad. The version is the frame's first
    // payload byte, unverified when the CRC did not match.
    void frame_completed(bool crc_ok, uint8_t version);
    Tick tick();

    Verdict verdict() const { return current; }

private:
    bool frames_since_tick = false;
    bool last_crc_ok = false;
    uint8_t last_version = Protocol_version::assumed;
    Verdict current;
};

Q_DECLARE_METATYPE(Link_watchdog::Verdict)

#endif
