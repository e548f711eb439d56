#include "support/status_payload.h"
#include "support/window_fixture.h"
#include "ui_mainwindow.h"

#include <QtCore/QDebug>
#include <QtTest/QtTest>
#include <QtWidgets/QAbstractSpinBox>
#include <QtWidgets/QDoubleSpinBox>
#include <QtWidgets/QGridLayout>
#include <QtWidgets/QLabel>
#include <QtWidgets/QLayout>
#include <QtWidgets/QMenuBar>
#include <QtWidgets/QPushButton>
#include <QtWidgets/QSpinBox>
#include <QtWidgets/QStatusBar>

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

// The healthy simulated unit with SFP Eth fitted, so that each of its values shows.
const QString every_cage = QStringLiteral("sfp_eth.type ethernet;");

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

// Names the widgets a redraw restyles, shows, hides, enables or disables, in order.
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

// Its gains and threshold differ from the editors' defaults, so an announcement changes them.
QByteArray unit(const char *version = "2.0", bool crc_ok = true)
{
    const QByteArray frame =
        unit_frame(QStringLiteral("version %1; dante.gain1 40; threshold -25").arg(version));
    return crc_ok ? frame : with_bad_crc(frame);
}

QDoubleSpinBox *gain(const Window_fixture &w, int input)
{
    return w.widget<QDoubleSpinBox>(QStringLiteral("box_gain_%1").arg(input));
}

QSpinBox *threshold(const Window_fixture &w)
{
    return w.widget<QSpinBox>("box_new_trshd");
}

// What the form sets; the rest (ranges, items, colours, states) is the code's.
const char *const text = "text";
const char *const form_properties[] = {
    text,          "title",           "alignment",     "geometry",           "windowTitle",
    "focusPolicy", "layoutDirection", "mouseTracking", "autoFillBackground", "flat",
    "checkable",   "spacing"};

template <typename Value> QString debug_text(const Value &value)
{
    QString text;
    QDebug(&text) << value;
    return text;
}

bool in_the_form(const QObject *object)
{
    // Not one of the toolkit's helpers inside compound widgets.
    static const QRegularExpression toolkit_name(QStringLiteral("^(qt_.*|_layout)?$"));
    return !toolkit_name.match(object->objectName()).hasMatch();
}

// An object of the form: its class, its parent, its place in its layout and
// what the form sets of it.
QString described(const QObject &object)
{
    const QObject *parent = object.parent();
    QStringList words{object.objectName(), parent ? object.metaObject()->className() : "",
                      "in " + (parent ? parent->objectName() : QString())};
    for (const char *name : form_properties) {
        const QVariant value = object.property(name);
        // A spin box's text is its value, the code's.
        if (value.isValid() && !(qobject_cast<const QAbstractSpinBox *>(&object) && name == text))
            words << name +
                         ('=' + (value.userType() == QMetaType::QRect ? debug_text(value.toRect())
                                                                      : value.toString()));
    }
    const auto *widget = qobject_cast<const QWidget *>(&object);
    if (widget && widget->isHidden())
        words << QStringLiteral("hidden");
    if (widget && widget->testAttribute(Qt::WA_SetLayoutDirection))
        words << QStringLiteral("its own layout direction");
    if (widget && widget->isWindow()) // placed where it was last left
        words.replaceInStrings(QRegularExpression("^geometry=.*"),
                               "size=" + debug_text(widget->size()));
    if (const auto *layout = qobject_cast<const QLayout *>(&object))
        words << debug_text(layout->contentsMargins())
              << (layout->parentWidget()->layout() == layout ? "installed" : "loose");
    QLayout *holder = widget && widget->parentWidget() ? widget->parentWidget()->layout() : nullptr;
    if (const int item = holder ? holder->indexOf(const_cast<QWidget *>(widget)) : -1; item >= 0) {
        int row = item, column = -1, rows = 1, columns = 1;
        if (auto *grid = qobject_cast<QGridLayout *>(holder))
            grid->getItemPosition(item, &row, &column, &rows, &columns);
        words << QStringLiteral("cell %1,%2 %3x%4 aligned %5")
                     .arg(row)
                     .arg(column)
                     .arg(rows)
                     .arg(columns)
                     .arg(int(holder->itemAt(item)->alignment()));
    }
    return words.join(QLatin1String(", "));
}

// The window and the form's objects under it, parents before children, each
// parent's in the order of their creation.
QStringList tree(const QMainWindow &window)
{
    QStringList objects;
    QObjectList open{const_cast<QMainWindow *>(&window)};
    while (!open.isEmpty()) {
        const QObject *object = open.takeFirst();
        objects << described(*object);
        for (QObject *child : object->children())
            if (in_the_form(child))
                open << child;
    }
    return objects;
}

} // namespace

// A status, told by the simulator's commands on a healthy unit, and what the
// window's panels show for it. The healthy unit: protocol 2.0, every row
// locked, every link up; SFP 1 a video module, channel 1 receiving -14.2 dBm
// at 1310 nm, channel 2 sending -2.5 dBm at 1550 nm, 40 C; SFP 2 Ethernet,
// channel 1 sending -4.0 dBm, channel 2 receiving -9.8 dBm, 45 C; SFP Eth
// empty; the Dante submodule fine, a remote microphone on two microphone
// inputs; threshold -28 dBm. Then how it is drawn, the editors, and the form
// the panels are drawn on.
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
        // Unknown versions at the edges of each layout, values at their limits.
        for (const QString version : {"0.0", "0.15", "1.2", "1.15", "2.1", "3.0", "15.15"})
            QTest::newRow(qPrintable(version + ", unknown, values at their limits"))
                << QStringList{"version " + version +
                               "; sfp1.power1 -3276.8; sfp1.temp 15; sfp2.type other; "
                               "sfp2.dir1 unassigned; sfp_eth.type ethernet; sfp_eth.dir2 rx; "
                               "sfp_eth.power2 3276.7"}
                << "label_protocol_ver '" + version +
                       ", Version mistmatch' red; label_sfp1_rx_pwr_1 '-3276.8 dBm'; "
                       "label_sfp1_temp '100 C'; label_sfp2_type 'Unknown'; "
                       "label_sfp2_rx_pwr_1 '--'; label_sfp_eth_rx_pwr_2 '3276.7 dBm'";
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

    // The window draws a read's status once, and only where it differs from what it shows.
    void every_drawn_value_counts_data()
    {
        QTest::addColumn<QString>("change"); // to the healthy unit with every cage fitted
        for (const char *change :
             {"threshold -10", "sfp1.power1 -21.5", "sfp2.power1 -3.5", "sfp_eth.wl2 1490",
              "sfp1.temp 9", "sfp2.type other", "sfp_eth.type none", "sfp1.dir1 tx", "sfp2.dir1 rx",
              "rx_fault 1", "lock4 0", "link_p2 0", "dante.present 0", "dante.input2 line"})
            QTest::newRow(change) << QString(change);
    }

    void every_drawn_value_counts()
    {
        QFETCH(QString, change);
        const QByteArray healthy = unit_frame(every_cage),
                         changed = unit_frame(every_cage + change);
        const auto w = make_window_without_port();
        w->window.show();
        w->judge(healthy);
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

    void only_what_changed_is_touched_data()
    {
        QTest::addColumn<QString>("before");
        QTest::addColumn<QString>("after");
        QTest::addColumn<QStringList>("touched");
        QTest::newRow("Dante link lost") << ""
                                         << "dante.link 0" << QStringList{"label_dante_link"};
        QTest::newRow("an absent submodule's link: no change")
            << "dante.present 0"
            << "dante.present 0; dante.link 0" << QStringList();
    }

    // Every panel is drawn again, yet only the label whose value changed is touched.
    void only_what_changed_is_touched()
    {
        QFETCH(QString, before);
        QFETCH(QString, after);
        const auto w = make_window_without_port();
        w->window.show(); // a hidden window's widgets get no style changes
        w->judge(unit_frame(before));
        w->read(unit_frame(before));
        Widget_changes changes;
        qApp->installEventFilter(&changes);
        w->read(unit_frame(after));
        qApp->removeEventFilter(&changes);
        QTEST(changes.names, "touched");
    }

    void an_identical_status_is_not_drawn_again()
    {
        const auto w = make_window_without_port();
        // No module either, whose panel could have its own reason to redraw.
        const QByteArray frame = unit_frame("sfp1.type none; sfp2.type none");
        w->judge(frame);
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
        const QString odd = QStringLiteral(
            "rx_fault 1; tx_fault 1; overheat 1; lock 0; link_f 0; link_p1 0; link_p2 0;"
            "dante.system 0; dante.sync 0; dante.link 0; threshold -10;");
        const QByteArray last = unit_frame(odd + "sfp1.dir1 unassigned");
        const QByteArrayList frames{unit_frame(odd), unit_frame(), unit_frame(odd), unit_frame(),
                                    last};
        QVector<QVariantList> screens[2];
        int style_changes[2];
        for (const bool once : {false, true}) {
            const auto w = make_window_without_port();
            w->window.show();
            w->judge(unit_frame("sfp1.dir1 tx"));
            Widget_changes changes; // of a label whose colour flips every frame
            w->label("label_rx_fault")->installEventFilter(&changes);
            if (once)
                w->read(frames.join());
            else
                for (const QByteArray &frame : frames)
                    w->read(frame);
            screens[once] = screen(*w, last);
            style_changes[once] = changes.names.size();
            QCOMPARE(w->label("label_sfp1_chanel_1")->text(), "Rx");
        }
        QCOMPARE(screens[true], screens[false]);
        QCOMPARE(style_changes[false], 5);
        QCOMPARE(style_changes[true], 1);
    }

    // What the frames before the last one of a read did to a channel turned
    // unassigned counts, though the last one equals the status on the screen.
    void earlier_frames_of_a_read_count()
    {
        const auto w = make_window_without_port();
        const QByteArray unassigned = unit_frame("sfp1.dir1 unassigned");
        w->read(unit_frame());
        w->read(unassigned);
        QCOMPARE(w->label("label_sfp1_chanel_1")->text(), "Rx");
        w->read(unit_frame("sfp1.dir1 tx") + unassigned);
        QCOMPARE(w->label("label_sfp1_chanel_1")->text(), "Tx");
        QVERIFY(w->label("label_sfp1_tx_pwr_1")->isVisibleTo(&w->window));
    }

    // The gain and threshold editors: what they show for an entry, for Default Set
    // and for a unit that connects, and when Apply is offered.
    void an_entry_snaps_to_the_grid_data()
    {
        QTest::addColumn<QString>("entry");
        QTest::addColumn<bool>("typed"); // or set as the arrows and the wheel set it
        QTest::addColumn<double>("held");
        QTest::addColumn<QString>("shown");
        QTest::newRow("47.5 typed, up") << "47.5" << true << 47.75 << "47.75 dB";
        QTest::newRow("47.25 set, down") << "47.25" << false << 47.0 << "47.00 dB";
    }

    void an_entry_snaps_to_the_grid()
    {
        const auto w = make_window_without_port();
        QFETCH(QString, entry);
        QFETCH(bool, typed);
        w->read(unit_frame()); // a 2.0 unit with its Dante submodule: the editors are on
        if (typed) {
            gain(*w, 0)->selectAll();
            QTest::keyClicks(gain(*w, 0), entry);
        } else {
            gain(*w, 0)->setValue(entry.toDouble());
        }
        QTEST(gain(*w, 0)->value(), "held");
        QTEST(gain(*w, 0)->text(), "shown");
    }

    void default_set()
    {
        const auto w = make_window_without_port();
        w->read(unit_frame());
        gain(*w, 0)->setValue(50.0);
        gain(*w, 1)->setValue(53.0);
        threshold(*w)->setValue(-10);
        w->widget<QPushButton>("button_default_set")->click();
        QCOMPARE((QStringList{gain(*w, 0)->text(), gain(*w, 1)->text(), threshold(*w)->text()}),
                 (QStringList{"47.00 dB", "47.00 dB", "-28 dBm"}));
    }

    void apply_and_editors_follow_the_unit_data()
    {
        QTest::addColumn<QByteArray>("chunk");
        QTest::addColumn<bool>("apply");
        QTest::addColumn<bool>("announced");
        QTest::newRow("2.0") << unit() << true << true;
        QTest::newRow("255") << unit("255") << true << true;
        QTest::newRow("31") << unit("31") << false << false;
        QTest::newRow("2.0, bad CRC") << unit("2.0", false) << true << false;
        QTest::newRow("1.1, then 2.0") << unit("1.1") + unit() << true << true;
        QTest::newRow("2.0, then bad CRC") << unit() + unit("2.0", false) << true << false;
    }

    // Apply takes a threshold only to a unit that has one; a connection puts the unit's own
    // threshold into the editor, then its gains.
    void apply_and_editors_follow_the_unit()
    {
        const auto w = make_window_without_port();
        QFETCH(QByteArray, chunk);
        QFETCH(bool, apply);
        QFETCH(bool, announced);
        QList<int> threshold_when_gain_shown;
        QObject listening; // ends the connection before the list goes
        connect(&w->session, &Session::gain_changed, &listening,
                [&] { threshold_when_gain_shown << threshold(*w)->value(); });
        // Apply the other way first, with no connection (a bad CRC's content goes unread).
        w->judge(apply ? unit("1.1") : unit("2.0", false));
        QCOMPARE(w->widget<QWidget>("button_trshd_apply")->isEnabled(), !apply);
        const auto box_values = [&w] {
            return QVariantList{threshold(*w)->value(), gain(*w, 0)->value(), gain(*w, 1)->value()};
        };
        const QVariantList before = box_values();
        w->judge(chunk);
        QCOMPARE(w->widget<QWidget>("button_trshd_apply")->isEnabled(), apply);
        QCOMPARE(box_values(), announced ? QVariantList({-25, 53.0, 47.0}) : before);
        QCOMPARE(threshold_when_gain_shown, announced ? QList<int>{-25} : QList<int>());
    }

    // The window as the tool builds it has exactly the tree the form describes:
    // whatever the code does around the form (panels, editors, saved settings)
    // leaves the form's objects, their places, texts and geometry as they are.
    // The form's own build, a bare main window set up from it, is the reference.
    void the_form_as_it_is()
    {
        const auto w = make_window_without_port();
        QMainWindow form;
        Ui::MainWindow().setupUi(&form);
        const QStringList built = tree(w->window), expected = tree(form);
        QVERIFY(expected.size() > 100);
        for (int i = 0; i < qMax(built.size(), expected.size()); ++i)
            QCOMPARE(built.value(i), expected.value(i));
        QCOMPARE(
            (QStringList{w->window.centralWidget()->objectName(), w->window.menuBar()->objectName(),
                         w->window.statusBar()->objectName()}),
            (QStringList{"centralWidget", "menuBar", "statusBar"}));
    }
};

QTEST_MAIN(Tst_panels)
#include "tst_panels.moc"
