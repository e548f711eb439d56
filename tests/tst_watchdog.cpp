#include "support/status_payload.h"
#include "support/window_under_test.h"

#include <QtTest/QtTest>
#include <QtWidgets/QLabel>

#include <memory>

namespace {

const QString sentinel = QStringLiteral("color: blue");
constexpr int refresh_ms = 2000;

// Its gains and threshold differ from the editors' defaults, so an announcement changes them.
QByteArray unit(uint8_t version = 0x20, bool crc_ok = true)
{
    Status_payload status{version};
    status.gain[0] = 40;
    status.threshold = -25;
    return crc_ok ? status.frame() : with_bad_crc(status.frame());
}

} // namespace

class Watchdog_test : public QObject
{
    Q_OBJECT

    std::unique_ptr<Window_under_test> w;
    QStringList enabled_changes; // of the widgets it filters, in order

public:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::EnabledChange)
            enabled_changes << watched->objectName();
        return false;
    }

private Q_SLOTS:
    void init() { w = std::make_unique<Window_under_test>(); }
    void cleanup() { w.reset(); }

    void no_data_state()
    {
        Ui::MainWindow &ui = w->ui();
        w->tick(unit()); // a 2.0 unit with Dante: the four controls are enabled
        for (QWidget *control : QWidgetList{ui.box_gain_0, ui.box_gain_1, ui.button_reading_gain,
                                            ui.button_trshd_apply})
            control->installEventFilter(this);
        const auto labels = w->window.findChildren<QLabel *>();
        for (QLabel *label : labels) {
            label->setText("?");
            label->setStyleSheet(sentinel);
        }
        w->tick(); // nothing arrived in this second
        // Names after "label_"; any other label keeps its text and style sheet.
        const QVector<QStringList> rules{
            {"receiving_status", "Fault", "color: red"},
            {"(rx|tx)_fault|overheat|link_(f|p1|p2)|crc_ctrl|protocol_ver|lock_\\d|"
             "sfp\\w*_(present|type|rx_pwr_\\d)",
             "--", "color: black"},
            {"in_out_\\d", "---:", "color: black"},
            {"sfp\\w*_(chanel_\\d|tx_pwr_\\d|temp|wl\\d)", "--", sentinel},
            {"system|sync|dante_link|input_\\d|mic_type", "--", "color: grey"}};
        for (const QLabel *label : labels) {
            Shown expected{"?", sentinel};
            for (const QStringList &r : rules)
                if (label->objectName().contains(QRegularExpression("^label_(" + r[0] + ")$")))
                    expected = {r[1], r[2]};
            QVERIFY2(shown(label) == expected, qPrintable(label->objectName()));
        }
        QCOMPARE(enabled_changes, (QStringList{"box_gain_0", "box_gain_1", "button_reading_gain",
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
            w->announced.clear();
            refresh.setInterval(refresh_ms + 1); // no tick sets it: reveals a restart
        }
        w->ui().button_trshd_apply->setEnabled(!after.contains("apply")); // the tick sets it
        QList<int> threshold_when_gain_set; // the unit's threshold is taken before its gains
        connect(w->ui().box_gain_0, QOverload<double>::of(&QDoubleSpinBox::valueChanged), this,
                [&] { threshold_when_gain_set.append(w->probe.rx_trshd()); });
        w->tick(chunk);
        QCOMPARE(shown(w->ui().label_receiving_status),
                 receiving ? Shown("Ok", "color: green") : Shown("Fault", "color: red"));
        QCOMPARE(w->ui().button_trshd_apply->isEnabled(), after.contains("apply"));
        QCOMPARE(w->announced.count(), after.contains("new") ? 1 : 0);
        QCOMPARE(threshold_when_gain_set, after.contains("new") ? QList<int>{-25} : QList<int>());
        QCOMPARE(refresh.isActive(), up_after);
        if (up_after)
            QCOMPARE(refresh.interval(), up_before ? refresh_ms + 1 : refresh_ms);
        // Only silence blanks the window; a bad frame just withdraws the connection.
        if (up_before)
            QCOMPARE(w->ui().label_protocol_ver->text() == "--", !receiving);
        // Unless it is still up, the next good second announces the connection.
        w->announced.clear();
        w->tick(unit());
        QCOMPARE(w->announced.count(), up_after ? 0 : 1);
    }
};

QTEST_MAIN(Watchdog_test)
#include "tst_watchdog.moc"
