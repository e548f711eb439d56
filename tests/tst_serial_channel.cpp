// The tool's QSerialPort on a pseudo-terminal's slave side, the test as the unit on the master.

#include "support/status_payload.h"
#include "support/test_settings.h"
#include "support/window_under_test.h"

#include <QtCore/QTemporaryFile>
#include <QtTest/QtTest>

#include <termios.h>

namespace {

constexpr int line_rate = 115200;
constexpr int arrival_ms = 5000;
// Long enough for a frame written at once to show up, far below the ack time-out.
constexpr int quiet_ms = 300;
constexpr int ack_ms = Serial_port::ack_timeout_ms;
constexpr int ack_lower_bound_ms = ack_ms * 9 / 10; // coarse timers may fire 5% early

// A control frame told apart from others by its tag.
QByteArray tagged(uint8_t tag)
{
    return control_frame(QByteArray::fromHex("20") + QByteArray(2, char(tag)) + "\xE4");
}

// The next control frame on the master side.
QByteArray heard(Pty_device &pty)
{
    return collect(pty, tagged(0).size());
}

// As the decoder's signal reaches this private slot in the tool.
void acknowledge(Serial_port &channel)
{
    QVERIFY(QMetaObject::invokeMethod(&channel, "ack_recieved_and_send_new_msg"));
}

// On the master side the terminal settings are the slave's.
speed_t line_speed(const Pty_device &pty)
{
    termios settings{};
    return tcgetattr(pty.fd(), &settings) == 0 ? cfgetospeed(&settings) : B0;
}

} // namespace

class Tst_serial_channel : public QObject
{
    Q_OBJECT

    Pty_device pty;

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
        for (int i = 0; i < 16 * 256; ++i)
            sent.append(char(i));
        QVERIFY(pty.write_all(sent));
        QTRY_VERIFY_WITH_TIMEOUT(got.size() >= sent.size(), arrival_ms);
        QCOMPARE(got, sent);
    }

    void one_frame_in_flight_and_periodic_frames_only_when_idle()
    {
        Serial_port channel;
        QVERIFY(channel.open_port(pty.slave_path(), line_rate));
        // Idle: a periodic frame is written and holds the line like any other.
        channel.send_monotone_msg(tagged(0x3F));
        QCOMPARE(heard(pty), tagged(0x3F));
        channel.send_monotone_msg(tagged(0x3E));
        for (const uint8_t tag : {1, 2})
            channel.send_msg(tagged(tag));
        channel.send_monotone_msg(tagged(0x3D));
        QCOMPARE(collect(pty, 1, quiet_ms), QByteArray());
        QVERIFY(channel.is_waiting_for_ack());
        QCOMPARE(channel.queued_count(), 2);
        for (const uint8_t tag : {1, 2}) {
            acknowledge(channel);
            QCOMPARE(heard(pty), tagged(tag));
        }
        acknowledge(channel);
        QVERIFY(!channel.is_waiting_for_ack());
        // An acknowledgement with nothing outstanding changes nothing.
        acknowledge(channel);
        QCOMPARE(collect(pty, 1, quiet_ms), QByteArray());
        channel.send_msg(tagged(4));
        QCOMPARE(heard(pty), tagged(4));
    }

    void timeout_releases_next_without_retry()
    {
        Serial_port channel;
        QVERIFY(channel.open_port(pty.slave_path(), line_rate));
        QTest::ignoreMessage(QtDebugMsg, "Velmar UART timeout");
        QTest::ignoreMessage(QtDebugMsg, "Velmar UART timeout");
        for (const uint8_t tag : {1, 2, 3})
            channel.send_msg(tagged(tag));
        QCOMPARE(heard(pty), tagged(1));
        // Acknowledged half-way through its second: the next frame's time-out
        // must count from its own write, not from the first one.
        QTest::qWait(ack_ms / 2);
        QElapsedTimer since_write;
        since_write.start();
        acknowledge(channel);
        QCOMPARE(heard(pty), tagged(2));
        QCOMPARE(heard(pty), tagged(3));
        QVERIFY(since_write.elapsed() >= ack_lower_bound_ms); // the second's time-out
        // It times out too; nothing is written again and the channel is idle.
        since_write.restart();
        QTRY_VERIFY_WITH_TIMEOUT(!channel.is_waiting_for_ack(), arrival_ms);
        QVERIFY(since_write.elapsed() >= ack_lower_bound_ms - quiet_ms);
        QCOMPARE(collect(pty, 1, quiet_ms), QByteArray());
        QCOMPARE(channel.queued_count(), 0);
    }

    void window_opens_selected_port_and_follows_the_rate()
    {
        QTemporaryFile not_a_terminal;
        QVERIFY(not_a_terminal.open());
        const auto window = make_window_without_port();
        Main_window_probe &probe = window->probe;
        QLabel *port_label = probe.ui().label_SerialPort_Ok;
        QCOMPARE(shown(port_label), Shown("--", "color : grey"));
        for (const QString &name : {QStringLiteral("/no/such/tty"), not_a_terminal.fileName()}) {
            QTest::ignoreMessage(QtDebugMsg, open_failure_line(name));
            select_port(probe, name);
            QCOMPARE(shown(port_label), Shown("Fault", "color: red"));
        }
        // The tool keeps running: the next selection opens.
        select_port(probe, pty.slave_path());
        QCOMPARE(shown(port_label), Shown("Ok", "color : green"));
        QCOMPARE(line_speed(pty), static_cast<speed_t>(B115200));
        QVERIFY(pty.write_all(status_frame(QByteArray::fromHex("10000000"))));
        QTRY_COMPARE_WITH_TIMEOUT(probe.parcer().protocol_version, uint8_t{0x10}, arrival_ms);
        probe.packet_send();
        QCOMPARE(collect(pty, probe.build_packet().size()), probe.build_packet());
        acknowledge(probe.serial_port());
        QComboBox *rates = probe.ui().comboBox_BaudRate;
        rates->setCurrentIndex(rates->findData(9600));
        QCOMPARE(line_speed(pty), static_cast<speed_t>(B9600));
        QCOMPARE(port_label->text(), QStringLiteral("Ok"));
        probe.serial_port().send_msg(tagged(7));
        QCOMPARE(heard(pty), tagged(7));
    }
};

QTEST_MAIN(Tst_serial_channel)
#include "tst_serial_channel.moc"
