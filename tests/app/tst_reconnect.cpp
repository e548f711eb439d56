#include "simulator/unit_simulator.h"
#include "support/debug_lines.h"
#include "support/pty_line.h"
#include "support/test_settings.h"
#include "support/window_fixture.h"

#include <QtCore/QTemporaryDir>
#include <QtTest/QtTest>
#include <QtWidgets/QLabel>
#include <QtWidgets/QPushButton>

#include <functional>
#include <memory>

namespace {

constexpr int line_timeout_ms = 5000;
// Two refresh periods: the first refresh follows the connection's announcement.
constexpr int refresh_within_ms = 2 * quick_timing.refresh_ms + 1000;
constexpr int idle_measure_ms = 2000;
#if defined(__SANITIZE_ADDRESS__) || defined(__has_feature) && __has_feature(address_sanitizer)
// Every allocation unwinds its stack under the sanitizer as the CI runs it
// (fast_unwind_on_malloc=0), which alone takes one or two percent here; a
// retry that spins would still take most of a core.
constexpr double idle_share_limit = 0.05;
#else
constexpr double idle_share_limit = 0.01;
#endif
// More than two attempts to reopen.
constexpr int quiet_ms = 5 * quick_timing.reopen_ms / 2;
// The test plugs the line back itself.
constexpr int until_plugged_ms = 3600 * 1000;

const Shown port_ok{"Ok", "color : green"}, port_fault{"Fault", "color: red"};

Shown shown_in(const QWidget &window, const char *name)
{
    return shown(window.findChild<QLabel *>(QLatin1String(name)));
}

void open_settings()
{
    isolate_settings();
    clear_saved_settings();
    select_no_port();
}

} // namespace

// What the test does once the port is lost: given the window and another line.
using Step = std::function<void(std::unique_ptr<MainWindow> &, const Pty_device &)>;
Q_DECLARE_METATYPE(Step)

class Tst_reconnect : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init() { open_settings(); }

    void replugged_unit_is_shown_again()
    {
        const QTemporaryDir dir;
        const QString link = dir.filePath(QStringLiteral("unit")); // a by-id path
        Unit_simulator unit;
        unit.settings().rate = 50; // many frames a judgement of the link
        unit.set_link_path(link);
        QVERIFY2(unit.start_on_pty(), qPrintable(unit.error_string()));
        const Debug_lines debug;
        const Window_fixture w(Start_port{link, 0});
        QTRY_COMPARE_WITH_TIMEOUT(shown_in(w.window, "label_protocol_ver").first, "2.0, Ok",
                                  line_timeout_ms);
        QCOMPARE(shown_in(w.window, "label_SerialPort_Ok"), port_ok);

        QVERIFY(unit.unplug(until_plugged_ms));
        QTRY_COMPARE_WITH_TIMEOUT(shown_in(w.window, "label_SerialPort_Ok"), port_fault,
                                  line_timeout_ms);
        const double share = cpu_share_while_waiting(idle_measure_ms);
        qInfo("while the port is gone: %.2f%% of one core over %d ms", share * 100.0,
              idle_measure_ms);
        QVERIFY(share < idle_share_limit);
        QCOMPARE(shown_in(w.window, "label_receiving_status").first, "Fault");
        QCOMPARE(shown_in(w.window, "label_protocol_ver").first, "--");

        QSignalSpy controls(&unit, &Unit_simulator::control_frame_received);
        QVERIFY2(unit.start_on_pty(), qPrintable(unit.error_string()));
        const auto unit_shown = [&w] {
            return QStringList{shown_in(w.window, "label_SerialPort_Ok").first,
                               shown_in(w.window, "label_SerialPort_Ok").second,
                               shown_in(w.window, "label_receiving_status").first,
                               shown_in(w.window, "label_protocol_ver").first};
        };
        QTRY_COMPARE_WITH_TIMEOUT(
            unit_shown(), QStringList({"Ok", "color : green", "Ok", "2.0, Ok"}), line_timeout_ms);
        QCOMPARE(descriptors_on(unit.slave_path()), 2); // the simulator's and the tool's
        QTRY_VERIFY_WITH_TIMEOUT(!controls.isEmpty(), refresh_within_ms);
        const QRegularExpression reopened(
            QStringLiteral("^\"%1\" Serial port reopened$").arg(QRegularExpression::escape(link)));
        QCOMPARE(debug.count(reopened), 1);
        const QRegularExpression lost(
            QStringLiteral("^\"%1\" Serial port lost: ").arg(QRegularExpression::escape(link)));
        QCOMPARE(debug.count(lost), 1);
    }

    // The line comes back behind the link, but the tool no longer wants it.
    void retrying_ends_data()
    {
        QTest::addColumn<bool>("opened_at_start");
        QTest::addColumn<Step>("after_loss");
        QTest::addColumn<Shown>("port_label");
        const Step choose_other = [](std::unique_ptr<MainWindow> &window, const Pty_device &other) {
            select_port(*window, other.slave_path());
        };
        QTest::newRow("another port chosen") << true << choose_other << port_ok;
        // A start port that is not there is tried like a lost one, until another is chosen.
        QTest::newRow("never opened, another port chosen") << false << choose_other << port_ok;
        // What the list then offers depends on the machine: the label is not checked.
        QTest::newRow("Rescan pressed")
            << true << Step([](std::unique_ptr<MainWindow> &window, const Pty_device &) {
                   window->findChild<QPushButton *>(QStringLiteral("button_rescan"))->click();
               })
            << Shown();
        QTest::newRow("window closed")
            << true
            << Step([](std::unique_ptr<MainWindow> &window, const Pty_device &) { window.reset(); })
            << Shown();
    }

    void retrying_ends()
    {
        QFETCH(bool, opened_at_start);
        QFETCH(Step, after_loss);
        QFETCH(Shown, port_label);
        const QTemporaryDir dir;
        const QString link = dir.filePath(QStringLiteral("unit"));
        Pty_device other;
        QVERIFY(other.open());
        Unit_simulator unit;
        unit.set_link_path(link);
        if (opened_at_start)
            QVERIFY2(unit.start_on_pty(), qPrintable(unit.error_string()));
        else
            QTest::ignoreMessage(QtDebugMsg, open_failure_line(link));
        Session session(quick_timing);
        auto window = std::make_unique<MainWindow>(session, Start_port{link, 0});
        if (opened_at_start) {
            QCOMPARE(shown_in(*window, "label_SerialPort_Ok"), port_ok);
            QVERIFY(unit.unplug(until_plugged_ms));
            QTRY_COMPARE_WITH_TIMEOUT(shown_in(*window, "label_SerialPort_Ok"), port_fault,
                                      line_timeout_ms);
        }
        after_loss(window, other);

        QVERIFY2(unit.start_on_pty(), qPrintable(unit.error_string()));
        QTest::qWait(quiet_ms);
        QCOMPARE(descriptors_on(unit.slave_path()), 1); // the simulator's own
        if (window && port_label != Shown())
            QCOMPARE(shown_in(*window, "label_SerialPort_Ok"), port_label);
    }
};

QTEST_MAIN(Tst_reconnect)
#include "tst_reconnect.moc"
