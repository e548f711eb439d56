#include "exporter/metrics_snapshot.h"

#include <QtCore/QMutexLocker>

void Metrics_snapshot::publish(const QByteArray &published)
{
    // The old text is released outside the lock: freeing it is the one part
    // that costs anything.
    QByteArray old = published;
    {
        QMutexLocker locker(&lock);
        text.swap(old);
    }
}

QByteArray Metrics_snapshot::current() const
{
    QMutexLocker locker(&lock);
    return text;
}
