#ifndef VELMAR_RECORD_EVENT_FIELDS_H
#define VELMAR_RECORD_EVENT_FIELDS_H

#include "record/record_end.h"
#include "record/status_fields.h"

#include <QtCore/QtGlobal>

#include <vector>

class Control_payload;
struct Record_start;

// The fields some events carry besides their time and name, in the same
// form as a status's (Status_fields), so that every format writes them the
// way it writes a status.
class Event_fields
{
public:
    using Fields = std::vector<Status_fields::Field>;

    // program, program_version, port, baud_rate, record_version
    static Fields of(const Record_start &start);
    // since: when the silence or the connection began as the frames tell it;
    // null when no frame ever came. ms since the epoch, UTC.
    static Fields since(qint64 since_ms);
    // The values sent, under the names a status gives them:
    // dante.inputs.N.gain_db and threshold_dbm.
    static Fields of(const Control_payload &sent);
    // reason: why the run ended.
    static Fields end(Record_end why);

    static constexpr qint64 no_time = -1;
};

#endif
