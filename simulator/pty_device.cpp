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

namespace {

struct Named_speed
{
    speed_t speed;
    qint32 baud_rate;
};

constexpr Named_speed named_speeds[] = {
    {B50, 50},           {B75, 75},           {B110, 110},         {B134, 134},
    {B150, 150},         {B200, 200},         {B300, 300},         {B600, 600},
    {B1200, 1200},       {B1800, 1800},       {B2400, 2400},       {B4800, 4800},
    {B9600, 9600},       {B19200, 19200},     {B38400, 38400},     {B57600, 57600},
    {B115200, 115200},   {B230400, 230400},   {B460800, 460800},   {B500000, 500000},
    {B576000, 576000},   {B921600, 921600},   {B1000000, 1000000}, {B1152000, 1152000},
    {B1500000, 1500000}, {B2000000, 2000000}, {B2500000, 2500000}, {B3000000, 3000000},
    {B3500000, 3500000}, {B4000000, 4000000},
};

qint32 baud_rate_of(speed_t speed)
{
    for (const Named_speed &named : named_speeds) {
        if (named.speed == speed)
            return named.baud_rate;
    }
    return 0;
}

int data_bits_of(tcflag_t flags)
{
    switch (flags & CSIZE) {
    case CS5:
        return 5;
    case CS6:
        return 6;
    case CS7:
        return 7;
    default:
        return 8;
    }
}

} // namespace

Line_settings Pty_device::line_settings() const
{
    Line_settings line;
    termios settings{};
    // On Linux the master reads the settings of the slave side.
    if (master_fd < 0 || ::tcgetattr(master_fd, &settings) != 0)
        return line;
    line.baud_rate = baud_rate_of(::cfgetospeed(&settings));
    line.data_bits = data_bits_of(settings.c_cflag);
    line.parity = (settings.c_cflag & PARENB) == 0 ? 'N' : (settings.c_cflag & PARODD) ? 'O' : 'E';
    line.stop_bits = (settings.c_cflag & CSTOPB) != 0 ? 2 : 1;
    if ((settings.c_cflag & CRTSCTS) != 0)
        line.flow = Line_settings::Flow::hardware;
    else if ((settings.c_iflag & (IXON | IXOFF)) != 0)
        line.flow = Line_settings::Flow::software;
    return line;
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
