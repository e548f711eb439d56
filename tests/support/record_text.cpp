#include "support/record_text.h"

#include "record/event_fields.h"
#include "record/json_record_format.h"
#include "record/record_reader.h"
#include "record/record_start.h"
#include "simulator/healthy_unit.h"

#include <QtCore/QBuffer>
#include <QtCore/QJsonDocument>

QByteArray scripted_record(const QString &script)
{
    constexpr qint64 second_ms = 1000;
    constexpr int16_t low_tenths = -300;
    const Json_record_format format;
    QByteArray text;
    for (const QString &step : script.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        const QString event = step.section(QLatin1Char('@'), 0, 0);
        const qint64 ms =
            record_noon_ms + step.section(QLatin1Char('@'), 1).toLongLong() * second_ms;
        const QDateTime at = QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC);
        Unit_status status = healthy_unit();
        if (event == QLatin1String("low"))
            status.cages[Unit_status::sfp_1].channels[0].power_tenths = low_tenths;
        QString line;
        if (event == QLatin1String("status") || event == QLatin1String("low"))
            line = format.status_line(at, status);
        else if (event == QLatin1String("start"))
            line = start_line(at);
        else if (event == QLatin1String("silent") || event == QLatin1String("connected"))
            line = format.event_fields_line(
                at,
                event == QLatin1String("silent") ? Record_event::silent : Record_event::connected,
                Event_fields::since(ms - second_ms));
        else if (event == QLatin1String("lost"))
            line = format.event_line(at, Record_event::port_lost, QStringLiteral("gone"));
        else
            line = format.event_line(at, Record_event::crc_mismatch, QString());
        text += line.toUtf8() + '\n';
    }
    return text;
}

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
