#include "session/serial_channel.h"

#include "session/port_device.h"

#include <QtCore/QDebug>
#include <QtCore/QFileInfo>

Serial_channel::Serial_channel(int ack_timeout_ms, int reopen_ms, QObject *parent)
    : QObject(parent), port(new QSerialPort(this)), ack_timer(new QTimer(this)),
      reopen_timer(new QTimer(this)), ack_timeout_ms(ack_timeout_ms)
{
    reopen_timer->setInterval(reopen_ms);
    connect(port, &QSerialPort::readyRead, this, &Serial_channel::read_available);
    connect(port, &QSerialPort::errorOccurred, this, &Serial_channel::on_port_error);
    ack_timer->setSingleShot(true);
    connect(ack_timer, &QTimer::timeout, this, &Serial_channel::on_ack_timeout);
    connect(reopen_timer, &QTimer::timeout, this, &Serial_channel::try_reopen);
}

Serial_channel::~Serial_channel()
{
    // Frames still queued go with the channel, unsent.
    port->close();
}

bool Serial_channel::open(const Port_settings &settings)
{
    reopen_timer->stop();
    port->setPortName(settings.name);
    port->setBaudRate(settings.baud_rate, QSerialPort::AllDirections);
    port->close();
    if (open_port())
        return true;
    qDebug() << settings.name << "Failed to open port:"
             << (claim.refusal().isEmpty() ? port->errorString() : claim.refusal());
    return false;
}

bool Serial_channel::open_or_keep_trying(const Port_settings &settings)
{
    if (open(settings))
        return true;
    reopen_timer->start();
    return false;
}

bool Serial_channel::open_port()
{
    // Qt's lock file is kept by name: another of this project's programs may
    // hold the device under another one.
    if (!claim.take(Port_device::path(port->portName())))
        return false;
    if (!port->open(QIODevice::ReadWrite)) {
        claim.release();
        return false;
    }
    // A pseudo-terminal or a bridge keeps what the unit said while nobody
    // listened; taken now, it would pass for what the unit says now.
    port->clear(QSerialPort::Input);
    return true;
}

void Serial_channel::close()
{
    reopen_timer->stop();
    port->close();
    claim.release();
}

bool Serial_channel::is_open() const
{
    return port->isOpen();
}

QString Serial_channel::error_string() const
{
    if (!claim.refusal().isEmpty())
        return claim.refusal();
    return Port_device::why_not_opened(port->portName(), port->error(), port->errorString());
}

void Serial_channel::set_baud_rate(qint32 baud_rate)
{
    port->setBaudRate(baud_rate, QSerialPort::AllDirections);
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
    if (port->isOpen() && port->write(frame) == frame.size())
        Q_EMIT frame_written(frame);
    ack_timer->start(ack_timeout_ms);
}

void Serial_channel::read_available()
{
    Q_EMIT bytes_read(port->readAll());
}

void Serial_channel::on_ack_timeout()
{
    // Not retried: the next refresh carries the same values anyway.
    qDebug() << "Velmar UART timeout";
    waiting_for_ack = false;
    Q_EMIT ack_timed_out();
    send_next();
}

void Serial_channel::on_port_error(QSerialPort::SerialPortError error)
{
    // Either error on an open port means the device is gone. A hung-up tty
    // (adapter pulled, pty master closed) reads as end of file, which Qt
    // reports as a read error with a stale errno and keeps re-reporting on
    // every pass of the event loop until the port is closed.
    const bool gone = error == QSerialPort::ResourceError || error == QSerialPort::ReadError;
    if (!gone || !port->isOpen())
        return;
    const QString reason = port->errorString();
    qDebug() << port->portName() << "Serial port lost:" << reason;
    port->close();
    claim.release();
    reopen_timer->start();
    Q_EMIT port_lost(reason);
}

// Neither the receiver nor the frame in flight is touched: a frame cut by
// the loss fails its CRC, and an unanswered control frame times out as usual.
void Serial_channel::try_reopen()
{
#ifdef Q_OS_UNIX
    // Qt writes a lock file through to the disk before it even looks for
    // the device: not once a second while the device is plainly absent.
    if (!QFileInfo::exists(Port_device::path(port->portName())))
        return;
#endif
    if (!open_port())
        return;
    reopen_timer->stop();
    qDebug() << port->portName() << "Serial port reopened";
    Q_EMIT port_reopened();
}
