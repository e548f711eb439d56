#ifndef VELMAR_SESSION_LOCAL_LINE_PORT_H
#define VELMAR_SESSION_LOCAL_LINE_PORT_H

#include "session/device_claim.h"
#include "session/line_port.h"

#include <QtSerialPort/QSerialPort>

// A serial device on this machine: an adapter, a built-in port or a
// pseudo-terminal, 8 data bits, no parity, one stop bit, no flow control.
class Local_line_port : public Line_port
{
    Q_OBJECT

public:
    explicit Local_line_port(const QString &name, QObject *parent = nullptr);
    ~Local_line_port() override;

    QString name() const override { return port.portName(); }
    bool open(qint32 baud_rate) override;
    void close() override;
    bool is_open() const override { return port.isOpen(); }
    QString error_string() const override;
    QString reason() const override;
    bool worth_trying() const override;
    void set_baud_rate(qint32 baud_rate) override;
    qint64 write(const QByteArray &bytes) override { return port.write(bytes); }

private:
    void on_error(QSerialPort::SerialPortError error);

    QSerialPort port;
    // Qt's lock file is kept by name: another of this project's programs may
    // hold the device under another one.
    Device_claim claim;
};

#endif
