#include "link/serial_port.h"

#include <QtCore/QDebug>

Serial_port::Serial_port() : QObject(nullptr)
{
    port = new QSerialPort();
    connect(port, &QSerialPort::readyRead, this, &Serial_port::serial_read);
    ack_timer.setSingleShot(true);
    connect(&ack_timer, &QTimer::timeout, this, &Serial_port::serial_port_timeout);
    wait_ack = false;
    connect(port, &QSerialPort::errorOccurred, this, &Serial_port::port_error);
}

Serial_port::~Serial_port()
{
    port->close();
    delete port;
}

bool Serial_port::open_port(const QString &name, int baud_rate)
{
    port->setPortName(name);
    port->setBaudRate(baud_rate, QSerialPort::AllDirections);
    port->close();
    if (port->open(QIODevice::ReadWrite))
        return true;
    qDebug() << name << "Failed to open port:" << port->errorString();
    return false;
}

void Serial_port::close_port()
{
    port->close();
}

void Serial_port::set_baud_rate(int baud_rate)
{
    port->setBaudRate(baud_rate, QSerialPort::AllDirections);
}

void Serial_port::send_msg(const QByteArray &packet)
{
    tx_queue.append(packet);
    if (!wait_ack)
        send_next_msg();
}

void Serial_port::send_monotone_msg(const QByteArray &packet)
{
    // The refresh repeats the current settings anyway, so it never waits in
    // the queue behind a frame that matters.
    if (tx_queue.isEmpty() && !wait_ack) {
        tx_queue.append(packet);
        send_next_msg();
    }
}

void Serial_port::send_next_msg()
{
    if (tx_queue.isEmpty())
        return;
    wait_ack = true;
    const QByteArray packet = tx_queue.takeFirst();
    port->write(packet);
    ack_timer.start(ack_timeout_ms);
}

void Serial_port::serial_read()
{
    Q_EMIT signal_serial_port_read(port->readAll());
}

void Serial_port::ack_recieved_and_send_new_msg()
{
    ack_timer.stop();
    wait_ack = false;
    send_next_msg();
}

void Serial_port::serial_port_timeout()
{
    qDebug() << "Velmar UART timeout";
    wait_ack = false;
    send_next_msg();
}

void Serial_port::port_error(QSerialPort::SerialPortError error)
{
    // Either error on an open port means the device is gone. A hung-up tty
    // (adapter pulled, pty master closed) reads as end of file, which Qt
    // reports as a read error with a stale errno and keeps re-reporting on
    // every pass of the event loop until the port is closed.
    const bool gone = error == QSerialPort::ResourceError || error == QSerialPort::ReadError;
    if (!gone || !port->isOpen())
        return;
    qDebug() << port->portName() << "Serial port lost:" << port->errorString();
    port->close();
    Q_EMIT signal_port_lost();
}
