#include "app/window_command_line.h"

#include "session/port_url.h"

#include <QtCore/QCommandLineParser>

namespace {

const QString port_option = QStringLiteral("port");
const QString baud_option = QStringLiteral("baud");
const QString record_option = QStringLiteral("record");

void add_options(QCommandLineParser &parser)
{
    parser.setApplicationDescription(QCoreApplication::translate(
        "Window_command_line",
        "Watches and steers a Velmar unit over a serial line.\n\n"
        "Without options the window opens the port and rate chosen last time.\n\n"
        "Ctrl-C and SIGTERM close the window as its close button does, its settings saved.\n\n"
        "Exit codes: 0 closed, 1 the record file cannot be opened, 2 bad arguments."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addOption(
        {port_option,
         QCoreApplication::translate("Window_command_line",
                                     "open this device at start, listed or not (a pseudo-terminal, "
                                     "/dev/serial/by-id/...), or a terminal server's port "
                                     "(rfc2217://HOST:PORT, socket://HOST:PORT); the saved choice "
                                     "stays as it was"),
         QStringLiteral("PATH")});
    parser.addOption({baud_option,
                      QCoreApplication::translate("Window_command_line",
                                                  "line rate at start; the saved one stays"),
                      QStringLiteral("N")});
    parser.addOption({record_option,
                      QCoreApplication::translate(
                          "Window_command_line",
                          "append a JSON record of this run to FILE: the first status after "
                          "each connection, every change and every event"),
                      QStringLiteral("FILE")});
}

} // namespace

bool Window_command_line::asks_for_text(const QStringList &arguments)
{
    for (const QString &argument : arguments.mid(1)) {
        if (argument == QLatin1String("-h") || argument == QLatin1String("--help") ||
            argument == QLatin1String("--help-all") || argument == QLatin1String("-v") ||
            argument == QLatin1String("--version"))
            return true;
    }
    return false;
}

Window_command_line Window_command_line::parse(const QStringList &arguments)
{
    QCommandLineParser parser;
    add_options(parser);
    Window_command_line line;
    const bool parsed = parser.parse(arguments);
    if (parser.isSet(QStringLiteral("help")) || parser.isSet(QStringLiteral("help-all"))) {
        line.outcome = Outcome::help;
        line.text = parser.helpText();
        return line;
    }
    if (parser.isSet(QStringLiteral("version"))) {
        line.outcome = Outcome::version;
        line.text = QCoreApplication::applicationName() + QLatin1Char(' ') +
                    QCoreApplication::applicationVersion();
        return line;
    }
    if (!parsed || !parser.positionalArguments().isEmpty()) {
        line.outcome = Outcome::error;
        line.text = parsed ? tr("unexpected argument '%1'").arg(parser.positionalArguments()[0])
                           : parser.errorText();
        return line;
    }
    line.start_port.path = parser.value(port_option);
    line.record_path = parser.value(record_option);
    const QString url_error = Port_url::error_in(line.start_port.path);
    if (!url_error.isEmpty()) {
        line.outcome = Outcome::error;
        line.text = QStringLiteral("--port: ") + url_error;
        return line;
    }
    if (parser.isSet(baud_option)) {
        bool ok = false;
        line.start_port.baud_rate = parser.value(baud_option).toInt(&ok);
        if (!ok || line.start_port.baud_rate <= 0) {
            line.outcome = Outcome::error;
            line.text =
                tr("--baud: expected a positive number, got '%1'").arg(parser.value(baud_option));
        }
    }
    return line;
}
