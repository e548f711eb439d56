#include "app/window_record.h"

#include "console/console_output.h"
#include "record/recorder.h"

Window_record::Window_record(Session &session, const QString &path, QObject *parent)
    : QObject(parent), session(session), file(path)
{
}

Window_record::~Window_record() = default;

bool Window_record::open()
{
    // Unbuffered: a line the disk refuses halfway is known at once and taken back.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered))
        return false;
    recorder =
        std::make_unique<Recorder>(session, format, file, Recorder::Policy::changes_per_connection);
    connect(recorder.get(), &Recorder::write_failed, this, &Window_record::on_write_failed);
    return true;
}

void Window_record::close()
{
    if (recorder)
        recorder->end_run(Record_end::closed);
}

QString Window_record::failure() const
{
    return recorder ? recorder->failure() : QString();
}

void Window_record::on_write_failed(const QString &reason)
{
    Console_output::error(QCoreApplication::translate("main", "%1: recording to %2 stopped: %3")
                              .arg(QCoreApplication::applicationName(), file.fileName(), reason));
    Q_EMIT stopped(file.fileName(), reason);
}
