#ifndef VELMAR_REPORT_REDUCED_CHART_H
#define VELMAR_REPORT_REDUCED_CHART_H

#include <QtCore/QtGlobal>

#include <optional>
#include <vector>

// The series of one chart, reduced as they arrive to the minimum and the
// maximum of each time bucket, never an average: a 200 ms dip in a day stays
// at its full depth. The buckets start a few milliseconds wide, so a short
// record keeps every value, and double in width whenever there are more
// than max_buckets, which bounds the memory and the page whatever the length.
//
// Every series of the chart shares the buckets, so the rows of the page's
// table line up. A break (a gap in the data, a value no longer reported) is
// kept as such, so that a line is never drawn across it.
class Reduced_chart
{
public:
    static constexpr int default_max_buckets = 4000;

    // A value, the end of a line (NaN), or nothing at that time (nullopt).
    using Cell = std::optional<double>;
    struct Row
    {
        qint64 at_ms;
        std::vector<Cell> values;
    };

    explicit Reduced_chart(int series_count, int max_buckets = default_max_buckets);

    // A value of one series, from at_ms on until the next or a break.
    void sample(int series, qint64 at_ms, double value);
    // The series' line ends at at_ms.
    void end_line(int series, qint64 at_ms);

    int series_count() const { return count; }
    bool has_values(int series) const { return seen[series]; }
    qint64 bucket_ms() const { return width; }
    // In time order; a row holds a value or a break for at least one series.
    std::vector<Row> rows() const;

private:
    // Up to five rows per bucket: a break before, the earlier extreme, a
    // break between, the later extreme, a break after.
    static constexpr int slot_count = 5;
    static constexpr qint64 first_width_ms = 8;

    struct Bucket_cell
    {
        bool has_value = false;
        double min = 0.0;
        double max = 0.0;
        qint64 min_at = 0;
        qint64 max_at = 0;
        int breaks = 0;
        qint64 first_break = 0;
        qint64 last_break = 0;

        void merge(const Bucket_cell &later);
    };

    Bucket_cell &cell_at(int series, qint64 at_ms);
    void widen();

    int count;
    int max_buckets;
    bool started = false;
    qint64 origin = 0;
    qint64 width = first_width_ms;
    std::vector<qint64> indexes;    // of the buckets with anything, ascending
    qint64 last_end = 0;            // where the last of them ends
    std::vector<Bucket_cell> cells; // count per bucket
    std::vector<bool> seen;
};

#endif
