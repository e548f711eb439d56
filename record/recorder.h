#ifndef VELMAR_RECORD_RECORDER_H
#define VELMAR_RECORD_RECORDER_H

#include "protocol/unit_status.h"
#include "record/record_event.h"
#include "session/link_watchdog.h"

#include <QtCore/QObject>
#include <QtCore/QString>

class QIODevice;
class Record_format;
class Session;

// Writes what a session hears as a record: one line per status kept by the
// policy and one per event, each written whole and flushed at once, so that
// a record cut off by a crash or a pulled plug ends with a complete line.
class Recorder : public QObject
{
    Q_OBJECT

public:
    enum class Policy
    {
        every_status,
        changes,                // the first status, then those that differ from the last written
        changes_per_connection, // the same, starting over at every connection
    };

    // Writes the format's header, if it has one, at once.
    Recorder(Session &session, const Record_format &format, QIODevice &sink, Policy policy,
             QObject *parent = nullptr);

    int statuses_written() const { return written_statuses; }

Q_SIGNALS:
    void status_written(int count);
    // The sink refused a line (a full disk, a closed pipe).
    void write_failed();

private:
    void on_status(const Unit_status &status);
    void on_link(Link_watchdog::Verdict verdict);
    void on_port_lost(const QString &error);
    void write_event(Record_event event, const QString &detail = QString());
    void write_line(const QString &line);

    const Record_format &format;
    QIODevice &sink;
    const Policy policy;
    bool have_last = false;
    Unit_status last;
    bool live = false; // frames arrived at the last judgement
    int written_statuses = 0;
};

#endif
