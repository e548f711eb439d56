#include "simulator/unit_simulator.h"

#include "simulator/sim_command.h"

#include <QtCore/QFile>
#include <QtCore/QSocketNotifier>

#include <algorithm>

#include <unistd.h>

Unit_simulator::Unit_simulator(QObject *parent) : QObject(parent)
{
    clock.start();
    pace_timer.setTimerType(Qt::PreciseTimer);
    pace_timer.setSingleShot(true);
    connect(&pace_timer, &QTimer::timeout, this, &Unit_simulator::on_pace_tick);
    silence_timer.setSingleShot(true);
    connect(&silence_timer, &QTimer::timeout, this, &Unit_simulator::restart_pacing);
    replug_timer.setSingleShot(true);
    connect(&replug_timer, &QTimer::timeout, this, &Unit_simulator::replug);
}

Unit_simulator::~Unit_simulator()
{
    stop();
}

bool Unit_simulator::start_on_pty()
{
    stop();
    if (!pty.open()) {
        error_text = tr("cannot create a pseudo-terminal: %1").arg(pty.error_string());
        return false;
    }
    port_path = pty.slave_path();
    read_notifier = new QSocketNotifier(pty.fd(), QSocketNotifier::Read, this);
    connect(read_notifier, &QSocketNotifier::activated, this, &Unit_simulator::on_pty_readable);
    write_notifier = new QSocketNotifier(pty.fd(), QSocketNotifier::Write, this);
    write_notifier->setEnabled(false);
    connect(write_notifier, &QSocketNotifier::activated, this, &Unit_simulator::on_pty_writable);
    update_link();
    start_sending();
    return true;
}

void Unit_simulator::set_link_path(const QString &path)
{
    link_path = path;
    update_link();
}

void Unit_simulator::update_link()
{
    if (link_path.isEmpty() || !pty.is_open())
        return;
    // Made beside the link and renamed over it, so that the link is never
    // missing or half made for whoever opens it.
    const QByteArray link = QFile::encodeName(link_path);
    const QByteArray fresh = link + ".new";
    ::unlink(fresh.constData());
    if (::symlink(QFile::encodeName(pty.slave_path()).constData(), fresh.constData()) != 0 ||
        ::rename(fresh.constData(), link.constData()) != 0)
        emit log_line(tr("cannot point %1 at %2").arg(link_path, pty.slave_path()));
}

bool Unit_simulator::unplug(int ms)
{
    if (serial != nullptr || !pty.is_open())
        return false;
    stop();
    replug_timer.start(ms);
    return true;
}

void Unit_simulator::replug()
{
    if (start_on_pty())
        emit line_replugged(port_path);
    else
        emit line_failed(error_text);
}

bool Unit_simulator::start_on_device(const QString &path, qint32 baud)
{
    stop();
    if (baud <= 0) {
        error_text = tr("bad baud rate %1").arg(baud);
        return false;
    }
    serial = new QSerialPort(this);
    serial->setPortName(path);
    const bool configured = serial->setBaudRate(baud) && serial->setDataBits(QSerialPort::Data8) &&
                            serial->setParity(QSerialPort::NoParity) &&
                            serial->setStopBits(QSerialPort::OneStop) &&
                            serial->setFlowControl(QSerialPort::NoFlowControl);
    if (!configured || !serial->open(QIODevice::ReadWrite)) {
        error_text = tr("cannot open %1: %2").arg(path, serial->errorString());
        delete serial;
        serial = nullptr;
        return false;
    }
    port_path = path;
    connect(serial, &QSerialPort::readyRead, this,
            [this]() { handle_received(serial->readAll()); });
    connect(serial, &QSerialPort::bytesWritten, this, [this]() {
        if (engine.settings().rate == Sim_settings::as_fast_as_possible)
            fill_line();
    });
    connect(serial, &QSerialPort::errorOccurred, this, &Unit_simulator::on_serial_error);
    start_sending();
    return true;
}

void Unit_simulator::start_sending()
{
    running = true;
    error_text.clear();
    restart_pacing();
}

void Unit_simulator::stop()
{
    running = false;
    pace_timer.stop();
    replug_timer.stop();
    // A silence outlasts a stop: one commanded before the start (--set
    // "silence MS") holds the start back, and one running at an unplug goes
    // on past the replug.
    delete read_notifier;
    read_notifier = nullptr;
    delete write_notifier;
    write_notifier = nullptr;
    // A pulled adapter takes its by-id link with it. Left behind, the link
    // would name the closed pseudo-terminal, whose number the next one made
    // on the machine takes, by whatever program: the tool would open that.
    if (pty.is_open() && !link_path.isEmpty())
        QFile::remove(link_path);
    pty.close();
    if (serial != nullptr) {
        serial->disconnect(this);
        serial->close();
        serial->deleteLater();
        serial = nullptr;
    }
    pending.clear();
    port_path.clear();
}

bool Unit_simulator::execute(const QString &command, QString *reply)
{
    const Sim_command parsed = Sim_command::parse(command);
    QString text;
    bool done = parsed.is_valid();
    if (!done)
        text = parsed.error();
    switch (parsed.action()) {
    case Sim_command::Action::nothing:
        break;
    case Sim_command::Action::assign:
        parsed.apply(engine.state(), engine.settings());
        if (engine.settings().rate != paced_rate)
            restart_pacing();
        break;
    case Sim_command::Action::silence:
        silence(parsed.silence_ms());
        break;
    case Sim_command::Action::unplug:
        if (!unplug(parsed.silence_ms())) {
            text = tr("unplug: works on a pseudo-terminal only");
            done = false;
        }
        break;
    case Sim_command::Action::show:
        text = Sim_command::describe(engine.state(), engine.settings()).join(QLatin1Char('\n'));
        break;
    case Sim_command::Action::line:
        text = line_settings().text();
        break;
    case Sim_command::Action::reset:
        engine.state() = healthy_unit();
        break;
    case Sim_command::Action::help:
        text = Sim_command::help_text();
        break;
    case Sim_command::Action::quit:
        emit quit_requested();
        break;
    }
    if (reply != nullptr)
        *reply = text;
    return done;
}

Line_settings Unit_simulator::line_settings() const
{
    if (serial == nullptr)
        return pty.line_settings();
    // A device is set by this side: 8N1 without flow control, at its rate.
    Line_settings line;
    line.baud_rate = serial->baudRate();
    return line;
}

void Unit_simulator::silence(int ms)
{
    pace_timer.stop();
    silence_timer.start(ms);
}

void Unit_simulator::restart_pacing()
{
    pace_timer.stop();
    paced_rate = engine.settings().rate;
    if (!running || is_silent())
        return;
    if (paced_rate == Sim_settings::as_fast_as_possible) {
        schedule_fill();
        return;
    }
    pace_origin_ns = clock.nsecsElapsed();
    paced_frames = 0;
    schedule_pace_tick();
}

// Each tick sends every frame that fell due since the schedule began and has
// not gone yet, so the average rate holds although the timer counts whole
// milliseconds and wakes late on a busy machine.
void Unit_simulator::on_pace_tick()
{
    if (engine.settings().rate != paced_rate) {
        restart_pacing();
        return;
    }
    drop_stale_line();
    const qint64 owed = frames_due(clock.nsecsElapsed() - pace_origin_ns) - paced_frames;
    const qint64 burst = std::min(owed, catch_up_limit());
    const bool stalled = owed > burst;
    if (stalled) {
        // A stopped process or a line that took nothing for long is not made
        // up in one flood: the rest is lost and a new schedule starts now.
        pace_origin_ns = clock.nsecsElapsed();
        paced_frames = 0;
    }
    // A slot of status_frame_sent may stop, silence or re-pace the unit.
    const auto pacing = [this]() {
        return running && !is_silent() && engine.settings().rate == paced_rate;
    };
    for (qint64 i = 0; i < burst && pacing() && bytes_waiting() < paced_backlog_limit(); ++i) {
        transmit_one();
        if (!stalled)
            ++paced_frames;
    }
    if (pacing())
        schedule_pace_tick();
}

void Unit_simulator::schedule_pace_tick()
{
    // When the next frame of the schedule falls due, rounded up to the
    // timer's whole milliseconds; at least a millisecond, for fast rates.
    const qint64 next = paced_frames + 1;
    const qint64 due_ns = next / paced_rate * ns_per_second +
                          (next % paced_rate * ns_per_second + paced_rate - 1) / paced_rate;
    const qint64 wait_ns = due_ns - (clock.nsecsElapsed() - pace_origin_ns);
    const qint64 wait_ms = std::max<qint64>(1, (wait_ns + ns_per_ms - 1) / ns_per_ms);
    pace_timer.start(static_cast<int>(wait_ms));
}

qint64 Unit_simulator::frames_due(qint64 since_origin_ns) const
{
    // In two parts, so that the product cannot overflow on a run of days.
    return since_origin_ns / ns_per_second * paced_rate +
           since_origin_ns % ns_per_second * paced_rate / ns_per_second;
}

qint64 Unit_simulator::catch_up_limit() const
{
    return std::max<qint64>(1, paced_rate / catch_up_divisor);
}

qint64 Unit_simulator::paced_backlog_limit() const
{
    // Room for a catch-up burst; beyond that a rate the line cannot carry
    // does not queue without end but goes out as fast as the line takes it.
    const qint64 frame_bytes = engine.last_frame().size() + engine.settings().noise_bytes;
    return std::max(serial_backlog_limit, catch_up_limit() * frame_bytes);
}

void Unit_simulator::drop_stale_line()
{
    // Nobody reading the pty: drop what piled up, so whoever opens it next
    // sees the unit as it is now and not seconds ago. At a fast rate a live
    // reader that wakes late also lets bytes pile up, hence the grace.
    if (!pty.is_open() || pty.unread_by_slave() <= stale_limit) {
        stale_clock.invalidate();
        return;
    }
    if (!stale_clock.isValid()) {
        stale_clock.start();
    } else if (stale_clock.hasExpired(stale_grace_ms)) {
        pty.discard_unread();
        stale_clock.invalidate();
    }
}

void Unit_simulator::fill_line()
{
    fill_scheduled = false;
    if (!running || is_silent())
        return;
    if (engine.settings().rate != Sim_settings::as_fast_as_possible) {
        restart_pacing();
        return;
    }
    // A bounded batch per pass keeps the event loop, and so commands and
    // control frames, moving while the line is flooded.
    for (int i = 0; i < frames_per_fill && line_has_room(); ++i)
        transmit_one();
    if (line_has_room())
        schedule_fill();
}

void Unit_simulator::schedule_fill()
{
    if (fill_scheduled)
        return;
    fill_scheduled = true;
    QTimer::singleShot(0, this, &Unit_simulator::fill_line);
}

bool Unit_simulator::line_has_room() const
{
    if (serial != nullptr)
        return serial->bytesToWrite() < serial_backlog_limit;
    return pending.isEmpty();
}

qint64 Unit_simulator::bytes_waiting() const
{
    return serial != nullptr ? serial->bytesToWrite() : pending.size();
}

void Unit_simulator::transmit_one()
{
    const QByteArray bytes = engine.next_transmission(now());
    ++sent;
    if (serial != nullptr) {
        serial->write(bytes);
    } else {
        pending.append(bytes);
        flush_pending();
    }
    emit status_frame_sent(engine.last_frame());
}

void Unit_simulator::flush_pending()
{
    while (!pending.isEmpty()) {
        const qint64 written = pty.write_some(pending.constData(), pending.size());
        if (written <= 0)
            break;
        pending.remove(0, static_cast<int>(written));
    }
    if (write_notifier != nullptr)
        write_notifier->setEnabled(!pending.isEmpty());
}

void Unit_simulator::on_pty_readable()
{
    const QByteArray bytes = pty.read_available(0);
    if (!bytes.isEmpty())
        handle_received(bytes);
}

void Unit_simulator::on_pty_writable()
{
    flush_pending();
    if (pending.isEmpty() && engine.settings().rate == Sim_settings::as_fast_as_possible)
        fill_line();
}

void Unit_simulator::on_serial_error(QSerialPort::SerialPortError error)
{
    if (error != QSerialPort::ResourceError)
        return;
    const QString text = tr("lost %1: %2").arg(port_path, serial->errorString());
    stop();
    error_text = text;
    emit line_failed(text);
}

void Unit_simulator::handle_received(const QByteArray &bytes)
{
    for (const Unit_engine::Control_report &report : engine.receive(bytes, now())) {
        ++received;
        if (!report.crc_ok)
            ++rejected;
        emit log_line(Unit_engine::describe(report));
        emit control_frame_received(report.values.gain_codes[0], report.values.gain_codes[1],
                                    report.values.threshold_dbm, report.crc_ok);
    }
}
