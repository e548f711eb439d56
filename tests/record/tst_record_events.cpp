#include "record/json_record_format.h"
#include "record/recorder.h"
#include "session/session.h"
#include "simulator/unit_simulator.h"
#include "support/record_text.h"

#include <QtCore/QBuffer>
#include <QtCore/QTemporaryDir>
#include <QtTest/QtTest>

#include <memory>
#include <vector>

namespace {

constexpr int frames_per_second = 50;
constexpr int frame_period_ms = 1000 / frames_per_second;
constexpr int silence_ms = 2000;
constexpr int tolerance_ms = 200;
constexpr int replug_ms = 1500;
constexpr int wait_ms = 15000;
// The figures measured here are the frames' own times, not the judgement's
// period: a quick judgement keeps the test short.
constexpr int watchdog_divisor = 4;

// A session on a simulated unit, with a recorder writing JSON to memory.
struct Recorded_unit
{
    Unit_simulator unit;
    QTemporaryDir dir;
    QString link;
    std::unique_ptr<Session> session;
    QBuffer sink;
    Json_record_format format;
    std::unique_ptr<Recorder> recorder;

    bool start(bool listen_only)
    {
        unit.settings().rate = frames_per_second;
        unit.settings().drift = false;
        link = dir.filePath(QStringLiteral("unit"));
        unit.set_link_path(link);
        if (!unit.start_on_pty())
            return false;
        session = std::make_unique<Session>(Session_timing::scaled_down(watchdog_divisor));
        session->set_listen_only(listen_only);
        sink.open(QIODevice::WriteOnly);
        recorder = std::make_unique<Recorder>(*session, format, sink,
                                              Recorder::Policy::changes_per_connection);
        return session->open_port({link});
    }

    std::vector<Record_entry> entries() { return read_record(sink.data()).entries; }

    int count(Record_event event)
    {
        int found = 0;
        for (const Record_entry &entry : entries())
            found += entry.event == event ? 1 : 0;
        return found;
    }
};

} // namespace

class Record_events_test : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // A run starts with its port. The silent and connected lines are written
    // when the link is judged; their since says when the frames stopped and
    // came back.
    void a_silence_is_measured_from_its_frames()
    {
        Recorded_unit recorded;
        QVERIFY(recorded.start(true));
        QTRY_COMPARE_WITH_TIMEOUT(recorded.count(Record_event::connected), 1, wait_ms);
        const Record_entry first = recorded.entries().front();
        QCOMPARE(first.event, Record_event::start);
        QCOMPARE(first.start.port, recorded.link);
        QCOMPARE(first.start.baud_rate, Port_settings::default_baud_rate);
        QCOMPARE(first.start.program, QCoreApplication::applicationName());
        QCOMPARE(first.start.format_version, Record_start::current_format_version);
        recorded.unit.silence(silence_ms);
        QTRY_COMPARE_WITH_TIMEOUT(recorded.count(Record_event::connected), 2, wait_ms);
        qint64 silent_since = Record_entry::no_time;
        qint64 silent_written = 0;
        qint64 back_since = Record_entry::no_time;
        for (const Record_entry &entry : recorded.entries()) {
            if (entry.event == Record_event::silent) {
                silent_since = entry.since_ms;
                silent_written = entry.time_ms;
            }
            if (entry.event == Record_event::connected && silent_since != Record_entry::no_time)
                back_since = entry.since_ms;
        }
        QVERIFY(silent_since != Record_entry::no_time && back_since != Record_entry::no_time);
        const qint64 measured = back_since - silent_since;
        QVERIFY2(std::abs(measured - (silence_ms + frame_period_ms)) <= tolerance_ms,
                 qPrintable(QStringLiteral("measured %1 ms").arg(measured)));
        QVERIFY(silent_written >= silent_since);
    }

    // Frames from before a lost port do not make the link live: nothing says
    // connected until the port is back and the unit has spoken on it.
    void nothing_is_connected_while_the_port_is_lost()
    {
        Recorded_unit recorded;
        QVERIFY(recorded.start(true));
        QTRY_COMPARE_WITH_TIMEOUT(recorded.count(Record_event::connected), 1, wait_ms);
        QVERIFY(recorded.unit.unplug(replug_ms));
        QTRY_COMPARE_WITH_TIMEOUT(recorded.count(Record_event::connected), 2, wait_ms);
        bool lost = false;
        qint64 reopened_at = 0;
        QStringList seen;
        for (const Record_entry &entry : recorded.entries()) {
            seen << record_event_name(entry.event);
            if (entry.event == Record_event::port_lost)
                lost = true;
            if (entry.event == Record_event::reopened) {
                QVERIFY(lost);
                lost = false;
                reopened_at = entry.time_ms;
            }
            if (entry.event == Record_event::connected && reopened_at > 0)
                QVERIFY(entry.since_ms >= reopened_at);
            QVERIFY2(!(lost && entry.event == Record_event::connected), qPrintable(seen.join(' ')));
        }
        QVERIFY(reopened_at > 0);
    }

    // What the window sends is in its record, and so is every frame the
    // unit left unacknowledged.
    void sent_values_and_timeouts_are_recorded()
    {
        Recorded_unit recorded;
        recorded.unit.settings().acknowledge = false;
        QVERIFY(recorded.start(false));
        QTRY_VERIFY_WITH_TIMEOUT(recorded.count(Record_event::ack_timeout) >= 1, wait_ms);
        const Unit_status unit = recorded.unit.state();
        bool any_sent = false;
        for (const Record_entry &entry : recorded.entries()) {
            if (entry.event != Record_event::sent)
                continue;
            any_sent = true;
            QCOMPARE(entry.sent.gain_codes, unit.dante.gain_codes);
            QCOMPARE(entry.sent.threshold_dbm, unit.threshold_dbm);
        }
        QVERIFY(any_sent);
    }
};

QTEST_GUILESS_MAIN(Record_events_test)
#include "tst_record_events.moc"
