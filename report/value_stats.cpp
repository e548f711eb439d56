#include "report/value_stats.h"

void Value_stats::sample(int value, qint64 at_ms)
{
    if (samples == 0 || value < minimum) {
        minimum = value;
        minimum_at = at_ms;
    }
    if (samples == 0 || value > maximum) {
        maximum = value;
        maximum_at = at_ms;
    }
    ++samples;
    sample_sum += value;
}

void Value_stats::held(int value, qint64 duration_ms)
{
    weighted_sum += static_cast<double>(value) * static_cast<double>(duration_ms);
    weight_ms += duration_ms;
}

double Value_stats::mean() const
{
    if (weight_ms > 0)
        return weighted_sum / static_cast<double>(weight_ms);
    return samples > 0 ? sample_sum / static_cast<double>(samples) : 0.0;
}
