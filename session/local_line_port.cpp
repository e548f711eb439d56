#include "session/local_line_port.h"

#include "session/port_device.h"

#include <QtCore/QFileInfo>

Local_line_port::Local_line_port(const QString &name, QObject *parent) : Line_port(parent)
{
    port.setPortName(name);
    connect(&port, &QSerialPort::readyRead, this, [this] { Q_EMIT received(port.readAll()); });
    connect(&port, &QSerialPort::errorOccurred, this, &Local_line_port::on_error);
}

Local_line_port::~Local_line_port()
{
    port.close();
}

bool Local_line_port::open(qint32 baud_rate)
{
    port.close();
    port.setBaudRate(baud_rate, QSerialPort::AllDirections);
    if (!claim.take(Port_device::path(port.portName())))
        return false;
    if (!port.open(QIODevice::ReadWrite)) {
        claim.release();
        return false;
    }
    // A pseudo-terminal or a bridge keeps what the unit said while nobody
    // listened; taken now, it would pass for what the unit says now.
    port.clear(QSerialPort::Input);
    return true;
}

void Local_line_port::close()
{
    port.close();
    claim.release();
}

QString Local_line_port::error_string() const
{
    return claim.refusal().isEmpty() ? port.errorString() : claim.refusal();
}

QString Local_line_port::reason() const
{
    if (!claim.refusal().isEmpty())
        return claim.refusal();
    return Port_device::why_not_opened(port.portName(), port.error(), port.errorString());
}

bool Local_line_port::worth_trying() const
{
#ifdef Q_OS_UNIX
    // Qt writes a lock file through to the disk before it even looks for
    // the device: not once a second while the device is plainly absent.
    return QFileInfo::exists(Port_device::path(port.portName()));
#else
    return true;
#endif
}

void Local_line_port::set_baud_rate(qint32 baud_rate)
{
    port.setBaudRate(baud_rate, QSerialPort::AllDirections);
}

void Local_line_port::on_error(QSerialPort::SerialPortError error)
{
    // Either error on an open port means the device is gone. A hung-up tty
    // (adapter pulled, pty master closed) reads as end of file, which Qt
    // reports as a read error with a stale errno and keeps re-reporting on
    // every pass of the event loop until the port is closed.
    const bool gone = error == QSerialPort::ResourceError || error == QSerialPort::ReadError;
    if (!gone || !port.isOpen())
        return;
    const QString why = port.errorString();
    close();
    Q_EMIT lost(why);
}
