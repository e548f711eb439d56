#include "support/child_process.h"
#include "support/debug_lines.h"
#include "support/pty_line.h"
#include "support/status_payload.h"
#include "support/test_settings.h"
#include "support/window_fixture.h"

#include <QtSerialPort/QSerialPortInfo>
#include <QtTest/QtTest>
#include <QtWidgets/QComboBox>
#include <QtWidgets/QLabel>
#include <QtWidgets/QMenuBar>
#include <QtWidgets/QPushButton>
#include <QtWidgets/QSpinBox>

#include <atomic>
#include <csignal>
#include <termios.h>
#include <thread>

namespace {

constexpr int line_timeout_ms = 5000, flood_bytes = 1 << 20, pulse_ms = 10;
constexpr qint64 lateness_limit_ms = 100, flood_limit_ms = 60000;
constexpr QPoint default_pos(200, 200);

QByteArray random_bytes(int size, unsigned seed) // size: a multiple of 4
{
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator(seed).fillRange(reinterpret_cast<quint32 *>(bytes.data()), size / 4);
    return bytes;
}

} // namespace

// The window's settings, its port and rate, and what it survives: a port
// another program holds, a flood of noise, a broken store.
class Faults_test : public QObject
{
    Q_OBJECT

    std::unique_ptr<Window_fixture> w;
    const QString port_key = QStringLiteral("SerialPort/SerialPort");
    const QString baud_key = QStringLiteral("SerialPort/BaudRate");
    const QString pos_key = QStringLiteral("MainWindow/pos");

    QComboBox *ports() { return w->widget<QComboBox>("comboBox_SerialPort"); }
    QComboBox *rates() { return w->widget<QComboBox>("comboBox_BaudRate"); }

    // Each window is made after its line and goes first: a line closed under
    // a port still open would leave the port's lock on a name the next
    // pseudo-terminal may take.

private Q_SLOTS:
    void initTestCase() { isolate_settings(); }
    void init() { clear_saved_settings(); }
    void cleanup() { w.reset(); }

    void constructed_state()
    {
        QElapsedTimer since_start;
        since_start.start();
        const auto w = make_window_without_port();
        const auto box = [&w](const char *name) { return w->widget<QSpinBox>(name); };
        for (QSpinBox *spin : {box("box_new_trshd"), box("box_current_trshd")})
            QVERIFY(spin->minimum() == -35 && spin->maximum() == 0 && spin->text() == "0 dBm");
        QCOMPARE(
            QVariantList({box("box_new_trshd")->isEnabled(), box("box_current_trshd")->isEnabled(),
                          w->window.menuBar()->actions().size()}),
            QVariantList({true, false, 0}));
        // The watchdog ticks without a port: a period of silence shows "Fault".
        const QLabel *receiving = w->label("label_receiving_status");
        QCOMPARE(shown(receiving), Shown("--", ""));
        QTRY_COMPARE_WITH_TIMEOUT(shown(receiving), Shown("Fault", "color: red"), 5000);
        QVERIFY(since_start.elapsed() >= quick_timing.watchdog_ms * 95 / 100);
    }

    void saves_on_change_rescan_and_an_empty_list_at_exit()
    {
        select_no_port();
        w = std::make_unique<Window_fixture>();
        rates()->setCurrentIndex(2);
        QCOMPARE(saved_setting(baud_key).toInt(), 2);
        QCOMPARE(saved_setting(port_key).toInt(), -1);
        Pty_device pty; // opened and closed by the tool, watched through its descriptors
        QVERIFY(pty.open());
        const int untouched = descriptors_on(pty.slave_path());
        select_port(w->window, pty.slave_path());
        const int pty_index = ports()->currentIndex();
        QCOMPARE(saved_setting(port_key).toInt(), pty_index);
        QCOMPARE(descriptors_on(pty.slave_path()), untouched + 1);
        // The list is rebuilt from the host's ports; the old port is closed.
        const auto host_ports = QSerialPortInfo::availablePorts();
        w->widget<QPushButton>("button_rescan")->click();
        QCOMPARE(descriptors_on(pty.slave_path()), untouched);
        QCOMPARE(ports()->count(), host_ports.size());
        for (int i = 0; i < host_ports.size(); ++i)
            QCOMPARE(ports()->itemText(i), host_ports.at(i).portName());
        // An empty list selects nothing and saves nothing; a new first port is saved.
        const int saved_index = host_ports.isEmpty() ? pty_index : 0;
        QCOMPARE(saved_setting(port_key).toInt(), saved_index);
        ports()->clear();
        QCOMPARE(w->label("label_SerialPort_Ok")->text(), QStringLiteral("--"));
        QCOMPARE(saved_setting(port_key).toInt(), saved_index);
        w.reset();
        QCOMPARE(saved_setting(port_key).toInt(), -1);
    }

    void opens_the_selected_port_and_follows_the_rate()
    {
        w = make_window_without_port();
        Pty_device pty;
        QVERIFY2(pty.open(), qPrintable(pty.error_string()));
        const auto line_speed = [&pty] {
            termios settings{}; // the master side shows the slave's settings
            return tcgetattr(pty.fd(), &settings) == 0 ? cfgetospeed(&settings) : B0;
        };
        const QLabel *port_label = w->label("label_SerialPort_Ok");
        QCOMPARE(shown(port_label), Shown("--", "color : grey"));
        select_port(w->window, pty.slave_path());
        QCOMPARE(shown(port_label), Shown("Ok", "color : green"));
        QCOMPARE(line_speed(), speed_t(B115200));
        rates()->setCurrentIndex(rates()->findData(9600));
        QCOMPARE(line_speed(), speed_t(B9600));
        QCOMPARE(shown(port_label), Shown("Ok", "color : green"));
        w->widget<QPushButton>("button_default_set")->click();
        const QByteArray defaults = QByteArray::fromHex("525004202020E4D486");
        QCOMPARE(collect(pty, defaults.size()), defaults);
        w.reset(); // lets go of the line before it closes
    }

    void port_held_by_another_program()
    {
        Pty_device line;
        QVERIFY2(line.open(), qPrintable(line.error_string()));
        const auto w = make_window_without_port();
        QProcess holder;
        holder.start(QStringLiteral(VELMAR_UNIT_SIM_PATH), {"--device", line.slave_path()});
        QVERIFY2(!collect(line, 1).isEmpty(), "the other program never opened the port");
        Debug_lines debug; // one line, that says why
        select_port(w->window, line.slave_path());
        const QStringList lines = debug.take();
        QCOMPARE(lines.size(), 1);
        QVERIFY2(open_failure_line(line.slave_path()).match(lines.first()).hasMatch(),
                 qPrintable(lines.first()));
        QCOMPARE(shown(w->label("label_SerialPort_Ok")), Shown("Fault", "color: red"));
        SIGNAL_CHILD(holder, SIGTERM); // the simulator ends cleanly on it
        QVERIFY(holder.waitForFinished(line_timeout_ms) &&
                holder.exitStatus() == QProcess::NormalExit && holder.exitCode() == 0);
    }

    void flood_of_noise_then_good_frames()
    {
        Pty_device line;
        QVERIFY2(line.open(), qPrintable(line.error_string()));
        const auto w = make_window_without_port();
        select_port(w->window, line.slave_path());
        std::atomic<int> written{-1}; // -1 while writing, then whether it all went out
        QElapsedTimer clock;
        qint64 last_pulse = 0, worst_lateness = 0;
        QEventLoop loop; // a plain event loop, as the tool runs, until all is read
        QTimer pulse;
        connect(&pulse, &QTimer::timeout, &loop, [&]() {
            const qint64 now = clock.elapsed();
            worst_lateness = qMax(worst_lateness, now - last_pulse - pulse_ms);
            last_pulse = now;
            if ((written >= 0 && line.unread_by_slave() == 0) || now > flood_limit_ms)
                loop.quit();
        });
        clock.start();
        pulse.start(pulse_ms);
        std::thread writer(
            [&]() { written = line.write_all(random_bytes(flood_bytes, 20240609u)); });
        loop.exec();
        writer.join();
        QVERIFY(written == 1 && line.unread_by_slave() == 0);
        qInfo("flood: %d random bytes read in %d ms; worst lateness of a %d ms timer: %d ms",
              flood_bytes, int(clock.elapsed()), pulse_ms, int(worst_lateness));
        QVERIFY(worst_lateness <= lateness_limit_ms);
        // A frame the noise started may swallow the first good one; the next ones show.
        const QByteArray good = status_frame(QByteArray::fromHex("110F0F022900C8FF9C0516000000"));
        QVERIFY(line.write_all(good + good + good));
        QTRY_COMPARE_WITH_TIMEOUT(w->label("label_sfp1_tx_pwr_1")->text(), "20.0 dBm",
                                  line_timeout_ms);
    }

    // A store, whatever it holds, gives its values or the first-start fallbacks, and the
    // window saves its own at exit: junk is rewritten whole and clean.
    void restores_and_saves_at_exit_data()
    {
        QTest::addColumn<QByteArray>("stored"); // the store's file
        QTest::addColumn<bool>("writable");
        QTest::addColumn<int>("expected_port");
        QTest::addColumn<int>("expected_baud");
        QTest::addColumn<QPoint>("expected_pos");
        const QList<qint32> standard = QSerialPortInfo::standardBaudRates();
        const int last = standard.size() - 1, baud = standard.indexOf(115200),
                  first = QSerialPortInfo::availablePorts().isEmpty() ? -1 : 0;
        QTest::newRow("first start") << QByteArray() << true << first << baud << default_pos;
        QTest::newRow("saved, last rate")
            << "[SerialPort]\nSerialPort=0\nBaudRate=" + QByteArray::number(last) +
                   "\n[MainWindow]\npos=@Point(321 -7)\n"
            << true << first << last << QPoint(321, -7);
        QTest::newRow("out of range")
            << QByteArray("[SerialPort]\nSerialPort=100000\nBaudRate=-3\n[MainWindow]\npos=5\n")
            << true << -1 << -1 << default_pos;
        QTest::newRow("binary junk")
            << random_bytes(4096, 7u) << true << first << baud << default_pos;
        QTest::newRow("wrong types") << QByteArray("[SerialPort]\nBaudRate=@ByteArray(\\x1)\n"
                                                   "[MainWindow]\npos=@Rect(1 2 3 4)\n")
                                     << true << first << 0 << default_pos;
        QTest::newRow("unwritable") << QByteArray() << false << first << baud << default_pos;
    }

    void restores_and_saves_at_exit()
    {
        QFETCH(QByteArray, stored);
        QFETCH(bool, writable);
        QFETCH(int, expected_port);
        QFETCH(int, expected_baud);
        QTemporaryFile blocker; // even root cannot make a directory under a plain file
        const auto restore = qScopeGuard([] { isolate_settings(); });
        if (writable) {
            QFile file(QSettings(QSettings::UserScope, "velmar_serial_port", QString()).fileName());
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write(stored) == stored.size());
        } else {
            QVERIFY(blocker.open());
            QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope,
                               blocker.fileName() + QStringLiteral("/settings"));
        }
        w = std::make_unique<Window_fixture>();
        QCOMPARE(ports()->currentIndex(), expected_port);
        QCOMPARE(rates()->currentIndex(), expected_baud);
        QTEST(w->window.pos(), "expected_pos");
        // Restoring the selection is no change of it: nothing is written yet.
        if (stored.isEmpty() && writable)
            QVERIFY(!saved_setting(port_key).isValid() && !saved_setting(baud_key).isValid());
        w->window.move(345, 67);
        if (!writable)
            QTest::ignoreMessage(QtDebugMsg, QRegularExpression("^Failed to save settings: "));
        w.reset();
        // An unwritable store stays empty.
        QCOMPARE(saved_setting(port_key).toInt(), writable ? expected_port : 0);
        QCOMPARE(saved_setting(baud_key).toInt(), writable ? expected_baud : 0);
        QCOMPARE(saved_setting(pos_key).toPoint(), writable ? QPoint(345, 67) : QPoint());
    }
};

QTEST_MAIN(Faults_test)
#include "tst_faults.moc"
