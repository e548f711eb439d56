#ifndef VELMAR_REPORT_EPISODES_H
#define VELMAR_REPORT_EPISODES_H

#include <QtCore/QtGlobal>

#include <climits>
#include <vector>

// Stretches of time during which something held (a fault, a power below the
// threshold, a silence): how many, how long in all, the longest, and the
// first of them one by one. An episode begins with the status that shows
// the condition, however briefly it held: the last status before a silence
// holds for no time, and so does one that shares its millisecond with the
// next, yet each of them showed what it showed. Only time with data counts:
// a gap ends a stretch, and the next begins after it.
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
        // The statuses that showed it: what a person needs to know of an
        // episode that held for no time.
        qint64 statuses = 0;
    };

    // A status at at_ms shows the condition or not: one that shows it opens
    // an episode or goes on with the open one, one that does not ends it.
    void observe(qint64 at_ms, bool holds, int value = INT_MAX)
    {
        if (holds)
            show(at_ms, value);
        else
            end(at_ms);
    }
    // A whole episode at once (a silence from its last frame to the next).
    void add(qint64 start_ms, qint64 duration_ms);
    // No data from at_ms on (a gap, the end of a run): the open episode ends there.
    void end(qint64 at_ms)
    {
        if (is_open)
            close(at_ms);
    }

    qint64 count() const { return episode_count; }
    qint64 total_ms() const { return total; }
    qint64 longest_ms() const { return longest; }
    // Episodes that held for no time at all.
    qint64 zero_time_count() const { return zero_time; }
    const std::vector<Episode> &listed() const { return first; }

private:
    void show(qint64 at_ms, int value);
    void close(qint64 end_ms);

    bool is_open = false;
    Episode current;
    qint64 episode_count = 0;
    qint64 total = 0;
    qint64 longest = 0;
    qint64 zero_time = 0;
    std::vector<Episode> first;
};

#endif
