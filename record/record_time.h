#ifndef VELMAR_RECORD_RECORD_TIME_H
#define VELMAR_RECORD_RECORD_TIME_H

#include <QtCore/QString>
#include <QtCore/QtGlobal>

// Times as records write them: ISO 8601 in UTC with milliseconds,
// 2026-12-06T15:53:27.123Z, and as the code holds them, milliseconds since
// the epoch.
class Record_time
{
public:
    static QString text(qint64 ms_since_epoch);
    // Reads the written form quickly, and any other ISO 8601 time with a zone
    // through QDateTime. False for anything else.
    static bool parse(const char *text, int size, qint64 *ms_since_epoch);
};

#endif
