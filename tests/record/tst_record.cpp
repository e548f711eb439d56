#include "protocol/status_decoder.h"
#include "record/csv_record_format.h"
#include "record/json_record_format.h"
#include "record/recorder.h"
#include "record/text_record_format.h"
#include "session/session.h"
#include "simulator/pty_device.h"
#include "support/quick_timing.h"
#include "support/status_payload.h"

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
        Status_payload troubled = payload(0x20, 0x70, 0x0F, 0x29, 0x71);
        troubled.threshold = -35;
        QTest::newRow("2.0, faults, submodule in trouble") << troubled << R"(rx_fault=true
            tx_fault=true overheat=true locks.1=false dante.present=true dante.system_ok=false
            dante.sync_ok=false dante.link_ok=false dante.mic="local" dante.inputs.1.type="line"
            dante.inputs.2.type="line" threshold_dbm=-35)";
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

    // One table, read in all three formats.
    void status_lines()
    {
        QFETCH(Status_payload, payload);
        QFETCH(QString, expected);
        const QByteArray bytes = payload.bytes();
        Unit_status status;
        Status_decoder::decode(reinterpret_cast<const uint8_t *>(bytes.constData()),
                               std::size_t(bytes.size()), status);
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

    void event_lines_data()
    {
        // Written by the row's name; the names of all are checked in recorder_policies.
        QTest::addColumn<Record_event>("event");
        QTest::addColumn<QString>("detail");
        QTest::newRow("connected") << Record_event::connected << QString();
        QTest::newRow("port_lost")
            << Record_event::port_lost
            << QStringLiteral("Input/output \"error\"\x01 on C:\\COM3, twice");
    }

    void event_lines()
    {
        QFETCH(Record_event, event);
        QFETCH(QString, detail);
        const QString name = QString::fromLatin1(QTest::currentDataTag());
        QJsonObject expected{{"time", when_text}, {"event", name}};
        if (!detail.isEmpty())
            expected.insert(QStringLiteral("detail"), detail);
        QCOMPARE(
            QJsonDocument::fromJson(Json_record_format().event_line(when, event, detail).toUtf8())
                .object(),
            expected);
        QStringList cells{when_text, name};
        while (cells.size() < csv_header.size() - 1)
            cells.append(QString());
        QCOMPARE(csv_cells(Csv_record_format().event_line(when, event, detail)), cells << detail);
        QCOMPARE(Text_record_format().event_line(when, event, detail),
                 QStringList({when_text, name, detail}).join(QLatin1Char(' ')).trimmed());
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
        row("every status", P::every_status, "a a b tick tick a", "a a b connected silent a");
        row("changes", P::changes, "a a b b a tick tick a b", "a b a connected silent b");
        row("changes, anew per connection", P::changes_per_connection, "a a b tick tick b a",
            "a b connected silent b a");
        row("one event per silence", P::changes, "tick tick a tick tick tick",
            "silent a connected silent");
        row("broken frames", P::every_status, "a bad short tick",
            "a crc_mismatch short_message connected");
        row("lost port", P::every_status, "a unplug a", "a port_lost a");
        row("lost port, changes", P::changes, "a unplug a", "a port_lost");
        row("lost port, anew per connection", P::changes_per_connection, "a unplug a",
            "a port_lost a");
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
        const Recorder recorder(session, format, sink, policy);
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
            seen << (event != QLatin1String("status") ? event : locked ? "a" : "b");
            if (event == QLatin1String("status") || event == QLatin1String("port_lost"))
                QCOMPARE(csv_cells(row).last().isEmpty(), event == QLatin1String("status"));
        }
        QCOMPARE(seen.join(QLatin1Char(' ')), record);
    }
};

QTEST_GUILESS_MAIN(Record_test)
#include "tst_record.moc"
