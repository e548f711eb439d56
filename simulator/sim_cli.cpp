#include "simulator/sim_cli.h"

#include "simulator/sim_command.h"

#include <QtCore/QCommandLineParser>

#include <utility>
#include <vector>

namespace {

// Shortcut option -> the command it stands for ("%1" is the option's value).
struct Shortcut
{
    const char *option;
    const char *value_name;
    const char *description;
    const char *command;
};

const std::vector<Shortcut> &shortcuts()
{
    static const std::vector<Shortcut> table = {
        {"version", "V",
         QT_TRANSLATE_NOOP("Sim_cli", "protocol version: 1.0, 1.1, 2.0 or a raw byte"),
         "version %1"},
        {"rate", "N", QT_TRANSLATE_NOOP("Sim_cli", "status frames a second (1..100000) or max"),
         "rate %1"},
        {"ack-delay", "MS", QT_TRANSLATE_NOOP("Sim_cli", "acknowledge MS ms after a control frame"),
         "ackdelay %1"},
        {"no-ack", nullptr, QT_TRANSLATE_NOOP("Sim_cli", "never acknowledge control frames"),
         "ack off"},
        {"no-apply", nullptr,
         QT_TRANSLATE_NOOP("Sim_cli",
                           "keep its own gains and threshold whatever control frames say"),
         "apply off"},
        {"noise", "N", QT_TRANSLATE_NOOP("Sim_cli", "N noise bytes before every frame"),
         "noise %1"},
        {"bad-crc", "SHARE",
         QT_TRANSLATE_NOOP("Sim_cli", "share of frames with a broken CRC, 0..1"), "badcrc %1"},
        {"short", "N", QT_TRANSLATE_NOOP("Sim_cli", "cut N bytes off every payload"), "short %1"},
        {"long", "N", QT_TRANSLATE_NOOP("Sim_cli", "append N bytes to every payload"), "long %1"},
        {"no-drift", nullptr, QT_TRANSLATE_NOOP("Sim_cli", "report the set values exactly"),
         "drift off"},
    };
    return table;
}

QString program_name()
{
    return QStringLiteral("velmar-unit-sim");
}

} // namespace

void Sim_cli::add_options(QCommandLineParser &parser)
{
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.setApplicationDescription(
        tr("Plays a Velmar unit on a serial line: sends status frames, reads and "
           "acknowledges control frames.\nWithout --device it creates a pseudo-terminal "
           "and prints its path as the first line.\nWhile it runs it reads commands from "
           "standard input, one a line (see the list below)."));
    parser.addOption({{QStringLiteral("h"), QStringLiteral("help")}, tr("show this help")});
    parser.addOption({QStringLiteral("device"),
                      tr("drive the serial device PATH instead of a pseudo-terminal"),
                      QStringLiteral("PATH")});
    parser.addOption({QStringLiteral("baud"),
                      tr("line rate for --device (default %1)").arg(default_baud),
                      QStringLiteral("N")});
    parser.addOption({QStringLiteral("set"),
                      tr("run one command at start, e.g. \"sfp1.type other\" (repeatable; "
                         "after the options below)"),
                      QStringLiteral("COMMAND")});
    for (const Shortcut &shortcut : shortcuts()) {
        const QString description = QCoreApplication::translate("Sim_cli", shortcut.description);
        if (shortcut.value_name == nullptr)
            parser.addOption({QString::fromLatin1(shortcut.option), description});
        else
            parser.addOption({QString::fromLatin1(shortcut.option), description,
                              QString::fromLatin1(shortcut.value_name)});
    }
    parser.addOption({QStringLiteral("link"),
                      tr("keep a symbolic link PATH pointing at the pseudo-terminal while there "
                         "is one, as /dev/serial/by-id/... points at an adapter plugged in"),
                      QStringLiteral("PATH")});
    parser.addOption({QStringLiteral("seed"), tr("seed of the noise bytes, for repeatable runs"),
                      QStringLiteral("N")});
}

Sim_cli Sim_cli::parse(const QStringList &arguments)
{
    QCommandLineParser parser;
    add_options(parser);
    if (!parser.parse(arguments))
        return failed(parser.errorText());
    if (parser.isSet(QStringLiteral("help"))) {
        Sim_cli cli;
        cli.outcome = Outcome::help;
        return cli;
    }
    if (!parser.positionalArguments().isEmpty())
        return failed(tr("unexpected argument '%1'").arg(parser.positionalArguments().first()));

    Sim_cli cli;
    if (read_line_options(parser, cli))
        collect_commands(parser, cli);
    return cli;
}

bool Sim_cli::read_line_options(const QCommandLineParser &parser, Sim_cli &cli)
{
    cli.device = parser.value(QStringLiteral("device"));
    cli.link = parser.value(QStringLiteral("link"));
    if (!cli.link.isEmpty() && !cli.device.isEmpty()) {
        cli = failed(tr("--link only applies without --device"));
        return false;
    }
    if (parser.isSet(QStringLiteral("baud"))) {
        bool ok = false;
        cli.baud = parser.value(QStringLiteral("baud")).toInt(&ok);
        if (!ok || cli.baud <= 0) {
            cli = failed(tr("--baud: expected a positive number, got '%1'")
                             .arg(parser.value(QStringLiteral("baud"))));
            return false;
        }
        if (cli.device.isEmpty()) {
            cli = failed(tr("--baud only applies with --device"));
            return false;
        }
    }
    if (parser.isSet(QStringLiteral("seed"))) {
        bool ok = false;
        cli.seed = parser.value(QStringLiteral("seed")).toUInt(&ok);
        if (!ok) {
            cli = failed(tr("--seed: expected a number, got '%1'")
                             .arg(parser.value(QStringLiteral("seed"))));
            return false;
        }
        cli.seeded = true;
    }
    return true;
}

bool Sim_cli::collect_commands(const QCommandLineParser &parser, Sim_cli &cli)
{
    std::vector<std::pair<QString, QString>> sources; // option text, command
    for (const Shortcut &shortcut : shortcuts()) {
        const QString option = QString::fromLatin1(shortcut.option);
        if (!parser.isSet(option))
            continue;
        QString command = QString::fromLatin1(shortcut.command);
        QString shown = QStringLiteral("--") + option;
        if (shortcut.value_name != nullptr) {
            const QString value = parser.value(option);
            command = command.arg(value);
            shown += QLatin1Char(' ') + value;
        }
        sources.emplace_back(shown, command);
    }
    for (const QString &command : parser.values(QStringLiteral("set")))
        sources.emplace_back(QStringLiteral("--set \"%1\"").arg(command), command);

    for (const auto &source : sources) {
        const Sim_command parsed = Sim_command::parse(source.second);
        if (!parsed.is_valid()) {
            cli = failed(QStringLiteral("%1: %2").arg(source.first, parsed.error()));
            return false;
        }
        cli.commands.append(source.second);
    }
    return true;
}

Sim_cli Sim_cli::failed(const QString &error)
{
    Sim_cli cli;
    cli.outcome = Outcome::error;
    cli.error = error;
    return cli;
}

QString Sim_cli::help_text()
{
    QCommandLineParser parser;
    add_options(parser);
    QString text = parser.helpText();
    // Outside a running application the parser cannot know the program name.
    const QString usage = QStringLiteral("Usage: ");
    if (text.startsWith(usage)) {
        const int end = text.indexOf(QLatin1Char(' '), usage.size());
        text.replace(usage.size(), end - usage.size(), program_name());
    }
    return text + QLatin1Char('\n') + Sim_command::help_text().trimmed();
}
