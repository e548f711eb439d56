#include "exporter/listen_address.h"

#include <arpa/inet.h>
#include <netinet/in.h>

namespace {

constexpr quint16 highest_port = 65535;

bool is_numeric(const QString &host, int family)
{
    unsigned char address[sizeof(in6_addr)];
    return inet_pton(family, host.toLatin1().constData(), address) == 1;
}

} // namespace

bool Listen_address::parse(const QString &text, Listen_address *address, QString *error)
{
    const int colon = text.lastIndexOf(QLatin1Char(':'));
    Listen_address parsed;
    QString host = text.left(colon);
    parsed.ipv6 = host.startsWith(QLatin1Char('[')) && host.endsWith(QLatin1Char(']'));
    if (parsed.ipv6)
        host = host.mid(1, host.size() - 2);
    const bool host_ok =
        colon > 0 && (parsed.ipv6 ? is_numeric(host, AF_INET6) : is_numeric(host, AF_INET));
    if (!host_ok) {
        *error = tr("expected ADDR:PORT with a numeric address, such as 127.0.0.1:%1, "
                    "0.0.0.0:%1 or [::1]:%1, got '%2'")
                     .arg(default_port)
                     .arg(text);
        return false;
    }
    bool ok = false;
    const uint port = text.mid(colon + 1).toUInt(&ok);
    if (!ok || port == 0 || port > highest_port) {
        *error = tr("expected a port from 1 to %1 after the address, got '%2'")
                     .arg(highest_port)
                     .arg(text.mid(colon + 1));
        return false;
    }
    parsed.host = host;
    parsed.port = static_cast<quint16>(port);
    *address = parsed;
    return true;
}

QString Listen_address::text() const
{
    const QString shown_host = ipv6 ? QLatin1Char('[') + host + QLatin1Char(']') : host;
    return shown_host + QLatin1Char(':') + QString::number(port);
}

bool Listen_address::is_loopback() const
{
    return ipv6 ? host == QLatin1String("::1") : host.startsWith(QLatin1String("127."));
}
