#ifndef VELMAR_REPORT_SLICE_COUNTS_H
#define VELMAR_REPORT_SLICE_COUNTS_H

#include <QtCore/QtGlobal>

#include <vector>

// How many things of each kind (a CRC mismatch, a lost port) happened in
// each slice of time, for a lane of the page that stays light whatever the
// count: a noisy line's day may hold hundreds of thousands. The slices start
// a few milliseconds wide, so a short record keeps its incidents apart, and
// double in width whenever more than max_slices would be needed. Adding is
// O(1) and allocates nothing after the first.
class Slice_counts
{
public:
    static constexpr int default_max_slices = 4000;

    struct Slice
    {
        qint64 from_ms;             // the slice is slice_ms() wide from here
        std::vector<qint64> counts; // by kind
    };

    explicit Slice_counts(int kinds, int max_slices = default_max_slices);

    void add(int kind, qint64 at_ms);

    int kinds() const { return kind_count; }
    qint64 slice_ms() const { return width; }
    bool empty() const { return last < 0; }
    bool any(int kind) const { return totals[static_cast<std::size_t>(kind)] > 0; }
    // The slices where anything happened, in time order.
    std::vector<Slice> slices() const;

private:
    static constexpr qint64 first_width_ms = 8;

    void widen();

    int kind_count;
    int max_slices;
    qint64 origin = 0;
    qint64 width = first_width_ms;
    qint64 last = -1;           // the latest slice anything fell into
    std::vector<qint64> counts; // kind_count per slice, max_slices of them
    std::vector<qint64> totals;
};

#endif
