#include "support/debug_lines.h"

#include <QtCore/QMutex>

namespace {

// Qt may write from any thread.
QMutex lines_lock;
QStringList lines;
QtMessageHandler passed_to = nullptr;

} // namespace

Debug_lines::Debug_lines()
{
    const QMutexLocker hold(&lines_lock);
    lines.clear();
    previous = qInstallMessageHandler(&Debug_lines::handle);
    passed_to = previous;
}

Debug_lines::~Debug_lines()
{
    qInstallMessageHandler(previous);
}

QStringList Debug_lines::take()
{
    const QMutexLocker hold(&lines_lock);
    QStringList taken;
    taken.swap(lines);
    return taken;
}

int Debug_lines::count(const QRegularExpression &pattern) const
{
    const QMutexLocker hold(&lines_lock);
    int found = 0;
    for (const QString &line : lines)
        found += pattern.match(line).hasMatch() ? 1 : 0;
    return found;
}

void Debug_lines::handle(QtMsgType type, const QMessageLogContext &context, const QString &text)
{
    if (type == QtDebugMsg) {
        const QMutexLocker hold(&lines_lock);
        lines.append(text);
    } else if (passed_to != nullptr) {
        passed_to(type, context, text);
    }
}
