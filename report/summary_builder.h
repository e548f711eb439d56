#ifndef VELMAR_REPORT_SUMMARY_BUILDER_H
#define VELMAR_REPORT_SUMMARY_BUILDER_H

#include "protocol/unit_status.h"
#include "record/record_entry.h"
#include "record/record_timeline.h"
#include "report/report_summary.h"

#include <QtCore/QString>

#include <array>
#include <climits>
#include <optional>
#include <vector>

// Reads a timeline of record entries, in time order, into the summary and
// the charts. A status holds from its line until the next status, until the
// data stops, or until the run ends. The data stops at a silence (from the
// last frame before it, which the silent line's since gives), at a lost or
// unavailable port, and at the end of a run or an input; it starts again
// with the next status, or with a connected line (from its first frame),
// which goes on with the status held before. Time without data is a gap:
// nothing is held across it, nothing drawn across it, and no time in it
// counts below the threshold or towards a mean.
//
// Each status is judged when it comes (Status_judgement): what it shows
// begins an episode even if the status holds for no time at all, while
// durations and means count only the time it held.
class Summary_builder
{
public:
    // given_threshold_dbm: what an Rx power is judged against where the
    // status reports no threshold (below 2.0); none leaves it not judged.
    explicit Summary_builder(std::optional<int> given_threshold_dbm = std::nullopt);

    // A new input: whatever the last one held ends with its last line.
    void begin_input(const QString &source);
    void add(const Record_entry &entry);
    // The writer's clock was set between the last line added and the next:
    // the data ends at the line before, nothing is held across, and what is
    // open goes on from the line after.
    void clock_step(const Record_timeline::Clock_step &step);
    // The end of everything read: what is open ends at the last line.
    void finish();

    const Report_summary &summary() const { return result; }
    const Report_charts &charts() const { return drawn; }

private:
    enum Chart_index
    {
        temperature_chart = Unit_status::cage_count,
        events_chart,
        chart_count
    };
    enum Event_lane
    {
        lane_rx_fault,
        lane_tx_fault,
        lane_overheat,
        lane_lock_lost,
        lane_link_down,
        lane_count
    };
    static constexpr int threshold_series = Unit_status::channel_count * 2;

    void on_status(const Unit_status &status, qint64 at_ms);
    void on_damaged_frame(qint64 at_ms);
    void on_silent(qint64 at_ms, qint64 since_ms);
    void on_connected(qint64 at_ms, qint64 since_ms);
    void on_port_gone(qint64 at_ms);
    void on_reopened(qint64 at_ms);
    void on_start(qint64 at_ms, const Record_start *start);
    void on_end(qint64 at_ms, const QString &reason);
    void end_run();
    void note_incident(Report_summary::Incident incident, qint64 at_ms);

    // The current status held until to_ms.
    void hold_until(qint64 to_ms);
    void stop_data(qint64 at_ms);
    void resume_data(qint64 at_ms);
    void end_silence(qint64 at_ms);
    void end_port_gap(qint64 at_ms);
    void shade(qint64 from_ms, qint64 to_ms, Report_charts::Shade_kind kind);

    // What the status shows from at_ms on: episodes begin, go on or end.
    void observe(const Unit_status &status, qint64 at_ms);
    void count_unjudged();
    void end_episodes(qint64 at_ms);
    void take_values(const Unit_status &status, qint64 at_ms);
    void note_changes(const Unit_status &status, qint64 at_ms);
    void draw(const Unit_status &status, qint64 at_ms);
    void draw_value(int chart, int series, qint64 at_ms, bool has_value, double value);
    void end_lines(qint64 at_ms);
    void set_up_charts();
    static void add_change(Report_summary::Changes &changes, qint64 at_ms, const QString &value);

    Report_summary result;
    Report_charts drawn;
    QString source;

    bool have_status = false; // in this run
    Unit_status current;
    bool live = false; // statuses arrive
    qint64 held_from_ms = 0;
    qint64 gap_from_ms = 0;
    bool silence_open = false;
    qint64 silence_from_ms = 0;
    bool silence_damaged = false;
    qint64 last_damaged_ms = LLONG_MIN;
    // What the status held now could not be judged by, for the time it holds.
    std::array<bool, Unit_status::cage_count * Unit_status::channel_count> below_unjudged{};
    bool any_below_unjudged = false;
    bool links_unjudged = false;
    bool dante_unjudged = false;
    bool port_gone = false;
    qint64 port_gone_from_ms = 0;
    bool run_open = false;
    qint64 run_last_ms = 0;
    bool have_previous = false; // a status in any run, for the changes
    Unit_status previous;
    uint8_t last_version = 0; // of the last status, its name already in versions
    bool any_version = false;
    std::vector<std::vector<bool>> line_open;
    std::vector<std::vector<double>> line_value;
    qint64 shade_merge_ms = 0;
};

#endif
