#include "app/display_fit.h"
#include "app/mainwindow.h"
#include "app/run_window.h"
#include "app/window_command_line.h"
#include "console/console_output.h"
#include "console/exit_code.h"

#include <QtWidgets/QApplication>

#ifdef Q_OS_UNIX
#include "console/signal_watcher.h"
#endif

#include <cstdio>

namespace {

QStringList raw_arguments(int argc, char *argv[])
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    return arguments;
}

int print(FILE *stream, const QString &text, int exit_code)
{
    std::fprintf(stream, "%s\n", qPrintable(text));
    return exit_code;
}

int report(const Window_command_line &line)
{
    if (line.outcome == Window_command_line::Outcome::error) {
        // The line quotes what was typed, a path perhaps: shown, not acted on.
        Console_output::error(QCoreApplication::applicationName() + QStringLiteral(": ") +
                              line.text);
        return exit_bad_arguments;
    }
    return print(stdout, line.text.trimmed(), 0);
}

} // namespace

int main(int argc, char *argv[])
{
#ifdef Q_OS_UNIX
    // A record or a cache that cannot be written is a failed write, not a death.
    Signal_watcher::survive_failed_writes();
#endif
    QCoreApplication::setApplicationName(QStringLiteral("velmar-serial-port"));
    QCoreApplication::setApplicationVersion(QStringLiteral(VELMAR_VERSION));
    // Help needs no display, and must not wait for one.
    if (Window_command_line::asks_for_text(raw_arguments(argc, argv))) {
        const QCoreApplication console(argc, argv);
        return report(Window_command_line::parse(QCoreApplication::arguments()));
    }

    Display_fit::prepare_scaling();
    QApplication application(argc, argv);
    const Window_command_line line = Window_command_line::parse(QApplication::arguments());
    if (line.outcome != Window_command_line::Outcome::run)
        return report(line);

#ifdef Q_OS_UNIX
    // Ctrl-C and SIGTERM close the window as its close button does, settings saved.
    Signal_watcher signals_in;
    return run_window(line, [&signals_in](Session &, MainWindow &window) {
        QObject::connect(&signals_in, &Signal_watcher::terminate_requested, &window,
                         &MainWindow::close);
    });
#else
    return run_window(line);
#endif
}
