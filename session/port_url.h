#ifndef VELMAR_SESSION_PORT_URL_H
#define VELMAR_SESSION_PORT_URL_H

#include <QtCore/QCoreApplication>
#include <QtCore/QString>
#include <QtCore/QtGlobal>

// A serial line reached through a terminal server rather than a device file,
// named as serial tools name it wherever a port goes:
//
//     rfc2217://HOST:PORT   telnet with the COM-PORT-OPTION: this side sets the line
//     socket://HOST:PORT    raw TCP: the server has set the line
//
// HOST is a name, an IPv4 address or an IPv6 address in brackets. The text
// as given stays the port's name in records, metrics and messages.
class Port_url
{
    Q_DECLARE_TR_FUNCTIONS(Port_url)

public:
    enum class Kind
    {
        rfc2217,
        socket,
    };

    Kind kind = Kind::socket;
    QString host; // without brackets
    quint16 port = 0;
    QString text; // as given

    // Whether the text is meant as a URL (SCHEME://...) rather than a device:
    // such a text is parsed as one, and a bad one is an error, never a path.
    static bool is_url(const QString &text);
    // False with what is wrong, in one line naming the text, in *error.
    static bool parse(const QString &text, Port_url *url, QString *error);
    // The parse's error alone, empty for a good URL or a text that is no URL.
    static QString error_in(const QString &text);

private:
    static bool parse_host(const QString &host, QString *error);
};

#endif
