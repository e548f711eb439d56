#include "support/status_payload.h"
#include "support/window_fixture.h"

#include <QtTest/QtTest>
#include <QtWidgets/QDoubleSpinBox>
#include <QtWidgets/QPushButton>
#include <QtWidgets/QSpinBox>

#include <memory>

namespace {

// Its gains and threshold differ from the editors' defaults, so an announcement changes them.
QByteArray unit(const char *version = "2.0", bool crc_ok = true)
{
    const QByteArray frame =
        unit_frame(QStringLiteral("version %1; dante.gain1 40; threshold -25").arg(version));
    return crc_ok ? frame : with_bad_crc(frame);
}

} // namespace

// The gain and threshold editors: what they show for an entry, for Default Set
// and for a unit that connects, and when Apply is offered.
class Tst_editors : public QObject
{
    Q_OBJECT

    std::unique_ptr<Window_fixture> w;

    QDoubleSpinBox *gain(int input) const
    {
        return w->widget<QDoubleSpinBox>(QStringLiteral("box_gain_%1").arg(input));
    }
    QSpinBox *threshold() const { return w->widget<QSpinBox>("box_new_trshd"); }

private Q_SLOTS:
    void init() { w = make_window_without_port(); }
    void cleanup() { w.reset(); }

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
        QFETCH(QString, entry);
        QFETCH(bool, typed);
        w->read(unit_frame()); // a 2.0 unit with its Dante submodule: the editors are on
        if (typed) {
            gain(0)->selectAll();
            QTest::keyClicks(gain(0), entry);
        } else {
            gain(0)->setValue(entry.toDouble());
        }
        QTEST(gain(0)->value(), "held");
        QTEST(gain(0)->text(), "shown");
    }

    void default_set()
    {
        w->read(unit_frame());
        gain(0)->setValue(50.0);
        gain(1)->setValue(53.0);
        threshold()->setValue(-10);
        w->widget<QPushButton>("button_default_set")->click();
        QCOMPARE((QStringList{gain(0)->text(), gain(1)->text(), threshold()->text()}),
                 (QStringList{"47.00 dB", "47.00 dB", "-28 dBm"}));
    }

    void apply_and_editors_follow_the_unit_data()
    {
        QTest::addColumn<QByteArray>("chunk");
        QTest::addColumn<bool>("apply");
        QTest::addColumn<bool>("announced");
        QTest::newRow("2.0") << unit() << true << true;
        QTest::newRow("255") << unit("255") << true << true;
        QTest::newRow("1.1") << unit("1.1") << false << false;
        QTest::newRow("31") << unit("31") << false << false;
        QTest::newRow("2.0, bad CRC") << unit("2.0", false) << true << false;
        QTest::newRow("1.1, then 2.0") << unit("1.1") + unit() << true << true;
        QTest::newRow("2.0, then bad CRC") << unit() + unit("2.0", false) << true << false;
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
        connect(&w->session, &Session::gain_changed, &listening,
                [&] { threshold_when_gain_shown << threshold()->value(); });
        // Apply the other way first, with no connection (a bad CRC's content goes unread).
        w->judge(apply ? unit("1.1") : unit("2.0", false));
        QCOMPARE(w->widget<QWidget>("button_trshd_apply")->isEnabled(), !apply);
        const auto box_values = [this] {
            return QVariantList{threshold()->value(), gain(0)->value(), gain(1)->value()};
        };
        const QVariantList before = box_values();
        w->judge(chunk);
        QCOMPARE(w->widget<QWidget>("button_trshd_apply")->isEnabled(), apply);
        QCOMPARE(box_values(), announced ? QVariantList({-25, 53.0, 47.0}) : before);
        QCOMPARE(threshold_when_gain_shown, announced ? QList<int>{-25} : QList<int>());
    }
};

QTEST_MAIN(Tst_editors)
#include "tst_editors.moc"
