#ifndef VELMAR_CTL_WATCH_COMMAND_H
#define VELMAR_CTL_WATCH_COMMAND_H

#include "record/record_end.h"

#include <QtCore/QFile>
#include <QtCore/QObject>
#include <QtCore/QTimer>

#include <memory>

class Ctl_options;
class Record_format;
class Recorder;
class Session;

// velmar-ctl watch: the session only listens, and a recorder writes what it
// hears to standard output until Ctrl-C, the duration or the count. A watch
// that heard no status at all says so with its exit code, and one that
// counts statuses does not wait for ever on a silent unit.
class Watch_command : public QObject
{
    Q_OBJECT

public:
    explicit Watch_command(const Ctl_options &options, QObject *parent = nullptr);
    ~Watch_command() override;

    // Returns the exit code once the watch is over.
    int run();
    // Ctrl-C or SIGTERM: the watch's normal end when there is no other.
    void stop(int signal_number);

private:
    // The record to standard output, from its start line on; false when
    // the output refused it.
    bool begin_record();
    void on_status_heard();
    void on_status_written(int written);
    void on_write_failed(const QString &reason);
    // The end by the duration or a signal: done, unless the unit said nothing.
    void end_listening(Record_end why = Record_end::done);
    void on_status_overdue();
    // A terminal server's port could not be reached: as a device that does
    // not open, though it is known only after the open returned.
    void on_port_unavailable(const QString &error);
    // The record ends with its end line, saying why, when it can still be written.
    void finish(int exit_code, Record_end why);

    const Ctl_options &options;
    QFile output;
    std::unique_ptr<Session> session;
    std::unique_ptr<Record_format> format;
    std::unique_ptr<Recorder> recorder;
    // With --count: how long the next status may take.
    QTimer status_due;
    bool heard_status = false;
    bool ended = false;
};

#endif
