#ifndef VELMAR_SESSION_LINK_WATCHDOG_H
#define VELMAR_SESSION_LINK_WATCHDOG_H

#include "protocol/protocol_version.h"

#include <QtCore/QMetaType>
#include <QtCore/QtGlobal>

#include <cstdint>

// Judges, once a period, whether the unit is talking, from the frames that
// completed since the last judgement. It keeps no clock: the owner calls
// tick() every watchdog period and reports each completed frame with the
// time it arrived.
//
//   state      a tick that finds                                   next state
//   any        no frame                                            silent
//   any        frames; the last good, version >= 2.0, and a        connected (announced when
//   entered)
//              status decoded since the port was opened
//   any        frames otherwise                                    receiving (withdrawn when left
//   connected)
//
// A connection is announced once, on the first tick that enters connected;
// leaving connected withdraws it, so the next good tick announces it again.
//
// Apart from the link, each tick judges whether the unit's values are known:
// a status was decoded during the period. Damaged frames keep the link
// receiving (the window shows them arriving) but tell nothing of the unit,
// so the records, the report and the exporter go by this judgement instead.
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

    static constexpr qint64 no_time = -1;

    // What a tick found, as the window and the records show it.
    struct Verdict
    {
        State state = State::waiting;
        // The unit speaks a version that takes a threshold (never while silent).
        bool takes_threshold = false;
        // When the state began, as the frames tell it: for silence the arrival
        // of the last frame before it, for frames the first one after a
        // silence; no_time when there was none.
        qint64 since_ms = no_time;

        bool operator==(const Verdict &other) const
        {
            return state == other.state && takes_threshold == other.takes_threshold &&
                   since_ms == other.since_ms;
        }
        bool operator!=(const Verdict &other) const { return !(*this == other); }
    };

    // Whether the unit's values are known, as the records and the exporter
    // tell it.
    struct Values
    {
        bool judged = false; // false until the first tick
        bool known = false;  // a status was decoded during the last period
        // Known: the first status decoded after they were not; not known:
        // the last status decoded before, no_time when none ever was.
        qint64 since_ms = no_time;

        bool operator==(const Values &other) const
        {
            return judged == other.judged && known == other.known && since_ms == other.since_ms;
        }
        bool operator!=(const Values &other) const { return !(*this == other); }
    };

    struct Tick
    {
        Verdict verdict;
        Values values;
        bool announce = false; // a connection begins: take the unit's settings, refresh
        bool withdraw = false; // the connection ended: stop refreshing
    };

    // A frame completed at at_ms, good or bad. The version is the frame's
    // first payload byte, unverified when the CRC did not match; decoded says
    // whether a status came of it.
    void frame_completed(bool crc_ok, uint8_t version, bool decoded, qint64 at_ms);
    // The port was opened (again): what was decoded before says nothing of
    // the unit now on it.
    void port_opened();
    // The port went away: the frames of this period came before the loss and
    // do not make the link live.
    void port_lost();
    Tick tick();

    Verdict verdict() const { return current; }
    Values values() const { return current_values; }

private:
    bool frames_since_tick = false;
    bool last_crc_ok = false;
    uint8_t last_version = Protocol_version::assumed;
    bool decoded_since_open = false;
    qint64 first_frame_since_tick_ms = no_time;
    qint64 last_frame_ms = no_time;
    bool decoded_since_tick = false;
    qint64 first_decoded_since_tick_ms = no_time;
    qint64 last_decoded_ms = no_time;
    Verdict current;
    Values current_values;
};

Q_DECLARE_METATYPE(Link_watchdog::Verdict)
Q_DECLARE_METATYPE(Link_watchdog::Values)

#endif
