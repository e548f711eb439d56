// The window over a whole run: a record that stops says so and stays whole, a
// port given at start that is not there yet is opened once it is, and Ctrl-C
// or SIGTERM close the window as its close button does.
#include "app/mainwindow.h"
#include "app/window_record.h"
#include "simulator/unit_simulator.h"
#include "support/child_process.h"
#include "support/process_descriptors.h"
#include "support/pty_line.h"
#include "support/status_payload.h"
#include "support/test_settings.h"
#include "support/window_fixture.h"

#include <QtCore/QJsonDocument>
#include <QtCore/QJsonObject>
#include <QtCore/QTemporaryDir>
#include <QtTest/QtTest>
#include <QtWidgets/QLabel>
#include <QtWidgets/QSpinBox>
#include <QtWidgets/QStatusBar>

#include <csignal>
#include <sys/resource.h>
#include <unistd.h>

namespace {

constexpr rlim_t record_limit = 3000; // bytes: two status lines and part of a third
constexpr int statuses = 5;
constexpr int line_timeout_ms = 10000;

QByteArray contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The record's whole lines as JSON objects; one that is none is an empty object.
QList<QJsonObject> record_lines(const QString &path)
{
    QList<QJsonObject> lines;
    const QByteArray text = contents(path);
    for (const QByteArray &line : text.left(text.lastIndexOf('\n')).split('\n'))
        lines.append(QJsonDocument::fromJson(line).object());
    return lines;
}

// Standard error into a file while it lives.
class Captured_stderr
{
public:
    explicit Captured_stderr(const QString &path) : saved(::dup(STDERR_FILENO)), file(path)
    {
        file.open(QIODevice::WriteOnly);
        ::dup2(file.handle(), STDERR_FILENO);
    }
    ~Captured_stderr()
    {
        ::dup2(saved, STDERR_FILENO);
        ::close(saved);
    }

private:
    int saved;
    QFile file;
};

} // namespace

class Window_run_test : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;

private Q_SLOTS:
    void initTestCase() { isolate_settings(); }

    void record_stops_whole()
    {
        const QString path = dir.filePath(QStringLiteral("full.jsonl"));
        const QString errors = dir.filePath(QStringLiteral("stderr"));
        auto w = make_window_without_port();
        Window_record record(w->session, path);
        QVERIFY(record.open());
        connect(&record, &Window_record::stopped, &w->window, &MainWindow::show_record_stopped);
        {
            // As on a full disk, and not a death by SIGXFSZ.
            ::signal(SIGXFSZ, SIG_IGN);
            rlimit before{};
            ::getrlimit(RLIMIT_FSIZE, &before);
            rlimit small = before;
            small.rlim_cur = record_limit;
            ::setrlimit(RLIMIT_FSIZE, &small);
            const Captured_stderr captured(errors);
            for (int threshold = -statuses; threshold < 0; ++threshold) {
                Status_payload unit;
                unit.threshold = int8_t(threshold);
                w->read(unit.frame());
            }
            ::setrlimit(RLIMIT_FSIZE, &before);
        }
        const QString said = QStringLiteral("Recording to %1 stopped: File too large").arg(path);
        QCOMPARE(w->widget<QStatusBar>(QStringLiteral("statusBar"))->currentMessage(), said);
        QFile told(errors);
        QVERIFY(told.open(QIODevice::ReadOnly));
        QCOMPARE(
            QString::fromLocal8Bit(told.readAll()),
            QStringLiteral("tst_window_run: recording to %1 stopped: File too large\n").arg(path));
        QVERIFY(contents(path).endsWith('\n'));
        const QList<QJsonObject> lines = record_lines(path);
        QVERIFY(lines.size() > 1);
        for (const QJsonObject &line : lines)
            QCOMPARE(line.value(QStringLiteral("event")).toString(), QStringLiteral("status"));
        // The window goes on showing the unit.
        QCOMPARE(w->widget<QSpinBox>(QStringLiteral("box_current_trshd"))->value(), -1);
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
        const auto *port = window.findChild<QLabel *>(QStringLiteral("label_SerialPort_Ok"));
        QTRY_COMPARE_WITH_TIMEOUT(port->text(), QStringLiteral("Ok"), line_timeout_ms);
        QTRY_VERIFY_WITH_TIMEOUT(record_lines(path).size() >= 3, line_timeout_ms);
        QStringList port_events;
        for (const QJsonObject &line : record_lines(path)) {
            const QString event = line.value(QStringLiteral("event")).toString();
            if (event.startsWith(QLatin1String("port")) || event == QLatin1String("reopened"))
                port_events << event + QLatin1Char(' ') +
                                   line.value(QStringLiteral("detail")).toString();
        }
        QCOMPARE(port_events,
                 QStringList({"port_unavailable No such file or directory", "reopened "}));
    }

    void signals_close_it_as_its_button_does_data()
    {
        QTest::addColumn<int>("signal_number");
        QTest::newRow("Ctrl-C") << SIGINT;
        QTest::newRow("SIGTERM") << SIGTERM;
    }

    void signals_close_it_as_its_button_does()
    {
        QFETCH(int, signal_number);
        const QTemporaryDir config;
        Pty_device line;
        QVERIFY(line.open());
        const QString program = QStringLiteral(VELMAR_WINDOW_PATH);
        Child_process window(program);
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), config.path());
        window.setProcessEnvironment(environment);
        window.start({QStringLiteral("--port"), line.slave_path()});
        QTRY_VERIFY_WITH_TIMEOUT(process_holds_open(window.processId(), program, line.slave_path()),
                                 line_timeout_ms);
        ::kill(pid_t(window.processId()), signal_number);
        QVERIFY(window.wait_for_exit());
        QCOMPARE(window.exit_code(), 0);
        QSettings saved(config.filePath(QStringLiteral("velmar_serial_port.conf")),
                        QSettings::IniFormat);
        QVERIFY(saved.contains(QStringLiteral("MainWindow/pos")));
    }
};

QTEST_MAIN(Window_run_test)
#include "tst_window_run.moc"
