#ifndef VELMAR_SESSION_PORT_SETTINGS_H
#define VELMAR_SESSION_PORT_SETTINGS_H

#include <QtCore/QString>
#include <QtCore/QtGlobal>

// Which device to open and at what rate. The unit's other line settings are
// fixed: 8 data bits, no parity, one stop bit, no flow control.
struct Port_settings
{
    static constexpr qint32 default_baud_rate = 115200;

    QString name; // a name Qt lists ("ttyUSB0") or any device path
    qint32 baud_rate = default_baud_rate;
};

#endif
