#ifndef VELMAR_RECORD_JSON_RECORD_FORMAT_H
#define VELMAR_RECORD_JSON_RECORD_FORMAT_H

#include "record/record_format.h"

// One JSON object per line: "time" and "event" first, then, for a status,
// its fields nested by their paths (docs/record-format.md).
class Json_record_format : public Record_format
{
public:
    QString status_line(const QDateTime &time, const Unit_status &status) const override;
    QString event_line(const QDateTime &time, Record_event event,
                       const QString &detail) const override;
    QString event_fields_line(const QDateTime &time, Record_event event,
                              const std::vector<Status_fields::Field> &fields) const override;

private:
    static QString opening(const QDateTime &time, Record_event event);
};

#endif
