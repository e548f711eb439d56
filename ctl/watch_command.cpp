#include "ctl/watch_command.h"

#include "console/console_output.h"
#include "console/exit_code.h"
#include "ctl/ctl_options.h"
#include "record/record_format.h"
#include "record/recorder.h"
#include "session/session.h"

#include <QtCore/QCoreApplication>
#include <QtCore/QTimer>

Watch_command::Watch_command(const Ctl_options &options, QObject *parent)
    : QObject(parent), options(options)
{
}

Watch_command::~Watch_command() = default;

int Watch_command::run()
{
    session = std::make_unique<Session>();
    session->set_listen_only(true);
    if (!session->open_port(options.port)) {
        Console_output::error(tr("velmar-ctl watch: cannot open %1: %2")
                                  .arg(options.port.name, session->port_error()));
        return exit_port_unavailable;
    }
    output.open(stdout, QIODevice::WriteOnly);
    format = Record_format::make(options.format);
    recorder = std::make_unique<Recorder>(*session, *format, output, options.policy);
    recorder->begin_run(options.port);
    connect(recorder.get(), &Recorder::write_failed, this, [this] { finish(exit_output_failed); });
    connect(recorder.get(), &Recorder::status_written, this, [this](int written) {
        if (options.count > 0 && written >= options.count)
            finish(exit_done);
    });
    if (options.duration_ms > 0)
        QTimer::singleShot(options.duration_ms, this, [this] { finish(exit_done); });
    return QCoreApplication::exec();
}

void Watch_command::finish(int exit_code)
{
    // Leaving the loop takes effect after this read: nothing more is written
    // (a read holds many statuses, and --count means the count), and the
    // first ending stands: a line that failed and also reached the count
    // still ends the watch with the failure, whatever the timer says after.
    if (ended)
        return;
    ended = true;
    session->disconnect(recorder.get());
    session->disconnect(this);
    recorder->disconnect(this);
    QCoreApplication::exit(exit_code);
}
