// The window program over a whole run: its command line, a record that
// goes on or stops and says so, a port given at start that is opened once
// it is there, and Ctrl-C or SIGTERM that close the window as its close
// button does.
#include "app/run_window.h"
#include "app/window_command_line.h"
#include "simulator/unit_simulator.h"
#include "support/child_process.h"
#include "support/played_unit.h"
#include "support/pty_line.h"
#include "support/record_text.h"
#include "support/test_settings.h"
#include "support/window_fixture.h"

#include <QtCore/QJsonDocument>
#include <QtCore/QTemporaryDir>
#include <QtTest/QtTest>
#include <QtWidgets/QComboBox>
#include <QtWidgets/QLabel>
#include <QtWidgets/QStatusBar>

#include <csignal>

namespace {

constexpr int line_timeout_ms = 10000;
constexpr int saved_port_index = 5;
constexpr int saved_baud_index = 3;

const QString window_program = QStringLiteral(VELMAR_WINDOW_PATH);

} // namespace

class Window_run_test : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;

private Q_SLOTS:
    void initTestCase() { isolate_settings(); }

    void command_lines_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<int>("exit_code");
        // A pattern for stdout, or for the one line on stderr of a refusal.
        QTest::addColumn<QString>("said");
        const auto row = [](const QString &line, int exit_code, const QString &said) {
            QTest::newRow(qPrintable(line)) << line << exit_code << said;
        };
        row("--help", 0, "^Usage: \\S*velmar-serial-port \\[options\\]\\n");
        row("--version", 0, "^velmar-serial-port \\d+\\.\\d+\\.\\d+$");
        row("--baud 0", 2, "--baud");
        row("--port rfc2217://[::1]", 2,
            "^velmar-serial-port: --port: rfc2217://\\[::1\\]: no port: expected");
        row("stray", 2, "stray");
        row("--colour", 2, "colour");
    }

    // What ends well runs without a display: help and version need none. A
    // refusal comes before any window opens (offscreen all the same).
    void command_lines()
    {
        QFETCH(QString, line);
        QFETCH(int, exit_code);
        QFETCH(QString, said);
        Child_process run(window_program);
        run.setProcessEnvironment(program_environment(dir.path(), exit_code != 0));
        run.start(line.split(QLatin1Char(' ')));
        QVERIFY(run.wait_for_exit());
        QCOMPARE(run.exit_code(), exit_code);
        const bool refused = exit_code != 0;
        const QStringList told = refused ? run.error_lines() : run.output_lines();
        QCOMPARE(refused ? run.output_lines() : run.error_lines(), QStringList());
        QVERIFY(!refused || told.size() == 1);
        QVERIFY2(QRegularExpression(said).match(told.join('\n')).hasMatch(),
                 qPrintable(told.join('\n')));
    }

    // Whatever Qt's lock file says: the same device under another name.
    void a_device_velmar_ctl_holds_is_refused_with_its_name()
    {
        Unit_simulator unit;
        unit.set_link_path(dir.filePath(QStringLiteral("held")));
        QVERIFY(unit.start_on_pty());
        Child_process watch(QStringLiteral(VELMAR_CTL_PATH));
        watch.start({"watch", "--port", dir.filePath(QStringLiteral("held"))});
        QTRY_VERIFY_WITH_TIMEOUT(!watch.output_lines().isEmpty(), line_timeout_ms);
        auto w = make_window_without_port();
        QTest::ignoreMessage(QtDebugMsg, open_failure_line(unit.slave_path()));
        select_port(w->window, unit.slave_path());
        QCOMPARE(shown(w->label(QStringLiteral("label_SerialPort_Ok"))).first,
                 QStringLiteral("Fault"));
        QCOMPARE(w->widget<QStatusBar>(QStringLiteral("statusBar"))->currentMessage(),
                 QStringLiteral("Cannot open %1: held by velmar-ctl (pid %2)")
                     .arg(unit.slave_path())
                     .arg(watch.processId()));
    }

    // Opened once it is there, at the rate given, and the saved choice stays. Its
    // record is appended to, every line timed, and ended as the window closes.
    // (It sets the program's style and font, as the last test does.)
    void start_port_opened_once_there()
    {
        clear_saved_settings();
        store_setting(QStringLiteral("SerialPort/SerialPort"), saved_port_index);
        store_setting(QStringLiteral("SerialPort/BaudRate"), saved_baud_index);
        const QString link = dir.filePath(QStringLiteral("unit"));
        QFile file(dir.filePath(QStringLiteral("late.jsonl")));
        const QByteArray earlier = R"({"event":"earlier"})";
        QVERIFY(file.open(QIODevice::ReadWrite | QIODevice::Unbuffered) &&
                file.write(earlier + '\n') > 0);
        const auto lines = [&file] {
            return file.seek(0) ? at_any_time(complete_lines(file.readAll())) : QStringList();
        };
        const Window_command_line line = Window_command_line::parse(
            {"velmar-serial-port", "--port", link, "--baud", "57600", "--record", file.fileName()});
        QCOMPARE(line.outcome, Window_command_line::Outcome::run);
        Unit_simulator unit;
        unit.set_link_path(link);
        QStringList seen; // once the record says the unit is connected
        QTest::ignoreMessage(QtDebugMsg, open_failure_line(link));
        const int exit_code = run_window(line, [&](Session &, MainWindow &window) {
            QVERIFY(unit.start_on_pty());
            auto *poll = new QTimer(&window);
            QObject::connect(poll, &QTimer::timeout, &window, [&, poll] {
                if (!lines().contains(R"({"time":"TIME","event":"connected","since":"TIME"})"))
                    return;
                poll->stop();
                for (const char *name : {"comboBox_SerialPort", "comboBox_BaudRate"})
                    seen << window.findChild<QComboBox *>(name)->currentText();
                seen << shown(window.findChild<QLabel *>("label_SerialPort_Ok")).second
                     << window.findChild<QLabel *>("label_protocol_ver")->text();
                window.close();
            });
            poll->start(line_timeout_ms / 100);
            QTimer::singleShot(line_timeout_ms, &window, &QWidget::close);
        });
        QCOMPARE(exit_code, 0);
        QCOMPARE(seen, (QStringList{link, "57600", "color : green", "2.0, Ok"}));
        const QStringList written = lines();
        QCOMPARE(written.first(), QString::fromUtf8(earlier));
        QVERIFY(written.contains(
            R"({"time":"TIME","event":"port_unavailable","detail":"No such file or directory"})"));
        QCOMPARE(written.filter(R"("event":"reopened")").size(), 1);
        QCOMPARE(written.last(), R"({"time":"TIME","event":"end","reason":"closed"})");
        for (const QString &line : written.mid(1))
            QVERIFY2(QJsonDocument::fromJson(line.toUtf8())["time"] == "TIME", qPrintable(line));
        QCOMPARE(saved_setting(QStringLiteral("SerialPort/SerialPort")).toInt(), saved_port_index);
        QCOMPARE(saved_setting(QStringLiteral("SerialPort/BaudRate")).toInt(), saved_baud_index);
    }

    // The program itself, its record in a file of 4 KB at most: it stops with
    // a whole line and one line on stderr, and the window goes on until the
    // signal, which saves its settings.
    void signal_ends_a_run_whose_record_stopped_data()
    {
        QTest::addColumn<int>("signal_number");
        QTest::addColumn<QString>("record"); // empty: a file in the test's folder
        QTest::addColumn<QString>("reason");
        QTest::newRow("Ctrl-C") << SIGINT << QString() << "File too large";
        QTest::newRow("its first line refused") << SIGTERM << "/dev/full"
                                                << "No space left on device";
    }

    void signal_ends_a_run_whose_record_stopped()
    {
        QFETCH(int, signal_number);
        QFETCH(QString, record);
        QFETCH(QString, reason);
        const QTemporaryDir config;
        const bool in_folder = record.isEmpty();
        if (in_folder)
            record = config.filePath(QStringLiteral("record.jsonl"));
        Played_unit unit;
        QVERIFY(unit.open());
        unit.each_time = [](Status_payload &status) { // every status a line
            status.threshold = int8_t(status.threshold == -35 ? -1 : status.threshold - 1);
        };
        unit.talk();
        Child_process window(window_program);
        window.setProcessEnvironment(program_environment(config.path()));
        window.start_with_small_files({"--port", unit.path(), "--record", record});
        const auto told = [&window] { return window.error_lines().filter("recording to"); };
        QTRY_COMPARE_WITH_TIMEOUT(int(told().size()), 1, line_timeout_ms);
        SIGNAL_CHILD(window, signal_number);
        QVERIFY(window.wait_for_exit());
        QCOMPARE(window.exit_code(), 0);
        QCOMPARE(told(),
                 QStringList("velmar-serial-port: recording to " + record + " stopped: " + reason));
        QFile file(record);
        QVERIFY(!in_folder || file.open(QIODevice::ReadOnly));
        QCOMPARE(in_folder ? first_broken_line(file.readAll()) : QByteArray(), QByteArray());
        const QSettings saved(config.filePath(QStringLiteral("velmar_serial_port.conf")),
                              QSettings::IniFormat);
        QVERIFY(saved.contains(QStringLiteral("MainWindow/pos")));
    }

    // The start line goes out as the window opens its port, while the
    // window is being made: a file that refuses it shows in the status bar
    // all the same, as a later refusal does. (Last: it sets the program's
    // style and font.)
    void record_refused_at_its_first_line_shows()
    {
        Pty_device line;
        QVERIFY(line.open());
        const Window_command_line command = Window_command_line::parse(
            {"velmar-serial-port", "--port", line.slave_path(), "--record", "/dev/full"});
        QString shown;
        const int exit_code = run_window(command, [&shown](Session &, MainWindow &window) {
            shown = window.findChild<QStatusBar *>(QStringLiteral("statusBar"))->currentMessage();
            QTimer::singleShot(0, &window, &QWidget::close);
        });
        QCOMPARE(exit_code, 0);
        QCOMPARE(shown, QStringLiteral("Recording to /dev/full stopped: No space left on device"));
    }
};

QTEST_MAIN(Window_run_test)
#include "tst_window_run.moc"
