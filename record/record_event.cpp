#include "record/record_event.h"

QString record_event_name(Record_event event)
{
    switch (event) {
    case Record_event::status:
        return QStringLiteral("status");
    case Record_event::connected:
        return QStringLiteral("connected");
    case Record_event::silent:
        return QStringLiteral("silent");
    case Record_event::crc_mismatch:
        return QStringLiteral("crc_mismatch");
    case Record_event::short_message:
        return QStringLiteral("short_message");
    case Record_event::port_lost:
        return QStringLiteral("port_lost");
    case Record_event::reopened:
        return QStringLiteral("reopened");
    case Record_event::start:
        return QStringLiteral("start");
    case Record_event::sent:
        return QStringLiteral("sent");
    case Record_event::ack_timeout:
        return QStringLiteral("ack_timeout");
    case Record_event::port_unavailable:
        return QStringLiteral("port_unavailable");
    case Record_event::end:
        return QStringLiteral("end");
    }
    return QString();
}

bool record_event_from_name(const QString &name, Record_event *event)
{
    for (const Record_event candidate : every_record_event) {
        if (record_event_name(candidate) == name) {
            *event = candidate;
            return true;
        }
    }
    return false;
}
