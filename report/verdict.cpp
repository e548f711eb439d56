#include "report/verdict.h"

#include "report/report_summary.h"
#include "report/report_words.h"

#include <algorithm>

namespace {

using Summary = Report_summary;

const Verdict::Check all_checks[] = {Verdict::Check::below_threshold,
                                     Verdict::Check::fault,
                                     Verdict::Check::lock,
                                     Verdict::Check::link,
                                     Verdict::Check::dante,
                                     Verdict::Check::silence,
                                     Verdict::Check::port_lost,
                                     Verdict::Check::crc};

// What one check found: episodes of the condition and the statuses it could
// not judge.
struct Count
{
    qint64 episodes = 0;
    qint64 total_ms = 0;
    qint64 zero_time = 0;
    Summary::Unjudged unjudged;

    template <typename Each> void add_all(const Each &all)
    {
        for (const Episodes &each : all)
            add(each);
    }
    void add(const Episodes &episodes_of)
    {
        episodes += episodes_of.count();
        total_ms += episodes_of.total_ms();
        zero_time += episodes_of.zero_time_count();
    }
    void add(const Summary::Unjudged &more)
    {
        unjudged.statuses += more.statuses;
        unjudged.time_ms += more.time_ms;
    }
};

QString episodes_text(const Count &count)
{
    return Report_words::episodes_found(count.episodes, count.total_ms, count.zero_time);
}

// "; not judged: 12 statuses, 1.200 s (why)"
QString unjudged_text(const Summary::Unjudged &unjudged, const QString &why)
{
    if (!unjudged.any())
        return QString();
    return Verdict::tr("; not judged: %1, %2 (%3)")
        .arg(Report_words::count(unjudged.statuses, Verdict::tr("status"), Verdict::tr("statuses")),
             Report_words::duration(unjudged.time_ms), why);
}

Count count_of(const Summary &summary, Verdict::Check check, QString *what)
{
    using Check = Verdict::Check;
    Count count;
    switch (check) {
    case Check::below_threshold:
        for (const Summary::Channel &channel : summary.channels)
            count.add(channel.below_threshold);
        count.add(summary.below_not_judged);
        *what = episodes_text(count) +
                unjudged_text(count.unjudged,
                              Verdict::tr("Rx powers of a unit that reports no threshold, below "
                                          "protocol 2.0; --threshold gives one"));
        break;
    case Check::fault:
        count.add_all(summary.faults);
        *what = episodes_text(count);
        break;
    case Check::lock:
        count.add_all(summary.lock_losses);
        *what = episodes_text(count);
        break;
    case Check::link:
        count.add_all(summary.links_down);
        count.add(summary.links_not_judged);
        *what = episodes_text(count) +
                unjudged_text(count.unjudged, Verdict::tr("the link states were not valid"));
        break;
    case Check::dante:
        count.add_all(summary.dante_not_ok);
        count.add(summary.dante_not_judged);
        *what = episodes_text(count) +
                unjudged_text(count.unjudged, Verdict::tr("no Dante submodule reported"));
        break;
    case Check::silence:
        count.add(summary.events.silences);
        *what = episodes_text(count);
        if (summary.events.silences_with_damaged_frames > 0)
            *what += Verdict::tr(", %1 with damaged frames only")
                         .arg(summary.events.silences_with_damaged_frames);
        break;
    case Check::port_lost:
        count.episodes = summary.events.count(Summary::port_lost) +
                         summary.events.count(Summary::port_unavailable);
        *what =
            Verdict::tr("%1, %2 without a port")
                .arg(Report_words::count(count.episodes, Verdict::tr("time"), Verdict::tr("times")),
                     Report_words::duration(summary.events.without_port_ms));
        break;
    case Check::crc:
        count.episodes = summary.events.count(Summary::crc_mismatch);
        *what = Report_words::count(count.episodes, Verdict::tr("CRC mismatch"),
                                    Verdict::tr("CRC mismatches"));
        break;
    }
    return count;
}

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
    case Check::link:
        return QStringLiteral("link");
    case Check::dante:
        return QStringLiteral("dante");
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

QString Verdict::result_word(Result result)
{
    switch (result) {
    case Result::passed:
        return QStringLiteral("pass");
    case Result::not_judged:
        return tr("not judged");
    case Result::failed:
        break;
    }
    return QStringLiteral("FAIL");
}

QString Verdict::result_key(Result result)
{
    switch (result) {
    case Result::passed:
        return QStringLiteral("passed");
    case Result::not_judged:
        return QStringLiteral("not_judged");
    case Result::failed:
        break;
    }
    return QStringLiteral("failed");
}

bool Verdict::parse(const QStringList &lists, std::vector<Check> *checks, QString *error)
{
    checks->clear();
    for (const QString &list : lists) {
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
    }
    return true;
}

Verdict Verdict::judge(const Report_summary &summary, const std::vector<Check> &checks)
{
    Verdict verdict;
    verdict.no_data = !checks.empty() && summary.statuses == 0;
    for (const Check check : checks) {
        Finding finding;
        finding.check = check;
        const Count count = count_of(summary, check, &finding.what);
        finding.result = count.episodes > 0     ? Result::failed
                         : count.unjudged.any() ? Result::not_judged
                                                : Result::passed;
        verdict.findings.push_back(finding);
    }
    return verdict;
}

Verdict::Result Verdict::result() const
{
    if (no_data)
        return Result::failed;
    Result heaviest = Result::passed;
    for (const Finding &finding : findings)
        heaviest = std::max(heaviest, finding.result);
    return heaviest;
}
