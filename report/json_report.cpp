#include "report/json_report.h"

#include "protocol/status_words.h"
#include "report/report.h"
#include "report/report_words.h"

#include <QtCore/QJsonArray>
#include <QtCore/QJsonDocument>
#include <QtCore/QJsonObject>

#include <algorithm>
#include <cmath>

namespace {

using S = Unit_status;

constexpr double ms_per_second = 1000.0;
constexpr double mean_scale = 100.0; // two decimals

QJsonValue time_value(qint64 ms)
{
    return Report_words::time(ms);
}

// A duration under name, and in seconds under name_s.
void put_duration(QJsonObject &object, const QString &name, qint64 ms)
{
    object.insert(name, Report_words::iso_duration(ms));
    object.insert(name + QStringLiteral("_s"), ms / ms_per_second);
}

double dbm(int tenths)
{
    return Status_words::dbm(tenths);
}

QJsonValue power_stats(const Value_stats &stats)
{
    if (!stats.seen())
        return QJsonValue::Null;
    return QJsonObject{{QStringLiteral("min"), dbm(stats.min())},
                       {QStringLiteral("min_time"), time_value(stats.min_at_ms())},
                       {QStringLiteral("mean"),
                        std::round(Status_words::dbm(1) * stats.mean() * mean_scale) / mean_scale},
                       {QStringLiteral("max"), dbm(stats.max())},
                       {QStringLiteral("max_time"), time_value(stats.max_at_ms())}};
}

QJsonValue plain_stats(const Value_stats &stats)
{
    if (!stats.seen())
        return QJsonValue::Null;
    return QJsonObject{{QStringLiteral("min"), stats.min()},
                       {QStringLiteral("min_time"), time_value(stats.min_at_ms())},
                       {QStringLiteral("max"), stats.max()},
                       {QStringLiteral("max_time"), time_value(stats.max_at_ms())}};
}

QJsonObject episodes(const Episodes &episodes_of, bool with_lowest = false)
{
    QJsonObject object{{QStringLiteral("count"), episodes_of.count()},
                       {QStringLiteral("zero_time"), episodes_of.zero_time_count()}};
    put_duration(object, QStringLiteral("total"), episodes_of.total_ms());
    put_duration(object, QStringLiteral("longest"), episodes_of.longest_ms());
    QJsonArray listed;
    for (const Episodes::Episode &episode : episodes_of.listed()) {
        QJsonObject item{{QStringLiteral("start"), time_value(episode.start_ms)},
                         {QStringLiteral("statuses"), episode.statuses}};
        put_duration(item, QStringLiteral("duration"), episode.duration_ms);
        if (with_lowest)
            item.insert(QStringLiteral("lowest_dbm"), dbm(episode.lowest));
        listed.append(item);
    }
    object.insert(QStringLiteral("episodes"), listed);
    return object;
}

QJsonObject unjudged(const Report_summary::Unjudged &unjudged_of)
{
    QJsonObject object{{QStringLiteral("statuses"), unjudged_of.statuses}};
    put_duration(object, QStringLiteral("duration"), unjudged_of.time_ms);
    return object;
}

QJsonObject changes(const Report_summary::Changes &changes_of)
{
    QJsonArray listed;
    for (const Report_summary::Change &change : changes_of.listed)
        listed.append(QJsonObject{{QStringLiteral("from"), time_value(change.at_ms)},
                                  {QStringLiteral("value"), change.value}});
    return QJsonObject{{QStringLiteral("count"), changes_of.count},
                       {QStringLiteral("changes"), listed}};
}

QJsonArray channels(const Report_summary &summary)
{
    QJsonArray out;
    for (const Report_summary::Channel &channel : summary.channels) {
        QJsonArray directions;
        for (const S::Direction direction : channel.directions)
            directions.append(QString(Status_words::word(direction)));
        out.append(QJsonObject{
            {QStringLiteral("cage"), QString(Status_words::cage_key(channel.cage))},
            {QStringLiteral("channel"), Status_words::number(channel.channel)},
            {QStringLiteral("directions"), directions},
            {QStringLiteral("rx_power_dbm"), power_stats(channel.rx_power)},
            {QStringLiteral("tx_power_dbm"), power_stats(channel.tx_power)},
            {QStringLiteral("below_threshold"),
             channel.judged ? QJsonValue(episodes(channel.below_threshold, true))
                            : QJsonValue(QJsonValue::Null)},
            {QStringLiteral("below_threshold_not_judged"), unjudged(channel.not_judged)}});
    }
    return out;
}

QJsonObject indicators(const Report_summary &summary)
{
    QJsonArray locks;
    for (const Episodes &loss : summary.lock_losses)
        locks.append(episodes(loss));
    QJsonObject links;
    for (int link = 0; link < S::link_count; ++link)
        links.insert(Status_words::link_key(link), episodes(summary.links_down[link]));
    QJsonObject dante;
    for (int state = 0; state < S::dante_state_count; ++state)
        dante.insert(Status_words::dante_state_key(state), episodes(summary.dante_not_ok[state]));
    return QJsonObject{
        {QStringLiteral("rx_fault"), episodes(summary.faults[Report_summary::rx_fault])},
        {QStringLiteral("tx_fault"), episodes(summary.faults[Report_summary::tx_fault])},
        {QStringLiteral("overheat"), episodes(summary.faults[Report_summary::overheat])},
        {QStringLiteral("locks_lost"), locks},
        {QStringLiteral("links_down"), links},
        {QStringLiteral("links_not_judged"), unjudged(summary.links_not_judged)},
        {QStringLiteral("dante_not_ok"), dante},
        {QStringLiteral("dante_not_judged"), unjudged(summary.dante_not_judged)}};
}

// Each incident's count under the name it had before its times were listed,
// so that readers of the counts read on; the times under "incidents".
QJsonObject events(const Report_summary::Events &events_of)
{
    using Summary = Report_summary;
    const std::pair<Summary::Incident, const char *> names[] = {
        {Summary::crc_mismatch, "crc_mismatches"}, {Summary::short_message, "short_messages"},
        {Summary::port_lost, "port_lost"},         {Summary::port_unavailable, "port_unavailable"},
        {Summary::reopened, "reopened"},           {Summary::sent, "sent"},
        {Summary::ack_timeout, "ack_timeouts"}};
    QJsonObject object{
        {QStringLiteral("silences"), episodes(events_of.silences)},
        {QStringLiteral("silences_with_damaged_frames"), events_of.silences_with_damaged_frames}};
    QJsonObject incidents;
    for (const auto &name : names) {
        const Summary::Incidents &each = events_of.incidents[name.first];
        QJsonArray times;
        for (const qint64 at : each.listed)
            times.append(time_value(at));
        object.insert(QLatin1String(name.second), each.count);
        incidents.insert(
            QLatin1String(name.second),
            QJsonObject{{QStringLiteral("count"), each.count}, {QStringLiteral("times"), times}});
    }
    object.insert(QStringLiteral("incidents"), incidents);
    put_duration(object, QStringLiteral("without_port"), events_of.without_port_ms);
    return object;
}

QJsonValue verdict(const Verdict &verdict_of)
{
    if (!verdict_of.asked())
        return QJsonValue::Null;
    QJsonArray checks;
    for (const Verdict::Finding &finding : verdict_of.findings)
        checks.append(
            QJsonObject{{QStringLiteral("check"), Verdict::name(finding.check)},
                        {QStringLiteral("result"), Verdict::result_key(finding.result)},
                        {QStringLiteral("failed"), finding.result == Verdict::Result::failed},
                        {QStringLiteral("found"), finding.what}});
    return QJsonObject{{QStringLiteral("passed"), verdict_of.passed()},
                       {QStringLiteral("result"), Verdict::result_key(verdict_of.result())},
                       {QStringLiteral("no_data"), verdict_of.no_data},
                       {QStringLiteral("checks"), checks}};
}

QJsonArray runs(const Report_summary &summary)
{
    QJsonArray out;
    for (const Report_summary::Run &run : summary.runs) {
        QJsonObject item{{QStringLiteral("time"), time_value(run.at_ms)},
                         {QStringLiteral("record"), run.source}};
        item.insert(QStringLiteral("record_version"),
                    run.has_start ? run.start.format_version : Record_start::first_format_version);
        if (run.has_start) {
            item.insert(QStringLiteral("program"), run.start.program);
            item.insert(QStringLiteral("program_version"), run.start.program_version);
            item.insert(QStringLiteral("port"), run.start.port);
            item.insert(QStringLiteral("baud_rate"), run.start.baud_rate);
        }
        using Ending = Report_summary::Run::Ending;
        item.insert(QStringLiteral("ended"), run.ending == Ending::not_told
                                                 ? QJsonValue(QJsonValue::Null)
                                                 : QJsonValue(run.ending == Ending::ended));
        item.insert(QStringLiteral("end"),
                    run.ending == Ending::ended
                        ? QJsonValue(QJsonObject{{QStringLiteral("time"), time_value(run.end_ms)},
                                                 {QStringLiteral("reason"), run.end_reason}})
                        : QJsonValue(QJsonValue::Null));
        out.append(item);
    }
    return out;
}

// Each step with its size, negative for a clock set back.
QJsonObject clock_steps(const Report_summary::Clock_steps &steps_of)
{
    QJsonArray steps;
    for (const Report_summary::Clock_step &step : steps_of.listed) {
        QJsonObject item{{QStringLiteral("record"), step.source},
                         {QStringLiteral("line"), step.line},
                         {QStringLiteral("before"), time_value(step.before_ms)},
                         {QStringLiteral("after"), time_value(step.after_ms)}};
        item.insert(QStringLiteral("size_s"), (step.after_ms - step.before_ms) / ms_per_second);
        steps.append(item);
    }
    return QJsonObject{{QStringLiteral("count"), steps_of.count}, {QStringLiteral("steps"), steps}};
}

} // namespace

QByteArray Json_report::write(const Report &report)
{
    const Report_summary &summary = report.summary;
    QJsonObject span;
    if (summary.any_line) {
        span.insert(QStringLiteral("from"), time_value(summary.first_ms));
        span.insert(QStringLiteral("to"), time_value(summary.last_ms));
    }
    put_duration(span, QStringLiteral("duration"), summary.last_ms - summary.first_ms);
    put_duration(span, QStringLiteral("with_data"), summary.with_data_ms);
    QJsonArray cages;
    for (const Report_summary::Cage &cage : summary.cages)
        cages.append(
            QJsonObject{{QStringLiteral("cage"), QString(Status_words::cage_key(cage.cage))},
                        {QStringLiteral("temperature_c"), plain_stats(cage.temperature_c)}});
    const QJsonObject root{
        {QStringLiteral("report_version"), format_version},
        {QStringLiteral("inputs"), QJsonArray::fromStringList(report.inputs)},
        {QStringLiteral("lines_left_out"), report.lines_left_out},
        {QStringLiteral("span"), span},
        {QStringLiteral("versions"), QJsonArray::fromStringList(summary.versions)},
        {QStringLiteral("statuses"), summary.statuses},
        {QStringLiteral("below_threshold_not_judged"), unjudged(summary.below_not_judged)},
        {QStringLiteral("threshold_given_dbm"), summary.given_threshold_dbm
                                                    ? QJsonValue(*summary.given_threshold_dbm)
                                                    : QJsonValue(QJsonValue::Null)},
        {QStringLiteral("runs"), runs(summary)},
        {QStringLiteral("runs_without_end"),
         static_cast<qint64>(std::count_if(
             summary.runs.begin(), summary.runs.end(),
             [](const auto &run) { return run.ending == Report_summary::Run::Ending::open; }))},
        {QStringLiteral("clock_steps"), clock_steps(summary.clock_steps)},
        {QStringLiteral("verdict"), verdict(report.verdict)},
        {QStringLiteral("channels"), channels(summary)},
        {QStringLiteral("cages"), cages},
        {QStringLiteral("indicators"), indicators(summary)},
        {QStringLiteral("dante"),
         QJsonObject{{QStringLiteral("states"), changes(summary.dante_states)},
                     {QStringLiteral("gains"), changes(summary.gains)},
                     {QStringLiteral("thresholds"), changes(summary.thresholds)}}},
        {QStringLiteral("events"), events(summary.events)}};
    return QJsonDocument(root).toJson(QJsonDocument::Indented);
}
