#include "report/summary_builder.h"

#include "protocol/gain_law.h"
#include "protocol/protocol_version.h"
#include "protocol/status_judgement.h"
#include "protocol/status_words.h"
#include "report/report_words.h"

#include <algorithm>

namespace {

using S = Unit_status;
using Finding = Status_judgement::Finding;

// Shading more spans than this would make a page too heavy: neighbours
// closer than a widening distance are shaded as one.
constexpr int shades_max = 2000;
constexpr qint64 first_shade_merge_ms = 1000;

// An empty cage reports no channel, whatever its channels held before.
S::Direction direction_of(const S &status, int cage, int channel)
{
    return status.cages[cage].present() ? status.cages[cage].channels[channel].direction
                                        : S::Direction::none;
}

bool same_dante_states(const S::Dante &a, const S::Dante &b)
{
    return a.present == b.present && a.system == b.system && a.sync == b.sync && a.link == b.link;
}

} // namespace

Summary_builder::Summary_builder(std::optional<int> given_threshold_dbm)
{
    result.given_threshold_dbm = given_threshold_dbm;
    for (int cage = 0; cage < S::cage_count; ++cage) {
        result.cages[cage].cage = cage;
        for (int channel = 0; channel < S::channel_count; ++channel) {
            Report_summary::Channel &slot =
                result.channels[Report_summary::channel_slot(cage, channel)];
            slot.cage = cage;
            slot.channel = channel;
        }
    }
    // Allocated once: a day of a noisy line adds hundreds of thousands.
    for (Report_summary::Incidents &incidents : result.events.incidents)
        incidents.listed.reserve(Report_summary::Incidents::listed_max);
    set_up_charts();
}

void Summary_builder::set_up_charts()
{
    for (int cage = 0; cage < S::cage_count; ++cage) {
        Report_charts::Chart chart;
        chart.id = QStringLiteral("chart_power_") + Status_words::cage_key(cage);
        chart.title = Report_words::tr("%1 optical power").arg(Status_words::cage_title(cage));
        chart.unit = Status_words::dbm();
        for (int channel = 0; channel < S::channel_count; ++channel) {
            chart.series << Report_words::tr("Ch %1 Rx").arg(Status_words::number(channel))
                         << Report_words::tr("Ch %1 Tx").arg(Status_words::number(channel));
        }
        chart.threshold_series = chart.series.size();
        chart.series << Report_words::tr("Threshold");
        chart.data = Reduced_chart(chart.series.size());
        drawn.charts.push_back(chart);
    }
    Report_charts::Chart temperature;
    temperature.id = QStringLiteral("chart_temperature");
    temperature.title = Report_words::tr("Module temperature");
    temperature.unit = QStringLiteral("°") + Status_words::celsius();
    temperature.decimals = 0;
    for (int cage = 0; cage < S::cage_count; ++cage)
        temperature.series << Status_words::cage_title(cage);
    temperature.data = Reduced_chart(temperature.series.size());
    drawn.charts.push_back(temperature);
    Report_charts::Chart events;
    events.id = QStringLiteral("chart_events");
    events.title = Report_words::tr("Faults, locks and links");
    events.decimals = 1;
    events.lanes = true;
    events.series << Report_words::tr("Rx fault") << Report_words::tr("Tx fault")
                  << Report_words::tr("Overheat") << Report_words::tr("Lock lost")
                  << Report_words::tr("Link down");
    events.data = Reduced_chart(events.series.size());
    drawn.charts.push_back(events);
    for (const Report_charts::Chart &chart : drawn.charts) {
        line_open.emplace_back(static_cast<std::size_t>(chart.series.size()), false);
        line_value.emplace_back(static_cast<std::size_t>(chart.series.size()), 0.0);
    }
}

void Summary_builder::begin_input(const QString &name)
{
    end_run();
    source = name;
}

void Summary_builder::add(const Record_entry &entry)
{
    const qint64 at = entry.time_ms;
    if (!result.any_line) {
        result.any_line = true;
        result.first_ms = at;
    }
    // A clock set back puts later lines before earlier ones.
    result.first_ms = std::min(result.first_ms, at);
    result.last_ms = std::max(result.last_ms, at);
    // A record of the first format has no start line.
    if (entry.event == Record_event::start)
        on_start(at, &entry.start);
    else if (!run_open)
        on_start(at, nullptr);
    using Summary = Report_summary;
    switch (entry.event) {
    case Record_event::status:
        on_status(entry.status, at);
        break;
    case Record_event::silent:
        on_silent(at, entry.since_ms);
        break;
    case Record_event::connected:
        on_connected(at, entry.since_ms);
        break;
    case Record_event::crc_mismatch:
        note_incident(Summary::crc_mismatch, at);
        on_damaged_frame(at);
        break;
    case Record_event::short_message:
        note_incident(Summary::short_message, at);
        on_damaged_frame(at);
        break;
    case Record_event::port_lost:
        note_incident(Summary::port_lost, at);
        on_port_gone(at);
        break;
    case Record_event::port_unavailable:
        note_incident(Summary::port_unavailable, at);
        on_port_gone(at);
        break;
    case Record_event::reopened:
        note_incident(Summary::reopened, at);
        on_reopened(at);
        break;
    case Record_event::sent:
        note_incident(Summary::sent, at);
        break;
    case Record_event::ack_timeout:
        note_incident(Summary::ack_timeout, at);
        break;
    case Record_event::end:
        on_end(at, entry.reason);
        return;
    case Record_event::start:
        break;
    }
    run_last_ms = at;
}

void Summary_builder::note_incident(Report_summary::Incident incident, qint64 at)
{
    Report_summary::Incidents &incidents = result.events.incidents[incident];
    ++incidents.count;
    if (static_cast<int>(incidents.listed.size()) < Report_summary::Incidents::listed_max)
        incidents.listed.push_back(at);
    drawn.incidents.add(incident, at);
}

void Summary_builder::clock_step(const Record_timeline::Clock_step &step)
{
    Report_summary::Clock_steps &steps = result.clock_steps;
    ++steps.count;
    if (static_cast<int>(steps.listed.size()) < Report_summary::Clock_steps::listed_max)
        steps.listed.push_back({step.source, step.line, step.before_ms, step.after_ms});
    const bool port_was_gone = port_gone;
    stop_data(step.before_ms);
    end_silence(step.before_ms);
    if (port_gone)
        end_port_gap(step.before_ms);
    have_status = false;
    gap_from_ms = held_from_ms = step.after_ms;
    // A lost port stays lost until it is reopened, whatever the clock says.
    if (port_was_gone) {
        port_gone = true;
        port_gone_from_ms = step.after_ms;
    }
    shade(step.before_ms, step.after_ms, Report_charts::Shade_kind::no_record);
}

void Summary_builder::finish()
{
    end_run();
}

void Summary_builder::on_start(qint64 at, const Record_start *start)
{
    const bool after_a_run = !result.runs.empty();
    const qint64 previous_end = run_last_ms;
    end_run();
    if (after_a_run)
        shade(previous_end, at, Report_charts::Shade_kind::no_record);
    Report_summary::Run run;
    run.at_ms = at;
    run.has_start = start != nullptr;
    if (start)
        run.start = *start;
    if (start && start->format_version >= Record_start::end_format_version)
        run.ending = Report_summary::Run::Ending::open;
    run.source = source;
    result.runs.push_back(run);
    run_open = true;
    run_last_ms = at;
}

// What the unit said last holds until the run's end line.
void Summary_builder::on_end(qint64 at, const QString &reason)
{
    Report_summary::Run &run = result.runs.back();
    run.ending = Report_summary::Run::Ending::ended;
    run.end_ms = at;
    run.end_reason = reason;
    run_last_ms = at;
    end_run();
}

void Summary_builder::end_run()
{
    if (!run_open)
        return;
    stop_data(run_last_ms);
    end_silence(run_last_ms);
    if (port_gone)
        end_port_gap(run_last_ms);
    // What the next run holds, it says itself.
    have_status = false;
    run_open = false;
}

void Summary_builder::on_status(const S &status, qint64 at)
{
    if (port_gone)
        end_port_gap(at);
    end_silence(at);
    if (live)
        hold_until(at);
    else
        resume_data(at);
    take_values(status, at);
    note_changes(status, at);
    current = status;
    have_status = true;
    observe(status, at);
    count_unjudged();
    draw(status, at);
}

// A frame came that told nothing; a silence with such frames in it was a
// stretch of damaged frames, not a quiet line. Its line is written before
// the silent line that begins at the last status.
void Summary_builder::on_damaged_frame(qint64 at)
{
    last_damaged_ms = at;
    silence_damaged = silence_damaged || silence_open;
}

void Summary_builder::on_silent(qint64 at, qint64 since)
{
    // A lost port is silent too; it is told as the port's.
    if (port_gone || silence_open)
        return;
    qint64 from = since != Record_entry::no_time ? since : at;
    from = live ? std::max(from, held_from_ms) : std::max(from, gap_from_ms);
    stop_data(from);
    silence_open = true;
    silence_from_ms = from;
    silence_damaged = last_damaged_ms >= from;
}

void Summary_builder::on_connected(qint64 at, qint64 since)
{
    if (port_gone || live)
        return;
    const qint64 from = std::max(since != Record_entry::no_time ? since : at, gap_from_ms);
    end_silence(from);
    // The unit talks again; a record of changes only writes no status when
    // it says what it said before the silence.
    if (have_status) {
        resume_data(from);
        observe(current, from);
        draw(current, from);
    }
}

void Summary_builder::on_port_gone(qint64 at)
{
    if (port_gone)
        return;
    stop_data(at);
    end_silence(at);
    port_gone = true;
    port_gone_from_ms = at;
}

void Summary_builder::on_reopened(qint64 at)
{
    if (port_gone)
        end_port_gap(at);
}

void Summary_builder::end_port_gap(qint64 at)
{
    const qint64 to = std::max(at, port_gone_from_ms);
    result.events.without_port_ms += to - port_gone_from_ms;
    shade(port_gone_from_ms, to, Report_charts::Shade_kind::no_port);
    port_gone = false;
}

void Summary_builder::end_silence(qint64 at)
{
    if (!silence_open)
        return;
    const qint64 to = std::max(at, silence_from_ms);
    result.events.silences.add(silence_from_ms, to - silence_from_ms);
    result.events.silences_with_damaged_frames += silence_damaged ? 1 : 0;
    shade(silence_from_ms, to, Report_charts::Shade_kind::silence);
    silence_open = false;
    silence_damaged = false;
}

void Summary_builder::stop_data(qint64 at)
{
    if (!live)
        return;
    hold_until(at);
    live = false;
    gap_from_ms = std::max(at, held_from_ms);
    end_episodes(gap_from_ms);
    end_lines(gap_from_ms);
}

void Summary_builder::end_episodes(qint64 at)
{
    for (Report_summary::Channel &channel : result.channels)
        channel.below_threshold.end(at);
    for (Episodes &episodes : result.faults)
        episodes.end(at);
    for (Episodes &episodes : result.lock_losses)
        episodes.end(at);
    for (Episodes &episodes : result.links_down)
        episodes.end(at);
    for (Episodes &episodes : result.dante_not_ok)
        episodes.end(at);
}

void Summary_builder::resume_data(qint64 at)
{
    live = true;
    held_from_ms = at;
}

void Summary_builder::hold_until(qint64 to)
{
    if (!live || !have_status || to <= held_from_ms) {
        held_from_ms = std::max(held_from_ms, to);
        return;
    }
    const qint64 duration = to - held_from_ms;
    result.with_data_ms += duration;
    for (std::size_t index = 0; index < result.channels.size(); ++index) {
        Report_summary::Channel &slot = result.channels[index];
        const S::Channel &channel = current.cages[slot.cage].channels[slot.channel];
        const S::Direction direction = direction_of(current, slot.cage, slot.channel);
        if (direction == S::Direction::rx)
            slot.rx_power.held(channel.power_tenths, duration);
        else if (direction == S::Direction::tx)
            slot.tx_power.held(channel.power_tenths, duration);
        slot.not_judged.time_ms += below_unjudged[index] ? duration : 0;
    }
    result.below_not_judged.time_ms += any_below_unjudged ? duration : 0;
    result.links_not_judged.time_ms += links_unjudged ? duration : 0;
    result.dante_not_judged.time_ms += dante_unjudged ? duration : 0;
    held_from_ms = to;
}

void Summary_builder::observe(const S &status, qint64 at)
{
    any_below_unjudged = false;
    for (std::size_t index = 0; index < result.channels.size(); ++index) {
        Report_summary::Channel &slot = result.channels[index];
        const Finding below =
            Status_judgement::rx_below(status, slot.cage, slot.channel, result.given_threshold_dbm);
        any_below_unjudged = any_below_unjudged || below == Finding::not_judged;
        slot.judged = slot.judged || (Status_judgement::receives(status, slot.cage, slot.channel) &&
                                      below != Finding::not_judged);
        below_unjudged[index] = below == Finding::not_judged;
        slot.below_threshold.observe(at, below == Finding::shown,
                                     status.cages[slot.cage].channels[slot.channel].power_tenths);
    }
    const bool faults[] = {status.rx_fault, status.tx_fault, status.overheat};
    for (int fault = 0; fault < Report_summary::fault_count; ++fault)
        result.faults[fault].observe(at, faults[fault]);
    for (int row = 0; row < S::lock_count; ++row)
        result.lock_losses[row].observe(at, !status.locks[row]);
    // Whether they can be judged at all is the same for every link, and for
    // every Dante state.
    for (int link = 0; link < S::link_count; ++link) {
        const Finding down = Status_judgement::link_down(status, link);
        links_unjudged = down == Finding::not_judged;
        result.links_down[link].observe(at, down == Finding::shown);
    }
    for (int state = 0; state < S::dante_state_count; ++state) {
        const Finding not_ok = Status_judgement::dante_not_ok(status, state);
        dante_unjudged = not_ok == Finding::not_judged;
        result.dante_not_ok[state].observe(at, not_ok == Finding::shown);
    }
}

// Once per status line: a held status shown again after a gap is not another.
void Summary_builder::count_unjudged()
{
    for (std::size_t index = 0; index < result.channels.size(); ++index)
        result.channels[index].not_judged.statuses += below_unjudged[index] ? 1 : 0;
    result.below_not_judged.statuses += any_below_unjudged ? 1 : 0;
    result.links_not_judged.statuses += links_unjudged ? 1 : 0;
    result.dante_not_judged.statuses += dante_unjudged ? 1 : 0;
}

void Summary_builder::take_values(const S &status, qint64 at)
{
    ++result.statuses;
    // Not a name per status: a day holds close to a million.
    if (!any_version || status.version != last_version) {
        const QString version = Protocol_version::text(status.version);
        if (!result.versions.contains(version))
            result.versions.append(version);
        last_version = status.version;
        any_version = true;
    }
    for (Report_summary::Channel &slot : result.channels) {
        const S::Channel &channel = status.cages[slot.cage].channels[slot.channel];
        const S::Direction direction = direction_of(status, slot.cage, slot.channel);
        if (direction != S::Direction::none &&
            std::find(slot.directions.begin(), slot.directions.end(), direction) ==
                slot.directions.end())
            slot.directions.push_back(direction);
        if (direction == S::Direction::rx) {
            slot.rx_power.sample(channel.power_tenths, at);
        } else if (direction == S::Direction::tx) {
            slot.tx_power.sample(channel.power_tenths, at);
        }
    }
    for (Report_summary::Cage &cage : result.cages) {
        if (status.cages[cage.cage].present())
            cage.temperature_c.sample(status.cages[cage.cage].temperature_c, at);
    }
}

void Summary_builder::note_changes(const S &status, qint64 at)
{
    if (!Protocol_version::takes_threshold(status.version))
        return;
    const bool had = have_previous && Protocol_version::takes_threshold(previous.version);
    const S::Dante &dante = status.dante;
    if (!had || !same_dante_states(dante, previous.dante))
        add_change(result.dante_states, at, Report_words::dante_states(dante));
    const bool gains_differ = !had || dante.gains_reported != previous.dante.gains_reported ||
                              dante.gain_codes != previous.dante.gain_codes;
    if (dante.gains_reported && gains_differ)
        add_change(result.gains, at, Report_words::gains(dante));
    if (!had || status.threshold_dbm != previous.threshold_dbm)
        add_change(result.thresholds, at,
                   QString::number(status.threshold_dbm) + QLatin1Char(' ') + Status_words::dbm());
    previous = status;
    have_previous = true;
}

void Summary_builder::add_change(Report_summary::Changes &changes, qint64 at, const QString &value)
{
    ++changes.count;
    if (static_cast<int>(changes.listed.size()) < Report_summary::Changes::listed_max)
        changes.listed.push_back({at, value});
}

void Summary_builder::draw(const S &status, qint64 at)
{
    const bool threshold = Protocol_version::takes_threshold(status.version);
    for (int cage = 0; cage < S::cage_count; ++cage) {
        for (int index = 0; index < S::channel_count; ++index) {
            const double power = Status_words::dbm(status.cages[cage].channels[index].power_tenths);
            const S::Direction direction = direction_of(status, cage, index);
            draw_value(cage, index * 2, at, direction == S::Direction::rx, power);
            draw_value(cage, index * 2 + 1, at, direction == S::Direction::tx, power);
        }
        draw_value(cage, threshold_series, at, threshold, status.threshold_dbm);
        draw_value(temperature_chart, cage, at, status.cages[cage].present(),
                   status.cages[cage].temperature_c);
    }
    bool lock_lost = false;
    for (const bool locked : status.locks)
        lock_lost = lock_lost || !locked;
    bool link_down = false;
    for (int link = 0; link < S::link_count; ++link)
        link_down = link_down || (status.links_valid && !status.link_up(link));
    const bool lanes[lane_count] = {status.rx_fault, status.tx_fault, status.overheat, lock_lost,
                                    link_down};
    for (int lane = 0; lane < lane_count; ++lane)
        draw_value(events_chart, lane, at, true, lanes[lane] ? 1 : 0);
}

void Summary_builder::draw_value(int chart, int series, qint64 at, bool has_value, double value)
{
    Reduced_chart &data = drawn.charts[static_cast<std::size_t>(chart)].data;
    auto open = line_open[static_cast<std::size_t>(chart)].begin() + series;
    if (has_value) {
        data.sample(series, at, value);
        *open = true;
        line_value[static_cast<std::size_t>(chart)][static_cast<std::size_t>(series)] = value;
    } else if (*open) {
        data.end_line(series, at);
        *open = false;
    }
}

// The data stops: each line keeps its last value up to here, then ends.
void Summary_builder::end_lines(qint64 at)
{
    for (std::size_t chart = 0; chart < drawn.charts.size(); ++chart) {
        for (std::size_t series = 0; series < line_open[chart].size(); ++series) {
            if (!line_open[chart][series])
                continue;
            Reduced_chart &data = drawn.charts[chart].data;
            data.sample(static_cast<int>(series), at, line_value[chart][series]);
            data.end_line(static_cast<int>(series), at);
            line_open[chart][series] = false;
        }
    }
}

void Summary_builder::shade(qint64 from, qint64 to, Report_charts::Shade_kind kind)
{
    if (to <= from)
        return;
    std::vector<Report_charts::Shade> &shades = drawn.shades;
    shades.push_back({from, to, kind});
    if (static_cast<int>(shades.size()) <= shades_max)
        return;
    shade_merge_ms = shade_merge_ms == 0 ? first_shade_merge_ms : shade_merge_ms * 2;
    std::vector<Report_charts::Shade> merged;
    for (const Report_charts::Shade &next : shades) {
        if (merged.empty() || next.from_ms - merged.back().to_ms >= shade_merge_ms) {
            merged.push_back(next);
            continue;
        }
        // A lost port is what an operator looks for first, then a silence.
        Report_charts::Shade &joined = merged.back();
        joined.to_ms = std::max(joined.to_ms, next.to_ms);
        joined.kind = std::max(joined.kind, next.kind);
    }
    shades.swap(merged);
}
