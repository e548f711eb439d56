#ifndef VELMAR_RECORD_RECORD_START_H
#define VELMAR_RECORD_RECORD_START_H

#include <QtCore/QString>
#include <QtCore/QtGlobal>

// What the first line of a run says: who wrote the record, from which port,
// and in which version of the record format, so that appended runs and
// records from several programs can be told apart and read correctly.
struct Record_start
{
    // Records without a start line, written before it existed.
    static constexpr int first_format_version = 1;
    // 2: start, sent, ack_timeout and port_unavailable lines; "since" on
    // silent and connected; null for gains the unit never reported.
    // 3: an end line closes each run, so a run without one may not be over.
    static constexpr int end_format_version = 3;
    static constexpr int current_format_version = end_format_version;

    QString program;
    QString program_version;
    QString port;
    qint32 baud_rate = 0;
    int format_version = current_format_version;

    bool operator==(const Record_start &other) const
    {
        return program == other.program && program_version == other.program_version &&
               port == other.port && baud_rate == other.baud_rate &&
               format_version == other.format_version;
    }
    bool operator!=(const Record_start &other) const { return !(*this == other); }
};

#endif
