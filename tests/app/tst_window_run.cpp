// The window over a whole run: a record that stops says so and stays whole, a
// port given at start that is not there yet is opened once it is, and Ctrl-C
// or SIGTERM close the window as its close button does.
#include "app/window_record.h"
#include "simulator/unit_simulator.h"
#include "support/child_process.h"
#include "support/pty_line.h"
#include "support/status_payload.h"
#include "support/test_settings.h"
#include "support/window_fixture.h"

#include <QtCore/QJsonDocument>
#include <QtCore/QTemporaryDir>
#include <QtTest/QtTest>
#include <QtWidgets/QLabel>
#include <QtWidgets/QStatusBar>

#include <csignal>

namespace {

constexpr int line_timeout_ms = 10000;

} // namespace

class Window_run_test : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;

private Q_SLOTS:
    void initTestCase() { isolate_settings(); }

    void stopped_record_shows_in_the_status_bar()
    {
        auto w = make_window_without_port();
        Window_record record(w->session, QStringLiteral("/dev/full"));
        QVERIFY(record.open());
        connect(&record, &Window_record::stopped, &w->window, &MainWindow::show_record_stopped);
        w->read(Status_payload().frame());
        QCOMPARE(w->widget<QStatusBar>(QStringLiteral("statusBar"))->currentMessage(),
                 QStringLiteral("Recording to /dev/full stopped: No space left on device"));
    }

    void start_port_opened_once_there()
    {
        clear_saved_settings();
        const QString link = dir.filePath(QStringLiteral("unit"));
        const QString path = dir.filePath(QStringLiteral("late.jsonl"));
        Unit_simulator unit;
        unit.set_link_path(link);
        Session session;
        Window_record record(session, path);
        QVERIFY(record.open());
        QTest::ignoreMessage(QtDebugMsg, open_failure_line(link));
        MainWindow window(session, Start_port{link, 0});
        QVERIFY(unit.start_on_pty());
        QFile file(path);
        QByteArray text;
        QVERIFY(file.open(QIODevice::ReadOnly));
        QTRY_VERIFY_WITH_TIMEOUT((text += file.readAll()).contains("reopened"), line_timeout_ms);
        QVERIFY2(text.contains(R"("event":"port_unavailable","detail":"No such file or directory"})"
                               "\n"),
                 text.constData());
        QCOMPARE(window.findChild<QLabel *>(QStringLiteral("label_SerialPort_Ok"))->text(),
                 QStringLiteral("Ok"));
    }

    // The program itself, its record in a file of 4 KB at most: it stops with
    // a whole line and one line on stderr, and the window goes on until the
    // signal, which saves its settings.
    void signal_ends_a_run_whose_record_stopped_data()
    {
        QTest::addColumn<int>("signal_number");
        QTest::newRow("Ctrl-C") << SIGINT;
        QTest::newRow("SIGTERM") << SIGTERM;
    }

    void signal_ends_a_run_whose_record_stopped()
    {
        QFETCH(int, signal_number);
        const QTemporaryDir config;
        const QString record = config.filePath(QStringLiteral("record.jsonl"));
        Pty_device line;
        QVERIFY(line.open());
        Status_payload unit;
        QTimer talk; // every status another threshold: every one a line
        connect(&talk, &QTimer::timeout, this, [&] {
            unit.threshold = int8_t(unit.threshold == -35 ? -1 : unit.threshold - 1);
            if (line.unread_by_slave() == 0)
                line.write_all(unit.frame());
        });
        talk.start(20);
        Child_process window(QStringLiteral("/bin/sh"));
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), config.path());
        window.setProcessEnvironment(environment);
        window.start({"-c", "ulimit -f 8 && exec \"$0\" \"$@\"", VELMAR_WINDOW_PATH, "--port",
                      line.slave_path(), "--record", record});
        const auto told = [&window] { return window.error_lines().filter("recording to"); };
        QTRY_COMPARE_WITH_TIMEOUT(int(told().size()), 1, line_timeout_ms);
        ::kill(pid_t(window.processId()), signal_number);
        QVERIFY(window.wait_for_exit());
        QCOMPARE(window.exit_code(), 0);
        QCOMPARE(told(), QStringList("velmar-serial-port: recording to " + record +
                                     " stopped: File too large"));
        QFile file(record);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QList<QByteArray> lines = file.readAll().split('\n');
        QVERIFY(lines.takeLast().isEmpty());
        for (const QByteArray &written : lines)
            QVERIFY2(QJsonDocument::fromJson(written).isObject(), written.constData());
        const QSettings saved(config.filePath(QStringLiteral("velmar_serial_port.conf")),
                              QSettings::IniFormat);
        QVERIFY(saved.contains(QStringLiteral("MainWindow/pos")));
    }
};

QTEST_MAIN(Window_run_test)
#include "tst_window_run.moc"
