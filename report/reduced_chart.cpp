#include "report/reduced_chart.h"

#include <algorithm>
#include <limits>

void Reduced_chart::Bucket_cell::merge(const Bucket_cell &later)
{
    if (later.has_value) {
        if (!has_value || later.min < min) {
            min = later.min;
            min_at = later.min_at;
        }
        if (!has_value || later.max > max) {
            max = later.max;
            max_at = later.max_at;
        }
        has_value = true;
    }
    if (later.breaks > 0) {
        if (breaks == 0)
            first_break = later.first_break;
        last_break = later.last_break;
        breaks += later.breaks;
    }
}

Reduced_chart::Reduced_chart(int series_count, int max_buckets)
    : count(series_count), max_buckets(max_buckets), seen(static_cast<std::size_t>(series_count))
{
}

Reduced_chart::Bucket_cell &Reduced_chart::cell_at(int series, qint64 at_ms)
{
    if (!started) {
        started = true;
        origin = at_ms;
    }
    // Most samples fall into the last bucket: no division for them. The
    // timeline only goes forward; what comes late joins the last bucket too.
    if (!indexes.empty() && at_ms < last_end)
        return cells[(indexes.size() - 1) * static_cast<std::size_t>(count) +
                     static_cast<std::size_t>(series)];
    qint64 index = std::max<qint64>(0, (at_ms - origin) / width);
    if (!indexes.empty())
        index = std::max(index, indexes.back());
    if (indexes.empty() || indexes.back() != index) {
        indexes.push_back(index);
        cells.resize(cells.size() + static_cast<std::size_t>(count));
        last_end = origin + (index + 1) * width;
        if (static_cast<int>(indexes.size()) > max_buckets) {
            widen();
            return cell_at(series, at_ms);
        }
    }
    return cells[(indexes.size() - 1) * static_cast<std::size_t>(count) +
                 static_cast<std::size_t>(series)];
}

void Reduced_chart::sample(int series, qint64 at_ms, double value)
{
    seen[static_cast<std::size_t>(series)] = true;
    Bucket_cell one;
    one.has_value = true;
    one.min = one.max = value;
    one.min_at = one.max_at = at_ms;
    cell_at(series, at_ms).merge(one);
}

void Reduced_chart::end_line(int series, qint64 at_ms)
{
    Bucket_cell one;
    one.breaks = 1;
    one.first_break = one.last_break = at_ms;
    cell_at(series, at_ms).merge(one);
}

// Twice as wide: each pair of neighbouring buckets becomes one.
void Reduced_chart::widen()
{
    width *= 2;
    std::size_t kept = 0;
    const std::size_t n = static_cast<std::size_t>(count);
    for (std::size_t bucket = 0; bucket < indexes.size(); ++bucket) {
        const qint64 index = indexes[bucket] / 2;
        if (kept > 0 && indexes[kept - 1] == index) {
            for (std::size_t s = 0; s < n; ++s)
                cells[(kept - 1) * n + s].merge(cells[bucket * n + s]);
            continue;
        }
        indexes[kept] = index;
        for (std::size_t s = 0; s < n; ++s)
            cells[kept * n + s] = cells[bucket * n + s];
        ++kept;
    }
    indexes.resize(kept);
    cells.resize(kept * n);
    last_end = origin + (indexes.back() + 1) * width;
}

std::vector<Reduced_chart::Row> Reduced_chart::rows() const
{
    std::vector<Row> out;
    const std::size_t n = static_cast<std::size_t>(count);
    const double line_break = std::numeric_limits<double>::quiet_NaN();
    for (std::size_t bucket = 0; bucket < indexes.size(); ++bucket) {
        const qint64 start = origin + indexes[bucket] * width;
        std::vector<std::vector<Cell>> slot_values(slot_count, std::vector<Cell>(n));
        for (std::size_t s = 0; s < n; ++s) {
            const Bucket_cell &cell = cells[bucket * n + s];
            const bool two = cell.has_value && cell.min_at != cell.max_at && cell.min != cell.max;
            const bool min_first = cell.min_at <= cell.max_at;
            const qint64 first_at = two ? std::min(cell.min_at, cell.max_at) : cell.min_at;
            const qint64 second_at = two ? std::max(cell.min_at, cell.max_at) : cell.min_at;
            if (cell.has_value) {
                slot_values[1][s] = two && !min_first ? cell.max : cell.min;
                if (two)
                    slot_values[3][s] = min_first ? cell.max : cell.min;
            }
            for (const qint64 at : {cell.first_break, cell.last_break}) {
                if (cell.breaks == 0)
                    break;
                const int slot = !cell.has_value || at >= second_at ? 4 : at < first_at ? 0 : 2;
                slot_values[static_cast<std::size_t>(slot)][s] = line_break;
            }
        }
        for (int slot = 0; slot < slot_count; ++slot) {
            const std::vector<Cell> &values = slot_values[static_cast<std::size_t>(slot)];
            if (std::any_of(values.begin(), values.end(),
                            [](const Cell &c) { return c.has_value(); }))
                out.push_back({start + slot * width / slot_count, values});
        }
    }
    return out;
}
