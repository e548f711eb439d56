#ifndef VELMAR_RECORD_RECORD_EVENT_H
#define VELMAR_RECORD_RECORD_EVENT_H

#include <QtCore/QString>

#include <array>

// What a record line is about: a decoded status, or something that happened
// to the link.
enum class Record_event
{
    status,
    connected,     // frames arrive again (the watchdog's judgement, once a second)
    silent,        // a whole second without a complete frame
    crc_mismatch,  // a frame whose CRC did not match
    short_message, // a frame too short for its own version
    port_lost,     // the device went away
    reopened,      // the lost or unavailable device is back and open again
    // From format 2 on:
    start,            // a run begins: program, port, rate and the record's format version
    sent,             // a control frame went out, with its values
    ack_timeout,      // a control frame was not acknowledged in time
    port_unavailable, // the port named at start cannot be opened (yet)
    // From format 3 on:
    end, // the run ended, and why (Record_end); a run without one may not be over
};

// Every event, in the order above: one list for whoever reads names.
constexpr std::array<Record_event, 12> every_record_event{Record_event::status,
                                                          Record_event::connected,
                                                          Record_event::silent,
                                                          Record_event::crc_mismatch,
                                                          Record_event::short_message,
                                                          Record_event::port_lost,
                                                          Record_event::reopened,
                                                          Record_event::start,
                                                          Record_event::sent,
                                                          Record_event::ack_timeout,
                                                          Record_event::port_unavailable,
                                                          Record_event::end};

// The event's name as records spell it: "status", "crc_mismatch", ...
QString record_event_name(Record_event event);
// The reverse: false for a name that is none of them.
bool record_event_from_name(const QString &name, Record_event *event);

#endif
