#include "support/record_text.h"

#include "record/event_fields.h"
#include "record/json_record_format.h"
#include "record/record_reader.h"
#include "record/record_start.h"

#include <QtCore/QBuffer>
#include <QtCore/QJsonDocument>

QString start_line(const QDateTime &at)
{
    Record_start start;
    start.program = QStringLiteral("velmar-ctl");
    start.port = QStringLiteral("/dev/ttyUSB0");
    start.baud_rate = 115200;
    return Json_record_format().event_fields_line(at, Record_event::start, Event_fields::of(start));
}

Read_back read_record(const QByteArray &text, const QString &name)
{
    Read_back result;
    QBuffer buffer;
    buffer.setData(text);
    buffer.open(QIODevice::ReadOnly);
    Record_reader reader(buffer, name, result.problems);
    Record_entry entry;
    while (reader.next(&entry))
        result.entries.push_back(entry);
    return result;
}

QByteArray first_broken_line(const QByteArray &record)
{
    QList<QByteArray> lines = record.split('\n');
    if (!lines.takeLast().isEmpty())
        return record.mid(record.lastIndexOf('\n') + 1);
    for (const QByteArray &line : lines) {
        if (!QJsonDocument::fromJson(line).isObject())
            return line.isEmpty() ? QByteArrayLiteral("(an empty line)") : line;
    }
    return {};
}
