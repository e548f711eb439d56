#include "simulator/unit_simulator.h"
#include "support/child_process.h"
#include "support/debug_lines.h"
#include "support/pty_line.h"
#include "support/status_payload.h"
#include "support/test_settings.h"
#include "support/window_fixture.h"

#include <QtTest/QtTest>
#include <QtWidgets/QComboBox>
#include <QtWidgets/QLabel>

#include <atomic>
#include <csignal>
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

#define WAIT_FOR_TEXT(name, expected)                                                              \
    QTRY_COMPARE_WITH_TIMEOUT(w->label(#name)->text(), QString(expected), line_timeout_ms)

class Faults_test : public QObject
{
    Q_OBJECT

    // Each window is made after its line and goes first: a line closed under
    // a port still open would leave the port's lock on a name the next
    // pseudo-terminal may take.

private Q_SLOTS:
    void initTestCase() { isolate_settings(); }

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
        WAIT_FOR_TEXT(label_sfp1_tx_pwr_1, "20.0 dBm");
    }

    void unknown_versions_at_the_limits_data()
    {
        QTest::addColumn<int>("version");
        for (int version : {0x00, 0x0F, 0x12, 0x1F, 0x21, 0x30, 0xFF})
            QTest::addRow("%d.%d", version >> 4, version & 0xF) << version;
    }

    void unknown_versions_at_the_limits()
    {
        QFETCH(int, version);
        Unit_simulator unit;
        const QString at_the_limits = QStringLiteral(
            "drift off; sfp1.power1 -3276.8; sfp1.temp 15; sfp2.type other; sfp2.dir1 unassigned;"
            "sfp_eth.type ethernet; sfp_eth.dir2 rx; sfp_eth.power2 3276.7; version %1");
        for (const QString &command : at_the_limits.arg(version).split(';'))
            QVERIFY(unit.execute(command));
        QVERIFY2(unit.start_on_pty(), qPrintable(unit.error_string()));
        const auto w = make_window_without_port();
        select_port(w->window, unit.slave_path());
        WAIT_FOR_TEXT(label_protocol_ver,
                      QString("%1, Version mistmatch").arg(QTest::currentDataTag()));
        QStringList texts;
        for (const char *name : {"label_sfp1_rx_pwr_1", "label_sfp1_temp", "label_sfp2_type",
                                 "label_sfp2_rx_pwr_1", "label_sfp_eth_rx_pwr_2"})
            texts << w->label(name)->text();
        QCOMPARE(texts, QStringList({"-3276.8 dBm", "100 C", "Unknown", "--", "3276.7 dBm"}));
    }

    void broken_settings_fall_back_data()
    {
        QTest::addColumn<QByteArray>("stored"); // empty: the store cannot be written at all
        QTest::addColumn<int>("baud_index");    // -1: the first-start default
        QTest::newRow("binary junk") << random_bytes(4096, 7u) << -1;
        QTest::newRow("wrong types") << QByteArray("[SerialPort]\nBaudRate=@ByteArray(\\x1)\n"
                                                   "[MainWindow]\npos=@Rect(1 2 3 4)\n")
                                     << 0;
        QTest::newRow("unwritable") << QByteArray() << -1;
    }

    void broken_settings_fall_back()
    {
        QFETCH(QByteArray, stored);
        QFETCH(int, baud_index);
        const bool writable = !stored.isEmpty();
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
        const auto w = std::make_unique<Window_fixture>();
        auto *rates = w->widget<QComboBox>("comboBox_BaudRate");
        QCOMPARE(rates->currentIndex(), baud_index >= 0 ? baud_index : rates->findData(115200));
        QCOMPARE(w->window.pos(), default_pos);
        if (!writable)
            QTest::ignoreMessage(QtDebugMsg, QRegularExpression("^Failed to save settings: "));
        rates->setCurrentIndex(rates->currentIndex() == 0 ? 1 : 0); // saves
        // Junk is rewritten whole and clean; an unwritable store stays empty.
        QCOMPARE(saved_setting("SerialPort/BaudRate").toInt(),
                 writable ? rates->currentIndex() : 0);
        QCOMPARE(saved_setting("MainWindow/pos").toPoint(), writable ? default_pos : QPoint());
    }
};

QTEST_MAIN(Faults_test)
#include "tst_faults.moc"
