#ifndef VELMAR_APP_WINDOW_RECORD_H
#define VELMAR_APP_WINDOW_RECORD_H

#include "record/json_record_format.h"

#include <QtCore/QCoreApplication>
#include <QtCore/QFile>
#include <QtCore/QObject>
#include <QtCore/QString>

#include <memory>

class Recorder;
class Session;

// The window's --record FILE: the session's JSON record appended to the
// file. When the file stops taking lines (a full disk) the record ends with
// its last whole line, the operator is told once, and the window goes on.
class Window_record : public QObject
{
    Q_OBJECT

public:
    Window_record(Session &session, const QString &path, QObject *parent = nullptr);
    ~Window_record() override;

    // False, with error(), when the file cannot be opened for appending.
    bool open();
    QString error() const { return file.errorString(); }
    // The window closed: the run's end line, if a run was recorded.
    void close();
    QString path() const { return file.fileName(); }
    // Why the record stopped; empty while it goes on. The start line is
    // written as soon as a port opens, which can be before anyone listens
    // to stopped() (the window opens its start port as it is made).
    QString failure() const;

Q_SIGNALS:
    // The first line the file refused, and why; also written once on stderr.
    void stopped(const QString &path, const QString &reason);

private:
    void on_write_failed(const QString &reason);

    Session &session;
    QFile file;
    const Json_record_format format;
    std::unique_ptr<Recorder> recorder;
};

#endif
