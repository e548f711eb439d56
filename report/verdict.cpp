#include "report/verdict.h"

#include "report/report_summary.h"
#include "report/report_words.h"

#include <algorithm>

namespace {

const Verdict::Check all_checks[] = {
    Verdict::Check::below_threshold, Verdict::Check::fault,     Verdict::Check::lock,
    Verdict::Check::silence,         Verdict::Check::port_lost, Verdict::Check::crc};

struct Count
{
    qint64 episodes = 0;
    qint64 total_ms = 0;

    void add(const Episodes &episodes_of)
    {
        episodes += episodes_of.count();
        total_ms += episodes_of.total_ms();
    }
};

} // namespace

QString Verdict::name(Check check)
{
    switch (check) {
    case Check::below_threshold:
        return QStringLiteral("below-threshold");
    case Check::fault:
        return QStringLiteral("fault");
    case Check::lock:
        return QStringLiteral("lock");
    case Check::silence:
        return QStringLiteral("silence");
    case Check::port_lost:
        return QStringLiteral("port-lost");
    case Check::crc:
        return QStringLiteral("crc");
    }
    return QString();
}

QStringList Verdict::all_names()
{
    QStringList names;
    for (const Check check : all_checks)
        names << name(check);
    return names;
}

bool Verdict::parse(const QString &list, std::vector<Check> *checks, QString *error)
{
    checks->clear();
    for (const QString &word : list.split(QLatin1Char(','))) {
        const QString wanted = word.trimmed();
        const auto found = std::find_if(std::begin(all_checks), std::end(all_checks),
                                        [&](Check check) { return name(check) == wanted; });
        if (found == std::end(all_checks)) {
            *error = tr("unknown check '%1': expected any of %2")
                         .arg(wanted, all_names().join(QLatin1Char(',')));
            return false;
        }
        if (std::find(checks->begin(), checks->end(), *found) == checks->end())
            checks->push_back(*found);
    }
    return true;
}

Verdict Verdict::judge(const Report_summary &summary, const std::vector<Check> &checks)
{
    Verdict verdict;
    verdict.no_data = !checks.empty() && summary.statuses == 0;
    const auto episodes_text = [](const Count &count) {
        return tr("%1, %2 in all")
            .arg(Report_words::episodes(count.episodes), Report_words::duration(count.total_ms));
    };
    for (const Check check : checks) {
        Finding finding;
        finding.check = check;
        Count count;
        qint64 events = 0;
        switch (check) {
        case Check::below_threshold:
            for (const Report_summary::Channel &channel : summary.channels)
                count.add(channel.below_threshold);
            finding.what = episodes_text(count);
            break;
        case Check::fault:
            for (const Episodes &fault : summary.faults)
                count.add(fault);
            finding.what = episodes_text(count);
            break;
        case Check::lock:
            for (const Episodes &loss : summary.lock_losses)
                count.add(loss);
            finding.what = episodes_text(count);
            break;
        case Check::silence:
            count.add(summary.events.silences);
            finding.what = episodes_text(count);
            break;
        case Check::port_lost:
            events = summary.events.port_losses + summary.events.port_unavailable;
            count.episodes = events;
            finding.what = tr("%1, %2 without a port")
                               .arg(Report_words::count(events, tr("time"), tr("times")),
                                    Report_words::duration(summary.events.without_port_ms));
            break;
        case Check::crc:
            count.episodes = summary.events.crc_mismatches;
            finding.what =
                Report_words::count(count.episodes, tr("CRC mismatch"), tr("CRC mismatches"));
            break;
        }
        finding.failed = count.episodes > 0;
        verdict.findings.push_back(finding);
    }
    return verdict;
}

bool Verdict::passed() const
{
    return !no_data && std::none_of(findings.begin(), findings.end(),
                                    [](const Finding &finding) { return finding.failed; });
}
