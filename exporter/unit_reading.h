#ifndef VELMAR_EXPORTER_UNIT_READING_H
#define VELMAR_EXPORTER_UNIT_READING_H

#include "protocol/unit_status.h"

#include <QtCore/QMetaType>
#include <QtCore/QString>
#include <QtCore/QtGlobal>

#include <optional>

// What the exporter knows of one watched port at one moment, as a plain
// value: the metrics of that port are written from it alone.
struct Unit_reading
{
    static constexpr qint64 never = -1;

    QString port; // the path opened: a pattern's match, not the pattern
    QString unit; // a name from the configuration; empty when none was given

    bool port_open = false;
    // The unit's latest status while statuses arrive; empty while the unit is
    // silent or its port is lost, so that nothing stale is shown.
    std::optional<Unit_status> status;
    qint64 last_status_ms = never; // milliseconds since the epoch, UTC

    quint64 status_messages = 0;
    quint64 crc_mismatches = 0;
    quint64 short_messages = 0;
    quint64 silences = 0;
    quint64 port_losses = 0;

    bool up() const { return status.has_value(); }
};

Q_DECLARE_METATYPE(Unit_reading)

#endif
