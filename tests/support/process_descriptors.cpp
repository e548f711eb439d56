#include "support/process_descriptors.h"

#include <QtCore/QDir>
#include <QtCore/QFileInfo>

bool process_holds_open(qint64 pid, const QString &program, const QString &path)
{
    const QString running = QFileInfo(QStringLiteral("/proc/%1/exe").arg(pid)).symLinkTarget();
    if (running != QFileInfo(program).canonicalFilePath())
        return false;
    const QString device = QFileInfo(path).canonicalFilePath();
    const QDir descriptors(QStringLiteral("/proc/%1/fd").arg(pid));
    const auto entries = descriptors.entryInfoList(QDir::System | QDir::NoDotAndDotDot);
    for (const QFileInfo &entry : entries) {
        if (!device.isEmpty() && entry.symLinkTarget() == device)
            return true;
    }
    return false;
}
