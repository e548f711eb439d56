#include "session/session.h"
#include "support/pty_line.h"
#include "support/quick_timing.h"
#include "support/session_line_test.h"
#include "support/status_payload.h"

#include <QtTest/QtTest>

#include <memory>

namespace {

constexpr int frame_size = 9, line_ms = 5000;
// Long enough for a frame written at once to show up, far below the refresh interval.
constexpr int quiet_ms = quick_timing.refresh_ms / 5;
// Well inside the watchdog's period, so that the unit never looks silent.
constexpr int report_interval_ms = quick_timing.watchdog_ms / 10;
// The intent comes this long after the connection, when the refresh timer
// starts: two time-outs then keep a frame in flight over the first refresh tick,
// and frames released at once leave the line quiet well before it.
constexpr int intent_delay_ms = quick_timing.ack_timeout_ms / 2;
// Releases the frame in flight and alters nothing: a 1.1 report has no Dante region.
const QByteArray acknowledgement = status_frame(QByteArray::fromHex("110F1800"));

enum Intent
{
    nothing,
    default_set,
    gain_then_threshold, // gain 0 to 47.75 dB, then -30 dBm applied
};

// The control frames around these space-separated payloads, as hex.
QByteArrayList frames(const QByteArray &payloads)
{
    QByteArrayList out;
    for (const QByteArray &payload : payloads.split(' '))
        out << control_frame(QByteArray::fromHex(payload)).toHex(' ');
    return out;
}

} // namespace

class Control_test : public Session_line_test
{
    Q_OBJECT

    QByteArray next_frame() { return collect(unit, frame_size, line_ms).toHex(' '); }

private Q_SLOTS:
    void sends_data()
    {
        QTest::addColumn<QByteArray>("reported");     // gain codes and threshold of a 2.0 unit
        QTest::addColumn<int>("intent");              // once the unit is announced
        QTest::addColumn<QByteArrayList>("expected"); // each released in turn, then a refresh
        QTest::addColumn<bool>("timed_out"); // every frame but the last is left to time out
        const auto row = [](const char *tag, const char *hex, Intent intent,
                            const QByteArrayList &f, bool timed_out = false) {
            QTest::newRow(tag) << QByteArray(hex) << int(intent) << f << timed_out;
        };
        const QByteArray defaults = "52 50 04 20 20 20 e4 d4 86";
        row("Default Set, both at 47.0", "202000", default_set, {defaults, defaults});
        row("Default Set, unit at 36/32", "2420EC", default_set,
            frames("202020EC 202020E4 202020E4"));
        row("Default Set, unit at 36/36", "2424EC", default_set,
            frames("202024EC 202020EC 202020E4 202020E4"));
        // Two time-outs keep a frame in flight over a refresh tick.
        row("Default Set, unit at 36/36, time-outs", "2424EC", default_set,
            frames("202024EC 202020EC 202020E4 202020E4"), true);
        row("-25, 10, 20", "0A14E7", nothing, frames("200A14E7"));
        row("-40, out of the editor's range", "2020D8", nothing, frames("202020D8"));
        // A code the gain editor cannot show is sent back as 63, with the unit's threshold.
        row("gain 64", "4020E7", nothing, frames("203F20E7 203F20E7"));
        // The gain's frame carries the old threshold; the new one waits for its own.
        row("threshold waits for apply", "2020EC", gain_then_threshold,
            frames("202120EC 202120E2 202120E2"));
    }

    void sends()
    {
        QFETCH(QByteArray, reported);
        QFETCH(int, intent);
        QFETCH(QByteArrayList, expected);
        QFETCH(bool, timed_out);
        const QByteArray report = status_frame(QByteArray::fromHex("200F08007F" + reported));
        QTimer reporter; // the unit talks on its own, no cages fitted
        connect(&reporter, &QTimer::timeout, this, [&] { QVERIFY(unit.write_all(report)); });
        reporter.start(report_interval_ms);
        QSignalSpy announced(session.get(), &Session::connection_announced);
        QElapsedTimer since_announced;
        connect(session.get(), &Session::connection_announced, this,
                [&since_announced] { since_announced.start(); });
        QTRY_COMPARE_WITH_TIMEOUT(announced.count(), 1, line_ms);
        QTest::qWait(int(qMax(qint64(0), intent_delay_ms - since_announced.elapsed())));
        if (intent == default_set)
            session->restore_defaults();
        if (intent == gain_then_threshold) {
            session->set_gain(0, 47.75);
            session->apply_threshold(-30);
        }
        // A refresh tick while a frame is in flight is dropped, not queued behind it: once the
        // last frame is acknowledged the line stays quiet until the next tick.
        for (int i = 0; i + 1 < expected.size(); ++i) {
            QCOMPARE(next_frame(), expected.at(i));
            if (!timed_out || i + 2 == expected.size())
                QVERIFY(unit.write_all(acknowledgement + report));
        }
        QCOMPARE(collect(unit, 1, quiet_ms), QByteArray());
        QCOMPARE(next_frame(), expected.last());
    }
};

QTEST_MAIN(Control_test)
#include "tst_control.moc"
