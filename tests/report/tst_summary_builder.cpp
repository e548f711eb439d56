#include "record/record_event.h"
#include "report/summary_builder.h"
#include "simulator/healthy_unit.h"

#include <QtTest/QtTest>

#include <algorithm>
#include <cmath>

namespace {

using S = Unit_status;

const int rx_slot = Report_summary::channel_slot(S::sfp_1, 0);
constexpr int16_t low_tenths = -300; // below the healthy unit's -28 dBm
constexpr int16_t dip_tenths = -290;
constexpr int16_t good_tenths = -142;

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
};

QTEST_GUILESS_MAIN(Summary_builder_test)
#include "tst_summary_builder.moc"
