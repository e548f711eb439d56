// The record: a status or an event as a line in each format, what the
// recorder writes of a session (on a unit played by hand, and on a simulated
// one in real time), and reading records back: every value the writer can
// write comes back exactly, every value no unit can send is refused and
// named, whatever the input is cut into. The record fuzzer's seeds and every
// input that once found a fault go through the fuzzer's own harness.
#include "fuzz/record_reader_harness.h"
#include "protocol/status_decoder.h"
#include "protocol/status_layout.h"
#include "protocol/status_limits.h"
#include "record/csv_record_format.h"
#include "record/event_fields.h"
#include "record/json_record_format.h"
#include "record/record_reader.h"
#include "record/recorder.h"
#include "record/text_record_format.h"
#include "session/session.h"
#include "simulator/healthy_unit.h"
#include "simulator/pty_device.h"
#include "simulator/unit_simulator.h"
#include "support/property.h"
#include "support/quick_timing.h"
#include "support/record_text.h"
#include "support/status_payload.h"
#include "support/unit_status_text.h"

#include <QtCore/QBuffer>
#include <QtCore/QDateTime>
#include <QtCore/QJsonArray>
#include <QtCore/QJsonDocument>
#include <QtCore/QJsonObject>
#include <QtCore/QTemporaryDir>
#include <QtTest/QtTest>

#include <algorithm>
#include <memory>
#include <tuple>

Q_DECLARE_METATYPE(Record_event)
Q_DECLARE_METATYPE(Recorder::Policy)

namespace {

using S = Unit_status;

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

constexpr int frames_per_second = 50;
constexpr int frame_period_ms = 1000 / frames_per_second;
constexpr int silence_ms = 2000;
constexpr int tolerance_ms = 200;
constexpr int replug_ms = 1500;
constexpr int wait_ms = 15000;
// The figures measured here are the frames' own times, not the judgement's
// period: a quick judgement keeps the test short.
constexpr int watchdog_divisor = 4;

// A session on a simulated unit, with a recorder writing JSON to memory.
struct Recorded_unit
{
    Unit_simulator unit;
    QTemporaryDir dir;
    QString link;
    std::unique_ptr<Session> session;
    QBuffer sink;
    Json_record_format format;
    std::unique_ptr<Recorder> recorder;

    bool start(bool listen_only)
    {
        unit.settings().rate = frames_per_second;
        unit.settings().drift = false;
        link = dir.filePath(QStringLiteral("unit"));
        unit.set_link_path(link);
        if (!unit.start_on_pty())
            return false;
        session = std::make_unique<Session>(Session_timing::scaled_down(watchdog_divisor));
        session->set_listen_only(listen_only);
        sink.open(QIODevice::WriteOnly);
        recorder = std::make_unique<Recorder>(*session, format, sink,
                                              Recorder::Policy::changes_per_connection);
        return session->open_port({link});
    }

    std::vector<Record_entry> entries() { return read_record(sink.data()).entries; }

    int count(Record_event event)
    {
        const std::vector<Record_entry> all = entries();
        return int(std::count_if(all.begin(), all.end(), [event](const Record_entry &entry) {
            return entry.event == event;
        }));
    }
};

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
    // written, statuses_read_back_exactly states over generated statuses.
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

    // An event in CSV and text; in JSON, a plain event is its time and its
    // name (events_read_back_exactly reads every kind back).
    void events_in_every_format()
    {
        const QString error = QStringLiteral("Input/output \"error\"\x01 on C:\\COM3, twice");
        QCOMPARE(
            Json_record_format().event_line(at(noon + 3), Record_event::ack_timeout, QString()),
            R"({"time":"2026-12-06T12:00:00.003Z","event":"ack_timeout"})");
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
    // A run starts with its port. The silent and connected lines are written
    // when the link is judged; their since says when the frames stopped and
    // came back.
    void a_silence_is_measured_from_its_frames()
    {
        Recorded_unit recorded;
        QVERIFY(recorded.start(true));
        QTRY_COMPARE_WITH_TIMEOUT(recorded.count(Record_event::connected), 1, wait_ms);
        const Record_entry first = recorded.entries().front();
        QCOMPARE(first.event, Record_event::start);
        QCOMPARE(first.start.port, recorded.link);
        QCOMPARE(first.start.baud_rate, Port_settings::default_baud_rate);
        QCOMPARE(first.start.program, QCoreApplication::applicationName());
        QCOMPARE(first.start.format_version, Record_start::current_format_version);
        recorded.unit.silence(silence_ms);
        QTRY_COMPARE_WITH_TIMEOUT(recorded.count(Record_event::connected), 2, wait_ms);
        qint64 silent_since = Record_entry::no_time;
        qint64 silent_written = 0;
        qint64 back_since = Record_entry::no_time;
        for (const Record_entry &entry : recorded.entries()) {
            if (entry.event == Record_event::silent) {
                silent_since = entry.since_ms;
                silent_written = entry.time_ms;
            }
            if (entry.event == Record_event::connected && silent_since != Record_entry::no_time)
                back_since = entry.since_ms;
        }
        QVERIFY(silent_since != Record_entry::no_time && back_since != Record_entry::no_time);
        const qint64 measured = back_since - silent_since;
        QVERIFY2(std::abs(measured - (silence_ms + frame_period_ms)) <= tolerance_ms,
                 qPrintable(QStringLiteral("measured %1 ms").arg(measured)));
        QVERIFY(silent_written >= silent_since);
    }

    // Frames from before a lost port do not make the link live: nothing says
    // connected until the port is back and the unit has spoken on it.
    void nothing_is_connected_while_the_port_is_lost()
    {
        Recorded_unit recorded;
        QVERIFY(recorded.start(true));
        QTRY_COMPARE_WITH_TIMEOUT(recorded.count(Record_event::connected), 1, wait_ms);
        QVERIFY(recorded.unit.unplug(replug_ms));
        QTRY_COMPARE_WITH_TIMEOUT(recorded.count(Record_event::connected), 2, wait_ms);
        bool lost = false;
        qint64 reopened_at = 0;
        QStringList seen;
        for (const Record_entry &entry : recorded.entries()) {
            seen << record_event_name(entry.event);
            if (entry.event == Record_event::port_lost)
                lost = true;
            if (entry.event == Record_event::reopened) {
                QVERIFY(lost);
                lost = false;
                reopened_at = entry.time_ms;
            }
            if (entry.event == Record_event::connected && reopened_at > 0)
                QVERIFY(entry.since_ms >= reopened_at);
            QVERIFY2(!(lost && entry.event == Record_event::connected), qPrintable(seen.join(' ')));
        }
        QVERIFY(reopened_at > 0);
    }

    // What the window sends is in its record, and so is every frame the
    // unit left unacknowledged.
    void sent_values_and_timeouts_are_recorded()
    {
        Recorded_unit recorded;
        recorded.unit.settings().acknowledge = false;
        QVERIFY(recorded.start(false));
        QTRY_VERIFY_WITH_TIMEOUT(recorded.count(Record_event::ack_timeout) >= 1, wait_ms);
        const Unit_status unit = recorded.unit.state();
        bool any_sent = false;
        for (const Record_entry &entry : recorded.entries()) {
            if (entry.event != Record_event::sent)
                continue;
            any_sent = true;
            QCOMPARE(entry.sent.gain_codes, unit.dante.gain_codes);
            QCOMPARE(entry.sent.threshold_dbm, unit.threshold_dbm);
        }
        QVERIFY(any_sent);
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
        // A line refused, and only that line: the good one after it is read.
        const auto refused = [&row](const char *name, const QByteArray &line, const char *told) {
            row(name, line + '\n' + good_line, 1, {"night.jsonl:1: " + QString(told)});
        };
        refused("unknown event: left out",
                R"({"time":"2026-12-06T12:00:00.000Z","event":"rebooted"})",
                "unknown event \"rebooted\" (from a newer writer?); left out");
        refused("a time without a zone", R"({"time":"2026-12-06T12:00:00.000","event":"reopened"})",
                "not a record line: \"time\" is not an ISO 8601 time with a zone; left out");
        refused("nested too deep to be a record", QByteArray(100, '[') + QByteArray(100, ']'),
                "not JSON; left out");
        Record_start start;
        start.program = QStringLiteral("velmar-ctl");
        start.baud_rate = 115200;
        const QByteArray start_event =
            Json_record_format()
                .event_fields_line(at(noon), Record_event::start, Event_fields::of(start))
                .toUtf8();
        const QByteArray sent_line = Json_record_format()
                                         .event_fields_line(at(noon), Record_event::sent,
                                                            Event_fields::of(Control_payload()))
                                         .toUtf8();
        refused("no baud rate", QByteArray(start_event).replace("115200", "0"),
                "cannot be read: \"baud_rate\" is out of range; left out");
        refused("a record version before the first",
                QByteArray(start_event).replace("\"record_version\":3", "\"record_version\":0"),
                "cannot be read: \"record_version\" is out of range; left out");
        refused("a gain sent of no value", QByteArray(sent_line).replace("47.00", "null"),
                "cannot be read: \"gain_db\" is null in a frame sent; left out");
        refused("a since that is no time",
                R"({"time":"2026-12-06T12:00:00.000Z","event":"silent","since":"soon"})",
                "cannot be read: \"since\" is not an ISO 8601 time with a zone; left out");
        refused("an end without its reason", R"({"time":"2026-12-06T12:00:00.000Z","event":"end"})",
                "cannot be read: no \"reason\"; left out");
        refused("a detail of the wrong type",
                R"({"time":"2026-12-06T12:00:00.000Z","event":"port_lost","detail":5})",
                "cannot be read: \"detail\" is of the wrong type; left out");
        refused("an array, no object",
                R"([{"time":"2026-12-06T12:00:00.000Z","event":"reopened"}])",
                "not a record line: not an object; left out");
        refused("no event", R"({"time":"2026-12-06T12:00:00.000Z","evt":"reopened"})",
                "not a record line: no \"event\"; left out");
        row("Windows line ends", QByteArray(good_line).replace("\n", "\r\n"), 1, {});
        // A crash cut a line, and the next run was appended to it.
        row("a cut line with the next run on it",
            status_line + cut + start_line(at(noon)).toUtf8() + '\n' + good_line, 3,
            {"night.jsonl:2: a line cut off (the writer stopped in the middle of it), the next "
             "run written on after it; the cut part left out"});
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
                // To 9999, or none: no frame came before it.
                const qint64 since =
                    *rc::gen::oneOf(rc::gen::just(Event_fields::no_time),
                                    rc::gen::inRange<qint64>(0, 253402300799999LL));
                const QString detail = *any_text();
                const Record_event with_since =
                    *rc::gen::element(Record_event::silent, Record_event::connected);
                const QString reason =
                    *rc::gen::oneOf(any_text(), rc::gen::element(QStringLiteral("done"),
                                                                 QStringLiteral("port_lost")));
                const Record_event with_detail =
                    *rc::gen::element(Record_event::port_lost, Record_event::port_unavailable);
                const Json_record_format format;
                const QStringList lines{
                    format.event_fields_line(at(noon), Record_event::start,
                                             Event_fields::of(start)),
                    format.event_fields_line(at(noon), Record_event::sent, Event_fields::of(sent)),
                    format.event_fields_line(at(noon), with_since, Event_fields::since(since)),
                    format.event_line(at(noon), with_detail, detail),
                    // A reason of a newer writer is kept as written.
                    format.event_fields_line(at(noon), Record_event::end,
                                             {{{"reason"}, Status_fields::literal(reason)}})};
                const Read_back back = read_record(lines.join('\n').toUtf8() + '\n');
                RC_ASSERT(back.problems.lines() == QStringList());
                RC_ASSERT(back.entries.size() == std::size_t(5));
                RC_ASSERT(back.entries[4].reason == reason);
                RC_ASSERT(back.entries[0].start == start);
                RC_ASSERT(back.entries[1].sent == sent);
                RC_ASSERT(back.entries[2].event == with_since);
                RC_ASSERT(back.entries[2].since_ms == since);
                RC_ASSERT(back.entries[3].event == with_detail);
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
        const Read_back back = read_record(line + good_line);
        const bool kept = told.isEmpty() || told.startsWith(QLatin1String("unknown field"));
        QCOMPARE(int(back.entries.size()), kept ? 2 : 1);
        QCOMPARE(back.problems.lines(),
                 told.isEmpty() ? QStringList() : QStringList{source + ":1: " + told});
        if (told.isEmpty())
            QCOMPARE(back.entries[0].status.cages[S::sfp_1].channels[0].power_tenths,
                     int16_t(Status_limits::min_power_tenths));
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

    void replay_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<int>("entries"); // -1: a regression input, only required not to fail
        // The seeds: a status, the events of the documentation, a 1.1
        // status, and a line cut by a crash with the next run appended.
        const std::pair<const char *, int> seeds[] = {{"status.jsonl", 1},
                                                      {"events.jsonl", 7},
                                                      {"status_1_1.jsonl", 1},
                                                      {"cut_then_appended.jsonl", 2}};
        const QDir corpus(QStringLiteral(VELMAR_RECORD_CORPUS_DIR));
        QCOMPARE(corpus.entryList(QDir::Files).size(), int(std::size(seeds)));
        for (const auto &seed : seeds)
            QTest::newRow(seed.first) << corpus.filePath(QLatin1String(seed.first)) << seed.second;
        const QDir found(QStringLiteral(VELMAR_RECORD_REGRESSIONS_DIR));
        for (const QString &name : found.entryList(QDir::Files, QDir::Name))
            QTest::addRow("regression %s", qPrintable(name)) << found.filePath(name) << -1;
    }

    void replay()
    {
        QFETCH(QString, path);
        QFETCH(int, entries);
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QString broken = harness.run(file.readAll());
        QVERIFY2(broken.isEmpty(), qPrintable(broken));
        if (entries >= 0)
            QCOMPARE(harness.entries(), entries);
    }

private:
    Record_reader_harness harness;
};

QTEST_GUILESS_MAIN(Record_test)
#include "tst_record.moc"
