#include "support/status_payload.h"
#include "support/test_settings.h"
#include "support/window_under_test.h"

#include <QtTest/QtTest>

#include <termios.h>

class Tst_serial_channel : public QObject
{
    Q_OBJECT

    static constexpr int line_rate = 115200, arrival_ms = 5000;
    // Long enough for a frame written at once to show up, far below the ack time-out.
    static constexpr int quiet_ms = 300;
    // Coarse timers may fire 5% early.
    static constexpr int ack_lower_bound_ms = Serial_port::ack_timeout_ms * 9 / 10;
    Pty_device pty;

    static QByteArray tagged(uint8_t tag)
    {
        return control_frame(QByteArray::fromHex("20") + QByteArray(2, char(tag)) + "\xE4");
    }
    QByteArray heard() { return collect(pty, tagged(0).size()); }
    // As the decoder's signal reaches this private slot in the tool.
    static void acknowledge(Serial_port &channel)
    {
        QVERIFY(QMetaObject::invokeMethod(&channel, "ack_recieved_and_send_new_msg"));
    }
    speed_t line_speed()
    {
        termios settings{}; // the master side shows the slave's settings
        return tcgetattr(pty.fd(), &settings) == 0 ? cfgetospeed(&settings) : B0;
    }

private Q_SLOTS:
    void initTestCase() { isolate_settings(); }
    void init() { QVERIFY2(pty.open(), qPrintable(pty.error_string())); }
    void cleanup() { pty.close(); }

    void forwards_every_byte_value_in_order()
    {
        QByteArray got;
        Serial_port channel;
        QVERIFY(channel.open_port(pty.slave_path(), line_rate));
        connect(&channel, &Serial_port::signal_serial_port_read, this,
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
        Serial_port channel;
        QVERIFY(channel.open_port(pty.slave_path(), line_rate));
        channel.send_monotone_msg(tagged(0x3F));
        QCOMPARE(heard(), tagged(0x3F));
        channel.send_monotone_msg(tagged(0x3E));
        for (const uint8_t tag : {1, 2})
            channel.send_msg(tagged(tag));
        channel.send_monotone_msg(tagged(0x3D));
        QCOMPARE(collect(pty, 1, quiet_ms), QByteArray());
        for (const uint8_t tag : {1, 2}) {
            acknowledge(channel);
            QCOMPARE(heard(), tagged(tag));
        }
        acknowledge(channel);
        QVERIFY(!channel.is_waiting_for_ack());
        acknowledge(channel); // nothing outstanding: changes nothing
        channel.send_msg(tagged(4));
        QCOMPARE(heard(), tagged(4));
    }

    void timeout_releases_next_without_retry()
    {
        Serial_port channel;
        QVERIFY(channel.open_port(pty.slave_path(), line_rate));
        QTest::ignoreMessage(QtDebugMsg, "Velmar UART timeout");
        QTest::ignoreMessage(QtDebugMsg, "Velmar UART timeout");
        for (const uint8_t tag : {1, 2, 3})
            channel.send_msg(tagged(tag));
        QCOMPARE(heard(), tagged(1));
        // Acked half-way: the next time-out counts from its own write.
        QTest::qWait(Serial_port::ack_timeout_ms / 2);
        QElapsedTimer since_write;
        since_write.start();
        acknowledge(channel);
        QCOMPARE(heard(), tagged(2));
        QCOMPARE(heard(), tagged(3));
        QVERIFY(since_write.elapsed() >= ack_lower_bound_ms); // the second's time-out
        since_write.restart();
        QTRY_VERIFY_WITH_TIMEOUT(!channel.is_waiting_for_ack(), arrival_ms);
        QVERIFY(since_write.elapsed() >= ack_lower_bound_ms - quiet_ms);
        QCOMPARE(collect(pty, 1, quiet_ms), QByteArray());
    }

    void window_opens_selected_port_and_follows_the_rate()
    {
        const auto window = make_window_without_port();
        Main_window_probe &probe = window->probe;
        QLabel *port_label = probe.ui().label_SerialPort_Ok;
        QCOMPARE(shown(port_label), Shown("--", "color : grey"));
        select_port(probe, pty.slave_path());
        QCOMPARE(shown(port_label), Shown("Ok", "color : green"));
        QCOMPARE(line_speed(), static_cast<speed_t>(B115200));
        QComboBox *rates = probe.ui().comboBox_BaudRate;
        rates->setCurrentIndex(rates->findData(9600));
        QCOMPARE(line_speed(), static_cast<speed_t>(B9600));
        probe.packet_send();
        QCOMPARE(collect(pty, probe.build_packet().size()), probe.build_packet());
    }
};

QTEST_MAIN(Tst_serial_channel)
#include "tst_serial_channel.moc"
