#include "support/status_payload.h"
#include "support/window_under_test.h"

#include <QtTest/QtTest>
#include <QtWidgets/QLabel>

#include <memory>

namespace {

// No rule of the window sets it: it survives only on a label nothing touched.
const QString sentinel = QStringLiteral("color: blue");
constexpr uint8_t sfp1_only = 0x01, sfp2_only = 0x08, sfp_eth_only = 0x20, sfp1_sfp2 = 0x09;
constexpr uint8_t overheat = 0x10, tx_fault = 0x20, rx_fault = 0x40;
constexpr uint8_t link_f = 0x01, link_p1 = 0x02, link_p2 = 0x04, valid = 0x08;
constexpr uint8_t none = 0, rx = 1, tx = 2, un = 3; // channel directions, rows 1 to 4

Status_payload unit(uint8_t flags, uint8_t links, uint8_t cages, const QVector<uint8_t> &dirs = {},
                    uint8_t version = 0x20)
{
    Status_payload status{version, flags, links, cages};
    for (int row = 0; row < dirs.size(); ++row)
        status.directions[row / 2][row % 2] = dirs[row];
    return status;
}

// Each label as "text colour", e.g. "Ok green"; the text alone where the style is untouched.
QString seen(const Window_under_test &w, const QStringList &names)
{
    QStringList out;
    for (const QString &name : names)
        out << QString(w.label(name)->text() + ' ' + w.label(name)->styleSheet())
                   .remove(' ' + sentinel)
                   .remove(QStringLiteral("color: "));
    return out.join('|');
}

} // namespace

class Presentation_test : public QObject
{
    Q_OBJECT

    std::unique_ptr<Window_under_test> w;

private Q_SLOTS:
    void init() { w = std::make_unique<Window_under_test>(); }
    void cleanup() { w.reset(); }

    void status_rules_data()
    {
        QTest::addColumn<Status_payload>("status");
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<QString>("expected");
        QStringList names;
        const auto row = [&names](const char *tag, const Status_payload &s, const char *expected) {
            QTest::newRow(tag) << s << names << QString(expected);
        };
        const int all = rx_fault | tx_fault | overheat, n_a = link_f | link_p1 | link_p2;
        names = QStringList{"label_rx_fault", "label_tx_fault", "label_overheat"};
        row("only SFP Eth", unit(all, 0, sfp_eth_only), "-- grey|-- grey|-- grey");
        row("SFP 2, overheat", unit(overheat, 0, sfp2_only), "Ok green|Ok green|Error red");
        row("SFP 1, rx fault", unit(rx_fault, 0, sfp1_only), "Fault red|Ok green|Ok green");
        row("every fault", unit(all, 0, sfp1_sfp2), "Fault red|Fault red|Error red");
        names = QStringList{"label_link_f", "label_link_p1", "label_link_p2"};
        row("f, p2 up", unit(0, valid | link_f | link_p2, 0), "Link green|Fault black|Link green");
        row("links down", unit(0, valid, 0, {}, 0x11), "Fault black|Fault black|Fault black");
        row("links not valid", unit(0, n_a, 0),
            "Not available grey|Not available grey|Not available grey");
        row("1.0 has links", unit(0, link_p1, 0, {}, 0x10), "Fault black|Link green|Fault black");
        names = QStringList{"label_in_out_1", "label_in_out_2", "label_in_out_3", "label_in_out_4",
                            "label_lock_1",   "label_lock_2",   "label_lock_3",   "label_lock_4"};
        row("row 4 lock lost", unit(0x07, 0, sfp1_sfp2, {tx, tx, tx, tx}),
            "In 1:|In 2:|In 3:|In 4:|Ok green|Ok green|Ok green|Fault red");
        row("no direction", unit(0x01, 0, sfp1_sfp2, {none, rx, rx, rx}),
            "---:|Out 2:|Out 3:|Out 4:|-- grey|Fault red|Fault red|Fault red");
        row("unassigned", unit(0x05, 0, sfp1_sfp2, {un, rx, tx, un}),
            "Unassigned 1:|Out 2:|In 3:|Unassigned 4:|Ok green|Fault red|Ok green|Fault red");
        row("SFP 2 absent", unit(0x0F, 0, sfp1_only),
            "Out 1:|In 2:|---:|---:|Ok green|Ok green|-- grey|-- grey");
        names = QStringList{"label_crc_ctrl", "label_protocol_ver"};
        row("1.0", unit(0, 0, 0, {}, 0x10), "Ok green|1.0, Ok green");
        row("1.1", unit(0, 0, 0, {}, 0x11), "Ok green|1.1, Ok green");
        row("2.0", unit(0, 0, 0, {}, 0x20), "Ok green|2.0, Ok green");
        row("1.2", unit(0, 0, 0, {}, 0x12), "Ok green|1.2, Version mistmatch red");
        row("2.1", unit(0, 0, 0, {}, 0x21), "Ok green|2.1, Version mistmatch red");
        row("171", unit(0, 0, 0, {}, 0xAB), "Ok green|10.11, Version mistmatch red");
    }

    void status_rules()
    {
        QFETCH(Status_payload, status);
        QFETCH(QStringList, names);
        QFETCH(QString, expected);
        // Another version first: nothing of one frame may stick to the next.
        w->probe.feed(unit(0, 0, 0, {}, status.version == 0x20 ? 0x11 : 0x20).frame());
        for (QLabel *label : w->window.findChildren<QLabel *>())
            label->setStyleSheet(sentinel);
        w->probe.feed(status.frame());
        QVERIFY(w->probe.crc_ok());
        QCOMPARE(seen(*w, names), expected);
        const auto drawn = every_label(w->window);
        w->probe.feed(status.frame()); // the same again changes nothing
        QCOMPARE(every_label(w->window), drawn);
        // A redraw only follows a good frame, so the mismatch needs the flag down.
        w->probe.crc_ok() = false;
        w->probe.redraw();
        QCOMPARE(seen(*w, {"label_crc_ctrl"}), QStringLiteral("Mistmatch red"));
    }
};

QTEST_MAIN(Presentation_test)
#include "tst_presentation.moc"
