#include "support/status_payload.h"
#include "support/window_fixture.h"

#include <QtTest/QtTest>
#include <QtWidgets/QDoubleSpinBox>
#include <QtWidgets/QLabel>
#include <QtWidgets/QPushButton>

#include <memory>

namespace {

const QString sentinel = QStringLiteral("color: blue");

// Its gains and threshold differ from the editors' defaults, so an announcement changes them.
QByteArray unit(uint8_t version = 0x20, bool crc_ok = true)
{
    Status_payload status{version};
    status.gain[0] = 40;
    status.threshold = -25;
    return crc_ok ? status.frame() : with_bad_crc(status.frame());
}

} // namespace

class Tst_link_display : public QObject
{
    Q_OBJECT

    std::unique_ptr<Window_fixture> w;
    QStringList enabled_changes; // of the widgets it filters, in order

    QWidget *widget(const char *name) const { return w->widget<QWidget>(name); }
    // The session's judgement of one chunk; its own timer gets no pass of the event loop.
    void judge(const QByteArray &chunk)
    {
        w->session.receive(chunk);
        w->session.check_link();
    }

public:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::EnabledChange)
            enabled_changes << watched->objectName();
        return false;
    }

private Q_SLOTS:
    void init() { w = make_window_without_port(); }
    void cleanup() { w.reset(); }

    void no_data_state()
    {
        judge(unit()); // a 2.0 unit with Dante: the four controls are enabled
        w->read(unit());
        const QWidgetList controls{widget("box_gain_0"), widget("box_gain_1"),
                                   widget("button_reading_gain"), widget("button_trshd_apply")};
        for (QWidget *control : controls) {
            QVERIFY(control->isEnabled());
            control->installEventFilter(this);
        }
        const auto labels = w->window.findChildren<QLabel *>();
        for (QLabel *label : labels) {
            label->setText("?");
            label->setStyleSheet(sentinel);
        }
        w->fall_silent(); // nothing arrived in this second
        // Names after "label_"; any other label keeps its text and style sheet.
        const QVector<QStringList> rules{
            {"receiving_status", "Fault", "color: red"},
            {"(rx|tx)_fault|overheat|link_(f|p1|p2)|crc_ctrl|protocol_ver|lock_\\d|"
             "sfp\\w*_(present|type|rx_pwr_\\d)",
             "--", "color: black"},
            {"in_out_\\d", "---:", "color: black"},
            {"sfp\\w*_(chanel_\\d|tx_pwr_\\d|temp|wl\\d)", "--", sentinel},
            {"system|sync|dante_link|input_\\d|mic_type", "--", "color: grey"}};
        for (const QLabel *label : labels) {
            Shown expected{"?", sentinel};
            for (const QStringList &r : rules)
                if (label->objectName().contains(QRegularExpression("^label_(" + r[0] + ")$")))
                    expected = {r[1], r[2]};
            QVERIFY2(shown(label) == expected, qPrintable(label->objectName()));
        }
        QCOMPARE(enabled_changes, (QStringList{"box_gain_0", "box_gain_1", "button_reading_gain",
                                               "button_trshd_apply"}));
        QVERIFY(widget("button_default_set")->isEnabled() && widget("box_new_trshd")->isEnabled());
    }

    void apply_and_editors_follow_the_unit_data()
    {
        QTest::addColumn<QByteArray>("chunk");
        QTest::addColumn<bool>("apply");
        QTest::addColumn<bool>("announced");
        QTest::newRow("2.0") << unit() << true << true;
        QTest::newRow("255") << unit(0xFF) << true << true;
        QTest::newRow("1.1") << unit(0x11) << false << false;
        QTest::newRow("31") << unit(0x1F) << false << false;
        QTest::newRow("2.0, bad CRC") << unit(0x20, false) << true << false;
        QTest::newRow("1.1, then 2.0") << unit(0x11) + unit() << true << true;
        QTest::newRow("2.0, then bad CRC") << unit() + unit(0x20, false) << true << false;
    }

    // Apply takes a threshold only to a unit that has one; a connection puts the unit's own
    // threshold into the editor, then its gains.
    void apply_and_editors_follow_the_unit()
    {
        QFETCH(QByteArray, chunk);
        QFETCH(bool, apply);
        QFETCH(bool, announced);
        QList<int> threshold_when_gain_shown;
        QObject listening; // ends the connection before the list goes
        connect(&w->session, &Session::gain_changed, &listening, [&] {
            threshold_when_gain_shown << w->widget<QSpinBox>("box_new_trshd")->value();
        });
        // Apply the other way first, with no connection (a bad CRC's content goes unread).
        judge(apply ? unit(0x11) : unit(0x20, false));
        QCOMPARE(widget("button_trshd_apply")->isEnabled(), !apply);
        const auto box_values = [this] {
            return QVariantList{w->widget<QSpinBox>("box_new_trshd")->value(),
                                w->widget<QDoubleSpinBox>("box_gain_0")->value(),
                                w->widget<QDoubleSpinBox>("box_gain_1")->value()};
        };
        const QVariantList before = box_values();
        judge(chunk);
        QCOMPARE(widget("button_trshd_apply")->isEnabled(), apply);
        QCOMPARE(box_values(), announced ? QVariantList({-25, 53.0, 47.0}) : before);
        QCOMPARE(threshold_when_gain_shown, announced ? QList<int>{-25} : QList<int>());
    }
};

QTEST_MAIN(Tst_link_display)
#include "tst_link_display.moc"
