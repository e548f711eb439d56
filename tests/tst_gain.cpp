#include "support/status_payload.h"
#include "support/window_under_test.h"

#include <QtTest/QtTest>

class Tst_gain : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void conversion_data()
    {
        QTest::addColumn<double>("entered");
        QTest::addColumn<int>("code"); // shown on the 0.75 dB grid from 23.0
        QTest::addColumn<int>("emitted");
        QTest::newRow("23.0 lowest") << 23.0 << 0 << 1;
        QTest::newRow("70.25 highest") << 70.25 << 63 << 1;
        QTest::newRow("47.25 snaps onto the unit's 32") << 47.25 << 32 << 0;
        QTest::newRow("47.5 snaps up") << 47.5 << 33 << 2;
        QTest::newRow("47.75 on the grid") << 47.75 << 33 << 1;
        QTest::newRow("47.37 rounds to 47.0") << 47.37 << 32 << 0;
        QTest::newRow("47.38 rounds to 47.75") << 47.38 << 33 << 2;
    }

    void conversion()
    {
        QFETCH(double, entered);
        QFETCH(int, code);
        QFETCH(int, emitted);
        Window_under_test w;
        Dante_module &d = w.probe.dante();
        QDoubleSpinBox *const boxes[] = {w.ui().box_gain_0, w.ui().box_gain_1};
        for (int i = 0; i < 2; ++i) {
            QSignalSpy spy(&d, &Dante_module::gain_value_changed);
            boxes[i]->setValue(entered);
            QCOMPARE(QVector<double>({double(d.gain[i]), boxes[i]->value(), double(spy.count())}),
                     QVector<double>({double(code), 23.0 + 0.75 * code, double(emitted)}));
        }
    }

    void reading_gain()
    {
        Window_under_test w;
        Dante_module &d = w.probe.dante();
        const auto boxes = [&w] {
            return QVector<double>{w.ui().box_gain_0->value(), w.ui().box_gain_1->value()};
        };
        w.ui().box_gain_0->setValue(50.0);
        w.ui().box_gain_1->setValue(30.5);
        QSignalSpy spy(&d, &Dante_module::gain_value_changed);
        d.update_gain_from_cpu(); // as a connection before any Dante block does
        QCOMPARE(boxes(), QVector<double>({47.0, 47.0}));
        QCOMPARE(spy.count(), 0);
        Status_payload status;
        status.gain[0] = 64; // more than a box can show
        status.gain[1] = 20;
        w.probe.feed(status.frame()); // its redraw enables the button
        w.ui().button_reading_gain->click();
        QCOMPARE(boxes(), QVector<double>({70.25, 38.0}));
        QCOMPARE(QVector<int>({d.gain[0], d.gain[1], int(spy.count())}), QVector<int>({63, 20, 1}));
    }
};

QTEST_MAIN(Tst_gain)
#include "tst_gain.moc"
