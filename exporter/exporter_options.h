#ifndef VELMAR_EXPORTER_EXPORTER_OPTIONS_H
#define VELMAR_EXPORTER_EXPORTER_OPTIONS_H

#include "exporter/listen_address.h"
#include "exporter/port_pattern.h"
#include "exporter/web_config.h"
#include "session/port_settings.h"

#include <QtCore/QCoreApplication>
#include <QtCore/QString>
#include <QtCore/QStringList>

#include <vector>

class QCommandLineParser;

// The command line of velmar-exporter, with the configuration file it names,
// checked in full before anything is opened or bound. The command line wins
// over the file; the ports of both are watched.
class Exporter_options
{
    Q_DECLARE_TR_FUNCTIONS(Exporter_options)

public:
    enum class Outcome
    {
        run,
        help,    // text holds it, for stdout
        version, // text holds it, for stdout
        error,   // text holds the one line, for stderr; exit_code says which
    };

    Outcome outcome = Outcome::run;
    QString text;
    int exit_code = 0;

    Listen_address listen;
    qint32 baud_rate = Port_settings::default_baud_rate;
    std::vector<Port_pattern> ports;
    QString web_config_file; // empty: plain HTTP, no password
    Web_config web;
    // What is allowed but likely a mistake, one line each, for standard error.
    QStringList warnings;

    // arguments[0] is the program's name, as in QCoreApplication::arguments().
    static Exporter_options parse(const QStringList &arguments);
    static QString exit_codes_text();

private:
    static void add_options(QCommandLineParser &parser);
    bool read_config(const QString &path);
    bool read_command_line(const QCommandLineParser &parser);
    bool read_web_config();
    void fail(int code, const QString &error);
};

#endif
