#ifndef VELMAR_SIMULATOR_UNIT_SIMULATOR_H
#define VELMAR_SIMULATOR_UNIT_SIMULATOR_H

#include "simulator/pty_device.h"
#include "simulator/unit_engine.h"

#include <QtCore/QByteArray>
#include <QtCore/QElapsedTimer>
#include <QtCore/QObject>
#include <QtCore/QString>
#include <QtCore/QTimer>
#include <QtSerialPort/QSerialPort>

class QSocketNotifier;

// A simulated unit on a serial line, on the caller's event loop. It sends
// status frames at a steady rate, reads control frames, applies their gains
// and threshold to its own state and acknowledges each good one in its next
// status frame.
//
// In a test:
//
//     Unit_simulator unit;
//     unit.settings().drift = false;          // exact powers and temperatures
//     QVERIFY(unit.start_on_pty());
//     port.setPortName(unit.slave_path());     // what the tool opens
//     unit.state().cages[Unit_status::sfp_2].type = Unit_status::Cage_type::video;
//     unit.execute(QStringLiteral("set sfp1.power1 -30.5"));
//     QSignalSpy controls(&unit, &Unit_simulator::control_frame_received);
//
// Changes to state() and settings() show in the next status frame. The
// defaults are a healthy 2.0 unit at ten frames a second with drift on.
class Unit_simulator : public QObject
{
    Q_OBJECT

public:
    explicit Unit_simulator(QObject *parent = nullptr);
    ~Unit_simulator() override;

    // Creates a pseudo-terminal and starts sending; the tool opens slave_path().
    bool start_on_pty();
    // Keeps a symbolic link at path pointing at the pseudo-terminal while
    // there is one, as /dev/serial/by-id/... points at an adapter plugged in.
    void set_link_path(const QString &path);
    // Drives a real serial device at the given rate, 8N1, no flow control.
    bool start_on_device(const QString &path, qint32 baud);
    void stop();
    bool is_running() const { return running; }
    // The port for the other end: the pty's slave or the device itself.
    QString slave_path() const { return port_path; }
    QString error_string() const { return error_text; }

    // The line as the other end set it (a real device: as this side did).
    Line_settings line_settings() const;

    Unit_status &state() { return engine.state(); }
    Sim_settings &settings() { return engine.settings(); }
    void seed(uint32_t value) { engine.seed(value); }

    // Runs one command of the Sim_command language. Returns false with the
    // error in *reply for a bad command; `show` and `help` put their text there.
    bool execute(const QString &command, QString *reply = nullptr);
    // Sends nothing for ms milliseconds; control frames are still read.
    void silence(int ms);
    // Takes the pseudo-terminal away (the other end sees the port lost) with
    // its link, and offers a new one ms milliseconds later. False on a real
    // device.
    bool unplug(int ms);
    bool is_silent() const { return silence_timer.isActive(); }

    qint64 frames_sent() const { return sent; }
    qint64 control_frames_received() const { return received; }
    qint64 control_frames_rejected() const { return rejected; }

signals:
    // Every status frame handed to the line (noise not included).
    void status_frame_sent(const QByteArray &frame);
    // Every completed control frame, good CRC or not. The values are those the
    // frame carries (0 when its payload is not a control payload).
    void control_frame_received(int gain_code_0, int gain_code_1, int threshold_dbm, bool crc_ok);
    // A line for a person about each control frame.
    void log_line(const QString &line);
    void quit_requested();
    // The device went away (a pulled adapter); the simulator has stopped.
    void line_failed(const QString &error);
    // A new pseudo-terminal after an unplug.
    void line_replugged(const QString &path);

private:
    static constexpr qint64 ns_per_second = 1000000000;
    static constexpr qint64 ns_per_ms = 1000000;
    static constexpr int frames_per_fill = 64;
    static constexpr qint64 serial_backlog_limit = 256;
    static constexpr int stale_limit = 2048;
    static constexpr int stale_grace_ms = 250;
    // After a stall the schedule catches up at most 1 / catch_up_divisor s.
    static constexpr int catch_up_divisor = 4;

    void start_sending();
    void restart_pacing();
    void on_pace_tick();
    void schedule_pace_tick();
    qint64 frames_due(qint64 since_origin_ns) const;
    qint64 catch_up_limit() const;
    qint64 paced_backlog_limit() const;
    void drop_stale_line();
    void fill_line();
    void schedule_fill();
    void transmit_one();
    bool line_has_room() const;
    qint64 bytes_waiting() const;
    void flush_pending();
    void on_pty_readable();
    void on_pty_writable();
    void on_serial_error(QSerialPort::SerialPortError error);
    void handle_received(const QByteArray &bytes);
    void update_link();
    void replug();
    qint64 now() const { return clock.elapsed(); }

    Unit_engine engine;
    Pty_device pty;
    QSerialPort *serial = nullptr;
    QSocketNotifier *read_notifier = nullptr;
    QSocketNotifier *write_notifier = nullptr;
    QTimer pace_timer;
    QTimer silence_timer;
    QTimer replug_timer;
    QString link_path;
    QElapsedTimer clock;
    QElapsedTimer stale_clock; // since the reader last fell behind
    QByteArray pending;
    QString port_path;
    QString error_text;
    bool running = false;
    bool fill_scheduled = false;
    int paced_rate = 0;
    qint64 pace_origin_ns = 0; // frame n of the schedule is due n / rate s after this
    qint64 paced_frames = 0;   // frames of the schedule sent
    qint64 sent = 0;
    qint64 received = 0;
    qint64 rejected = 0;
};

#endif
