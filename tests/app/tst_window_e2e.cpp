#include "support/window_under_test.h"

#include <QtCore/QElapsedTimer>
#include <QtCore/QScopeGuard>
#include <QtTest/QtTest>

#include <algorithm>

#ifdef VELMAR_HAVE_UNIT_SIM

#include "tools/unit_simulator.h"

// Generous bounds for one or two ticks of the watchdog or a refresh: the machine may be busy.
constexpr int connect_ms = 4000, refresh_ms = 2000, refresh_wait_ms = 3500, two_ticks_ms = 2500;
constexpr int silence_ms = 5000, margin_ms = 300; // leaves a whole refresh period after "Fault"

// The whole window against the simulated unit over a real pseudo-terminal, on real timers.
class Window_e2e_test : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void a_unit_comes_goes_and_changes()
    {
        static int ack_timeouts = 0;
        static QtMessageHandler previous = nullptr;
        previous = qInstallMessageHandler(
            [](QtMsgType type, const QMessageLogContext &context, const QString &text) {
                ack_timeouts += text.contains(QLatin1String("Velmar UART timeout"));
                previous(type, context, text);
            });
        const auto restore_handler = qScopeGuard([] { qInstallMessageHandler(previous); });
        Unit_simulator unit;
        unit.settings().drift = false;
        Unit_state &reported = unit.state();
        reported.gain_code = {{40, 24}};
        reported.rx_threshold_dbm = -25;
        QVERIFY2(unit.start_on_pty(), qPrintable(unit.error_string()));
        QElapsedTimer clock;
        clock.start();
        QList<QVector<int>> received; // gain codes and threshold; empty for a bad CRC
        QList<qint64> received_at_ms;
        connect(&unit, &Unit_simulator::control_frame_received, this,
                [&](int gain_0, int gain_1, int threshold, bool crc_ok) {
                    received << (crc_ok ? QVector<int>{gain_0, gain_1, threshold} : QVector<int>());
                    received_at_ms << clock.elapsed();
                });

        Window_under_test w(unit.slave_path(), true);
        Ui::MainWindow &ui = w.ui();
        // Shown and announced once; the editors take the unit's own settings.
        QTRY_COMPARE_WITH_TIMEOUT(w.announced.count(), 1, connect_ms);
        QCOMPARE((QStringList{ui.label_receiving_status->text(), ui.label_protocol_ver->text(),
                              ui.label_sfp1_type->text(), ui.label_in_out_1->text()}),
                 (QStringList{"Ok", "2.0, Ok", "Video", "Out 1:"}));
        QCOMPARE(qMakePair(ui.box_new_trshd->value(), ui.box_gain_0->value()),
                 qMakePair(-25, 53.0));
        QVERIFY(ui.button_trshd_apply->isEnabled());
        // Refreshed about every two seconds with its own values.
        QTRY_VERIFY_WITH_TIMEOUT(received.size() >= 2, 2 * refresh_wait_ms);
        QCOMPARE(received.mid(0, 2), (QList<QVector<int>>{{40, 24, -25}, {40, 24, -25}}));
        const qint64 gap = received_at_ms[1] - received_at_ms[0];
        QVERIFY2(gap > refresh_ms / 2 && gap < 2 * refresh_ms, qPrintable(QString::number(gap)));
        QCOMPARE(w.announced.count(), 1);
        // Default Set: gain 0, gain 1, then the threshold, each acknowledged before the next.
        received.clear();
        ui.button_default_set->click();
        QTRY_VERIFY_WITH_TIMEOUT(received.contains((QVector<int>{32, 32, -28})), refresh_wait_ms);
        received.removeAll({40, 24, -25}); // a refresh that was already on its way
        QCOMPARE(received, (QList<QVector<int>>{{32, 24, -25}, {32, 32, -25}, {32, 32, -28}}));
        QTRY_VERIFY(!w.probe.serial_port().is_waiting_for_ack());
        QCOMPARE(ack_timeouts, 0);
        QTRY_COMPARE(ui.box_current_trshd->value(), -28);

        // Silent: "Fault" and the no-data state within two ticks, then announced again.
        const qint64 silent_from = clock.elapsed();
        unit.silence(silence_ms);
        QTRY_COMPARE_WITH_TIMEOUT(ui.label_receiving_status->text(), "Fault", two_ticks_ms);
        const qint64 fault_at = clock.elapsed();
        QCOMPARE((QStringList{ui.label_protocol_ver->text(), ui.label_in_out_1->text()}),
                 (QStringList{"--", "---:"}));
        QVERIFY(!ui.box_gain_0->isEnabled());
        QTRY_COMPARE_WITH_TIMEOUT(w.announced.count(), 2, silence_ms + two_ticks_ms);
        QCOMPARE(ui.label_protocol_ver->text(), "2.0, Ok");
        // No refresh read while silent, but for one on its way at "Fault" or an early timer.
        const auto silent = [&](qint64 t) {
            return t > fault_at + margin_ms && t < silent_from + silence_ms * 95 / 100 - margin_ms;
        };
        QCOMPARE(std::count_if(received_at_ms.cbegin(), received_at_ms.cend(), silent), 0);
        // Now a 1.1 unit on the line: shown, Apply off, and no more refresh.
        reported.version = 0x11;
        QTRY_COMPARE_WITH_TIMEOUT(ui.label_protocol_ver->text(), "1.1, Ok", connect_ms);
        QTRY_VERIFY_WITH_TIMEOUT(!ui.button_trshd_apply->isEnabled(), two_ticks_ms);
        received.clear();
        QTest::qWait(refresh_ms + 500);
        QVERIFY(received.isEmpty());
        QCOMPARE(ui.label_receiving_status->text(), "Ok");
        QCOMPARE(w.announced.count(), 2);
    }
};

#else

class Window_e2e_test : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void skipped() { QSKIP("built without the tools: no simulated unit to talk to"); }
};

#endif

QTEST_MAIN(Window_e2e_test)
#include "tst_window_e2e.moc"
