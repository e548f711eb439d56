#include "ctl/report_command.h"

#include "console/console_output.h"
#include "console/exit_code.h"
#include "console/stop_request.h"
#include "ctl/ctl_options.h"
#include "ctl/report_output.h"
#include "record/record_problems.h"
#include "record/record_timeline.h"
#include "report/chart_library.h"
#include "report/html_report.h"
#include "report/json_report.h"
#include "report/report_maker.h"
#include "report/text_report.h"

#include <csignal>

#ifdef Q_OS_UNIX
#include "console/signal_watcher.h"
#endif

namespace {

const QString prefix = QStringLiteral("velmar-ctl report: ");

} // namespace

Report_command::Report_command(const Ctl_options &options) : options(options) {}

int Report_command::run()
{
    // Before reading a day of records: the page cannot be made without it.
    Chart_library library;
    QString error;
    if (options.report_format == Ctl_options::Report_format::html &&
        !library.load(Chart_library::directory(), &error)) {
        Console_output::error(prefix + error);
        return exit_output_failed;
    }
    Record_problems problems;
    Record_timeline timeline(problems);
    timeline.open(options.records);
    const Report report = Report_maker::make(timeline, problems, options.records, options.checks,
                                             options.judged_threshold_dbm);
    for (const QString &line : report.problems)
        Console_output::error(prefix + line);
    // Records that overlap are no one unit's night, and inputs none of which
    // is a record leave nothing to report: a page would pass for a report.
    if (problems.any(Record_problems::Kind::overlap))
        return exit_input_unreadable;
    if (!report.summary.any_line) {
        Console_output::error(prefix + tr("no record line could be read: no report written"));
        return exit_input_unreadable;
    }
    QByteArray text;
    if (options.report_format == Ctl_options::Report_format::html)
        text = Html_report::write(report, library);
    else if (options.report_format == Ctl_options::Report_format::json)
        text = Json_report::write(report);
    else
        text = Text_report::write(report);
    const int written = write(text);
    if (written != exit_done)
        return written;
    // A record missing or not read in full leaves the verdict open, whatever
    // the rest says: a line left out may be the one that shows the fault.
    if (problems.leaves_verdict_open())
        return exit_input_unreadable;
    if (!report.verdict.asked())
        return exit_done;
    switch (report.verdict.result()) {
    case Verdict::Result::failed:
        return exit_verdict_failed;
    case Verdict::Result::not_judged:
        return exit_not_judged;
    case Verdict::Result::passed:
        break;
    }
    return exit_done;
}

int Report_command::write(const QByteArray &text)
{
#ifdef Q_OS_UNIX
    // Until now a signal ended the report at once, as it ends any program;
    // from here on it is noted, so that no write waits past it and nothing
    // is left half written.
    Signal_watcher::note_stops();
#endif
    QString error;
    switch (Report_output::write(options.output_path, text, &error)) {
    case Report_output::Outcome::written:
        return exit_done;
    case Report_output::Outcome::failed:
        Console_output::error(prefix + error);
        return exit_output_failed;
    case Report_output::Outcome::stopped:
        break;
    }
    Console_output::error(prefix + tr("stopped before the report was written whole"));
    return Stop_request::signal_number() == SIGINT ? exit_interrupted : exit_terminated;
}
