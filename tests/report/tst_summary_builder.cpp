#include "record/json_record_format.h"
#include "record/record_reader.h"
#include "record/recorder.h"
#include "report/summary_builder.h"
#include "session/session.h"
#include "simulator/healthy_unit.h"
#include "simulator/unit_simulator.h"

#include <QtCore/QBuffer>
#include <QtCore/QTemporaryDir>
#include <QtTest/QtTest>

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

namespace {

using S = Unit_status;

const int rx_slot = Report_summary::channel_slot(S::sfp_1, 0);
constexpr int16_t low_tenths = -300; // below the healthy unit's -28 dBm
constexpr int16_t good_tenths = -142;

// One line of a timeline, at a time in ms from 0.
struct Line
{
    enum class What
    {
        status_low, // SFP 1 channel 1 below the threshold
        status_good,
        silent,    // since: the last frame, or -1 as in the first format
        connected, // since: the first frame, or -1
        port_lost,
        reopened,
        start,
        crc,
        next_input, // a new input begins before this line
    };
    What what;
    qint64 at_ms;
    qint64 since_ms = Record_entry::no_time;
};

Record_entry entry_of(const Line &line)
{
    Record_entry entry;
    entry.time_ms = line.at_ms;
    entry.since_ms = line.since_ms;
    entry.status = healthy_unit();
    using W = Line::What;
    switch (line.what) {
    case W::status_low:
    case W::status_good:
        entry.event = Record_event::status;
        entry.status.cages[S::sfp_1].channels[0].power_tenths =
            line.what == W::status_low ? low_tenths : good_tenths;
        break;
    case W::silent:
        entry.event = Record_event::silent;
        break;
    case W::connected:
        entry.event = Record_event::connected;
        break;
    case W::port_lost:
        entry.event = Record_event::port_lost;
        break;
    case W::reopened:
        entry.event = Record_event::reopened;
        break;
    case W::start:
        entry.event = Record_event::start;
        break;
    case W::crc:
    case W::next_input:
        entry.event = Record_event::crc_mismatch;
        break;
    }
    return entry;
}

struct Expected
{
    qint64 with_data_ms;
    qint64 below_episodes;
    qint64 below_ms;
    qint64 silences;
    qint64 silence_ms;
    qint64 without_port_ms;
};

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

} // namespace

Q_DECLARE_METATYPE(std::vector<Line>)
Q_DECLARE_METATYPE(Expected)

class Summary_builder_test : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void time_with_data_and_without_data()
    {
        QTest::addColumn<std::vector<Line>>("lines");
        QTest::addColumn<Expected>("expected");
        using W = Line::What;
        QTest::newRow("a status holds until the next")
            << std::vector<Line>{{W::status_low, 0}, {W::status_good, 1000}, {W::status_good, 3000}}
            << Expected{3000, 1, 1000, 0, 0, 0};
        QTest::newRow("a silence, from its last frame, is a gap")
            << std::vector<Line>{{W::status_low, 0},
                                 {W::silent, 2500, 1000},
                                 {W::status_low, 5000},
                                 {W::status_good, 6000}}
            << Expected{2000, 2, 2000, 1, 4000, 0};
        QTest::newRow("connected goes on with the status held")
            << std::vector<Line>{{W::status_low, 0},
                                 {W::silent, 1900, 1000},
                                 {W::connected, 5900, 5000},
                                 {W::status_good, 7000}}
            << Expected{3000, 2, 3000, 1, 4000, 0};
        QTest::newRow("a lost port is a gap, and silent while lost is the port's")
            << std::vector<Line>{{W::status_good, 0},     {W::port_lost, 2000},
                                 {W::silent, 2900, 1950}, {W::reopened, 5000},
                                 {W::status_good, 5100},  {W::status_good, 6000}}
            << Expected{2900, 0, 0, 0, 0, 3000};
        QTest::newRow("a gap between inputs") << std::vector<Line>{{W::status_low, 0},
                                                                   {W::status_low, 1000},
                                                                   {W::next_input, 10000},
                                                                   {W::status_low, 10000},
                                                                   {W::status_good, 11000}}
                                              << Expected{2000, 2, 2000, 0, 0, 0};
        QTest::newRow("first format: a silence from its line")
            << std::vector<Line>{{W::status_low, 0}, {W::silent, 2000}, {W::status_good, 4000}}
            << Expected{2000, 1, 2000, 1, 2000, 0};
        QTest::newRow("a start line ends the run before it")
            << std::vector<Line>{{W::start, 0},    {W::status_low, 100},  {W::crc, 900},
                                 {W::start, 5000}, {W::status_low, 5100}, {W::status_good, 6000}}
            << Expected{1700, 2, 1700, 0, 0, 0};
        QTest::newRow("a run ends with its port still lost")
            << std::vector<Line>{{W::status_good, 0}, {W::port_lost, 1000}, {W::crc, 4000}}
            << Expected{1000, 0, 0, 0, 0, 3000};
    }

    void time_with_data_and_without()
    {
        QFETCH(std::vector<Line>, lines);
        QFETCH(Expected, expected);
        Summary_builder builder;
        builder.begin_input(QStringLiteral("first"));
        for (const Line &line : lines) {
            if (line.what == Line::What::next_input) {
                builder.begin_input(QStringLiteral("second"));
                continue;
            }
            builder.add(entry_of(line));
        }
        builder.finish();
        const Report_summary &summary = builder.summary();
        const Episodes &below = summary.channels[rx_slot].below_threshold;
        QCOMPARE(summary.with_data_ms, expected.with_data_ms);
        QCOMPARE(below.count(), expected.below_episodes);
        QCOMPARE(below.total_ms(), expected.below_ms);
        QCOMPARE(summary.events.silences.count(), expected.silences);
        QCOMPARE(summary.events.silences.total_ms(), expected.silence_ms);
        QCOMPARE(summary.events.without_port_ms, expected.without_port_ms);
    }

    // Too many shades are joined with their neighbours; where a lost port
    // and a silence are joined, the port's shade is what is drawn.
    void joined_shades_show_the_lost_port()
    {
        using W = Line::What;
        Summary_builder builder;
        builder.begin_input(QStringLiteral("first"));
        for (qint64 t = 0; t < 1100 * 10000; t += 10000) {
            for (const Line &line : {Line{W::status_good, t}, Line{W::silent, t + 2500, t + 1000},
                                     Line{W::port_lost, t + 2600}, Line{W::reopened, t + 3000}})
                builder.add(entry_of(line));
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

        QBuffer record;
        record.setData(sink.data());
        record.open(QIODevice::ReadOnly);
        Record_problems problems;
        Record_reader reader(record, QStringLiteral("memory"), problems);
        Summary_builder builder;
        builder.begin_input(QStringLiteral("memory"));
        Record_entry entry;
        while (reader.next(&entry))
            builder.add(entry);
        builder.finish();
        QVERIFY(problems.empty());
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
