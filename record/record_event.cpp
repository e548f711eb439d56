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
    case Record_event::port_unavailable:
        return QStringLiteral("port_unavailable");
    }
    return QString();
}
