#include "report/slice_counts.h"

#include <algorithm>

Slice_counts::Slice_counts(int kinds, int max_slices)
    : kind_count(kinds), max_slices(std::max(2, max_slices)),
      totals(static_cast<std::size_t>(kinds))
{
}

void Slice_counts::add(int kind, qint64 at_ms)
{
    if (last < 0) {
        origin = at_ms;
        counts.assign(static_cast<std::size_t>(max_slices) * kind_count, 0);
    }
    // The timeline only goes forward: what comes before the latest slice
    // (after a clock set back) is counted there, as the charts draw it.
    qint64 slice = std::max(last, std::max<qint64>(0, (at_ms - origin) / width));
    while (slice >= max_slices) {
        widen();
        slice = std::max(last, (at_ms - origin) / width);
    }
    last = slice;
    ++counts[static_cast<std::size_t>(slice * kind_count + kind)];
    ++totals[static_cast<std::size_t>(kind)];
}

// Twice as wide: each pair of neighbouring slices becomes one.
void Slice_counts::widen()
{
    width *= 2;
    const std::size_t n = static_cast<std::size_t>(kind_count);
    // In order, each lands on a slice already emptied.
    for (std::size_t slice = 0; slice < static_cast<std::size_t>(max_slices); ++slice) {
        for (std::size_t kind = 0; kind < n; ++kind) {
            const qint64 count = counts[slice * n + kind];
            counts[slice * n + kind] = 0;
            counts[slice / 2 * n + kind] += count;
        }
    }
    last /= 2;
}

std::vector<Slice_counts::Slice> Slice_counts::slices() const
{
    std::vector<Slice> out;
    for (qint64 slice = 0; slice <= last; ++slice) {
        const auto first = counts.begin() + static_cast<std::ptrdiff_t>(slice) * kind_count;
        if (std::all_of(first, first + kind_count, [](qint64 count) { return count == 0; }))
            continue;
        out.push_back({origin + slice * width, std::vector<qint64>(first, first + kind_count)});
    }
    return out;
}
