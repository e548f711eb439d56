#include "protocol/status_layout.h"
#include "record/status_fields.h"
#include "simulator/pty_device.h"
#include "simulator/unit_simulator.h"
#include "support/child_process.h"
#include "support/pty_line.h"
#include "support/record_lines.h"
#include "support/status_payload.h"

#include <QtCore/QJsonArray>
#include <QtCore/QJsonDocument>
#include <QtCore/QJsonObject>
#include <QtTest/QtTest>

#include <functional>
#include <memory>

namespace {

using S = Unit_status;

constexpr int frames_per_second = 50;
constexpr int line_timeout_ms = 10000;
constexpr int silence_ms = 2500; // holds a whole watchdog period, wherever that starts
constexpr int frames_between_changes = 5;
constexpr int settle_ms = 200; // for bytes a child may have left on the line as it ended

const QString ctl = QStringLiteral(VELMAR_CTL_PATH);
const QString port_placeholder = QStringLiteral("PORT");
const QString missing_port = QStringLiteral("/nonexistent/velmar-line");

// The simulated unit at an exact state and a brisk rate, set up by commands
// before its first frame is due, so that no frame of another state is on the line.
std::unique_ptr<Unit_simulator> start_unit(const QStringList &commands = {})
{
    auto unit = std::make_unique<Unit_simulator>();
    unit->settings().drift = false;
    unit->settings().rate = frames_per_second;
    if (!unit->start_on_pty())
        return nullptr;
    for (const QString &command : commands) {
        if (!unit->execute(command))
            return nullptr;
    }
    return unit;
}

// The status as its version carries it over the line; what the line leaves
// out is what the tool holds before a unit has said anything.
S as_reported(S unit)
{
    const bool long_blocks = unit.version >= Protocol_version::v1_1;
    unit.links_valid = unit.links_valid || !long_blocks;
    for (S::Cage &cage : unit.cages) {
        for (S::Channel &channel : cage.channels) {
            if (!cage.present())
                channel.direction = S::Direction::none;
            if (!long_blocks)
                channel.wavelength_nm = 0;
        }
    }
    if (!unit.dante.present) {
        const auto gains = unit.dante.gain_codes;
        unit.dante = S::Dante();
        unit.dante.gain_codes = gains;
    }
    return unit;
}

// The first field of the status that a record holds otherwise, if any;
// shown(name, expected) reads the record's value of a field.
QString difference(const S &status,
                   const std::function<QJsonValue(const QString &, const QJsonValue &)> &shown)
{
    for (const Status_fields::Field &field : Status_fields::of(status)) {
        const QJsonValue expected = json_literal(field.value);
        const QJsonValue got = shown(field.name(), expected);
        if (got != expected)
            return field.name() + QStringLiteral(" is ") +
                   QString::fromUtf8(
                       QJsonDocument(QJsonArray{got}).toJson(QJsonDocument::Compact)) +
                   QStringLiteral(", not ") + field.value;
    }
    return QString();
}

QString json_difference(const QString &line, const S &status)
{
    const QJsonObject record = QJsonDocument::fromJson(line.toUtf8()).object();
    return difference(status, [&record](const QString &name, const QJsonValue &) {
        return json_at(record, name.split(QLatin1Char('.')));
    });
}

// A null is an empty cell; a null group (dante below 2.0) leaves all its cells empty.
QString csv_difference(const QString &header, const QString &row, const S &status)
{
    const QStringList names = header.split(QLatin1Char(','));
    const QStringList cells = csv_cells(row);
    if (cells.size() != names.size())
        return QStringLiteral("not as many cells as columns: ") + row;
    return difference(status, [&](const QString &name, const QJsonValue &expected) {
        const QRegularExpression column(QLatin1Char('^') + name + QStringLiteral("(\\.|$)"));
        QString cell;
        for (int i = 0; i < names.size(); ++i)
            cell += column.match(names[i]).hasMatch() ? cells[i] : QString();
        if (names.filter(column).isEmpty())
            return QJsonValue(QJsonValue::Undefined);
        if (cell.isEmpty())
            return QJsonValue(QJsonValue::Null);
        return expected.isString() ? QJsonValue(cell) : json_literal(cell);
    });
}

QStringList status_lines(const QStringList &json_lines)
{
    QStringList statuses;
    const QStringList events = record_events(json_lines);
    for (int i = 0; i < events.size(); ++i) {
        if (events[i] == QLatin1String("status"))
            statuses.append(json_lines[i]);
    }
    return statuses;
}

// A command line as typed, with PORT standing for the unit's line.
QStringList words(const QString &line, const QString &port = QString())
{
    QStringList arguments = line.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    arguments.replaceInStrings(port_placeholder, port);
    return arguments;
}

} // namespace

class Ctl_test : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void help_and_version_data()
    {
        QTest::addColumn<QString>("arguments");
        QTest::addColumn<QString>("first_line"); // a pattern
        const QString version = QStringLiteral("^velmar-ctl \\d+\\.\\d+\\.\\d+$");
        QTest::newRow("help") << "--help"
                              << "^Usage: velmar-ctl COMMAND ";
        QTest::newRow("version") << "--version" << version;
        for (const char *command : {"ports", "watch", "set"}) {
            QTest::addRow("%s help", command)
                << QStringLiteral("%1 --help").arg(command)
                << QStringLiteral("^Usage: velmar-ctl %1 ").arg(command);
            QTest::addRow("%s version", command)
                << QStringLiteral("%1 --version").arg(command) << version;
        }
    }

    void help_and_version()
    {
        QFETCH(QString, arguments);
        QFETCH(QString, first_line);
        Child_process run(ctl);
        run.start(words(arguments));
        QVERIFY(run.wait_for_exit());
        QCOMPARE(run.exit_code(), 0);
        QCOMPARE(run.error_lines(), QStringList());
        const QStringList printed = run.output_lines();
        QVERIFY2(QRegularExpression(first_line).match(printed.value(0)).hasMatch(),
                 qPrintable(printed.value(0)));
        for (int code = 0; code <= 7 && arguments.endsWith(QLatin1String("--help")); ++code)
            QVERIFY2(!printed.filter(QRegularExpression(QStringLiteral("^  %1  \\S").arg(code)))
                          .isEmpty(),
                     qPrintable(QStringLiteral("exit code %1 not explained").arg(code)));
    }

    void refusals_data()
    {
        QTest::addColumn<QString>("arguments");
        QTest::addColumn<int>("exit_code");
        QTest::addColumn<QString>("named"); // in the one line on stderr
        QTest::newRow("gain not a number") << "set --port PORT --gain1 abc" << 2 << "--gain1";
        QTest::newRow("gain above the range") << "set --port PORT --gain1 80" << 2 << "--gain1";
        QTest::newRow("threshold above 0")
            << "set --port PORT --threshold +5" << 2 << "--threshold";
        QTest::newRow("nothing to set") << "set --port PORT" << 2 << "nothing to set";
        QTest::newRow("rate not a number")
            << "set --port PORT --defaults --baud fast" << 2 << "--baud";
        QTest::newRow("unknown option") << "set --port PORT --gain3 40" << 2 << "gain3";
        QTest::newRow("no port") << "set --gain1 47" << 2 << "--port";
        QTest::newRow("unknown format") << "watch --port PORT --format xml" << 2 << "--format";
        QTest::newRow("count of 0") << "watch --port PORT --count 0" << 2 << "--count";
        QTest::newRow("unknown command") << "reset --port PORT" << 2 << "reset";
        QTest::newRow("no command") << "" << 2 << "no command";
        QTest::newRow("watch, no such port") << "watch --port " + missing_port << 3 << missing_port;
        QTest::newRow("set, no such port")
            << "set --defaults --port " + missing_port << 3 << missing_port;
    }

    // One line on stderr, nothing on stdout, nothing to the unit.
    void refusals()
    {
        QFETCH(QString, arguments);
        QFETCH(int, exit_code);
        QFETCH(QString, named);
        const auto unit = start_unit();
        QVERIFY(unit);
        Child_process run(ctl);
        run.start(words(arguments, unit->slave_path()));
        QVERIFY(run.wait_for_exit());
        QCOMPARE(run.exit_code(), exit_code);
        QCOMPARE(run.output_lines(), QStringList());
        const QStringList errors = run.error_lines();
        QCOMPARE(errors.size(), 1);
        QVERIFY2(errors.first().contains(named), qPrintable(errors.first()));
        QTest::qWait(settle_ms);
        QCOMPARE(unit->control_frames_received(), 0);
    }

    void unwritable_output_data()
    {
        QTest::addColumn<QString>("arguments");
        QTest::newRow("help") << "--help";
        QTest::newRow("watch, its last record") << "watch --port PORT --count 1";
        QTest::newRow("watch") << "watch --port PORT --count 3";
    }

    void unwritable_output()
    {
        QFETCH(QString, arguments);
        const auto unit = start_unit();
        QVERIFY(unit);
        Child_process run(ctl);
        run.setStandardOutputFile(QStringLiteral("/dev/full"));
        run.start(words(arguments, unit->slave_path()));
        QVERIFY(run.wait_for_exit());
        QCOMPARE(run.exit_code(), 1);
    }

    void watch_records_the_unit_data()
    {
        QTest::addColumn<QStringList>("commands");
        QTest::addColumn<QString>("format");
        const struct
        {
            const char *name;
            QStringList commands;
        } units[] = {
            {"1.0",
             {"version 1.0", "lock 0b0110", "rx_fault 1", "link_valid 0", "link_f 0",
              "sfp2.type other", "sfp_eth.type video", "sfp1.power1 -20.0"}},
            {"1.1",
             {"version 1.1", "link_valid 0", "overheat 1", "sfp1.dir2 unassigned", "sfp2.wl1 1490",
              "sfp2.temp 3"}},
            {"2.0",
             {"dante.sync 0", "dante.mic local", "dante.input1 line", "dante.gain0 40",
              "threshold -31", "sfp1.power1 -35.5", "sfp2.type none"}},
            {"2.0 without Dante", {"dante.present 0"}},
        };
        for (const char *format : {"json", "csv"}) {
            for (const auto &unit : units)
                QTest::addRow("%s %s", unit.name, format)
                    << unit.commands << QString::fromLatin1(format);
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
        const QStringList lines = watch.output_lines();
        const S expected = as_reported(unit->state());
        const bool csv = format == QLatin1String("csv");
        QCOMPARE(lines.size(), csv ? 2 : 1);
        const QString difference = csv ? csv_difference(lines[0], lines[1], expected)
                                       : json_difference(lines[0], expected);
        QVERIFY2(difference.isEmpty(), qPrintable(difference));
    }

    void watch_ends_after_its_duration_data()
    {
        QTest::addColumn<QString>("seconds");
        QTest::newRow("half a second") << "0.5";
        QTest::newRow("below a millisecond") << "0.0001";
    }

    void watch_ends_after_its_duration()
    {
        QFETCH(QString, seconds);
        const auto unit = start_unit();
        QVERIFY(unit);
        Child_process watch(ctl);
        watch.start(
            words("watch --format text --port PORT --duration " + seconds, unit->slave_path()));
        QVERIFY(watch.wait_for_exit());
        QCOMPARE(watch.exit_code(), 0);
        const QStringList lines = watch.output_lines();
        QCOMPARE(lines.filter(QRegularExpression(QStringLiteral("^\\S+Z status version=2\\.0 "))),
                 lines);
    }

    void watch_prints_only_changes()
    {
        const auto unit = start_unit();
        QVERIFY(unit);
        Child_process watch(ctl);
        watch.start({"watch", "--port", unit->slave_path(), "--changes", "--count", "3"});
        std::vector<S> states{as_reported(unit->state())};
        for (const QString &change :
             {QStringLiteral("lock1 0"), QStringLiteral("sfp1.power1 -21.5")}) {
            QTRY_COMPARE_WITH_TIMEOUT(status_lines(watch.output_lines()).size(), int(states.size()),
                                      line_timeout_ms);
            // The same status goes by a few times before it changes.
            const qint64 sent = unit->frames_sent();
            QTRY_VERIFY_WITH_TIMEOUT(unit->frames_sent() >= sent + frames_between_changes,
                                     line_timeout_ms);
            QVERIFY(unit->execute(change));
            states.push_back(as_reported(unit->state()));
        }
        QVERIFY(watch.wait_for_exit());
        QCOMPARE(watch.exit_code(), 0);
        const QStringList statuses = status_lines(watch.output_lines());
        QCOMPARE(statuses.size(), int(states.size()));
        for (std::size_t i = 0; i < states.size(); ++i) {
            const QString difference = json_difference(statuses[int(i)], states[i]);
            QVERIFY2(difference.isEmpty(), qPrintable(difference));
        }
    }

    void watch_records_link_events()
    {
        const auto unit = start_unit();
        QVERIFY(unit);
        Child_process watch(ctl);
        watch.start({"watch", "--port", unit->slave_path()});
        const auto events = [&watch] {
            QStringList seen = record_events(watch.output_lines());
            seen.removeAll(QStringLiteral("status"));
            return seen;
        };
        QTRY_COMPARE_WITH_TIMEOUT(events(), QStringList{"connected"}, line_timeout_ms);
        QVERIFY(unit->execute(QStringLiteral("silence %1").arg(silence_ms)));
        QTRY_COMPARE_WITH_TIMEOUT(events(), (QStringList{"connected", "silent", "connected"}),
                                  silence_ms + line_timeout_ms);
        const QStringList seen = record_events(watch.output_lines());
        QVERIFY(seen.lastIndexOf(QStringLiteral("status")) >
                seen.indexOf(QStringLiteral("silent")));
        watch.terminate(); // Ctrl-C, for a watch without end
        QVERIFY(watch.wait_for_exit());
        QCOMPARE(watch.exit_code(), 0);
    }

    // The exact bytes, from a unit played by hand.
    void set_defaults_sends_the_window_frame()
    {
        Pty_device line;
        QVERIFY2(line.open(), qPrintable(line.error_string()));
        Status_payload unit; // 47.0 dB on both inputs (code 32), -28 dBm
        QTimer talk;
        connect(&talk, &QTimer::timeout, this, [&] {
            if (line.unread_by_slave() == 0)
                line.write_all(unit.frame());
        });
        talk.start(1000 / frames_per_second);
        Child_process set(ctl);
        set.start({"set", "--port", line.slave_path(), "--defaults"});
        QCOMPARE(collect(line, 9, line_timeout_ms).toHex(' '),
                 QByteArray("52 50 04 20 20 20 e4 d4 86"));
        unit.links |= 1 << status::ack_bit;
        QVERIFY(set.wait_for_exit());
        QCOMPARE(set.exit_code(), 0);
        QCOMPARE(set.output_lines(), (QStringList{"gain1_db=47.00", "gain2_db=47.00",
                                                  "threshold_dbm=-28", "acknowledged"}));
        QCOMPARE(line.read_available(0), QByteArray());
    }

    void set_data()
    {
        QTest::addColumn<QStringList>("commands"); // to the unit
        QTest::addColumn<QString>("arguments");
        QTest::addColumn<int>("exit_code");
        QTest::addColumn<QString>("printed");
        QTest::addColumn<QVariantList>("frame"); // codes and threshold the unit got, if any
        QTest::addColumn<bool>("pull_plug");     // when the frame is in
        QTest::newRow("gain snapped")
            << QStringList{} << "--gain1 47.5" << 0
            << "gain1_db=47.75 gain2_db=47.00 threshold_dbm=-28 acknowledged"
            << QVariantList{33, 32, -28} << false;
        QTest::newRow("threshold, the unit's gains")
            << QStringList{"dante.gain1 40"} << "--threshold -20" << 0
            << "gain1_db=47.00 gain2_db=53.00 threshold_dbm=-20 acknowledged"
            << QVariantList{32, 40, -20} << false;
        QTest::newRow("defaults and a gain")
            << QStringList{"dante.gain0 10", "threshold -5"} << "--defaults --gain2 30" << 0
            << "gain1_db=47.00 gain2_db=29.75 threshold_dbm=-28 acknowledged"
            << QVariantList{32, 9, -28} << false;
        QTest::newRow("gain reported above the editors")
            << QStringList{"dante.gain0 70"} << "--threshold -10" << 0
            << "gain1_db=70.25 gain2_db=47.00 threshold_dbm=-10 acknowledged"
            << QVariantList{63, 32, -10} << false;
        QTest::newRow("no acknowledgement") << QStringList{"ack off"} << "--threshold -20" << 6
                                            << "gain1_db=47.00 gain2_db=47.00 threshold_dbm=-20"
                                            << QVariantList{32, 32, -20} << false;
        QTest::newRow("port lost awaiting the acknowledgement")
            << QStringList{"ack off"} << "--gain2 23" << 4
            << "gain1_db=47.00 gain2_db=23.00 threshold_dbm=-28" << QVariantList{32, 0, -28}
            << true;
        QTest::newRow("silent unit")
            << QStringList{"silence 60000"} << "--gain1 47" << 5 << "" << QVariantList{} << false;
        QTest::newRow("protocol 1.1")
            << QStringList{"version 1.1"} << "--gain1 50" << 7 << "" << QVariantList{} << false;
    }

    void set()
    {
        QFETCH(QStringList, commands);
        QFETCH(QString, arguments);
        QFETCH(int, exit_code);
        QFETCH(QString, printed);
        QFETCH(QVariantList, frame);
        QFETCH(bool, pull_plug);
        const auto unit = start_unit(commands);
        QVERIFY(unit);
        QSignalSpy received(unit.get(), &Unit_simulator::control_frame_received);
        if (pull_plug)
            connect(unit.get(), &Unit_simulator::control_frame_received, unit.get(),
                    &Unit_simulator::stop, Qt::QueuedConnection);
        Child_process set(ctl);
        set.start(words(QStringLiteral("set --port PORT ") + arguments, unit->slave_path()));
        QVERIFY(set.wait_for_exit());
        QTest::qWait(settle_ms);
        QCOMPARE(set.exit_code(), exit_code);
        QCOMPARE(set.output_lines(), words(printed));
        QCOMPARE(set.error_lines().size(), exit_code == 0 ? 0 : 1);
        QCOMPARE(received.size(), frame.isEmpty() ? 0 : 1);
        if (!frame.isEmpty())
            QCOMPARE(received.first(), frame + QVariantList{true});
    }
};

QTEST_GUILESS_MAIN(Ctl_test)
#include "tst_ctl.moc"
