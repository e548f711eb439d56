#include "support/child_process.h"

#include <csignal>

namespace {

QString how_it_ended(const QProcess &child)
{
    if (child.error() == QProcess::FailedToStart)
        return QStringLiteral("it never started: ") + child.errorString();
    if (child.state() != QProcess::NotRunning)
        return child.processId() > 0 ? QStringLiteral("kill() refused it")
                                     : QStringLiteral("it has no process id yet");
    return child.exitStatus() == QProcess::CrashExit
               ? QStringLiteral("it died of a signal or crashed before")
               : QStringLiteral("it has already exited, with code %1").arg(child.exitCode());
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
    if (child.state() == QProcess::Running && pid > 0 && ::kill(pid_t(pid), signal_number) == 0)
        return true;
    *why = QStringLiteral("%1 is not running to take signal %2: %3")
               .arg((QStringList(child.program()) + child.arguments()).join(QLatin1Char(' ')))
               .arg(signal_number)
               .arg(how_it_ended(child));
    return false;
}
