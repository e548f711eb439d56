#include "support/status_payload.h"
#include "support/window_fixture.h"

#include <QtTest/QtTest>
#include <QtWidgets/QLabel>

const QString sentinel = QStringLiteral("color: blue"); // no rule sets it: left on untouched labels
// Flags 0x40 rx, 0x20 tx fault, 0x10 overheat; links 8 valid, 1 f, 2 p1, 4 p2; cages 1, 8, 0x20
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
QString seen(const Window_fixture &w, const QStringList &names)
{
    QStringList out;
    for (const QString &name : names)
        out << QString(w.label(name)->text() + ' ' + w.label(name)->styleSheet())
                   .remove(' ' + sentinel)
                   .remove(QStringLiteral("color: "));
    return out.join('|');
}

class Presentation_test : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void status_rules_data()
    {
        QTest::addColumn<Status_payload>("status");
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<QString>("expected");
        QStringList names;
        const auto row = [&names](const char *tag, const Status_payload &s, const char *expected) {
            QTest::newRow(tag) << s << names << QString(expected);
        };
        names = QStringList{"label_rx_fault", "label_tx_fault", "label_overheat"};
        row("only SFP Eth", unit(0x70, 0, 0x20), "-- grey|-- grey|-- grey");
        row("SFP 2, overheat", unit(0x10, 0, 0x08), "Ok green|Ok green|Error red");
        row("every fault", unit(0x70, 0, 0x09), "Fault red|Fault red|Error red");
        names = QStringList{"label_link_f", "label_link_p1", "label_link_p2"};
        row("f, p2 up", unit(0, 0x0D, 0), "Link green|Fault black|Link green");
        row("n/a", unit(0, 0x07, 0), "Not available grey|Not available grey|Not available grey");
        row("1.0 has links", unit(0, 0x02, 0, {}, 0x10), "Fault black|Link green|Fault black");
        names = QStringList{"label_in_out_1", "label_in_out_2", "label_in_out_3", "label_in_out_4",
                            "label_lock_1",   "label_lock_2",   "label_lock_3",   "label_lock_4"};
        row("row 4 lock lost", unit(0x07, 0, 0x09, {tx, tx, tx, tx}),
            "In 1:|In 2:|In 3:|In 4:|Ok green|Ok green|Ok green|Fault red");
        row("no direction", unit(0x01, 0, 0x09, {none, rx, rx, rx}),
            "---:|Out 2:|Out 3:|Out 4:|-- grey|Fault red|Fault red|Fault red");
        row("unassigned", unit(0x05, 0, 0x09, {un, rx, tx, un}),
            "Unassigned 1:|Out 2:|In 3:|Unassigned 4:|Ok green|Fault red|Ok green|Fault red");
        names = QStringList{"label_crc_ctrl", "label_protocol_ver"};
        row("1.0", unit(0, 0, 0, {}, 0x10), "Ok green|1.0, Ok green");
        row("171", unit(0, 0, 0, {}, 0xAB), "Ok green|10.11, Version mistmatch red");
    }

    void status_rules()
    {
        QFETCH(Status_payload, status);
        QFETCH(QStringList, names);
        QFETCH(QString, expected);
        const auto w = make_window_without_port();
        // Another version first: nothing of one frame may stick to the next.
        w->read(unit(0, 0, 0, {}, status.version == 0x20 ? 0x11 : 0x20).frame());
        for (QLabel *label : w->window.findChildren<QLabel *>())
            label->setStyleSheet(sentinel);
        w->read(status.frame());
        QCOMPARE(seen(*w, names), expected);
    }
};

QTEST_MAIN(Presentation_test)
#include "tst_presentation.moc"
