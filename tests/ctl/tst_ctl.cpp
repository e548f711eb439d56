#include "protocol/status_layout.h"
#include "record/record_format.h"
#include "simulator/pty_device.h"
#include "simulator/unit_simulator.h"
#include "support/child_process.h"
#include "support/pty_line.h"
#include "support/status_payload.h"

#include <QtTest/QtTest>

#include <algorithm>
#include <memory>
#include <tuple>

namespace {

using S = Unit_status;

constexpr int frames_per_second = 50;
constexpr int line_timeout_ms = 10000;
constexpr int silence_ms = 2500; // holds a whole watchdog period, wherever that starts
constexpr int frames_between_changes = 5;

const QString ctl = QStringLiteral(VELMAR_CTL_PATH);

// The simulated unit at an exact state and a brisk rate, set up by commands
// before its first frame is due, so that no frame of another state is on the line.
std::unique_ptr<Unit_simulator> start_unit(const QStringList &commands = {})
{
    auto unit = std::make_unique<Unit_simulator>();
    unit->settings().drift = false;
    unit->settings().rate = frames_per_second;
    bool started = unit->start_on_pty();
    for (const QString &command : commands)
        started = started && unit->execute(command);
    return started ? std::move(unit) : nullptr;
}

// The status as its version carries it over the line; what the line leaves
// out is what the tool holds before a unit has said anything.
S as_reported(S unit)
{
    const bool long_blocks = unit.version >= Protocol_version::v1_1;
    unit.links_valid = unit.links_valid || !long_blocks;
    for (S::Cage &cage : unit.cages) {
        for (S::Channel &channel : cage.channels) {
            channel.direction = cage.present() ? channel.direction : S::Direction::none;
            channel.wavelength_nm = long_blocks ? channel.wavelength_nm : 0;
        }
    }
    unit.dante.gains_reported = unit.dante.present;
    S::Dante absent;
    absent.gain_codes = unit.dante.gain_codes;
    unit.dante = unit.dante.present ? unit.dante : absent;
    return unit;
}

// What watch writes first, in a format named as on its command line, for a
// unit in this state. The format itself is checked in tests/record.
QStringList first_record(const QString &format_name, const S &unit)
{
    Record_format::Kind kind = Record_format::Kind::json;
    Record_format::kind_from_name(format_name, &kind);
    const auto format = Record_format::make(kind);
    QStringList lines{format->header(),
                      format->status_line(QDateTime::currentDateTimeUtc(), as_reported(unit))};
    lines.removeAll(QString());
    return at_any_time(lines);
}

// A watch's output without the start line it begins with.
QStringList without_start(QStringList lines)
{
    static const QRegularExpression start(QStringLiteral("^TIME[ ,]start[ ,]|\"event\":\"start\""));
    lines.erase(std::remove_if(lines.begin(), lines.end(),
                               [](const QString &line) { return line.contains(start); }),
                lines.end());
    return lines;
}

Status_payload reporting(uint8_t gain_1, uint8_t gain_2, int8_t threshold, uint8_t version = 0x20)
{
    Status_payload unit;
    std::tie(unit.gain[0], unit.gain[1], unit.threshold, unit.version) =
        std::make_tuple(gain_1, gain_2, threshold, version);
    return unit;
}

} // namespace

class Ctl_test : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void watch_records_the_unit_data()
    {
        QTest::addColumn<QStringList>("commands");
        QTest::addColumn<QString>("format");
        const std::pair<const char *, const char *> units[] = {
            {"1.0", "version 1.0,lock 0b0110,rx_fault 1,link_valid 0,link_f 0,sfp2.type other,"
                    "sfp_eth.type video,sfp1.power1 -20.0"},
            {"1.1", "version 1.1,link_valid 0,overheat 1,sfp1.dir2 unassigned,sfp2.wl1 1490,"
                    "sfp2.temp 3"},
            {"2.0", "dante.sync 0,dante.mic local,dante.input2 line,dante.gain1 40,threshold -31,"
                    "sfp1.power1 -35.5,sfp2.type none"},
            {"2.0 without Dante", "dante.present 0"},
        };
        for (const char *format : {"json", "csv", "text"}) {
            for (const auto &unit : units)
                QTest::addRow("%s %s", unit.first, format)
                    << QString::fromLatin1(unit.second).split(QLatin1Char(',')) << format;
        }
    }

    void watch_records_the_unit()
    {
        QFETCH(QStringList, commands);
        QFETCH(QString, format);
        const auto unit = start_unit(commands);
        QVERIFY(unit);
        Child_process watch(ctl);
        watch.start({"watch", "--port", unit->slave_path(), "--format", format, "--count", "1"});
        QVERIFY(watch.wait_for_exit());
        QCOMPARE(watch.exit_code(), 0);
        QCOMPARE(without_start(at_any_time(watch.output_lines())),
                 first_record(format, unit->state()));
    }

    // Only changes, whatever the link does meanwhile: a silence and the unit's
    // return are events, and its status is not printed again.
    void watch_prints_changes_and_link_events()
    {
        const auto unit = start_unit();
        QVERIFY(unit);
        Child_process watch(ctl);
        watch.start({"watch", "--port", unit->slave_path(), "--changes", "--count", "4"});
        // What it printed so far of the events the pattern matches.
        const auto printed = [&watch](const char *events) {
            return at_any_time(watch.output_lines())
                .filter(QRegularExpression(QStringLiteral("\"event\":\"%1").arg(events)));
        };
        const QString silence = QStringLiteral("silence %1").arg(silence_ms);
        QStringList expected = first_record(QStringLiteral("json"), unit->state());
        for (const QString &change :
             {QStringLiteral("lock1 0"), silence, QStringLiteral("sfp1.power1 -21.5")}) {
            QTRY_COMPARE_WITH_TIMEOUT(printed("status"), expected, line_timeout_ms);
            // The same status goes by a few times before it changes.
            const qint64 sent = unit->frames_sent();
            QTRY_VERIFY_WITH_TIMEOUT(unit->frames_sent() >= sent + frames_between_changes,
                                     silence_ms + line_timeout_ms);
            QVERIFY(unit->execute(change));
            if (change != silence)
                expected += first_record(QStringLiteral("json"), unit->state());
        }
        const QString event = QStringLiteral(R"({"time":"TIME","event":"%1","since":"TIME"})");
        QTRY_COMPARE_WITH_TIMEOUT(
            printed("(?!status|start)"),
            QStringList({event.arg("connected"), event.arg("silent"), event.arg("connected")}),
            silence_ms + line_timeout_ms);
        QTRY_COMPARE_WITH_TIMEOUT(printed("status"), expected, line_timeout_ms);
        QVERIFY(printed("").lastIndexOf(expected.last()) >
                printed("").indexOf(event.arg("silent")));
        watch.terminate(); // Ctrl-C, for a watch without end
        QVERIFY(watch.wait_for_exit());
        QCOMPARE(watch.exit_code(), 0);
    }

    void set_data()
    {
        QTest::addColumn<Status_payload>("unit"); // as it reports itself
        // After the frame: ack (takes the values and acknowledges), ignore or unplug; or mute.
        QTest::addColumn<QString>("unit_does");
        QTest::addColumn<QString>("arguments");
        QTest::addColumn<int>("exit_code");
        QTest::addColumn<QString>("printed"); // then "acknowledged" when it is
        QTest::addColumn<QByteArray>("sent"); // the bytes on the wire, in hex
        const auto row = [](const char *name, const Status_payload &unit, const char *unit_does,
                            const char *arguments, int exit_code, const char *printed,
                            const char *sent) {
            QTest::newRow(name) << unit << unit_does << arguments << exit_code << printed
                                << QByteArray(sent);
        };
        const Status_payload plain; // 47.00 dB on both inputs (code 32), -28 dBm
        row("defaults", plain, "ack", "--defaults", 0,
            "gain1_db=47.00 gain2_db=47.00 threshold_dbm=-28", "52 50 04 20 20 20 e4 d4 86");
        row("gain snapped", plain, "ack", "--gain1 47.5", 0,
            "gain1_db=47.75 gain2_db=47.00 threshold_dbm=-28", "52 50 04 20 21 20 e4 14 d7");
        row("threshold, the unit's gains", reporting(32, 40, -28), "ack", "--threshold -20", 0,
            "gain1_db=47.00 gain2_db=53.00 threshold_dbm=-20", "52 50 04 20 20 28 ec d2 80");
        row("defaults and a gain", reporting(10, 32, -5), "ack", "--defaults --gain2 30", 0,
            "gain1_db=47.00 gain2_db=29.75 threshold_dbm=-28", "52 50 04 20 20 09 e4 44 99");
        row("gain reported above the editors", reporting(70, 32, -28), "ack", "--threshold -10", 0,
            "gain1_db=70.25 gain2_db=47.00 threshold_dbm=-10", "52 50 04 20 3f 20 f6 1f 37");
        row("no acknowledgement", reporting(10, 32, -5), "ignore", "--defaults --retries 0", 6,
            "gain1_db=47.00 gain2_db=47.00 threshold_dbm=-28", "52 50 04 20 20 20 e4 d4 86");
        row("port lost awaiting the acknowledgement", plain, "unplug", "--gain2 23", 4,
            "gain1_db=47.00 gain2_db=23.00 threshold_dbm=-28", "52 50 04 20 20 00 e4 14 9f");
        row("silent unit", plain, "mute", "--gain1 47", 5, "", "");
        row("protocol 1.1", reporting(32, 32, -28, 0x11), "ignore", "--gain1 50", 7, "", "");
    }

    // The unit is played by hand: a status whenever the last one has been read.
    void set()
    {
        QFETCH(Status_payload, unit);
        QFETCH(QString, unit_does);
        QFETCH(QString, arguments);
        QFETCH(int, exit_code);
        QFETCH(QString, printed);
        QFETCH(QByteArray, sent);
        Pty_device line;
        QVERIFY2(line.open(), qPrintable(line.error_string()));
        QTimer talk;
        connect(&talk, &QTimer::timeout, this, [&] {
            if (line.unread_by_slave() == 0)
                line.write_all(unit.frame());
        });
        if (unit_does != QLatin1String("mute"))
            talk.start(1000 / frames_per_second);
        Child_process set(ctl);
        set.start(QStringList{"set", "--port", line.slave_path()} +
                  arguments.split(QLatin1Char(' ')));
        QCOMPARE(collect(line, QByteArray::fromHex(sent).size(), line_timeout_ms).toHex(' '), sent);
        if (unit_does == QLatin1String("ack")) {
            const QByteArray frame = QByteArray::fromHex(sent);
            unit.gain[0] = uint8_t(frame[4]);
            unit.gain[1] = uint8_t(frame[5]);
            unit.threshold = int8_t(frame[6]);
            unit.links |= 1 << status::ack_bit;
        }
        if (unit_does == QLatin1String("unplug"))
            line.close(); // the adapter is pulled out
        QVERIFY(set.wait_for_exit());
        QCOMPARE(set.exit_code(), exit_code);
        QCOMPARE(set.output_lines().join(QLatin1Char(' ')),
                 exit_code == 0 ? printed + QStringLiteral(" acknowledged") : printed);
        QCOMPARE(set.error_lines().size(), exit_code == 0 ? 0 : 1);
        if (unit_does == QLatin1String("unplug"))
            QVERIFY(set.error_lines().join(' ').contains("lost"));
        QCOMPARE(line.read_available(0), QByteArray());
    }
};

QTEST_GUILESS_MAIN(Ctl_test)
#include "tst_ctl.moc"
