#include "record/text_record_format.h"

#include "record/status_fields.h"

QString Text_record_format::status_line(const QDateTime &time, const Unit_status &status) const
{
    QStringList words{time_text(time), record_event_name(Record_event::status)};
    for (const Status_fields::Field &field : Status_fields::of(status)) {
        if (field.value == Status_fields::null())
            continue;
        const bool quoted = field.value.startsWith(QLatin1Char('"'));
        words.append(field.name() + QLatin1Char('=') +
                     (quoted ? field.value.mid(1, field.value.size() - 2) : field.value));
    }
    return words.join(QLatin1Char(' '));
}

QString Text_record_format::event_line(const QDateTime &time, Record_event event,
                                       const QString &detail) const
{
    QStringList words{time_text(time), record_event_name(event)};
    // One event, one line, whatever the detail holds.
    if (!detail.isEmpty())
        words.append(detail.simplified());
    return words.join(QLatin1Char(' '));
}
