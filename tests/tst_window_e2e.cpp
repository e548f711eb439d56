// The whole window against the simulated unit over a real pseudo-terminal,
// on real timers: a 2.0 unit is shown, announced and refreshed, takes Default
// Set, falls silent, comes back, and is finally replaced by a 1.1 unit.

#include "app/mainwindow.h"
#include "support/main_window_probe.h"
#include "support/test_settings.h"

#include <QtCore/QElapsedTimer>
#include <QtCore/QScopeGuard>
#include <QtTest/QtTest>

#include <algorithm>

#ifdef VELMAR_HAVE_UNIT_SIM

#include "tools/unit_simulator.h"

namespace {

// Bounds for events that take one or two ticks of a one-second watchdog, or a
// two-second refresh; generous, since the machine may be busy.
constexpr int connect_ms = 4000;
constexpr int refresh_ms = 2000;
constexpr int refresh_wait_ms = 3500;
constexpr int two_ticks_ms = 2500;
constexpr int silence_ms = 3500;

struct Control_frame
{
    int gain_0;
    int gain_1;
    int threshold;
    bool crc_ok;
    qint64 at_ms;

    bool carries(int g0, int g1, int trshd) const
    {
        return crc_ok && gain_0 == g0 && gain_1 == g1 && threshold == trshd;
    }
};

int uart_timeouts = 0;
QtMessageHandler previous_handler = nullptr;

void count_timeouts(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (message.contains(QLatin1String("Velmar UART timeout")))
        ++uart_timeouts;
    previous_handler(type, context, message);
}

} // namespace

class Window_e2e_test : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        isolate_settings();
        clear_saved_settings();
    }

    void a_unit_comes_goes_and_changes()
    {
        Unit_simulator unit;
        unit.settings().drift = false;
        Unit_state &reported = unit.state();
        reported.gain_code = {{40, 24}};
        reported.rx_threshold_dbm = -25;
        QVERIFY2(unit.start_on_pty(), qPrintable(unit.error_string()));

        QElapsedTimer clock;
        clock.start();
        QList<Control_frame> received;
        connect(&unit, &Unit_simulator::control_frame_received, this,
                [&](int gain_0, int gain_1, int threshold, bool crc_ok) {
                    received.append({gain_0, gain_1, threshold, crc_ok, clock.elapsed()});
                });
        uart_timeouts = 0;
        previous_handler = qInstallMessageHandler(count_timeouts);
        const auto restore_handler = qScopeGuard([] { qInstallMessageHandler(previous_handler); });

        MainWindow window;
        Main_window_probe probe(window);
        Ui::MainWindow &ui = probe.ui();
        QSignalSpy announced(&window, &MainWindow::new_connection_is_set);
        ui.comboBox_SerialPort->clear();
        ui.comboBox_SerialPort->addItem(unit.slave_path());
        QCOMPARE(ui.label_SerialPort_Ok->text(), QStringLiteral("Ok"));

        // Shown and announced once; the editors take the unit's own settings.
        QTRY_COMPARE_WITH_TIMEOUT(announced.count(), 1, connect_ms);
        QCOMPARE(ui.label_receiving_status->text(), QStringLiteral("Ok"));
        QCOMPARE(ui.label_protocol_ver->text(), QStringLiteral("2.0, Ok"));
        QCOMPARE(ui.label_sfp1_type->text(), QStringLiteral("Video"));
        QCOMPARE(ui.label_in_out_1->text(), QStringLiteral("Out 1:"));
        QCOMPARE(ui.label_system->text(), QStringLiteral("Ok"));
        QCOMPARE(ui.box_new_trshd->value(), -25);
        QCOMPARE(ui.box_gain_0->value(), 53.0);
        QCOMPARE(ui.box_gain_1->value(), 41.0);
        QVERIFY(ui.button_trshd_apply->isEnabled());
        QVERIFY(ui.box_gain_0->isEnabled());

        // Refreshed about every two seconds with its own values.
        QTRY_VERIFY_WITH_TIMEOUT(received.size() >= 2, 2 * refresh_wait_ms);
        for (const Control_frame &frame : received)
            QVERIFY(frame.carries(40, 24, -25));
        const qint64 gap = received[1].at_ms - received[0].at_ms;
        QVERIFY2(gap > refresh_ms / 2 && gap < 2 * refresh_ms, qPrintable(QString::number(gap)));
        QCOMPARE(announced.count(), 1);

        // Default Set: gain 0 first, then gain 1, then the threshold, each
        // acknowledged before the next leaves.
        received.clear();
        ui.button_default_set->click();
        QTRY_VERIFY_WITH_TIMEOUT(!received.isEmpty() && received.last().carries(32, 32, -28),
                                 refresh_wait_ms);
        while (!received.isEmpty() && received.first().carries(40, 24, -25))
            received.removeFirst(); // a refresh that was already on its way
        QCOMPARE(received.size(), 3);
        QVERIFY(received[0].carries(32, 24, -25));
        QVERIFY(received[1].carries(32, 32, -25));
        QVERIFY(received[2].carries(32, 32, -28));
        QTRY_VERIFY(!probe.serial_port().is_waiting_for_ack());
        QCOMPARE(uart_timeouts, 0);
        QCOMPARE(reported.gain_code[0], uint8_t(32));
        QCOMPARE(reported.rx_threshold_dbm, int8_t(-28));
        QTRY_COMPARE(ui.box_current_trshd->value(), -28);

        // Silent: "Fault" and the no-data state within two ticks, and no refresh.
        unit.silence(silence_ms);
        QTRY_COMPARE_WITH_TIMEOUT(ui.label_receiving_status->text(), QStringLiteral("Fault"),
                                  two_ticks_ms);
        QCOMPARE(ui.label_receiving_status->styleSheet(), QStringLiteral("color: red"));
        QCOMPARE(ui.label_protocol_ver->text(), QStringLiteral("--"));
        QCOMPARE(ui.label_sfp1_type->text(), QStringLiteral("--"));
        QCOMPARE(ui.label_in_out_1->text(), QStringLiteral("---:"));
        QCOMPARE(ui.label_system->styleSheet(), QStringLiteral("color: grey"));
        QVERIFY(!ui.box_gain_0->isEnabled());
        QVERIFY(!ui.button_trshd_apply->isEnabled());
        QVERIFY(!probe.monotone_timer().isActive());
        const qint64 fault_at = clock.elapsed();
        QTRY_VERIFY_WITH_TIMEOUT(!unit.is_silent(), silence_ms);
        QVERIFY(std::none_of(received.begin(), received.end(),
                             [&](const Control_frame &f) { return f.at_ms > fault_at; }));

        // Back: announced again.
        QTRY_COMPARE_WITH_TIMEOUT(announced.count(), 2, two_ticks_ms);
        QCOMPARE(ui.label_protocol_ver->text(), QStringLiteral("2.0, Ok"));
        QVERIFY(probe.monotone_timer().isActive());

        // Now a 1.1 unit on the line: shown, Apply off, and no more refresh.
        reported.version = 0x11;
        QTRY_COMPARE_WITH_TIMEOUT(ui.label_protocol_ver->text(), QStringLiteral("1.1, Ok"),
                                  connect_ms);
        QTRY_VERIFY_WITH_TIMEOUT(!ui.button_trshd_apply->isEnabled(), two_ticks_ms);
        QVERIFY(!probe.monotone_timer().isActive());
        received.clear();
        QTest::qWait(refresh_ms + 500);
        QCOMPARE(received.size(), 0);
        QCOMPARE(ui.label_receiving_status->text(), QStringLiteral("Ok"));
        QCOMPARE(announced.count(), 2);
    }
};

#else

class Window_e2e_test : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void a_unit_comes_goes_and_changes()
    {
        QSKIP("built without the tools: no simulated unit to talk to");
    }
};

#endif

QTEST_MAIN(Window_e2e_test)
#include "tst_window_e2e.moc"
