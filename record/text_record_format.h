#ifndef VELMAR_RECORD_TEXT_RECORD_FORMAT_H
#define VELMAR_RECORD_TEXT_RECORD_FORMAT_H

#include "record/record_format.h"

// For people and for grep in a shell script: the time, the event, then each
// reported status field as name=value (cages.sfp1.channels.1.rx_power_dbm=-14.2);
// values not reported are left out.
class Text_record_format : public Record_format
{
public:
    QString status_line(const QDateTime &time, const Unit_status &status) const override;
    QString event_line(const QDateTime &time, Record_event event,
                       const QString &detail) const override;
    QString event_fields_line(const QDateTime &time, Record_event event,
                              const std::vector<Status_fields::Field> &fields) const override;
};

#endif
