#include "record/json_record_format.h"
#include "record/recorder.h"
#include "report/summary_builder.h"
#include "session/session.h"
#include "simulator/healthy_unit.h"
#include "simulator/unit_simulator.h"
#include "support/record_text.h"

#include <QtCore/QBuffer>
#include <QtCore/QTemporaryDir>
#include <QtTest/QtTest>

#include <algorithm>
#include <cmath>

namespace {

using S = Unit_status;

const int rx_slot = Report_summary::channel_slot(S::sfp_1, 0);
constexpr int16_t low_tenths = -300; // below the healthy unit's -28 dBm
constexpr int16_t good_tenths = -142;

// What the recorded unit is told to do, and for how long.
constexpr int frames_per_second = 50;
constexpr int settle_ms = 500;
constexpr int first_dip_ms = 1500;
constexpr int fault_ms = 1000;
constexpr int second_dip_before_ms = 1000;
constexpr int silence_ms = 1500;
constexpr int second_dip_after_ms = 1000;
constexpr int unplugged_ms = 1000;
constexpr int within_ms = 1000;
constexpr int wait_ms = 15000;
constexpr int watchdog_divisor = 4;

// "event@ms" or "event@ms<since" (no since: the first format); low and
// good are statuses with SFP 1's channel 1 below and above the threshold.
bool scripted(const QString &line, Record_entry *entry)
{
    const QString name = line.section(QLatin1Char('@'), 0, 0);
    const QString times = line.section(QLatin1Char('@'), 1);
    entry->time_ms = times.section(QLatin1Char('<'), 0, 0).toLongLong();
    if (times.contains(QLatin1Char('<')))
        entry->since_ms = times.section(QLatin1Char('<'), 1).toLongLong();
    entry->status = healthy_unit();
    if (name != QLatin1String("low") && name != QLatin1String("good"))
        return record_event_from_name(name, &entry->event);
    entry->status.cages[S::sfp_1].channels[0].power_tenths =
        name == QLatin1String("low") ? low_tenths : good_tenths;
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
        for (const QString &line : lines.split(QLatin1Char(' '))) {
            if (line == QLatin1String("next@0")) {
                builder.begin_input(QStringLiteral("second"));
                continue;
            }
            Record_entry entry;
            QVERIFY2(scripted(line, &entry), qPrintable(line));
            builder.add(entry);
        }
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
            for (const QString &line : lines.split(QLatin1Char(' '))) {
                Record_entry entry;
                QVERIFY(scripted(line, &entry));
                builder.add(entry);
            }
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

    // A record made by the simulated unit, told to dip, fault, fall silent
    // during a dip and be unplugged: the summary finds what it was told.
    void a_scripted_unit_is_summarised()
    {
        Unit_simulator unit;
        unit.settings().rate = frames_per_second;
        unit.settings().drift = false;
        QTemporaryDir dir;
        const QString link = dir.filePath(QStringLiteral("unit"));
        unit.set_link_path(link);
        QVERIFY(unit.start_on_pty());
        Session session(Session_timing::scaled_down(watchdog_divisor));
        session.set_listen_only(true);
        QBuffer sink;
        sink.open(QIODevice::WriteOnly);
        const Json_record_format format;
        Recorder recorder(session, format, sink, Recorder::Policy::changes_per_connection);
        QSignalSpy connected(&session, &Session::connection_announced);
        QSignalSpy reopened(&session, &Session::port_reopened);
        QVERIFY(session.open_port({link}));
        QVERIFY(connected.wait(wait_ms));
        const auto run = [&unit](const char *command, int then_ms) {
            QVERIFY(unit.execute(QString::fromLatin1(command)));
            QTest::qWait(then_ms);
        };
        run("sfp1.power1 -30.5", first_dip_ms);
        run("sfp1.power1 -14.2", settle_ms);
        run("rx_fault 1", fault_ms);
        run("rx_fault 0", settle_ms);
        run("sfp1.power1 -29.0", second_dip_before_ms);
        unit.silence(silence_ms);
        QTRY_VERIFY_WITH_TIMEOUT(!unit.is_silent(), wait_ms);
        QTest::qWait(second_dip_after_ms);
        run("sfp1.power1 -14.2", settle_ms);
        QVERIFY(unit.unplug(unplugged_ms));
        QVERIFY(reopened.wait(wait_ms));
        QTRY_COMPARE_WITH_TIMEOUT(connected.count(), 3, wait_ms);
        QTest::qWait(settle_ms);

        const Read_back record = read_record(sink.data());
        QVERIFY(record.problems.empty());
        Summary_builder builder;
        builder.begin_input(QStringLiteral("memory"));
        for (const Record_entry &entry : record.entries)
            builder.add(entry);
        builder.finish();
        const Report_summary &summary = builder.summary();
        const Report_summary::Channel &rx = summary.channels[rx_slot];
        QCOMPARE(rx.rx_power.min(), -305);
        QCOMPARE(rx.rx_power.max(), -142);
        const qint64 dips_ms[] = {first_dip_ms, second_dip_before_ms, second_dip_after_ms};
        QCOMPARE(rx.below_threshold.count(), qint64(3));
        for (int i = 0; i < 3; ++i) {
            const qint64 measured = rx.below_threshold.listed()[std::size_t(i)].duration_ms;
            QVERIFY2(std::abs(measured - dips_ms[i]) <= within_ms,
                     qPrintable(QStringLiteral("dip %1: %2 ms").arg(i + 1).arg(measured)));
        }
        QCOMPARE(rx.below_threshold.listed()[0].lowest, -305);
        QCOMPARE(rx.below_threshold.listed()[1].lowest, -290);
        // The silence in the second dip counts as neither data nor below.
        QVERIFY(std::abs(rx.below_threshold.total_ms() -
                         (first_dip_ms + second_dip_before_ms + second_dip_after_ms)) <= within_ms);
        QCOMPARE(summary.events.silences.count(), qint64(1));
        QVERIFY(std::abs(summary.events.silences.total_ms() - silence_ms) <= within_ms);
        QCOMPARE(summary.faults[Report_summary::rx_fault].count(), qint64(1));
        QVERIFY(std::abs(summary.faults[Report_summary::rx_fault].total_ms() - fault_ms) <=
                within_ms);
        QCOMPARE(summary.events.count(Report_summary::port_lost), qint64(1));
        QCOMPARE(summary.events.count(Report_summary::reopened), qint64(1));
        QVERIFY(std::abs(summary.events.without_port_ms - unplugged_ms) <= within_ms);
        const qint64 span = summary.last_ms - summary.first_ms;
        QVERIFY(summary.with_data_ms <= span - silence_ms - unplugged_ms + within_ms);
    }
};

QTEST_GUILESS_MAIN(Summary_builder_test)
#include "tst_summary_builder.moc"
