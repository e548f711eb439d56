#include "report/report_tables.h"

#include "protocol/status_words.h"
#include "report/report.h"
#include "report/report_words.h"

#include <algorithm>
#include <cstdlib>

namespace {

using S = Unit_status;
using Section = Report_tables::Section;
using Table = Report_tables::Table;

QString direction_words(const std::vector<S::Direction> &directions)
{
    QStringList words;
    for (const S::Direction direction : directions)
        words << QString(Status_words::word(direction));
    return words.isEmpty() ? QStringLiteral("none") : words.join(QStringLiteral(", then "));
}

QString channel_name(int cage, int channel)
{
    return Report_words::tr("%1 ch %2")
        .arg(Status_words::cage_title(cage))
        .arg(Status_words::number(channel));
}

QString dbm(int tenths)
{
    return Report_words::power(tenths) + QLatin1Char(' ') + Status_words::dbm();
}

// "3 episodes, 4.200 s in all, longest 2.000 s", or "none"
QString episodes_line(const Episodes &episodes)
{
    if (episodes.count() == 0)
        return Report_tables::tr("none");
    return Report_tables::tr("%1, longest %2")
        .arg(Report_words::episodes_found(episodes.count(), episodes.total_ms(),
                                          episodes.zero_time_count()),
             Report_words::duration(episodes.longest_ms()));
}

// "2", or "2 (1 held for no time)"
QString episode_count(const Episodes &episodes)
{
    const QString count = QString::number(episodes.count());
    if (episodes.zero_time_count() == 0)
        return count;
    return Report_tables::tr("%1 (%2 held for no time)").arg(count).arg(episodes.zero_time_count());
}

// "1 h 02 min 00.000 s (3,600 statuses)", or "-"
QString unjudged_cell(const Report_summary::Unjudged &unjudged)
{
    if (!unjudged.any())
        return QStringLiteral("-");
    return Report_tables::tr("%1 (%2)").arg(Report_words::duration(unjudged.time_ms),
                                            Report_words::count(unjudged.statuses,
                                                                Report_tables::tr("status"),
                                                                Report_tables::tr("statuses")));
}

QString not_listed(qint64 count, std::size_t listed)
{
    if (count <= static_cast<qint64>(listed))
        return QString();
    return Report_tables::tr("The first %1 of %2 are listed.").arg(listed).arg(count);
}

// One row of a table of things that happen in episodes.
QStringList episodes_row(const QString &name, const Episodes &episodes)
{
    if (episodes.count() == 0)
        return {name, QStringLiteral("0"), QStringLiteral("-"), QStringLiteral("-")};
    return {name, episode_count(episodes), Report_words::duration(episodes.total_ms()),
            Report_words::duration(episodes.longest_ms())};
}

QStringList episodes_header(const QString &what)
{
    return {what, Report_tables::tr("Episodes"), Report_tables::tr("In all"),
            Report_tables::tr("Longest")};
}

// One table of episodes, with the lowest power when it is a power's.
Table episode_table(const QString &title, const Episodes &episodes, bool with_lowest)
{
    Table table;
    table.title = title;
    table.header << Report_tables::tr("Start") << Report_tables::tr("Duration");
    if (with_lowest)
        table.header << Report_tables::tr("Lowest");
    for (const Episodes::Episode &episode : episodes.listed()) {
        QStringList row{Report_words::time(episode.start_ms),
                        Report_words::episode_duration(episode)};
        if (with_lowest)
            row << dbm(episode.lowest);
        table.rows.push_back(row);
    }
    table.note = not_listed(episodes.count(), episodes.listed().size());
    return table;
}

QString stat_cell(const Value_stats &stats, bool minimum)
{
    if (!stats.seen())
        return QStringLiteral("-");
    return minimum ? dbm(stats.min()) + Report_tables::tr(" at ") +
                         Report_words::time(stats.min_at_ms())
                   : dbm(stats.max()) + Report_tables::tr(" at ") +
                         Report_words::time(stats.max_at_ms());
}

QString mean_cell(const Value_stats &stats)
{
    if (!stats.seen())
        return QStringLiteral("-");
    return Report_words::power(stats.mean() / 10.0) + QLatin1Char(' ') + Status_words::dbm();
}

// Where the writer's clock was set: the data ends before each and goes on after.
Table clock_step_table(const Report_summary::Clock_steps &steps)
{
    Table table;
    table.title = Report_tables::tr("Clock steps (the data ends before each, nothing is held "
                                    "across)");
    table.header << Report_tables::tr("Record") << Report_tables::tr("Before")
                 << Report_tables::tr("After") << Report_tables::tr("Step");
    for (const Report_summary::Clock_step &step : steps.listed) {
        const qint64 size = step.after_ms - step.before_ms;
        table.rows.push_back(
            {step.source + QLatin1Char(':') + QString::number(step.line),
             Report_words::time(step.before_ms), Report_words::time(step.after_ms),
             (size < 0 ? Report_tables::tr("back %1") : Report_tables::tr("forward %1"))
                 .arg(Report_words::duration(std::abs(size)))});
    }
    table.note = not_listed(steps.count, steps.listed.size());
    return table;
}

QString run_end_cell(const Report_summary::Run &run)
{
    switch (run.ending) {
    case Report_summary::Run::Ending::ended:
        return Report_tables::tr("%1, %2").arg(Report_words::time(run.end_ms),
                                               Report_words::run_end(run.end_reason));
    case Report_summary::Run::Ending::open:
        return Report_tables::tr("no end: still being written, or its writer was killed");
    case Report_summary::Run::Ending::not_told:
        break;
    }
    return QStringLiteral("-");
}

Section overview(const Report &report)
{
    const Report_summary &summary = report.summary;
    Section section;
    section.id = QStringLiteral("overview");
    section.title = Report_tables::tr("Overview");
    section.lines << Report_tables::tr("Records: %1").arg(report.inputs.join(QStringLiteral(", ")));
    if (summary.any_line) {
        section.lines << Report_tables::tr("From %1 to %2 (%3)")
                             .arg(Report_words::time(summary.first_ms),
                                  Report_words::time(summary.last_ms),
                                  Report_words::duration(summary.last_ms - summary.first_ms));
    }
    section.lines
        << Report_tables::tr("With data: %1").arg(Report_words::duration(summary.with_data_ms))
        << Report_tables::tr("Protocol versions: %1")
               .arg(summary.versions.isEmpty() ? QStringLiteral("-")
                                               : summary.versions.join(QStringLiteral(", ")))
        << Report_tables::tr("Statuses: %1").arg(summary.statuses);
    if (report.lines_left_out > 0)
        section.lines << Report_tables::tr(
                             "Lines left out: %1 (see the messages on standard error)")
                             .arg(report.lines_left_out);
    Table runs;
    runs.title = Report_tables::tr("Runs");
    runs.header << Report_tables::tr("Start") << Report_tables::tr("End")
                << Report_tables::tr("Program") << Report_tables::tr("Port")
                << Report_tables::tr("Baud rate") << Report_tables::tr("Record version")
                << Report_tables::tr("Record");
    qint64 without_end = 0;
    for (const Report_summary::Run &run : summary.runs) {
        const QString unknown = QStringLiteral("-");
        without_end += run.ending == Report_summary::Run::Ending::open ? 1 : 0;
        runs.rows.push_back({Report_words::time(run.at_ms), run_end_cell(run),
                             run.has_start
                                 ? run.start.program + QLatin1Char(' ') + run.start.program_version
                                 : unknown,
                             run.has_start ? run.start.port : unknown,
                             run.has_start ? QString::number(run.start.baud_rate) : unknown,
                             QString::number(run.has_start ? run.start.format_version
                                                           : Record_start::first_format_version),
                             run.source});
    }
    if (without_end > 0)
        section.lines << Report_tables::tr("Runs without an end line: %1 (still being written, "
                                           "or the writer was killed)")
                             .arg(without_end);
    section.tables.push_back(runs);
    if (summary.clock_steps.count > 0)
        section.tables.push_back(clock_step_table(summary.clock_steps));
    return section;
}

Section verdict(const Report &report)
{
    Section section;
    section.id = QStringLiteral("verdict");
    section.title = Report_tables::tr("Verdict: %1").arg(Report_tables::verdict_word(report));
    if (report.verdict.no_data)
        section.lines << Report_tables::tr("No status in the record: nothing to pass.");
    else if (report.verdict.result() == Verdict::Result::not_judged)
        section.lines << Report_tables::tr("What could not be judged did not pass either.");
    Table checks;
    checks.header << Report_tables::tr("Check") << Report_tables::tr("Result")
                  << Report_tables::tr("Found");
    for (const Verdict::Finding &finding : report.verdict.findings)
        checks.rows.push_back(
            {Verdict::name(finding.check), Verdict::result_word(finding.result), finding.what});
    section.tables.push_back(checks);
    return section;
}

Section channels(const Report &report)
{
    Section section;
    section.id = QStringLiteral("channels");
    section.title = Report_tables::tr("Optical power");
    Table powers;
    powers.header << Report_tables::tr("Channel") << Report_tables::tr("Direction")
                  << Report_tables::tr("Power") << Report_tables::tr("Minimum")
                  << Report_tables::tr("Mean") << Report_tables::tr("Maximum");
    for (const Report_summary::Channel &channel : report.summary.channels) {
        if (channel.directions.empty())
            continue;
        const QString name = channel_name(channel.cage, channel.channel);
        const QString direction = direction_words(channel.directions);
        const std::pair<const char *, const Value_stats *> kinds[] = {{"Rx", &channel.rx_power},
                                                                      {"Tx", &channel.tx_power}};
        for (const auto &kind : kinds) {
            if (!kind.second->seen())
                continue;
            powers.rows.push_back({name, direction, QString::fromLatin1(kind.first),
                                   stat_cell(*kind.second, true), mean_cell(*kind.second),
                                   stat_cell(*kind.second, false)});
        }
    }
    section.tables.push_back(powers);
    Table below;
    below.title = Report_tables::tr("Below the unit's Rx-power threshold");
    below.header = episodes_header(Report_tables::tr("Channel")) << Report_tables::tr("Not judged");
    std::vector<Table> episodes;
    bool any_unjudged = false;
    for (const Report_summary::Channel &channel : report.summary.channels) {
        if (!channel.rx_power.seen())
            continue;
        const QString name = channel_name(channel.cage, channel.channel);
        QStringList row = channel.judged ? episodes_row(name, channel.below_threshold)
                                         : QStringList{name, Report_tables::tr("not judged"),
                                                       QStringLiteral("-"), QStringLiteral("-")};
        below.rows.push_back(row << unjudged_cell(channel.not_judged));
        any_unjudged = any_unjudged || channel.not_judged.any();
        if (channel.below_threshold.count() > 0)
            episodes.push_back(episode_table(Report_tables::tr("%1 below the threshold").arg(name),
                                             channel.below_threshold, true));
    }
    const std::optional<int> given = report.summary.given_threshold_dbm;
    if (given)
        section.lines << Report_tables::tr("Where a status reports no threshold (below protocol "
                                           "2.0), Rx powers are judged against %1 dBm, as given.")
                             .arg(*given);
    else if (any_unjudged)
        section.lines << Report_tables::tr(
            "A unit below protocol 2.0 reports no threshold: its "
            "Rx powers are not judged unless --threshold gives one.");
    if (!below.rows.empty())
        section.tables.push_back(below);
    section.tables.insert(section.tables.end(), episodes.begin(), episodes.end());
    return section;
}

Section temperatures(const Report &report)
{
    Section section;
    section.id = QStringLiteral("temperatures");
    section.title = Report_tables::tr("Module temperature");
    Table table;
    table.header << Report_tables::tr("Cage") << Report_tables::tr("Minimum")
                 << Report_tables::tr("Maximum");
    const QString unit = QStringLiteral(" °") + Status_words::celsius();
    for (const Report_summary::Cage &cage : report.summary.cages) {
        const Value_stats &t = cage.temperature_c;
        if (!t.seen())
            continue;
        table.rows.push_back({Status_words::cage_title(cage.cage),
                              QString::number(t.min()) + unit + Report_tables::tr(" at ") +
                                  Report_words::time(t.min_at_ms()),
                              QString::number(t.max()) + unit + Report_tables::tr(" at ") +
                                  Report_words::time(t.max_at_ms())});
    }
    section.tables.push_back(table);
    return section;
}

Section indicators(const Report &report)
{
    const Report_summary &summary = report.summary;
    Section section;
    section.id = QStringLiteral("indicators");
    section.title = Report_tables::tr("Faults, locks and links");
    std::vector<std::pair<QString, const Episodes *>> all;
    for (int fault = 0; fault < Report_summary::fault_count; ++fault)
        all.emplace_back(Report_words::fault_name(fault), &summary.faults[fault]);
    for (int row = 0; row < S::lock_count; ++row)
        all.emplace_back(Report_tables::tr("Row %1 unlocked").arg(Status_words::number(row)),
                         &summary.lock_losses[row]);
    for (int link = 0; link < S::link_count; ++link)
        all.emplace_back(Report_tables::tr("%1 down").arg(Report_words::link_name(link)),
                         &summary.links_down[link]);
    for (int state = 0; state < S::dante_state_count; ++state)
        all.emplace_back(
            Report_tables::tr("Dante %1 not ok").arg(QString(Status_words::dante_state_key(state))),
            &summary.dante_not_ok[state]);
    if (summary.links_not_judged.any())
        section.lines << Report_tables::tr("Links not judged (link states not valid): %1")
                             .arg(unjudged_cell(summary.links_not_judged));
    if (summary.dante_not_judged.any())
        section.lines << Report_tables::tr("Dante states not judged (no submodule reported): %1")
                             .arg(unjudged_cell(summary.dante_not_judged));
    Table overview;
    overview.header = episodes_header(Report_tables::tr("Indicator"));
    for (const auto &indicator : all)
        overview.rows.push_back(episodes_row(indicator.first, *indicator.second));
    section.tables.push_back(overview);
    for (const auto &indicator : all) {
        if (indicator.second->count() > 0)
            section.tables.push_back(episode_table(indicator.first, *indicator.second, false));
    }
    return section;
}

Table changes_table(const QString &title, const Report_summary::Changes &changes)
{
    Table table;
    table.title = title;
    table.header << Report_tables::tr("From") << Report_tables::tr("Value");
    for (const Report_summary::Change &change : changes.listed)
        table.rows.push_back({Report_words::time(change.at_ms), change.value});
    table.note = not_listed(changes.count, changes.listed.size());
    return table;
}

Section dante(const Report &report)
{
    const Report_summary &summary = report.summary;
    Section section;
    section.id = QStringLiteral("dante");
    section.title = Report_tables::tr("Dante submodule and threshold");
    if (summary.dante_states.count == 0 && summary.thresholds.count == 0) {
        section.lines << Report_tables::tr("Not reported (protocol below 2.0).");
        return section;
    }
    section.tables.push_back(changes_table(Report_tables::tr("States"), summary.dante_states));
    section.tables.push_back(changes_table(Report_tables::tr("Gains"), summary.gains));
    section.tables.push_back(
        changes_table(Report_tables::tr("Rx-power threshold"), summary.thresholds));
    return section;
}

// Every kind's first listed, in one list by time: what happened when.
Table incident_table(const Report_summary::Events &events)
{
    Table table;
    table.title = Report_tables::tr("Incidents");
    table.header << Report_tables::tr("Time") << Report_tables::tr("Incident");
    std::vector<std::pair<qint64, int>> all;
    QStringList notes;
    for (int kind = 0; kind < Report_summary::incident_count; ++kind) {
        const Report_summary::Incidents &incidents = events.incidents[kind];
        for (const qint64 at : incidents.listed)
            all.emplace_back(at, kind);
        if (incidents.count > static_cast<qint64>(incidents.listed.size()))
            notes << Report_tables::tr("%1: the first %2 are listed, and %3 more.")
                         .arg(Report_words::incident_name(kind))
                         .arg(incidents.listed.size())
                         .arg(incidents.count - static_cast<qint64>(incidents.listed.size()));
    }
    std::stable_sort(all.begin(), all.end(),
                     [](const auto &a, const auto &b) { return a.first < b.first; });
    for (const auto &incident : all)
        table.rows.push_back(
            {Report_words::time(incident.first), Report_words::incident_name(incident.second)});
    table.note = notes.join(QLatin1Char(' '));
    return table;
}

Section events(const Report &report)
{
    const Report_summary::Events &events = report.summary.events;
    Section section;
    section.id = QStringLiteral("events");
    section.title = Report_tables::tr("Link events");
    QString silences = episodes_line(events.silences);
    if (events.silences_with_damaged_frames > 0)
        silences += Report_tables::tr("; %1 with damaged frames only, none decoded")
                        .arg(events.silences_with_damaged_frames);
    using Summary = Report_summary;
    section.lines
        << Report_tables::tr("Silences: %1").arg(silences)
        << Report_tables::tr("CRC mismatches: %1; short messages: %2")
               .arg(events.count(Summary::crc_mismatch))
               .arg(events.count(Summary::short_message))
        << Report_tables::tr(
               "Port lost: %1; unavailable at start: %2; reopened: %3; without a port: %4")
               .arg(events.count(Summary::port_lost))
               .arg(events.count(Summary::port_unavailable))
               .arg(events.count(Summary::reopened))
               .arg(Report_words::duration(events.without_port_ms))
        << Report_tables::tr("Control frames sent: %1; acknowledgements timed out: %2")
               .arg(events.count(Summary::sent))
               .arg(events.count(Summary::ack_timeout));
    if (events.silences.count() > 0)
        section.tables.push_back(
            episode_table(Report_tables::tr("Silences, from the last frame to the next"),
                          events.silences, false));
    const Table incidents = incident_table(events);
    if (!incidents.rows.empty())
        section.tables.push_back(incidents);
    return section;
}

} // namespace

QString Report_tables::verdict_word(const Report &report)
{
    if (!report.verdict.asked())
        return QString();
    switch (report.verdict.result()) {
    case Verdict::Result::passed:
        return QStringLiteral("PASS");
    case Verdict::Result::not_judged:
        return QStringLiteral("NOT JUDGED");
    case Verdict::Result::failed:
        break;
    }
    return QStringLiteral("FAIL");
}

std::vector<Report_tables::Section> Report_tables::of(const Report &report)
{
    std::vector<Section> sections;
    sections.push_back(overview(report));
    if (report.verdict.asked())
        sections.push_back(verdict(report));
    sections.push_back(channels(report));
    sections.push_back(temperatures(report));
    sections.push_back(indicators(report));
    sections.push_back(dante(report));
    sections.push_back(events(report));
    return sections;
}
