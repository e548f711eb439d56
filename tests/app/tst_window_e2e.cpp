#include "support/window_fixture.h"

#include <QtCore/QElapsedTimer>
#include <QtCore/QScopeGuard>
#include <QtTest/QtTest>
#include <QtWidgets/QDoubleSpinBox>
#include <QtWidgets/QLabel>
#include <QtWidgets/QPushButton>
#include <QtWidgets/QSpinBox>

#include <algorithm>

#ifdef VELMAR_HAVE_UNIT_SIM

#include "simulator/unit_simulator.h"

// Generous bounds for one or two ticks of the watchdog or a refresh: the machine may be busy.
constexpr int connect_ms = 4000, refresh_ms = 2000, refresh_wait_ms = 3500, two_ticks_ms = 2500;
constexpr int silence_ms = 5000, margin_ms = 300; // leaves a whole refresh period after "Fault"

// The whole window against the simulated unit over a real pseudo-terminal, on the
// session's real intervals: the one test that keeps them.
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
        Unit_status &reported = unit.state();
        reported.dante.gain_codes = {{40, 24}};
        reported.threshold_dbm = -25;
        QVERIFY2(unit.start_on_pty(), qPrintable(unit.error_string()));
        QElapsedTimer clock;
        clock.start();
        QStringList received; // what each control frame asked of the unit
        QList<qint64> received_at_ms;
        connect(&unit, &Unit_simulator::control_frame_received, this,
                [&](int gain_0, int gain_1, int threshold, bool crc_ok) {
                    received << (crc_ok ? QStringLiteral("gain codes %1 %2, threshold %3")
                                              .arg(gain_0)
                                              .arg(gain_1)
                                              .arg(threshold)
                                        : QStringLiteral("bad CRC"));
                    received_at_ms << clock.elapsed();
                });

        const auto w = make_window_without_port(Session_timing()); // the real figures
        QSignalSpy announced(&w->session, &Session::connection_announced);
        select_port(w->window, unit.slave_path());
        const auto text = [&w](const char *name) { return w->label(name)->text(); };
        const auto *apply = w->widget<QPushButton>("button_trshd_apply");
        // Shown and announced once; the editors take the unit's own settings.
        QTRY_COMPARE_WITH_TIMEOUT(announced.count(), 1, connect_ms);
        QCOMPARE((QStringList{text("label_receiving_status"), text("label_protocol_ver"),
                              text("label_sfp1_type"), text("label_in_out_1")}),
                 (QStringList{"Ok", "2.0, Ok", "Video", "Out 1:"}));
        QCOMPARE(qMakePair(w->widget<QSpinBox>("box_new_trshd")->value(),
                           w->widget<QDoubleSpinBox>("box_gain_0")->value()),
                 qMakePair(-25, 53.0));
        QVERIFY(apply->isEnabled());
        // Refreshed about every two seconds with its own values.
        QTRY_VERIFY_WITH_TIMEOUT(received.size() >= 2, 2 * refresh_wait_ms);
        const QString units_own = QStringLiteral("gain codes 40 24, threshold -25");
        QCOMPARE(received.mid(0, 2), (QStringList{units_own, units_own}));
        const qint64 gap = received_at_ms[1] - received_at_ms[0];
        QVERIFY2(gap > refresh_ms / 2 && gap < 2 * refresh_ms, qPrintable(QString::number(gap)));
        QCOMPARE(announced.count(), 1);
        // Default Set: gain 0, gain 1, then the threshold, each acknowledged before the next.
        const QString defaults = QStringLiteral("gain codes 32 32, threshold -28");
        bool defaults_acknowledged = false; // nothing else is in flight once the unit has them
        QObject listening;                  // ends the connection before the flag goes
        connect(&w->session, &Session::acknowledged, &listening,
                [&] { defaults_acknowledged = received.contains(defaults); });
        received.clear();
        w->widget<QPushButton>("button_default_set")->click();
        QTRY_VERIFY_WITH_TIMEOUT(defaults_acknowledged, refresh_wait_ms);
        received.removeAll(units_own); // a refresh that was already on its way
        QCOMPARE(received, (QStringList{"gain codes 32 24, threshold -25",
                                        "gain codes 32 32, threshold -25", defaults}));
        QCOMPARE(ack_timeouts, 0);
        QTRY_COMPARE(w->widget<QSpinBox>("box_current_trshd")->value(), -28);

        // Silent: "Fault" and the no-data state within two ticks, then announced again.
        const qint64 silent_from = clock.elapsed();
        unit.silence(silence_ms);
        QTRY_COMPARE_WITH_TIMEOUT(text("label_receiving_status"), "Fault", two_ticks_ms);
        const qint64 fault_at = clock.elapsed();
        QCOMPARE((QStringList{text("label_protocol_ver"), text("label_in_out_1")}),
                 (QStringList{"--", "---:"}));
        QVERIFY(!w->widget<QWidget>("box_gain_0")->isEnabled());
        QTRY_COMPARE_WITH_TIMEOUT(announced.count(), 2, silence_ms + two_ticks_ms);
        QCOMPARE(text("label_protocol_ver"), "2.0, Ok");
        // No refresh read while silent, but for one on its way at "Fault" or an early timer.
        const auto silent = [&](qint64 t) {
            return t > fault_at + margin_ms && t < silent_from + silence_ms * 95 / 100 - margin_ms;
        };
        QCOMPARE(std::count_if(received_at_ms.cbegin(), received_at_ms.cend(), silent), 0);
        // Now a 1.1 unit on the line: shown, Apply off, and no more refresh.
        reported.version = 0x11;
        QTRY_COMPARE_WITH_TIMEOUT(text("label_protocol_ver"), "1.1, Ok", connect_ms);
        QTRY_VERIFY_WITH_TIMEOUT(!apply->isEnabled(), two_ticks_ms);
        received.clear();
        QTest::qWait(refresh_ms + 500);
        QVERIFY(received.isEmpty());
        QCOMPARE(text("label_receiving_status"), "Ok");
        QCOMPARE(announced.count(), 2);
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
