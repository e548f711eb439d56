// velmar-ctl watching and setting a simulated unit: what it records of the
// unit and of its link, on a line of its own and behind Debian's ser2net as
// on a rack's terminal server, and the README's production-test script run
// as written: a healthy unit passes, and each way a unit can fail it fails it.
#include "record/event_fields.h"
#include "record/record_format.h"
#include "support/child_process.h"
#include "support/ser2net_server.h"
#include "support/steady_unit.h"

#include <QtCore/QFile>
#include <QtCore/QFileInfo>
#include <QtCore/QTemporaryDir>
#include <QtTest/QtTest>

#include <csignal>
#include <optional>

namespace {

using S = Unit_status;

constexpr int line_timeout_ms = 10000;
constexpr int silence_ms = 2500; // holds a whole watchdog period, wherever that starts
constexpr int frames_between_changes = 5;
constexpr int back_within_ms = 5000;

const QString ctl = QStringLiteral(VELMAR_CTL_PATH);

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
// unit in this state, and, when it ends, why. The format itself is checked
// in tests/record.
QStringList first_record(const QString &format_name, const S &unit,
                         std::optional<Record_end> end = std::nullopt)
{
    Record_format::Kind kind = Record_format::Kind::json;
    Record_format::kind_from_name(format_name, &kind);
    const auto format = Record_format::make(kind);
    const QDateTime now = QDateTime::currentDateTimeUtc();
    QStringList lines{format->header(), format->status_line(now, as_reported(unit))};
    if (end)
        lines << format->event_fields_line(now, Record_event::end, Event_fields::end(*end));
    lines.removeAll(QString());
    return at_any_time(lines);
}

// A watch's output without the start line it begins with.
QStringList without_start(const QStringList &lines)
{
    static const QRegularExpression other(
        QStringLiteral("^(?!TIME[ ,]start[ ,]|.*\"event\":\"start\")"));
    return lines.filter(other);
}

// The events of a JSON record, in order, a word each.
QString events(const QStringList &record)
{
    static const QRegularExpression event(QStringLiteral("\"event\":\"(\\w+)\""));
    QStringList found;
    for (auto it = event.globalMatch(record.join(QLatin1Char('\n'))); it.hasNext();)
        found << it.next().captured(1);
    return found.join(QLatin1Char(' '));
}

const QString marker = QStringLiteral("<!-- production-test example");

// The shell block that follows the marker in the README.
QByteArray example_script()
{
    QFile readme(QStringLiteral(VELMAR_README_PATH));
    if (!readme.open(QIODevice::ReadOnly))
        return {};
    const QString text = QString::fromUtf8(readme.readAll());
    const int start = text.indexOf(QStringLiteral("```sh\n"), text.indexOf(marker));
    const int end = text.indexOf(QStringLiteral("```\n"), start + 1);
    if (text.indexOf(marker) < 0 || start < 0 || end < 0)
        return {};
    return text.mid(start + 6, end - start - 6).toUtf8();
}

} // namespace

Q_DECLARE_METATYPE(Ser2net_server::Mode)

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
        const auto unit = steady_unit(commands);
        QVERIFY(unit);
        Child_process watch(ctl);
        watch.start({"watch", "--port", unit->slave_path(), "--format", format, "--count", "1"});
        QVERIFY(watch.wait_for_exit());
        QCOMPARE(watch.exit_code(), 0);
        QCOMPARE(without_start(at_any_time(watch.output_lines())),
                 first_record(format, unit->state(), Record_end::done));
    }

    // Only changes, whatever the link does meanwhile: a silence and the unit's
    // return are events, and its status is not printed again.
    void watch_prints_changes_and_link_events()
    {
        const auto unit = steady_unit();
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
        SIGNAL_CHILD(watch, SIGTERM); // Ctrl-C, for a watch without end
        QVERIFY(watch.wait_for_exit());
        QCOMPARE(watch.exit_code(), 0);
        QCOMPARE(at_any_time(watch.output_lines()).last(),
                 R"({"time":"TIME","event":"end","reason":"signal"})");
    }

    void watch_outlives_the_server()
    {
        const auto unit = steady_unit();
        QVERIFY(unit);
        Ser2net_server server(Ser2net_server::Mode::rfc2217, unit->slave_path());
        QVERIFY(server.start());
        Child_process watch(ctl);
        // By name: the record names the port as it was given.
        const QString url = QString(server.url()).replace("127.0.0.1", "localhost");
        watch.start({"watch", "--port", url, "--baud", "57600"});
        QTRY_VERIFY_WITH_TIMEOUT(events(watch.output_lines()).contains("status"), line_timeout_ms);
        QVERIFY(watch.output_lines().first().contains("\"port\":\"" + url + '"'));

        server.kill();
        QTRY_VERIFY_WITH_TIMEOUT(events(watch.output_lines()).endsWith("port_lost"),
                                 line_timeout_ms);
        QElapsedTimer back;
        back.start();
        QVERIFY(server.start());
        const QRegularExpression unit_back(
            QStringLiteral("port_lost( \\w+)* reopened( \\w+)* status"));
        QTRY_VERIFY_WITH_TIMEOUT(unit_back.match(events(watch.output_lines())).hasMatch(),
                                 back_within_ms);
        QVERIFY2(back.elapsed() < back_within_ms, qPrintable(QString::number(back.elapsed())));
        QCOMPARE(unit->line_settings().baud_rate, 57600); // set again on the new connection
        watch.terminate();
        QVERIFY(watch.wait_for_exit());
        QCOMPARE(watch.exit_code(), 0);
        const QString told = events(watch.output_lines());
        QCOMPARE(told.count(QStringLiteral("port_lost")), 1);
        QCOMPARE(told.count(QStringLiteral("reopened")), 1);
    }

    void set_is_confirmed_through_the_server_data()
    {
        QTest::addColumn<Ser2net_server::Mode>("mode");
        QTest::newRow("telnet(rfc2217)") << Ser2net_server::Mode::rfc2217;
        QTest::newRow("raw") << Ser2net_server::Mode::raw;
    }

    void set_is_confirmed_through_the_server()
    {
        QFETCH(Ser2net_server::Mode, mode);
        const auto unit = steady_unit();
        QVERIFY(unit);
        Ser2net_server server(mode, unit->slave_path());
        QVERIFY(server.start());
        Child_process set(ctl);
        // A threshold of -1 dBm is the byte 0xFF in the frame.
        set.start({"set", "--port", server.url(), "--threshold", "-1", "--gain2", "50.75"});
        QVERIFY(set.wait_for_exit());
        QCOMPARE(set.error_lines(), QStringList());
        QCOMPARE(set.exit_code(), 0);
        QVERIFY(QRegularExpression("^(acknowledged|reported)$")
                    .match(set.output_lines().last())
                    .hasMatch());
        QCOMPARE(int(unit->state().threshold_dbm), -1);
        QCOMPARE(int(unit->state().dante.gain_codes[1]), 37);
    }

    void judges_the_unit_data()
    {
        QTest::addColumn<QStringList>("commands"); // to the simulated unit first
        QTest::addColumn<int>("exit_code");
        QTest::addColumn<QString>("said"); // the last line, on stdout or stderr
        QTest::newRow("healthy") << QStringList() << 0 << "PASS";
        QTest::newRow("Rx fault") << QStringList{"rx_fault 1"} << 1 << "FAIL: rx_fault=true";
        QTest::newRow("lock lost")
            << QStringList{"lock 0b0111"} << 1 << "FAIL: locks\\.[1-4]=false";
        QTest::newRow("Dante sync")
            << QStringList{"dante.sync 0"} << 1 << "FAIL: dante\\.[a-z]*_ok=false";
        // Half its statuses lost, the acknowledgement often among them: a later status shows
        // the gains taken.
        QTest::newRow("half the frames with a bad CRC") << QStringList{"badcrc 0.5"} << 0 << "PASS";
        QTest::newRow("acknowledged, gains not taken")
            << QStringList{"apply off"} << 1 << "FAIL: the unit did not take the gains";
    }

    void judges_the_unit()
    {
        QFETCH(QStringList, commands);
        QFETCH(int, exit_code);
        QFETCH(QString, said);
        const QByteArray text = example_script();
        QVERIFY2(!text.isEmpty(), "no production-test example in the README");
        QTemporaryDir dir;
        const QString script = dir.filePath(QStringLiteral("production-test"));
        QFile file(script);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(text) == text.size());
        file.close();
        const auto unit = steady_unit(commands);
        QVERIFY(unit);
        // As an engineer would run it: velmar-ctl found on the PATH.
        Child_process shell(QStringLiteral("/bin/sh"));
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("PATH"),
                           QFileInfo(QStringLiteral(VELMAR_CTL_PATH)).path() + QLatin1Char(':') +
                               environment.value(QStringLiteral("PATH")));
        shell.setProcessEnvironment(environment);
        shell.start({script, unit->slave_path()});
        QVERIFY(shell.wait_for_exit());
        const QStringList lines = shell.output_lines() + shell.error_lines();
        QCOMPARE(shell.exit_code(), exit_code);
        QVERIFY2(lines.contains(said), qPrintable(lines.join(QLatin1Char('\n'))));
    }
};

QTEST_GUILESS_MAIN(Ctl_test)
#include "tst_ctl.moc"
