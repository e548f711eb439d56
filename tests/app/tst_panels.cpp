#include "support/status_payload.h"
#include "support/window_fixture.h"

#include <QtTest/QtTest>
#include <QtWidgets/QLabel>

namespace {

const QString untouched_text = QStringLiteral("?");
const QString untouched_style = QStringLiteral("color: blue"); // no rule gives it
const QMap<QString, QString> colours{{"green", "color: green"},
                                     {"red", "color: red"},
                                     {"black", "color: black"},
                                     {"grey", "color: grey"},
                                     {"unstyled", untouched_style}};

// What one widget shows: its name, then any of its text in single quotes (a
// spin box's with its suffix), its colour (green, red, black, grey, or
// unstyled: the read gave it none), visible or hidden, enabled or disabled.
// Separated by "; ", e.g. "label_rx_fault 'Fault' red; label_sfp1_wl1 hidden".
const QRegularExpression
    shows("(\\w+)(?: '([^']*)')?((?: "
          "(?:green|red|black|grey|unstyled|visible|hidden|enabled|disabled))*)");

// The widget described as the expectation describes it: only what it checks.
QString seen(const QWidget &widget, const QRegularExpressionMatch &expected)
{
    QStringList words{expected.captured(1)};
    if (expected.capturedStart(2) >= 0)
        words << '\'' + widget.property("text").toString() + '\'';
    for (const QString &word : expected.captured(3).split(' ', Qt::SkipEmptyParts)) {
        if (colours.contains(word))
            words << colours.key(widget.styleSheet(), '"' + widget.styleSheet() + '"');
        else if (word == QLatin1String("visible") || word == QLatin1String("hidden"))
            words << (widget.isVisibleTo(widget.window()) ? "visible" : "hidden");
        else
            words << (widget.isEnabled() ? "enabled" : "disabled");
    }
    return words.join(' ');
}

QMap<QString, Shown> every_label(const QWidget &window)
{
    QMap<QString, Shown> labels;
    for (const QLabel *label : window.findChildren<QLabel *>())
        labels.insert(label->objectName(), shown(label));
    return labels;
}

} // namespace

// A status, told by the simulator's commands on a healthy unit, and what the
// window's panels show for it. The healthy unit: protocol 2.0, every row
// locked, every link up; SFP 1 a video module, channel 1 receiving -14.2 dBm
// at 1310 nm, channel 2 sending -2.5 dBm at 1550 nm, 40 C; SFP 2 Ethernet,
// channel 1 sending -4.0 dBm, channel 2 receiving -9.8 dBm, 45 C; SFP Eth
// empty; the Dante submodule fine, a remote microphone on two microphone
// inputs; threshold -28 dBm.
class Tst_panels : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void shows_the_status_data()
    {
        QTest::addColumn<QStringList>("reads"); // one frame each; the last is drawn
        QTest::addColumn<QString>("screen");    // what the widgets show, as `shows` reads it
        const auto row = [](const char *name, const QStringList &reads, const char *screen) {
            QTest::newRow(name) << reads << QString(screen);
        };
        row("only SFP Eth fitted: no fault indicator",
            {"sfp1.type none; sfp2.type none; sfp_eth.type video; "
             "rx_fault 1; tx_fault 1; overheat 1"},
            "label_rx_fault '--' grey; label_tx_fault '--' grey; label_overheat '--' grey");
        row("SFP 2 alone, overheated", {"sfp1.type none; overheat 1"},
            "label_rx_fault 'Ok' green; label_tx_fault 'Ok' green; label_overheat 'Error' red");
        row("every fault", {"rx_fault 1; tx_fault 1; overheat 1"},
            "label_rx_fault 'Fault' red; label_tx_fault 'Fault' red; label_overheat 'Error' red");
        row("link P1 down", {"link_p1 0"},
            "label_link_f 'Link' green; label_link_p1 'Fault' black; label_link_p2 'Link' green");
        row("links not valid", {"link_valid 0"},
            "label_link_f 'Not available' grey; label_link_p1 'Not available' grey; "
            "label_link_p2 'Not available' grey");
        row("1.0: links always valid", {"version 1.0; link_valid 0; link_f 0; link_p2 0"},
            "label_link_f 'Fault' black; label_link_p1 'Link' green; label_link_p2 'Fault' black");
        row("every channel Tx, row 4 unlocked", {"sfp1.dir1 tx; sfp2.dir2 tx; lock 0b0111"},
            "label_in_out_1 'In 1:' unstyled; label_in_out_4 'In 4:' unstyled; "
            "label_lock_3 'Ok' green; label_lock_4 'Fault' red");
        row("healthy rows", {""},
            "label_in_out_1 'Out 1:'; label_in_out_2 'In 2:'; label_in_out_3 'In 3:'; "
            "label_in_out_4 'Out 4:'");
        row("a channel with no direction has no lock",
            {"sfp1.dir1 none; sfp1.dir2 rx; sfp2.dir1 rx; lock 0b0001"},
            "label_in_out_1 '---:' unstyled; label_lock_1 '--' grey; label_in_out_2 'Out 2:'; "
            "label_lock_2 'Fault' red");
        row("unassigned channels keep their locks",
            {"sfp1.dir1 unassigned; sfp2.dir2 unassigned; lock 0b0101"},
            "label_in_out_1 'Unassigned 1:' unstyled; label_lock_1 'Ok' green; "
            "label_in_out_4 'Unassigned 4:'; label_lock_4 'Fault' red");
        row("171, unknown", {"version 0xAB"},
            "label_crc_ctrl 'Ok' green; label_protocol_ver '10.11, Version mistmatch' red");
        row("1.0 with no module: four bytes", {"version 1.0; sfp1.type none; sfp2.type none"},
            "label_protocol_ver '1.0, Ok' green; label_rx_fault '--' grey; "
            "label_in_out_1 '---:'; label_sfp1_present 'Not available' grey");
        row("1.1 with no module: four bytes", {"version 1.1; sfp1.type none; sfp2.type none"},
            "label_protocol_ver '1.1, Ok' green; label_lock_4 '--' grey");
        row("SFP 1 video, channel 1 Rx, channel 2 Tx", {""},
            "label_sfp1_type 'Video' green; label_sfp1_present 'Ok' green; "
            "label_sfp1_temp '40 C' unstyled visible; label_sfp1_chanel_1 'Rx' unstyled visible; "
            "label_sfp1_rx_pwr_1 '-14.2 dBm' black visible; label_sfp1_rxpwr1_text visible; "
            "label_sfp1_tx_pwr_1 '--' unstyled hidden; label_sfp1_txpwr1_text hidden; "
            "label_sfp1_wl1 '1310 nm' unstyled hidden; label_sfp1_wl1_text hidden; "
            "label_sfp1_chanel_2 'Tx' unstyled visible; label_sfp1_rx_pwr_2 '--' black hidden; "
            "label_sfp1_tx_pwr_2 '-2.5 dBm' unstyled visible; "
            "label_sfp1_wl2 '1550 nm' unstyled visible; label_sfp1_wl2_text visible");
        row("SFP 2 Ethernet, SFP Eth an unknown module", {"sfp_eth.type other"},
            "label_sfp2_type 'Ethernet' green; label_sfp2_present 'Ok' green; "
            "label_sfp_eth_type 'Unknown' red; label_sfp_eth_present 'Ok' red; "
            "label_sfp_eth_temp '35 C' unstyled visible");
        row("SFP 1 empty", {"sfp1.type none"},
            "label_sfp1_type '--' black; label_sfp1_present 'Not available' grey; "
            "label_sfp1_chanel_1 '--' unstyled hidden; label_sfp1_ch1_text hidden; "
            "label_sfp1_rx_pwr_1 '--' black hidden; label_sfp1_tx_pwr_2 '--' unstyled hidden; "
            "label_sfp1_wl2 '--' unstyled hidden; label_sfp1_temp '--' unstyled hidden; "
            "label_sfp1_temp_text hidden");
        row("1.1: below 2.0 the threshold is 0 dBm", {"version 1.1"},
            "label_sfp1_rx_pwr_1 '-14.2 dBm' red; label_sfp1_wl1 '1310 nm'; "
            "box_current_trshd '0 dBm'");
        row("1.0: no wavelength", {"version 1.0"}, "label_sfp1_wl2 '0 nm' unstyled visible");
        row("channels swapped", {"", "sfp1.dir1 tx; sfp1.dir2 rx"},
            "label_sfp1_chanel_1 'Tx' unstyled visible; label_sfp1_rx_pwr_1 '--' black hidden; "
            "label_sfp1_tx_pwr_1 '-14.2 dBm' unstyled visible; label_sfp1_txpwr1_text visible; "
            "label_sfp1_wl1 '1310 nm' unstyled visible; "
            "label_sfp1_chanel_2 'Rx' unstyled visible; "
            "label_sfp1_rx_pwr_2 '-2.5 dBm' black visible; "
            "label_sfp1_tx_pwr_2 '--' unstyled hidden; label_sfp1_wl2 hidden; "
            "label_sfp1_wl2_text hidden");
        row("an Rx channel turned unassigned keeps its direction and labels",
            {"", "sfp1.dir1 unassigned"},
            "label_sfp1_chanel_1 'Rx' unstyled visible; label_sfp1_rx_pwr_1 '--' black visible; "
            "label_sfp1_rxpwr1_text visible; label_sfp1_tx_pwr_1 hidden; label_sfp1_wl1 hidden");
        row("a Tx channel turned unassigned keeps its direction and labels",
            {"", "sfp1.dir2 unassigned"},
            "label_sfp1_chanel_2 'Tx' unstyled visible; "
            "label_sfp1_tx_pwr_2 '--' unstyled visible; label_sfp1_txpwr2_text visible; "
            "label_sfp1_wl2 '1550 nm' unstyled visible; label_sfp1_wl2_text visible; "
            "label_sfp1_rx_pwr_2 hidden");
        row("a channel with no direction shows no value", {"sfp1.dir1 none"},
            "label_sfp1_chanel_1 '--' unstyled visible; label_sfp1_rx_pwr_1 '--' black hidden; "
            "label_sfp1_tx_pwr_1 hidden; label_sfp1_wl1 hidden");
        row("no direction, then unassigned: still no value",
            {"sfp1.dir1 none", "sfp1.dir1 unassigned"},
            "label_sfp1_chanel_1 '--' unstyled visible; label_sfp1_rx_pwr_1 '--' black hidden; "
            "label_sfp1_tx_pwr_1 hidden; label_sfp1_wl1 hidden");
        row("unassigned from the start: the form's labels", {"sfp1.dir1 unassigned"},
            "label_sfp1_chanel_1 '--' unstyled visible; label_sfp1_rx_pwr_1 '--' black visible; "
            "label_sfp1_tx_pwr_1 '--' unstyled visible; label_sfp1_wl1 visible");
        row("equal to the threshold: black again",
            {"sfp1.power1 -20.0; threshold -15", "sfp1.power1 -20.0; threshold -20"},
            "label_sfp1_rx_pwr_1 '-20.0 dBm' black; box_current_trshd '-20 dBm'");
        row("a threshold beyond the box: judged by what it shows",
            {"sfp1.power1 -36.0; threshold -128"},
            "label_sfp1_rx_pwr_1 '-36.0 dBm' red; box_current_trshd '-35 dBm'");
        row("Dante absent", {"dante.present 0"},
            "label_system '--' grey; label_sync '--' grey; label_dante_link '--' grey; "
            "label_mic_type '--' grey; label_input_0 '--' grey; label_input_1 '--' grey; "
            "box_gain_0 disabled; box_gain_1 disabled; button_reading_gain disabled");
        row("Dante in trouble",
            {"dante.system 0; dante.link 0; dante.mic local; dante.input2 line"},
            "label_system 'Error' red; label_sync 'Ok' green; label_dante_link 'Fault' black; "
            "label_mic_type 'Local' black; label_input_0 'Microphone' black; "
            "label_input_1 'Line' black; box_gain_0 enabled; box_gain_1 enabled; "
            "button_reading_gain enabled");
        row("Dante the other way", {"dante.sync 0; dante.input1 line"},
            "label_system 'Ok' green; label_sync 'Not' black; label_dante_link 'Ok' green; "
            "label_mic_type 'Remote' green; label_input_0 'Line' black; "
            "label_input_1 'Microphone' black");
    }

    // Whatever the last read leaves untouched keeps a text and a colour that no
    // rule gives: the row's labels are what that read drew.
    void shows_the_status()
    {
        QFETCH(QStringList, reads);
        QFETCH(QString, screen);
        const auto w = make_window_without_port();
        for (int read = 0; read + 1 < reads.size(); ++read)
            w->read(unit_frame(reads.at(read)));
        for (QLabel *label : w->window.findChildren<QLabel *>()) {
            label->setText(untouched_text);
            label->setStyleSheet(untouched_style);
        }
        w->read(unit_frame(reads.last()));
        for (auto expected = shows.globalMatch(screen); expected.hasNext();) {
            const QRegularExpressionMatch widget = expected.next();
            QCOMPARE(seen(*w->widget<QWidget>(widget.captured(1)), widget), widget.captured(0));
        }
    }

    // Silent, the window reads as before any unit but for the receiving status,
    // the panels' colours say there is no data, and the controls that would
    // reach the unit are off. The unit back, it is drawn again in full.
    void silence_blanks_the_window()
    {
        const auto w = make_window_without_port();
        const QMap<QString, Shown> at_start = every_label(w->window);
        const QByteArray unit = unit_frame("sfp_eth.type video; rx_fault 1; lock 0b0110");
        w->judge(unit);
        w->fall_silent(); // the in/out captions keep the black of a blank
        w->judge(unit);
        const QMap<QString, Shown> drawn = every_label(w->window);
        const QStringList controls_off{"box_gain_0", "box_gain_1", "button_reading_gain",
                                       "button_trshd_apply"};
        for (const QString &control : controls_off)
            QVERIFY(w->widget<QWidget>(control)->isEnabled());
        w->fall_silent();
        const QVector<QPair<QString, QString>> blank_colours{
            {"receiving_status", "red"},
            {"(rx|tx)_fault|overheat|link_(f|p1|p2)|crc_ctrl|protocol_ver|lock_\\d|in_out_\\d|"
             "sfp\\w*_(present|type|rx_pwr_\\d)",
             "black"},
            {"system|sync|dante_link|input_\\d|mic_type", "grey"}};
        QStringList after, expected; // "name: text, style sheet"
        for (const QString &name : at_start.keys()) {
            QString style = drawn[name].second; // untouched
            for (const auto &rule : blank_colours)
                if (QRegularExpression("^label_(" + rule.first + ")$").match(name).hasMatch())
                    style = colours[rule.second];
            const QString text =
                name == QLatin1String("label_receiving_status") ? "Fault" : at_start[name].first;
            expected << name + ": " + text + ", " + style;
            const Shown now = shown(w->label(name));
            after << name + ": " + now.first + ", " + now.second;
        }
        QCOMPARE(after, expected);
        for (const QString &control : controls_off)
            QVERIFY2(!w->widget<QWidget>(control)->isEnabled(), qPrintable(control));
        QVERIFY(w->widget<QWidget>("button_default_set")->isEnabled());
        QVERIFY(w->widget<QWidget>("box_new_trshd")->isEnabled());
        w->judge(unit);
        QCOMPARE(every_label(w->window), drawn);
    }
};

QTEST_MAIN(Tst_panels)
#include "tst_panels.moc"
