#ifndef VELMAR_REPORT_VALUE_STATS_H
#define VELMAR_REPORT_VALUE_STATS_H

#include <QtCore/QtGlobal>

// The minimum and maximum of a value as reported (exactly, with the time
// each was first reported) and its mean over the time it held. A record that
// writes only changes holds a value for as long as it is not written again,
// so a mean by line would weigh a flicker like an hour.
class Value_stats
{
public:
    // A value reported at at_ms (tenths of a dBm, degrees C).
    void sample(int value, qint64 at_ms);
    // The value held for duration_ms of time with data.
    void held(int value, qint64 duration_ms);

    bool seen() const { return samples > 0; }
    int min() const { return minimum; }
    int max() const { return maximum; }
    qint64 min_at_ms() const { return minimum_at; }
    qint64 max_at_ms() const { return maximum_at; }
    // By time held; by sample while no time has passed (a single status).
    double mean() const;

private:
    qint64 samples = 0;
    int minimum = 0;
    int maximum = 0;
    qint64 minimum_at = 0;
    qint64 maximum_at = 0;
    double sample_sum = 0.0;
    double weighted_sum = 0.0;
    qint64 weight_ms = 0;
};

#endif
