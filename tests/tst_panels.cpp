// The SFP and Dante panels on the real window's widgets, and what a redraw may touch.

#include "support/pty_window.h"
#include "support/status_payload.h"
#include "support/test_settings.h"

#include <QtTest/QtTest>

#include <memory>

namespace {

const char *const cage_names[] = {"sfp1", "sfp2", "sfp_eth"};
const QStringList dir_texts{"--", "Rx", "Tx"};
// A present cage's channel by direction (see visibility()), then an absent cage's.
const QStringList visible_for{"1100000011", "1111000011", "1100111111", "0000000000"};

// Names of the objects whose style, visibility or enabling is set while it lives.
struct Change_counter : QObject
{
    QStringList changed;
    Change_counter() { qApp->installEventFilter(this); }
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        static const QSet<int> types{QEvent::StyleChange, QEvent::ShowToParent,
                                     QEvent::HideToParent, QEvent::EnabledChange};
        if (types.contains(event->type()))
            changed << watched->objectName();
        return false;
    }
};

} // namespace

class Tst_panels : public QObject
{
    Q_OBJECT

    std::unique_ptr<Probed_window> w;

    // The label "label_<cage>_<name>", %1 in the name standing for the channel's number.
    const QLabel *label(const QString &name, int cage = 0, int ch = 0) const
    {
        const QString prefix = QStringLiteral("label_%1_").arg(QLatin1String(cage_names[cage]));
        return w->window.findChild<QLabel *>(prefix +
                                             (name.contains("%1") ? name.arg(ch + 1) : name));
    }
    bool shown(const QWidget *widget) const { return widget->isVisibleTo(&w->window); }
    // Text and colour, as "Ok green" for "color: green".
    static QString paint(const QLabel *l) { return l->text() + ' ' + l->styleSheet().mid(7); }
    QString seen(const QString &name, int cage = 0, int ch = 0) const
    {
        return paint(label(name, cage, ch));
    }

    // Direction, Rx power, Tx power, wavelength of a channel and the temperature, with captions.
    QString visibility(int cage, int ch) const
    {
        QString out;
        for (const char *name : {"chanel_%1", "ch%1_text", "rx_pwr_%1", "rxpwr%1_text", "tx_pwr_%1",
                                 "txpwr%1_text", "wl%1", "wl%1_text", "temp", "temp_text"})
            out += shown(label(name, cage, ch)) ? '1' : '0';
        return out;
    }

private Q_SLOTS:
    void initTestCase() { isolate_settings(); }
    void init()
    {
        clear_saved_settings();
        select_no_port();
        w = std::make_unique<Probed_window>();
        QCOMPARE(w->probe.ui().label_SerialPort_Ok->text(), QStringLiteral("--"));
        w->probe.watchdog_timer().stop();
    }
    void cleanup() { w.reset(); }

    void sfp_panels_data()
    {
        QTest::addColumn<int>("version");
        QTest::addColumn<int>("cages"); // two type bits per cage, SFP 1 lowest
        // Channel directions from a 1.1 frame with every cage fitted, then from the row's frame.
        QTest::addColumn<QVector<int>>("dirs");

        const auto row = [](const char *name, int version, int cages, QVector<int> dirs) {
            QTest::newRow(name) << version << cages << dirs;
        };
        row("1.0, types 1 2 3, Tx/Rx to Rx/Tx", 0x10, 0x39, {2, 1, 1, 2});
        row("1.1, types 2 3 0, Rx/Tx to Tx/Rx", 0x11, 0x0E, {1, 2, 2, 1});
        row("2.0, types 3 0 1, Rx/Tx to none/Tx", 0x20, 0x13, {1, 2, 0, 2});
        row("2.0, types 0 1 2, Rx/Tx to unassigned", 0x20, 0x24, {1, 2, 3, 3});
        row("1.0, none/Rx to unassigned/Tx", 0x10, 0x3F, {0, 1, 3, 2});
    }

    // Through the receiver. Below 0x11 no wavelengths; before 2.0 no threshold, so negative
    // powers are red; direction 3 keeps the channel's text and visibility, but no power.
    void sfp_panels()
    {
        QFETCH(int, version);
        QFETCH(int, cages);
        QFETCH(QVector<int>, dirs);
        const QVector<int> before = dirs.mid(0, 2), after = dirs.mid(2);

        const auto frame = [](int version, int cages, const QVector<int> &dirs) {
            Status_payload status;
            status.version = uint8_t(version);
            status.cages = uint8_t(cages);
            for (int i = 0; i < 6; ++i)
                status.directions[i / 2][i % 2] = uint8_t(dirs[i % 2]);
            return status.frame();
        };
        w->probe.feed(frame(0x11, 0x3F, before));
        w->probe.feed(frame(version, cages, after));

        const QStringList power{"-20.0 dBm", "0.0 dBm"}; // the payload's
        const QStringList by_type{"-- black, Not available grey, --", "Video green, Ok green, 25 C",
                                  "Ethernet green, Ok green, 25 C", "Unknown red, Ok red, 25 C"};
        for (int cage = 0; cage < 3; ++cage) {
            const int type = (cages >> (2 * cage)) & 3;
            QCOMPARE(seen("type", cage) + ", " + seen("present", cage) + ", " +
                         label("temp", cage)->text(),
                     by_type[type]);
            for (int ch = 0; ch < 2; ++ch) {
                const int dir = type ? after[ch] : 0;
                const int drawn = dir == 3 ? before[ch] : dir;
                QCOMPARE(
                    (QStringList{label("chanel_%1", cage, ch)->text(), seen("rx_pwr_%1", cage, ch),
                                 label("tx_pwr_%1", cage, ch)->text(),
                                 label("wl%1", cage, ch)->text(), visibility(cage, ch)}),
                    (QStringList{type ? dir_texts[drawn] : "--",
                                 (dir == 1 ? power[ch] : "--") +
                                     (dir == 1 && ch == 0 && version < 0x20 ? " red" : " black"),
                                 dir == 2 ? power[ch] : "--",
                                 type ? (version < 0x11 || ch ? "0 nm" : "1310 nm") : "--",
                                 visible_for[type ? drawn : 3]}));
            }
        }
    }

    // The rows of power and threshold alternate, so each has to recolour what the one before drew.
    void rx_colour()
    {
        w->probe.feed(Status_payload().frame()); // SFP 1's channel 1 receives
        Sfp_module &m = w->probe.sfp(0);
        const std::pair<float, int> rows[] = {
            {-20.0f, -28}, {-20.0f, -15}, {-20.0f, -20}, {-20.1f, -20}, {-19.9f, -20}};
        QStringList got;
        for (const auto &row : rows) {
            m.rx_pwr[0] = row.first;
            w->probe.ui().box_current_trshd->setValue(row.second);
            m.update_sfp_panel();
            got << seen("rx_pwr_%1");
        }
        QCOMPARE(got, (QStringList{"-20.0 dBm black", "-20.0 dBm red", "-20.0 dBm black",
                                   "-20.1 dBm red", "-19.9 dBm black"})); // equal is black
    }

    void redraw_data()
    {
        QTest::addColumn<int>("cages");
        QTest::addColumn<int>("dante");        // the Dante byte of a 2.0 status frame
        QTest::addColumn<QString>("expected"); // system, sync, link, mic, input 0, input 1

        QTest::newRow("all fitted, Dante absent")
            << 0x29 << 0x00 << "-- grey, -- grey, -- grey, -- grey, -- grey, -- grey";
        QTest::newRow("nothing fitted, Dante bad") << 0x00 << 0x01
                                                   << "Error red, Not black, Fault black, Remote "
                                                      "green, Microphone black, Microphone black";
        QTest::newRow("types 3 2 0, Dante good")
            << 0x0B << 0x7F << "Ok green, Ok green, Ok green, Local black, Line black, Line black";
        QTest::newRow("all fitted, Dante mixed")
            << 0x29 << 0x2B
            << "Ok green, Not black, Ok green, Remote green, Line black, Microphone black";
    }

    // The Dante panel, then what the watchdog's blanking and two redraws do to it all.
    void redraw()
    {
        QFETCH(int, cages);
        QFETCH(int, dante);
        QFETCH(QString, expected);

        const Ui::MainWindow &ui = w->probe.ui();
        const auto screen = [&] { // every label, and how many gain controls are enabled
            QMap<QString, QString> out;
            for (const QLabel *l : w->window.findChildren<QLabel *>())
                out[l->objectName()] = paint(l) + (shown(l) ? "" : " hidden");
            out["gain"] = QString::number(ui.box_gain_0->isEnabled() + ui.box_gain_1->isEnabled() +
                                          ui.button_reading_gain->isEnabled());
            // The watchdog's own label is not redrawn, nor the black it gives the captions.
            out.remove("label_receiving_status");
            for (int row = 1; row <= 4; ++row)
                out[QStringLiteral("label_in_out_%1").arg(row)].remove("black");
            return out;
        };
        Status_payload status;
        status.cages = uint8_t(cages);
        status.dante = uint8_t(dante ? dante ^ 0x7E : 0x7F); // every Dante label different first
        w->probe.feed(status.frame());
        status.dante = uint8_t(dante);
        w->probe.feed(status.frame());
        w->probe.tick();
        const auto before = screen();
        QStringList shown_dante;
        for (const char *name : {"system", "sync", "dante_link", "mic_type", "input_0", "input_1"})
            shown_dante << before.value(QStringLiteral("label_") + name);
        QCOMPARE(shown_dante.join(", "), expected);
        QCOMPARE(before.value("gain"), dante ? "3" : "0");

        w->probe.tick(); // a silent second blanks the window behind the panels' backs
        QVERIFY(screen() != before);
        w->probe.feed(status.frame());
        const auto after = screen();
        for (auto it = before.cbegin(); it != before.cend(); ++it)
            QCOMPARE(it.key() + ' ' + after.value(it.key()), it.key() + ' ' + it.value());

        // Redrawing what is shown sets no style, visibility or enabling at all.
        w->window.show(); // a hidden window's widgets get no style changes
        Change_counter counter;
        w->probe.redraw();
        QCOMPARE(counter.changed, QStringList());
        // A change that misses the window's cache redraws every panel: one label may change.
        w->probe.dante().link_state = w->probe.dante().link_state == 2 ? 1 : 2;
        w->probe.redraw();
        QCOMPARE(counter.changed, QStringList{"label_dante_link"});
    }
};

QTEST_MAIN(Tst_panels)
#include "tst_panels.moc"
