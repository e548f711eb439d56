#ifndef VELMAR_RECORD_RECORDER_H
#define VELMAR_RECORD_RECORDER_H

#include "protocol/unit_status.h"
#include "record/record_end.h"
#include "record/record_event.h"
#include "record/record_start.h"
#include "record/status_fields.h"
#include "session/link_watchdog.h"

#include <QtCore/QObject>
#include <QtCore/QString>

#include <vector>

class Control_payload;
class QIODevice;
class Record_format;
class Session;
struct Port_settings;

// Writes what a session hears as a record: one line per status kept by the
// policy and one per event, each written whole and flushed at once, so that
// a record cut off by a crash or a pulled plug ends with a complete line.
// A file sink is written through its descriptor (Whole_write): a line it
// refuses halfway is taken back from a regular file, so the record stops
// there, whole, and a stalled pipe cannot hold the program past SIGINT or
// SIGTERM.
class Recorder : public QObject
{
    Q_OBJECT

public:
    enum class Policy
    {
        every_status,
        // The first status, then those whose line would differ from the last
        // written (Status_fields::read_alike).
        changes,
        changes_per_connection, // the same, starting over at every connection
    };

    // Writes the format's header, if it has one, at once. Each port the
    // session is asked to open (another than the last) begins a run with a
    // start line naming this program (QCoreApplication's name and version).
    Recorder(Session &session, const Record_format &format, QIODevice &sink, Policy policy,
             QObject *parent = nullptr);

    int statuses_written() const { return written_statuses; }
    // The start line of a run from this port, for a session whose port was
    // opened before the recorder was made; written once per port. A run
    // already begun from another port ends first, closed.
    void begin_run(const Port_settings &port);
    // The end line of the run begun, once: why, or port_lost when the port
    // was lost (or never opened) and had not come back, whatever ended the
    // run, since the unit was not heard again. Written on the normal way
    // out: a writer killed, or stuck on an output that takes nothing, leaves
    // its run without one.
    void end_run(Record_end why);
    // Empty while every line was written; else why the first refused one was
    // not (the header's failure included).
    QString failure() const { return failure_reason; }

Q_SIGNALS:
    void status_written(int count);
    // The sink refused a line (a full disk, a closed pipe), or took none of
    // it before a stop was asked for (Stop_request): nothing more is written,
    // so the record ends with its last whole line. Emitted once.
    void write_failed(const QString &reason);

private:
    void on_status(const Unit_status &status);
    void on_values(Link_watchdog::Values values);
    void on_port_lost(const QString &error);
    void connect_run_events(Session &session);
    void on_sent(const Control_payload &values);
    void connect_port_events(Session &session);
    void write_event(Record_event event, const QString &detail = QString());
    void write_event_fields(Record_event event, const std::vector<Status_fields::Field> &fields);
    QDateTime now() const;
    void write_line(const QString &line);
    void stop_writing(const QString &reason);

    const Session &session;
    const Record_format &format;
    QIODevice &sink;
    const Policy policy;
    bool have_last = false;
    Unit_status last;
    bool run_open = false;
    bool port_gone = false;
    Record_start last_start;
    int written_statuses = 0;
    QString failure_reason;
};

#endif
