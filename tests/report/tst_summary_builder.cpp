// The report's times: what a status holds for, where the data stops (a
// silence, a lost port, a clock step, the end), how episodes are cut and
// how the charts are reduced; records as one unit's timeline, a step where
// the writer's clock was set and records that overlap refused.
#include "record/record_event.h"
#include "record/record_timeline.h"
#include "report/json_report.h"
#include "report/report_maker.h"
#include "report/summary_builder.h"
#include "report/text_report.h"
#include "simulator/healthy_unit.h"
#include "support/record_text.h"

#include <QtCore/QBuffer>
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
constexpr qint64 day_and_more_s = 25 * 3600;
const qint64 noon = record_noon_ms;

// "event@ms" or "event@ms<since" (no since: the first format); low and dip
// are statuses with SFP 1's channel 1 below the threshold, good and fault
// above it, fault with an Rx fault.
bool scripted(const QString &line, Record_entry *entry)
{
    const QString name = line.section(QLatin1Char('@'), 0, 0);
    const QString times = line.section(QLatin1Char('@'), 1);
    entry->time_ms = times.section(QLatin1Char('<'), 0, 0).toLongLong();
    if (times.contains(QLatin1Char('<')))
        entry->since_ms = times.section(QLatin1Char('<'), 1).toLongLong();
    entry->status = healthy_unit();
    const QHash<QString, int16_t> powers{
        {"low", low_tenths}, {"dip", dip_tenths}, {"good", good_tenths}, {"fault", good_tenths}};
    if (!powers.contains(name))
        return record_event_from_name(name, &entry->event);
    entry->status.cages[S::sfp_1].channels[0].power_tenths = powers.value(name);
    entry->status.rx_fault = name == QLatin1String("fault");
    return true;
}

// Scripted lines into the builder; next@0 begins a second input.
bool add_scripted(Summary_builder &builder, const QString &lines)
{
    for (const QString &line : lines.split(QLatin1Char(' '))) {
        Record_entry entry;
        if (line == QLatin1String("next@0"))
            builder.begin_input(QStringLiteral("second"));
        else if (scripted(line, &entry))
            builder.add(entry);
        else
            return false;
    }
    return true;
}

// Records, named part1.jsonl, part2.jsonl..., read as one timeline.
Report report_of(const std::vector<QByteArray> &records)
{
    Record_problems problems;
    Record_timeline timeline(problems);
    QStringList names;
    for (const QByteArray &text : records) {
        auto buffer = std::make_unique<QBuffer>();
        buffer->setData(text);
        buffer->open(QIODevice::ReadOnly);
        names << QStringLiteral("part%1.jsonl").arg(names.size() + 1);
        timeline.add(names.last(), std::move(buffer));
    }
    return Report_maker::make(timeline, problems, names, {});
}

} // namespace

class Summary_builder_test : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void time_with_data_and_without_data()
    {
        // Lines as scripted() reads them; next begins a second input.
        QTest::addColumn<QString>("lines");
        // With data, episodes below and their time, silences and their time, without port.
        QTest::addColumn<QList<qint64>>("expected");
        const auto row = [](const char *name, const char *lines, const QList<qint64> &expected) {
            QTest::newRow(name) << QString(lines) << expected;
        };
        row("a status holds until the next", "low@0 good@1000 good@3000", {3000, 1, 1000, 0, 0, 0});
        row("a silence, from its last frame, is a gap", "low@0 silent@2500<1000 low@5000 good@6000",
            {2000, 2, 2000, 1, 4000, 0});
        row("connected goes on with the status held",
            "low@0 silent@1900<1000 connected@5900<5000 good@7000", {3000, 2, 3000, 1, 4000, 0});
        row("a lost port is a gap, and silent while lost is the port's",
            "good@0 port_lost@2000 silent@2900<1950 reopened@5000 good@5100 good@6000",
            {2900, 0, 0, 0, 0, 3000});
        row("a gap between inputs", "low@0 low@1000 next@0 low@10000 good@11000",
            {2000, 2, 2000, 0, 0, 0});
        row("first format: a silence from its line", "low@0 silent@2000 good@4000",
            {2000, 1, 2000, 1, 2000, 0});
        row("a start line ends the run before it",
            "start@0 low@100 crc_mismatch@900 start@5000 low@5100 good@6000",
            {1700, 2, 1700, 0, 0, 0});
        row("a run ends with its port still lost", "good@0 port_lost@1000 crc_mismatch@4000",
            {1000, 0, 0, 0, 0, 3000});
    }

    void time_with_data_and_without()
    {
        QFETCH(QString, lines);
        QFETCH(QList<qint64>, expected);
        Summary_builder builder;
        builder.begin_input(QStringLiteral("first"));
        QVERIFY(add_scripted(builder, lines));
        builder.finish();
        const Report_summary &summary = builder.summary();
        const Episodes &below = summary.channels[rx_slot].below_threshold;
        QCOMPARE((QList<qint64>{summary.with_data_ms, below.count(), below.total_ms(),
                                summary.events.silences.count(), summary.events.silences.total_ms(),
                                summary.events.without_port_ms}),
                 expected);
    }

    // Too many shades are joined with their neighbours; where a lost port
    // and a silence are joined, the port's shade is what is drawn.
    void joined_shades_show_the_lost_port()
    {
        Summary_builder builder;
        builder.begin_input(QStringLiteral("first"));
        for (qint64 t = 0; t < 1100 * 10000; t += 10000) {
            const QString lines = QStringLiteral("good@%1 silent@%2<%3 port_lost@%4 reopened@%5")
                                      .arg(t)
                                      .arg(t + 2500)
                                      .arg(t + 1000)
                                      .arg(t + 2600)
                                      .arg(t + 3000);
            QVERIFY(add_scripted(builder, lines));
        }
        builder.finish();
        const std::vector<Report_charts::Shade> &shades = builder.charts().shades;
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
        Summary_builder builder;
        builder.begin_input(QStringLiteral("first"));
        QVERIFY(add_scripted(builder, "dip@0 low@1000 good@2000 dip@3000 fault@4000 good@5500"));
        builder.finish();
        const Report_summary &summary = builder.summary();
        const Episodes &below = summary.channels[rx_slot].below_threshold;
        QCOMPARE(below.count(), qint64(2));
        QCOMPARE(below.listed()[0].lowest, int(low_tenths));
        QCOMPARE(below.listed()[1].lowest, int(dip_tenths));
        const Episodes &faults = summary.faults[Report_summary::rx_fault];
        QCOMPARE(faults.count(), qint64(1));
        QCOMPARE(faults.total_ms(), qint64(1500));
    }

    void clock_steps_data()
    {
        QTest::addColumn<QString>("script");    // scripted_record()'s; 90000 s is a day and more
        QTest::addColumn<QStringList>("steps"); // "line:seconds"
        // Seconds with data, below the threshold and its episodes, silent,
        // without a port; not looked at when empty.
        QTest::addColumn<QList<double>>("held");
        const auto row = [](const char *name, const char *script, const QStringList &steps,
                            const QList<double> &held = {}) {
            QTest::newRow(name) << QString(script) << steps << held;
        };
        row("back by one second", "status@10 crc@9", {"2:-1"});
        row("a day and more while a status is held", "status@0 status@90000", {"2:90000"});
        row("a quiet day of a record of changes", "status@0 status@82800", {});
        row("a long silence", "status@0 silent@2 connected@90000", {});
        row("a long lost port", "status@0 lost@1 status@90000", {});
        row("nothing held since the start", "start@0 crc@90000", {});
        row("a connected line holds the status again", "status@0 silent@2 connected@3 crc@90000",
            {"4:89997"});
        row("a step, then a step back", "status@0 status@-100 status@90000 status@1",
            {"2:-100", "3:90100", "4:-89999"});
        row("set back an hour", "start@-1 low@0 low@10 status@-3600 status@-3590", {"4:-3610"},
            {20, 10, 1, 0, 0});
        row("a day ahead while below", "start@-1 low@0 low@10 low@90010 status@90020", {"4:90000"},
            {20, 20, 2, 0, 0});
        row("a silence ends at the step", "start@-1 status@0 silent@5 status@-100 status@-90",
            {"4:-105"}, {14, 0, 0, 1, 0});
        row("the status before a step is not taken up again after it",
            "start@-1 status@0 silent@5 connected@-100 status@-90 status@-80", {"4:-105"},
            {14, 0, 0, 1, 0});
        row("a lost port stays lost, without the step",
            "start@-1 status@0 lost@5 status@-100 lost@-99 status@-90", {"4:-105"},
            {6, 0, 0, 0, 9});
    }

    // Every line is taken, in the writer's order. The data ends at the line
    // before a step and nothing is held across it; the step is told with
    // its line, and the span reaches from the earliest line to the latest.
    void clock_steps()
    {
        QFETCH(QString, script);
        QFETCH(QStringList, steps);
        QFETCH(QList<double>, held);
        const Report report = report_of({scripted_record(script)});
        const Report_summary &summary = report.summary;
        QStringList seen;
        for (const Report_summary::Clock_step &step : summary.clock_steps.listed)
            seen << QStringLiteral("%1:%2").arg(step.line).arg((step.after_ms - step.before_ms) /
                                                               second_ms);
        QCOMPARE(seen, steps);
        QCOMPARE(summary.clock_steps.count, qint64(steps.size()));
        QCOMPARE(report.lines_left_out, 0);
        QCOMPARE(summary.statuses, qint64(script.count("status@") + script.count("low@")));
        QCOMPARE(int(summary.runs.size()), 1); // a step is no new run
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
        if (!held.isEmpty()) {
            const Episodes &below = summary.channels[rx_slot].below_threshold;
            const double s = second_ms; // exact: a millisecond off is a failure
            QCOMPARE((QList<double>{summary.with_data_ms / s, below.total_ms() / s,
                                    double(below.count()), summary.events.silences.total_ms() / s,
                                    summary.events.without_port_ms / s}),
                     held);
        }
        qint64 earliest = std::numeric_limits<qint64>::max(), latest = 0;
        for (const QString &step : script.split(QLatin1Char(' '))) {
            const qint64 second = step.section(QLatin1Char('@'), 1).toLongLong();
            earliest = std::min(earliest, second);
            latest = std::max(latest, second);
        }
        QCOMPARE(summary.first_ms, noon + earliest * second_ms);
        QCOMPARE(summary.last_ms, noon + latest * second_ms);
    }

    // No line is drawn across a step: SFP 1's Rx line breaks at the last
    // status before it, as it does at the end.
    void no_line_drawn_across_a_step()
    {
        const Report report =
            report_of({scripted_record("status@0 status@10 status@90010 status@90020")});
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
        const Report report =
            report_of({scripted_record("start@-1 status@0 status@10 status@-3590")});
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
        QTest::addColumn<QString>("first");
        QTest::addColumn<QString>("second");
        QTest::addColumn<QString>("told"); // empty: one timeline
        QTest::newRow("one record given twice")
            << "start@0 status@10"
            << "start@0 status@10"
            << "part2.jsonl: overlaps part1.jsonl in time (part1.jsonl from "
               "2026-12-06T12:00:00.000Z to 2026-12-06T12:00:10.000Z, part2.jsonl from "
               "2026-12-06T12:00:00.000Z to 2026-12-06T12:00:10.000Z): records that overlap "
               "cannot be one unit's; report each on its own";
        QTest::newRow("one ends as the other begins") << "start@0 status@10"
                                                      << "start@10 status@20" << QString();
        // Its clock ran a month ahead at its end: its time does not cover the other's.
        QTest::newRow("a record whose clock stepped ahead")
            << "start@0 status@10 status@2592000 status@2592010"
            << "start@20 status@30" << QString();
    }

    void records_that_overlap()
    {
        QFETCH(QString, first);
        QFETCH(QString, second);
        QFETCH(QString, told);
        const Report report = report_of({scripted_record(first), scripted_record(second)});
        QCOMPARE(report.problems.filter(QStringLiteral("overlaps")),
                 told.isEmpty() ? QStringList() : QStringList{told});
    }
};

QTEST_GUILESS_MAIN(Summary_builder_test)
#include "tst_summary_builder.moc"
