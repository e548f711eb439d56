#ifndef VELMAR_CONSOLE_SIGNAL_WATCHER_H
#define VELMAR_CONSOLE_SIGNAL_WATCHER_H

#include <QtCore/QObject>

class QSocketNotifier;

// Turns SIGINT and SIGTERM into a Qt signal on the event loop, through a
// self-pipe: the handler only notes the stop (Stop_request) and writes a
// byte, everything else runs in the loop. A write that was waiting on a
// stalled output gives up on the note (Whole_write), so the loop gets to run.
// One watcher per process.
class Signal_watcher : public QObject
{
    Q_OBJECT

public:
    explicit Signal_watcher(QObject *parent = nullptr);
    ~Signal_watcher() override;

    bool is_watching() const { return notifier != nullptr; }

    // A closed pipe (SIGPIPE) or a file grown to its size limit (SIGXFSZ)
    // fails the write, which the program reports, instead of killing it.
    static void survive_failed_writes();
    // For a program without an event loop, from the moment it starts writing
    // its output: SIGINT and SIGTERM only note the stop, which the writes
    // look at, so that the output is left whole and the program ends on its
    // own. Before that, the signals' default ends it at once.
    static void note_stops();

signals:
    void terminate_requested(int signal_number);

private:
    static void catch_signals();
    static void handle(int signal_number);
    void on_readable();

    QSocketNotifier *notifier = nullptr;
};

#endif
