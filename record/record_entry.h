#ifndef VELMAR_RECORD_RECORD_ENTRY_H
#define VELMAR_RECORD_RECORD_ENTRY_H

#include "protocol/control_payload.h"
#include "protocol/unit_status.h"
#include "record/record_event.h"
#include "record/record_start.h"

#include <QtCore/QString>
#include <QtCore/QtGlobal>

// One line of a record read back: what the writer was given, as values.
// Only the part its event carries means anything.
struct Record_entry
{
    static constexpr qint64 no_time = -1;

    Record_event event = Record_event::status;
    qint64 time_ms = 0; // when the line was written, ms since the epoch, UTC
    Unit_status status; // status
    // silent: the last frame before the silence; connected: the first frame
    // after it. no_time in records without it, or when there was no frame.
    qint64 since_ms = no_time;
    QString detail;       // port_lost, port_unavailable
    QString reason;       // end: why the run ended, as written (record_end_word)
    Record_start start;   // start
    Control_payload sent; // sent
};

#endif
