#ifndef VELMAR_EXPORTER_EXPORTER_CONFIG_H
#define VELMAR_EXPORTER_EXPORTER_CONFIG_H

#include "exporter/listen_address.h"
#include "exporter/port_pattern.h"

#include <QtCore/QCoreApplication>
#include <QtCore/QHash>
#include <QtCore/QString>
#include <QtCore/QStringList>

#include <optional>
#include <vector>

// The configuration file: one setting a line, blank lines and lines starting
// with # ignored.
//
//     listen = 127.0.0.1:9367
//     baud = 115200
//     web_config = /etc/velmar-exporter-web.yml
//     port = /dev/serial/by-id/usb-*
//     unit rack-7 = /dev/serial/by-id/usb-FTDI_FT232R_A12345-if00-port0
//     unit rack-3 = rfc2217://ts1.example:4001
//
// `port` and `unit NAME` may repeat; a unit's name becomes the `unit` label
// of its metrics, whatever other line also matches the port. A unit line
// names one port by its path, and each name and path once.
class Exporter_config
{
    Q_DECLARE_TR_FUNCTIONS(Exporter_config)

public:
    std::optional<Listen_address> listen;
    std::optional<qint32> baud_rate;
    QString web_config; // as written: relative to the file's folder
    std::vector<Port_pattern> ports;
    // "line N ...": what is allowed but adds nothing, for standard error.
    QStringList warnings;

    // False with "LINE: what is wrong" in *error.
    static bool parse(const QString &text, Exporter_config *config, QString *error);
    // A positive line rate, as --baud takes it too.
    static bool parse_baud(const QString &text, qint32 *baud_rate);

private:
    bool read_line(int line, const QString &key, const QString &value, QString *error);
    bool add_port(int line, const Port_pattern &port, QString *error);

    // The line that gave each unit name and each port, to name it again.
    QHash<QString, int> unit_lines;
    QHash<QString, int> port_lines;
};

#endif
