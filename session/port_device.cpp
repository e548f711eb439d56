#include "session/port_device.h"

#include "session/port_url.h"

#include <QtCore/QDir>
#include <QtCore/QFileInfo>

const QString &Port_device::by_id_directory()
{
    static const QString directory = QStringLiteral("/dev/serial/by-id");
    return directory;
}

bool Port_device::is_bare_name(const QString &port_name)
{
    return !port_name.startsWith(QLatin1Char('/')) && !port_name.startsWith(QLatin1String("./")) &&
           !port_name.startsWith(QLatin1String("../"));
}

QString Port_device::path(const QString &port_name)
{
    if (Port_url::is_url(port_name))
        return port_name;
#ifdef Q_OS_UNIX
    return is_bare_name(port_name) ? QStringLiteral("/dev/") + port_name : port_name;
#else
    return port_name;
#endif
}

QString Port_device::why_not_opened(const QString &port_name, QSerialPort::SerialPortError error,
                                    const QString &error_text)
{
    const QString device = path(port_name);
    const QFileInfo file(device);
#ifdef Q_OS_UNIX
    // A terminal ioctl refused (/dev/null), or a regular file or a directory.
    const bool not_serial = error == QSerialPort::UnsupportedOperationError ||
                            (file.exists() && (file.isFile() || file.isDir()));
    if (not_serial)
        return tr("not a serial device");
    // Qt says a permission error for a device another program has locked or
    // holds exclusively, as for one this user may not open.
    if (error == QSerialPort::PermissionError && file.isReadable() && file.isWritable())
        return tr("in use by another program");
    if (!file.exists() && is_bare_name(port_name) && QFileInfo::exists(port_name))
        return tr("%1 (a name without a slash is looked up under /dev; the file here is ./%2)")
            .arg(error_text, port_name);
#else
    Q_UNUSED(file)
    Q_UNUSED(error)
#endif
    return error_text;
}

QStringList Port_device::links_to(const QString &device_path, const QString &directory)
{
    const QString target = QFileInfo(device_path).canonicalFilePath();
    QStringList links;
    if (target.isEmpty())
        return links;
    const QFileInfoList entries =
        QDir(directory).entryInfoList(QDir::System | QDir::Files | QDir::NoDotAndDotDot);
    for (const QFileInfo &entry : entries) {
        if (entry.isSymLink() && entry.canonicalFilePath() == target)
            links.append(entry.absoluteFilePath());
    }
    links.sort();
    return links;
}
