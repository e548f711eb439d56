#include "app/window_command_line.h"
#include "simulator/unit_simulator.h"
#include "support/child_process.h"
#include "support/pty_line.h"
#include "support/test_settings.h"
#include "support/window_fixture.h"

#include <QtCore/QJsonDocument>
#include <QtCore/QTemporaryDir>
#include <QtTest/QtTest>
#include <QtWidgets/QComboBox>
#include <QtWidgets/QLabel>

#include <memory>

namespace {

constexpr int frames_per_second = 50;
constexpr int line_timeout_ms = 10000;
constexpr int settle_ms = 200; // for bytes a child may have left on the line as it ended
constexpr int saved_port_index = 5;
constexpr int saved_baud_index = 3;

const QString window_program = QStringLiteral(VELMAR_WINDOW_PATH);
const QString ctl = QStringLiteral(VELMAR_CTL_PATH);

std::unique_ptr<Unit_simulator> start_unit()
{
    auto unit = std::make_unique<Unit_simulator>();
    unit->settings().drift = false;
    unit->settings().rate = frames_per_second;
    return unit->start_on_pty() ? std::move(unit) : nullptr;
}

// Stores and a runtime directory of its own; an offscreen display, or none.
QProcessEnvironment environment(bool display)
{
    static const QTemporaryDir home;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        environment.remove(QString::fromLatin1(name));
    if (display)
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), home.filePath(QStringLiteral("config")));
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), home.path());
    return environment;
}

} // namespace

// Both programs' command lines, and what the window does with its own.
class Command_line_test : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { isolate_settings(); }

    void programs_data()
    {
        QTest::addColumn<QString>("line"); // PORT is a unit's line; >FILE sends stdout there
        QTest::addColumn<int>("exit_code");
        // A pattern for stdout, or for the one line on stderr of a refusal.
        QTest::addColumn<QString>("said");
        const auto row = [](const QString &line, int exit_code, const QString &said) {
            QTest::newRow(qPrintable(line)) << line << exit_code << said;
        };
        QString codes = QStringLiteral("[\\s\\S]*"); // then every exit code explained, in order
        for (int code : {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 130, 143})
            codes += QStringLiteral("\\n  %1  \\S.*").arg(code);
        const QString version = QStringLiteral("^velmar-ctl \\d+\\.\\d+\\.\\d+$");
        row("velmar-ctl --help", 0, "^Usage: velmar-ctl COMMAND " + codes);
        row("velmar-ctl --version", 0, version);
        row("velmar-ctl ports --help", 0, "^Usage: velmar-ctl ports " + codes);
        row("velmar-ctl ports --version", 0, version);
        row("velmar-ctl watch --help", 0, "^Usage: velmar-ctl watch " + codes);
        row("velmar-ctl watch --version", 0, version);
        row("velmar-ctl set --help", 0, "^Usage: velmar-ctl set " + codes);
        row("velmar-ctl set --version", 0, version);
        row("velmar-serial-port --help", 0, "^Usage: \\S*velmar-serial-port \\[options\\]\\n");
        row("velmar-serial-port --version", 0, "^velmar-serial-port \\d+\\.\\d+\\.\\d+$");
        // However short the watch, it prints statuses and nothing else.
        const QString statuses =
            QStringLiteral("^\\S+Z start .*(\\n\\S+Z status version=2\\.0 .*)*$");
        row("velmar-ctl watch --format text --port PORT --duration 0.5", 0, statuses);
        row("velmar-ctl watch --format text --port PORT --duration 0.0001", 5, "no status");
        // As on a full disk; the last record too.
        const QString full = QStringLiteral("cannot write the output: No space left on device$");
        row("velmar-ctl --help >/dev/full", 1, full);
        row("velmar-ctl watch --port PORT --count 1 >/dev/full", 1, full);
        row("velmar-ctl watch --port PORT --count 3 >/dev/full", 1, full);
        row("velmar-ctl set --port PORT --gain1 abc", 2, "--gain1");
        row("velmar-ctl set --port PORT --gain1 80", 2, "--gain1");
        row("velmar-ctl set --port PORT --threshold +5", 2, "--threshold");
        row("velmar-ctl set --port PORT", 2, "nothing to set");
        row("velmar-ctl set --port PORT --defaults --baud fast", 2, "--baud");
        row("velmar-ctl set --port PORT --gain3 40", 2, "gain3");
        row("velmar-ctl set --gain1 47", 2, "--port");
        row("velmar-ctl watch --port PORT --format xml", 2, "--format");
        row("velmar-ctl watch --port PORT --count 0", 2, "--count");
        row("velmar-ctl reset --port PORT", 2, "reset");
        row("velmar-ctl", 2, "no command");
        row("velmar-ctl watch --port /nonexistent/velmar-line", 3, "/nonexistent/velmar-line");
        row("velmar-ctl set --defaults --port /nonexistent/velmar-line", 3,
            "/nonexistent/velmar-line");
        row("velmar-serial-port --record /nonexistent/dir/x", 1, "/nonexistent/dir/x");
        row("velmar-serial-port --baud x", 2, "--baud");
        row("velmar-serial-port --baud 0", 2, "--baud");
        row("velmar-serial-port stray", 2, "stray");
        row("velmar-serial-port --colour", 2, "colour");
    }

    // What ends well runs without a display: help and version need none. A
    // refusal comes before any window opens (offscreen all the same), and
    // nothing reaches the unit.
    void programs()
    {
        QFETCH(QString, line);
        QFETCH(int, exit_code);
        QFETCH(QString, said);
        const auto unit = start_unit();
        QVERIFY(unit);
        QStringList arguments = line.split(QLatin1Char(' '));
        arguments.replaceInStrings(QStringLiteral("PORT"), unit->slave_path());
        Child_process run(arguments.takeFirst() == QLatin1String("velmar-ctl") ? ctl
                                                                               : window_program);
        if (arguments.value(arguments.size() - 1).startsWith(QLatin1Char('>')))
            run.setStandardOutputFile(arguments.takeLast().mid(1));
        run.setProcessEnvironment(environment(exit_code != 0));
        run.start(arguments);
        QVERIFY(run.wait_for_exit());
        QCOMPARE(run.exit_code(), exit_code);
        const bool refused = exit_code != 0;
        if (exit_code >= 2)
            QCOMPARE(run.error_lines().size(), 1);
        // Where the output is lost, stderr may say so; a watch that heard
        // nothing still has the start of its record on stdout.
        const QStringList other = refused ? run.output_lines() : run.error_lines();
        if (exit_code != 1)
            QCOMPARE(other.filter(QRegularExpression(QStringLiteral("^(?!\\S+ start )"))),
                     QStringList());
        const QString told = (refused ? run.error_lines() : run.output_lines()).join('\n');
        QVERIFY2(QRegularExpression(said).match(told).hasMatch(), qPrintable(told));
        QTest::qWait(settle_ms);
        QCOMPARE(unit->control_frames_received(), 0);
    }

    void window_records_its_unit()
    {
        const auto unit = start_unit();
        QVERIFY(unit);
        QTemporaryDir files;
        QFile record(files.filePath(QStringLiteral("record.jsonl")));
        QVERIFY(record.open(QIODevice::ReadWrite | QIODevice::Unbuffered));
        const QByteArray earlier = R"({"event":"earlier"})";
        record.write(earlier + '\n');
        const auto lines = [&record] {
            return record.seek(0) ? at_any_time(complete_lines(record.readAll())) : QStringList();
        };
        Child_process window(window_program);
        window.setProcessEnvironment(environment(true));
        window.start({"--port", unit->slave_path(), "--record", record.fileName()});
        QTRY_VERIFY_WITH_TIMEOUT(
            lines().contains(R"({"time":"TIME","event":"connected","since":"TIME"})"),
            line_timeout_ms);
        window.terminate();
        QVERIFY(window.wait_for_exit());
        const QStringList written = lines();
        QCOMPARE(written.first(), QString::fromUtf8(earlier)); // appended to
        for (const QString &line : written.mid(1))
            QVERIFY2(QJsonDocument::fromJson(line.toUtf8())["time"] == "TIME", qPrintable(line));
        Child_process watch(ctl);
        watch.start({"watch", "--port", unit->slave_path(), "--count", "1"});
        QVERIFY(watch.wait_for_exit());
        QCOMPARE(watch.exit_code(), 0);
        const QString status = QStringLiteral("\"event\":\"status\"");
        QCOMPARE(written.filter(status).mid(0, 1),
                 at_any_time(watch.output_lines()).filter(status));
    }

    // The tool's own run, minus the process: what a command-line port does to
    // the window and to the saved choice.
    void start_port_keeps_the_saved_choice()
    {
        const auto unit = start_unit();
        QVERIFY(unit);
        clear_saved_settings();
        store_setting(QStringLiteral("SerialPort/SerialPort"), saved_port_index);
        store_setting(QStringLiteral("SerialPort/BaudRate"), saved_baud_index);
        const Window_command_line line = Window_command_line::parse(
            {"velmar-serial-port", "--port", unit->slave_path(), "--baud", "57600"});
        QCOMPARE(line.outcome, Window_command_line::Outcome::run);
        {
            Window_fixture w(line.start_port);
            const auto *ports = w.widget<QComboBox>(QStringLiteral("comboBox_SerialPort"));
            QCOMPARE(ports->currentText(), unit->slave_path());
            QCOMPARE(w.widget<QComboBox>(QStringLiteral("comboBox_BaudRate"))->currentText(),
                     QStringLiteral("57600"));
            QCOMPARE(shown(w.label(QStringLiteral("label_SerialPort_Ok"))),
                     Shown("Ok", "color : green"));
            QTRY_COMPARE_WITH_TIMEOUT(w.label(QStringLiteral("label_protocol_ver"))->text(),
                                      QStringLiteral("2.0, Ok"), line_timeout_ms);
        }
        QCOMPARE(saved_setting(QStringLiteral("SerialPort/SerialPort")).toInt(), saved_port_index);
        QCOMPARE(saved_setting(QStringLiteral("SerialPort/BaudRate")).toInt(), saved_baud_index);
    }
};

QTEST_MAIN(Command_line_test)
#include "tst_command_line.moc"
