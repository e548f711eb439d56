#include "app/window_record.h"

#include "record/recorder.h"

#include <cstdio>

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

void Window_record::on_write_failed(const QString &reason)
{
    const QString line = QCoreApplication::translate("main", "%1: recording to %2 stopped: %3")
                             .arg(QCoreApplication::applicationName(), file.fileName(), reason);
    std::fprintf(stderr, "%s\n", qPrintable(line));
    std::fflush(stderr);
    Q_EMIT stopped(file.fileName(), reason);
}
