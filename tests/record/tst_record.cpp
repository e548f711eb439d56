#include "protocol/status_decoder.h"
#include "record/csv_record_format.h"
#include "record/json_record_format.h"
#include "record/recorder.h"
#include "record/text_record_format.h"
#include "session/session.h"
#include "simulator/pty_device.h"
#include "support/record_lines.h"
#include "support/status_payload.h"

#include <QtCore/QBuffer>
#include <QtCore/QJsonDocument>
#include <QtCore/QJsonObject>
#include <QtTest/QtTest>

#include <memory>

Q_DECLARE_METATYPE(Record_event)
Q_DECLARE_METATYPE(Recorder::Policy)

namespace {

constexpr int loss_timeout_ms = 5000;

// Given in another zone: records are written in UTC.
const QDateTime when =
    QDateTime::fromString(QStringLiteral("2026-12-06T17:53:27.123+02:00"), Qt::ISODateWithMs);
const QString when_text = QStringLiteral("2026-12-06T15:53:27.123Z");

QString cage_columns(const QString &cage)
{
    QString columns;
    for (const QString &field :
         QStringLiteral("type present temperature_c channels.1.direction channels.1.rx_power_dbm "
                        "channels.1.tx_power_dbm channels.1.wavelength_nm channels.2.direction "
                        "channels.2.rx_power_dbm channels.2.tx_power_dbm channels.2.wavelength_nm")
             .split(QLatin1Char(' ')))
        columns += QStringLiteral("cages.%1.%2,").arg(cage, field);
    return columns;
}

// Spreadsheets and scripts rely on it: written out, not taken from the code.
const QString csv_header =
    QStringLiteral("time,event,version,rx_fault,tx_fault,overheat,locks.1,locks.2,locks.3,locks.4,"
                   "links.valid,links.f,links.p1,links.p2,") +
    cage_columns(QStringLiteral("sfp1")) + cage_columns(QStringLiteral("sfp2")) +
    cage_columns(QStringLiteral("sfp_eth")) +
    QStringLiteral("dante.present,dante.system_ok,dante.sync_ok,dante.link_ok,dante.mic,"
                   "dante.inputs.1.type,dante.inputs.1.gain_db,dante.inputs.2.type,"
                   "dante.inputs.2.gain_db,threshold_dbm,detail");

// The values of a status in a JSON record, sorted: below 2.0 "dante" is one null.
QStringList json_value_names(bool dante_reported)
{
    QStringList names = csv_header.split(QLatin1Char(','));
    names = names.mid(2, names.size() - 3);
    if (!dante_reported)
        names = names.filter(QRegularExpression(QStringLiteral("^(?!dante\\.)"))) +
                QStringList{QStringLiteral("dante")};
    names.sort();
    return names;
}

Status_payload payload(uint8_t version, uint8_t flags, uint8_t links, uint8_t cages, uint8_t dante)
{
    Status_payload payload;
    payload.version = version;
    payload.flags = flags;
    payload.links = links;
    payload.cages = cages;
    payload.dante = dante;
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

QJsonObject parsed(const QString &line)
{
    return QJsonDocument::fromJson(line.toUtf8()).object();
}

// A session recorded into memory.
struct Recording
{
    struct Open_buffer : QBuffer
    {
        Open_buffer() { open(QIODevice::WriteOnly); }
    };

    Recording(const Record_format &format, Recorder::Policy policy)
        : recorder(session, format, sink, policy)
    {
    }

    QStringList lines() const
    {
        QStringList lines = QString::fromUtf8(sink.data()).split(QLatin1Char('\n'));
        lines.removeLast();
        return lines;
    }

    // A status by its first lock (set in "a", clear in "b"), an event by its name.
    QString tokens() const
    {
        QStringList seen;
        for (const QString &line : lines()) {
            const QJsonObject record = parsed(line);
            const QString event = record.value(QStringLiteral("event")).toString();
            const bool locked =
                json_at(record, {QStringLiteral("locks"), QStringLiteral("1")}).toBool();
            seen.append(event != QLatin1String("status") ? event
                        : locked                         ? QStringLiteral("a")
                                                         : QStringLiteral("b"));
        }
        return seen.join(QLatin1Char(' '));
    }

    Session session;
    Open_buffer sink;
    Recorder recorder;
};

QByteArray frame_for(const QString &word)
{
    const Status_payload a;
    if (word == QLatin1String("b"))
        return payload(0x20, 0x0E, a.links, a.cages, a.dante).frame();
    if (word == QLatin1String("bad"))
        return with_bad_crc(a.frame());
    if (word == QLatin1String("short"))
        return status_frame(a.bytes().left(10));
    return a.frame();
}

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
            cages.sfp2.type="ethernet" dante.present=true dante.system_ok=true
            dante.link_ok=true dante.mic="remote" dante.inputs.1.type="microphone"
            dante.inputs.1.gain_db=47.75 dante.inputs.2.gain_db=23.00 threshold_dbm=-28)";
        Status_payload troubled = payload(0x20, 0x70, 0x0F, 0x29, 0x71);
        troubled.threshold = -35;
        QTest::newRow("2.0, faults, submodule in trouble") << troubled << R"(rx_fault=true
            tx_fault=true overheat=true locks.1=false dante.present=true dante.system_ok=false
            dante.sync_ok=false dante.link_ok=false dante.mic="local"
            dante.inputs.1.type="line" dante.inputs.2.type="line" threshold_dbm=-35)";
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
            dante.inputs.1.gain_db=47.00 threshold_dbm=-28)";
    }

    // One table, read in all three formats.
    void status_lines()
    {
        QFETCH(Status_payload, payload);
        QFETCH(QString, expected);
        const Unit_status status = decoded(payload);
        const QString json = Json_record_format().status_line(when, status);
        const QJsonObject record = parsed(json);
        QCOMPARE(record.value(QStringLiteral("time")).toString(), when_text);
        QCOMPARE(record.value(QStringLiteral("event")).toString(), QStringLiteral("status"));
        QStringList names = json_leaf_names(record);
        names.removeAll(QStringLiteral("time"));
        names.removeAll(QStringLiteral("event"));
        names.sort();
        QCOMPARE(names, json_value_names(payload.version >= 0x20));
        const QStringList header = csv_header.split(QLatin1Char(','));
        const QStringList cells = csv_cells(Csv_record_format().status_line(when, status));
        QCOMPARE(cells.size(), header.size());
        QCOMPARE(cells.mid(0, 2) + cells.mid(header.size() - 1),
                 (QStringList{when_text, QStringLiteral("status"), QString()}));
        const QStringList words =
            Text_record_format().status_line(when, status).split(QLatin1Char(' '));
        QCOMPARE(words.mid(0, 2), (QStringList{when_text, QStringLiteral("status")}));

        for (const QString &entry :
             expected.split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts)) {
            const QString name = entry.section(QLatin1Char('='), 0, 0);
            const QString literal = entry.section(QLatin1Char('='), 1);
            const QJsonValue value = json_literal(literal);
            const QString cell = value.isNull()     ? QString()
                                 : value.isString() ? value.toString()
                                                    : literal;
            QVERIFY2(json_at(record, name.split(QLatin1Char('.'))) == value, qPrintable(entry));
            // Numbers keep their documented decimals.
            const QString key = QLatin1Char('"') + name.section(QLatin1Char('.'), -1) + "\":";
            QVERIFY2(!value.isDouble() || json.contains(key + literal), qPrintable(entry));
            QCOMPARE(cells.value(header.indexOf(name)), cell);
            QCOMPARE(words.filter(QRegularExpression(QLatin1Char('^') +
                                                     QRegularExpression::escape(name) + '=')),
                     value.isNull() ? QStringList() : QStringList{name + '=' + cell});
        }
    }

    void event_lines_data()
    {
        QTest::addColumn<Record_event>("event");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("detail");
        QTest::newRow("connected") << Record_event::connected << "connected" << QString();
        QTest::newRow("silent") << Record_event::silent << "silent" << QString();
        QTest::newRow("crc") << Record_event::crc_mismatch << "crc_mismatch" << QString();
        QTest::newRow("short") << Record_event::short_message << "short_message" << QString();
        QTest::newRow("lost, awkward detail")
            << Record_event::port_lost << "port_lost"
            << QStringLiteral("Input/output \"error\"\x01 on C:\\COM3, twice");
    }

    void event_lines()
    {
        QFETCH(Record_event, event);
        QFETCH(QString, name);
        QFETCH(QString, detail);
        const QJsonObject record = parsed(Json_record_format().event_line(when, event, detail));
        QStringList keys{QStringLiteral("event"), QStringLiteral("time")};
        if (!detail.isEmpty())
            keys.prepend(QStringLiteral("detail"));
        QCOMPARE(record.keys(), keys);
        QCOMPARE(record.value(QStringLiteral("time")).toString(), when_text);
        QCOMPARE(record.value(QStringLiteral("event")).toString(), name);
        QCOMPARE(record.value(QStringLiteral("detail")).toString(), detail);
        QStringList cells{when_text, name};
        for (int column = 3; column <= csv_header.count(QLatin1Char(',')); ++column)
            cells.append(QString());
        QCOMPARE(csv_cells(Csv_record_format().event_line(when, event, detail)),
                 cells + QStringList{detail});
        const QString text = when_text + QLatin1Char(' ') + name;
        QCOMPARE(Text_record_format().event_line(when, event, detail),
                 detail.isEmpty() ? text : text + QLatin1Char(' ') + detail);
    }

    void csv_record_starts_with_its_header()
    {
        const Csv_record_format format;
        Recording recording(format, Recorder::Policy::every_status);
        recording.session.receive(Status_payload().frame());
        const QStringList lines = recording.lines();
        QCOMPARE(lines.size(), 2);
        QCOMPARE(lines[0], csv_header);
        QCOMPARE(csv_cells(lines[1]).size(), csv_header.count(QLatin1Char(',')) + 1);
    }

    void recorder_policies_data()
    {
        QTest::addColumn<Recorder::Policy>("policy");
        QTest::addColumn<QString>("script"); // frames and watchdog ticks, in order
        QTest::addColumn<QString>("record");
        using P = Recorder::Policy;
        QTest::newRow("every status") << P::every_status << "a a b tick tick a"
                                      << "a a b connected silent a";
        QTest::newRow("changes") << P::changes << "a a b b a tick tick a b"
                                 << "a b a connected silent b";
        QTest::newRow("changes, anew per connection")
            << P::changes_per_connection << "a a b tick tick b a"
            << "a b connected silent b a";
        QTest::newRow("one event per silence") << P::changes << "tick tick a tick tick tick"
                                               << "silent a connected silent";
        QTest::newRow("broken frames") << P::every_status << "a bad short tick"
                                       << "a crc_mismatch short_message connected";
    }

    void recorder_policies()
    {
        QFETCH(Recorder::Policy, policy);
        QFETCH(QString, script);
        QFETCH(QString, record);
        // The session's own watchdog never judges here: the event loop does not run.
        const Json_record_format format;
        Recording recording(format, policy);
        for (const QString &step : script.split(QLatin1Char(' '))) {
            if (step == QLatin1String("tick"))
                recording.session.check_link();
            else
                recording.session.receive(frame_for(step));
        }
        QCOMPARE(recording.tokens(), record);
    }

    void lost_port_data()
    {
        QTest::addColumn<Recorder::Policy>("policy");
        QTest::addColumn<QString>("record");
        QTest::newRow("every status") << Recorder::Policy::every_status << "a port_lost a";
        QTest::newRow("changes") << Recorder::Policy::changes << "a port_lost";
        QTest::newRow("changes, anew per connection")
            << Recorder::Policy::changes_per_connection << "a port_lost a";
    }

    void lost_port()
    {
        QFETCH(Recorder::Policy, policy);
        QFETCH(QString, record);
        const Json_record_format format;
        Recording recording(format, policy);
        auto line = std::make_unique<Pty_device>();
        QVERIFY2(line->open(), qPrintable(line->error_string()));
        QVERIFY(recording.session.open_port({line->slave_path()}));
        recording.session.receive(frame_for(QStringLiteral("a")));
        QSignalSpy lost(&recording.session, &Session::port_lost);
        line.reset(); // the adapter is pulled out
        QTRY_COMPARE_WITH_TIMEOUT(lost.count(), 1, loss_timeout_ms);
        recording.session.receive(frame_for(QStringLiteral("a")));
        // The session's own watchdog may have judged the first frame meanwhile.
        QCOMPARE(recording.tokens().remove(QStringLiteral(" connected")), record);
        const QStringList lost_lines = recording.lines().filter(QStringLiteral("\"port_lost\""));
        QCOMPARE(lost_lines.size(), 1);
        QVERIFY(!parsed(lost_lines[0]).value(QStringLiteral("detail")).toString().isEmpty());
    }
};

QTEST_GUILESS_MAIN(Record_test)
#include "tst_record.moc"
