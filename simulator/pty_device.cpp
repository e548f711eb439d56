#include "simulator/pty_device.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

Pty_device::Pty_device() = default;

Pty_device::~Pty_device()
{
    close();
}

bool Pty_device::open()
{
    close();
    int slave_fd = -1;
    char name[256] = {};
    if (::openpty(&master_fd, &slave_fd, name, nullptr, nullptr) != 0) {
        error = QString::fromLocal8Bit(std::strerror(errno));
        master_fd = -1;
        return false;
    }
    termios settings{};
    if (::tcgetattr(slave_fd, &settings) == 0) {
        ::cfmakeraw(&settings);
        ::tcsetattr(slave_fd, TCSANOW, &settings);
    }
    // Keeping a slave descriptor open means the master does not see a hang-up
    // while the tool closes and reopens the port between selections.
    slave_keepalive_fd = slave_fd;
    const int flags = ::fcntl(master_fd, F_GETFL);
    ::fcntl(master_fd, F_SETFL, flags | O_NONBLOCK);
    // Child processes (a tool started by a test) must not hold the line open.
    ::fcntl(master_fd, F_SETFD, FD_CLOEXEC);
    ::fcntl(slave_keepalive_fd, F_SETFD, FD_CLOEXEC);
    path = QString::fromLocal8Bit(name);
    return true;
}

void Pty_device::close()
{
    if (master_fd >= 0)
        ::close(master_fd);
    if (slave_keepalive_fd >= 0)
        ::close(slave_keepalive_fd);
    master_fd = -1;
    slave_keepalive_fd = -1;
}

bool Pty_device::write_all(const QByteArray &bytes)
{
    const char *data = bytes.constData();
    qint64 left = bytes.size();
    while (left > 0 && master_fd >= 0) {
        const ssize_t written = ::write(master_fd, data, static_cast<size_t>(left));
        if (written > 0) {
            data += written;
            left -= written;
            continue;
        }
        if (written < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)
            return false;
        pollfd waiter{master_fd, POLLOUT, 0};
        ::poll(&waiter, 1, 100);
    }
    return left == 0;
}

qint64 Pty_device::write_some(const char *data, qint64 size)
{
    if (master_fd < 0)
        return -1;
    for (;;) {
        const ssize_t written = ::write(master_fd, data, static_cast<size_t>(size));
        if (written >= 0)
            return written;
        if (errno == EINTR)
            continue;
        return (errno == EAGAIN || errno == EWOULDBLOCK) ? 0 : -1;
    }
}

int Pty_device::unread_by_slave() const
{
    int count = 0;
    if (slave_keepalive_fd < 0 || ::ioctl(slave_keepalive_fd, FIONREAD, &count) != 0)
        return 0;
    return count;
}

void Pty_device::discard_unread()
{
    if (slave_keepalive_fd >= 0)
        ::tcflush(slave_keepalive_fd, TCIFLUSH);
}

QByteArray Pty_device::read_available(int timeout_ms)
{
    QByteArray result;
    if (master_fd < 0)
        return result;
    pollfd waiter{master_fd, POLLIN, 0};
    if (::poll(&waiter, 1, timeout_ms) <= 0)
        return result;
    char buffer[4096];
    for (;;) {
        const ssize_t got = ::read(master_fd, buffer, sizeof buffer);
        if (got <= 0)
            break;
        result.append(buffer, static_cast<int>(got));
    }
    return result;
}
