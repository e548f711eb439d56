#ifndef VELMAR_SESSION_PORT_DEVICE_H
#define VELMAR_SESSION_PORT_DEVICE_H

#include <QtCore/QCoreApplication>
#include <QtCore/QString>
#include <QtCore/QStringList>
#include <QtSerialPort/QSerialPort>

// The device file behind a port name, as a person needs it named: the path
// actually tried, why it would not open, and the stable links that lead to it.
class Port_device
{
    Q_DECLARE_TR_FUNCTIONS(Port_device)

public:
    // Where udev keeps one link per adapter, named after its maker and serial number.
    static const QString &by_id_directory();

    // The file Qt opens for a port name: on Unix a name as Qt lists ports
    // ("ttyUSB0") is under /dev, and anything that looks like a path, or a
    // URL of a port across the network, is taken as it is.
    static QString path(const QString &port_name);

    // Why a port that failed to open did so, in words an operator acts on:
    // "not a serial device", "in use by another program", or the system's own
    // text. A bare name that is not under /dev but is a file here says how
    // to name that file.
    static QString why_not_opened(const QString &port_name, QSerialPort::SerialPortError error,
                                  const QString &error_text);

    // The links in directory that lead to the device at device_path, sorted.
    static QStringList links_to(const QString &device_path,
                                const QString &directory = by_id_directory());

private:
    static bool is_bare_name(const QString &port_name);
};

#endif
