#include "ctl/ctl_options.h"

#include "protocol/control_payload.h"
#include "protocol/status_words.h"
#include "session/operator_settings.h"

#include <QtCore/QCommandLineParser>

#include <algorithm>
#include <climits>
#include <cmath>

namespace {

constexpr double ms_per_second = 1000.0;

const QString program = QStringLiteral("velmar-ctl");

struct Command_name
{
    const char *word;
    Ctl_options::Command command;
};

const Command_name commands[] = {{"ports", Ctl_options::Command::ports},
                                 {"watch", Ctl_options::Command::watch},
                                 {"set", Ctl_options::Command::set},
                                 {"report", Ctl_options::Command::report}};

QString command_word(Ctl_options::Command command)
{
    for (const Command_name &name : commands) {
        if (name.command == command)
            return QString::fromLatin1(name.word);
    }
    return QString();
}

// --gain1, --gain2: inputs as a person numbers them.
QString gain_option(int input)
{
    return QStringLiteral("gain%1").arg(Status_words::number(input));
}

QString version_text()
{
    return program + QLatin1Char(' ') + QCoreApplication::applicationVersion();
}

// QCommandLineParser writes "Usage: <program> [options]"; a subcommand's
// usage names the subcommand too.
QString help_text(const QCommandLineParser &parser, const QString &usage)
{
    QString text = parser.helpText();
    const int end = text.indexOf(QLatin1Char('\n'));
    return QStringLiteral("Usage: ") + usage + text.mid(end);
}

// addHelpOption() also offers --help-all; the Qt options it would add mean
// nothing here, so it prints the same help.
bool asks_for_help(const QCommandLineParser &parser)
{
    return parser.isSet(QStringLiteral("help")) || parser.isSet(QStringLiteral("help-all"));
}

} // namespace

Ctl_options Ctl_options::parse(const QStringList &arguments)
{
    int at = 1;
    while (at < arguments.size() && arguments[at].startsWith(QLatin1Char('-')))
        ++at;
    const QStringList leading = arguments.mid(0, at);
    if (at == arguments.size() || leading.size() > 1) {
        QCommandLineParser parser;
        add_options(Command::none, parser);
        Ctl_options options;
        if (!parser.parse(leading))
            return failed(Command::none, parser.errorText());
        if (parser.isSet(QStringLiteral("version"))) {
            options.outcome = Outcome::version;
            options.text = version_text();
        } else if (asks_for_help(parser) || at == arguments.size()) {
            if (!asks_for_help(parser))
                return failed(Command::none, tr("no command given: ports, watch, set or report"));
            options.outcome = Outcome::help;
            options.text = help_text(parser, tr("%1 COMMAND [options]").arg(program));
        } else {
            return failed(Command::none, tr("options go after the command"));
        }
        return options;
    }
    for (const Command_name &name : commands) {
        if (arguments[at] == QLatin1String(name.word))
            return parse_command(name.command, QStringList{arguments[0]} + arguments.mid(at + 1));
    }
    return failed(Command::none,
                  tr("unknown command '%1': ports, watch, set or report").arg(arguments[at]));
}

void Ctl_options::add_options(Command command, QCommandLineParser &parser)
{
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.addHelpOption();
    parser.addVersionOption();
    switch (command) {
    case Command::none:
        parser.setApplicationDescription(
            tr("Watches and sets a Velmar unit from the command line.\n\n"
               "Commands:\n"
               "  ports   list the serial ports\n"
               "  watch   print a record of the unit's status and the link's events\n"
               "  set     set the unit's gains and threshold\n"
               "  report  summarise records, judge them, draw them on a page\n\n"
               "Each command takes --help.\n\n") +
            exit_codes_text());
        return;
    case Command::ports:
        parser.setApplicationDescription(
            tr("Lists the serial ports the system offers, one a line: name, description "
               "and serial number, separated by tabs (\"-\" when unknown). Pseudo-terminals "
               "and links such as /dev/serial/by-id/... are not listed, but every other "
               "command opens them by path.\n\n") +
            exit_codes_text());
        return;
    case Command::watch:
        parser.setApplicationDescription(
            tr("Prints one record per status the unit sends and one per event of the link "
               "(connected, silent, crc_mismatch, short_message, port_lost, reopened), until "
               "Ctrl-C, the duration or the count. It only listens: it sends the unit "
               "nothing. A lost port is opened again once a second, and the watch goes on. "
               "Records go to standard output; docs/record-format.md describes them.\n\n") +
            exit_codes_text());
        parser.addOption({QStringLiteral("format"),
                          tr("json (one object a line, the default), csv or text"),
                          QStringLiteral("FORMAT"), QStringLiteral("json")});
        parser.addOption(
            {QStringLiteral("changes"), tr("print a status only when it differs from the last")});
        parser.addOption(
            {QStringLiteral("duration"), tr("stop after SECONDS"), QStringLiteral("SECONDS")});
        parser.addOption(
            {QStringLiteral("count"), tr("stop after N status records"), QStringLiteral("N")});
        break;
    case Command::set:
        parser.setApplicationDescription(
            tr("Waits for the unit's first status (3 s at most), sends one control frame "
               "with the given values and the unit's own for the rest, as the window builds "
               "it, and waits for the unit's acknowledgement. Gains snap to the 0.75 dB grid "
               "as in the window; the values sent are printed. Needs a unit of protocol 2.0 "
               "or later.\n\n") +
            exit_codes_text());
        for (int input = 0; input < Unit_status::input_count; ++input) {
            const int number = Status_words::number(input);
            parser.addOption(
                {gain_option(input),
                 tr("gain of input %1 (Mic %1), %2 to %3 dB")
                     .arg(number)
                     .arg(Operator_settings::min_gain_db, 0, 'f', Operator_settings::gain_decimals)
                     .arg(Operator_settings::max_gain_db, 0, 'f', Operator_settings::gain_decimals),
                 QStringLiteral("DB")});
        }
        parser.addOption({QStringLiteral("threshold"), tr("Rx-power fault threshold, -35 to 0 dBm"),
                          QStringLiteral("DBM")});
        parser.addOption({QStringLiteral("defaults"),
                          tr("start from the defaults (47.00 dB, 47.00 dB, -28 dBm) instead of "
                             "the unit's values, as the window's Default Set does")});
        break;
    case Command::report:
        add_report_options(parser);
        return;
    }
    parser.addOption({QStringLiteral("port"),
                      tr("the serial device: a name as `ports` lists it, or any path"),
                      QStringLiteral("PATH")});
    parser.addOption({QStringLiteral("baud"),
                      tr("line rate (default %1)").arg(Port_settings::default_baud_rate),
                      QStringLiteral("N")});
}

QString Ctl_options::exit_codes_text()
{
    return tr("Exit codes:\n"
              "  0  done, or acknowledged\n"
              "  1  the output could not be written\n"
              "  2  bad arguments or values out of range\n"
              "  3  the port cannot be opened\n"
              "  4  the port was lost (set)\n"
              "  5  no status from the unit within 3 s\n"
              "  6  no acknowledgement from the unit\n"
              "  7  the unit speaks a protocol below 2.0 (set)\n"
              "  9  a record fails the --fail-on checks (report)\n"
              "  10 a record cannot be read (report)");
}

Ctl_options Ctl_options::parse_command(Command command, const QStringList &arguments)
{
    QCommandLineParser parser;
    add_options(command, parser);
    if (!parser.parse(arguments))
        return failed(command, parser.errorText());
    Ctl_options options;
    options.command = command;
    if (asks_for_help(parser)) {
        options.outcome = Outcome::help;
        const QString arguments_word =
            command == Command::report ? QStringLiteral(" RECORD...") : QString();
        options.text = help_text(parser, tr("%1 %2 [options]").arg(program, command_word(command)) +
                                             arguments_word);
        return options;
    }
    if (parser.isSet(QStringLiteral("version"))) {
        options.outcome = Outcome::version;
        options.text = version_text();
        return options;
    }
    if (command == Command::report) {
        if (!options.read_report(parser))
            return failed(command, options.text);
        return options;
    }
    if (!parser.positionalArguments().isEmpty())
        return failed(command, tr("unexpected argument '%1'").arg(parser.positionalArguments()[0]));
    if (command == Command::ports)
        return options;
    if (options.read_port(parser)) {
        if (command == Command::watch)
            options.read_watch(parser);
        else
            options.read_set(parser);
    }
    if (options.outcome == Outcome::error)
        options.text = program + QLatin1Char(' ') + command_word(command) + QStringLiteral(": ") +
                       options.text;
    return options;
}

bool Ctl_options::read_port(const QCommandLineParser &parser)
{
    port.name = parser.value(QStringLiteral("port"));
    if (port.name.isEmpty()) {
        fail(tr("--port is needed"));
        return false;
    }
    if (parser.isSet(QStringLiteral("baud"))) {
        bool ok = false;
        port.baud_rate = parser.value(QStringLiteral("baud")).toInt(&ok);
        if (!ok || port.baud_rate <= 0) {
            fail(tr("--baud: expected a positive number, got '%1'")
                     .arg(parser.value(QStringLiteral("baud"))));
            return false;
        }
    }
    return true;
}

bool Ctl_options::read_watch(const QCommandLineParser &parser)
{
    const QString format_name = parser.value(QStringLiteral("format"));
    if (!Record_format::kind_from_name(format_name, &format)) {
        fail(tr("--format: expected json, csv or text, got '%1'").arg(format_name));
        return false;
    }
    if (parser.isSet(QStringLiteral("changes")))
        policy = Recorder::Policy::changes;
    if (parser.isSet(QStringLiteral("duration"))) {
        bool ok = false;
        const double seconds = parser.value(QStringLiteral("duration")).toDouble(&ok);
        if (!ok || !std::isfinite(seconds) || seconds <= 0 || seconds * ms_per_second > INT_MAX) {
            fail(tr("--duration: expected a positive number of seconds, got '%1'")
                     .arg(parser.value(QStringLiteral("duration"))));
            return false;
        }
        // At least a millisecond: 0 would mean no end at all.
        duration_ms = std::max(1, static_cast<int>(std::lround(seconds * ms_per_second)));
    }
    if (parser.isSet(QStringLiteral("count"))) {
        bool ok = false;
        count = parser.value(QStringLiteral("count")).toInt(&ok);
        if (!ok || count <= 0) {
            fail(tr("--count: expected a positive number, got '%1'")
                     .arg(parser.value(QStringLiteral("count"))));
            return false;
        }
    }
    return true;
}

bool Ctl_options::read_set(const QCommandLineParser &parser)
{
    for (int input = 0; input < Unit_status::input_count; ++input) {
        const QString name = gain_option(input);
        if (!parser.isSet(name))
            continue;
        bool ok = false;
        const double typed = parser.value(name).toDouble(&ok);
        const double db = ok && std::isfinite(typed) ? Operator_settings::as_entered(typed) : 0.0;
        if (!ok || !std::isfinite(typed) || !Operator_settings::gain_in_range(db)) {
            fail(tr("--%1: expected %2 to %3 dB, got '%4'")
                     .arg(name)
                     .arg(Operator_settings::min_gain_db, 0, 'f', Operator_settings::gain_decimals)
                     .arg(Operator_settings::max_gain_db, 0, 'f', Operator_settings::gain_decimals)
                     .arg(parser.value(name)));
            return false;
        }
        gains_db[static_cast<std::size_t>(input)] = db;
    }
    if (parser.isSet(QStringLiteral("threshold"))) {
        bool ok = false;
        const int dbm = parser.value(QStringLiteral("threshold")).toInt(&ok);
        if (!ok || !Control_payload::threshold_in_range(dbm)) {
            fail(tr("--threshold: expected a whole number of dBm from %1 to %2, got '%3'")
                     .arg(Control_payload::threshold_min_dbm)
                     .arg(Control_payload::threshold_max_dbm)
                     .arg(parser.value(QStringLiteral("threshold"))));
            return false;
        }
        threshold_dbm = dbm;
    }
    defaults = parser.isSet(QStringLiteral("defaults"));
    const bool any_gain =
        std::any_of(gains_db.begin(), gains_db.end(),
                    [](const std::optional<double> &db) { return db.has_value(); });
    if (!any_gain && !threshold_dbm && !defaults) {
        fail(tr("nothing to set: give --gain1, --gain2, --threshold or --defaults"));
        return false;
    }
    return true;
}

void Ctl_options::add_report_options(QCommandLineParser &parser)
{
    parser.setApplicationDescription(
        tr("Reads records written by `watch` (JSON) or by the window's --record, as one "
           "timeline in time order, and reports what happened: the time span, each channel's "
           "power (minimum, mean, maximum) and its time below the unit's threshold, module "
           "temperatures, faults, lock and link losses, Dante and threshold changes, silences, "
           "CRC mismatches and lost ports. Times are UTC. Time without data (a silence, a lost "
           "port, a gap between records) is never counted or drawn as data. A line that cannot "
           "be used is named on standard error, once per kind and record, and left out.\n\n"
           "With --fail-on the report is also a verdict: the exit code is 9 when any of the "
           "named checks finds something (or the records hold no status at all).\n\n") +
        exit_codes_text());
    parser.addPositionalArgument(QStringLiteral("RECORD"),
                                 tr("a JSON record file, or - for standard input"),
                                 QStringLiteral("RECORD..."));
    parser.addOption({QStringLiteral("format"),
                      tr("text (the default), json, or html: one self-contained page with "
                         "zoomable charts"),
                      QStringLiteral("FORMAT"), QStringLiteral("text")});
    parser.addOption({{QStringLiteral("o"), QStringLiteral("output")},
                      tr("write the report to FILE instead of standard output"),
                      QStringLiteral("FILE")});
    parser.addOption(
        {QStringLiteral("fail-on"),
         tr("fail (exit 9) on any of: %1").arg(Verdict::all_names().join(QLatin1Char(','))),
         QStringLiteral("LIST")});
}

bool Ctl_options::read_report(const QCommandLineParser &parser)
{
    const QString format_name = parser.value(QStringLiteral("format"));
    const std::pair<const char *, Report_format> formats[] = {{"text", Report_format::text},
                                                              {"json", Report_format::json},
                                                              {"html", Report_format::html}};
    bool known = false;
    for (const auto &format_entry : formats) {
        if (format_name == QLatin1String(format_entry.first)) {
            report_format = format_entry.second;
            known = true;
        }
    }
    if (!known) {
        fail(tr("--format: expected text, json or html, got '%1'").arg(format_name));
        return false;
    }
    output_path = parser.value(QStringLiteral("output"));
    if (parser.isSet(QStringLiteral("output")) && output_path.isEmpty()) {
        fail(tr("-o: expected a file name"));
        return false;
    }
    QString error;
    if (parser.isSet(QStringLiteral("fail-on")) &&
        !Verdict::parse(parser.value(QStringLiteral("fail-on")), &checks, &error)) {
        fail(QStringLiteral("--fail-on: ") + error);
        return false;
    }
    records = parser.positionalArguments();
    if (records.isEmpty()) {
        fail(tr("no record given: name one or more, or - for standard input"));
        return false;
    }
    return true;
}

void Ctl_options::fail(const QString &error)
{
    outcome = Outcome::error;
    text = error;
}

Ctl_options Ctl_options::failed(Command command, const QString &error)
{
    Ctl_options options;
    options.command = command;
    options.fail(command == Command::none ? program + QStringLiteral(": ") + error
                                          : program + QLatin1Char(' ') + command_word(command) +
                                                QStringLiteral(": ") + error);
    return options;
}
