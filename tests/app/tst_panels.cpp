#include "support/status_payload.h"
#include "support/window_fixture.h"

#include <QtTest/QtTest>
#include <QtWidgets/QLabel>
#include <QtWidgets/QSpinBox>

const QStringList cage_prefixes{"label_sfp1_", "label_sfp2_", "label_sfp_eth_"};
const QStringList dir_texts{"--", "Rx", "Tx"};
const QStringList visible_for{"1100000011", "1111000011", "1100111111", "0000000000"};

// Records which widgets a redraw restyles, shows, hides, enables or disables.
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

class Tst_panels : public QObject
{
    Q_OBJECT

    std::unique_ptr<Window_fixture> w;

    const QLabel *label(const QString &name, int cage = 0, int ch = 0) const
    {
        return w->label(cage_prefixes[cage] + (name.contains("%1") ? name.arg(ch + 1) : name));
    }
    static QString paint(const QLabel *l) { return l->text() + ' ' + l->styleSheet().mid(7); }

    // The cage's and channel's texts and colours, then which of them are shown, with captions.
    QStringList channel(int cage, int ch) const
    {
        QString shown;
        for (const char *name : {"chanel_%1", "ch%1_text", "rx_pwr_%1", "rxpwr%1_text", "tx_pwr_%1",
                                 "txpwr%1_text", "wl%1", "wl%1_text", "temp", "temp_text"})
            shown += label(name, cage, ch)->isVisibleTo(&w->window) ? '1' : '0';
        return {paint(label("type", cage)),          paint(label("present", cage)),
                label("temp", cage)->text(),         label("chanel_%1", cage, ch)->text(),
                paint(label("rx_pwr_%1", cage, ch)), label("tx_pwr_%1", cage, ch)->text(),
                label("wl%1", cage, ch)->text(),     shown};
    }

private Q_SLOTS:
    void init() { w = make_window_without_port(); }
    void cleanup() { w.reset(); }

    void sfp_panels_data()
    {
        QTest::addColumn<int>("version");
        QTest::addColumn<int>("cages");    // two type bits per cage, SFP 1 lowest
        QTest::addColumn<QString>("dirs"); // of a 1.1 frame fitting every cage, then the row's
        QTest::newRow("1.0, types 1 2 3, Tx/Rx to Rx/Tx") << 0x10 << 0x39 << "2112";
        QTest::newRow("2.0, types 3 0 1, Rx/Tx to none/Tx") << 0x20 << 0x13 << "1202";
        QTest::newRow("1.0, none/Rx to unassigned/Tx") << 0x10 << 0x3F << "0132";
    }

    // No wavelength before 1.1, negative powers red before 2.0; direction 3 keeps text, no power.
    void sfp_panels()
    {
        QFETCH(int, version);
        QFETCH(int, cages);
        QFETCH(QString, dirs);
        for (int second = 0; second < 2; ++second) {
            Status_payload status{uint8_t(second ? version : 0x11), 0x0F, 0x0F,
                                  uint8_t(second ? cages : 0x3F)};
            for (int i = 0; i < 6; ++i)
                status.directions[i / 2][i % 2] = uint8_t(dirs[2 * second + i % 2].digitValue());
            w->read(status.frame());
        }
        const QStringList power{"-20.0 dBm", "0.0 dBm"}; // the payload's
        const QStringList by_type{"-- black|Not available grey|--", "Video green|Ok green|25 C",
                                  "Ethernet green|Ok green|25 C", "Unknown red|Ok red|25 C"};
        for (int cage = 0; cage < 3; ++cage) {
            const int type = (cages >> (2 * cage)) & 3;
            for (int ch = 0; ch < 2; ++ch) {
                const int dir = type ? dirs[2 + ch].digitValue() : 0;
                const int drawn = dir == 3 ? dirs[ch].digitValue() : dir;
                const bool red = dir == 1 && ch == 0 && version < 0x20;
                QCOMPARE(channel(cage, ch),
                         (by_type[type].split('|') +
                          QStringList{type ? dir_texts[drawn] : "--",
                                      (dir == 1 ? power[ch] : "--") + (red ? " red" : " black"),
                                      dir == 2 ? power[ch] : "--",
                                      type ? (version < 0x11 || ch ? "0 nm" : "1310 nm") : "--",
                                      visible_for[type ? drawn : 3]}));
            }
        }
    }

    void rx_colour()
    {
        QStringList got; // power and threshold alternate: each row recolours the one before
        // The last threshold is beyond the box's range: powers are judged by what it shows.
        for (const QPoint row :
             {QPoint(-200, -15), {-200, -20}, {-201, -20}, {-199, -20}, {-360, -128}}) {
            Status_payload status; // SFP 1's channel 1 receives
            status.threshold = int8_t(row.y());
            QByteArray payload = status.bytes();
            payload[5] = char(row.x() >> 8); // its power, in tenths of a dBm
            payload[6] = char(row.x());
            w->read(status_frame(payload));
            got << paint(label("rx_pwr_%1"))
                << w->widget<QSpinBox>("box_current_trshd")->text();
        }
        QCOMPARE(got.join(", "), // equal is black
                 "-20.0 dBm red, -15 dBm, -20.0 dBm black, -20 dBm, -20.1 dBm red, -20 dBm, "
                 "-19.9 dBm black, -20 dBm, -36.0 dBm red, -35 dBm");
    }

    void redraw_data()
    {
        QTest::addColumn<int>("dante");        // the Dante byte of a 2.0 status frame
        QTest::addColumn<QString>("expected"); // system, sync, link, mic, input 0, input 1
        QTest::newRow("absent") << 0x00 << "-- grey|-- grey|-- grey|-- grey|-- grey|-- grey";
        QTest::newRow("mixed")
            << 0x55 << "Error red|Ok green|Fault black|Local black|Microphone black|Line black";
        QTest::newRow("mixed the other way")
            << 0x2B << "Ok green|Not black|Ok green|Remote green|Line black|Microphone black";
    }

    // The Dante panel, drawn again after the watchdog blanked it.
    void redraw()
    {
        QFETCH(int, dante);
        QFETCH(QString, expected);
        const auto dante_panel = [this] {
            QStringList out;
            for (const char *name :
                 {"system", "sync", "dante_link", "mic_type", "input_0", "input_1"})
                out << paint(w->label(QStringLiteral("label_") + name));
            return out.join('|');
        };
        Status_payload status;
        for (const int byte : {dante ? dante ^ 0x7E : 0x7F, dante}) { // each Dante label changes
            status.dante = uint8_t(byte);
            w->read(status.frame());
        }
        QCOMPARE(dante_panel(), expected);
        w->fall_silent();
        QCOMPARE(dante_panel(), "-- grey|-- grey|-- grey|-- grey|-- grey|-- grey");
        w->read(status.frame());
        QCOMPARE(dante_panel(), expected);
        QCOMPARE(w->widget<QWidget>("button_reading_gain")->isEnabled(), dante != 0);

        // A changed status redraws every panel, yet only the changed label may be touched
        // (an absent submodule's link is no change).
        // Judged up with a frame before every pass of the event loop, the link stays up
        // whenever the session's own timer ticks.
        w->window.show(); // a hidden window's widgets get no style changes
        w->read(status.frame());
        w->session.receive(status.frame());
        w->session.check_link();
        Widget_changes changes;
        qApp->installEventFilter(&changes);
        status.dante ^= 0x08; // the link
        w->read(status.frame());
        qApp->removeEventFilter(&changes);
        QCOMPARE(changes.names, dante ? QStringList{"label_dante_link"} : QStringList());
    }
};

QTEST_MAIN(Tst_panels)
#include "tst_panels.moc"
