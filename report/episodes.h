#ifndef VELMAR_REPORT_EPISODES_H
#define VELMAR_REPORT_EPISODES_H

#include <QtCore/QtGlobal>

#include <climits>
#include <vector>

// Stretches of time during which something held (a fault, a power below the
// threshold, a silence): how many, how long in all, the longest, and the
// first of them one by one. Only time with data counts: a gap ends a
// stretch, and the next begins after it.
class Episodes
{
public:
    // Enough to read a night by; a flapping indicator still counts in full.
    static constexpr int listed_max = 500;

    struct Episode
    {
        qint64 start_ms = 0;
        qint64 duration_ms = 0;
        // The lowest value seen during it (a power in tenths of a dBm), if given.
        int lowest = INT_MAX;
    };

    // The time from from_ms to to_ms, with the condition holding or not.
    // Consecutive spans that hold make one episode.
    void span(qint64 from_ms, qint64 to_ms, bool holds, int value = INT_MAX);
    // A whole episode at once (a silence from its last frame to the next).
    void add(qint64 start_ms, qint64 duration_ms);
    // No data from here: an open episode ends where the data ended.
    void gap() { close(); }

    qint64 count() const { return episode_count; }
    qint64 total_ms() const { return total; }
    qint64 longest_ms() const { return longest; }
    const std::vector<Episode> &listed() const { return first; }

private:
    void close();

    bool is_open = false;
    Episode current;
    qint64 current_end_ms = 0;
    qint64 episode_count = 0;
    qint64 total = 0;
    qint64 longest = 0;
    std::vector<Episode> first;
};

#endif
