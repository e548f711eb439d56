#ifndef VELMAR_EXPORTER_EXPORTER_CONFIG_H
#define VELMAR_EXPORTER_EXPORTER_CONFIG_H

#include "exporter/listen_address.h"
#include "exporter/port_pattern.h"

#include <QtCore/QCoreApplication>
#include <QtCore/QString>

#include <optional>
#include <vector>

// The configuration file: one setting a line, blank lines and lines starting
// with # ignored.
//
//     listen = 127.0.0.1:9367
//     baud = 115200
//     port = /dev/serial/by-id/usb-*
//     unit rack-7 = /dev/serial/by-id/usb-FTDI_FT232R_A12345-if00-port0
//     unit rack-3 = rfc2217://ts1.example:4001
//
// `port` and `unit NAME` may repeat; a unit's name becomes the `unit` label
// of its metrics.
class Exporter_config
{
    Q_DECLARE_TR_FUNCTIONS(Exporter_config)

public:
    std::optional<Listen_address> listen;
    std::optional<qint32> baud_rate;
    std::vector<Port_pattern> ports;

    // False with "LINE: what is wrong" in *error.
    static bool parse(const QString &text, Exporter_config *config, QString *error);
    // A positive line rate, as --baud takes it too.
    static bool parse_baud(const QString &text, qint32 *baud_rate);

private:
    bool read_line(const QString &key, const QString &value, QString *error);
};

#endif
