#ifndef VELMAR_REPORT_REPORT_WORDS_H
#define VELMAR_REPORT_REPORT_WORDS_H

#include "protocol/unit_status.h"
#include "report/episodes.h"

#include <QtCore/QCoreApplication>
#include <QtCore/QString>
#include <QtCore/QtGlobal>

// How a report writes what it found, in every format: UTC times as records
// write them, durations as a person reads them, and the names the window
// gives the unit's parts.
class Report_words
{
    Q_DECLARE_TR_FUNCTIONS(Report_words)

public:
    // 2026-12-06T15:53:27.123Z
    static QString time(qint64 ms_since_epoch);
    // "4.975 s", "2 min 04.975 s", "3 h 02 min 04.975 s", "1 d 03 h 02 min 04.975 s"
    static QString duration(qint64 ms);
    // ISO 8601: PT4.975S, PT3H2M4.975S, P1DT3H2M4.975S
    static QString iso_duration(qint64 ms);
    // "-14.2" from tenths of a dBm
    static QString power(int tenths);
    static QString power(double dbm);

    // "system ok, sync fault, link ok", or "absent"
    static QString dante_states(const Unit_status::Dante &dante);
    // "47.00 dB, 47.75 dB"
    static QString gains(const Unit_status::Dante &dante);
    // "Rx fault", "Tx fault", "Overheat" by Report_summary::Fault
    static QString fault_name(int fault);
    // "Link F", "Link P1", "Link P2"
    static QString link_name(int link);
    // "Port lost", "CRC mismatch", ... by Report_summary::Incident
    static QString incident_name(int incident);
    // How a run ended, from its end line's reason: "done (count or
    // duration)", "stopped by a signal", ...; a reason of a newer writer as
    // it is written.
    static QString run_end(const QString &reason);
    // "1 episode", "3 episodes"
    static QString count(qint64 count, const QString &one, const QString &many);
    static QString episodes(qint64 count);
    // "3 episodes, 4.200 s in all", with ", 2 of them held for no time" when
    // statuses showed something they held for no time at all.
    static QString episodes_found(qint64 count, qint64 total_ms, qint64 zero_time);
    // "4.200 s"; for an episode that held no time, the statuses that showed
    // it: "0.000 s (one status)", "0.000 s (3 statuses)".
    static QString episode_duration(const Episodes::Episode &episode);
};

#endif
