#include "console/console_output.h"

#include "console/partial_line.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#ifdef Q_OS_UNIX
#include <poll.h>
#include <unistd.h>
#endif

namespace {

QString last_write_error;

#ifdef Q_OS_UNIX
// The bytes written before a failure (whose errno goes to *error), or all.
qint64 write_all(int fd, const QByteArray &bytes, int *error)
{
    qint64 written = 0;
    while (written < bytes.size()) {
        const ssize_t result = ::write(fd, bytes.constData() + written,
                                       static_cast<std::size_t>(bytes.size() - written));
        if (result > 0) {
            written += result;
        } else if (result < 0 && errno == EAGAIN) {
            // Another program may have made the shared descriptor non-blocking.
            pollfd writable{fd, POLLOUT, 0};
            ::poll(&writable, 1, -1);
        } else if (result < 0 && errno != EINTR) {
            *error = errno;
            break;
        }
    }
    return written;
}

bool write_data_line(const QString &line)
{
    constexpr int fd = 1; // standard output
    const QByteArray bytes = line.toLocal8Bit() + '\n';
    int error = 0;
    const qint64 written = write_all(fd, bytes, &error);
    if (written == bytes.size())
        return true;
    Partial_line::take_back(fd, written);
    last_write_error = QString::fromLocal8Bit(std::strerror(error));
    return false;
}
#else
bool write_data_line(const QString &line)
{
    const QByteArray bytes = line.toLocal8Bit() + '\n';
    const bool written = std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()),
                                     stdout) == static_cast<std::size_t>(bytes.size());
    if (std::fflush(stdout) == 0 && written)
        return true;
    last_write_error = QString::fromLocal8Bit(std::strerror(errno));
    return false;
}
#endif

} // namespace

bool Console_output::data(const QString &line)
{
    return write_data_line(line);
}

void Console_output::error(const QString &line)
{
    // Standard error is unbuffered: the line is out before this returns.
    std::fprintf(stderr, "%s\n", line.toLocal8Bit().constData());
}

QString Console_output::write_error()
{
    return last_write_error;
}
