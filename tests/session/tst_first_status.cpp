// Nothing is taken for the unit's own before one of its statuses was decoded:
// short messages make no connection, so no editor is loaded and nothing is
// sent; an acknowledgement inside one is still honoured.
#include "protocol/status_layout.h"
#include "session/session.h"
#include "support/pty_line.h"
#include "support/status_payload.h"

#include <QtTest/QtTest>

namespace {

constexpr int control_frame_size = 9, threshold_byte = 6;
// Three cages announced and not one block sent: too short for its own 2.0.
const QByteArray short_message = QByteArray::fromHex("200F0F29");
const QByteArray acknowledging = QByteArray::fromHex("200F1F29");

} // namespace

class First_status_test : public QObject
{
    Q_OBJECT

    Pty_device unit;
    Session_timing timing = Session_timing::scaled_down(10);

private Q_SLOTS:
    void first_status_makes_the_connection_data()
    {
        QTest::addColumn<QByteArray>("frames"); // sent over and over
        QTest::addColumn<int>("connections");   // each loads the editors, then refreshes
        QTest::newRow("short messages only") << status_frame(short_message) << 0;
        QTest::newRow("a status among them")
            << status_frame(short_message) + Status_payload().frame() << 1;
    }

    void first_status_makes_the_connection()
    {
        QFETCH(QByteArray, frames);
        QFETCH(int, connections);
        QVERIFY(unit.open());
        Session session(timing);
        QVERIFY(session.open_port({unit.slave_path(), Port_settings::default_baud_rate}));
        QSignalSpy announced(&session, &Session::connection_announced);
        QSignalSpy editor(&session, &Session::threshold_changed);
        QTimer talk;
        connect(&talk, &QTimer::timeout, this, [&] { session.receive(frames); });
        talk.start(timing.watchdog_ms / 4);
        QTest::qWait(4 * timing.watchdog_ms);
        QCOMPARE(QVector<int>({int(announced.count()), int(editor.count())}),
                 QVector<int>({connections, connections}));
        QCOMPARE(int(collect(unit, control_frame_size, timing.refresh_ms).size()),
                 connections * control_frame_size);
    }

    void acknowledgement_in_a_short_message_data()
    {
        QTest::addColumn<QByteArray>("message");
        QTest::addColumn<bool>("released"); // the next control frame goes out
        QTest::newRow("acknowledging") << acknowledging << true;
        QTest::newRow("not acknowledging") << short_message << false;
    }

    void acknowledgement_in_a_short_message()
    {
        QFETCH(QByteArray, message);
        QFETCH(bool, released);
        QVERIFY(unit.open());
        timing.ack_timeout_ms = 60000; // only an acknowledgement releases a frame here
        Session session(timing);
        QVERIFY(session.open_port({unit.slave_path(), Port_settings::default_baud_rate}));
        session.apply({{{32, 32}}, -20});
        session.apply({{{32, 32}}, -21});
        QCOMPARE(collect(unit, control_frame_size).at(threshold_byte), char(-20));
        session.receive(status_frame(message));
        const QByteArray next = collect(unit, control_frame_size, timing.watchdog_ms);
        QCOMPARE(next.mid(threshold_byte, 1), released ? QByteArray(1, char(-21)) : QByteArray());
    }
};

QTEST_GUILESS_MAIN(First_status_test)
#include "tst_first_status.moc"
