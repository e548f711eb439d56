#include "support/status_payload.h"
#include "support/window_fixture.h"

#include <QtTest/QtTest>
#include <QtWidgets/QDoubleSpinBox>
#include <QtWidgets/QPushButton>
#include <QtWidgets/QSpinBox>

#include <memory>

class Tst_gain_editors : public QObject
{
    Q_OBJECT

    std::unique_ptr<Window_fixture> w;

    QDoubleSpinBox *gain(int input) const
    {
        return w->widget<QDoubleSpinBox>(QStringLiteral("box_gain_%1").arg(input));
    }
    static QString shows(double db) { return QString::number(db, 'f', 2) + " dB"; }

private Q_SLOTS:
    void init()
    {
        w = make_window_without_port();
        w->read(Status_payload().frame()); // a 2.0 unit with its Dante submodule
        QVERIFY(gain(0)->isEnabled() && gain(1)->isEnabled());
    }
    void cleanup() { w.reset(); }

    void an_entry_snaps_to_the_grid_data()
    {
        QTest::addColumn<QString>("entry");
        QTest::addColumn<bool>("typed");
        QTest::addColumn<double>("expected");
        QTest::newRow("47.5 typed") << "47.5" << true << 47.75;
        QTest::newRow("47.5") << "47.5" << false << 47.75;
        QTest::newRow("47.25") << "47.25" << false << 47.0;
        QTest::newRow("47.75, on the grid") << "47.75" << false << 47.75;
    }

    void an_entry_snaps_to_the_grid()
    {
        QFETCH(QString, entry);
        QFETCH(bool, typed);
        QFETCH(double, expected);
        if (typed) {
            gain(0)->selectAll();
            QTest::keyClicks(gain(0), entry);
        } else {
            gain(0)->setValue(entry.toDouble());
        }
        QCOMPARE(gain(0)->value(), expected);
        QCOMPARE(gain(0)->text(), shows(expected));
    }

    void default_set()
    {
        auto *threshold = w->widget<QSpinBox>("box_new_trshd");
        gain(0)->setValue(50.0);
        gain(1)->setValue(53.0);
        threshold->setValue(-10);
        w->widget<QPushButton>("button_default_set")->click();
        QCOMPARE((QStringList{gain(0)->text(), gain(1)->text(), threshold->text()}),
                 (QStringList{shows(47.0), shows(47.0), "-28 dBm"}));
    }
};

QTEST_MAIN(Tst_gain_editors)
#include "tst_gain_editors.moc"
