#include "support/child_process.h"

#include <QtTest/QTest>

namespace {

constexpr int kill_timeout_ms = 5000;

QStringList complete_lines(const QByteArray &text)
{
    QStringList lines = QString::fromLocal8Bit(text).split(QLatin1Char('\n'));
    lines.removeLast(); // empty, or a line still being written
    return lines;
}

} // namespace

Child_process::Child_process(const QString &program)
{
    setProgram(program);
}

Child_process::~Child_process()
{
    if (state() == NotRunning)
        return;
    kill();
    waitForFinished(kill_timeout_ms);
}

void Child_process::start(const QStringList &arguments)
{
    setArguments(arguments);
    QProcess::start();
}

bool Child_process::wait_for_exit(int timeout_ms)
{
    return QTest::qWaitFor([this] { return state() == NotRunning; }, timeout_ms);
}

int Child_process::exit_code() const
{
    const bool exited =
        state() == NotRunning && exitStatus() == NormalExit && error() != FailedToStart;
    return exited ? exitCode() : -1;
}

QStringList Child_process::output_lines()
{
    output += readAllStandardOutput();
    return complete_lines(output);
}

QStringList Child_process::error_lines()
{
    errors += readAllStandardError();
    return complete_lines(errors);
}
