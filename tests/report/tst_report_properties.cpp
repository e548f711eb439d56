// What the report and its verdict must say of every record, stated over
// generated records (record_generator.h). The seed is fixed, so a failure
// replays.

#include "ctl/ctl_options.h"
#include "record_generator.h"
#include "report/json_report.h"
#include "report/slice_counts.h"
#include "support/property.h"

#include <QtCore/QDateTime>
#include <QtCore/QJsonDocument>
#include <QtCore/QJsonObject>
#include <QtTest/QtTest>

#include <algorithm>
#include <map>

namespace {

using S = Unit_status;
using Check = Verdict::Check;
using Result = Verdict::Result;

// Enough generated records to find a fault in a few seconds.
constexpr int cases = 200;

const std::vector<Check> every_check{
    Check::below_threshold, Check::fault,   Check::lock,      Check::link,
    Check::dante,           Check::silence, Check::port_lost, Check::crc};

// What the statuses show, judged here by the rules the docs give, not by
// the report's code.
struct Shown
{
    bool failed = false;
    bool unjudged = false;

    Result result() const
    {
        return failed ? Result::failed : unjudged ? Result::not_judged : Result::passed;
    }
};

Shown shown(const std::vector<S> &statuses, const Generated_record &record, Check check)
{
    Shown shown;
    for (const S &status : statuses) {
        const bool threshold = status.version >= Protocol_version::v2_0;
        switch (check) {
        case Check::below_threshold:
            for (const S::Cage &cage : status.cages) {
                for (const S::Channel &channel : cage.channels) {
                    if (!cage.present() || channel.direction != S::Direction::rx)
                        continue;
                    shown.unjudged = shown.unjudged || !threshold;
                    shown.failed = shown.failed ||
                                   (threshold && channel.power_tenths < status.threshold_dbm * 10);
                }
            }
            break;
        case Check::fault:
            shown.failed = shown.failed || status.rx_fault || status.tx_fault || status.overheat;
            break;
        case Check::lock:
            shown.failed = shown.failed || !std::all_of(status.locks.begin(), status.locks.end(),
                                                        [](bool locked) { return locked; });
            break;
        case Check::link:
            shown.unjudged = shown.unjudged || !status.links_valid;
            shown.failed = shown.failed || (status.links_valid &&
                                            !(status.link_f && status.link_p1 && status.link_p2));
            break;
        case Check::dante: {
            const bool reported = threshold && status.dante.present;
            const S::Dante &dante = status.dante;
            shown.unjudged = shown.unjudged || !reported;
            shown.failed = shown.failed || (reported && (dante.system != S::Dante_state::ok ||
                                                         dante.sync != S::Dante_state::ok ||
                                                         dante.link != S::Dante_state::ok));
            break;
        }
        case Check::silence:
        case Check::port_lost:
        case Check::crc:
            break;
        }
    }
    if (check == Check::silence)
        shown.failed = record.silence;
    else if (check == Check::port_lost)
        shown.failed = record.port_lost;
    else if (check == Check::crc)
        shown.failed = record.crc;
    return shown;
}

std::vector<Check> checks_of(const Ctl_options &options)
{
    std::vector<Check> checks = options.checks;
    std::sort(checks.begin(), checks.end());
    return checks;
}

QString names_of(const std::vector<Check> &checks)
{
    QStringList names;
    for (const Check check : checks)
        names << Verdict::name(check);
    return names.join(QLatin1Char(','));
}

// The report without the names of its inputs.
QJsonObject unnamed(const Report &report)
{
    QJsonObject json = QJsonDocument::fromJson(Json_report::write(report)).object();
    json.remove(QStringLiteral("inputs"));
    json.remove(QStringLiteral("runs"));
    return json;
}

} // namespace

class Tst_report_properties : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Any status that shows what a check looks for fails it, however briefly
    // it held, and whether or not a clock step came before or after it; a
    // check that statuses could not all be judged by is not judged unless it
    // failed; the verdict is the heaviest of its checks.
    void each_check_is_what_the_statuses_show()
    {
        QVERIFY(holds(
            "each check is what the statuses show",
            [] {
                Record_shape shape;
                shape.clock_step = *rc::gen::arbitrary<bool>();
                const Generated_record record = *generated_record(shape);
                const Report report = report_of({record.text}, every_check);
                // A clock step is told, but no line is left out for it.
                RC_ASSERT(report.lines_left_out == 0);
                RC_ASSERT(shape.clock_step || report.problems.isEmpty());

                Result heaviest = Result::passed;
                for (const Verdict::Finding &finding : report.verdict.findings) {
                    const Result expected = shown(record.statuses, record, finding.check).result();
                    RC_ASSERT(finding.result == expected);
                    heaviest = std::max(heaviest, expected);
                }
                RC_ASSERT(report.verdict.result() == heaviest);
            },
            property_seed, cases));
    }

    void a_record_showing_nothing_passes()
    {
        QVERIFY(holds(
            "a record showing nothing passes",
            [] {
                Record_shape healthy;
                healthy.conditions = healthy.link_events = false;
                const Report report = report_of({(*generated_record(healthy)).text}, every_check);
                RC_ASSERT(report.verdict.result() == Result::passed);
            },
            property_seed, cases));
    }

    // Exactly the lowest and highest power each channel reported, each way.
    void extremes_are_the_statuses_own()
    {
        QVERIFY(holds(
            "extremes are the statuses own",
            [] {
                const Generated_record record = *generated_record({});
                const Report report = report_of({record.text}, {});
                for (const Report_summary::Channel &slot : report.summary.channels) {
                    for (const S::Direction direction : {S::Direction::rx, S::Direction::tx}) {
                        std::vector<int> powers;
                        for (const S &status : record.statuses) {
                            const S::Cage &cage = status.cages[slot.cage];
                            if (cage.present() &&
                                cage.channels[slot.channel].direction == direction)
                                powers.push_back(cage.channels[slot.channel].power_tenths);
                        }
                        const Value_stats &stats =
                            direction == S::Direction::rx ? slot.rx_power : slot.tx_power;
                        RC_ASSERT(stats.seen() == !powers.empty());
                        if (powers.empty())
                            continue;
                        RC_ASSERT(stats.min() == *std::min_element(powers.begin(), powers.end()));
                        RC_ASSERT(stats.max() == *std::max_element(powers.begin(), powers.end()));
                    }
                }
            },
            property_seed, cases));
    }

    // Every incident is listed at the time its line gives, in the record's
    // order, and counted; each run has ended exactly when it has an end line.
    void incidents_and_ends_are_the_record_own()
    {
        QVERIFY(holds("incidents and run ends are the record's own", [] {
            const Generated_record record = *generated_record({});
            const Report_summary summary = report_of({record.text}, {}).summary;
            const std::pair<Report_summary::Incident, QString> names[] = {
                {Report_summary::port_lost, "port_lost"},
                {Report_summary::port_unavailable, "port_unavailable"},
                {Report_summary::reopened, "reopened"},
                {Report_summary::crc_mismatch, "crc_mismatch"},
                {Report_summary::short_message, "short_message"},
                {Report_summary::sent, "sent"},
                {Report_summary::ack_timeout, "ack_timeout"}};
            std::map<QString, std::vector<qint64>> times;
            std::vector<bool> ended;
            for (const QByteArray &line : record.text.split('\n')) {
                const QJsonObject object = QJsonDocument::fromJson(line).object();
                const QString event = object.value(QStringLiteral("event")).toString();
                if (event == QLatin1String("start"))
                    ended.push_back(false);
                else if (event == QLatin1String("end"))
                    ended.back() = true;
                times[event].push_back(
                    QDateTime::fromString(object.value(QStringLiteral("time")).toString(),
                                          Qt::ISODateWithMs)
                        .toMSecsSinceEpoch());
            }
            for (const auto &name : names) {
                const Report_summary::Incidents &incidents = summary.events.incidents[name.first];
                RC_ASSERT(incidents.count == qint64(times[name.second].size()));
                RC_ASSERT(incidents.listed == times[name.second]);
            }
            RC_ASSERT(summary.runs.size() == ended.size());
            for (std::size_t run = 0; run < ended.size(); ++run)
                RC_ASSERT((summary.runs[run].ending == Report_summary::Run::Ending::ended) ==
                          ended[run]);
        }));
    }

    // However many incidents and however far apart, each slice counts those
    // of its own time, of each kind, and no more slices are kept than asked.
    void slices_count_what_falls_in_them()
    {
        QVERIFY(holds("slices count what falls in them", [] {
            const int max_slices = *rc::gen::inRange(2, 50);
            auto times = *rc::gen::container<std::vector<qint64>>(
                rc::gen::inRange<qint64>(0, *rc::gen::element<qint64>(100, 100000, 1LL << 40)));
            std::sort(times.begin(), times.end());
            Slice_counts counts(2, max_slices);
            for (std::size_t i = 0; i < times.size(); ++i)
                counts.add(int(i % 2), times[i] + 7);
            const std::vector<Slice_counts::Slice> slices = counts.slices();
            RC_ASSERT(slices.size() <= std::size_t(max_slices));
            for (const Slice_counts::Slice &slice : slices) {
                for (int kind = 0; kind < 2; ++kind) {
                    qint64 within = 0;
                    for (std::size_t i = std::size_t(kind); i < times.size(); i += 2)
                        within += times[i] + 7 >= slice.from_ms &&
                                  times[i] + 7 < slice.from_ms + counts.slice_ms();
                    RC_ASSERT(slice.counts[std::size_t(kind)] == within);
                }
            }
            qint64 all = 0;
            for (const Slice_counts::Slice &slice : slices)
                all += slice.counts[0] + slice.counts[1];
            RC_ASSERT(all == qint64(times.size()));
        }));
    }

    // Runs cut into two files, given in either order, are the same night.
    void a_record_split_at_a_run_reads_the_same()
    {
        QVERIFY(holds(
            "a record split at a run reads the same",
            [] {
                Record_shape several_runs;
                several_runs.runs_at_least = 2;
                const Generated_record record = *generated_record(several_runs);
                const int cut = *rc::gen::elementOf(record.run_offsets);
                const QByteArray first = record.text.left(cut), second = record.text.mid(cut);
                const QJsonObject whole = unnamed(report_of({record.text}, every_check));
                RC_ASSERT(unnamed(report_of({first, second}, every_check)) == whole);
                RC_ASSERT(unnamed(report_of({second, first}, every_check)) == whole);
            },
            property_seed, cases));
    }

    // A newer writer's field changes nothing of what this version reports.
    void an_unknown_field_changes_nothing()
    {
        QVERIFY(holds(
            "an unknown field changes nothing",
            [] {
                const Generated_record record = *generated_record({});
                QByteArray newer = record.text;
                newer.replace("\"event\":\"status\",",
                              "\"event\":\"status\",\"humidity\":{\"percent\":[41.5,null]},");
                RC_ASSERT(Json_report::write(report_of({newer}, every_check)) ==
                          Json_report::write(report_of({record.text}, every_check)));
            },
            property_seed, cases));
    }

    // --fail-on a,b is --fail-on a --fail-on b, and fails when either does.
    void fail_on_lists_add_up()
    {
        QVERIFY(holds(
            "fail on lists add up",
            [] {
                const Generated_record record = *generated_record({});
                const auto some_checks = rc::gen::nonEmpty(
                    rc::gen::container<std::vector<Check>>(rc::gen::elementOf(every_check)));
                const QString a = names_of(*some_checks), b = names_of(*some_checks);
                const auto options = [](const QStringList &fail_on) {
                    return Ctl_options::parse(QStringList{"velmar-ctl", "report"} + fail_on +
                                              QStringList{"night.jsonl"});
                };
                const auto result = [&record](const Ctl_options &parsed) {
                    return report_of({record.text}, parsed.checks).verdict.result();
                };
                const Ctl_options listed = options({"--fail-on", a + ',' + b});
                const Ctl_options repeated = options({"--fail-on", a, "--fail-on", b});
                RC_ASSERT(listed.outcome == Ctl_options::Outcome::run);
                RC_ASSERT(checks_of(listed) == checks_of(repeated));
                RC_ASSERT(result(listed) == result(repeated));
                RC_ASSERT(result(listed) == std::max(result(options({"--fail-on", a})),
                                                     result(options({"--fail-on", b}))));
            },
            property_seed, cases));
    }
};

QTEST_GUILESS_MAIN(Tst_report_properties)

#include "tst_report_properties.moc"
