#include "session/serial_channel.h"

#include "session/line_port.h"
#include "session/local_line_port.h"
#include "session/port_url.h"
#include "session/rfc2217_line_port.h"
#include "session/tcp_line_port.h"

#include <QtCore/QDebug>
#include <QtCore/QRandomGenerator>

namespace {

Session_timing with_intervals(int ack_timeout_ms, int reopen_ms)
{
    Session_timing timing;
    timing.ack_timeout_ms = ack_timeout_ms;
    timing.reopen_ms = reopen_ms;
    return timing;
}

} // namespace

Serial_channel::Serial_channel(int ack_timeout_ms, int reopen_ms, QObject *parent)
    : Serial_channel(with_intervals(ack_timeout_ms, reopen_ms), parent)
{
}

Serial_channel::Serial_channel(const Session_timing &timing, QObject *parent)
    : QObject(parent), ack_timer(new QTimer(this)), reopen_timer(new QTimer(this)), timing(timing),
      backoff(timing.reopen_ms, timing.reconnect_max_ms, QRandomGenerator::global()->generate())
{
    reopen_timer->setSingleShot(true);
    ack_timer->setSingleShot(true);
    connect(ack_timer, &QTimer::timeout, this, &Serial_channel::on_ack_timeout);
    connect(reopen_timer, &QTimer::timeout, this, &Serial_channel::try_reopen);
}

Serial_channel::~Serial_channel()
{
    // Frames still queued go with the channel, unsent.
    if (port)
        port->close();
}

bool Serial_channel::use_port(const QString &name)
{
    if (port && port_name == name)
        return true;
    port.reset();
    port_name = name;
    Port_url url;
    if (Port_url::is_url(name) && !Port_url::parse(name, &url, &url_error))
        return false;
    if (!Port_url::is_url(name))
        port = std::make_unique<Local_line_port>(name);
    else if (url.kind == Port_url::Kind::rfc2217)
        port = std::make_unique<Rfc2217_line_port>(url, timing.connect_timeout_ms,
                                                   timing.answer_timeout_ms);
    else
        port = std::make_unique<Tcp_line_port>(url, timing.connect_timeout_ms);
    connect(port.get(), &Line_port::received, this, &Serial_channel::bytes_read);
    connect(port.get(), &Line_port::opened, this, &Serial_channel::on_opened);
    connect(port.get(), &Line_port::open_failed, this, &Serial_channel::on_open_failed);
    connect(port.get(), &Line_port::lost, this, &Serial_channel::on_lost);
    return true;
}

bool Serial_channel::open(const Port_settings &settings)
{
    reopen_timer->stop();
    baud_rate = settings.baud_rate;
    if (!use_port(settings.name)) {
        qDebug() << settings.name << "Failed to open port:" << url_error;
        return false;
    }
    port->close();
    backoff.reset();
    first_attempt = true;
    if (!open_port()) {
        first_attempt = false;
        qDebug() << settings.name << "Failed to open port:" << port->error_string();
        return false;
    }
    if (port->is_open()) {
        first_attempt = false;
        Q_EMIT port_opened();
    }
    return true;
}

bool Serial_channel::open_or_keep_trying(const Port_settings &settings)
{
    if (open(settings))
        return true;
    if (port)
        schedule_reopen();
    return false;
}

bool Serial_channel::open_port()
{
    return port->open(baud_rate);
}

void Serial_channel::close()
{
    reopen_timer->stop();
    first_attempt = false;
    if (port)
        port->close();
}

bool Serial_channel::is_open() const
{
    return port && port->is_open();
}

QString Serial_channel::error_string() const
{
    return port ? port->reason() : url_error;
}

void Serial_channel::set_baud_rate(qint32 rate)
{
    baud_rate = rate;
    if (port)
        port->set_baud_rate(rate);
}

void Serial_channel::send(const QByteArray &frame)
{
    queue.append(frame);
    if (!waiting_for_ack)
        send_next();
}

void Serial_channel::send_if_idle(const QByteArray &frame)
{
    if (!queue.isEmpty() || waiting_for_ack)
        return;
    queue.append(frame);
    send_next();
}

void Serial_channel::acknowledge()
{
    // An acknowledgement while nothing is in flight changes nothing; one that
    // comes after a time-out is taken for the frame written since.
    ack_timer->stop();
    waiting_for_ack = false;
    send_next();
}

void Serial_channel::send_next()
{
    if (queue.isEmpty())
        return;
    waiting_for_ack = true;
    // A frame for a closed port goes nowhere and ends by its time-out, like
    // any unanswered one.
    const QByteArray frame = queue.takeFirst();
    if (is_open() && port->write(frame) == frame.size())
        Q_EMIT frame_written(frame);
    ack_timer->start(timing.ack_timeout_ms);
}

void Serial_channel::on_ack_timeout()
{
    // Not retried: the next refresh carries the same values anyway.
    qDebug() << "Velmar UART timeout";
    waiting_for_ack = false;
    Q_EMIT ack_timed_out();
    send_next();
}

void Serial_channel::on_lost(const QString &error)
{
    qDebug() << port->name() << "Serial port lost:" << error;
    first_attempt = false;
    schedule_reopen();
    Q_EMIT port_lost(error);
}

void Serial_channel::on_opened()
{
    backoff.reset();
    if (first_attempt) {
        first_attempt = false;
        Q_EMIT port_opened();
        return;
    }
    qDebug() << port->name() << "Serial port reopened";
    Q_EMIT port_reopened();
}

void Serial_channel::on_open_failed(const QString &error)
{
    schedule_reopen();
    if (!first_attempt)
        return;
    first_attempt = false;
    qDebug() << port->name() << "Failed to open port:" << error;
    Q_EMIT open_failed(error);
}

void Serial_channel::schedule_reopen()
{
    reopen_timer->start(port->backs_off() ? backoff.next_ms() : timing.reopen_ms);
}

// Neither the receiver nor the frame in flight is touched: a frame cut by
// the loss fails its CRC, and an unanswered control frame times out as usual.
void Serial_channel::try_reopen()
{
    if (!port->worth_trying() || !open_port()) {
        schedule_reopen();
        return;
    }
    // Across the network the outcome comes later: on_opened or on_open_failed.
    if (!port->is_open())
        return;
    qDebug() << port->name() << "Serial port reopened";
    Q_EMIT port_reopened();
}
