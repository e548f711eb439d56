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

// Noon of the day the tests' records are about, 2026-12-06T12:00:00.000Z, in
// ms since the epoch.
constexpr qint64 record_noon_ms = 1796558400000;

// A JSON record told as "start@0 status@1 low@5 silent@7 connected@9 lost@10
// crc@11": an event and its time in seconds from noon. status is the healthy
// simulated unit, low the same with SFP 1's Rx power at -30.0 dBm, below its
// threshold; silent and connected are since the second before.
QByteArray scripted_record(const QString &script);

// The first line of a JSON record that is not a whole JSON object, the last
// one too, which must end with its newline; empty when every line is whole.
QByteArray first_broken_line(const QByteArray &record);

#endif
