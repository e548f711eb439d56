#include "console/whole_write.h"

#include "console/partial_line.h"
#include "console/stop_request.h"

#include <algorithm>
#include <cerrno>

#ifdef Q_OS_UNIX
#include <climits>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>
#else
#include <io.h>
#endif

namespace {

#ifdef Q_OS_UNIX
bool is_regular_file(int fd)
{
    struct stat file = {};
    return ::fstat(fd, &file) == 0 && S_ISREG(file.st_mode);
}

// True once fd takes bytes (or has failed, which the write then reports);
// false when a stop was asked for and it still takes none.
bool wait_for_room(int fd)
{
    for (;;) {
        const bool stopping = Stop_request::pending();
        pollfd writable{fd, POLLOUT, 0};
        const int ready = ::poll(&writable, 1, stopping ? 0 : Whole_write::wait_slice_ms);
        if (ready > 0 || (ready < 0 && errno != EINTR))
            return true;
        if (stopping)
            return false;
    }
}
#endif

} // namespace

Whole_write::Result Whole_write::to(int fd, const QByteArray &bytes)
{
    Result result;
    qint64 written = 0;
#ifdef Q_OS_UNIX
    const bool regular = is_regular_file(fd);
    // A regular file takes a line in one write, so that a reader of the
    // growing file never meets half of one; a pipe what poll() made room for.
    const qint64 most = regular ? bytes.size() : qint64(PIPE_BUF);
    while (written < bytes.size()) {
        if (!regular && !wait_for_room(fd)) {
            result = {Outcome::stopped, EINTR};
            break;
        }
        const qint64 size = std::min(bytes.size() - written, most);
        const ssize_t done = ::write(fd, bytes.constData() + written, std::size_t(size));
        if (done > 0) {
            written += done;
            continue;
        }
        const bool interrupted = done < 0 && (errno == EINTR || errno == EAGAIN);
        if (interrupted && !(regular && Stop_request::pending()))
            continue;
        result = interrupted ? Result{Outcome::stopped, EINTR}
                             : Result{Outcome::failed, done < 0 ? errno : EIO};
        break;
    }
#else
    while (written < bytes.size()) {
        const int done = ::_write(fd, bytes.constData() + written,
                                  static_cast<unsigned>(bytes.size() - written));
        if (done <= 0) {
            result = {Outcome::failed, done < 0 ? errno : EIO};
            break;
        }
        written += done;
    }
#endif
    if (result.outcome != Outcome::written)
        Partial_line::take_back(fd, written);
    return result;
}
