// Gain entries turned into gain codes, and the unit's own gains read back.

#include "link/frame.h"
#include "support/pty_window.h"
#include "support/status_payload.h"
#include "support/test_settings.h"

#include <QtTest/QtTest>

#include <memory>

class Tst_gain : public QObject
{
    Q_OBJECT

    std::unique_ptr<Probed_window> w;

    QDoubleSpinBox *box(int index) const
    {
        return index == 0 ? w->probe.ui().box_gain_0 : w->probe.ui().box_gain_1;
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

        Dante_module &d = w->probe.dante();
        for (int i = 0; i < 2; ++i) {
            if (reported != 32) // 32 is assumed before the unit reports
                d.cpu_gain[i] = uint8_t(reported);
            QSignalSpy spy(&d, &Dante_module::gain_value_changed);
            box(i)->setValue(entered);
            QCOMPARE(int(d.gain[i]), code);
            QCOMPARE(box(i)->value(), shown);
            QCOMPARE(spy.count(), emitted);
            // An arrow step moves one code, without a snap's second announcement.
            const int step = code == 63 ? -1 : 1;
            box(i)->stepBy(step);
            QCOMPARE(int(d.gain[i]), code + step);
            QCOMPARE(spy.count(), emitted + 1);
        }
    }

    void reading_gain()
    {
        box(0)->setValue(50.0);
        box(1)->setValue(30.5);
        Dante_module &d = w->probe.dante();
        QSignalSpy spy(&d, &Dante_module::gain_value_changed);
        d.update_gain_from_cpu(); // as a connection before any Dante block does
        QCOMPARE(box(0)->value(), 47.0);
        QCOMPARE(box(1)->value(), 47.0);
        QCOMPARE(spy.count(), 0);

        Status_payload status;
        status.gain[0] = 64; // more than a box can show
        status.gain[1] = 20;
        w->probe.feed(status.frame()); // its redraw enables the button
        w->probe.ui().button_reading_gain->click();
        QCOMPARE(box(0)->value(), 70.25);
        QCOMPARE(box(1)->value(), 38.0);
        QCOMPARE(spy.count(), 1); // 63 is not the unit's 64
        const QByteArray packet = w->probe.build_packet();
        QCOMPARE(int(uint8_t(packet.at(frame::header_size + 1))), 63);
        QCOMPARE(int(uint8_t(packet.at(frame::header_size + 2))), 20);
    }
};

QTEST_MAIN(Tst_gain)
#include "tst_gain.moc"
