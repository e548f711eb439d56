// The once-a-second link watchdog, ticked by hand: the no-data state, when a
// connection is announced and withdrawn, and the refresh timer.

#include "support/status_payload.h"
#include "support/window_under_test.h"

#include <QtTest/QtTest>
#include <QtWidgets/QLabel>

#include <memory>

namespace {

const QString sentinel = QStringLiteral("color: blue");
constexpr int refresh_ms = 2000;

QByteArray unit(uint8_t version = 0x20, bool crc_ok = true)
{
    Status_payload status;
    status.version = version;
    return crc_ok ? status.frame() : with_bad_crc(status.frame());
}

// The watched widgets' enabled changes, in order.
struct Enable_recorder : QObject
{
    QStringList changes;
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::EnabledChange)
            changes.append(watched->objectName());
        return false;
    }
};

} // namespace

class Watchdog_test : public QObject
{
    Q_OBJECT

    std::unique_ptr<Window_under_test> w;

private Q_SLOTS:
    void init() { w = std::make_unique<Window_under_test>(); }
    void cleanup() { w.reset(); }

    void no_data_state()
    {
        const QString dash = QStringLiteral("--"), kept = QStringLiteral("?");
        // Names after "label_"; any other label keeps its text and style sheet.
        const QVector<QStringList> rules{
            {"receiving_status", "Fault", "color: red"},
            {"(rx|tx)_fault|overheat|link_(f|p1|p2)|crc_ctrl|protocol_ver|lock_\\d|"
             "sfp\\w*_(present|type|rx_pwr_\\d)",
             dash, "color: black"},
            {"in_out_\\d", "---:", "color: black"},
            {"sfp\\w*_(chanel_\\d|tx_pwr_\\d|temp|wl\\d)", dash, sentinel},
            {"system|sync|dante_link|input_\\d|mic_type", dash, "color: grey"}};
        Ui::MainWindow &ui = w->ui();
        w->tick(unit()); // a 2.0 unit with Dante: the four controls are enabled
        Enable_recorder recorder;
        for (QWidget *control : std::initializer_list<QWidget *>{
                 ui.box_gain_0, ui.box_gain_1, ui.button_reading_gain, ui.button_trshd_apply})
            control->installEventFilter(&recorder);
        const auto labels = w->window.findChildren<QLabel *>();
        for (QLabel *label : labels) {
            label->setText(kept);
            label->setStyleSheet(sentinel);
        }

        w->tick(); // nothing arrived in this second

        for (const QLabel *label : labels) {
            const QString name = label->objectName();
            QStringList expected{name, kept, sentinel};
            for (const QStringList &rule : rules) {
                if (QRegularExpression("^label_(" + rule[0] + ")$").match(name).hasMatch())
                    expected = QStringList{name} + rule.mid(1);
            }
            QCOMPARE((QStringList{name, label->text(), label->styleSheet()}), expected);
        }
        QCOMPARE(recorder.changes, (QStringList{"box_gain_0", "box_gain_1", "button_reading_gain",
                                                "button_trshd_apply"}));
        QVERIFY(ui.button_default_set->isEnabled() && ui.box_new_trshd->isEnabled());
    }

    void state_table_data()
    {
        QTest::addColumn<bool>("up_before");
        QTest::addColumn<QByteArray>("chunk");
        QTest::addColumn<QString>("after"); // ok: receiving, apply, new: announced, up: stays so

        const auto row = [](const char *name, bool up, const QByteArray &chunk, const char *after) {
            QTest::newRow(name) << up << chunk << QString(after);
        };
        row("new, nothing", false, {}, "");
        row("new, noise", false, "0123456789ABCDEF", "");
        row("new, frame cut short", false, unit().chopped(1), "");
        row("new, 1.1", false, unit(0x11), "ok");
        row("new, 31", false, unit(0x1F), "ok");
        row("new, noise and 2.0", false, "xyz" + unit(), "ok apply new up");
        row("new, 255", false, unit(0xFF), "ok apply new up");
        row("new, 2.0 bad CRC", false, unit(0x20, false), "ok apply");
        row("new, 1.1 bad CRC", false, unit(0x11, false), "ok");
        row("new, bad CRC then good", false, unit(0x20, false) + unit(), "ok apply new up");
        row("up, 2.0", true, unit(), "ok apply up");
        row("up, good then bad CRC", true, unit() + unit(0x20, false), "ok apply");
        row("up, 31", true, unit(0x1F), "ok");
        row("up, nothing", true, {}, "");
    }

    void state_table()
    {
        QFETCH(bool, up_before);
        QFETCH(QByteArray, chunk);
        QFETCH(QString, after);
        const bool receiving = after.contains("ok"), up_after = after.contains("up");

        QTimer &refresh = w->probe.monotone_timer();
        if (up_before) {
            w->tick(unit());
            QCOMPARE(w->announced.count(), 1);
            w->announced.clear();
            refresh.setInterval(refresh_ms + 1); // no tick sets it: reveals a restart
        }
        w->ui().button_trshd_apply->setEnabled(!after.contains("apply")); // the tick sets it

        w->tick(chunk);

        QCOMPARE(shown(w->ui().label_receiving_status),
                 receiving ? Shown("Ok", "color: green") : Shown("Fault", "color: red"));
        QCOMPARE(w->ui().button_trshd_apply->isEnabled(), after.contains("apply"));
        QCOMPARE(w->announced.count(), after.contains("new") ? 1 : 0);
        QCOMPARE(refresh.isActive(), up_after);
        if (up_after)
            QCOMPARE(refresh.interval(), up_before ? refresh_ms + 1 : refresh_ms);
        // Only silence blanks the window; a bad frame just withdraws the connection.
        if (up_before)
            QCOMPARE(w->ui().label_protocol_ver->text() == "--", !receiving);

        // Unless it is still up, the next good second announces the connection.
        w->announced.clear();
        w->tick(unit() + unit()); // the first may only end a frame cut short
        QCOMPARE(w->announced.count(), up_after ? 0 : 1);
    }

    void announcement_takes_the_threshold_before_the_gains()
    {
        QList<int> threshold_when_gain_set;
        connect(w->ui().box_gain_0, QOverload<double>::of(&QDoubleSpinBox::valueChanged), this,
                [&] { threshold_when_gain_set.append(w->probe.rx_trshd()); });
        Status_payload status;
        status.gain[0] = 40;
        status.gain[1] = 24;
        status.threshold = -25;

        w->tick(status.frame());

        QCOMPARE(w->announced.count(), 1);
        QCOMPARE(threshold_when_gain_set, QList<int>{-25});
        QCOMPARE(w->ui().box_new_trshd->value(), -25);
        // The editors now agree with the unit, so the announcement sent nothing.
        QVERIFY(!w->probe.serial_port().is_waiting_for_ack());
        QCOMPARE(w->probe.serial_port().queued_count(), 0);
    }
};

QTEST_MAIN(Watchdog_test)
#include "tst_watchdog.moc"
