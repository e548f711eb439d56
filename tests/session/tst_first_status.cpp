// Nothing is taken for the unit's own before one of its statuses was decoded:
// short messages make no connection, so no editor is loaded and nothing is
// sent; an acknowledgement inside one is still honoured.
#include "protocol/status_layout.h"
#include "session/session.h"
#include "simulator/pty_device.h"
#include "support/pty_line.h"
#include "support/status_payload.h"

#include <QtTest/QtTest>

#include <memory>

namespace {

constexpr int control_frame_size = 9;
constexpr int judgements = 4;      // watchdog periods the unit talks for
constexpr int ack_wait_ms = 60000; // longer than any test: only an acknowledgement releases
constexpr int threshold_byte = 6;  // of a control frame
// Three cages announced and not one block sent: too short for its own 2.0.
const QByteArray short_message = QByteArray::fromHex("200F0F29");

QByteArray with_ack(QByteArray payload)
{
    payload[int(status::link_offset)] =
        char(payload[int(status::link_offset)] | 1 << status::ack_bit);
    return payload;
}

} // namespace

class First_status_test : public QObject
{
    Q_OBJECT

    Pty_device unit;
    std::unique_ptr<Session> session;
    Session_timing timing = Session_timing::scaled_down(10);

private Q_SLOTS:
    void init()
    {
        QVERIFY(unit.open());
        timing.ack_timeout_ms = ack_wait_ms;
        session = std::make_unique<Session>(timing);
        QVERIFY(session->open_port({unit.slave_path(), Port_settings::default_baud_rate}));
    }

    void cleanup()
    {
        session.reset();
        unit.close();
    }

    void connection_needs_a_decoded_status_data()
    {
        QTest::addColumn<QByteArray>("frames"); // sent over and over
        QTest::addColumn<bool>("connected");    // announced, editors loaded, refreshed
        QTest::newRow("short messages only") << status_frame(short_message) << false;
        QTest::newRow("a status among them")
            << status_frame(short_message) + Status_payload().frame() << true;
    }

    void connection_needs_a_decoded_status()
    {
        QFETCH(QByteArray, frames);
        QFETCH(bool, connected);
        QSignalSpy announced(session.get(), &Session::connection_announced);
        QSignalSpy editors(session.get(), &Session::threshold_changed);
        QSignalSpy judged(session.get(), &Session::link_changed);
        QTimer talk;
        connect(&talk, &QTimer::timeout, this, [&] { session->receive(frames); });
        talk.start(timing.watchdog_ms / judgements);
        QTRY_VERIFY(judged.count() >= 1);
        QTest::qWait(judgements * timing.watchdog_ms);
        QCOMPARE(announced.count(), connected ? 1 : 0);
        QCOMPARE(editors.count(), connected ? 1 : 0);
        QCOMPARE(collect(unit, control_frame_size, timing.refresh_ms).size(),
                 connected ? control_frame_size : 0);
    }

    void acknowledgement_in_a_short_message_data()
    {
        QTest::addColumn<QByteArray>("message");
        QTest::addColumn<bool>("released"); // the next control frame goes out
        QTest::newRow("acknowledging") << with_ack(short_message) << true;
        QTest::newRow("not acknowledging") << short_message << false;
    }

    void acknowledgement_in_a_short_message()
    {
        QFETCH(QByteArray, message);
        QFETCH(bool, released);
        Control_payload first{{{32, 32}}, -20}, second{{{32, 32}}, -21};
        session->apply(first);
        session->apply(second);
        QCOMPARE(collect(unit, control_frame_size).at(threshold_byte), char(-20));
        session->receive(status_frame(message));
        const QByteArray next = collect(unit, control_frame_size, timing.watchdog_ms);
        QCOMPARE(next.size(), released ? control_frame_size : 0);
        QVERIFY(!released || next.at(threshold_byte) == char(-21));
    }
};

QTEST_GUILESS_MAIN(First_status_test)
#include "tst_first_status.moc"
