#ifndef VELMAR_RECORD_RECORD_FORMAT_H
#define VELMAR_RECORD_RECORD_FORMAT_H

#include "record/record_event.h"
#include "record/status_fields.h"

#include <QtCore/QDateTime>
#include <QtCore/QString>

#include <memory>
#include <vector>

class Unit_status;

// How a record is written: one line per status or event, and for some
// formats a header line first.
class Record_format
{
public:
    enum class Kind
    {
        json, // one object per line
        csv,  // a fixed header, then one row per line, for spreadsheets
        text, // time, event and name=value pairs, for people and grep
    };

    static std::unique_ptr<Record_format> make(Kind kind);
    // "json", "csv" or "text"; false for anything else.
    static bool kind_from_name(const QString &name, Kind *kind);

    virtual ~Record_format();

    // Empty when the format has none.
    virtual QString header() const;
    virtual QString status_line(const QDateTime &time, const Unit_status &status) const = 0;
    // detail: what the event says besides its name (a port's error), or empty.
    virtual QString event_line(const QDateTime &time, Record_event event,
                               const QString &detail) const = 0;
    // An event that carries fields of its own (Event_fields): the start of a
    // run, the time a silence began, the values sent.
    virtual QString event_fields_line(const QDateTime &time, Record_event event,
                                      const std::vector<Status_fields::Field> &fields) const = 0;

protected:
    // ISO 8601 in UTC with milliseconds: 2026-12-06T15:53:27.123Z.
    static QString time_text(const QDateTime &time);
};

#endif
