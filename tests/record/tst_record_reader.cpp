#include "protocol/status_decoder.h"
#include "record/event_fields.h"
#include "record/json_record_format.h"
#include "record/record_reader.h"
#include "record/record_start.h"
#include "record/record_timeline.h"
#include "support/status_payload.h"
#include "support/unit_status_text.h"

#include <QtCore/QBuffer>
#include <QtTest/QtTest>

#include <memory>
#include <vector>

namespace {

using Kind = Record_problems::Kind;

const qint64 noon =
    QDateTime::fromString(QStringLiteral("2026-12-06T12:00:00.000Z"), Qt::ISODateWithMs)
        .toMSecsSinceEpoch();

QDateTime at(qint64 ms)
{
    return QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC);
}

Unit_status decoded(const Status_payload &payload)
{
    const QByteArray bytes = payload.bytes();
    Unit_status status;
    Status_decoder::decode(reinterpret_cast<const uint8_t *>(bytes.constData()),
                           std::size_t(bytes.size()), status);
    return status;
}

struct Read_back
{
    std::vector<Record_entry> entries;
    Record_problems problems;
};

Read_back read_all(const QByteArray &text, const QString &name = QStringLiteral("night.jsonl"))
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

// What the tool saw, in the record's words.
struct Expected_problem
{
    Kind kind;
    qint64 first_line;
    qint64 count;
};

const QByteArray good_line = R"({"time":"2026-12-06T12:00:00.000Z","event":"crc_mismatch"})"
                             "\n";
QByteArray a_status_line()
{
    return Json_record_format().status_line(at(noon), decoded(Status_payload())).toUtf8() + '\n';
}

} // namespace

Q_DECLARE_METATYPE(std::vector<Expected_problem>)

class Record_reader_test : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void statuses_read_back_as_written_data()
    {
        QTest::addColumn<Status_payload>("payload");
        // Whether the record shows every value (not the power of an unassigned channel).
        QTest::addColumn<bool>("all_recorded");
        Status_payload faults;
        faults.flags = 0x70; // all three faults, every row unlocked
        faults.links = 0x09; // valid, F up only
        faults.threshold = -35;
        faults.gain[0] = 63;
        faults.gain[1] = 0;
        faults.dante = 0x71;
        QTest::newRow("2.0, healthy") << Status_payload() << true;
        QTest::newRow("2.0, faults, submodule in trouble") << faults << true;
        Status_payload absent;
        absent.dante = 0x00;
        QTest::newRow("2.0, no submodule, gains never reported") << absent << true;
        Status_payload old;
        old.version = 0x10;
        old.cages = 0x21; // SFP 2 empty
        QTest::newRow("1.0, SFP 2 empty") << old << true;
        Status_payload newer;
        newer.version = 0x21;
        newer.directions[1][0] = Status_payload::unassigned;
        QTest::newRow("unknown version 0x21, a channel unassigned") << newer << false;
    }

    // The reader gives back the values the writer was given, and writing
    // them again gives the same line.
    void statuses_read_back_as_written()
    {
        QFETCH(Status_payload, payload);
        QFETCH(bool, all_recorded);
        const Unit_status written = decoded(payload);
        const QString line = Json_record_format().status_line(at(noon + 7), written);
        const Read_back back = read_all(line.toUtf8() + '\n');
        QVERIFY2(back.problems.empty(), qPrintable(back.problems.lines().join('\n')));
        QCOMPARE(back.entries.size(), std::size_t(1));
        const Record_entry &entry = back.entries.front();
        QCOMPARE(entry.event, Record_event::status);
        QCOMPARE(entry.time_ms, noon + 7);
        QCOMPARE(Json_record_format().status_line(at(entry.time_ms), entry.status), line);
        if (all_recorded)
            QCOMPARE(entry.status, written);
    }

    void events_read_back_as_written()
    {
        const Json_record_format format;
        Record_start start;
        start.program = QStringLiteral("velmar-serial-port");
        start.program_version = QStringLiteral("1.0.0");
        start.port = QStringLiteral("/dev/serial/by-id/usb-\"Velmar\"");
        start.baud_rate = 57600;
        Control_payload sent;
        sent.gain_codes = {{0, 63}};
        sent.threshold_dbm = -35;
        const QString error = QStringLiteral("Input/output \"error\"\x01 on C:\\COM3");
        const QStringList lines{
            format.event_fields_line(at(noon), Record_event::start, Event_fields::of(start)),
            format.event_fields_line(at(noon + 1), Record_event::connected,
                                     Event_fields::since(noon - 900)),
            format.event_fields_line(at(noon + 2), Record_event::sent, Event_fields::of(sent)),
            format.event_line(at(noon + 3), Record_event::ack_timeout, QString()),
            format.event_fields_line(at(noon + 4), Record_event::silent,
                                     Event_fields::since(Event_fields::no_time)),
            format.event_line(at(noon + 5), Record_event::port_lost, error),
            format.event_line(at(noon + 6), Record_event::port_unavailable, error),
        };
        const Read_back back = read_all(lines.join('\n').toUtf8() + '\n');
        QVERIFY2(back.problems.empty(), qPrintable(back.problems.lines().join('\n')));
        QCOMPARE(back.entries.size(), std::size_t(lines.size()));
        QCOMPARE(back.entries[0].start, start);
        QCOMPARE(back.entries[1].since_ms, noon - 900);
        QCOMPARE(back.entries[2].sent, sent);
        QCOMPARE(back.entries[3].event, Record_event::ack_timeout);
        QCOMPARE(back.entries[4].since_ms, Record_entry::no_time);
        QCOMPARE(back.entries[5].detail, error);
        QCOMPARE(back.entries[6].event, Record_event::port_unavailable);
    }

    // Records written before the start line and since existed.
    void first_format_is_read()
    {
        const QByteArray record =
            R"({"time":"2026-12-06T16:45:55.211Z","event":"connected"}
{"time":"2026-12-06T16:46:10.247Z","event":"status","version":"2.0","rx_fault":false,"tx_fault":false,"overheat":false,"locks":[true,true,true,true],"links":{"valid":true,"f":true,"p1":true,"p2":true},"cages":{"sfp1":{"type":"video","present":true,"temperature_c":40,"channels":[{"direction":"rx","rx_power_dbm":-14.2,"tx_power_dbm":null,"wavelength_nm":1310},{"direction":"tx","rx_power_dbm":null,"tx_power_dbm":-2.5,"wavelength_nm":1550}]},"sfp2":{"type":"ethernet","present":true,"temperature_c":45,"channels":[{"direction":"tx","rx_power_dbm":null,"tx_power_dbm":-4.0,"wavelength_nm":1310},{"direction":"rx","rx_power_dbm":-9.8,"tx_power_dbm":null,"wavelength_nm":1550}]},"sfp_eth":{"type":"none","present":false,"temperature_c":null,"channels":[{"direction":"none","rx_power_dbm":null,"tx_power_dbm":null,"wavelength_nm":null},{"direction":"none","rx_power_dbm":null,"tx_power_dbm":null,"wavelength_nm":null}]}},"dante":{"present":true,"system_ok":true,"sync_ok":true,"link_ok":true,"mic":"remote","inputs":[{"type":"microphone","gain_db":47.00},{"type":"microphone","gain_db":47.75}]},"threshold_dbm":-28}
{"time":"2026-12-06T16:45:58.088Z","event":"silent"}
{"time":"2026-12-06T16:46:00.852Z","event":"port_lost","detail":"Unknown error"}
)";
        const Read_back back = read_all(record);
        QVERIFY2(back.problems.empty(), qPrintable(back.problems.lines().join('\n')));
        QCOMPARE(back.entries.size(), std::size_t(4));
        QCOMPARE(back.entries[0].since_ms, Record_entry::no_time);
        const Unit_status &status = back.entries[1].status;
        QCOMPARE(status.cages[Unit_status::sfp_1].channels[0].power_tenths, int16_t(-142));
        QCOMPARE(status.cages[Unit_status::sfp_2].channels[0].power_tenths, int16_t(-40));
        QCOMPARE(status.cages[Unit_status::sfp_2].temperature_c, 45);
        QCOMPARE(status.dante.gain_codes[1], uint8_t(33));
        QVERIFY(status.dante.gains_reported);
        QCOMPARE(status.threshold_dbm, int8_t(-28));
        QCOMPARE(back.entries[2].since_ms, Record_entry::no_time);
        QCOMPARE(back.entries[3].detail, QStringLiteral("Unknown error"));
    }

    void bad_input_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<int>("entries_read");
        QTest::addColumn<std::vector<Expected_problem>>("problems");
        const QByteArray status_line = a_status_line();
        const QByteArray cut = status_line.left(status_line.size() / 2);
        QTest::newRow("truncated last line")
            << good_line + cut << 1
            << std::vector<Expected_problem>{{Kind::truncated_last_line, 2, 1}};
        QTest::newRow("a last line without newline is whole")
            << good_line + good_line.trimmed() << 2 << std::vector<Expected_problem>{};
        QTest::newRow("not JSON, once per kind")
            << good_line + "time,event\n" + good_line + "\n" + cut + "\n" + good_line << 3
            << std::vector<Expected_problem>{{Kind::not_json, 2, 3}};
        QTest::newRow("unknown field: kept")
            << QByteArray(R"({"time":"2026-12-06T12:00:00.000Z","event":"reopened","boot":1})"
                          "\n") +
                   QByteArray(status_line)
                       .replace("\"type\":\"video\"", "\"type\":\"video\",\"serial\":\"X\"")
            << 2 << std::vector<Expected_problem>{{Kind::unknown_field, 1, 2}};
        QTest::newRow("unknown event: left out")
            << QByteArray(R"({"time":"2026-12-06T12:00:00.000Z","event":"rebooted"})"
                          "\n") +
                   good_line
            << 1 << std::vector<Expected_problem>{{Kind::unknown_event, 1, 1}};
        QTest::newRow("empty file")
            << QByteArray() << 0 << std::vector<Expected_problem>{{Kind::empty, 0, 1}};
        QTest::newRow("a value of the wrong type")
            << good_line + QByteArray(status_line).replace("\"rx_fault\":false", "\"rx_fault\":0")
            << 1 << std::vector<Expected_problem>{{Kind::bad_value, 2, 1}};
        QTest::newRow("a time without a zone")
            << QByteArray(R"({"time":"2026-12-06T12:00:00.000","event":"reopened"})"
                          "\n")
            << 0 << std::vector<Expected_problem>{{Kind::bad_value, 1, 1}};
        QTest::newRow("nested too deep to be a record")
            << QByteArray(100, '[') + QByteArray(100, ']') + "\n"
            << 0 << std::vector<Expected_problem>{{Kind::not_json, 1, 1}};
        QTest::newRow("Windows line ends")
            << QByteArray(good_line).replace("\n", "\r\n") << 1 << std::vector<Expected_problem>{};
    }

    void bad_input()
    {
        QFETCH(QByteArray, text);
        QFETCH(int, entries_read);
        QFETCH(std::vector<Expected_problem>, problems);
        const Read_back back = read_all(text);
        QCOMPARE(int(back.entries.size()), entries_read);
        const QString told = back.problems.lines().join('\n');
        QCOMPARE(back.problems.all().size(), problems.size());
        for (std::size_t i = 0; i < problems.size(); ++i) {
            const Record_problems::Problem &seen = back.problems.all()[i];
            QVERIFY2(seen.kind == problems[i].kind, qPrintable(told));
            QCOMPARE(seen.first_line, problems[i].first_line);
            QCOMPARE(seen.count, problems[i].count);
            // The file and line a person opens first.
            const QString where =
                problems[i].first_line > 0
                    ? QStringLiteral("night.jsonl:%1: ").arg(problems[i].first_line)
                    : QStringLiteral("night.jsonl: ");
            QVERIFY2(Record_problems::line(seen).startsWith(where), qPrintable(told));
        }
    }

    // Inputs are read in the order of their first time; a line earlier than
    // one read before it is left out and told.
    void timeline_in_time_order()
    {
        const auto record = [](std::initializer_list<int> seconds) {
            QByteArray text;
            for (const int second : seconds)
                text += Json_record_format()
                            .event_line(at(noon + second * 1000), Record_event::crc_mismatch, {})
                            .toUtf8() +
                        '\n';
            auto buffer = std::make_unique<QBuffer>();
            buffer->setData(text);
            buffer->open(QIODevice::ReadOnly);
            return buffer;
        };
        Record_problems problems;
        Record_timeline timeline(problems);
        timeline.add(QStringLiteral("later"), record({20, 21, 15, 16, 22}));
        timeline.add(QStringLiteral("earlier"), record({10, 11, 25}));
        QStringList order;
        std::vector<qint64> seconds;
        timeline.read([&order](const QString &source) { order << source; },
                      [&seconds](const Record_entry &entry) {
                          seconds.push_back((entry.time_ms - noon) / 1000);
                      });
        QCOMPARE(order, QStringList({"earlier", "later"}));
        QCOMPARE(seconds, std::vector<qint64>({10, 11, 25}));
        QCOMPARE(problems.all().size(), std::size_t(1));
        QCOMPARE(problems.all()[0].source, QStringLiteral("later"));
        QVERIFY(problems.all()[0].kind == Kind::time_backwards);
        QCOMPARE(problems.all()[0].first_line, qint64(1));
        QCOMPARE(problems.all()[0].count, qint64(5));
    }
};

QTEST_GUILESS_MAIN(Record_reader_test)
#include "tst_record_reader.moc"
