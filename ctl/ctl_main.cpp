// velmar-ctl: the unit from a shell script or a test bench, without a window.
// See `velmar-ctl --help` and docs/record-format.md.

#include "console/console_output.h"
#include "console/exit_code.h"
#include "ctl/ctl_options.h"
#include "ctl/ports_command.h"
#include "ctl/report_command.h"
#include "ctl/set_command.h"
#include "ctl/watch_command.h"

#include <QtCore/QCoreApplication>
#include <QtCore/QLoggingCategory>

#ifdef Q_OS_UNIX
#include "console/signal_watcher.h"
#endif

namespace {

// Ctrl-C and SIGTERM reach the command, which ends as it sees fit: a watch
// normally, a set never as a success.
template <typename Command> int run_stoppable(Command &command)
{
#ifdef Q_OS_UNIX
    Signal_watcher signals_in;
    QObject::connect(&signals_in, &Signal_watcher::terminate_requested, &command, &Command::stop);
#endif
    return command.run();
}

int run(const Ctl_options &options)
{
    switch (options.command) {
    case Ctl_options::Command::ports:
        return Ports_command::run();
    case Ctl_options::Command::watch: {
        Watch_command watch(options);
        return run_stoppable(watch);
    }
    case Ctl_options::Command::set: {
        Set_command set(options);
        return run_stoppable(set);
    }
    // A report runs no event loop: Ctrl-C ends it as it ends any program,
    // but for the writing of its output (Report_command::write).
    case Ctl_options::Command::report:
        return Report_command(options).run();
    case Ctl_options::Command::none:
        break;
    }
    return exit_bad_arguments;
}

bool print_text(const Ctl_options &options)
{
    if (Console_output::data(options.text))
        return true;
    Console_output::error(options.error_line(
        QStringLiteral("cannot write the output: %1").arg(Console_output::write_error())));
    return false;
}

} // namespace

int main(int argc, char *argv[])
{
#ifdef Q_OS_UNIX
    Signal_watcher::survive_failed_writes();
#endif
    QCoreApplication application(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("velmar-ctl"));
    QCoreApplication::setApplicationVersion(QStringLiteral(VELMAR_VERSION));
    // The session's debug lines (a bad CRC, a time-out) are events of the
    // record here, or errors this program words itself.
    QLoggingCategory::setFilterRules(QStringLiteral("default.debug=false"));

    const Ctl_options options = Ctl_options::parse(QCoreApplication::arguments());
    switch (options.outcome) {
    case Ctl_options::Outcome::help:
    case Ctl_options::Outcome::version:
        return print_text(options) ? exit_done : exit_output_failed;
    case Ctl_options::Outcome::error:
        Console_output::error(options.text);
        return exit_bad_arguments;
    case Ctl_options::Outcome::run:
        break;
    }
    return run(options);
}
