// The redraw skips a status identical to the one it last drew, so every value
// it draws from must count as a change; and it holds the window's layouts
// while it runs, so the window must still be laid out afterwards.

#include "support/status_payload.h"
#include "support/window_under_test.h"

#include <QtTest/QtTest>
#include <QtWidgets/QLabel>
#include <QtWidgets/QLayout>

#include <functional>
#include <memory>
#include <vector>

namespace {

const QString green = QStringLiteral("color: green");
const QString red = QStringLiteral("color: red");
const QString black = QStringLiteral("color: black");
const QString grey = QStringLiteral("color: grey");

// One value the redraw reads, changed alone, and what the window then shows.
// A null sheet: the label keeps the one it had.
struct Change
{
    QString name;
    std::function<void(Main_window_probe &)> apply;
    QString label;
    QString text;
    QString sheet;
};

std::vector<Change> changes()
{
    using P = Main_window_probe;
    std::vector<Change> table = {
        {"threshold above the power", [](P &p) { p.ui().box_current_trshd->setValue(-15); },
         "label_sfp1_rx_pwr_1", "-20.0 dBm", red},
        {"CRC flag down", [](P &p) { p.crc_ok() = false; }, "label_crc_ctrl", "Mistmatch", red},
        {"received power", [](P &p) { p.sfp(0).rx_pwr[0] = -21.5f; }, "label_sfp1_rx_pwr_1",
         "-21.5 dBm", black},
        {"sent power",
         [](P &p) { p.sfp(1).tx_pwr[1] = -3.5f; },
         "label_sfp2_tx_pwr_2",
         "-3.5 dBm",
         {}},
        {"wavelength",
         [](P &p) { p.sfp(2).wavelength[1] = 850; },
         "label_sfp_eth_wl2",
         "850 nm",
         {}},
        {"temperature", [](P &p) { p.sfp(0).temperature = 40; }, "label_sfp1_temp", "40 C", {}},
        {"cage type", [](P &p) { p.sfp(1).type = Sfp_module::type_other; }, "label_sfp2_type",
         "Unknown", red},
        {"presence", [](P &p) { p.sfp(2).present = 0; }, "label_sfp_eth_temp", "--", {}},
        {"direction",
         [](P &p) { p.sfp(1).chanel_dir[1] = Sfp_module::dir_rx; },
         "label_in_out_4",
         "Out 4:",
         {}},
        {"rx fault", [](P &p) { p.parcer().rx_fault = 1; }, "label_rx_fault", "Fault", red},
        {"tx fault", [](P &p) { p.parcer().tx_fault = 1; }, "label_tx_fault", "Fault", red},
        {"overheat", [](P &p) { p.parcer().overheat = 1; }, "label_overheat", "Error", red},
        {"links not valid", [](P &p) { p.parcer().link_valid = 0; }, "label_link_f",
         "Not available", grey},
        {"link F", [](P &p) { p.parcer().link_f = 0; }, "label_link_f", "Fault", black},
        {"link P1", [](P &p) { p.parcer().link_p1 = 0; }, "label_link_p1", "Fault", black},
        {"link P2", [](P &p) { p.parcer().link_p2 = 0; }, "label_link_p2", "Fault", black},
        {"version", [](P &p) { p.parcer().protocol_version = 0x11; }, "label_protocol_ver",
         "1.1, Ok", green},
        {"Dante system", [](P &p) { p.dante().system_state = Dante_module::state_bad; },
         "label_system", "Error", red},
        {"Dante sync", [](P &p) { p.dante().sync_state = Dante_module::state_bad; }, "label_sync",
         "Not", black},
        {"Dante link", [](P &p) { p.dante().link_state = Dante_module::state_bad; },
         "label_dante_link", "Fault", black},
        {"microphone", [](P &p) { p.dante().mic_type = Dante_module::state_bad; }, "label_mic_type",
         "Remote", green},
        {"input 0", [](P &p) { p.dante().input_type[0] = Dante_module::state_bad; },
         "label_input_0", "Microphone", black},
        {"input 1", [](P &p) { p.dante().input_type[1] = Dante_module::state_bad; },
         "label_input_1", "Microphone", black},
    };
    for (int row = 0; row < 4; ++row)
        table.push_back({QStringLiteral("lock %1").arg(row + 1),
                         [row](P &p) { p.parcer().lock[row] = 0; },
                         QStringLiteral("label_lock_%1").arg(row + 1), "Fault", red});
    return table;
}

// Runs the layout requests and everything they post in turn.
void settle()
{
    for (int pass = 0; pass < 2; ++pass) {
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
    }
}

QMap<QString, QRect> label_geometries(const QWidget &window)
{
    QMap<QString, QRect> result;
    const auto labels = window.findChildren<QLabel *>();
    for (const QLabel *label : labels) {
        if (label->isVisible())
            result.insert(label->objectName(),
                          QRect(label->mapTo(&window, QPoint()), label->size()));
    }
    return result;
}

} // namespace

class Redraw_test : public QObject
{
    Q_OBJECT

    std::unique_ptr<Window_under_test> w;

private Q_SLOTS:
    void init()
    {
        w = std::make_unique<Window_under_test>();
        w->probe.feed(Status_payload().frame());
    }
    void cleanup() { w.reset(); }

    void every_drawn_value_counts_data()
    {
        QTest::addColumn<int>("index");
        const std::vector<Change> table = changes();
        for (int i = 0; i < int(table.size()); ++i)
            QTest::newRow(qPrintable(table[i].name)) << i;
    }

    void every_drawn_value_counts()
    {
        QFETCH(int, index);
        const Change change = changes()[std::size_t(index)];
        QLabel *label = w->label(change.label);
        QVERIFY2(label, qPrintable(change.label));
        const QString sheet_before = label->styleSheet();
        const bool recoloured = !change.sheet.isNull() && change.sheet != sheet_before;
        QVERIFY(label->text() != change.text || recoloured);

        w->probe.redraw(); // the same status again
        change.apply(w->probe);
        w->probe.redraw();

        QCOMPARE(label->text(), change.text);
        QCOMPARE(label->styleSheet(), change.sheet.isNull() ? sheet_before : change.sheet);
    }

    // Swapped directions show and hide a dozen labels while the layouts are held.
    void window_is_laid_out_after_a_redraw()
    {
        w->window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w->window));
        Status_payload swapped;
        for (auto &cage : swapped.directions)
            std::swap(cage[0], cage[1]);
        w->probe.feed(swapped.frame());

        const auto layouts = w->window.findChildren<QLayout *>();
        for (const QLayout *layout : layouts)
            QVERIFY(layout->isEnabled());
        settle();
        const QMap<QString, QRect> laid_out = label_geometries(w->window);
        QVERIFY(laid_out.contains(QStringLiteral("label_sfp1_tx_pwr_1")));
        QVERIFY(!laid_out.contains(QStringLiteral("label_sfp1_rx_pwr_1")));

        for (QLayout *layout : layouts)
            layout->invalidate();
        for (QLayout *layout : layouts)
            layout->activate();
        settle();
        QCOMPARE(label_geometries(w->window), laid_out);
    }
};

QTEST_MAIN(Redraw_test)
#include "tst_redraw.moc"
