#include "report/report_words.h"

#include "protocol/gain_law.h"
#include "protocol/status_words.h"
#include "record/record_end.h"
#include "record/record_time.h"
#include "report/report_summary.h"

namespace {

constexpr qint64 ms_per_second = 1000;
constexpr qint64 ms_per_minute = 60 * ms_per_second;
constexpr qint64 ms_per_hour = 60 * ms_per_minute;
constexpr qint64 ms_per_day = 24 * ms_per_hour;
constexpr int ms_digits = 3;

QString seconds_text(qint64 ms, int width)
{
    return QStringLiteral("%1.%2")
        .arg(ms / ms_per_second, width, 10, QLatin1Char('0'))
        .arg(ms % ms_per_second, ms_digits, 10, QLatin1Char('0'));
}

QString two_digits(qint64 value)
{
    return QStringLiteral("%1").arg(value, 2, 10, QLatin1Char('0'));
}

QString state_word(Unit_status::Dante_state state)
{
    return state == Unit_status::Dante_state::ok ? QStringLiteral("ok") : QStringLiteral("fault");
}

} // namespace

QString Report_words::time(qint64 ms_since_epoch)
{
    return Record_time::text(ms_since_epoch);
}

QString Report_words::duration(qint64 ms)
{
    const qint64 days = ms / ms_per_day;
    const qint64 hours = ms % ms_per_day / ms_per_hour;
    const qint64 minutes = ms % ms_per_hour / ms_per_minute;
    const qint64 rest = ms % ms_per_minute;
    if (days > 0)
        return tr("%1 d %2 h %3 min %4 s")
            .arg(days)
            .arg(two_digits(hours), two_digits(minutes), seconds_text(rest, 2));
    if (hours > 0)
        return tr("%1 h %2 min %3 s").arg(hours).arg(two_digits(minutes), seconds_text(rest, 2));
    if (minutes > 0)
        return tr("%1 min %2 s").arg(minutes).arg(seconds_text(rest, 2));
    return tr("%1 s").arg(seconds_text(rest, 1));
}

QString Report_words::iso_duration(qint64 ms)
{
    const qint64 days = ms / ms_per_day;
    const qint64 hours = ms % ms_per_day / ms_per_hour;
    const qint64 minutes = ms % ms_per_hour / ms_per_minute;
    const qint64 rest = ms % ms_per_minute;
    QString text = QStringLiteral("P");
    if (days > 0)
        text += QString::number(days) + QLatin1Char('D');
    text += QLatin1Char('T');
    if (hours > 0)
        text += QString::number(hours) + QLatin1Char('H');
    if (minutes > 0)
        text += QString::number(minutes) + QLatin1Char('M');
    return text + seconds_text(rest, 1) + QLatin1Char('S');
}

QString Report_words::power(int tenths)
{
    return Status_words::power_text(tenths);
}

QString Report_words::power(double dbm)
{
    return QString::number(dbm, 'f', Status_words::power_decimals + 1);
}

QString Report_words::dante_states(const Unit_status::Dante &dante)
{
    if (!dante.present)
        return tr("absent");
    QStringList states;
    for (int kind = 0; kind < Unit_status::dante_state_count; ++kind)
        states << QString(Status_words::dante_state_key(kind)) + QLatin1Char(' ') +
                      state_word(dante.state(kind));
    return states.join(QStringLiteral(", "));
}

QString Report_words::gains(const Unit_status::Dante &dante)
{
    QStringList gains;
    for (const uint8_t code : dante.gain_codes)
        gains << Status_words::gain_text(code) + QLatin1Char(' ') + Status_words::db();
    return gains.join(QStringLiteral(", "));
}

QString Report_words::fault_name(int fault)
{
    switch (fault) {
    case Report_summary::rx_fault:
        return tr("Rx fault");
    case Report_summary::tx_fault:
        return tr("Tx fault");
    default:
        return tr("Overheat");
    }
}

QString Report_words::incident_name(int incident)
{
    switch (incident) {
    case Report_summary::port_lost:
        return tr("Port lost");
    case Report_summary::port_unavailable:
        return tr("Port unavailable");
    case Report_summary::reopened:
        return tr("Port reopened");
    case Report_summary::crc_mismatch:
        return tr("CRC mismatch");
    case Report_summary::short_message:
        return tr("Short message");
    case Report_summary::sent:
        return tr("Frame sent");
    default:
        return tr("Ack time-out");
    }
}

QString Report_words::run_end(const QString &reason)
{
    const std::pair<Record_end, QString> known[] = {
        {Record_end::done, tr("done (its count or duration)")},
        {Record_end::signal, tr("stopped by a signal")},
        {Record_end::closed, tr("closed")},
        {Record_end::port_lost, tr("the port lost for good")},
        {Record_end::no_status, tr("no status from the unit")},
    };
    for (const auto &end : known) {
        if (reason == record_end_word(end.first))
            return end.second;
    }
    return reason;
}

QString Report_words::count(qint64 count, const QString &one, const QString &many)
{
    return QString::number(count) + QLatin1Char(' ') + (count == 1 ? one : many);
}

QString Report_words::episodes(qint64 count)
{
    return Report_words::count(count, tr("episode"), tr("episodes"));
}

QString Report_words::link_name(int link)
{
    return tr("Link %1").arg(QString(Status_words::link_key(link)).toUpper());
}

QString Report_words::episodes_found(qint64 count, qint64 total_ms, qint64 zero_time)
{
    QString text = tr("%1, %2 in all").arg(episodes(count), duration(total_ms));
    if (zero_time > 0 && zero_time == count)
        text += count == 1 ? tr(", held for no time") : tr(", each held for no time");
    else if (zero_time > 0)
        text += tr(", %1 of them held for no time").arg(zero_time);
    return text;
}

QString Report_words::episode_duration(const Episodes::Episode &episode)
{
    if (episode.duration_ms > 0 || episode.statuses == 0)
        return duration(episode.duration_ms);
    return tr("%1 (%2)").arg(duration(0), episode.statuses == 1
                                              ? tr("one status")
                                              : tr("%1 statuses").arg(episode.statuses));
}
