#include "exporter/refusal_log.h"

#include <QtCore/QMutexLocker>

#include <chrono>

Refusal_log::Refusal_log(qint64 quiet_ms, int capacity) : quiet_ms(quiet_ms), capacity(capacity) {}

QString Refusal_log::note(const QString &source, const QString &kind, const QString &reason,
                          qint64 now_ms)
{
    QMutexLocker locker(&lock);
    const QString key = source + QLatin1Char('\n') + kind;
    auto known = sources.find(key);
    if (known != sources.end() && now_ms - known->said_ms < quiet_ms) {
        ++known->unsaid;
        return QString();
    }
    QString line = tr("velmar-exporter: refused %1: %2").arg(source, reason);
    if (known != sources.end() && known->unsaid > 0)
        line += tr(" (and %n more refused since it was last said)", nullptr, int(known->unsaid));
    if (known == sources.end()) {
        if (sources.size() >= capacity)
            forget_oldest();
        known = sources.insert(key, Source());
    }
    *known = Source{now_ms, 0};
    return line;
}

void Refusal_log::forget_oldest()
{
    auto oldest = sources.begin();
    for (auto source = sources.begin(); source != sources.end(); ++source) {
        if (source->said_ms < oldest->said_ms)
            oldest = source;
    }
    sources.erase(oldest);
}

qint64 Refusal_log::now_ms()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}
