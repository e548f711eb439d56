#include "support/status_payload.h"
#include "support/window_fixture.h"

#include <QtTest/QtTest>
#include <QtWidgets/QLabel>
#include <QtWidgets/QLayout>

namespace {

// The healthy simulated unit with SFP Eth fitted, so that each of its values shows.
const QString every_cage = QStringLiteral("sfp_eth.type ethernet;");

// Every widget's text, style, enabling, visibility and place once layout requests have run.
// Each pass of the event loop follows the frame the window shows, which is not drawn again:
// however slow the machine, a tick of the session's own timer finds the link up.
QVector<QVariantList> screen(Window_fixture &w, const QByteArray &shown_frame)
{
    for (int pass = 0; pass < 3; ++pass)
        w.read(shown_frame);
    QVector<QVariantList> out;
    for (const QWidget *widget : w.window.findChildren<QWidget *>())
        out.append({widget->property("text"), widget->styleSheet(), widget->isEnabled(),
                    widget->isVisible(), widget->geometry()});
    return out;
}

// Names the widgets a redraw restyles, shows, hides, enables or disables, in order.
struct Widget_changes : QObject
{
    QStringList names;
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (QSet<int>{QEvent::StyleChange, QEvent::ShowToParent, QEvent::HideToParent,
                      QEvent::EnabledChange}
                .contains(event->type()))
            names << watched->objectName();
        return false;
    }
};

} // namespace

// The window draws a read's status once, and only where it differs from what it shows.
class Redraw_test : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void every_drawn_value_counts_data()
    {
        QTest::addColumn<QString>("change"); // to the healthy unit with every cage fitted
        for (const char *change :
             {"threshold -10", "sfp1.power1 -21.5", "sfp2.power1 -3.5", "sfp_eth.wl2 1490",
              "sfp1.temp 9", "sfp2.type other", "sfp_eth.type none", "sfp1.dir1 tx", "sfp2.dir1 rx",
              "rx_fault 1", "lock4 0", "link_p2 0", "dante.present 0", "dante.input2 line"})
            QTest::newRow(change) << QString(change);
    }

    void every_drawn_value_counts()
    {
        QFETCH(QString, change);
        const QByteArray healthy = unit_frame(every_cage),
                         changed = unit_frame(every_cage + change);
        const auto w = make_window_without_port();
        w->window.show();
        w->judge(healthy);
        const auto before = screen(*w, healthy);
        w->read(changed);
        const auto drawn = screen(*w, changed);
        QVERIFY(drawn != before);
        // The redraw holds layouts off; fresh ones must place the window as they left it.
        for (QLayout *layout : w->window.findChildren<QLayout *>()) {
            QVERIFY(layout->isEnabled());
            layout->invalidate();
        }
        QCOMPARE(screen(*w, changed), drawn);
    }

    void only_what_changed_is_touched_data()
    {
        QTest::addColumn<QString>("before");
        QTest::addColumn<QString>("after");
        QTest::addColumn<QStringList>("touched");
        QTest::newRow("Dante link lost") << ""
                                         << "dante.link 0" << QStringList{"label_dante_link"};
        QTest::newRow("an absent submodule's link: no change")
            << "dante.present 0"
            << "dante.present 0; dante.link 0" << QStringList();
    }

    // Every panel is drawn again, yet only the label whose value changed is touched.
    void only_what_changed_is_touched()
    {
        QFETCH(QString, before);
        QFETCH(QString, after);
        const auto w = make_window_without_port();
        w->window.show(); // a hidden window's widgets get no style changes
        w->judge(unit_frame(before));
        w->read(unit_frame(before));
        Widget_changes changes;
        qApp->installEventFilter(&changes);
        w->read(unit_frame(after));
        qApp->removeEventFilter(&changes);
        QTEST(changes.names, "touched");
    }

    void an_identical_status_is_not_drawn_again()
    {
        const auto w = make_window_without_port();
        // No module either, whose panel could have its own reason to redraw.
        const QByteArray frame = unit_frame("sfp1.type none; sfp2.type none");
        w->judge(frame);
        const auto labels = w->window.findChildren<QLabel *>();
        for (QLabel *label : labels)
            label->setText(QStringLiteral("?")); // a redraw would put every text back
        w->read(frame + frame);
        w->read(frame);
        for (const QLabel *label : labels)
            QVERIFY2(label->text() == "?", qPrintable(label->objectName()));
        // Blanked, the window shows the same status again.
        w->fall_silent();
        w->read(frame);
        QCOMPARE(w->label("label_protocol_ver")->text(), "2.0, Ok");
    }

    // Drawn once after a read of many frames, the window shows what drawing every frame
    // would have left, a channel that turned unassigned keeping the direction it had.
    void one_draw_per_read()
    {
        const QString odd = QStringLiteral(
            "rx_fault 1; tx_fault 1; overheat 1; lock 0; link_f 0; link_p1 0; link_p2 0;"
            "dante.system 0; dante.sync 0; dante.link 0; threshold -10;");
        const QByteArray last = unit_frame(odd + "sfp1.dir1 unassigned");
        const QByteArrayList frames{unit_frame(odd), unit_frame(), unit_frame(odd), unit_frame(),
                                    last};
        QVector<QVariantList> screens[2];
        int style_changes[2];
        for (const bool once : {false, true}) {
            const auto w = make_window_without_port();
            w->window.show();
            w->judge(unit_frame("sfp1.dir1 tx"));
            Widget_changes changes; // of a label whose colour flips every frame
            w->label("label_rx_fault")->installEventFilter(&changes);
            if (once)
                w->read(frames.join());
            else
                for (const QByteArray &frame : frames)
                    w->read(frame);
            screens[once] = screen(*w, last);
            style_changes[once] = changes.names.size();
            QCOMPARE(w->label("label_sfp1_chanel_1")->text(), "Rx");
        }
        QCOMPARE(screens[true], screens[false]);
        QCOMPARE(style_changes[false], 5);
        QCOMPARE(style_changes[true], 1);
    }

    // What the frames before the last one of a read did to a channel turned
    // unassigned counts, though the last one equals the status on the screen.
    void earlier_frames_of_a_read_count()
    {
        const auto w = make_window_without_port();
        const QByteArray unassigned = unit_frame("sfp1.dir1 unassigned");
        w->read(unit_frame());
        w->read(unassigned);
        QCOMPARE(w->label("label_sfp1_chanel_1")->text(), "Rx");
        w->read(unit_frame("sfp1.dir1 tx") + unassigned);
        QCOMPARE(w->label("label_sfp1_chanel_1")->text(), "Tx");
        QVERIFY(w->label("label_sfp1_tx_pwr_1")->isVisibleTo(&w->window));
    }
};

QTEST_MAIN(Redraw_test)
#include "tst_redraw.moc"
