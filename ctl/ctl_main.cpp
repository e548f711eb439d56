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

int run(const Ctl_options &options)
{
    switch (options.command) {
    case Ctl_options::Command::ports:
        return Ports_command::run();
    case Ctl_options::Command::watch:
        return Watch_command(options).run();
    case Ctl_options::Command::set:
        return Set_command(options).run();
    case Ctl_options::Command::report:
        return Report_command(options).run();
    case Ctl_options::Command::none:
        break;
    }
    return exit_bad_arguments;
}

} // namespace

int main(int argc, char *argv[])
{
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
        return Console_output::data(options.text) ? exit_done : exit_output_failed;
    case Ctl_options::Outcome::error:
        Console_output::error(options.text);
        return exit_bad_arguments;
    case Ctl_options::Outcome::run:
        break;
    }
    // A report runs no event loop: Ctrl-C ends it as any program, leaving no
    // half-written file behind.
    if (options.command == Ctl_options::Command::report)
        return run(options);
#ifdef Q_OS_UNIX
    // Ctrl-C ends a watch with every line it wrote complete, and exit 0.
    Signal_watcher signals_in;
    QObject::connect(&signals_in, &Signal_watcher::terminate_requested, &application,
                     [] { QCoreApplication::exit(exit_done); });
#endif
    return run(options);
}
