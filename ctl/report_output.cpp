#include "ctl/report_output.h"

#include "console/stop_request.h"
#include "console/whole_write.h"

#include <QtCore/QFile>
#include <QtCore/QFileInfo>
#include <QtCore/QSaveFile>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>
#endif

namespace {

constexpr int standard_output_fd = 1;

} // namespace

Report_output::Outcome Report_output::write(const QString &path, const QByteArray &text,
                                            QString *error)
{
    if (path.isEmpty()) {
        int error_number = 0;
        const Outcome outcome = to_descriptor(standard_output_fd, text, &error_number);
        if (outcome == Outcome::failed)
            *error = tr("cannot write the report: %1").arg(qt_error_string(error_number));
        return outcome;
    }
    const QFileInfo target(path);
    if (target.exists() && !target.isFile())
        return to_device(path, text, error);
    // Whole or not at all: a page cut short would pass for a report.
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly) && file.write(text) == text.size() && file.commit())
        return Outcome::written;
    *error = tr("cannot write %1: %2").arg(path, file.errorString());
    return Outcome::failed;
}

Report_output::Outcome Report_output::to_descriptor(int fd, const QByteArray &text,
                                                    int *error_number)
{
    const Whole_write::Result result = Whole_write::to(fd, text);
    *error_number = result.error;
    if (result.outcome == Whole_write::Outcome::written)
        return Outcome::written;
    return result.outcome == Whole_write::Outcome::stopped ? Outcome::stopped : Outcome::failed;
}

#ifdef Q_OS_UNIX
Report_output::Outcome Report_output::to_device(const QString &path, const QByteArray &text,
                                                QString *error)
{
    const QByteArray name = QFile::encodeName(path);
    // A FIFO refuses a writer without a reader (ENXIO) when asked not to
    // wait: it is asked again in short slices, so that a stop is seen while
    // nobody reads.
    int fd = -1;
    for (;;) {
        fd = ::open(name.constData(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd >= 0 || (errno != ENXIO && errno != EINTR))
            break;
        if (Stop_request::pending())
            return Outcome::stopped;
        ::poll(nullptr, 0, Whole_write::wait_slice_ms);
    }
    int error_number = errno;
    Outcome outcome = Outcome::failed;
    if (fd >= 0) {
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
        outcome = to_descriptor(fd, text, &error_number);
        ::close(fd);
    }
    if (outcome == Outcome::failed)
        *error = tr("cannot write %1: %2").arg(path, qt_error_string(error_number));
    return outcome;
}
#else
Report_output::Outcome Report_output::to_device(const QString &path, const QByteArray &text,
                                                QString *error)
{
    QFile file(path);
    if (file.open(QIODevice::WriteOnly) && file.write(text) == text.size() && file.flush())
        return Outcome::written;
    *error = tr("cannot write %1: %2").arg(path, file.errorString());
    return Outcome::failed;
}
#endif
