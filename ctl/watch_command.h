#ifndef VELMAR_CTL_WATCH_COMMAND_H
#define VELMAR_CTL_WATCH_COMMAND_H

#include <QtCore/QFile>
#include <QtCore/QObject>

#include <memory>

class Ctl_options;
class Record_format;
class Recorder;
class Session;

// velmar-ctl watch: the session only listens, and a recorder writes what it
// hears to standard output until Ctrl-C, the duration or the count.
class Watch_command : public QObject
{
    Q_OBJECT

public:
    explicit Watch_command(const Ctl_options &options, QObject *parent = nullptr);
    ~Watch_command() override;

    // Returns the exit code once the watch is over.
    int run();

private:
    void finish(int exit_code);

    const Ctl_options &options;
    QFile output;
    std::unique_ptr<Session> session;
    std::unique_ptr<Record_format> format;
    std::unique_ptr<Recorder> recorder;
    bool ended = false;
};

#endif
