// The report's times: what a status holds for, where the data stops (a
// silence, a lost port, a clock step, the end), how episodes are cut and
// how the charts are reduced; records as one unit's timeline, a step where
// the writer's clock was set and records that overlap refused.
#include "record/event_fields.h"
#include "record/json_record_format.h"
#include "record/record_event.h"
#include "record_generator.h"
#include "report/json_report.h"
#include "report/text_report.h"
#include "simulator/healthy_unit.h"
#include "support/record_text.h"

#include <QtCore/QJsonArray>
#include <QtCore/QJsonDocument>
#include <QtCore/QJsonObject>
#include <QtTest/QtTest>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

using S = Unit_status;

const int rx_slot = Report_summary::channel_slot(S::sfp_1, 0);
constexpr int16_t low_tenths = -300; // below the healthy unit's -28 dBm
constexpr int16_t dip_tenths = -290;
constexpr int16_t good_tenths = -142;
constexpr qint64 second_ms = 1000;
const qint64 noon = record_noon_ms;

// The time of "12.5", seconds from noon, in ms since the epoch.
qint64 ms_of(const QString &seconds)
{
    return noon + std::llround(seconds.toDouble() * second_ms);
}

// Records told as "low@0 silent@2.5<1 next@0 ...": a status or an event at
// a time in seconds from noon, silent and connected with their since after
// the <, or without (the first format). low and dip are statuses with SFP
// 1's channel 1 below the threshold, good and fault above it, fault with an
// Rx fault, status the healthy unit; next begins another record.
std::vector<QByteArray> records_of(const QString &script)
{
    const Json_record_format format;
    const QHash<QString, int16_t> powers{
        {"low", low_tenths},
        {"dip", dip_tenths},
        {"good", good_tenths},
        {"fault", good_tenths},
        {"status", healthy_unit().cages[S::sfp_1].channels[0].power_tenths}};
    std::vector<QByteArray> records(1);
    for (const QString &step : script.split(QLatin1Char(' '))) {
        const QString name = step.section(QLatin1Char('@'), 0, 0);
        const QString times = step.section(QLatin1Char('@'), 1);
        const QDateTime at =
            QDateTime::fromMSecsSinceEpoch(ms_of(times.section('<', 0, 0)), Qt::UTC);
        Record_event event = Record_event::status;
        S status = healthy_unit();
        status.cages[S::sfp_1].channels[0].power_tenths = powers.value(name);
        status.rx_fault = name == QLatin1String("fault");
        if (name == QLatin1String("next"))
            records.emplace_back();
        else if (powers.contains(name))
            records.back() += format.status_line(at, status).toUtf8() + '\n';
        else if (name == QLatin1String("start"))
            records.back() += start_line(at).toUtf8() + '\n';
        else if (!record_event_from_name(name, &event))
            return {};
        else if (times.contains(QLatin1Char('<')))
            records.back() +=
                format
                    .event_fields_line(at, event, Event_fields::since(ms_of(times.section('<', 1))))
                    .toUtf8() +
                '\n';
        else
            records.back() +=
                format
                    .event_line(at, event,
                                event == Record_event::port_lost ? QStringLiteral("gone")
                                                                 : QString())
                    .toUtf8() +
                '\n';
    }
    return records;
}

} // namespace

class Summary_builder_test : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void time_with_data_and_without_data()
    {
        QTest::addColumn<QString>("script"); // records_of()'s; 90000 s is a day and more
        // Seconds with data, episodes below and their time, silences and
        // their time, seconds without a port, runs.
        QTest::addColumn<QList<double>>("expected");
        QTest::addColumn<QStringList>("steps"); // of the clock, "line:seconds"
        const auto row = [](const char *name, const char *script, const QList<double> &expected,
                            const QStringList &steps = {}) {
            QTest::newRow(name) << QString(script) << expected << steps;
        };
        row("a status holds until the next", "low@0 good@1 good@3", {3, 1, 1, 0, 0, 0, 1});
        row("a silence, from its last frame, is a gap", "low@0 silent@2.5<1 low@5 good@6",
            {2, 2, 2, 1, 4, 0, 1});
        row("connected goes on with the status held", "low@0 silent@1.9<1 connected@5.9<5 good@7",
            {3, 2, 3, 1, 4, 0, 1});
        row("a lost port is a gap, and silent while lost is the port's",
            "good@0 port_lost@2 silent@2.9<1.95 reopened@5 good@5.1 good@6",
            {2.9, 0, 0, 0, 0, 3, 1});
        row("a gap between records", "low@0 low@1 next@0 low@10 good@11", {2, 2, 2, 0, 0, 0, 2});
        // Records from before the start line and since: a silence from its
        // line, a connection from its own.
        row("first format", "low@0 silent@2 connected@5 low@6 good@7", {4, 2, 4, 1, 3, 0, 1});
        row("a start line ends the run before it",
            "start@0 low@0.1 crc_mismatch@0.9 start@5 low@5.1 good@6", {1.7, 2, 1.7, 0, 0, 0, 2});
        row("a run ends with its port still lost", "good@0 port_lost@1 crc_mismatch@4",
            {1, 0, 0, 0, 0, 3, 1});
        // The data ends at the line before a step of the clock, and nothing
        // is held across it.
        row("back by one second", "status@10 crc_mismatch@9", {0, 0, 0, 0, 0, 0, 1}, {"2:-1"});
        row("a day and more while a status is held", "status@0 status@90000", {0, 0, 0, 0, 0, 0, 1},
            {"2:90000"});
        row("a quiet day of a record of changes", "status@0 status@82800",
            {82800, 0, 0, 0, 0, 0, 1});
        row("a long silence", "status@0 silent@2<1 connected@90000<89999",
            {2, 0, 0, 1, 89998, 0, 1});
        row("a long lost port", "status@0 port_lost@1 status@90000", {1, 0, 0, 0, 0, 89999, 1});
        row("nothing held since the start", "start@0 crc_mismatch@90000", {0, 0, 0, 0, 0, 0, 1});
        row("a connected line holds the status again",
            "status@0 silent@2<1 connected@3<2 crc_mismatch@90000", {2, 0, 0, 1, 1, 0, 1},
            {"4:89997"});
        row("a step, then a step back", "status@0 status@-100 status@90000 status@1",
            {0, 0, 0, 0, 0, 0, 1}, {"2:-100", "3:90100", "4:-89999"});
        row("set back an hour", "start@-1 low@0 low@10 status@-3600 status@-3590",
            {20, 1, 10, 0, 0, 0, 1}, {"4:-3610"});
        row("a day ahead while below", "start@-1 low@0 low@10 low@90010 status@90020",
            {20, 2, 20, 0, 0, 0, 1}, {"4:90000"});
        row("a silence ends at the step", "start@-1 status@0 silent@5<4 status@-100 status@-90",
            {14, 0, 0, 1, 1, 0, 1}, {"4:-105"});
        row("the status before a step is not taken up again after it",
            "start@-1 status@0 silent@5<4 connected@-100<-101 status@-90 status@-80",
            {14, 0, 0, 1, 1, 0, 1}, {"4:-105"});
        row("a lost port stays lost, without the step",
            "start@-1 status@0 port_lost@5 status@-100 port_lost@-99 status@-90",
            {6, 0, 0, 0, 0, 9, 1}, {"4:-105"});
    }

    // Every line is taken, in the writer's order; a step of the clock is
    // told with its line, and the span reaches from the earliest line to
    // the latest, steps or not.
    void time_with_data_and_without()
    {
        QFETCH(QString, script);
        QFETCH(QList<double>, expected);
        QFETCH(QStringList, steps);
        const Report report = report_of(records_of(script));
        const Report_summary &summary = report.summary;
        const Episodes &below = summary.channels[rx_slot].below_threshold;
        const Report_summary::Events &events = summary.events;
        const double s = second_ms; // exact: a millisecond off is a failure
        QCOMPARE(
            (QList<double>{summary.with_data_ms / s, double(below.count()), below.total_ms() / s,
                           double(events.silences.count()), events.silences.total_ms() / s,
                           events.without_port_ms / s, double(summary.runs.size())}),
            expected);
        QCOMPARE(report.lines_left_out, 0);
        QCOMPARE(summary.statuses,
                 qint64(script.count(QRegularExpression("(status|low|dip|good|fault)@"))));
        QStringList seen;
        for (const Report_summary::Clock_step &step : summary.clock_steps.listed)
            seen << QStringLiteral("%1:%2").arg(step.line).arg((step.after_ms - step.before_ms) /
                                                               second_ms);
        QCOMPARE(seen, steps);
        QCOMPARE(summary.clock_steps.count, qint64(steps.size()));
        QCOMPARE(report.problems.size(), steps.isEmpty() ? 0 : 1);
        if (!steps.isEmpty()) {
            const qint64 size = steps[0].section(QLatin1Char(':'), 1).toLongLong();
            QVERIFY2(report.problems[0].startsWith(
                         QStringLiteral("part1.jsonl:%1: the clock steps %2 by %3.000 s, from ")
                             .arg(steps[0].section(QLatin1Char(':'), 0, 0),
                                  size < 0 ? QStringLiteral("back") : QStringLiteral("forward"))
                             .arg(std::abs(size))),
                     qPrintable(report.problems[0]));
        }
        qint64 earliest = std::numeric_limits<qint64>::max(), latest = 0;
        for (const QString &step : script.split(QLatin1Char(' '))) {
            earliest = std::min(earliest, ms_of(step.section('@', 1).section('<', 0, 0)));
            latest = std::max(latest, ms_of(step.section('@', 1).section('<', 0, 0)));
        }
        QCOMPARE(summary.first_ms, earliest);
        QCOMPARE(summary.last_ms, latest);
    }

    // Too many shades are joined with their neighbours; where a lost port
    // and a silence are joined, the port's shade is what is drawn.
    void joined_shades_show_the_lost_port()
    {
        QStringList script;
        for (int t = 0; t < 1100 * 10; t += 10)
            script << QStringLiteral("good@%1 silent@%2.5<%3 port_lost@%2.6 reopened@%4")
                          .arg(t)
                          .arg(t + 2)
                          .arg(t + 1)
                          .arg(t + 3);
        const std::vector<Report_charts::Shade> &shades =
            report_of(records_of(script.join(' '))).charts.shades;
        QVERIFY(shades.size() < 2200); // joined
        const auto of_kind = [&shades](Report_charts::Shade_kind kind) {
            return std::count_if(
                shades.begin(), shades.end(),
                [kind](const Report_charts::Shade &shade) { return shade.kind == kind; });
        };
        // Those joined are the port's; of those not yet, one of each.
        QVERIFY(of_kind(Report_charts::Shade_kind::no_port) >
                of_kind(Report_charts::Shade_kind::silence) * 5);
    }

    // A 200 ms dip in a day of ten statuses a second keeps its full depth
    // in the chart, and a gap breaks the line.
    void a_short_dip_survives_reduction()
    {
        constexpr qint64 day_ms = 24LL * 3600 * 1000;
        constexpr qint64 period_ms = 100;
        constexpr qint64 dip_at_ms = 13LL * 3600 * 1000 + 300;
        constexpr qint64 gap_at_ms = 20LL * 3600 * 1000;
        Reduced_chart chart(1);
        for (qint64 t = 0; t < day_ms; t += period_ms) {
            const bool dip = t >= dip_at_ms && t < dip_at_ms + 200;
            chart.sample(0, t, dip ? -35.0 : -14.0 + 0.1 * ((t / period_ms) % 3));
            if (t == gap_at_ms)
                chart.end_line(0, t);
        }
        const std::vector<Reduced_chart::Row> rows = chart.rows();
        QVERIFY(rows.size() <= std::size_t(5 * Reduced_chart::default_max_buckets));
        int dips = 0;
        int breaks = 0;
        double highest = -100;
        for (const Reduced_chart::Row &row : rows) {
            if (!row.values[0])
                continue;
            breaks += std::isnan(*row.values[0]) ? 1 : 0;
            if (*row.values[0] == -35.0) {
                ++dips;
                QVERIFY(std::abs(row.at_ms - dip_at_ms) <= chart.bucket_ms());
            }
            if (!std::isnan(*row.values[0]))
                highest = std::max(highest, *row.values[0]);
        }
        QCOMPARE(dips, 1);
        QCOMPARE(breaks, 1);
        QCOMPARE(highest, -14.0 + 0.2);
    }

    // Each dip keeps its own lowest power, and a fault is an episode as a
    // dip is: from its first status to the first without it.
    void episodes_keep_their_own_lowest()
    {
        const Report_summary summary =
            report_of(records_of("dip@0 low@1 good@2 dip@3 fault@4 good@5.5")).summary;
        const Episodes &below = summary.channels[rx_slot].below_threshold;
        QCOMPARE(below.count(), qint64(2));
        QCOMPARE(below.listed()[0].lowest, int(low_tenths));
        QCOMPARE(below.listed()[1].lowest, int(dip_tenths));
        const Episodes &faults = summary.faults[Report_summary::rx_fault];
        QCOMPARE(faults.count(), qint64(1));
        QCOMPARE(faults.total_ms(), qint64(1500));
    }

    // No line is drawn across a step: SFP 1's Rx line breaks at the last
    // status before it, as it does at the end.
    void no_line_drawn_across_a_step()
    {
        const Report report = report_of(records_of("status@0 status@10 status@90010 status@90020"));
        QStringList breaks;
        for (const Reduced_chart::Row &row : report.charts.charts[S::sfp_1].data.rows()) {
            const Reduced_chart::Cell &rx = row.values[0];
            if (rx && std::isnan(*rx))
                breaks << QString::number((row.at_ms - noon) / second_ms);
        }
        QCOMPARE(breaks, QStringList({"10", "90020"}));
    }

    // Shown with its line and size in JSON, and as a table in text and page.
    void a_clock_step_is_shown_in_the_report()
    {
        const Report report = report_of(records_of("start@-1 status@0 status@10 status@-3590"));
        const QJsonObject steps =
            QJsonDocument::fromJson(Json_report::write(report)).object()["clock_steps"].toObject();
        QCOMPARE(steps["count"].toInt(), 1);
        const QJsonObject step = steps["steps"].toArray().at(0).toObject();
        QCOMPARE(step["record"].toString(), QStringLiteral("part1.jsonl"));
        QCOMPARE(step["line"].toInt(), 4); // after the start line and two statuses
        QCOMPARE(step["before"].toString(), QStringLiteral("2026-12-06T12:00:10.000Z"));
        QCOMPARE(step["after"].toString(), QStringLiteral("2026-12-06T11:00:10.000Z"));
        QCOMPARE(step["size_s"].toDouble(), -3600.0);
        const QString text = QString::fromUtf8(Text_report::write(report));
        QVERIFY2(text.contains(QRegularExpression(
                     QStringLiteral("part1.jsonl:4 +2026-12-06T12:00:10.000Z +"
                                    "2026-12-06T11:00:10.000Z +back 1 h 00 min 00.000 s"))),
                 qPrintable(text));
    }

    // Records that overlap are refused rather than merged: they cannot be
    // one unit's.
    void records_that_overlap_data()
    {
        QTest::addColumn<QString>("script");
        QTest::addColumn<QString>("told"); // empty: one timeline
        QTest::newRow("one record given twice")
            << "start@0 status@10 next@0 start@0 status@10"
            << "part2.jsonl: overlaps part1.jsonl in time (part1.jsonl from "
               "2026-12-06T12:00:00.000Z to 2026-12-06T12:00:10.000Z, part2.jsonl from "
               "2026-12-06T12:00:00.000Z to 2026-12-06T12:00:10.000Z): records that overlap "
               "cannot be one unit's; report each on its own";
        QTest::newRow("one ends as the other begins")
            << "start@0 status@10 next@0 start@10 status@20" << QString();
        // Its clock ran a month ahead at its end: its time does not cover the other's.
        QTest::newRow("a record whose clock stepped ahead")
            << "start@0 status@10 status@2592000 status@2592010 next@0 start@20 status@30"
            << QString();
    }

    void records_that_overlap()
    {
        QFETCH(QString, script);
        QFETCH(QString, told);
        QCOMPARE(report_of(records_of(script)).problems.filter(QStringLiteral("overlaps")),
                 told.isEmpty() ? QStringList() : QStringList{told});
    }
};

QTEST_GUILESS_MAIN(Summary_builder_test)
#include "tst_summary_builder.moc"
