// The record: a status or an event as a line in each format and read back
// as written, what the recorder writes of a session, and the reader's
// judgement of lines it cannot take.
#include "protocol/status_decoder.h"
#include "record/csv_record_format.h"
#include "record/event_fields.h"
#include "record/json_record_format.h"
#include "record/recorder.h"
#include "record/text_record_format.h"
#include "session/session.h"
#include "simulator/pty_device.h"
#include "support/quick_timing.h"
#include "support/record_text.h"
#include "support/status_payload.h"
#include "support/unit_status_text.h"

#include <QtCore/QBuffer>
#include <QtCore/QJsonArray>
#include <QtCore/QJsonDocument>
#include <QtCore/QJsonObject>
#include <QtTest/QtTest>

#include <memory>
#include <tuple>

Q_DECLARE_METATYPE(Record_event)
Q_DECLARE_METATYPE(Recorder::Policy)

namespace {

constexpr int loss_timeout_ms = 5000;

// Given in another zone: records are written in UTC.
const QDateTime when =
    QDateTime::fromString(QStringLiteral("2026-12-06T17:53:27.123+02:00"), Qt::ISODateWithMs);
const QString when_text = QStringLiteral("2026-12-06T15:53:27.123Z");
const qint64 noon = record_noon_ms;

QDateTime at(qint64 ms)
{
    return QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC);
}

// The cells of one CSV row, quotes taken off.
QStringList csv_cells(const QString &row)
{
    static const QRegularExpression cell(QStringLiteral("(?:^|,)(\"(?:[^\"]|\"\")*\"|[^,]*)"));
    QStringList cells;
    for (auto it = cell.globalMatch(row); it.hasNext();) {
        QString text = it.next().captured(1);
        if (text.startsWith(QLatin1Char('"')))
            text =
                text.mid(1, text.size() - 2).replace(QStringLiteral("\"\""), QStringLiteral("\""));
        cells << text;
    }
    return cells;
}

// The dotted path of every value in a JSON record that is not an object or array.
QStringList json_leaf_names(const QJsonValue &value, const QString &name = QString())
{
    const QString dot = name.isEmpty() ? name : name + QLatin1Char('.');
    const QJsonObject object = value.toObject();
    const QJsonArray array = value.toArray();
    QStringList names;
    for (auto it = object.begin(); it != object.end(); ++it)
        names += json_leaf_names(it.value(), dot + it.key());
    for (int i = 0; i < array.size(); ++i)
        names += json_leaf_names(array.at(i), dot + QString::number(i + 1));
    return value.isObject() || value.isArray() ? names : QStringList{name};
}

// Spreadsheets and scripts rely on it: written out, not taken from the code.
const QStringList csv_header = [] {
    const QString cage = QStringLiteral(
        "cages.%1.type,cages.%1.present,cages.%1.temperature_c,cages.%1.channels.1.direction,"
        "cages.%1.channels.1.rx_power_dbm,cages.%1.channels.1.tx_power_dbm,"
        "cages.%1.channels.1.wavelength_nm,cages.%1.channels.2.direction,"
        "cages.%1.channels.2.rx_power_dbm,cages.%1.channels.2.tx_power_dbm,"
        "cages.%1.channels.2.wavelength_nm,");
    return (QStringLiteral("time,event,version,rx_fault,tx_fault,overheat,locks.1,locks.2,locks.3,"
                           "locks.4,links.valid,links.f,links.p1,links.p2,") +
            cage.arg(QStringLiteral("sfp1")) + cage.arg(QStringLiteral("sfp2")) +
            cage.arg(QStringLiteral("sfp_eth")) +
            QStringLiteral("dante.present,dante.system_ok,dante.sync_ok,dante.link_ok,dante.mic,"
                           "dante.inputs.1.type,dante.inputs.1.gain_db,dante.inputs.2.type,"
                           "dante.inputs.2.gain_db,threshold_dbm,detail"))
        .split(QLatin1Char(','));
}();

Status_payload payload(uint8_t version, uint8_t flags, uint8_t links, uint8_t cages, uint8_t dante)
{
    Status_payload payload;
    std::tie(payload.version, payload.flags, payload.links, payload.cages, payload.dante) =
        std::make_tuple(version, flags, links, cages, dante);
    return payload;
}

Unit_status decoded(const Status_payload &payload)
{
    const QByteArray bytes = payload.bytes();
    Unit_status status;
    Status_decoder::decode(reinterpret_cast<const uint8_t *>(bytes.constData()),
                           std::size_t(bytes.size()), status);
    return status;
}

const QByteArray good_line = R"({"time":"2026-12-06T12:00:00.000Z","event":"crc_mismatch"})"
                             "\n";

} // namespace

class Record_test : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void status_lines_data()
    {
        QTest::addColumn<Status_payload>("payload");
        QTest::addColumn<QString>("expected"); // name=JSON literal ...
        Status_payload gains = payload(0x20, 0x0F, 0x0F, 0x29, 0x0F);
        gains.gain[0] = 33;
        gains.gain[1] = 0;
        QTest::newRow("2.0") << gains << R"(version="2.0" rx_fault=false overheat=false
            locks.4=true links.valid=true links.p2=true cages.sfp1.type="video"
            cages.sfp1.present=true cages.sfp1.temperature_c=25
            cages.sfp1.channels.1.direction="rx" cages.sfp1.channels.1.rx_power_dbm=-20.0
            cages.sfp1.channels.1.tx_power_dbm=null cages.sfp1.channels.1.wavelength_nm=1310
            cages.sfp1.channels.2.direction="tx" cages.sfp1.channels.2.rx_power_dbm=null
            cages.sfp1.channels.2.tx_power_dbm=0.0 cages.sfp1.channels.2.wavelength_nm=0
            cages.sfp2.type="ethernet" dante.present=true dante.system_ok=true dante.link_ok=true
            dante.mic="remote" dante.inputs.1.type="microphone" dante.inputs.1.gain_db=47.75
            dante.inputs.2.gain_db=23.00 threshold_dbm=-28)";
        Status_payload troubled = payload(0x20, 0x70, 0x09, 0x29, 0x71);
        std::tie(troubled.gain[0], troubled.threshold) = std::make_tuple(63, -35);
        QTest::newRow("2.0, faults, submodule in trouble") << troubled << R"(rx_fault=true
            tx_fault=true overheat=true locks.1=false links.p1=false dante.present=true
            dante.system_ok=false dante.sync_ok=false dante.link_ok=false dante.mic="local"
            dante.inputs.1.type="line" dante.inputs.2.type="line" dante.inputs.1.gain_db=70.25
            threshold_dbm=-35)";
        QTest::newRow("1.1") << payload(0x11, 0x0F, 0x07, 0x39, 0) << R"(version="1.1"
            links.valid=false links.f=true cages.sfp_eth.type="other" cages.sfp_eth.present=true
            cages.sfp1.channels.1.wavelength_nm=1310 dante=null threshold_dbm=null)";
        QTest::newRow("1.0, SFP 2 empty") << payload(0x10, 0x05, 0x00, 0x21, 0) << R"(
            version="1.0" locks.1=true locks.2=false locks.3=true links.valid=true links.f=false
            cages.sfp1.channels.1.wavelength_nm=0 cages.sfp2.type="none" cages.sfp2.present=false
            cages.sfp2.temperature_c=null cages.sfp2.channels.1.direction="none"
            cages.sfp2.channels.1.rx_power_dbm=null cages.sfp2.channels.1.tx_power_dbm=null
            cages.sfp2.channels.2.wavelength_nm=null cages.sfp_eth.channels.1.rx_power_dbm=-20.0
            dante=null threshold_dbm=null)";
        Status_payload unknown = payload(0x21, 0x0F, 0x0F, 0x29, 0x00);
        unknown.directions[1][0] = Status_payload::unassigned;
        unknown.directions[1][1] = Status_payload::none;
        QTest::newRow("unknown version, no submodule") << unknown << R"(version="0x21"
            cages.sfp2.channels.1.direction="unassigned" cages.sfp2.channels.1.rx_power_dbm=null
            cages.sfp2.channels.1.tx_power_dbm=null cages.sfp2.channels.1.wavelength_nm=1310
            cages.sfp2.channels.2.direction="none" dante.present=false dante.system_ok=null
            dante.sync_ok=null dante.link_ok=null dante.mic=null dante.inputs.2.type=null
            dante.inputs.1.gain_db=null threshold_dbm=-28)";
    }

    // One table, read in all three formats. That the JSON line reads back as
    // written, tst_record_reading states over generated statuses.
    void status_lines()
    {
        QFETCH(Status_payload, payload);
        QFETCH(QString, expected);
        const Unit_status status = decoded(payload);
        const QString json = Json_record_format().status_line(when, status);
        const QJsonObject record = QJsonDocument::fromJson(json.toUtf8()).object();
        // Every field a CSV column, but below 2.0 "dante" is one null.
        QStringList names = json_leaf_names(record) << QStringLiteral("detail");
        QStringList columns = csv_header;
        if (payload.version < 0x20)
            columns = columns.filter(QRegularExpression(QStringLiteral("^(?!dante\\.)")))
                      << "dante";
        names.sort();
        columns.sort();
        QCOMPARE(names, columns);
        const QStringList cells = csv_cells(Csv_record_format().status_line(when, status));
        QCOMPARE(cells.size(), csv_header.size());
        QCOMPARE(cells.last(), QString()); // no detail
        // Text: time, event, then name=value where a CSV cell is not empty.
        QStringList words = cells.mid(0, 2);
        for (int i = 2; i < cells.size() - 1; ++i)
            words << (cells[i].isEmpty() ? QString() : csv_header[i] + '=' + cells[i]);
        words.removeAll(QString());
        QCOMPARE(Text_record_format().status_line(when, status), words.join(QLatin1Char(' ')));
        expected.prepend(QStringLiteral("time=\"%1\" event=\"status\" ").arg(when_text));
        for (const QString &entry :
             expected.split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts)) {
            const QString name = entry.section(QLatin1Char('='), 0, 0);
            const QString literal = entry.section(QLatin1Char('='), 1);
            const QJsonValue value = QJsonDocument::fromJson('[' + literal.toUtf8() + ']')[0];
            const QString cell = value.isNull()     ? QString()
                                 : value.isString() ? value.toString()
                                                    : literal;
            QJsonValue at = record; // positions in arrays count from 1
            for (const QString &part : name.split(QLatin1Char('.')))
                at = part.toInt() > 0 ? at[part.toInt() - 1] : at[part];
            QVERIFY2(at == value, qPrintable(entry));
            // Numbers keep their documented decimals.
            const QString key_and_number = '"' + name.section('.', -1) + "\":" + literal;
            QVERIFY2(!value.isDouble() || json.contains(key_and_number), qPrintable(entry));
            QCOMPARE(cells.value(csv_header.indexOf(name)), cell);
        }
    }

    // The event kinds tst_record_reading's generated events do not write read
    // back as written; a plain event (its name and its detail, if any) in CSV
    // and text too.
    void events_read_back_as_written()
    {
        const Json_record_format format;
        const QString error = QStringLiteral("Input/output \"error\"\x01 on C:\\COM3, twice");
        const QStringList lines{
            format.event_fields_line(at(noon + 1), Record_event::connected,
                                     Event_fields::since(noon - 900)),
            format.event_line(at(noon + 3), Record_event::ack_timeout, QString()),
            format.event_fields_line(at(noon + 4), Record_event::silent,
                                     Event_fields::since(Event_fields::no_time)),
            format.event_line(at(noon + 6), Record_event::port_unavailable, error),
            format.event_fields_line(at(noon + 7), Record_event::end,
                                     Event_fields::end(Record_end::port_lost)),
        };
        QCOMPARE(lines[1], R"({"time":"2026-12-06T12:00:00.003Z","event":"ack_timeout"})");
        const Read_back back = read_record(lines.join('\n').toUtf8() + '\n');
        QCOMPARE(back.problems.lines(), QStringList());
        QStringList events;
        for (const Record_entry &entry : back.entries)
            events << record_event_name(entry.event) + '@' + QString::number(entry.time_ms - noon);
        QCOMPARE(events, QStringList({"connected@1", "ack_timeout@3", "silent@4",
                                      "port_unavailable@6", "end@7"}));
        QCOMPARE(back.entries[0].since_ms, noon - 900);
        QCOMPARE(back.entries[2].since_ms, Record_entry::no_time);
        QCOMPARE(back.entries[3].detail, error);
        QCOMPARE(back.entries[4].reason, QStringLiteral("port_lost"));
        // An event's fields without a column of their own go to the detail.
        const Event_fields::Fields done = Event_fields::end(Record_end::done);
        const QStringList end_cells =
            csv_cells(Csv_record_format().event_fields_line(when, Record_event::end, done));
        QCOMPARE(end_cells.size(), csv_header.size());
        QCOMPARE(end_cells.mid(1, 1) + end_cells.mid(2).filter(QRegularExpression(".")),
                 QStringList({"end", "reason=done"}));
        QCOMPARE(Text_record_format().event_fields_line(when, Record_event::end, done),
                 when_text + " end reason=done");
        for (const QString &detail : {QString(), error}) {
            QStringList cells{when_text, QStringLiteral("port_lost")};
            while (cells.size() < csv_header.size() - 1)
                cells.append(QString());
            QCOMPARE(
                csv_cells(Csv_record_format().event_line(when, Record_event::port_lost, detail)),
                cells << detail);
            QCOMPARE(Text_record_format().event_line(when, Record_event::port_lost, detail),
                     QStringList({when_text, "port_lost", detail}).join(' ').trimmed());
        }
    }

    void recorder_policies_data()
    {
        QTest::addColumn<Recorder::Policy>("policy");
        QTest::addColumn<QString>("script"); // frames, watchdog ticks and a pulled plug, in order
        QTest::addColumn<QString>("record");
        const auto row = [](const char *name, Recorder::Policy policy, const char *script,
                            const char *record) {
            QTest::newRow(name) << policy << script << record;
        };
        using P = Recorder::Policy;
        row("every status", P::every_status, "a a b tick tick a",
            "a a b connected silent a end:reason=done");
        row("changes", P::changes, "a a b b a tick tick a b",
            "a b a connected silent b end:reason=done");
        row("changes, anew per connection", P::changes_per_connection, "a a b tick tick b a",
            "a b connected silent b a end:reason=done");
        row("one event per silence", P::changes, "tick tick a tick tick tick",
            "silent a connected silent end:reason=done");
        row("broken frames", P::every_status, "a bad short tick",
            "a crc_mismatch short_message connected end:reason=done");
        // Frames that decode nothing leave the values unknown: a silence, and
        // no connected line until a status decodes again.
        row("only broken frames", P::every_status, "bad tick short tick",
            "crc_mismatch silent short_message end:reason=done");
        row("a stretch of broken frames", P::changes, "a tick bad tick bad tick a tick",
            "a connected crc_mismatch silent crc_mismatch connected end:reason=done");
        row("lost port", P::every_status, "a unplug a", "a port_lost a end:reason=port_lost");
        row("lost port, changes", P::changes, "a unplug a", "a port_lost end:reason=port_lost");
        row("lost port, anew per connection", P::changes_per_connection, "a unplug a",
            "a port_lost a end:reason=port_lost");
    }

    // The test judges the link itself; the session's own watchdog never does.
    void recorder_policies()
    {
        QFETCH(Recorder::Policy, policy);
        QFETCH(QString, script);
        QFETCH(QString, record);
        auto line = std::make_unique<Pty_device>(); // outlives the session unless pulled
        QVERIFY2(line->open(), qPrintable(line->error_string()));
        Session session(hand_timing);
        QBuffer sink;
        sink.open(QIODevice::WriteOnly);
        const Csv_record_format format;
        Recorder recorder(session, format, sink, policy);
        QVERIFY(session.open_port({line->slave_path()}));
        QSignalSpy lost(&session, &Session::port_lost);
        for (const QString &step : script.split(QLatin1Char(' '))) {
            if (step == QLatin1String("tick")) {
                session.check_link();
            } else if (step == QLatin1String("unplug")) {
                line.reset(); // the adapter is pulled out
                QTRY_COMPARE_WITH_TIMEOUT(lost.count(), 1, loss_timeout_ms);
            } else { // "a" has its first lock set, "b" not; "bad" and "short" are broken
                Status_payload status;
                status.flags = step == QLatin1String("b") ? 0x0E : 0x0F;
                session.receive(step == QLatin1String("bad") ? with_bad_crc(status.frame())
                                : step == QLatin1String("short")
                                    ? status_frame(status.bytes().left(10))
                                    : status.frame());
            }
        }
        recorder.end_run(Record_end::done);
        recorder.end_run(Record_end::signal); // a run ends once
        QStringList rows = QString::fromUtf8(sink.data()).split(QLatin1Char('\n'));
        QCOMPARE(rows.takeLast(), QString());                          // every line whole
        QCOMPARE(rows.takeFirst(), csv_header.join(QLatin1Char(','))); // written at once
        QCOMPARE(rows.takeFirst().section(QLatin1Char(','), 1, 1), QStringLiteral("start"));
        // A status by its first lock, an event by its name and its detail, if any.
        const int lock = csv_header.indexOf(QStringLiteral("locks.1"));
        QStringList seen;
        for (const QString &row : rows) {
            const QString event = row.section(QLatin1Char(','), 1, 1);
            const bool locked = row.section(QLatin1Char(','), lock, lock) == QLatin1String("true");
            seen << (event == QLatin1String("end")      ? "end:" + csv_cells(row).last()
                     : event != QLatin1String("status") ? event
                     : locked                           ? "a"
                                                        : "b");
            if (event == QLatin1String("status") || event == QLatin1String("port_lost"))
                QCOMPARE(csv_cells(row).last().isEmpty(), event == QLatin1String("status"));
        }
        QCOMPARE(seen.join(QLatin1Char(' ')), record);
    }
    // Under --changes, and in the window's record, a status gets a line of
    // its own only when that line would read differently from the last. The
    // judgement is on the fields, which every format writes alike.
    void a_change_is_what_the_line_shows_data()
    {
        QTest::addColumn<QString>("both");   // how both statuses differ from a healthy unit
        QTest::addColumn<QString>("second"); // and the second from the first
        QTest::addColumn<int>("lines");      // status lines written
        const QString power = QStringLiteral("sfp1.power1 -31.1");
        QTest::newRow("the power of an unassigned channel") << "sfp1.dir1 unassigned" << power << 1;
        QTest::newRow("a channel flag") << ""
                                        << "sfp1.flag1 1" << 1;
        QTest::newRow("the power of an Rx channel") << "" << power << 2;
        QTest::newRow("a lock") << ""
                                << "lock3 0" << 2;
    }

    void a_change_is_what_the_line_shows()
    {
        QFETCH(QString, both);
        QFETCH(QString, second);
        QFETCH(int, lines);
        const Json_record_format format;
        Session session;
        QBuffer sink;
        sink.open(QIODevice::WriteOnly);
        const Recorder recorder(session, format, sink, Recorder::Policy::changes);
        session.receive(unit_frame(both) + unit_frame(both + ';' + second));
        QCOMPARE(int(sink.data().count("status")), lines);
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
        const Read_back back = read_record(record);
        QCOMPARE(back.problems.lines(), QStringList());
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
        QTest::addColumn<QStringList>("problems"); // as told, one line for each kind
        const QByteArray status_line =
            Json_record_format().status_line(at(noon), decoded(Status_payload())).toUtf8() + '\n';
        const QByteArray cut = status_line.left(status_line.size() / 2);
        const auto row = [](const char *name, const QByteArray &text, int entries_read,
                            const QStringList &problems) {
            QTest::newRow(name) << text << entries_read << problems;
        };
        const QString left_out = QStringLiteral("; left out");
        row("a last line without newline is whole", good_line + good_line.trimmed(), 2, {});
        row("not JSON, once per kind",
            good_line + "time,event\n" + good_line + "\n" + cut + "\n" + good_line, 3,
            {"night.jsonl:2: not JSON; left out (and 2 more lines like it)"});
        row("unknown fields: kept",
            R"({"time":"2026-12-06T12:00:00.000Z","event":"reopened","boot":1})"
            "\n" +
                QByteArray(status_line)
                    .replace("\"type\":\"video\"", "\"type\":\"video\",\"serial\":\"X\""),
            2,
            {"night.jsonl:1: unknown field \"boot\" (from a newer writer?); ignored (and 1 more "
             "line like it)"});
        row("unknown event: left out",
            R"({"time":"2026-12-06T12:00:00.000Z","event":"rebooted"})"
            "\n" +
                good_line,
            1, {"night.jsonl:1: unknown event \"rebooted\" (from a newer writer?)" + left_out});
        row("a time without a zone",
            R"({"time":"2026-12-06T12:00:00.000","event":"reopened"})"
            "\n" +
                good_line,
            1,
            {"night.jsonl:1: not a record line: \"time\" is not an ISO 8601 time with a zone" +
             left_out});
        row("nested too deep to be a record",
            QByteArray(100, '[') + QByteArray(100, ']') + "\n" + good_line, 1,
            {"night.jsonl:1: not JSON; left out"});
        row("Windows line ends", QByteArray(good_line).replace("\n", "\r\n"), 1, {});
    }

    void bad_input()
    {
        QFETCH(QByteArray, text);
        QFETCH(int, entries_read);
        QFETCH(QStringList, problems);
        const Read_back back = read_record(text);
        QCOMPARE(int(back.entries.size()), entries_read);
        QCOMPARE(back.problems.lines(), problems);
    }
};

QTEST_GUILESS_MAIN(Record_test)
#include "tst_record.moc"
