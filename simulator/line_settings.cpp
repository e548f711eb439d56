#include "simulator/line_settings.h"

#include <QtCore/QCoreApplication>

QString Line_settings::text() const
{
    const char *flows[] = {QT_TRANSLATE_NOOP("Line_settings", "no flow control"),
                           QT_TRANSLATE_NOOP("Line_settings", "hardware flow control"),
                           QT_TRANSLATE_NOOP("Line_settings", "XON/XOFF flow control")};
    return QStringLiteral("%1 %2%3%4, %5")
        .arg(baud_rate)
        .arg(data_bits)
        .arg(QLatin1Char(parity))
        .arg(stop_bits)
        .arg(QCoreApplication::translate("Line_settings", flows[static_cast<int>(flow)]));
}
