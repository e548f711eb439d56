#include "session/port_url.h"

#include <QtCore/QRegularExpression>
#include <QtNetwork/QHostAddress>

namespace {

const QRegularExpression &scheme_prefix()
{
    static const QRegularExpression prefix(QStringLiteral("^([A-Za-z][A-Za-z0-9+.-]*)://"));
    return prefix;
}

// Letters, digits, hyphens and underscores in dot-separated labels; the
// underscore is common in names on management networks, if not in DNS.
const QRegularExpression &host_name()
{
    static const QRegularExpression name(QStringLiteral(
        "^[A-Za-z0-9_]([A-Za-z0-9_-]{0,61}[A-Za-z0-9_])?(\\.[A-Za-z0-9_]([A-Za-z0-9_-]{0,61}"
        "[A-Za-z0-9_])?)*\\.?$"));
    return name;
}

const QRegularExpression &digits_and_dots()
{
    static const QRegularExpression numeric(QStringLiteral("^[0-9.]+$"));
    return numeric;
}

constexpr int max_host_name = 253;
constexpr uint max_tcp_port = 65535;

} // namespace

bool Port_url::is_url(const QString &text)
{
    return scheme_prefix().match(text).hasMatch();
}

QString Port_url::error_in(const QString &text)
{
    Port_url url;
    QString error;
    if (!is_url(text) || parse(text, &url, &error))
        return QString();
    return error;
}

bool Port_url::parse(const QString &text, Port_url *url, QString *error)
{
    const QRegularExpressionMatch scheme = scheme_prefix().match(text);
    if (!scheme.hasMatch()) {
        *error =
            tr("'%1' is not a URL: expected rfc2217://HOST:PORT or socket://HOST:PORT").arg(text);
        return false;
    }
    Port_url parsed;
    parsed.text = text;
    const QString name = scheme.captured(1).toLower();
    if (name == QLatin1String("rfc2217")) {
        parsed.kind = Kind::rfc2217;
    } else if (name == QLatin1String("socket")) {
        parsed.kind = Kind::socket;
    } else {
        *error = tr("%1: unknown scheme '%2': expected rfc2217:// or socket://")
                     .arg(text, scheme.captured(1));
        return false;
    }
    const QString rest = text.mid(scheme.capturedLength());
    QString host;
    QString after_host;
    if (rest.startsWith(QLatin1Char('['))) {
        const int close = rest.indexOf(QLatin1Char(']'));
        if (close < 0) {
            *error = tr("%1: '[' without ']' around the IPv6 address").arg(text);
            return false;
        }
        host = rest.mid(1, close - 1);
        const QHostAddress address(host);
        if (address.isNull() || address.protocol() != QAbstractSocket::IPv6Protocol) {
            *error = tr("%1: '%2' is not an IPv6 address").arg(text, host);
            return false;
        }
        after_host = rest.mid(close + 1);
    } else {
        const int colon = rest.indexOf(QLatin1Char(':'));
        host = colon < 0 ? rest : rest.left(colon);
        after_host = colon < 0 ? QString() : rest.mid(colon);
        if (rest.count(QLatin1Char(':')) > 1) {
            *error = tr("%1: an IPv6 address goes in brackets: %2://[ADDRESS]:PORT")
                         .arg(text, scheme.captured(1));
            return false;
        }
        if (host.isEmpty()) {
            *error = tr("%1: no host: expected %2://HOST:PORT").arg(text, scheme.captured(1));
            return false;
        }
        if (!parse_host(host, error)) {
            *error = text + QStringLiteral(": ") + *error;
            return false;
        }
    }
    if (!after_host.startsWith(QLatin1Char(':'))) {
        *error = after_host.isEmpty()
                     ? tr("%1: no port: expected %2://HOST:PORT").arg(text, scheme.captured(1))
                     : tr("%1: unexpected '%2' after the host").arg(text, after_host);
        return false;
    }
    const QString port_text = after_host.mid(1);
    int digits = 0;
    while (digits < port_text.size() && port_text[digits].isDigit())
        ++digits;
    if (port_text.isEmpty()) {
        *error = tr("%1: no port: expected %2://HOST:PORT").arg(text, scheme.captured(1));
        return false;
    }
    if (digits > 0 && digits < port_text.size()) {
        *error = tr("%1: unexpected '%2' after the port").arg(text, port_text.mid(digits));
        return false;
    }
    bool number = false;
    const uint port = port_text.toUInt(&number);
    if (!number || port == 0 || port > max_tcp_port) {
        *error = tr("%1: the port '%2' is not a number from 1 to 65535").arg(text, port_text);
        return false;
    }
    parsed.host = host;
    parsed.port = static_cast<quint16>(port);
    *url = parsed;
    return true;
}

bool Port_url::parse_host(const QString &host, QString *error)
{
    // A host of digits and dots can only mean an IPv4 address; a name
    // resolver would take 10.1 for 10.0.0.1 and 300.1.1.1 for something.
    if (digits_and_dots().match(host).hasMatch()) {
        const QHostAddress address(host);
        if (address.isNull() || address.protocol() != QAbstractSocket::IPv4Protocol ||
            host.count(QLatin1Char('.')) != 3) {
            *error = tr("'%1' is not an IPv4 address").arg(host);
            return false;
        }
        return true;
    }
    if (host.size() > max_host_name || !host_name().match(host).hasMatch()) {
        *error = tr("'%1' is not a host name").arg(host);
        return false;
    }
    return true;
}
