#include "report/episodes.h"

#include <algorithm>

void Episodes::span(qint64 from_ms, qint64 to_ms, bool holds, int value)
{
    if (!holds) {
        close();
        return;
    }
    if (is_open && current_end_ms == from_ms) {
        current_end_ms = to_ms;
        current.lowest = std::min(current.lowest, value);
        return;
    }
    close();
    is_open = true;
    current = {from_ms, 0, value};
    current_end_ms = to_ms;
}

void Episodes::add(qint64 start_ms, qint64 duration_ms)
{
    close();
    is_open = true;
    current = {start_ms, 0, INT_MAX};
    current_end_ms = start_ms + duration_ms;
    close();
}

void Episodes::close()
{
    if (!is_open)
        return;
    is_open = false;
    current.duration_ms = current_end_ms - current.start_ms;
    ++episode_count;
    total += current.duration_ms;
    longest = std::max(longest, current.duration_ms);
    if (static_cast<int>(first.size()) < listed_max)
        first.push_back(current);
}
