#include "record/event_fields.h"
#include "record/record_format.h"
#include "support/child_process.h"
#include "support/steady_unit.h"

#include <QtTest/QtTest>

#include <algorithm>
#include <csignal>
#include <optional>

namespace {

using S = Unit_status;

constexpr int line_timeout_ms = 10000;
constexpr int silence_ms = 2500; // holds a whole watchdog period, wherever that starts
constexpr int frames_between_changes = 5;

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
QStringList without_start(QStringList lines)
{
    static const QRegularExpression start(QStringLiteral("^TIME[ ,]start[ ,]|\"event\":\"start\""));
    lines.erase(std::remove_if(lines.begin(), lines.end(),
                               [](const QString &line) { return line.contains(start); }),
                lines.end());
    return lines;
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
};

QTEST_GUILESS_MAIN(Ctl_test)
#include "tst_ctl.moc"
