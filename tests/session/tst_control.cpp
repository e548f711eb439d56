#include "support/status_payload.h"
#include "support/window_under_test.h"

#include <QtTest/QtTest>

#include <memory>

#ifdef VELMAR_HAVE_UNIT_SIM

namespace {

constexpr int frame_size = 9;
// How long the line has to stay quiet before "nothing was sent" is believed.
constexpr int quiet_ms = 300;

// The control frames around these space-separated payloads, as hex.
QByteArrayList frames(const QByteArray &payloads)
{
    QByteArrayList out;
    for (const QByteArray &payload : payloads.split(' '))
        out << control_frame(QByteArray::fromHex(payload)).toHex(' ');
    return out;
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
    void expect_acknowledged(const QByteArrayList &expected)
    {
        for (const QByteArray &frame : expected) {
            QCOMPARE(next_frame(), frame);
            w->probe.monotone_send();
            unit_sends(status_frame(QByteArray::fromHex("110F1800")));
        }
        QCOMPARE(quiet_line(), QByteArray());
    }

private Q_SLOTS:
    void init()
    {
        w.reset(); // the last test's window lets go of the line first
        unit.close();
        QVERIFY2(unit.open(), qPrintable(unit.error_string()));
        w = std::make_unique<Window_under_test>(unit.slave_path());
    }

    void sends_data()
    {
        QTest::addColumn<QByteArray>("reported");     // gain codes and threshold of a 2.0 unit
        QTest::addColumn<bool>("default_set");        // clicked once the unit is announced
        QTest::addColumn<QByteArrayList>("expected"); // each acknowledged, then a refresh
        const auto row = [](const char *tag, const char *hex, bool click, const QByteArrayList &f) {
            QTest::newRow(tag) << QByteArray(hex) << click << f;
        };
        const QByteArray defaults = "52 50 04 20 20 20 e4 d4 86";
        row("Default Set, both at 47.0", "202000", true, {defaults, defaults});
        row("Default Set, unit at 36/32", "2420EC", true, frames("202020EC 202020E4 202020E4"));
        row("Default Set, unit at 36/36", "2424EC", true,
            frames("202024EC 202020EC 202020E4 202020E4"));
        row("-25, 10, 20", "0A14E7", false, frames("200A14E7"));
        row("-40, out of the box's range", "2020D8", false, frames("202020D8"));
        // A code the gain box cannot show is sent back as 63, with the unit's threshold.
        row("gain 64", "4020E7", false, frames("203F20E7 203F20E7"));
    }

    void sends()
    {
        QFETCH(QByteArray, reported);
        QFETCH(bool, default_set);
        QFETCH(QByteArrayList, expected);
        unit_sends(status_frame(QByteArray::fromHex("200F08007F" + reported))); // no cages
        w->probe.tick();
        if (default_set) {
            w->ui().button_default_set->click();
            QCOMPARE(w->probe.serial_port().queued_count(), expected.size() - 2);
        }
        expect_acknowledged(expected.mid(0, expected.size() - 1));
        w->probe.monotone_send();
        QCOMPARE(next_frame(), expected.last());
    }

    void threshold_waits_for_apply()
    {
        w->probe.rx_trshd() = -20;
        w->ui().box_new_trshd->setValue(-30);
        QCOMPARE(quiet_line(), QByteArray());
        w->ui().box_gain_0->setValue(47.75); // still carries the old threshold
        expect_acknowledged(frames("202120EC"));
        w->ui().button_trshd_apply->setEnabled(true); // as a tick from a 2.0 unit leaves it
        w->ui().button_trshd_apply->click();
        expect_acknowledged(frames("202120E2"));
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
