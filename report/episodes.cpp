#include "report/episodes.h"

#include <algorithm>

void Episodes::show(qint64 at_ms, int value)
{
    if (!is_open) {
        is_open = true;
        current = {at_ms, 0, value, 1};
        return;
    }
    current.lowest = std::min(current.lowest, value);
    ++current.statuses;
}

void Episodes::add(qint64 start_ms, qint64 duration_ms)
{
    end(start_ms);
    is_open = true;
    current = {start_ms, 0, INT_MAX, 0};
    close(start_ms + duration_ms);
}

void Episodes::close(qint64 end_ms)
{
    is_open = false;
    current.duration_ms = std::max<qint64>(0, end_ms - current.start_ms);
    ++episode_count;
    total += current.duration_ms;
    longest = std::max(longest, current.duration_ms);
    zero_time += current.duration_ms == 0 ? 1 : 0;
    if (static_cast<int>(first.size()) < listed_max)
        first.push_back(current);
}
