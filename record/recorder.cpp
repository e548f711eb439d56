#include "record/recorder.h"

#include "console/whole_write.h"
#include "record/event_fields.h"
#include "record/record_format.h"
#include "record/status_fields.h"
#include "session/session.h"

#include <QtCore/QCoreApplication>
#include <QtCore/QDateTime>
#include <QtCore/QFileDevice>

static_assert(Event_fields::no_time == Link_watchdog::no_time,
              "a verdict without a frame is written as a since of null");

Recorder::Recorder(Session &session, const Record_format &format, QIODevice &sink, Policy policy,
                   QObject *parent)
    : QObject(parent), session(session), format(format), sink(sink), policy(policy)
{
    connect(&session, &Session::status_received, this, &Recorder::on_status);
    connect(&session, &Session::values_known_changed, this, &Recorder::on_values);
    connect(&session, &Session::crc_mismatch, this,
            [this] { write_event(Record_event::crc_mismatch); });
    connect(&session, &Session::short_message, this,
            [this] { write_event(Record_event::short_message); });
    connect_port_events(session);
    connect_run_events(session);
    const QString header = format.header();
    if (!header.isEmpty())
        write_line(header);
}

void Recorder::connect_run_events(Session &session)
{
    connect(&session, &Session::port_opening, this, &Recorder::begin_run);
    connect(&session, &Session::control_sent, this, &Recorder::on_sent);
    connect(&session, &Session::ack_timed_out, this,
            [this] { write_event(Record_event::ack_timeout); });
}

void Recorder::begin_run(const Port_settings &port)
{
    Record_start start;
    start.program = QCoreApplication::applicationName();
    start.program_version = QCoreApplication::applicationVersion();
    start.port = port.name;
    start.baud_rate = port.baud_rate;
    // Choosing the same port again goes on with the same run.
    if (run_open && start == last_start)
        return;
    end_run(Record_end::closed);
    run_open = true;
    last_start = start;
    port_gone = false;
    write_event_fields(Record_event::start, Event_fields::of(start));
}

void Recorder::end_run(Record_end why)
{
    if (!run_open)
        return;
    run_open = false;
    write_event_fields(Record_event::end,
                       Event_fields::end(port_gone ? Record_end::port_lost : why));
}

void Recorder::on_sent(const Control_payload &values)
{
    write_event_fields(Record_event::sent, Event_fields::of(values));
}

void Recorder::connect_port_events(Session &session)
{
    connect(&session, &Session::port_lost, this, &Recorder::on_port_lost);
    connect(&session, &Session::port_unavailable, this, [this](const QString &error) {
        port_gone = true;
        write_event(Record_event::port_unavailable, error);
    });
    connect(&session, &Session::port_reopened, this, [this] {
        port_gone = false;
        write_event(Record_event::reopened);
    });
}

void Recorder::on_status(const Unit_status &status)
{
    if (policy != Policy::every_status && have_last && Status_fields::read_alike(status, last))
        return;
    last = status;
    have_last = true;
    write_line(format.status_line(now(), status));
    ++written_statuses;
    Q_EMIT status_written(written_statuses);
}

// Silent and connected tell whether the unit's values are known, not
// whether frames arrive: a stretch of damaged frames is a silence in the
// record, as it is in the exporter, and a reader of the record holds no
// status across it.
void Recorder::on_values(Link_watchdog::Values values)
{
    // Stamped when judged, up to two periods late; since says when it began.
    if (values.known) {
        write_event_fields(Record_event::connected, Event_fields::since(values.since_ms));
        return;
    }
    write_event_fields(Record_event::silent, Event_fields::since(values.since_ms));
    if (policy == Policy::changes_per_connection)
        have_last = false;
}

void Recorder::on_port_lost(const QString &error)
{
    port_gone = true;
    write_event(Record_event::port_lost, error);
    if (policy == Policy::changes_per_connection)
        have_last = false;
}

void Recorder::write_event(Record_event event, const QString &detail)
{
    write_line(format.event_line(now(), event, detail));
}

void Recorder::write_event_fields(Record_event event,
                                  const std::vector<Status_fields::Field> &fields)
{
    write_line(format.event_fields_line(now(), event, fields));
}

// The session's clock, so that a line's time and the since it carries agree.
QDateTime Recorder::now() const
{
    return QDateTime::fromMSecsSinceEpoch(session.now_ms(), Qt::UTC);
}

void Recorder::write_line(const QString &line)
{
    if (!failure_reason.isEmpty())
        return;
    // One write per line: whoever reads the file as it grows never sees half
    // of one.
    const QByteArray bytes = line.toUtf8() + '\n';
    auto *file = qobject_cast<QFileDevice *>(&sink);
    if (file != nullptr && file->handle() >= 0) {
        // Straight to the descriptor, after whatever the device still held:
        // a stalled pipe cannot hold it past a stop, and a line refused
        // halfway is taken back from a file.
        if (!file->flush()) {
            stop_writing(file->errorString());
            return;
        }
        const Whole_write::Result result = Whole_write::to(file->handle(), bytes);
        if (result.outcome != Whole_write::Outcome::written)
            stop_writing(qt_error_string(result.error));
        return;
    }
    // Any other device is asked for the rest of a line it took part of,
    // which fails with the reason.
    qint64 written = 0;
    while (written < bytes.size()) {
        const qint64 result = sink.write(bytes.constData() + written, bytes.size() - written);
        if (result <= 0)
            break;
        written += result;
    }
    if (written < bytes.size())
        stop_writing(sink.errorString());
}

void Recorder::stop_writing(const QString &reason)
{
    failure_reason = reason;
    if (failure_reason.isEmpty())
        failure_reason = tr("the line was not written whole");
    Q_EMIT write_failed(failure_reason);
}
