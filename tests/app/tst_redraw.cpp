#include "support/status_payload.h"
#include "support/window_fixture.h"

#include <QtTest/QtTest>
#include <QtWidgets/QLabel>
#include <QtWidgets/QLayout>

#include <iterator>
#include <numeric>

namespace {

// A healthy unit's payload with the bytes at `at` replaced.
QByteArray patched(int at, const char *hex)
{
    const QByteArray bytes = QByteArray::fromHex(hex);
    return Status_payload().bytes().replace(at, bytes.size(), bytes);
}

// Judged up, the link stays so at every tick of the session's own timer that follows a frame.
void judge_up(Window_fixture &w, const QByteArray &frame)
{
    w.read(frame);
    w.session.check_link();
}

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

struct Style_changes : QObject
{
    int count = 0;
    bool eventFilter(QObject *, QEvent *event) override
    {
        count += event->type() == QEvent::StyleChange;
        return false;
    }
};

} // namespace

class Redraw_test : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void every_drawn_value_counts_data()
    {
        // The healthy payload: version, flags, links, cage types, three 10-byte SFP blocks
        // from byte 4 (head with temperature and directions, two powers, two wavelengths,
        // flags), then the Dante byte at 34, its gains and the threshold at 37.
        QTest::addColumn<QByteArray>("payload");
        QTest::newRow("threshold above SFP 1's power") << patched(37, "F1");
        QTest::newRow("SFP 1 rx power") << patched(5, "FF29");
        QTest::newRow("SFP 2 tx power 2") << patched(17, "FFDD");
        QTest::newRow("SFP Eth wavelength 2") << patched(31, "0352");
        QTest::newRow("SFP 1 temperature") << patched(4, "93");
        QTest::newRow("SFP 2 other module") << patched(3, "2D");
        Status_payload no_eth;
        no_eth.cages = 0x09;
        QTest::newRow("SFP Eth absent") << no_eth.bytes();
        QTest::newRow("SFP 1 channel 1 Tx, shows and hides labels") << patched(4, "A0");
        QTest::newRow("SFP 2 channel 2 Rx") << patched(14, "50");
        QTest::newRow("rx fault") << patched(1, "4F");
        QTest::newRow("lock 4 lost") << patched(1, "07");
        QTest::newRow("link p2 down") << patched(2, "0B");
        QTest::newRow("Dante absent") << patched(34, "7E");
        QTest::newRow("Dante input 2 line") << patched(34, "3F");
    }

    void every_drawn_value_counts()
    {
        QFETCH(QByteArray, payload);
        const QByteArray healthy = Status_payload().frame(), changed = status_frame(payload);
        const auto w = make_window_without_port();
        w->window.show();
        judge_up(*w, healthy);
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

    void an_identical_status_is_not_drawn_again()
    {
        const auto w = make_window_without_port();
        Status_payload unit;
        unit.cages = 0; // no module either, whose panel could have its own reason to redraw
        const QByteArray frame = unit.frame();
        judge_up(*w, frame);
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
        Status_payload tx_first, even, odd;
        tx_first.directions[0][0] = Status_payload::tx; // SFP 1's channel 1
        odd.flags = 0x70;                               // every fault, every lock lost
        odd.links = 0x08;                               // every link down
        odd.dante = 0x01;                               // every Dante state bad
        odd.threshold = -15;                            // above the received powers
        Status_payload last = odd;
        last.directions[0][0] = Status_payload::unassigned;
        const QByteArray frames[] = {odd.frame(), even.frame(), odd.frame(), even.frame(),
                                     last.frame()};
        QVector<QVariantList> screens[2];
        int style_changes[2];
        for (const bool once : {false, true}) {
            const auto w = make_window_without_port();
            w->window.show();
            judge_up(*w, tx_first.frame());
            Style_changes changes; // of a label whose colour flips every frame
            w->label("label_rx_fault")->installEventFilter(&changes);
            if (once)
                w->read(std::accumulate(std::begin(frames), std::end(frames), QByteArray()));
            else
                for (const QByteArray &frame : frames)
                    w->read(frame);
            screens[once] = screen(*w, last.frame());
            style_changes[once] = changes.count;
            QCOMPARE(w->label("label_sfp1_chanel_1")->text(), "Rx");
        }
        QCOMPARE(screens[true], screens[false]);
        QCOMPARE(style_changes[false], 5);
        QCOMPARE(style_changes[true], 1);
    }
};

QTEST_MAIN(Redraw_test)
#include "tst_redraw.moc"
