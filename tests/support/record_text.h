#ifndef VELMAR_TESTS_RECORD_TEXT_H
#define VELMAR_TESTS_RECORD_TEXT_H

#include "record/record_entry.h"
#include "record/record_problems.h"

#include <QtCore/QByteArray>
#include <QtCore/QDateTime>
#include <QtCore/QString>

#include <vector>

// A JSON record as its reader gives it back.
struct Read_back
{
    std::vector<Record_entry> entries;
    Record_problems problems;
};

Read_back read_record(const QByteArray &text, const QString &name = QStringLiteral("night.jsonl"));

// The start line of a JSON record that velmar-ctl wrote at `at` on
// /dev/ttyUSB0 at 115200 baud.
QString start_line(const QDateTime &at);

// The first line of a JSON record that is not a whole JSON object, the last
// one too, which must end with its newline; empty when every line is whole.
QByteArray first_broken_line(const QByteArray &record);

#endif
