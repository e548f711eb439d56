// Gain entries turned into gain codes, and the unit's own gains read back.

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
        QTest::addColumn<int>("reported"); // the unit's code for that input
        QTest::addColumn<int>("code");
        QTest::addColumn<double>("shown");
        QTest::addColumn<int>("emitted");

        QTest::newRow("23.0 lowest") << 23.0 << 32 << 0 << 23.0 << 1;
        QTest::newRow("70.25 highest") << 70.25 << 32 << 63 << 70.25 << 1;
        QTest::newRow("47.25 snaps onto the unit's 32") << 47.25 << 32 << 32 << 47.0 << 0;
        QTest::newRow("47.5 snaps up") << 47.5 << 32 << 33 << 47.75 << 2;
        QTest::newRow("47.75 on the grid") << 47.75 << 32 << 33 << 47.75 << 1;
        QTest::newRow("47.75, unit reports 33") << 47.75 << 33 << 33 << 47.75 << 0;
        QTest::newRow("70.2 snaps to 70.25") << 70.2 << 32 << 63 << 70.25 << 2;
        QTest::newRow("47.37 rounds to 47.0") << 47.37 << 32 << 32 << 47.0 << 0;
        QTest::newRow("47.38 rounds to 47.75") << 47.38 << 32 << 33 << 47.75 << 2;
    }

    void conversion()
    {
        QFETCH(double, entered);
        QFETCH(int, reported);
        QFETCH(int, code);
        QFETCH(double, shown);
        QFETCH(int, emitted);

        Window_under_test w;
        Dante_module &d = w.probe.dante();
        QDoubleSpinBox *const boxes[] = {w.ui().box_gain_0, w.ui().box_gain_1};
        for (int i = 0; i < 2; ++i) {
            if (reported != 32) // 32 is assumed before the unit reports
                d.cpu_gain[i] = uint8_t(reported);
            QSignalSpy spy(&d, &Dante_module::gain_value_changed);
            boxes[i]->setValue(entered);
            QCOMPARE(int(d.gain[i]), code);
            QCOMPARE(boxes[i]->value(), shown);
            QCOMPARE(spy.count(), emitted);
            // An arrow step moves one code, without a snap's second announcement.
            const int step = code == 63 ? -1 : 1;
            boxes[i]->stepBy(step);
            QCOMPARE(int(d.gain[i]), code + step);
            QCOMPARE(spy.count(), emitted + 1);
        }
    }

    void reading_gain()
    {
        Window_under_test w;
        Dante_module &d = w.probe.dante();
        w.ui().box_gain_0->setValue(50.0);
        w.ui().box_gain_1->setValue(30.5);
        QSignalSpy spy(&d, &Dante_module::gain_value_changed);
        d.update_gain_from_cpu(); // as a connection before any Dante block does
        QCOMPARE(w.ui().box_gain_0->value(), 47.0);
        QCOMPARE(w.ui().box_gain_1->value(), 47.0);
        QCOMPARE(spy.count(), 0);

        Status_payload status;
        status.gain[0] = 64; // more than a box can show
        status.gain[1] = 20;
        w.probe.feed(status.frame()); // its redraw enables the button
        w.ui().button_reading_gain->click();
        QCOMPARE(w.ui().box_gain_0->value(), 70.25);
        QCOMPARE(w.ui().box_gain_1->value(), 38.0);
        QCOMPARE(spy.count(), 1); // 63 is not the unit's 64
        QCOMPARE(QVector<int>({d.gain[0], d.gain[1]}), QVector<int>({63, 20}));
    }
};

QTEST_MAIN(Tst_gain)
#include "tst_gain.moc"
