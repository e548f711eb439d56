#include "support/device_link.h"

#include <QtCore/QDir>
#include <QtCore/QFile>
#include <QtCore/QFileInfo>

#include <cstdio>
#include <unistd.h>

bool point_link(const QString &link, const QString &target)
{
    const QString fresh = link + QStringLiteral(".new");
    QFile::remove(fresh);
    return QFile::link(target, fresh) && std::rename(QFile::encodeName(fresh).constData(),
                                                     QFile::encodeName(link).constData()) == 0;
}

int descriptors_on(const QString &path)
{
    const QString device = QFileInfo(path).canonicalFilePath();
    const QDir descriptors(QStringLiteral("/proc/self/fd"));
    int count = 0;
    const auto entries = descriptors.entryInfoList(QDir::System | QDir::NoDotAndDotDot);
    for (const QFileInfo &entry : entries)
        count += !device.isEmpty() && entry.symLinkTarget() == device ? 1 : 0;
    return count;
}
