#include "exporter/exporter.h"

#include "console/console_output.h"
#include "exporter/metrics_snapshot.h"
#include "exporter/unit_watch.h"
#include "session/device_claim.h"
#include "session/port_url.h"

#include <QtCore/QFileInfo>

namespace {

// What one name leads to now: every name of one device gets the same key.
Port_plan::Name name_of(const QString &path, const QString &unit)
{
    const QFileInfo file(path);
    const std::optional<quint64> device = Device_claim::device_number(path);
    QString key = path;
    if (device)
        key = QStringLiteral("device %1").arg(*device);
    else if (file.exists())
        key = file.canonicalFilePath();
    return {path, key, file.isSymLink(), unit};
}

} // namespace

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
    for (const Pattern_count &count : pattern_counts) {
        if (count.matches == 0)
            Console_output::error(
                tr("velmar-exporter: warning: %1 matches no port yet; it is looked at again "
                   "every %2 s")
                    .arg(count.pattern)
                    .arg(default_scan_ms / 1000));
    }
    publish();
    scan_timer.start();
}

std::vector<Port_plan::Name> Exporter::names_now()
{
    std::vector<Port_plan::Name> names;
    std::vector<Pattern_count> counts;
    found_by.clear();
    for (const Port_pattern &pattern : patterns) {
        const QStringList paths = pattern.matches();
        int found = 0;
        for (const QString &path : paths) {
            names.push_back(name_of(path, pattern.unit()));
            // A plain path is watched before it exists, but matches nothing
            // yet; a terminal server's port is the server's to answer.
            found += pattern.is_glob() || Port_url::is_url(path) || QFileInfo::exists(path) ? 1 : 0;
            if (pattern.is_glob())
                found_by.emplace(path, pattern.text());
        }
        counts.push_back({pattern.text(), found});
    }
    if (counts != pattern_counts) {
        pattern_counts = counts;
        publish_timer.start();
    }
    return names;
}

void Exporter::scan()
{
    const std::vector<Port_plan::Port> ports = Port_plan::plan(names_now());
    for (const Port_plan::Port &port : ports)
        follow(port);
    // A port that failed to open, or whose path was missing, is tried again
    // here; a lost one is the session's to reopen.
    for (auto &watch : watches)
        watch.second->open_if_closed();
}

void Exporter::follow(const Port_plan::Port &port)
{
    for (const QString &alias : port.aliases) {
        const QString merged = alias + QLatin1Char('\n') + port.path;
        if (!said.contains(merged)) {
            said.insert(merged);
            Console_output::error(
                tr("velmar-exporter: %1 and %2 are one device; it is watched once, as %2")
                    .arg(alias, port.path));
        }
        // Watched under a name a steadier one has now replaced.
        drop(alias);
    }
    for (const QString &other : port.other_units) {
        const QString lost = port.path + QLatin1Char('\n') + other;
        if (!said.contains(lost)) {
            said.insert(lost);
            Console_output::error(
                tr("velmar-exporter: warning: %1 is named both %2 and %3; it is shown as %2")
                    .arg(port.path, port.unit, other));
        }
    }
    const auto existing = watches.find(port.path);
    if (existing != watches.end()) {
        existing->second->set_unit(port.unit);
        return;
    }
    auto *watch = new Unit_watch(port.path, port.unit, baud_rate, timing, this);
    connect(watch, &Unit_watch::reading_changed, this, &Exporter::on_reading);
    watches.emplace(port.path, watch);
    readings[port.path] = watch->reading();
    const auto glob = found_by.find(port.path);
    if (glob != found_by.end())
        Console_output::error(tr("velmar-exporter: %1 matches %2").arg(port.path, glob->second));
    publish_timer.start();
}

void Exporter::drop(const QString &path)
{
    const auto watch = watches.find(path);
    if (watch == watches.end())
        return;
    // At once, not later: its claim on the device goes with it.
    delete watch->second;
    watches.erase(watch);
    readings.erase(path);
    publish_timer.start();
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
    snapshot.publish(Metrics_text::render(all, pattern_counts));
}
