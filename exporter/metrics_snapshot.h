#ifndef VELMAR_EXPORTER_METRICS_SNAPSHOT_H
#define VELMAR_EXPORTER_METRICS_SNAPSHOT_H

#include <QtCore/QByteArray>
#include <QtCore/QMutex>

// The metrics text as last published, handed from the thread that reads the
// units to the threads that answer HTTP clients. Either side holds the lock
// only to copy a shared, immutable byte array, never while writing to a
// client, so a slow or hostile client cannot hold up the serial reading.
class Metrics_snapshot
{
public:
    void publish(const QByteArray &text);
    QByteArray current() const;

private:
    mutable QMutex lock;
    QByteArray text;
};

#endif
