#include "ctl/ctl_options.h"

#include "console/exit_code.h"

#include "protocol/control_payload.h"
#include "protocol/status_words.h"
#include "session/operator_settings.h"
#include "session/port_url.h"

#include <QtCore/QCommandLineParser>
#include <QtCore/QFileInfo>
#include <QtCore/QRegularExpression>

#include <algorithm>
#include <climits>
#include <cmath>
#include <iterator>

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

// The commands an exit code comes from, a bit each.
enum Command_bit : unsigned
{
    for_ports = 1u << 0,
    for_watch = 1u << 1,
    for_set = 1u << 2,
    for_report = 1u << 3,
    for_every_command = for_ports | for_watch | for_set | for_report,
};

unsigned command_bit(Ctl_options::Command command)
{
    switch (command) {
    case Ctl_options::Command::ports:
        return for_ports;
    case Ctl_options::Command::watch:
        return for_watch;
    case Ctl_options::Command::set:
        return for_set;
    case Ctl_options::Command::report:
        return for_report;
    case Ctl_options::Command::none:
        break;
    }
    return for_every_command;
}

struct Exit_line
{
    int code;
    unsigned commands;
    const char *text;
};

// By code; a code may mean a thing of its own to each command.
const Exit_line exit_lines[] = {
    {exit_done, for_ports, QT_TRANSLATE_NOOP("Ctl_options", "the ports were listed")},
    {exit_done, for_watch, QT_TRANSLATE_NOOP("Ctl_options", "the watch ended as asked")},
    {exit_done, for_set, QT_TRANSLATE_NOOP("Ctl_options", "the unit took the values")},
    {exit_done, for_report,
     QT_TRANSLATE_NOOP("Ctl_options", "the report was written (and passes, with --fail-on)")},
    {exit_output_failed, for_ports | for_watch | for_set,
     QT_TRANSLATE_NOOP("Ctl_options", "the output could not be written")},
    {exit_output_failed, for_report,
     QT_TRANSLATE_NOOP("Ctl_options", "the report could not be written, or, for a page, the "
                                      "charting library is not installed")},
    {exit_bad_arguments, for_every_command,
     QT_TRANSLATE_NOOP("Ctl_options", "bad arguments or values out of range")},
    {exit_port_unavailable, for_watch | for_set,
     QT_TRANSLATE_NOOP("Ctl_options", "the port cannot be opened")},
    {exit_port_lost, for_set, QT_TRANSLATE_NOOP("Ctl_options", "the port was lost")},
    {exit_no_status, for_watch,
     QT_TRANSLATE_NOOP("Ctl_options",
                       "no status within 3 s with --count, or none in the whole watch")},
    {exit_no_status, for_set,
     QT_TRANSLATE_NOOP("Ctl_options", "no status from the unit within 3 s")},
    {exit_no_acknowledgement, for_set,
     QT_TRANSLATE_NOOP("Ctl_options", "no acknowledgement, and no status reports the values")},
    {exit_protocol_too_old, for_set,
     QT_TRANSLATE_NOOP("Ctl_options", "the unit speaks a protocol below 2.0")},
    {exit_unit_disagrees, for_set,
     QT_TRANSLATE_NOOP("Ctl_options",
                       "the unit acknowledged, but reports other values than those sent")},
    {exit_verdict_failed, for_report,
     QT_TRANSLATE_NOOP("Ctl_options", "a record fails the --fail-on checks")},
    {exit_input_unreadable, for_report,
     QT_TRANSLATE_NOOP("Ctl_options", "a record cannot be read in full: missing, not a record, "
                                      "lines left out, records that overlap")},
    {exit_not_judged, for_report,
     QT_TRANSLATE_NOOP("Ctl_options", "a check asked for could not be judged, and none failed")},
    {exit_interrupted, for_set | for_report,
     QT_TRANSLATE_NOOP("Ctl_options", "stopped by SIGINT (Ctrl-C) before it was done")},
    {exit_terminated, for_set | for_report,
     QT_TRANSLATE_NOOP("Ctl_options", "stopped by SIGTERM before it was done")},
};

QString commands_of(const Exit_line &line)
{
    QStringList names;
    for (const Command_name &name : commands) {
        if ((line.commands & command_bit(name.command)) != 0)
            names << QString::fromLatin1(name.word);
    }
    return names.join(QStringLiteral(", "));
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
            return failed(Command::none, restyled(parser.errorText()));
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
            exit_codes_text(Command::none));
        return;
    case Command::ports:
        parser.setApplicationDescription(
            tr("Lists the serial ports the system offers, one a line: name, description, "
               "serial number and the /dev/serial/by-id links that lead to the port (separated "
               "by blanks), separated by tabs (\"-\" when unknown or none). A by-id link names "
               "the same adapter whatever order it was plugged in; every other command opens "
               "it, or any pseudo-terminal, by path.\n\n") +
            exit_codes_text(Command::ports));
        return;
    case Command::watch:
        parser.setApplicationDescription(
            tr("Prints one record per status the unit sends and one per event of the link "
               "(connected, silent, crc_mismatch, short_message, port_lost, reopened), until "
               "Ctrl-C, the duration or the count. It only listens: it sends the unit "
               "nothing. A lost port is opened again once a second, and the watch goes on. "
               "Only what the unit says after the port opens is recorded: bytes already "
               "waiting are dropped. With --count it gives up (exit 5) when 3 s pass without "
               "a status; a watch that heard no status at all ends with exit 5 too. Records "
               "go to standard output; docs/record-format.md describes them.\n\n") +
            exit_codes_text(Command::watch));
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
            tr("Waits for the unit's first status (3 s at most; bytes already waiting when "
               "the port opens are dropped), sends one control frame with the given values "
               "and the unit's own for the rest, as the window builds it, and succeeds only "
               "when the unit took them: it acknowledged the frame and the status that "
               "carries the acknowledgement does not report other values (prints "
               "\"acknowledged\"), or a later status reports them (prints \"reported\"; "
               "the gains only while the Dante submodule is present). Without either within "
               "1000 ms the frame is sent again, --retries times. Gains snap to the 0.75 dB "
               "grid as in the window; the values sent are printed first. Needs a unit of "
               "protocol 2.0 or later.\n\n") +
            exit_codes_text(Command::set));
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
        parser.addOption(
            {QStringLiteral("retries"),
             tr("send the frame again up to N times (default %1) when the unit shows no sign "
                "of taking it")
                 .arg(default_retries),
             QStringLiteral("N")});
        parser.addOption({QStringLiteral("defaults"),
                          tr("start from the defaults (47.00 dB, 47.00 dB, -28 dBm) instead of "
                             "the unit's values, as the window's Default Set does")});
        break;
    case Command::report:
        add_report_options(parser);
        return;
    }
    parser.addOption({QStringLiteral("port"),
                      tr("the serial device: a name as `ports` lists it, or any path; or a "
                         "terminal server's port: rfc2217://HOST:PORT, socket://HOST:PORT"),
                      QStringLiteral("PATH")});
    parser.addOption({QStringLiteral("baud"),
                      tr("line rate (default %1)").arg(Port_settings::default_baud_rate),
                      QStringLiteral("N")});
}

// Each command's help lists the codes it can end with; the program's own
// help, as the manual, all of them, each with the commands that give it.
QString Ctl_options::exit_codes_text(Command command)
{
    QString text = tr("Exit codes:");
    for (std::size_t at = 0; at < std::size(exit_lines);) {
        const int code = exit_lines[at].code;
        QStringList said;
        for (; at < std::size(exit_lines) && exit_lines[at].code == code; ++at) {
            const Exit_line &line = exit_lines[at];
            if (command == Command::none)
                said << tr(line.text) + (line.commands == for_every_command
                                             ? QString()
                                             : QStringLiteral(" (%1)").arg(commands_of(line)));
            else if ((line.commands & command_bit(command)) != 0)
                said << tr(line.text);
        }
        if (!said.isEmpty())
            text += QStringLiteral("\n  %1  %2").arg(code).arg(said.join(QStringLiteral("; ")));
    }
    return text;
}

QString Ctl_options::restyled(const QString &parser_error)
{
    // "Unknown option 'format'." -> "unknown option --format"
    static const QRegularExpression quoted(QStringLiteral("'([^']*)'"));
    QString text = parser_error.trimmed();
    QRegularExpressionMatch match = quoted.match(text);
    while (match.hasMatch()) {
        const QString name = match.captured(1);
        const QString option =
            name.startsWith(QLatin1Char('-')) ? name : QStringLiteral("--") + name;
        text.replace(match.capturedStart(), match.capturedLength(), option);
        match = quoted.match(text, match.capturedStart() + option.size());
    }
    if (text.endsWith(QLatin1Char('.')))
        text.chop(1);
    if (!text.isEmpty())
        text[0] = text[0].toLower();
    return text;
}

Ctl_options Ctl_options::parse_command(Command command, const QStringList &arguments)
{
    QCommandLineParser parser;
    add_options(command, parser);
    if (!parser.parse(arguments))
        return failed(command, restyled(parser.errorText()));
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
        options.text = options.error_line(options.text);
    return options;
}

bool Ctl_options::read_port(const QCommandLineParser &parser)
{
    port.name = parser.value(QStringLiteral("port"));
    if (port.name.isEmpty()) {
        fail(tr("--port is needed"));
        return false;
    }
    const QString url_error = Port_url::error_in(port.name);
    if (!url_error.isEmpty()) {
        fail(QStringLiteral("--port: ") + url_error);
        return false;
    }
    if (!parser.isSet(QStringLiteral("baud")))
        return true;
    double rate = 0;
    if (!read_number(parser, QStringLiteral("baud"), &rate))
        return false;
    if (!is_whole(rate) || rate <= 0 || rate > INT_MAX) {
        fail(tr("--baud: expected a positive whole number, got '%1'")
                 .arg(parser.value(QStringLiteral("baud"))));
        return false;
    }
    port.baud_rate = static_cast<qint32>(rate);
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
        double seconds = 0;
        if (!read_number(parser, QStringLiteral("duration"), &seconds))
            return false;
        if (seconds <= 0 || seconds * ms_per_second > INT_MAX) {
            fail(tr("--duration: expected a positive number of seconds, got '%1'")
                     .arg(parser.value(QStringLiteral("duration"))));
            return false;
        }
        // At least a millisecond: 0 would mean no end at all.
        duration_ms = std::max(1, static_cast<int>(std::lround(seconds * ms_per_second)));
    }
    if (parser.isSet(QStringLiteral("count"))) {
        double wanted = 0;
        if (!read_number(parser, QStringLiteral("count"), &wanted))
            return false;
        if (!is_whole(wanted) || wanted <= 0 || wanted > INT_MAX) {
            fail(tr("--count: expected a positive whole number, got '%1'")
                     .arg(parser.value(QStringLiteral("count"))));
            return false;
        }
        count = static_cast<int>(wanted);
    }
    return true;
}

bool Ctl_options::read_set(const QCommandLineParser &parser)
{
    for (int input = 0; input < Unit_status::input_count; ++input) {
        const QString name = gain_option(input);
        double typed = 0;
        if (!parser.isSet(name))
            continue;
        if (!read_number(parser, name, &typed))
            return false;
        const double db = Operator_settings::as_entered(typed);
        if (!Operator_settings::gain_in_range(db)) {
            fail(tr("--%1: expected %2 to %3 dB, got '%4'")
                     .arg(name)
                     .arg(Operator_settings::min_gain_db, 0, 'f', Operator_settings::gain_decimals)
                     .arg(Operator_settings::max_gain_db, 0, 'f', Operator_settings::gain_decimals)
                     .arg(parser.value(name)));
            return false;
        }
        gains_db[static_cast<std::size_t>(input)] = db;
    }
    if (!read_threshold(parser, &threshold_dbm) || !read_retries(parser))
        return false;
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
           "unit's timeline in time order, and reports what happened: the time span, each "
           "channel's power (minimum, mean, maximum) and its time below the unit's threshold, "
           "module temperatures, faults, lock and link losses, Dante and threshold changes, "
           "silences, CRC mismatches and lost ports. Times are UTC. Time without data (a "
           "silence, a lost port, a gap between records, a clock step) is never counted or "
           "drawn as data. A line that cannot be used is named on standard error, once per "
           "kind and record, and left out; unless it is a last line cut off or an event of a "
           "newer writer, the exit code is then 10, as it is for a file that is not a record. "
           "Records that overlap in time are refused (exit 10): they are not one unit's.\n\n"
           "With --fail-on the report is also a verdict: the exit code is 9 when any status "
           "shows what a named check looks for, however briefly (or the records hold no status "
           "at all), and 12 when a check could not be judged and none failed: a unit below "
           "protocol 2.0 reports no threshold (--threshold gives one), link states not valid, "
           "no Dante submodule. --fail-on may be repeated.\n\n") +
        exit_codes_text(Command::report));
    parser.addPositionalArgument(QStringLiteral("RECORD"),
                                 tr("a JSON record file, or - for standard input"),
                                 QStringLiteral("RECORD..."));
    parser.addOption({QStringLiteral("format"),
                      tr("text, json, or html: one self-contained page with zoomable charts; "
                         "without it, the format of -o's name (.html, .json, anything else "
                         "text), or text"),
                      QStringLiteral("FORMAT"), QStringLiteral("text")});
    parser.addOption({{QStringLiteral("o"), QStringLiteral("output")},
                      tr("write the report to FILE instead of standard output; FILE.html is a "
                         "page and FILE.json JSON unless --format says otherwise"),
                      QStringLiteral("FILE")});
    parser.addOption(
        {QStringLiteral("fail-on"),
         tr("fail (exit 9) on any of: %1").arg(Verdict::all_names().join(QLatin1Char(','))),
         QStringLiteral("LIST")});
    parser.addOption({QStringLiteral("threshold"),
                      tr("judge the Rx powers of statuses that report no threshold (protocol "
                         "below 2.0) against DBM, a whole number from -35 to 0"),
                      QStringLiteral("DBM")});
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
    // A page named night.html is a page; --format, when given, has the last word.
    const QString suffix = QFileInfo(output_path).suffix().toLower();
    if (!parser.isSet(QStringLiteral("format")) && suffix == QLatin1String("html"))
        report_format = Report_format::html;
    else if (!parser.isSet(QStringLiteral("format")) && suffix == QLatin1String("json"))
        report_format = Report_format::json;
    QString error;
    if (parser.isSet(QStringLiteral("fail-on")) &&
        !Verdict::parse(parser.values(QStringLiteral("fail-on")), &checks, &error)) {
        fail(QStringLiteral("--fail-on: ") + error);
        return false;
    }
    if (!read_threshold(parser, &judged_threshold_dbm))
        return false;
    records = parser.positionalArguments();
    if (records.isEmpty()) {
        fail(tr("no record given: name one or more, or - for standard input"));
        return false;
    }
    return true;
}

bool Ctl_options::read_threshold(const QCommandLineParser &parser, std::optional<int> *dbm)
{
    if (!parser.isSet(QStringLiteral("threshold")))
        return true;
    double number = 0;
    if (!read_number(parser, QStringLiteral("threshold"), &number))
        return false;
    if (!is_whole(number) || !Control_payload::threshold_in_range(static_cast<int>(number))) {
        fail(tr("--threshold: expected a whole number of dBm from %1 to %2, got '%3'")
                 .arg(Control_payload::threshold_min_dbm)
                 .arg(Control_payload::threshold_max_dbm)
                 .arg(parser.value(QStringLiteral("threshold"))));
        return false;
    }
    *dbm = static_cast<int>(number);
    return true;
}

bool Ctl_options::read_retries(const QCommandLineParser &parser)
{
    if (!parser.isSet(QStringLiteral("retries")))
        return true;
    double times = 0;
    if (!read_number(parser, QStringLiteral("retries"), &times))
        return false;
    if (!is_whole(times) || times < 0 || times > max_retries) {
        fail(tr("--retries: expected a whole number from 0 to %1, got '%2'")
                 .arg(max_retries)
                 .arg(parser.value(QStringLiteral("retries"))));
        return false;
    }
    retries = static_cast<int>(times);
    return true;
}

bool Ctl_options::read_number(const QCommandLineParser &parser, const QString &option,
                              double *number)
{
    const QString text = parser.value(option);
    bool ok = false;
    *number = text.toDouble(&ok);
    if (ok && std::isfinite(*number))
        return true;
    QString message = tr("--%1: '%2' is not a number").arg(option, text);
    // A decimal comma, as some locales write it.
    QString with_point = text;
    with_point.replace(QLatin1Char(','), QLatin1Char('.'));
    bool point_works = false;
    with_point.toDouble(&point_works);
    if (point_works)
        message += tr(" (the decimal separator is a point: %1)").arg(with_point);
    fail(message);
    return false;
}

bool Ctl_options::is_whole(double number)
{
    return std::floor(number) == number;
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
    options.fail(options.error_line(error));
    return options;
}

QString Ctl_options::error_line(const QString &error) const
{
    return command == Command::none
               ? program + QStringLiteral(": ") + error
               : program + QLatin1Char(' ') + command_word(command) + QStringLiteral(": ") + error;
}
