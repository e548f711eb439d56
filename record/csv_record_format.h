#ifndef VELMAR_RECORD_CSV_RECORD_FORMAT_H
#define VELMAR_RECORD_CSV_RECORD_FORMAT_H

#include "record/record_format.h"

#include <QtCore/QStringList>

// The JSON record's fields flattened into columns under one fixed header
// (time, event, every status field by its dotted name, detail), so that a
// spreadsheet opens it as it is. Empty cells are values not reported.
class Csv_record_format : public Record_format
{
public:
    QString header() const override;
    QString status_line(const QDateTime &time, const Unit_status &status) const override;
    QString event_line(const QDateTime &time, Record_event event,
                       const QString &detail) const override;
    QString event_fields_line(const QDateTime &time, Record_event event,
                              const std::vector<Status_fields::Field> &fields) const override;

private:
    static QString cell(const QString &text);
    static QString cell_of_literal(const QString &literal);
};

#endif
