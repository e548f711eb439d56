#ifndef VELMAR_EXPORTER_METRICS_SNAPSHOT_H
#define VELMAR_EXPORTER_METRICS_SNAPSHOT_H

#include "exporter/unit_reading.h"

#include <QtCore/QByteArray>
#include <QtCore/QMutex>

#include <memory>
#include <vector>

// The readings as last published, handed from the thread that reads the
// units to the threads that answer HTTP clients. The reading thread only
// swaps in an immutable copy; the text is rendered by the first client that
// asks for it, once per publication, so a unit's statuses cost no rendering
// while nobody scrapes. No lock is ever held while a client is written to,
// and the reading thread never waits for a rendering: a slow or hostile
// client cannot hold up the serial reading.
class Metrics_snapshot
{
public:
    void publish(std::vector<Unit_reading> readings);
    QByteArray text();

private:
    using Readings = std::shared_ptr<const std::vector<Unit_reading>>;

    QMutex published_lock;
    Readings published = std::make_shared<const std::vector<Unit_reading>>();
    // Among the HTTP threads only.
    QMutex render_lock;
    Readings rendered_from;
    QByteArray rendered;
};

#endif
