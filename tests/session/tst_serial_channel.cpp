#include "session/serial_channel.h"
#include "support/debug_lines.h"
#include "support/pty_line.h"
#include "support/quick_timing.h"
#include "support/status_payload.h"

#include <QtTest/QtTest>

class Tst_serial_channel : public QObject
{
    Q_OBJECT

    static constexpr int arrival_ms = 5000;
    static constexpr int ack_timeout_ms = quick_timing.ack_timeout_ms;
    static constexpr int reopen_ms = quick_timing.reopen_ms;
    // Where no frame may time out however slow the machine.
    static constexpr int no_timeout_ms = 3600 * 1000;
    // Long enough for a frame written at once to show up, well below the ack time-out.
    static constexpr int quiet_ms = ack_timeout_ms / 2;
    // Coarse timers may fire 5% early.
    static constexpr int ack_lower_bound_ms = ack_timeout_ms * 9 / 10;
    Pty_device pty;

    static QByteArray tagged(uint8_t tag)
    {
        return control_frame(QByteArray::fromHex("20") + QByteArray(2, char(tag)) + "\xE4");
    }
    QByteArray heard() { return collect(pty, tagged(0).size()); }
    Port_settings line() const { return {pty.slave_path(), Port_settings::default_baud_rate}; }

private Q_SLOTS:
    void init() { QVERIFY2(pty.open(), qPrintable(pty.error_string())); }
    void cleanup() { pty.close(); }

    void forwards_every_byte_value_in_order()
    {
        QByteArray got;
        Serial_channel channel(ack_timeout_ms, reopen_ms);
        QVERIFY(channel.open(line()));
        connect(&channel, &Serial_channel::bytes_read, this,
                [&got](const QByteArray &chunk) { got += chunk; });
        // Line-discipline bytes (XON, XOFF, CR, NUL, DEL, interrupt) must pass untouched.
        QByteArray sent;
        for (int i = 0; i < 4 * 256; ++i)
            sent.append(char(i));
        QVERIFY(pty.write_all(sent));
        QTRY_VERIFY_WITH_TIMEOUT(got.size() >= sent.size(), arrival_ms);
        QCOMPARE(got, sent);
    }

    void one_frame_in_flight_and_periodic_frames_only_when_idle()
    {
        Serial_channel channel(no_timeout_ms, reopen_ms);
        QVERIFY(channel.open(line()));
        channel.send_if_idle(tagged(0x3F));
        QCOMPARE(heard(), tagged(0x3F));
        channel.send_if_idle(tagged(0x3E));
        for (const uint8_t tag : {1, 2})
            channel.send(tagged(tag));
        channel.send_if_idle(tagged(0x3D));
        QCOMPARE(channel.queued_count(), 2);
        QCOMPARE(collect(pty, 1, quiet_ms), QByteArray());
        for (const uint8_t tag : {1, 2}) {
            channel.acknowledge();
            QCOMPARE(heard(), tagged(tag));
        }
        channel.acknowledge();
        QVERIFY(!channel.is_waiting_for_ack());
        channel.acknowledge(); // nothing outstanding: changes nothing
        channel.send(tagged(4));
        QCOMPARE(heard(), tagged(4));
    }

    void timeout_releases_next_without_retry()
    {
        Serial_channel channel(ack_timeout_ms, reopen_ms);
        QSignalSpy timeouts(&channel, &Serial_channel::ack_timed_out);
        Debug_lines debug;
        QVERIFY(channel.open(line()));
        for (const uint8_t tag : {1, 2, 3})
            channel.send(tagged(tag));
        QCOMPARE(heard(), tagged(1));
        // Acked half-way: the next time-out counts from its own write.
        QTest::qWait(ack_timeout_ms / 2);
        QElapsedTimer since_write;
        since_write.start();
        channel.acknowledge();
        QCOMPARE(heard(), tagged(2));
        QCOMPARE(heard(), tagged(3));
        QVERIFY(since_write.elapsed() >= ack_lower_bound_ms); // the second's time-out
        since_write.restart();
        QTRY_VERIFY_WITH_TIMEOUT(!channel.is_waiting_for_ack(), arrival_ms);
        QVERIFY(since_write.elapsed() >= ack_lower_bound_ms - quiet_ms);
        QCOMPARE(collect(pty, 1, quiet_ms), QByteArray());
        // An acknowledged frame is done with: no time-out follows it.
        channel.send(tagged(4));
        QCOMPARE(heard(), tagged(4));
        channel.acknowledge();
        QTest::qWait(2 * ack_timeout_ms);
        QCOMPARE(timeouts.count(), 2);
        QCOMPARE(debug.take(), QStringList({"Velmar UART timeout", "Velmar UART timeout"}));
    }
};

QTEST_MAIN(Tst_serial_channel)
#include "tst_serial_channel.moc"
