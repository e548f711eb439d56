#include "console/signal_watcher.h"

#include "console/stop_request.h"

#include <QtCore/QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {

int pipe_fds[2] = {-1, -1};

constexpr int watched[] = {SIGINT, SIGTERM};

} // namespace

Signal_watcher::Signal_watcher(QObject *parent) : QObject(parent)
{
    if (::pipe2(pipe_fds, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    catch_signals();
    notifier = new QSocketNotifier(pipe_fds[0], QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, &Signal_watcher::on_readable);
}

Signal_watcher::~Signal_watcher()
{
    for (const int signal_number : watched)
        ::signal(signal_number, SIG_DFL);
    delete notifier;
    for (int &fd : pipe_fds) {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }
}

void Signal_watcher::survive_failed_writes()
{
    ::signal(SIGPIPE, SIG_IGN);
    ::signal(SIGXFSZ, SIG_IGN);
}

void Signal_watcher::note_stops()
{
    catch_signals();
}

void Signal_watcher::catch_signals()
{
    struct sigaction action = {};
    action.sa_handler = &Signal_watcher::handle;
    sigemptyset(&action.sa_mask);
    // Not SA_RESTART: a write to a terminal or a socket that waits is cut
    // short by the signal instead of going back to waiting, and its caller
    // sees the stop. Qt's own waits restart themselves after EINTR.
    action.sa_flags = 0;
    for (const int signal_number : watched)
        ::sigaction(signal_number, &action, nullptr);
}

void Signal_watcher::handle(int signal_number)
{
    const int saved_errno = errno;
    Stop_request::note(signal_number);
    const unsigned char byte = static_cast<unsigned char>(signal_number);
    if (pipe_fds[1] >= 0) {
        [[maybe_unused]] const ssize_t ignored = ::write(pipe_fds[1], &byte, 1);
    }
    errno = saved_errno;
}

void Signal_watcher::on_readable()
{
    unsigned char byte = 0;
    while (::read(pipe_fds[0], &byte, 1) == 1)
        emit terminate_requested(byte);
}
