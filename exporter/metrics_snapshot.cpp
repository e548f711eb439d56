#include "exporter/metrics_snapshot.h"

#include "exporter/metrics_text.h"

#include <QtCore/QMutexLocker>

void Metrics_snapshot::publish(std::vector<Unit_reading> readings)
{
    Readings fresh = std::make_shared<const std::vector<Unit_reading>>(std::move(readings));
    {
        QMutexLocker locker(&published_lock);
        published.swap(fresh);
    }
    // The old readings are released here, outside the lock, unless a
    // rendering still holds them.
}

QByteArray Metrics_snapshot::text()
{
    Readings latest;
    {
        QMutexLocker locker(&published_lock);
        latest = published;
    }
    QMutexLocker locker(&render_lock);
    if (rendered_from != latest) {
        rendered = Metrics_text::render(*latest);
        rendered_from = latest;
    }
    return rendered;
}
