// The window's control frames as the unit reads them off a pseudo-terminal.

#include "support/status_payload.h"
#include "support/window_under_test.h"

#include <QtTest/QtTest>

#include <memory>

#ifdef VELMAR_HAVE_UNIT_SIM

namespace {

constexpr int frame_size = 9;
// How long the line has to stay quiet before "nothing was sent" is believed.
constexpr int quiet_ms = 300;

QByteArray control(const char *payload_hex)
{
    return control_frame(QByteArray::fromHex(payload_hex)).toHex(' ');
}

} // namespace

class Control_test : public QObject
{
    Q_OBJECT

    Pty_device unit;
    std::unique_ptr<Window_under_test> w;

    QByteArray next_frame() { return collect(unit, frame_size).toHex(' '); }
    QByteArray quiet_line() { return collect(unit, 1, quiet_ms); }

    void unit_sends(const QByteArray &frame)
    {
        const int32_t before = w->probe.rx_byte_count();
        QVERIFY(unit.write_all(frame));
        QTRY_VERIFY_WITH_TIMEOUT(w->probe.rx_byte_count() != before, 5000);
    }

    // Each frame comes and is acknowledged by a 1.1 unit, which alters nothing; a
    // refresh tick meanwhile is dropped, not queued. Then the line stays quiet.
    void expect_acknowledged(const QByteArrayList &frames)
    {
        for (const QByteArray &frame : frames) {
            QCOMPARE(next_frame(), frame);
            w->probe.monotone_send();
            unit_sends(status_frame(QByteArray::fromHex("110F1800")));
        }
        QCOMPARE(quiet_line(), QByteArray());
    }

    // {box 0 dB, box 1 dB, the unit's codes 0 and 1, rx_trshd}, set without sending.
    void preset(const QVector<int> &values)
    {
        Dante_module &dante = w->probe.dante();
        for (int i = 0; i < 2; ++i) {
            dante.cpu_gain[i] = uint8_t(qRound((values[i] - 23.0) / 0.75));
            (i == 0 ? w->ui().box_gain_0 : w->ui().box_gain_1)->setValue(values[i]);
            dante.cpu_gain[i] = uint8_t(values[2 + i]);
        }
        w->probe.rx_trshd() = int8_t(values[4]);
    }

private Q_SLOTS:
    void init()
    {
        w.reset(); // the last test's window lets go of the line first
        unit.close();
        QVERIFY2(unit.open(), qPrintable(unit.error_string()));
        w = std::make_unique<Window_under_test>(unit.slave_path());
    }

    void default_set_data()
    {
        QTest::addColumn<QVector<int>>("before");
        QTest::addColumn<QByteArrayList>("frames");
        QTest::newRow("both at 47.0")
            << QVector<int>{47, 47, 32, 32, 0} << QByteArrayList{"52 50 04 20 20 20 e4 d4 86"};
        QTest::newRow("box 0 at 50.0, unit at 36/32")
            << QVector<int>{50, 47, 36, 32, -20}
            << QByteArrayList{control("202020EC"), control("202020E4")};
        QTest::newRow("both at 50.0, unit at 36/36")
            << QVector<int>{50, 50, 36, 36, -20}
            << QByteArrayList{control("202024EC"), control("202020EC"), control("202020E4")};
        QTest::newRow("both at 50.0, unit already at 32/32")
            << QVector<int>{50, 50, 32, 32, -5} << QByteArrayList{control("202020E4")};
    }

    void default_set()
    {
        QFETCH(QVector<int>, before);
        QFETCH(QByteArrayList, frames);
        preset(before);

        w->ui().button_default_set->click();

        QCOMPARE(w->probe.serial_port().queued_count(), frames.size() - 1);
        expect_acknowledged(frames);
    }

    void threshold_waits_for_apply()
    {
        w->probe.rx_trshd() = -20;
        w->ui().box_new_trshd->setValue(-30);
        QCOMPARE(quiet_line(), QByteArray());
        w->ui().box_gain_0->setValue(47.75); // still carries the old threshold
        expect_acknowledged({control("202120EC")});
        w->ui().button_trshd_apply->setEnabled(true); // as a tick from a 2.0 unit leaves it
        w->ui().button_trshd_apply->click();
        expect_acknowledged({control("202120E2")});
    }

    void announced_connection_repeats_the_units_values_data()
    {
        QTest::addColumn<QByteArray>("status");
        QTest::addColumn<QByteArrayList>("frames"); // sent at the announcement, then the refresh
        // A 2.0 unit without cages reporting gain codes and threshold.
        const auto unit_reporting = [](const char *hex) {
            return status_frame(QByteArray::fromHex(QByteArray("200F08007F") + hex));
        };

        QTest::newRow("-25, 10, 20")
            << unit_reporting("0A14E7") << QByteArrayList{control("200A14E7")};
        QTest::newRow("-40, out of the box's range")
            << unit_reporting("2020D8") << QByteArrayList{control("202020D8")};
        // A code the gain box cannot show is sent back as 63, with the unit's threshold.
        QTest::newRow("gain 64") << unit_reporting("4020E7")
                                 << QByteArrayList{control("203F20E7"), control("203F20E7")};
    }

    void announced_connection_repeats_the_units_values()
    {
        QFETCH(QByteArray, status);
        QFETCH(QByteArrayList, frames);

        unit_sends(status);
        w->probe.tick();
        expect_acknowledged(frames.mid(0, frames.size() - 1));
        w->probe.monotone_send();
        QCOMPARE(next_frame(), frames.last());
    }
};

#else

class Control_test : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void skipped() { QSKIP("built without the tools: no pseudo-terminal"); }
};

#endif

QTEST_MAIN(Control_test)
#include "tst_control.moc"
