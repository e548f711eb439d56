// velmar-unit-sim: a stand-in unit for trying the tool, training on it and
// reproducing field faults without the equipment. See docs/simulator.md.

#include "console/signal_watcher.h"
#include "simulator/sim_cli.h"
#include "simulator/stdin_reader.h"
#include "simulator/unit_simulator.h"

#include <QtCore/QCoreApplication>

#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr int exit_bad_usage = 2;
constexpr int exit_line_failure = 1;

void print_line(FILE *stream, const QString &text)
{
    std::fprintf(stream, "%s\n", text.toLocal8Bit().constData());
    std::fflush(stream);
}

void print_error(const QString &text)
{
    print_line(stderr, QStringLiteral("velmar-unit-sim: ") + text);
}

// A descriptor 0, 1 or 2 that is closed would be handed out again, to the
// pseudo-terminal for instance, and then be read as commands or written as text.
void fill_standard_descriptors()
{
    for (int fd = 0; fd <= 2; ++fd) {
        if (::fcntl(fd, F_GETFD) == -1)
            ::open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
    }
}

void run_command(Unit_simulator &unit, const QString &line)
{
    QString reply;
    if (!unit.execute(line, &reply)) {
        print_error(reply);
        return;
    }
    if (!reply.isEmpty())
        print_line(stdout, reply.endsWith(QLatin1Char('\n')) ? reply.chopped(1) : reply);
}

bool start(Unit_simulator &unit, const Sim_cli &cli)
{
    const bool started =
        cli.device.isEmpty() ? unit.start_on_pty() : unit.start_on_device(cli.device, cli.baud);
    if (!started)
        print_error(unit.error_string());
    return started;
}

QString summary(const Unit_simulator &unit)
{
    return QCoreApplication::translate(
               "main", "velmar-unit-sim: stopped; status frames sent: %1, control frames "
                       "received: %2 (with a bad CRC: %3)")
        .arg(unit.frames_sent())
        .arg(unit.control_frames_received())
        .arg(unit.control_frames_rejected());
}

} // namespace

int main(int argc, char *argv[])
{
    fill_standard_descriptors();
    // A reader of our output that goes away must not kill us mid-line, and
    // started in the background of a shell we must not be stopped for reading
    // the terminal: the read fails instead and only the commands end.
    ::signal(SIGPIPE, SIG_IGN);
    ::signal(SIGTTIN, SIG_IGN);

    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("velmar-unit-sim"));

    const Sim_cli cli = Sim_cli::parse(QCoreApplication::arguments());
    if (cli.outcome == Sim_cli::Outcome::help) {
        print_line(stdout, Sim_cli::help_text());
        return 0;
    }
    if (cli.outcome == Sim_cli::Outcome::error) {
        print_error(cli.error + QCoreApplication::translate("main", " (see --help)"));
        return exit_bad_usage;
    }

    Unit_simulator unit;
    if (cli.seeded)
        unit.seed(cli.seed);

    Signal_watcher signals_in;
    QObject::connect(&signals_in, &Signal_watcher::terminate_requested, &app,
                     [&app](int) { app.quit(); });
    QObject::connect(&unit, &Unit_simulator::quit_requested, &app, &QCoreApplication::quit);
    QObject::connect(&unit, &Unit_simulator::line_failed, &app, [&app](const QString &error) {
        print_error(error);
        app.exit(exit_line_failure);
    });
    QObject::connect(&unit, &Unit_simulator::log_line, &app,
                     [](const QString &line) { print_line(stdout, line); });
    QObject::connect(&unit, &Unit_simulator::line_replugged, &app, [](const QString &path) {
        print_line(stdout, QCoreApplication::translate("main", "replugged: %1").arg(path));
    });
    unit.set_link_path(cli.link);

    if (!start(unit, cli))
        return exit_line_failure;
    // Starting the line ends any silence, so the commands come after it; no
    // frame leaves before the event loop runs.
    for (const QString &command : cli.commands)
        run_command(unit, command);
    print_line(stdout, unit.slave_path());

    Stdin_reader input;
    QObject::connect(&input, &Stdin_reader::line_read, &app,
                     [&unit](const QString &line) { run_command(unit, line); });

    const int result = app.exec();
    unit.stop();
    print_line(stdout, summary(unit));
    return result;
}
