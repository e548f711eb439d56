#include "exporter/exporter.h"

#include "console/console_output.h"
#include "exporter/metrics_snapshot.h"
#include "exporter/metrics_text.h"
#include "exporter/unit_watch.h"

Exporter::Exporter(const std::vector<Port_pattern> &patterns, qint32 baud_rate,
                   Metrics_snapshot &snapshot, const Session_timing &timing, QObject *parent)
    : QObject(parent), patterns(patterns), baud_rate(baud_rate), timing(timing), snapshot(snapshot)
{
    qRegisterMetaType<Unit_reading>();
    scan_timer.setInterval(default_scan_ms);
    publish_timer.setInterval(default_publish_ms);
    publish_timer.setSingleShot(true);
    connect(&scan_timer, &QTimer::timeout, this, &Exporter::scan);
    connect(&publish_timer, &QTimer::timeout, this, &Exporter::publish);
}

Exporter::~Exporter() = default;

void Exporter::start()
{
    scan();
    publish();
    scan_timer.start();
}

void Exporter::scan()
{
    for (const Port_pattern &pattern : patterns) {
        const QStringList paths = pattern.matches();
        for (const QString &path : paths) {
            if (watches.count(path))
                continue;
            auto *watch = new Unit_watch(path, pattern.unit(), baud_rate, timing, this);
            connect(watch, &Unit_watch::reading_changed, this, &Exporter::on_reading);
            watches.emplace(path, watch);
            readings[path] = watch->reading();
            if (pattern.is_glob())
                Console_output::error(
                    tr("velmar-exporter: %1 matches %2").arg(path, pattern.text()));
            publish_timer.start();
        }
    }
    // A port that failed to open, or whose path was missing, is tried again
    // here; a lost one is the session's to reopen.
    for (auto &watch : watches)
        watch.second->open_if_closed();
}

void Exporter::on_reading(const Unit_reading &reading)
{
    readings[reading.port] = reading;
    if (!publish_timer.isActive())
        publish_timer.start();
}

void Exporter::publish()
{
    std::vector<Unit_reading> all;
    all.reserve(readings.size());
    for (const auto &reading : readings)
        all.push_back(reading.second);
    snapshot.publish(Metrics_text::render(all));
}
