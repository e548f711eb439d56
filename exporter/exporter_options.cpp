#include "exporter/exporter_options.h"

#include "console/exit_code.h"
#include "exporter/exporter_config.h"
#include "session/port_url.h"

#include <QtCore/QCommandLineParser>
#include <QtCore/QDir>
#include <QtCore/QFile>
#include <QtCore/QFileInfo>

namespace {

const QString program = QStringLiteral("velmar-exporter");

QString option_value(const QCommandLineParser &parser, const char *name)
{
    return parser.value(QLatin1String(name));
}

} // namespace

void Exporter_options::add_options(QCommandLineParser &parser)
{
    parser.setApplicationDescription(
        tr("Serves what Velmar units report on their serial lines as Prometheus metrics, "
           "at /metrics. It only listens: it sends the units nothing.\n\n%1")
            .arg(exit_codes_text()));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addOption({QStringLiteral("port"),
                      tr("a serial device to watch, or a pattern such as "
                         "'/dev/serial/by-id/usb-*' that adapters plugged in later match too, or "
                         "a terminal server's port: rfc2217://HOST:PORT, socket://HOST:PORT; "
                         "repeat it for more"),
                      QStringLiteral("PATH")});
    parser.addOption({QStringLiteral("listen"),
                      tr("where to serve the metrics (default 127.0.0.1:%1, this machine only)")
                          .arg(Listen_address::default_port),
                      QStringLiteral("ADDR:PORT")});
    parser.addOption({QStringLiteral("config"),
                      tr("a configuration file with listen, baud, web_config, port and unit NAME "
                         "lines"),
                      QStringLiteral("FILE")});
    parser.addOption({QStringLiteral("web.config.file"),
                      tr("a web configuration in the format Prometheus's exporters share: "
                         "tls_server_config for HTTPS and basic_auth_users with bcrypt hashes"),
                      QStringLiteral("FILE")});
    parser.addOption(
        {QStringLiteral("baud"),
         tr("line rate of every port (default %1)").arg(Port_settings::default_baud_rate),
         QStringLiteral("N")});
}

QString Exporter_options::exit_codes_text()
{
    return tr("Exit codes:\n"
              "   0  stopped by SIGTERM or Ctrl-C\n"
              "   1  the output (--help, --version) could not be written\n"
              "   2  bad arguments, a bad line in the configuration file, or a web "
              "configuration that cannot be used\n"
              "  10  the configuration file, the web configuration or a file it names cannot be "
              "read\n"
              "  11  the address to serve on cannot be bound");
}

Exporter_options Exporter_options::parse(const QStringList &arguments)
{
    QCommandLineParser parser;
    add_options(parser);
    Exporter_options options;
    if (!parser.parse(arguments)) {
        options.fail(exit_bad_arguments, parser.errorText());
        return options;
    }
    if (parser.isSet(QStringLiteral("help")) || parser.isSet(QStringLiteral("help-all"))) {
        options.outcome = Outcome::help;
        // The parser names the program as it was started (a path, maybe).
        const QString help = parser.helpText();
        options.text =
            tr("Usage: %1 [options]").arg(program) + help.mid(help.indexOf(QLatin1Char('\n')));
        return options;
    }
    if (parser.isSet(QStringLiteral("version"))) {
        options.outcome = Outcome::version;
        options.text = program + QLatin1Char(' ') + QCoreApplication::applicationVersion();
        return options;
    }
    if (!parser.positionalArguments().isEmpty()) {
        options.fail(exit_bad_arguments,
                     tr("unexpected argument '%1'").arg(parser.positionalArguments()[0]));
        return options;
    }
    if (parser.isSet(QStringLiteral("config")) &&
        !options.read_config(option_value(parser, "config")))
        return options;
    if (!options.read_command_line(parser))
        return options;
    if (options.ports.empty()) {
        options.fail(exit_bad_arguments,
                     tr("no port to watch: give --port, or port lines in the --config file"));
        return options;
    }
    if (!options.read_web_config())
        return options;
    if (options.web_config_file.isEmpty() && !options.listen.is_loopback())
        options.warnings.append(
            tr("warning: %1 lets any machine that reaches it read the metrics, unencrypted and "
               "without a password; --web.config.file sets TLS and passwords")
                .arg(options.listen.text()));
    return options;
}

bool Exporter_options::read_config(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        fail(exit_input_unreadable, tr("cannot read %1: %2").arg(path, file.errorString()));
        return false;
    }
    Exporter_config config;
    QString error;
    if (!Exporter_config::parse(QString::fromUtf8(file.readAll()), &config, &error)) {
        fail(exit_bad_arguments, path + QStringLiteral(", ") + error);
        return false;
    }
    if (config.listen)
        listen = *config.listen;
    if (config.baud_rate)
        baud_rate = *config.baud_rate;
    if (!config.web_config.isEmpty())
        web_config_file = QFileInfo(path).dir().absoluteFilePath(config.web_config);
    ports = config.ports;
    for (const QString &warning : config.warnings)
        warnings.append(path + QStringLiteral(", ") + warning);
    return true;
}

bool Exporter_options::read_command_line(const QCommandLineParser &parser)
{
    if (parser.isSet(QStringLiteral("listen"))) {
        QString error;
        if (!Listen_address::parse(option_value(parser, "listen"), &listen, &error)) {
            fail(exit_bad_arguments, QStringLiteral("--listen: ") + error);
            return false;
        }
    }
    if (parser.isSet(QStringLiteral("baud")) &&
        !Exporter_config::parse_baud(option_value(parser, "baud"), &baud_rate)) {
        fail(exit_bad_arguments,
             tr("--baud: expected a positive number, got '%1'").arg(option_value(parser, "baud")));
        return false;
    }
    if (parser.isSet(QStringLiteral("web.config.file")))
        web_config_file = option_value(parser, "web.config.file");
    const QStringList given = parser.values(QStringLiteral("port"));
    for (const QString &port : given) {
        if (port.isEmpty()) {
            fail(exit_bad_arguments, tr("--port: expected a path or a pattern"));
            return false;
        }
        const QString url_error = Port_url::error_in(port);
        if (!url_error.isEmpty()) {
            fail(exit_bad_arguments, QStringLiteral("--port: ") + url_error);
            return false;
        }
        ports.emplace_back(port);
    }
    return true;
}

bool Exporter_options::read_web_config()
{
    if (web_config_file.isEmpty())
        return true;
    QString error;
    switch (Web_config::load(web_config_file, &web, &error)) {
    case Web_config::Outcome::loaded:
        return true;
    case Web_config::Outcome::unreadable:
        fail(exit_input_unreadable, error);
        break;
    case Web_config::Outcome::invalid:
        fail(exit_bad_arguments, error);
        break;
    }
    return false;
}

void Exporter_options::fail(int code, const QString &error)
{
    outcome = Outcome::error;
    exit_code = code;
    text = program + QStringLiteral(": ") + error;
}
