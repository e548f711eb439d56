// The SFP and Dante panels on the real window's widgets, and what a redraw may touch.

#include "support/status_payload.h"
#include "support/window_under_test.h"

#include <QtTest/QtTest>
#include <QtWidgets/QLabel>

const QStringList cage_prefixes{"label_sfp1_", "label_sfp2_", "label_sfp_eth_"};
const QStringList dir_texts{"--", "Rx", "Tx"};
// A present cage's channel by direction (see channel()), then an absent cage's.
const QStringList visible_for{"1100000011", "1111000011", "1100111111", "0000000000"};

class Tst_panels : public QObject
{
    Q_OBJECT

    std::unique_ptr<Window_under_test> w;
    QStringList changed; // objects whose style, visibility or enabling was set

    // The cage's label of that name, %1 in the name standing for the channel's number.
    const QLabel *label(const QString &name, int cage = 0, int ch = 0) const
    {
        return w->label(cage_prefixes[cage] + (name.contains("%1") ? name.arg(ch + 1) : name));
    }
    // Text and colour, as "Ok green" for "color: green".
    static QString paint(const QLabel *l) { return l->text() + ' ' + l->styleSheet().mid(7); }

    // Type, presence and temperature of the cage, direction, powers and wavelength of the channel;
    // then which of direction, powers, wavelength and temperature are shown, with captions.
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

public:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (QSet<int>{QEvent::StyleChange, QEvent::ShowToParent, QEvent::HideToParent,
                      QEvent::EnabledChange}
                .contains(event->type()))
            changed << watched->objectName();
        return false;
    }

private Q_SLOTS:
    void init() { w = std::make_unique<Window_under_test>(); }
    void cleanup() { w.reset(); }

    void sfp_panels_data()
    {
        QTest::addColumn<int>("version");
        QTest::addColumn<int>("cages");    // two type bits per cage, SFP 1 lowest
        QTest::addColumn<QString>("dirs"); // of a 1.1 frame fitting every cage, then the row's
        QTest::newRow("1.0, types 1 2 3, Tx/Rx to Rx/Tx") << 0x10 << 0x39 << "2112";
        QTest::newRow("1.1, types 2 3 0, Rx/Tx to Tx/Rx") << 0x11 << 0x0E << "1221";
        QTest::newRow("2.0, types 3 0 1, Rx/Tx to none/Tx") << 0x20 << 0x13 << "1202";
        QTest::newRow("2.0, types 0 1 2, Rx/Tx to unassigned") << 0x20 << 0x24 << "1233";
        QTest::newRow("1.0, none/Rx to unassigned/Tx") << 0x10 << 0x3F << "0132";
    }

    // Below 0x11 no wavelengths; before 2.0 no threshold, so negative powers are red;
    // direction 3 keeps the channel's text and visibility, but no power.
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
            w->probe.feed(status.frame());
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

    // Power and threshold alternate, so each row has to recolour what the one before drew.
    void rx_colour()
    {
        w->probe.feed(Status_payload().frame()); // SFP 1's channel 1 receives
        const float powers[] = {-20.0f, -20.0f, -20.0f, -20.1f, -19.9f};
        const int thresholds[] = {-28, -15, -20, -20, -20};
        QStringList got;
        for (int row = 0; row < 5; ++row) {
            w->probe.sfp(0).rx_pwr[0] = powers[row];
            w->ui().box_current_trshd->setValue(thresholds[row]);
            w->probe.sfp(0).update_sfp_panel();
            got << paint(label("rx_pwr_%1"));
        }
        QCOMPARE(got.join(", "), "-20.0 dBm black, -20.0 dBm red, -20.0 dBm black, -20.1 dBm red, "
                                 "-19.9 dBm black"); // equal is black
    }

    void redraw_data()
    {
        QTest::addColumn<int>("cages");
        QTest::addColumn<int>("dante");        // the Dante byte of a 2.0 status frame
        QTest::addColumn<QString>("expected"); // system, sync, link, mic, input 0, input 1
        QTest::newRow("all fitted, Dante absent")
            << 0x29 << 0x00 << "-- grey|-- grey|-- grey|-- grey|-- grey|-- grey";
        QTest::newRow("nothing fitted, Dante mixed")
            << 0x00 << 0x55
            << "Error red|Ok green|Fault black|Local black|Microphone black|Line black";
        QTest::newRow("types 3 2 0, Dante mixed the other way")
            << 0x0B << 0x2B
            << "Ok green|Not black|Ok green|Remote green|Line black|Microphone black";
    }

    // The Dante panel, then what the watchdog's blanking and two redraws do to it all.
    void redraw()
    {
        QFETCH(int, cages);
        QFETCH(int, dante);
        QFETCH(QString, expected);
        const auto screen = [&] { // what a redraw draws, and how many gain controls are enabled
            auto out = every_label(w->window);
            out.remove("label_receiving_status"); // the watchdog's own
            for (int row = 1; row <= 4; ++row)    // captions keep the black the blanking gives them
                out[QStringLiteral("label_in_out_%1").arg(row)].second.clear();
            out["gain"].first =
                QString::number(w->ui().box_gain_0->isEnabled() + w->ui().box_gain_1->isEnabled() +
                                w->ui().button_reading_gain->isEnabled());
            return out;
        };
        Status_payload status{0x20, 0x0F, 0x0F, uint8_t(cages)};
        for (const int byte : {dante ? dante ^ 0x7E : 0x7F, dante}) { // each Dante label changes
            status.dante = uint8_t(byte);
            w->tick(status.frame());
        }
        const auto before = screen();
        QStringList shown_dante;
        for (const char *name : {"system", "sync", "dante_link", "mic_type", "input_0", "input_1"})
            shown_dante << paint(w->label(QStringLiteral("label_") + name));
        QCOMPARE(shown_dante.join('|'), expected);
        QCOMPARE(before.value("gain").first, dante ? "3" : "0");
        w->probe.tick(); // a silent second blanks the window behind the panels' backs
        QVERIFY(screen() != before);
        w->probe.feed(status.frame());
        QCOMPARE(screen(), before);

        // A change redraws every panel, which must leave the style, visibility and enabling of
        // all but the changed label alone. (A hidden window's widgets get no style changes.)
        w->window.show();
        changed.clear(); // by an earlier row
        qApp->installEventFilter(this);
        w->probe.dante().link_state = w->probe.dante().link_state == 2 ? 1 : 2;
        w->probe.redraw();
        qApp->removeEventFilter(this);
        QCOMPARE(changed, QStringList{"label_dante_link"});
    }
};

QTEST_MAIN(Tst_panels)
#include "tst_panels.moc"
