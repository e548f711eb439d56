#ifndef VELMAR_REPORT_REPORT_SUMMARY_H
#define VELMAR_REPORT_REPORT_SUMMARY_H

#include "protocol/unit_status.h"
#include "record/record_start.h"
#include "report/episodes.h"
#include "report/reduced_chart.h"
#include "report/slice_counts.h"
#include "report/value_stats.h"

#include <QtCore/QString>
#include <QtCore/QStringList>
#include <QtCore/QtGlobal>

#include <array>
#include <optional>
#include <vector>

// What a record says, as numbers: the plain value every report format is
// written from. Times are ms since the epoch, UTC; durations ms; powers
// tenths of a dBm as the unit reports them.
struct Report_summary
{
    // A value as it was and from when: a Dante state, the gains, the threshold.
    struct Change
    {
        qint64 at_ms = 0;
        QString value;
    };

    struct Changes
    {
        static constexpr int listed_max = 500;
        qint64 count = 0;
        std::vector<Change> listed; // the first listed_max
    };

    // Statuses that did not say enough for a check to judge them, and the
    // time they held: what a verdict cannot call a pass.
    struct Unjudged
    {
        qint64 statuses = 0;
        qint64 time_ms = 0;

        bool any() const { return statuses > 0; }
    };

    struct Channel
    {
        int cage = 0;
        int channel = 0;
        // Every direction the channel had, in the order they came.
        std::vector<Unit_status::Direction> directions;
        Value_stats rx_power;
        Value_stats tx_power;
        // An Rx channel is judged against the threshold its status reports
        // (2.0 on), or else against the one given on the command line.
        bool judged = false;      // at least one status was
        Episodes below_threshold; // lowest: tenths of a dBm
        Unjudged not_judged;      // Rx statuses with no threshold to judge by
    };

    struct Cage
    {
        int cage = 0;
        Value_stats temperature_c;
    };

    struct Run
    {
        // Whether the record says the run is over: by its end line; or not,
        // so that it may still be written, or its writer was killed; or it
        // cannot tell, written before end lines were.
        enum class Ending
        {
            ended,
            open,
            not_told,
        };

        qint64 at_ms = 0;
        bool has_start = false; // false for a record of the first format
        Record_start start;
        QString source;
        Ending ending = Ending::not_told;
        qint64 end_ms = 0;
        QString end_reason; // as the end line words it
    };

    // What happens at a moment rather than for a while.
    enum Incident
    {
        port_lost,
        port_unavailable, // the port could not be opened at start
        reopened,
        crc_mismatch,
        short_message,
        sent,
        ack_timeout,
        incident_count
    };

    struct Incidents
    {
        static constexpr int listed_max = 500;
        qint64 count = 0;
        std::vector<qint64> listed; // the times of the first listed_max, in the record's order
    };

    struct Events
    {
        Episodes silences;
        // Silences during which frames still came, none of them decoded.
        qint64 silences_with_damaged_frames = 0;
        qint64 without_port_ms = 0;
        std::array<Incidents, incident_count> incidents{};

        qint64 count(Incident incident) const { return incidents[incident].count; }
    };

    // Where the writer's clock was set between two lines: the data ends at
    // the line before and goes on after it.
    struct Clock_step
    {
        QString source;
        qint64 line = 0; // the first line after the step
        qint64 before_ms = 0;
        qint64 after_ms = 0;
    };

    struct Clock_steps
    {
        static constexpr int listed_max = 500;
        qint64 count = 0;
        std::vector<Clock_step> listed; // the first listed_max
    };

    enum Fault
    {
        rx_fault,
        tx_fault,
        overheat,
        fault_count
    };

    bool any_line = false;
    qint64 first_ms = 0;
    qint64 last_ms = 0;
    qint64 with_data_ms = 0; // time covered by statuses, gaps excluded
    QStringList versions;    // as records name them, in the order they came
    qint64 statuses = 0;

    std::array<Channel, Unit_status::cage_count * Unit_status::channel_count> channels{};
    std::array<Cage, Unit_status::cage_count> cages{};
    std::array<Episodes, fault_count> faults{};
    std::array<Episodes, Unit_status::lock_count> lock_losses{};
    std::array<Episodes, Unit_status::link_count> links_down{};
    Unjudged below_not_judged; // statuses with an Rx channel and no threshold to judge it by
    Unjudged links_not_judged; // statuses whose link states are not valid
    std::array<Episodes, Unit_status::dante_state_count> dante_not_ok{};
    Unjudged dante_not_judged; // statuses without the Dante submodule's states
    // The threshold given on the command line for statuses that report none.
    std::optional<int> given_threshold_dbm;
    Changes dante_states;
    Changes gains;
    Changes thresholds;
    Events events;
    std::vector<Run> runs;
    Clock_steps clock_steps;

    static int channel_slot(int cage, int channel)
    {
        return cage * Unit_status::channel_count + channel;
    }
};

// The charts of the page, reduced (Reduced_chart), with the spans without
// data to shade.
struct Report_charts
{
    // By weight: where two meet, the heavier is shown.
    enum class Shade_kind
    {
        no_record, // between runs or inputs
        silence,
        no_port,
    };

    struct Shade
    {
        qint64 from_ms;
        qint64 to_ms;
        Shade_kind kind;
    };

    struct Chart
    {
        QString id;
        QString title;
        QString unit;
        QStringList series;
        int decimals = 1;
        bool step = true;
        int threshold_series = -1; // alone it makes no chart
        bool lanes = false;        // on/off indicators, one lane each
        Reduced_chart data{0};
    };

    std::vector<Chart> charts;
    std::vector<Shade> shades;
    // Report_summary::Incident counted per slice of time, a lane each.
    Slice_counts incidents{Report_summary::incident_count};
};

#endif
