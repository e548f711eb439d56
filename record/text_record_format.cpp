#include "record/text_record_format.h"

#include "record/status_fields.h"

QString Text_record_format::status_line(const QDateTime &time, const Unit_status &status) const
{
    return event_fields_line(time, Record_event::status, Status_fields::of(status));
}

QString Text_record_format::event_fields_line(const QDateTime &time, Record_event event,
                                              const std::vector<Status_fields::Field> &fields) const
{
    QStringList words{time_text(time), record_event_name(event)};
    for (const Status_fields::Field &field : fields) {
        if (field.value == Status_fields::null())
            continue;
        words.append(field.name() + QLatin1Char('=') + Status_fields::unquoted(field.value));
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
