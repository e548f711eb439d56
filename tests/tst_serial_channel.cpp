// The serial channel over a real pseudo-terminal: the tool's QSerialPort on
// the slave side, the test playing the unit on the master side.

#include "app/mainwindow.h"
#include "link/frame_builder.h"
#include "link/serial_port.h"
#include "support/main_window_probe.h"
#include "support/test_settings.h"
#include "tools/pty_device.h"

#include <QtCore/QElapsedTimer>
#include <QtCore/QEventLoop>
#include <QtCore/QRegularExpression>
#include <QtCore/QSettings>
#include <QtCore/QTemporaryFile>
#include <QtTest/QSignalSpy>
#include <QtTest/QtTest>

#include <sys/resource.h>
#include <termios.h>

#include <limits>
#include <memory>

using Frames = QList<QByteArray>;

namespace {

constexpr int line_rate = 115200;
constexpr int arrival_timeout_ms = 5000;
// Long enough for a frame written at once to show up, far below the
// acknowledgement time-out.
constexpr int quiet_ms = 300;
constexpr int ack_ms = Serial_port::ack_timeout_ms;
// Qt's coarse timers may fire up to 5% early.
constexpr int ack_lower_bound_ms = ack_ms * 9 / 10;

QByteArray control_frame(uint8_t tag)
{
    const uint8_t payload[] = {0x20, tag, tag, 0xE4};
    return Frame_builder::build_control(payload, sizeof payload);
}

QByteArray status_frame(std::initializer_list<uint8_t> payload)
{
    return Frame_builder::build_status(payload.begin(), payload.size());
}

// What the master side receives until `size` bytes are in or the time is
// up, with the event loop running so that the port gets to write.
QByteArray collect(Pty_device &pty, int size, int timeout_ms = arrival_timeout_ms)
{
    QByteArray got;
    QElapsedTimer clock;
    clock.start();
    while (got.size() < size && clock.elapsed() < timeout_ms) {
        QTest::qWait(5);
        got += pty.read_available(0);
    }
    return got;
}

QByteArray collect_for(Pty_device &pty, int ms)
{
    return collect(pty, std::numeric_limits<int>::max(), ms);
}

QByteArray joined_chunks(const QSignalSpy &chunks)
{
    QByteArray all;
    for (const QList<QVariant> &chunk : chunks)
        all += chunk.at(0).toByteArray();
    return all;
}

void acknowledge(Serial_port &channel)
{
    // The decoder's signal reaches this private slot in the tool.
    QVERIFY(QMetaObject::invokeMethod(&channel, "ack_recieved_and_send_new_msg"));
}

double process_cpu_seconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval &t) { return t.tv_sec + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

void run_event_loop(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

speed_t line_speed(const Pty_device &pty)
{
    // On the master side the terminal settings are the slave's.
    termios settings{};
    if (tcgetattr(pty.fd(), &settings) != 0)
        return B0;
    return cfgetospeed(&settings);
}

QString open_failure_pattern(const QString &name)
{
    return QStringLiteral("^\"%1\" Failed to open port: \".+\"$")
        .arg(QRegularExpression::escape(name));
}

} // namespace

class Tst_serial_channel : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void forwards_received_bytes_data();
    void forwards_received_bytes();
    void writes_one_frame_at_a_time();
    void periodic_frame_data();
    void periodic_frame();
    void timeout_releases_next_without_retry();
    void open_failure_data();
    void open_failure();

    void window_opens_selected_port();
    void window_ack_in_status_frame_releases_next();
    void window_baud_change_keeps_port_open();
    void window_unopenable_port_shows_fault();
    void window_survives_lost_line();

private:
    void start_window();
    void select_port(const QString &name);

    Pty_device pty;
    std::unique_ptr<Serial_port> channel;
    std::unique_ptr<MainWindow> window;
    std::unique_ptr<Main_window_probe> probe;
};

void Tst_serial_channel::initTestCase()
{
    isolate_settings();
}

void Tst_serial_channel::init()
{
    QVERIFY2(pty.open(), qPrintable(pty.error_string()));
}

void Tst_serial_channel::cleanup()
{
    probe.reset();
    window.reset();
    channel.reset();
    pty.close();
}

void Tst_serial_channel::start_window()
{
    // Saved with no port: the window opens no serial device of the host and
    // the test picks the pseudo-terminal itself.
    clear_saved_settings();
    QSettings settings(QSettings::UserScope, QStringLiteral("velmar_serial_port"), QString());
    settings.setValue(QStringLiteral("SerialPort/SerialPort"), -1);
    settings.sync();
    window = std::make_unique<MainWindow>();
    probe = std::make_unique<Main_window_probe>(*window);
    QCOMPARE(probe->ui().comboBox_SerialPort->currentIndex(), -1);
}

void Tst_serial_channel::select_port(const QString &name)
{
    QComboBox *combo = probe->ui().comboBox_SerialPort;
    combo->addItem(name);
    combo->setCurrentIndex(combo->count() - 1);
}

void Tst_serial_channel::forwards_received_bytes_data()
{
    QTest::addColumn<QByteArray>("sent");

    QTest::newRow("one byte") << QByteArray(1, '\x50');
    QTest::newRow("one status frame") << status_frame({0x10, 0x05, 0x00, 0x00});
    // Line-discipline bytes (XON, XOFF, CR, LF, NUL, DEL, interrupt) must pass
    // untouched.
    QTest::newRow("control characters") << QByteArray("\x11\x13\r\n\0\x7f\x03\x1a\xff", 9);
    QByteArray every_value;
    for (int i = 0; i < 16 * 256; ++i)
        every_value.append(static_cast<char>(i));
    QTest::newRow("4096 bytes of every value") << every_value;
}

void Tst_serial_channel::forwards_received_bytes()
{
    QFETCH(QByteArray, sent);

    channel = std::make_unique<Serial_port>();
    QVERIFY(channel->open_port(pty.slave_path(), line_rate));
    QSignalSpy chunks(channel.get(), &Serial_port::signal_serial_port_read);

    QVERIFY(pty.write_all(sent));
    QTRY_VERIFY_WITH_TIMEOUT(joined_chunks(chunks).size() >= sent.size(), arrival_timeout_ms);
    QCOMPARE(joined_chunks(chunks), sent);
    for (const QList<QVariant> &chunk : qAsConst(chunks))
        QVERIFY(!chunk.at(0).toByteArray().isEmpty());
}

void Tst_serial_channel::writes_one_frame_at_a_time()
{
    channel = std::make_unique<Serial_port>();
    QVERIFY(channel->open_port(pty.slave_path(), line_rate));
    const Frames frames = {control_frame(1), control_frame(2), control_frame(3)};

    for (const QByteArray &frame : frames)
        channel->send_msg(frame);
    QCOMPARE(collect(pty, frames[0].size()), frames[0]);
    QCOMPARE(collect_for(pty, quiet_ms), QByteArray());
    QVERIFY(channel->is_waiting_for_ack());
    QCOMPARE(channel->queued_count(), 2);

    for (int next = 1; next < frames.size(); ++next) {
        acknowledge(*channel);
        QCOMPARE(collect(pty, frames[next].size()), frames[next]);
    }
    acknowledge(*channel);
    QVERIFY(!channel->is_waiting_for_ack());

    // An acknowledgement with nothing outstanding changes nothing.
    acknowledge(*channel);
    QVERIFY(!channel->is_waiting_for_ack());
    QCOMPARE(collect_for(pty, quiet_ms), QByteArray());

    const QByteArray later = control_frame(4);
    channel->send_msg(later);
    QCOMPARE(collect(pty, later.size()), later);
}

void Tst_serial_channel::periodic_frame_data()
{
    QTest::addColumn<int>("pending"); // frames given to send_msg before the periodic one

    QTest::newRow("idle: written") << 0;
    QTest::newRow("one outstanding: dropped") << 1;
    QTest::newRow("one outstanding, one queued: dropped") << 2;
}

void Tst_serial_channel::periodic_frame()
{
    QFETCH(int, pending);

    channel = std::make_unique<Serial_port>();
    QVERIFY(channel->open_port(pty.slave_path(), line_rate));
    Frames frames;
    for (int i = 0; i < pending; ++i) {
        frames.append(control_frame(static_cast<uint8_t>(10 + i)));
        channel->send_msg(frames.last());
    }
    const QByteArray periodic = control_frame(0x3F);
    channel->send_monotone_msg(periodic);
    QCOMPARE(channel->queued_count(), qMax(pending - 1, 0));
    if (pending == 0) {
        frames.append(periodic);
        // Written, it holds the line like any other frame.
        frames.append(control_frame(0x2A));
        channel->send_msg(frames.last());
    }

    for (const QByteArray &frame : qAsConst(frames)) {
        QCOMPARE(collect(pty, frame.size()), frame);
        QCOMPARE(collect_for(pty, frame == frames.last() ? 0 : quiet_ms), QByteArray());
        acknowledge(*channel);
    }
    QVERIFY(!channel->is_waiting_for_ack());
    QCOMPARE(collect_for(pty, quiet_ms), QByteArray());
}

void Tst_serial_channel::timeout_releases_next_without_retry()
{
    channel = std::make_unique<Serial_port>();
    QVERIFY(channel->open_port(pty.slave_path(), line_rate));
    const Frames frames = {control_frame(1), control_frame(2), control_frame(3)};
    QTest::ignoreMessage(QtDebugMsg, "Velmar UART timeout");
    QTest::ignoreMessage(QtDebugMsg, "Velmar UART timeout");

    for (const QByteArray &frame : frames)
        channel->send_msg(frame);
    QCOMPARE(collect(pty, frames[0].size()), frames[0]);

    // Acknowledged half-way through its second: the next frame's time-out
    // must count from its own write, not from the first one.
    run_event_loop(ack_ms / 2);
    QElapsedTimer since_second_write;
    since_second_write.start();
    acknowledge(*channel);
    QCOMPARE(collect(pty, frames[1].size()), frames[1]);

    // No acknowledgement: the third frame goes out after the time-out.
    QCOMPARE(collect(pty, frames[2].size()), frames[2]);
    QVERIFY2(
        since_second_write.elapsed() >= ack_lower_bound_ms,
        qPrintable(QStringLiteral("third frame after %1 ms").arg(since_second_write.elapsed())));

    // It times out too; nothing is written again and the channel is idle.
    QElapsedTimer since_third_write;
    since_third_write.start();
    QTRY_VERIFY_WITH_TIMEOUT(!channel->is_waiting_for_ack(), arrival_timeout_ms);
    QVERIFY(since_third_write.elapsed() >= ack_lower_bound_ms - quiet_ms);
    QCOMPARE(collect_for(pty, quiet_ms), QByteArray());
    QCOMPARE(channel->queued_count(), 0);
}

void Tst_serial_channel::open_failure_data()
{
    QTest::addColumn<QString>("name");

    QTest::newRow("no such device") << QStringLiteral("/nonexistent/velmar-tty");
    QTest::newRow("not a terminal") << QStringLiteral("REGULAR_FILE");
}

void Tst_serial_channel::open_failure()
{
    QFETCH(QString, name);

    QTemporaryFile regular_file;
    if (name == QLatin1String("REGULAR_FILE")) {
        QVERIFY(regular_file.open());
        name = regular_file.fileName();
    }
    channel = std::make_unique<Serial_port>();
    QTest::ignoreMessage(QtDebugMsg, QRegularExpression(open_failure_pattern(name)));
    QVERIFY(!channel->open_port(name, line_rate));

    // The channel is still usable afterwards.
    QVERIFY(channel->open_port(pty.slave_path(), line_rate));
}

void Tst_serial_channel::window_opens_selected_port()
{
    start_window();
    QLabel *label = probe->ui().label_SerialPort_Ok;
    QCOMPARE(label->text(), QStringLiteral("--"));
    QCOMPARE(label->styleSheet(), QStringLiteral("color : grey"));

    select_port(pty.slave_path());
    QCOMPARE(label->text(), QStringLiteral("Ok"));
    QCOMPARE(label->styleSheet(), QStringLiteral("color : green"));
    QCOMPARE(line_speed(pty), static_cast<speed_t>(B115200));

    probe->packet_send();
    const QByteArray expected = probe->build_packet();
    QCOMPARE(collect(pty, expected.size()), expected);
}

void Tst_serial_channel::window_ack_in_status_frame_releases_next()
{
    start_window();
    select_port(pty.slave_path());
    const QByteArray first = control_frame(1);
    const QByteArray second = control_frame(2);
    probe->serial_port().send_msg(first);
    probe->serial_port().send_msg(second);
    QCOMPARE(collect(pty, first.size()), first);
    QCOMPARE(collect_for(pty, quiet_ms), QByteArray());

    // Version 1.0, no cage, bit 4 of byte 2: the unit took the frame.
    QVERIFY(pty.write_all(status_frame({0x10, 0x00, 0x10, 0x00})));
    QCOMPARE(collect(pty, second.size(), ack_lower_bound_ms), second);
}

void Tst_serial_channel::window_baud_change_keeps_port_open()
{
    start_window();
    select_port(pty.slave_path());
    QComboBox *rates = probe->ui().comboBox_BaudRate;
    const int slow = rates->findData(9600);
    QVERIFY(slow >= 0);
    QVERIFY(slow != rates->currentIndex());

    rates->setCurrentIndex(slow);
    QCOMPARE(line_speed(pty), static_cast<speed_t>(B9600));
    QCOMPARE(probe->ui().label_SerialPort_Ok->text(), QStringLiteral("Ok"));

    const QByteArray frame = control_frame(7);
    probe->serial_port().send_msg(frame);
    QCOMPARE(collect(pty, frame.size()), frame);
}

void Tst_serial_channel::window_unopenable_port_shows_fault()
{
    start_window();
    const QString missing = QStringLiteral("/nonexistent/velmar-tty");
    QTest::ignoreMessage(QtDebugMsg, QRegularExpression(open_failure_pattern(missing)));
    select_port(missing);

    QLabel *label = probe->ui().label_SerialPort_Ok;
    QCOMPARE(label->text(), QStringLiteral("Fault"));
    QCOMPARE(label->styleSheet(), QStringLiteral("color: red"));

    // The tool keeps running: the next selection opens.
    select_port(pty.slave_path());
    QCOMPARE(label->text(), QStringLiteral("Ok"));
}

void Tst_serial_channel::window_survives_lost_line()
{
    start_window();
    select_port(pty.slave_path());
    QLabel *label = probe->ui().label_SerialPort_Ok;
    QCOMPARE(label->text(), QStringLiteral("Ok"));
    QVERIFY(pty.write_all(status_frame({0x10, 0x00, 0x00, 0x00})));
    QTRY_VERIFY_WITH_TIMEOUT(probe->parcer().protocol_version == 0x10, arrival_timeout_ms);

    // The adapter is pulled: the master side goes away.
    QTest::ignoreMessage(QtDebugMsg, QRegularExpression(QStringLiteral("Serial port lost:")));
    pty.close();
    constexpr int window_ms = 1500;
    const double cpu_before = process_cpu_seconds();
    run_event_loop(window_ms);
    const double busy = (process_cpu_seconds() - cpu_before) / (window_ms / 1000.0);
    QVERIFY2(busy < 0.2, qPrintable(QStringLiteral("%1% of a core").arg(busy * 100, 0, 'f', 1)));

    QCOMPARE(label->text(), QStringLiteral("Fault"));
    QCOMPARE(label->styleSheet(), QStringLiteral("color: red"));

    // A new line selected by the operator works again.
    Pty_device replacement;
    QVERIFY(replacement.open());
    select_port(replacement.slave_path());
    QCOMPARE(label->text(), QStringLiteral("Ok"));
    const QByteArray frame = control_frame(9);
    probe->serial_port().send_msg(frame);
    QCOMPARE(collect(replacement, frame.size()), frame);
}

QTEST_MAIN(Tst_serial_channel)
#include "tst_serial_channel.moc"
