#include "record/recorder.h"

#include "record/record_format.h"
#include "session/session.h"

#include <QtCore/QDateTime>
#include <QtCore/QFileDevice>

Recorder::Recorder(Session &session, const Record_format &format, QIODevice &sink, Policy policy,
                   QObject *parent)
    : QObject(parent), format(format), sink(sink), policy(policy)
{
    connect(&session, &Session::status_received, this, &Recorder::on_status);
    connect(&session, &Session::link_changed, this, &Recorder::on_link);
    connect(&session, &Session::crc_mismatch, this,
            [this] { write_event(Record_event::crc_mismatch); });
    connect(&session, &Session::short_message, this,
            [this] { write_event(Record_event::short_message); });
    connect(&session, &Session::port_lost, this, &Recorder::on_port_lost);
    connect(&session, &Session::port_reopened, this,
            [this] { write_event(Record_event::reopened); });
    const QString header = format.header();
    if (!header.isEmpty())
        write_line(header);
}

void Recorder::on_status(const Unit_status &status)
{
    if (policy != Policy::every_status && have_last && status == last)
        return;
    last = status;
    have_last = true;
    write_line(format.status_line(QDateTime::currentDateTimeUtc(), status));
    ++written_statuses;
    Q_EMIT status_written(written_statuses);
}

void Recorder::on_link(Link_watchdog::Verdict verdict)
{
    const bool now_live = verdict.state == Link_watchdog::State::receiving ||
                          verdict.state == Link_watchdog::State::connected;
    if (now_live && !live)
        write_event(Record_event::connected);
    if (verdict.state == Link_watchdog::State::silent) {
        write_event(Record_event::silent);
        if (policy == Policy::changes_per_connection)
            have_last = false;
    }
    live = now_live;
}

void Recorder::on_port_lost(const QString &error)
{
    write_event(Record_event::port_lost, error);
    if (policy == Policy::changes_per_connection)
        have_last = false;
}

void Recorder::write_event(Record_event event, const QString &detail)
{
    write_line(format.event_line(QDateTime::currentDateTimeUtc(), event, detail));
}

void Recorder::write_line(const QString &line)
{
    // One write per line: whoever reads the file as it grows never sees half of one.
    const QByteArray bytes = line.toUtf8() + '\n';
    bool written = sink.write(bytes) == bytes.size();
    if (auto *file = qobject_cast<QFileDevice *>(&sink))
        written = file->flush() && written;
    if (!written)
        Q_EMIT write_failed();
}
