#include "session/session.h"
#include "support/debug_lines.h"
#include "support/pty_line.h"
#include "support/quick_timing.h"
#include "support/session_line_test.h"
#include "support/status_payload.h"

#include <QtTest/QtTest>

#include <memory>

namespace {

constexpr int frame_size = 9, line_ms = 5000;
constexpr int threshold_byte = 6; // in a control frame
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

// What the session sends the unit, and what it tells of each frame it reads.
class Tst_session : public Session_line_test
{
    Q_OBJECT

    QByteArray next_frame() { return collect(unit, frame_size, line_ms).toHex(' '); }

    // The frames written to the line, each released by an acknowledgement, up to the first
    // that carries the marker threshold; an intent sent last marks the end of what came before.
    QByteArrayList frames_through(int8_t marker)
    {
        QByteArrayList sent;
        while (sent.isEmpty() || sent.last().at(threshold_byte) != char(marker)) {
            const QByteArray frame = collect(unit, frame_size);
            if (frame.size() < frame_size)
                break;
            sent << frame;
            session->receive(acknowledgement);
        }
        return sent;
    }

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
        row("Default Set, unit at 36/36", "2424EC", default_set,
            frames("202024EC 202020EC 202020E4 202020E4"));
        // Two time-outs keep a frame in flight over a refresh tick.
        row("Default Set, unit at 36/36, time-outs", "2424EC", default_set,
            frames("202024EC 202020EC 202020E4 202020E4"), true);
        row("-25, 10, 20", "0A14E7", nothing, frames("200A14E7"));
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

    // The editors are told what each conversion holds; a frame goes out for each
    // code that differs from the unit's, carrying the values of that moment.
    void reading_gain()
    {
        session->set_gain(0, 50.0);
        session->set_gain(1, 30.5);
        QSignalSpy editor(session.get(), &Session::gain_changed);
        session->load_reported_gains(); // as a connection before any Dante block does
        Status_payload report;
        report.gain[0] = 64; // more than an editor can show
        report.gain[1] = 20;
        session->receive(report.frame());
        session->load_reported_gains();
        session->apply_threshold(-35);
        QCOMPARE(static_cast<QList<QVariantList>>(editor),
                 (QList<QVariantList>{{0, 47.0}, {1, 47.0}, {0, 70.25}, {1, 38.0}}));
        // The two entries, nothing for the defaults, 63 for the unit's 64, then the marker.
        QByteArrayList expected;
        for (const char *payload : {"20242000", "20240A00", "203F2000", "203F14DD"})
            expected << control_frame(QByteArray::fromHex(payload));
        QCOMPARE(frames_through(-35), expected);
    }

    void reports_each_frame_data()
    {
        QTest::addColumn<QByteArray>("chunk");
        QTest::addColumn<QStringList>("emitted"); // in order
        QTest::addColumn<QStringList>("debug");
        const QByteArray good = Status_payload().frame(), bad = with_bad_crc(good);
        Status_payload acked, disowned;
        acked.links |= 0x10;
        disowned.dante |= 0x80;
        // Three cages announced and no block sent; the second asks an acknowledgement.
        const QByteArray cut = status_frame(QByteArray::fromHex("200F0F29"));
        const QByteArray cut_acked = status_frame(QByteArray::fromHex("200F1F29"));
        const QString crc = QStringLiteral("crc mismatch");
        const QString dropped = QStringLiteral("Short status message dropped");
        QTest::newRow("good") << good << QStringList{"status"} << QStringList();
        QTest::newRow("Dante disowns its report")
            << disowned.frame() << QStringList{"status"}
            << QStringList{"Invalid message from dante submodule"};
        QTest::newRow("too short, its acknowledgement honoured")
            << cut_acked << QStringList{"ack", "short"} << QStringList{dropped};
        QTest::newRow("mixed chunk")
            << good + bad + cut + acked.frame()
            << QStringList{"status", "crc", "short", "ack", "status"} << QStringList{crc, dropped};
        QTest::newRow("lengths 0 and 45 given up at once")
            << QByteArray("PR\x00", 3) + good + QByteArray("PR\x2D") + good
            << QStringList{"status", "status"} << QStringList();
    }

    void reports_each_frame()
    {
        QFETCH(QByteArray, chunk);
        QFETCH(QStringList, emitted);
        QFETCH(QStringList, debug);
        QStringList seen;
        const auto record = [this, &seen](auto signal, const char *name) {
            connect(session.get(), signal, this, [&seen, name] { seen << name; });
        };
        record(&Session::acknowledged, "ack");
        record(&Session::status_received, "status");
        record(&Session::crc_mismatch, "crc");
        record(&Session::short_message, "short");
        Debug_lines lines;
        session->receive(chunk);
        QCOMPARE(seen, emitted);
        QCOMPARE(lines.take(), debug);
    }
};

QTEST_MAIN(Tst_session)
#include "tst_session.moc"
