#include "support/status_payload.h"
#include "support/window_under_test.h"

#include <QtTest/QtTest>
#include <QtWidgets/QLayout>

#include <functional>

using Change = std::function<void(Main_window_probe &)>;
Q_DECLARE_METATYPE(Change)
#define CHANGE(expr) QTest::newRow(#expr) << Change([](Main_window_probe &p) { p.expr; })

// Every widget's text, style, enabling, visibility and place once layout requests have run.
QVector<QVariantList> screen(const QWidget &window)
{
    for (int pass = 0; pass < 3; ++pass)
        QCoreApplication::processEvents();
    QVector<QVariantList> out;
    for (const QWidget *w : window.findChildren<QWidget *>())
        out.append(
            {w->property("text"), w->styleSheet(), w->isEnabled(), w->isVisible(), w->geometry()});
    return out;
}

class Redraw_test : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void every_drawn_value_counts_data()
    {
        QTest::addColumn<Change>("change");
        CHANGE(ui().box_current_trshd->setValue(-15)); // now above SFP 1's power
        CHANGE(sfp(0).rx_pwr[0] = -21.5f);
        CHANGE(sfp(1).tx_pwr[1] = -3.5f);
        CHANGE(sfp(2).wavelength[1] = 850);
        CHANGE(sfp(0).temperature = 40);
        CHANGE(sfp(1).type = Sfp_module::type_other);
        CHANGE(sfp(2).present = 0);
        CHANGE(sfp(0).chanel_dir[0] = Sfp_module::dir_tx); // shows and hides labels
        CHANGE(sfp(1).chanel_dir[1] = Sfp_module::dir_rx);
        CHANGE(parcer().rx_fault = 1);
        CHANGE(parcer().lock[3] = 0);
        CHANGE(parcer().link_p2 = 0);
        CHANGE(dante().present = 0);
        CHANGE(dante().input_type[1] = Dante_module::state_bad);
    }

    void every_drawn_value_counts()
    {
        QFETCH(Change, change);
        Window_under_test w;
        w.probe.feed(Status_payload().frame());
        w.window.show();
        change(w.probe);
        const auto before = screen(w.window); // what the change alone shows
        w.probe.redraw();
        const auto drawn = screen(w.window);
        QVERIFY(drawn != before);
        // The redraw holds layouts off; fresh ones must place the window as they left it.
        for (QLayout *layout : w.window.findChildren<QLayout *>()) {
            QVERIFY(layout->isEnabled());
            layout->invalidate();
        }
        QCOMPARE(screen(w.window), drawn);
    }
};

QTEST_MAIN(Redraw_test)
#include "tst_redraw.moc"
