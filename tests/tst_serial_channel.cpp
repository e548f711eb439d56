// The serial channel over a real pseudo-terminal: the tool's QSerialPort on
// the slave side, the test playing the unit on the master side.

#include "app/mainwindow.h"
#include "link/frame_builder.h"
#include "link/serial_port.h"
#include "support/main_window_probe.h"
#include "support/pty_window.h"
#include "support/test_settings.h"

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

QByteArray control_frame(uint8_t tag)
{
    const uint8_t payload[] = {0x20, tag, tag, 0xE4};
    return Frame_builder::build_control(payload, sizeof payload);
}

// The next control frame on the master side.
QByteArray heard(Pty_device &pty)
{
    return collect(pty, control_frame(0).size());
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
            sent.append(static_cast<char>(i));
        QVERIFY(pty.write_all(sent));
        QTRY_VERIFY_WITH_TIMEOUT(got.size() >= sent.size(), arrival_ms);
        QCOMPARE(got, sent);
    }

    void one_frame_in_flight_and_periodic_frames_only_when_idle()
    {
        Serial_port channel;
        QVERIFY(channel.open_port(pty.slave_path(), line_rate));
        // Idle: a periodic frame is written and holds the line like any other.
        channel.send_monotone_msg(control_frame(0x3F));
        QCOMPARE(heard(pty), control_frame(0x3F));
        channel.send_monotone_msg(control_frame(0x3E));
        for (const uint8_t tag : {1, 2})
            channel.send_msg(control_frame(tag));
        channel.send_monotone_msg(control_frame(0x3D));
        QCOMPARE(collect(pty, 1, quiet_ms), QByteArray());
        QVERIFY(channel.is_waiting_for_ack());
        QCOMPARE(channel.queued_count(), 2);
        for (const uint8_t tag : {1, 2}) {
            acknowledge(channel);
            QCOMPARE(heard(pty), control_frame(tag));
        }
        acknowledge(channel);
        QVERIFY(!channel.is_waiting_for_ack());
        // An acknowledgement with nothing outstanding changes nothing.
        acknowledge(channel);
        QCOMPARE(collect(pty, 1, quiet_ms), QByteArray());
        channel.send_msg(control_frame(4));
        QCOMPARE(heard(pty), control_frame(4));
    }

    void timeout_releases_next_without_retry()
    {
        Serial_port channel;
        QVERIFY(channel.open_port(pty.slave_path(), line_rate));
        QTest::ignoreMessage(QtDebugMsg, "Velmar UART timeout");
        QTest::ignoreMessage(QtDebugMsg, "Velmar UART timeout");
        for (const uint8_t tag : {1, 2, 3})
            channel.send_msg(control_frame(tag));
        QCOMPARE(heard(pty), control_frame(1));
        // Acknowledged half-way through its second: the next frame's time-out
        // must count from its own write, not from the first one.
        QTest::qWait(ack_ms / 2);
        QElapsedTimer since_second_write;
        since_second_write.start();
        acknowledge(channel);
        QCOMPARE(heard(pty), control_frame(2));
        QCOMPARE(heard(pty), control_frame(3));
        QVERIFY2(since_second_write.elapsed() >= ack_lower_bound_ms,
                 qPrintable(QString::number(since_second_write.elapsed())));
        // It times out too; nothing is written again and the channel is idle.
        QElapsedTimer since_third_write;
        since_third_write.start();
        QTRY_VERIFY_WITH_TIMEOUT(!channel.is_waiting_for_ack(), arrival_ms);
        QVERIFY(since_third_write.elapsed() >= ack_lower_bound_ms - quiet_ms);
        QCOMPARE(collect(pty, 1, quiet_ms), QByteArray());
        QCOMPARE(channel.queued_count(), 0);
    }

    void window_opens_selected_port_and_follows_the_rate()
    {
        const auto window = make_window_without_port();
        Main_window_probe &probe = window->probe;
        QLabel *port_label = probe.ui().label_SerialPort_Ok;
        QCOMPARE(port_label->text(), QStringLiteral("--"));
        QCOMPARE(port_label->styleSheet(), QStringLiteral("color : grey"));
        select_port(probe, pty.slave_path());
        QCOMPARE(port_label->text(), QStringLiteral("Ok"));
        QCOMPARE(port_label->styleSheet(), QStringLiteral("color : green"));
        QCOMPARE(line_speed(pty), static_cast<speed_t>(B115200));
        probe.packet_send();
        QCOMPARE(collect(pty, probe.build_packet().size()), probe.build_packet());
        acknowledge(probe.serial_port());

        QComboBox *rates = probe.ui().comboBox_BaudRate;
        rates->setCurrentIndex(rates->findData(9600));
        QCOMPARE(line_speed(pty), static_cast<speed_t>(B9600));
        QCOMPARE(port_label->text(), QStringLiteral("Ok"));
        probe.serial_port().send_msg(control_frame(7));
        QCOMPARE(heard(pty), control_frame(7));
    }

    void unopenable_or_lost_port_shows_fault()
    {
        QTemporaryFile not_a_terminal;
        QVERIFY(not_a_terminal.open());
        const auto window = make_window_without_port();
        Main_window_probe &probe = window->probe;
        QLabel *port_label = probe.ui().label_SerialPort_Ok;
        for (const QString &name : {QStringLiteral("/no/such/tty"), not_a_terminal.fileName()}) {
            QTest::ignoreMessage(QtDebugMsg, open_failure_line(name));
            select_port(probe, name);
            QCOMPARE(port_label->text(), QStringLiteral("Fault"));
            QCOMPARE(port_label->styleSheet(), QStringLiteral("color: red"));
        }
        // The tool keeps running: the next selection opens.
        select_port(probe, pty.slave_path());
        QCOMPARE(port_label->text(), QStringLiteral("Ok"));
        const uint8_t status[] = {0x10, 0x00, 0x00, 0x00};
        QVERIFY(pty.write_all(Frame_builder::build_status(status, sizeof status)));
        QTRY_COMPARE_WITH_TIMEOUT(probe.parcer().protocol_version, uint8_t{0x10}, arrival_ms);

        // The adapter is pulled: the master side goes away. No busy loop follows.
        QTest::ignoreMessage(QtDebugMsg, QRegularExpression(QStringLiteral("Serial port lost:")));
        pty.close();
        constexpr int idle_ms = 1500;
        const double cpu_before = process_cpu_seconds();
        QTest::qWait(idle_ms);
        const double busy = (process_cpu_seconds() - cpu_before) / (idle_ms / 1000.0);
        QVERIFY2(busy < 0.2, qPrintable(QStringLiteral("%1% of a core").arg(busy * 100)));
        QCOMPARE(port_label->text(), QStringLiteral("Fault"));
        QCOMPARE(port_label->styleSheet(), QStringLiteral("color: red"));

        // A new line selected by the operator works again.
        Pty_device replacement;
        QVERIFY(replacement.open());
        select_port(probe, replacement.slave_path());
        QCOMPARE(port_label->text(), QStringLiteral("Ok"));
        probe.serial_port().send_msg(control_frame(9));
        QCOMPARE(heard(replacement), control_frame(9));
    }
};

QTEST_MAIN(Tst_serial_channel)
#include "tst_serial_channel.moc"
