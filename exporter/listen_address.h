#ifndef VELMAR_EXPORTER_LISTEN_ADDRESS_H
#define VELMAR_EXPORTER_LISTEN_ADDRESS_H

#include <QtCore/QCoreApplication>
#include <QtCore/QString>
#include <QtCore/QtGlobal>

// Where the metrics are served: a numeric address and a TCP port, written
// ADDR:PORT, or [ADDR]:PORT for IPv6.
class Listen_address
{
    Q_DECLARE_TR_FUNCTIONS(Listen_address)

public:
    // Loopback only: a scraper elsewhere is let in on purpose, with --listen.
    static constexpr quint16 default_port = 9367;

    QString host = QStringLiteral("127.0.0.1");
    quint16 port = default_port;
    bool ipv6 = false;

    // False with a one-line reason in *error for anything else than a
    // numeric address and a port from 1 to 65535.
    static bool parse(const QString &text, Listen_address *address, QString *error);
    // As it was given: 127.0.0.1:9367, [::1]:9367.
    QString text() const;
    // 127.0.0.0/8 or ::1: only this machine reaches it.
    bool is_loopback() const;
};

#endif
