#include "support/pty_line.h"

#include "support/process_cpu.h"

#include <QtCore/QDir>
#include <QtCore/QElapsedTimer>
#include <QtCore/QEventLoop>
#include <QtCore/QFile>
#include <QtCore/QFileInfo>
#include <QtCore/QSettings>
#include <QtCore/QTimer>

#include <cstdio>

QVariant saved_setting(const QString &key)
{
    return QSettings(QSettings::UserScope, QStringLiteral("velmar_serial_port"), QString())
        .value(key);
}

void store_setting(const QString &key, const QVariant &value)
{
    QSettings settings(QSettings::UserScope, QStringLiteral("velmar_serial_port"), QString());
    if (value.isValid())
        settings.setValue(key, value);
    else
        settings.remove(key);
    settings.sync();
}

QRegularExpression open_failure_line(const QString &name)
{
    return QRegularExpression(QStringLiteral("^\"%1\" Failed to open port: \".+\"$")
                                  .arg(QRegularExpression::escape(name)));
}

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

double cpu_share_while_waiting(int ms)
{
    const double before = process_cpu_seconds();
    QElapsedTimer wall;
    wall.start();
    // A plain event loop: QTest::qWait wakes every 10 ms on its own account.
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
    return (process_cpu_seconds() - before) / (wall.elapsed() / 1000.0);
}
