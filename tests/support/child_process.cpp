#include "support/child_process.h"

#include <cerrno>
#include <csignal>
#include <cstring>

namespace {

QString named(const QProcess &child)
{
    return (QStringList(child.program()) + child.arguments()).join(QLatin1Char(' '));
}

QString how_it_ended(const QProcess &child)
{
    if (child.error() == QProcess::FailedToStart)
        return QStringLiteral("it never started: ") + child.errorString();
    if (child.state() == QProcess::Starting)
        return QStringLiteral("it has not started yet");
    if (child.state() == QProcess::Running)
        return QStringLiteral("it has no process id");
    if (child.exitStatus() == QProcess::CrashExit)
        return QStringLiteral("it died of a signal or crashed before");
    return QStringLiteral("it has already exited, with code %1").arg(child.exitCode());
}

} // namespace

bool signal_child(QProcess &child, int signal_number, QString *why)
{
    // Started but not yet known to have: its process id is there, but
    // whether the program could be run at all is not.
    if (child.state() == QProcess::Starting)
        child.waitForStarted();
    // While Qt says it runs, its process id stays its own: an exit meanwhile
    // leaves a zombie until this process's event loop reaps it, and a signal
    // to a zombie does nothing.
    const qint64 pid = child.processId();
    if (child.state() == QProcess::Running && pid > 0) {
        if (::kill(pid_t(pid), signal_number) == 0)
            return true;
        *why = QStringLiteral("%1: kill(%2, %3): %4")
                   .arg(named(child))
                   .arg(pid)
                   .arg(signal_number)
                   .arg(QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    *why = QStringLiteral("%1 is not running to take signal %2: %3")
               .arg(named(child))
               .arg(signal_number)
               .arg(how_it_ended(child));
    return false;
}
