#ifndef VELMAR_CTL_CTL_OPTIONS_H
#define VELMAR_CTL_CTL_OPTIONS_H

#include "protocol/unit_status.h"
#include "record/record_format.h"
#include "record/recorder.h"
#include "report/verdict.h"
#include "session/port_settings.h"

#include <QtCore/QCoreApplication>
#include <QtCore/QString>
#include <QtCore/QStringList>

#include <array>
#include <optional>
#include <vector>

class QCommandLineParser;

// The command line of velmar-ctl, checked in full before anything is opened
// or sent: a bad value ends the run with one line saying which, and exit 2.
class Ctl_options
{
    Q_DECLARE_TR_FUNCTIONS(Ctl_options)

public:
    enum class Command
    {
        none, // --help or --version of the program itself
        ports,
        watch,
        set,
        report,
    };

    enum class Report_format
    {
        text,
        json,
        html,
    };

    enum class Outcome
    {
        run,
        help,    // text holds it, for stdout
        version, // text holds it, for stdout
        error,   // text holds the one line, for stderr
    };

    Command command = Command::none;
    Outcome outcome = Outcome::run;
    QString text;

    Port_settings port;
    // watch
    Record_format::Kind format = Record_format::Kind::json;
    Recorder::Policy policy = Recorder::Policy::every_status;
    int duration_ms = 0; // 0: until Ctrl-C
    int count = 0;       // 0: no limit
    // set
    static constexpr int default_retries = 2;
    static constexpr int max_retries = 100;
    // By input index; the command line numbers them from 1 (--gain1, --gain2).
    std::array<std::optional<double>, Unit_status::input_count> gains_db;
    std::optional<int> threshold_dbm;
    bool defaults = false;
    // report
    Report_format report_format = Report_format::text;
    QString output_path; // empty: standard output
    std::vector<Verdict::Check> checks;
    // What Rx powers are judged against where a status reports no threshold.
    std::optional<int> judged_threshold_dbm;
    QStringList records;
    // How often the frame is sent again when the unit shows no sign of taking it.
    int retries = default_retries;

    // arguments[0] is the program's name, as in QCoreApplication::arguments().
    static Ctl_options parse(const QStringList &arguments);
    // The exit codes the command can give; of every command for none.
    static QString exit_codes_text(Command command);
    // "velmar-ctl set: " and the error, as every error line of the command reads.
    QString error_line(const QString &error) const;

private:
    static Ctl_options failed(Command command, const QString &error);
    static Ctl_options parse_command(Command command, const QStringList &arguments);
    static void add_options(Command command, QCommandLineParser &parser);
    bool read_port(const QCommandLineParser &parser);
    bool read_watch(const QCommandLineParser &parser);
    bool read_set(const QCommandLineParser &parser);
    static void add_report_options(QCommandLineParser &parser);
    bool read_report(const QCommandLineParser &parser);
    bool read_retries(const QCommandLineParser &parser);
    // --threshold, a whole number of dBm a unit takes, into *dbm when given.
    bool read_threshold(const QCommandLineParser &parser, std::optional<int> *dbm);
    // False, with the message, for a value that is no number at all; the
    // caller checks the range.
    bool read_number(const QCommandLineParser &parser, const QString &option, double *number);
    static bool is_whole(double number);
    // QCommandLineParser's own errors in the style of the others.
    static QString restyled(const QString &parser_error);
    void fail(const QString &error);
};

#endif
