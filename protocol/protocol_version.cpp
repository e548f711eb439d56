#include "protocol/protocol_version.h"

QString Protocol_version::dotted(uint8_t version)
{
    return QStringLiteral("%1.%2").arg(major(version)).arg(minor(version));
}

QString Protocol_version::raw(uint8_t version)
{
    return QStringLiteral("0x%1").arg(version, 2, 16, QLatin1Char('0'));
}
