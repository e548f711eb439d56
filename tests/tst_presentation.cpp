// How one decoded status frame is shown: fault indicators, in/out rows, links,
// CRC control and protocol version, fed through the receiver as on the line.

#include "support/status_payload.h"
#include "support/window_under_test.h"

#include <QtTest/QtTest>
#include <QtWidgets/QLabel>

#include <memory>

namespace {

const QString green = QStringLiteral("color: green");
const QString red = QStringLiteral("color: red");
const QString grey = QStringLiteral("color: grey");
// No rule of the window sets it: it survives only on a label nothing touched.
const QString sentinel = QStringLiteral("color: blue");
const Shown ok{QStringLiteral("Ok"), green};
const Shown fault{QStringLiteral("Fault"), red};
const Shown blank{QStringLiteral("--"), grey};
const QStringList faults{"label_rx_fault", "label_tx_fault", "label_overheat"};
const QStringList links_{"label_link_f", "label_link_p1", "label_link_p2"};
const QStringList io{"label_in_out_1", "label_in_out_2", "label_in_out_3", "label_in_out_4",
                     "label_lock_1",   "label_lock_2",   "label_lock_3",   "label_lock_4"};

constexpr uint8_t sfp1_only = 0x01, sfp2_only = 0x08, sfp_eth_only = 0x20, sfp1_sfp2 = 0x09;
constexpr uint8_t overheat = 0x10, tx_fault = 0x20, rx_fault = 0x40;
constexpr uint8_t link_f = 0x01, link_p1 = 0x02, link_p2 = 0x04, links_valid = 0x08;
constexpr uint8_t none = 0, rx = 1, tx = 2, un = 3; // channel directions, rows 1 to 4

Status_payload unit(uint8_t version, uint8_t flags, uint8_t links, uint8_t cages,
                    const QVector<uint8_t> &directions = {rx, tx, rx, tx})
{
    Status_payload status;
    status.version = version;
    status.flags = flags;
    status.links = links;
    status.cages = cages;
    for (int row = 0; row < 4; ++row)
        status.directions[row / 2][row % 2] = directions[row];
    return status;
}

// Captions keep the colour the watchdog gave them; the locks follow the rows.
QVector<Shown> rows(const QStringList &captions, const QVector<Shown> &locks)
{
    QVector<Shown> result;
    for (const QString &caption : captions)
        result.append({caption, sentinel});
    return result + locks;
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
        QTest::addColumn<QVector<Shown>>("expected");
        const auto row = [](const char *name, const Status_payload &s, const QStringList &names,
                            const QVector<Shown> &expected) {
            QTest::newRow(name) << s << names << expected;
        };
        const Shown error{QStringLiteral("Error"), red};
        const Shown up{QStringLiteral("Link"), green};
        const Shown down{QStringLiteral("Fault"), QStringLiteral("color: black")};
        const Shown unknown{QStringLiteral("Not available"), grey};
        const int all = rx_fault | tx_fault | overheat, valid = links_valid;

        row("only SFP Eth", unit(0x20, rx_fault, 0, sfp_eth_only), faults, {blank, blank, blank});
        row("no cage", unit(0x20, all, 0, 0), faults, {blank, blank, blank});
        row("SFP 2, overheat", unit(0x20, overheat, 0, sfp2_only), faults, {ok, ok, error});
        row("SFP 1, rx fault", unit(0x20, rx_fault, 0, sfp1_only), faults, {fault, ok, ok});
        row("every fault", unit(0x20, all, 0, sfp1_sfp2), faults, {fault, fault, error});

        row("links f, p2", unit(0x20, 0, valid | link_f | link_p2, 0), links_, {up, down, up});
        row("links down", unit(0x11, 0, valid, 0), links_, {down, down, down});
        row("links not valid", unit(0x20, 0, link_f | link_p1 | link_p2, 0), links_,
            {unknown, unknown, unknown});
        row("1.0 has links", unit(0x10, 0, link_p1, 0), links_, {down, up, down});

        row("rx tx rx tx", unit(0x20, 0x0F, 0, sfp1_sfp2), io,
            rows({"Out 1:", "In 2:", "Out 3:", "In 4:"}, {ok, ok, ok, ok}));
        row("row 4 lock lost", unit(0x20, 0x07, 0, sfp1_sfp2, {tx, tx, tx, tx}), io,
            rows({"In 1:", "In 2:", "In 3:", "In 4:"}, {ok, ok, ok, fault}));
        row("no direction", unit(0x20, 0x01, 0, sfp1_sfp2, {none, rx, rx, rx}), io,
            rows({"---:", "Out 2:", "Out 3:", "Out 4:"}, {blank, fault, fault, fault}));
        row("unassigned", unit(0x20, 0x05, 0, sfp1_sfp2, {un, un, rx, un}), io,
            rows({"Unassigned 1:", "Unassigned 2:", "Out 3:", "Unassigned 4:"},
                 {ok, fault, ok, fault}));
        row("SFP 2 absent", unit(0x20, 0x0F, 0, sfp1_only), io,
            rows({"Out 1:", "In 2:", "---:", "---:"}, {ok, ok, blank, blank}));

        const QString bad = QStringLiteral(", Version mistmatch");
        const QVector<QPair<int, QString>> versions{
            {0x10, "1.0, Ok"},   {0x11, "1.1, Ok"},     {0x20, "2.0, Ok"},
            {0x12, "1.2" + bad}, {0x1F, "1.15" + bad},  {0x21, "2.1" + bad},
            {0x00, "0.0" + bad}, {0xAB, "10.11" + bad}, {0xFF, "15.15" + bad}};
        for (const auto &v : versions)
            row(qPrintable(v.second), unit(uint8_t(v.first), 0, 0, 0), {"label_protocol_ver"},
                {{v.second, v.second.endsWith(bad) ? red : green}});
    }

    void status_rules()
    {
        QFETCH(Status_payload, status);
        QFETCH(QStringList, names);
        QFETCH(QVector<Shown>, expected);

        // Another version first: nothing of one frame may stick to the next.
        w->probe.feed(unit(status.version == 0x20 ? 0x11 : 0x20, 0, 0, 0).frame());
        for (QLabel *label : w->window.findChildren<QLabel *>())
            label->setStyleSheet(sentinel);
        w->probe.feed(status.frame());

        QVERIFY(w->probe.crc_ok());
        for (int i = 0; i < names.size(); ++i)
            QCOMPARE(shown(w->label(names[i])), expected[i]);
    }

    void identical_frames_change_nothing_and_crc_control()
    {
        const Status_payload status =
            unit(0x20, rx_fault | 0x05, links_valid | link_p1, sfp1_sfp2, {rx, tx, tx, un});
        w->probe.feed(status.frame());
        QCOMPARE(shown(w->ui().label_crc_ctrl), ok);
        const auto before = every_label(w->window);
        w->probe.feed(status.frame());
        QCOMPARE(every_label(w->window), before);

        // A redraw only follows a good frame, so the mismatch needs the flag down.
        w->probe.crc_ok() = false;
        w->probe.redraw();
        QCOMPARE(shown(w->ui().label_crc_ctrl), Shown(QStringLiteral("Mistmatch"), red));
    }
};

QTEST_MAIN(Presentation_test)
#include "tst_presentation.moc"
