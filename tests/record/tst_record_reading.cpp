// Reading records back: every value the writer can write comes back exactly,
// every value no unit can send is refused and named, whatever the input is
// cut into, and a file that is no record is told as such.
#include "protocol/status_decoder.h"
#include "protocol/status_layout.h"
#include "protocol/status_limits.h"
#include "record/event_fields.h"
#include "record/json_record_format.h"
#include "record/record_reader.h"
#include "simulator/healthy_unit.h"
#include "support/record_text.h"
#include "support/unit_status_text.h"

#include "support/property.h"
#include <QtCore/QBuffer>
#include <QtCore/QDateTime>
#include <QtTest/QtTest>

namespace {

using S = Unit_status;

const qint64 noon = record_noon_ms;

QDateTime at(qint64 ms)
{
    return QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC);
}

QByteArray line_of(const S &status, qint64 ms = noon)
{
    return Json_record_format().status_line(at(ms), status).toUtf8() + '\n';
}

// A status as a unit sends it: any bytes of a payload of its version and
// cages, decoded onto a fresh status.
rc::Gen<S> decoded_status()
{
    return rc::gen::exec([] {
        const uint8_t version =
            *rc::gen::weightedOneOf<uint8_t>({{3, rc::gen::just(Protocol_version::v1_0)},
                                              {3, rc::gen::just(Protocol_version::v1_1)},
                                              {3, rc::gen::just(Protocol_version::v2_0)},
                                              {1, rc::gen::arbitrary<uint8_t>()}});
        const auto cage_types = static_cast<uint8_t>(*rc::gen::inRange(0, 64));
        const std::size_t size = status::payload_size(version, cage_types);
        std::vector<uint8_t> payload =
            *rc::gen::container<std::vector<uint8_t>>(size, rc::gen::arbitrary<uint8_t>());
        payload[status::version_offset] = version;
        payload[status::cage_types_offset] = cage_types;
        S status;
        Status_decoder::decode(payload.data(), payload.size(), status);
        return status;
    });
}

// What a line holds of a status: not the power of a channel that is neither
// Rx nor Tx, nor the channel flags.
S as_recorded(S status)
{
    for (S::Cage &cage : status.cages) {
        for (S::Channel &channel : cage.channels) {
            if (channel.direction != S::Direction::rx && channel.direction != S::Direction::tx)
                channel.power_tenths = 0;
            channel.flag = false;
        }
    }
    return status;
}

// Strings as a port name or a system's error text may hold them: quotes,
// backslashes, control characters, any plane of Unicode.
rc::Gen<QString> any_text()
{
    return rc::gen::map(
        rc::gen::container<std::vector<char32_t>>(rc::gen::oneOf(
            rc::gen::inRange<char32_t>(0, 0x80), rc::gen::inRange<char32_t>(0x80, 0xD800),
            rc::gen::inRange<char32_t>(0xE000, 0x110000))),
        [](const std::vector<char32_t> &code_points) {
            return QString::fromUcs4(code_points.data(), static_cast<int>(code_points.size()));
        });
}

const QString source = QStringLiteral("night.jsonl");

} // namespace

class Record_reading_test : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Any status a unit can send reads back as it was written, and writes
    // again into the same line.
    void statuses_read_back_exactly()
    {
        QVERIFY(holds(
            "a status reads back as written",
            [] {
                const S status = *decoded_status();
                const QByteArray line = line_of(status);
                const Read_back back = read_record(line);
                RC_ASSERT(back.problems.lines() == QStringList());
                RC_ASSERT(back.entries.size() == std::size_t(1));
                const Record_entry &entry = back.entries.front();
                RC_ASSERT(entry.time_ms == noon);
                if (entry.status != as_recorded(status))
                    RC_FAIL(
                        changed_fields(as_recorded(status), entry.status).join(' ').toStdString());
                RC_ASSERT(line_of(entry.status) == line);
            },
            property_seed, 300));
    }

    // The events' own fields, strings of any characters among them.
    void events_read_back_exactly()
    {
        QVERIFY(holds(
            "an event reads back as written",
            [] {
                Record_start start;
                start.program = *any_text();
                start.program_version = *any_text();
                start.port = *any_text();
                start.baud_rate = *rc::gen::inRange(1, std::numeric_limits<qint32>::max());
                start.format_version = *rc::gen::inRange(1, 1000);
                Control_payload sent;
                sent.gain_codes = {
                    {*rc::gen::arbitrary<uint8_t>(), *rc::gen::arbitrary<uint8_t>()}};
                sent.threshold_dbm = *rc::gen::arbitrary<int8_t>();
                const qint64 since = *rc::gen::inRange<qint64>(0, 253402300799999LL); // to 9999
                const QString detail = *any_text();
                const Json_record_format format;
                const QStringList lines{
                    format.event_fields_line(at(noon), Record_event::start,
                                             Event_fields::of(start)),
                    format.event_fields_line(at(noon), Record_event::sent, Event_fields::of(sent)),
                    format.event_fields_line(at(noon), Record_event::silent,
                                             Event_fields::since(since)),
                    format.event_line(at(noon), Record_event::port_lost, detail),
                    // A reason of a newer writer is kept as written.
                    format.event_fields_line(at(noon), Record_event::end,
                                             {{{"reason"}, Status_fields::literal(detail)}})};
                const Read_back back = read_record(lines.join('\n').toUtf8() + '\n');
                RC_ASSERT(back.problems.lines() == QStringList());
                RC_ASSERT(back.entries.size() == std::size_t(5));
                RC_ASSERT(back.entries[4].reason == detail);
                RC_ASSERT(back.entries[0].start == start);
                RC_ASSERT(back.entries[1].sent == sent);
                RC_ASSERT(back.entries[2].since_ms == since);
                RC_ASSERT(back.entries[3].detail == detail);
            },
            property_seed, 300));
    }

    void values_refused_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QString>("told"); // after "night.jsonl:1: "; empty when the line is read
        S reported = healthy_unit();
        reported.dante.gains_reported = true;
        const QByteArray healthy = line_of(reported);
        const auto row = [&healthy](const char *name, const char *from, const char *to,
                                    const QString &told) {
            QByteArray line = healthy;
            QVERIFY2(line.contains(from), from);
            QTest::newRow(name) << line.replace(line.indexOf(from), int(qstrlen(from)), to) << told;
        };
        const auto refused = [](const char *why) {
            return QStringLiteral("cannot be read: %1; left out").arg(QLatin1String(why));
        };
        row("more digits than 64 bits", "\"temperature_c\":40",
            "\"temperature_c\":123456789012345678901", refused("a number out of range"));
        row("NaN as a string", "-14.2", "\"NaN\"",
            refused("\"rx_power_dbm\" is of the wrong type"));
        row("a power beyond 16 bits", "-14.2", "-3276.9",
            refused("\"rx_power_dbm\" is out of range"));
        row("the lowest power", "-14.2", "-3276.8", QString());
        row("a power finer than tenths", "-14.2", "-14.25",
            refused("\"rx_power_dbm\" is not in tenths of a dBm, as a unit reports it"));
        row("a power of no value", "-14.2", "null",
            refused("\"rx_power_dbm\" is of the wrong type"));
        row("the power of the other direction", "\"tx_power_dbm\":null", "\"tx_power_dbm\":-3.0",
            refused("\"tx_power_dbm\" is given for a channel of another direction"));
        row("a threshold beyond a byte", "\"threshold_dbm\":-28", "\"threshold_dbm\":-129",
            refused("\"threshold_dbm\" is out of range"));
        row("a threshold with decimals", "\"threshold_dbm\":-28", "\"threshold_dbm\":-28.0",
            refused("\"threshold_dbm\" is of the wrong type"));
        row("no threshold from a 2.0 unit", "\"threshold_dbm\":-28", "\"threshold_dbm\":null",
            refused("\"threshold_dbm\" is of the wrong type"));
        row("a temperature no module reports", "\"temperature_c\":40", "\"temperature_c\":101",
            refused("\"temperature_c\" is out of range"));
        row("no temperature from a fitted module", "\"temperature_c\":40", "\"temperature_c\":null",
            refused("\"temperature_c\" is of the wrong type"));
        row("a wavelength beyond 16 bits", "1310", "65536",
            refused("\"wavelength_nm\" is out of range"));
        row("a gain off the grid", "47.00", "47.10",
            refused("\"gain_db\" is not a gain the unit can have"));
        row("a gain above the highest code", "47.00", "215.00",
            refused("\"gain_db\" is out of range"));
        row("one gain of two", "\"gain_db\":47.00", "\"gain_db\":null",
            refused("\"gain_db\" is null for one input only"));
        row("a lock not a boolean", "\"locks\":[true", "\"locks\":[1",
            refused("\"locks\" is not 4 booleans"));
        row("a version beyond a nibble", "\"2.0\"", "\"2.16\"",
            refused("\"version\" is not a protocol version"));
        row("a module present of no type", "\"present\":true", "\"present\":false",
            refused("\"present\" disagrees with \"type\""));
        row("a field twice", "\"overheat\":false", "\"overheat\":false,\"overheat\":true",
            refused("\"overheat\" is given twice"));
        row("a field missing", "\"overheat\":false,", "", refused("no \"overheat\""));
        row("not UTF-8", "video", "vid\xff", "not JSON (not UTF-8); left out");
        row("two values on a line", "}\n", "} 1\n", "not JSON; left out");
        row("an unknown field, deep", "\"present\":true", "\"present\":true,\"serial\":\"X\"",
            "unknown field \"cages.sfp1.serial\" (from a newer writer?); ignored");
        row("a detail on a status", "\"version\"", "\"detail\":\"x\",\"version\"",
            "unknown field \"detail\" (from a newer writer?); ignored");
    }

    // A number is read exactly or the line is refused: never read as 0 or
    // rounded into a value no unit sent.
    void values_refused()
    {
        QFETCH(QByteArray, line);
        QFETCH(QString, told);
        // A good line after it keeps the input a record: only the line is told.
        const QByteArray good = R"({"time":"2026-12-06T12:00:01.000Z","event":"crc_mismatch"})"
                                "\n";
        const Read_back back = read_record(line + good);
        const bool kept = told.isEmpty() || told.startsWith(QLatin1String("unknown field"));
        QCOMPARE(int(back.entries.size()), kept ? 2 : 1);
        QCOMPARE(back.problems.lines(),
                 told.isEmpty() ? QStringList() : QStringList{source + ":1: " + told});
        if (told.isEmpty())
            QCOMPARE(back.entries[0].status.cages[S::sfp_1].channels[0].power_tenths,
                     int16_t(Status_limits::min_power_tenths));
    }

    void events_refused_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QString>("told");
        Record_start start;
        start.program = QStringLiteral("velmar-ctl");
        start.baud_rate = 115200;
        const Json_record_format format;
        const QByteArray start_line =
            format.event_fields_line(at(noon), Record_event::start, Event_fields::of(start))
                .toUtf8();
        const QByteArray sent_line = format
                                         .event_fields_line(at(noon), Record_event::sent,
                                                            Event_fields::of(Control_payload()))
                                         .toUtf8();
        QTest::newRow("no baud rate") << QByteArray(start_line).replace("115200", "0")
                                      << "cannot be read: \"baud_rate\" is out of range; left out";
        QTest::newRow("a record version before the first")
            << QByteArray(start_line).replace("\"record_version\":3", "\"record_version\":0")
            << "cannot be read: \"record_version\" is out of range; left out";
        QTest::newRow("a gain sent of no value")
            << QByteArray(sent_line).replace("47.00", "null")
            << "cannot be read: \"gain_db\" is null in a frame sent; left out";
        QTest::newRow("a since that is no time")
            << QByteArray(R"({"time":"2026-12-06T12:00:00.000Z","event":"silent","since":"soon"})")
            << "cannot be read: \"since\" is not an ISO 8601 time with a zone; left out";
        QTest::newRow("an end without its reason")
            << QByteArray(R"({"time":"2026-12-06T12:00:00.000Z","event":"end"})")
            << "cannot be read: no \"reason\"; left out";
        QTest::newRow("a detail of the wrong type")
            << QByteArray(R"({"time":"2026-12-06T12:00:00.000Z","event":"port_lost","detail":5})")
            << "cannot be read: \"detail\" is of the wrong type; left out";
        QTest::newRow("an array, no object")
            << QByteArray(R"([{"time":"2026-12-06T12:00:00.000Z","event":"reopened"}])")
            << "not a record line: not an object; left out";
        QTest::newRow("no event") << QByteArray(
                                         R"({"time":"2026-12-06T12:00:00.000Z","evt":"reopened"})")
                                  << "not a record line: no \"event\"; left out";
    }

    void events_refused()
    {
        QFETCH(QByteArray, line);
        QFETCH(QString, told);
        // A good line keeps the input a record: only the bad one is told.
        const QByteArray good = R"({"time":"2026-12-06T12:00:01.000Z","event":"crc_mismatch"})"
                                "\n";
        const Read_back back = read_record(line + '\n' + good);
        QCOMPARE(int(back.entries.size()), 1);
        QCOMPARE(back.problems.lines(), QStringList{source + ":1: " + told});
    }

    void not_a_record_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::newRow("a picture") << QByteArray("\x89PNG\r\n\x1a\n\0\0\0\rIHDR\xff\xfe", 18);
        QTest::newRow("JSON, but no record") << QByteArray("{\"report_version\":1}\n[1,2]\n");
    }

    // Told in one line, not line by line, and nothing read from it.
    void not_a_record()
    {
        QFETCH(QByteArray, text);
        const Read_back back = read_record(text);
        QCOMPARE(int(back.entries.size()), 0);
        const QStringList told = back.problems.lines();
        QCOMPARE(told.size(), 1);
        QVERIFY2(told[0].startsWith(source + ": not a record: no line of it is a JSON record "
                                             "line. The report reads the JSON records"),
                 qPrintable(told[0]));
        QVERIFY(back.problems.leaves_verdict_open());
    }

    // A day of records is read in blocks, parsed by several threads: what
    // comes out is the same as line by line, whatever lies across a block's
    // end. Damaged lines sit at places of their own, one of them longer than
    // any record line.
    void long_record_reads_as_written()
    {
        constexpr int lines = 6000; // about 6 MB: several blocks
        const QSet<int> damaged{2, 999, 1000, 2500, 4321, lines};
        QByteArray text;
        std::vector<qint64> expected;
        for (int number = 1; number <= lines; ++number) {
            if (number == 2500) {
                text += "{\"time\":\"" + QByteArray(2 << 20, 'x') + "\n";
                continue;
            }
            S status = healthy_unit();
            status.cages[S::sfp_1].channels[0].power_tenths = int16_t(-100 - number % 300);
            QByteArray line = line_of(status, noon + number);
            if (damaged.contains(number))
                line = line.left(line.size() / 2) + (number == lines ? "" : "\n");
            else
                expected.push_back(noon + number);
            text += line;
        }
        QBuffer input(&text);
        input.open(QIODevice::ReadOnly);
        Record_problems problems;
        Record_reader reader(input, source, problems);
        std::vector<qint64> times;
        Record_entry entry;
        while (reader.next(&entry)) {
            times.push_back(entry.time_ms);
            // Each line's own values, and its own number.
            QCOMPARE(reader.line_number(), entry.time_ms - noon);
            QCOMPARE(int(entry.status.cages[S::sfp_1].channels[0].power_tenths),
                     -100 - int(entry.time_ms - noon) % 300);
        }
        QCOMPARE(times, expected);
        QCOMPARE(problems.lines(),
                 QStringList({source + ":2: not JSON; left out (and 4 more lines like it)",
                              source + ":" + QString::number(lines) +
                                  ": the last line is cut off (the writer stopped in the middle "
                                  "of it); left out"}));
        QCOMPARE(problems.all()[0].first_detail, QString());
    }

    // A crash cut a line, and the next run was appended to it.
    void a_cut_line_with_the_next_run_on_it()
    {
        const QByteArray status = line_of(healthy_unit());
        const QByteArray text = status + status.left(300) + start_line(at(noon + 1)).toUtf8() +
                                '\n' + line_of(healthy_unit(), noon + 2);
        const Read_back back = read_record(text);
        QStringList events;
        for (const Record_entry &entry : back.entries)
            events << record_event_name(entry.event);
        QCOMPARE(events, QStringList({"status", "start", "status"}));
        QCOMPARE(back.problems.lines(),
                 QStringList{source + ":2: a line cut off (the writer stopped in the middle of "
                                      "it), the next run written on after it; the cut part left "
                                      "out"});
        QVERIFY(!back.problems.leaves_verdict_open());
    }
};

QTEST_GUILESS_MAIN(Record_reading_test)
#include "tst_record_reading.moc"
