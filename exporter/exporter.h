#ifndef VELMAR_EXPORTER_EXPORTER_H
#define VELMAR_EXPORTER_EXPORTER_H

#include "exporter/metrics_text.h"
#include "exporter/port_pattern.h"
#include "exporter/port_plan.h"
#include "exporter/unit_reading.h"
#include "session/session_timing.h"

#include <QtCore/QObject>
#include <QtCore/QSet>
#include <QtCore/QString>
#include <QtCore/QTimer>

#include <map>
#include <vector>

class Metrics_snapshot;
class Unit_watch;

// Every watched port on the Qt thread: finds the ports the patterns match,
// keeps a watch on each device (one, whatever names lead to it), and
// publishes the metrics text of all of them to the snapshot the HTTP threads
// serve.
//
// Publishing waits publish_ms after a change, so a burst of statuses from
// many units costs one rendering, not one each: a scrape sees values at most
// that old.
class Exporter : public QObject
{
    Q_OBJECT

public:
    // How often the patterns are looked at again: an adapter plugged in is
    // watched within this time.
    static constexpr int default_scan_ms = 2000;
    static constexpr int default_publish_ms = 200;

    Exporter(const std::vector<Port_pattern> &patterns, qint32 baud_rate,
             Metrics_snapshot &snapshot, const Session_timing &timing = {},
             QObject *parent = nullptr);
    ~Exporter() override;

    // Looks for ports at once and then every scan period; publishes at once.
    // A pattern that matches nothing at start is said on standard error.
    void start();
    int watched_count() const { return static_cast<int>(watches.size()); }

private:
    void scan();
    std::vector<Port_plan::Name> names_now();
    void follow(const Port_plan::Port &port);
    void drop(const QString &path);
    void on_reading(const Unit_reading &reading);
    void publish();

    const std::vector<Port_pattern> patterns;
    const qint32 baud_rate;
    const Session_timing timing;
    Metrics_snapshot &snapshot;
    // By path: the metrics list the ports in this order.
    std::map<QString, Unit_watch *> watches;
    std::map<QString, Unit_reading> readings;
    std::vector<Pattern_count> pattern_counts;
    // The glob that found each path in the last scan, for the log.
    std::map<QString, QString> found_by;
    // Said once each: a name merged into another, a unit name that lost.
    QSet<QString> said;
    QTimer scan_timer;
    QTimer publish_timer;
};

#endif
