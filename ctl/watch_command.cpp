#include "ctl/watch_command.h"

#include "console/console_output.h"
#include "console/exit_code.h"
#include "console/stop_request.h"
#include "ctl/ctl_options.h"
#include "ctl/set_command.h"
#include "record/record_format.h"
#include "record/recorder.h"
#include "session/port_device.h"
#include "session/session.h"

#include <QtCore/QCoreApplication>

namespace {

constexpr int standard_output = 1;

} // namespace

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
        Console_output::error(
            tr("velmar-ctl watch: cannot open %1: %2")
                .arg(Port_device::path(options.port.name), session->port_error()));
        return exit_port_unavailable;
    }
    if (session->port_is_open()) {
        if (!begin_record())
            return exit_output_failed;
    } else {
        // A terminal server's port opens after open_port() returned: its
        // record begins then, or nothing is written, as for a device that
        // does not open.
        connect(session.get(), &Session::port_opened, this, [this] { begin_record(); });
        connect(session.get(), &Session::port_unavailable, this,
                &Watch_command::on_port_unavailable);
    }
    if (options.duration_ms > 0)
        QTimer::singleShot(options.duration_ms, this, [this] { end_listening(); });
    if (options.count > 0) {
        // Counted statuses are awaited: a unit that falls silent ends the watch.
        status_due.setSingleShot(true);
        connect(&status_due, &QTimer::timeout, this, &Watch_command::on_status_overdue);
        status_due.start(Set_command::first_status_timeout_ms);
        // The wait for the first status starts when the port has opened.
        connect(session.get(), &Session::port_opened, this, [this] {
            if (status_due.isActive())
                status_due.start();
        });
    }
    return QCoreApplication::exec();
}

bool Watch_command::begin_record()
{
    // Unbuffered: a line the output refuses halfway is known at once, and
    // taken back from a file.
    output.open(standard_output, QIODevice::WriteOnly | QIODevice::Unbuffered);
    format = Record_format::make(options.format);
    recorder = std::make_unique<Recorder>(*session, *format, output, options.policy);
    recorder->begin_run(options.port);
    if (!recorder->failure().isEmpty()) {
        on_write_failed(recorder->failure());
        return false;
    }
    connect(recorder.get(), &Recorder::write_failed, this, &Watch_command::on_write_failed);
    connect(recorder.get(), &Recorder::status_written, this, &Watch_command::on_status_written);
    connect(session.get(), &Session::status_received, this, &Watch_command::on_status_heard);
    return true;
}

void Watch_command::stop(int)
{
    end_listening(Record_end::signal);
}

void Watch_command::on_status_heard()
{
    heard_status = true;
    if (status_due.isActive())
        status_due.start();
}

void Watch_command::on_status_written(int written)
{
    if (options.count > 0 && written >= options.count)
        finish(exit_done, Record_end::done);
}

void Watch_command::on_write_failed(const QString &reason)
{
    // A line that a stalled output did not take before Ctrl-C or SIGTERM is
    // the signal's end of the watch, not a failed output.
    if (Stop_request::pending()) {
        end_listening(Record_end::signal);
        return;
    }
    Console_output::error(tr("velmar-ctl watch: cannot write the output: %1").arg(reason));
    finish(exit_output_failed, Record_end::done);
}

void Watch_command::end_listening(Record_end why)
{
    if (ended || heard_status) {
        finish(exit_done, why);
        return;
    }
    Console_output::error(tr("velmar-ctl watch: no status from the unit"));
    finish(exit_no_status, why);
}

void Watch_command::on_status_overdue()
{
    Console_output::error(tr("velmar-ctl watch: no status from the unit within %1 s")
                              .arg(Set_command::first_status_timeout_s));
    finish(exit_no_status, Record_end::no_status);
}

void Watch_command::on_port_unavailable(const QString &error)
{
    Console_output::error(tr("velmar-ctl watch: cannot open %1: %2")
                              .arg(Port_device::path(options.port.name), error));
    finish(exit_port_unavailable, Record_end::port_lost);
}

void Watch_command::finish(int exit_code, Record_end why)
{
    // Leaving the loop takes effect after this read: nothing more is written
    // (a read holds many statuses, and --count means the count), and the
    // first ending stands: a line that failed and also reached the count
    // still ends the watch with the failure, whatever the timer says after.
    if (ended)
        return;
    ended = true;
    status_due.stop();
    session->disconnect(this);
    if (recorder) {
        session->disconnect(recorder.get());
        recorder->disconnect(this);
        // Nothing after it: the session's lines stop here. A failed output
        // takes no more lines, this one neither.
        recorder->end_run(why);
    }
    QCoreApplication::exit(exit_code);
}
