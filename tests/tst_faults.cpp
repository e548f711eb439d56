// The tool against a hostile world, end to end on a pseudo-terminal; figures go to qInfo.

#include "support/pty_window.h"
#include "support/status_payload.h"
#include "support/test_settings.h"
#include "tools/unit_simulator.h"

#include <QtCore/QElapsedTimer>
#include <QtCore/QProcess>
#include <QtCore/QRandomGenerator>
#include <QtCore/QSettings>
#include <QtCore/QTemporaryFile>
#include <QtTest/QtTest>

#include <atomic>
#include <thread>

namespace {

constexpr int line_timeout_ms = 5000;
constexpr int idle_measure_ms = 3000;
constexpr double idle_cpu_limit = 0.05;
constexpr int flood_bytes = 1024 * 1024;
constexpr int pulse_ms = 10;
constexpr qint64 lateness_limit_ms = 100;
constexpr qint64 flood_limit_ms = 60000;
constexpr QPoint default_pos(200, 200);

QByteArray random_bytes(int size, unsigned seed)
{
    QByteArray bytes(size, Qt::Uninitialized); // size: a multiple of 4
    QRandomGenerator(seed).fillRange(reinterpret_cast<quint32 *>(bytes.data()), size / 4);
    return bytes;
}

} // namespace

#define WAIT_FOR_TEXT(label, expected)                                                             \
    QTRY_COMPARE_WITH_TIMEOUT(ui().label->text(), QStringLiteral(expected), line_timeout_ms)

class Faults_test : public QObject
{
    Q_OBJECT

    std::unique_ptr<Probed_window> w;
    Ui::MainWindow &ui() { return w->probe.ui(); }
    void select(const QString &path) { select_port(w->probe, path); }

    // The named labels' texts, or their style sheets.
    QStringList shown(std::initializer_list<const char *> names, bool sheets = false) const
    {
        QStringList result;
        for (const char *name : names) {
            const QLabel *label = w->window.findChild<QLabel *>(QLatin1String(name));
            result << (label && sheets ? label->styleSheet() : label ? label->text() : QString());
        }
        return result;
    }

private Q_SLOTS:
    void initTestCase() { isolate_settings(); }
    void cleanup() { w.reset(); }

    void adapter_vanishes_mid_frame()
    {
        w = make_window_without_port();
        auto line = std::make_unique<Pty_device>();
        QVERIFY2(line->open(), qPrintable(line->error_string()));
        select(line->slave_path());
        const QByteArray frame = Status_payload().frame();
        QVERIFY(line->write_all(frame + frame));
        WAIT_FOR_TEXT(label_protocol_ver, "2.0, Ok");
        WAIT_FOR_TEXT(label_receiving_status, "Ok");
        QVERIFY(line->write_all(frame.left(frame.size() / 2)));
        QTRY_COMPARE_WITH_TIMEOUT(w->probe.receiver().state(), Frame_receiver::wait_payload,
                                  line_timeout_ms);
        QTest::ignoreMessage(QtDebugMsg, QRegularExpression(QStringLiteral("Serial port lost: ")));
        line.reset(); // the adapter is pulled out
        WAIT_FOR_TEXT(label_SerialPort_Ok, "Fault");
        const double share = cpu_share_while_waiting(idle_measure_ms);
        qInfo("after adapter loss: %.2f%% of one core over %d ms", share * 100.0, idle_measure_ms);
        QVERIFY2(share < idle_cpu_limit, qPrintable(QString::number(share * 100.0) + "%"));
        // Nothing reopens by itself, and the watchdog has cleared the display.
        const auto names = {
            "label_SerialPort_Ok", "label_receiving_status", "label_protocol_ver", "label_crc_ctrl",
            "label_sfp1_type",     "label_sfp1_rx_pwr_1",    "label_in_out_1",     "label_system"};
        QCOMPARE(shown(names),
                 QStringList({"Fault", "Fault", "--", "--", "--", "--", "---:", "--"}));
        QCOMPARE(shown(names, true),
                 QStringList({"color: red", "color: red", "color: black", "color: black",
                              "color: black", "color: black", "color: black", "color: grey"}));
        Unit_simulator unit;
        unit.settings().drift = false;
        QVERIFY2(unit.start_on_pty(), qPrintable(unit.error_string()));
        select(unit.slave_path());
        QCOMPARE(ui().label_SerialPort_Ok->styleSheet(), QStringLiteral("color : green"));
        WAIT_FOR_TEXT(label_protocol_ver, "2.0, Ok");
        WAIT_FOR_TEXT(label_receiving_status, "Ok");
    }

    void port_held_by_another_program()
    {
        w = make_window_without_port();
        Pty_device line;
        QVERIFY2(line.open(), qPrintable(line.error_string()));
        QProcess holder;
        holder.start(QStringLiteral(VELMAR_UNIT_SIM_PATH),
                     {QStringLiteral("--device"), line.slave_path()});
        QVERIFY(holder.waitForStarted(line_timeout_ms));
        // Its frames reaching the far end prove it holds the port.
        QVERIFY2(!collect(line, 1).isEmpty(), "the other program never opened the port");
        QTest::ignoreMessage(QtDebugMsg, open_failure_line(line.slave_path()));
        select(line.slave_path());
        QCOMPARE(ui().label_SerialPort_Ok->text(), QStringLiteral("Fault"));
        QCOMPARE(ui().label_SerialPort_Ok->styleSheet(), QStringLiteral("color: red"));
        // The rest goes on: the watchdog reports the silence, a control frame times out.
        WAIT_FOR_TEXT(label_receiving_status, "Fault");
        QTest::ignoreMessage(QtDebugMsg, "Velmar UART timeout");
        w->probe.packet_send();
        QVERIFY(w->probe.serial_port().is_waiting_for_ack());
        QTRY_VERIFY_WITH_TIMEOUT(!w->probe.serial_port().is_waiting_for_ack(), line_timeout_ms);
        holder.terminate();
        QVERIFY(holder.waitForFinished(line_timeout_ms));
        select(line.slave_path());
        QCOMPARE(ui().label_SerialPort_Ok->text(), QStringLiteral("Ok"));
        QVERIFY(line.write_all(Status_payload().frame()));
        WAIT_FOR_TEXT(label_protocol_ver, "2.0, Ok");
    }

    void flood_of_noise_then_good_frames()
    {
        w = make_window_without_port();
        Pty_device line;
        QVERIFY2(line.open(), qPrintable(line.error_string()));
        select(line.slave_path());
        const QByteArray noise = random_bytes(flood_bytes, 20240609u);
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
        std::thread writer([&]() { written = line.write_all(noise); });
        loop.exec();
        writer.join();
        QVERIFY(written == 1 && line.unread_by_slave() == 0);
        qInfo("flood: %d random bytes read in %d ms; worst lateness of a %d ms timer: %d ms",
              flood_bytes, int(clock.elapsed()), pulse_ms, int(worst_lateness));
        QVERIFY2(worst_lateness <= lateness_limit_ms, qPrintable(QString::number(worst_lateness)));
        // A frame the noise started may swallow the first good one; the next ones show.
        const QByteArray good = status_frame(QByteArray::fromHex("110F0F022900C8FF9C0516000000"));
        QVERIFY(line.write_all(good + good + good));
        WAIT_FOR_TEXT(label_protocol_ver, "1.1, Ok");
        QCOMPARE(shown({"label_SerialPort_Ok", "label_sfp1_type", "label_sfp1_tx_pwr_1"}),
                 QStringList({"Ok", "Ethernet", "20.0 dBm"}));
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
        using S = Unit_state;
        // -3276.8 and 3276.7 dBm, 1550 nm, 100 C
        constexpr int lo = -32768, hi = 32767, nm = 1550, hottest = 15;
        Unit_simulator unit;
        unit.settings().drift = false;
        unit.state().version = static_cast<uint8_t>(version);
        unit.state().cages = {
            {{S::video, {{S::rx, S::tx}}, {{lo, hi}}, {{nm, nm}}, hottest},
             {S::other_module, {{S::unassigned, S::no_direction}}, {{lo, hi}}, {{nm, nm}}, hottest},
             {S::ethernet, {{S::tx, S::rx}}, {{lo, hi}}, {{nm, nm}}, hottest}}};
        QVERIFY2(unit.start_on_pty(), qPrintable(unit.error_string()));
        w = make_window_without_port();
        select(unit.slave_path());
        const QString version_text =
            QStringLiteral("%1, Version mistmatch").arg(QTest::currentDataTag());
        QTRY_COMPARE_WITH_TIMEOUT(ui().label_protocol_ver->text(), version_text, line_timeout_ms);
        // Each decodes by the highest known layout it reaches: no wavelengths below 1.1.
        QCOMPARE(ui().label_sfp1_wl2->text(), QString(version < 0x10 ? "0 nm" : "1550 nm"));
        QCOMPARE(shown({"label_sfp1_rx_pwr_1", "label_sfp1_tx_pwr_2", "label_sfp1_temp",
                        "label_sfp2_type", "label_sfp2_present", "label_sfp2_rx_pwr_1",
                        "label_sfp2_chanel_2", "label_sfp_eth_tx_pwr_1", "label_sfp_eth_rx_pwr_2",
                        "label_in_out_1", "label_in_out_2", "label_in_out_4"}),
                 QStringList({"-3276.8 dBm", "3276.7 dBm", "100 C", "Unknown", "Ok", "--", "--",
                              "-3276.8 dBm", "3276.7 dBm", "Out 1:", "In 2:", "---:"}));
        QCOMPARE(shown({"label_protocol_ver", "label_sfp1_rx_pwr_1", "label_sfp2_type",
                        "label_sfp2_present", "label_sfp2_rx_pwr_1", "label_sfp_eth_rx_pwr_2"},
                       true),
                 QStringList({"color: red", "color: red", "color: red", "color: red",
                              "color: black", "color: black"}));
        // The unit keeps talking at those limits; the link stays up.
        WAIT_FOR_TEXT(label_receiving_status, "Ok");
    }

    void broken_settings_fall_back_data()
    {
        QTest::addColumn<QByteArray>("stored"); // empty: the store cannot be written at all
        QTest::addColumn<int>("baud_index");    // -1: the first-start default
        QTest::newRow("binary junk") << random_bytes(4096, 7u) << -1;
        QTest::newRow("wrong types")
            << QByteArray("[SerialPort]\nSerialPort=first\nBaudRate=@ByteArray(\\x1\\x2)\n"
                          "[MainWindow]\npos=@Rect(1 2 3 4)\n")
            << 0;
        QTest::newRow("cut short") << QByteArray("[SerialPort\nSerialPort=") << -1;
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
            QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
                    file.write(stored) == stored.size());
        } else {
            QVERIFY(blocker.open());
            QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope,
                               blocker.fileName() + QStringLiteral("/settings"));
        }
        w = std::make_unique<Probed_window>();
        QCOMPARE(ui().comboBox_SerialPort->currentIndex(),
                 ui().comboBox_SerialPort->count() > 0 ? 0 : -1);
        QComboBox *rates = ui().comboBox_BaudRate;
        QCOMPARE(rates->currentIndex(), baud_index >= 0 ? baud_index : rates->findData(115200));
        QCOMPARE(w->window.pos(), default_pos);

        const QRegularExpression failure(QStringLiteral("^Failed to save settings: "));
        if (!writable)
            QTest::ignoreMessage(QtDebugMsg, failure);
        rates->setCurrentIndex(rates->currentIndex() == 0 ? 1 : 0); // saves
        // Junk is rewritten whole and clean; an unwritable store stays empty.
        QCOMPARE(saved_setting(QStringLiteral("SerialPort/BaudRate")).toInt(),
                 writable ? rates->currentIndex() : 0);
        QCOMPARE(saved_setting(QStringLiteral("MainWindow/pos")).toPoint(),
                 writable ? default_pos : QPoint());
        w->probe.feed(Status_payload().frame()); // the window carries on
        QCOMPARE(ui().label_protocol_ver->text(), QStringLiteral("2.0, Ok"));
    }
};

QTEST_MAIN(Faults_test)
#include "tst_faults.moc"
