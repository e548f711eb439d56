#ifndef VELMAR_EXPORTER_REFUSAL_LOG_H
#define VELMAR_EXPORTER_REFUSAL_LOG_H

#include <QtCore/QCoreApplication>
#include <QtCore/QHash>
#include <QtCore/QMutex>
#include <QtCore/QString>
#include <QtCore/QtGlobal>

// Refused clients in the log, without letting one of them fill it: a source
// is said at its first refusal of a kind (a password, a TLS handshake) and
// then at most once every quiet_ms for that kind, with how many refusals
// went unsaid since. A scraper with a wrong password retries every few
// seconds for as long as nobody mends it.
// Safe to use from several threads at once.
class Refusal_log
{
    Q_DECLARE_TR_FUNCTIONS(Refusal_log)

public:
    static constexpr qint64 default_quiet_ms = 60000;
    // Sources remembered at once; past it, those said longest ago are forgotten.
    static constexpr int default_capacity = 1024;

    explicit Refusal_log(qint64 quiet_ms = default_quiet_ms, int capacity = default_capacity);

    // The line to write for this refusal, or empty when the source was said
    // less than quiet_ms ago for this kind. now_ms from a clock that never
    // goes back.
    QString note(const QString &source, const QString &kind, const QString &reason, qint64 now_ms);
    // Such a clock: milliseconds of the system's steady clock.
    static qint64 now_ms();

private:
    struct Source
    {
        qint64 said_ms = 0;
        quint64 unsaid = 0;
    };

    void forget_oldest();

    const qint64 quiet_ms;
    const int capacity;
    QMutex lock;
    QHash<QString, Source> sources;
};

#endif
