#include "fuzz/record_reader_harness.h"

#include "record/event_fields.h"
#include "record/json_record_format.h"
#include "record/record_reader.h"

#include <QtCore/QBuffer>
#include <QtCore/QDateTime>

namespace {

// The line the writer makes of an entry, at a fixed time: the reader takes
// times of any zone and of years the writer never writes, so the promise is
// about the values only.
QByteArray written(const Record_entry &entry)
{
    const Json_record_format format;
    const QDateTime at = QDateTime::fromMSecsSinceEpoch(0, Qt::UTC);
    const Record_event event = entry.event;
    if (event == Record_event::status)
        return format.status_line(at, entry.status).toUtf8();
    if (event == Record_event::start)
        return format.event_fields_line(at, event, Event_fields::of(entry.start)).toUtf8();
    if (event == Record_event::sent)
        return format.event_fields_line(at, event, Event_fields::of(entry.sent)).toUtf8();
    if (event == Record_event::connected || event == Record_event::silent)
        return format.event_fields_line(at, event, Event_fields::since(entry.since_ms)).toUtf8();
    if (event == Record_event::end)
        return format
            .event_fields_line(at, event,
                               {{{QStringLiteral("reason")}, Status_fields::literal(entry.reason)}})
            .toUtf8();
    return format.event_line(at, event, entry.detail).toUtf8();
}

bool same(const Record_entry &a, const Record_entry &b)
{
    if (a.event != b.event || a.detail != b.detail)
        return false;
    switch (a.event) {
    case Record_event::status:
        return a.status == b.status;
    case Record_event::start:
        return a.start == b.start;
    case Record_event::sent:
        return a.sent == b.sent;
    case Record_event::connected:
    case Record_event::silent:
        return a.since_ms == b.since_ms;
    case Record_event::end:
        return a.reason == b.reason;
    default:
        return true;
    }
}

} // namespace

QString Record_reader_harness::run(const QByteArray &input)
{
    taken = 0;
    QByteArray bytes = input;
    QBuffer device(&bytes);
    device.open(QIODevice::ReadOnly);
    Record_problems problems;
    Record_reader reader(device, QStringLiteral("fuzz"), problems);
    Record_entry entry;
    while (reader.next(&entry)) {
        ++taken;
        const QByteArray again = written(entry);
        const QByteArray padded = again + QByteArray(Record_line::padding, '\0');
        Record_entry read_again;
        const Record_line::Outcome outcome =
            line.read(padded.constData(), static_cast<std::size_t>(again.size()), &read_again);
        if (outcome != Record_line::Outcome::entry || !line.unknown_field().isEmpty() ||
            !same(entry, read_again))
            return QStringLiteral("line %1 reads back otherwise once written: %2")
                .arg(reader.line_number())
                .arg(QString::fromUtf8(again));
    }
    // Every problem can be told.
    for (const QString &line : problems.lines()) {
        if (line.isEmpty())
            return QStringLiteral("a problem without words");
    }
    return QString();
}
