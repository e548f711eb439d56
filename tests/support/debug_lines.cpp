#include "support/debug_lines.h"

namespace {

QStringList taken;
QtMessageHandler passed_on = nullptr;

// Warnings and worse still reach the test log: they are not the tool's lines.
void take_line(QtMsgType type, const QMessageLogContext &context, const QString &line)
{
    if (type == QtDebugMsg)
        taken.append(line);
    else if (passed_on)
        passed_on(type, context, line);
}

} // namespace

Debug_lines::Debug_lines() : previous(qInstallMessageHandler(take_line))
{
    passed_on = previous;
    taken.clear();
}

Debug_lines::~Debug_lines()
{
    qInstallMessageHandler(previous);
}

QStringList Debug_lines::take()
{
    QStringList lines;
    lines.swap(taken);
    return lines;
}
