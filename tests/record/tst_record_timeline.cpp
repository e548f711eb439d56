// Records as one unit's timeline: each record in its writer's order, a clock
// step where its clock was set, and records that overlap refused rather than
// merged. That records go in the order of their first times, tst_report_properties
// checks on whole records split at a run.
#include "record/record_timeline.h"
#include "support/record_text.h"

#include <QtCore/QBuffer>
#include <QtTest/QtTest>

#include <memory>
#include <vector>

namespace {

constexpr qint64 second_ms = 1000;
constexpr qint64 hour_s = 3600;
const qint64 noon = record_noon_ms;

std::unique_ptr<QBuffer> device(const QByteArray &text)
{
    auto buffer = std::make_unique<QBuffer>();
    buffer->setData(text);
    buffer->open(QIODevice::ReadOnly);
    return buffer;
}

// What a timeline hands on, as words: "a:status@0", "step@3:-3601".
struct Read_through
{
    bool one_timeline = false;
    QStringList handed;
    QStringList problems;
};

Read_through read_through(const std::vector<std::pair<QString, QByteArray>> &records)
{
    Record_problems problems;
    Record_timeline timeline(problems);
    for (const auto &named : records)
        timeline.add(named.first, device(named.second));
    Read_through result;
    QString source;
    result.one_timeline =
        timeline.read([&source](const QString &name) { source = name; },
                      [&](const Record_entry &entry) {
                          result.handed << QStringLiteral("%1:%2@%3")
                                               .arg(source, record_event_name(entry.event))
                                               .arg((entry.time_ms - noon) / second_ms);
                      },
                      [&](const Record_timeline::Clock_step &step) {
                          result.handed << QStringLiteral("step@%1:%2")
                                               .arg(step.line)
                                               .arg((step.after_ms - step.before_ms) / second_ms);
                      });
    result.problems = problems.lines();
    return result;
}

} // namespace

class Record_timeline_test : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void clock_steps_data()
    {
        QTest::addColumn<QString>("script");
        QTest::addColumn<QStringList>("steps"); // "line:seconds"
        const QString day_and_more = QString::number(25 * hour_s);
        QTest::newRow("back by one second") << "status@10 crc@9" << QStringList{"2:-1"};
        QTest::newRow("a day and more while a status is held")
            << "status@0 status@" + day_and_more << QStringList{"2:90000"};
        QTest::newRow("a quiet day of a record of changes")
            << "status@0 status@" + QString::number(23 * hour_s) << QStringList{};
        QTest::newRow("a long silence")
            << "status@0 silent@2 connected@" + day_and_more << QStringList{};
        QTest::newRow("a long lost port")
            << "status@0 lost@1 status@" + day_and_more << QStringList{};
        QTest::newRow("nothing held since the start")
            << "start@0 crc@" + day_and_more << QStringList{};
        QTest::newRow("a connected line holds the status again")
            << "status@0 silent@2 connected@3 crc@" + day_and_more << QStringList{"4:89997"};
        QTest::newRow("a step, then a step back")
            << "status@0 status@-100 status@" + day_and_more + " status@1"
            << QStringList{"2:-100", "3:90100", "4:-89999"};
    }

    // Every line is handed on, in the writer's order, with the step before
    // the line after it; each step is told with its file and line.
    void clock_steps()
    {
        QFETCH(QString, script);
        QFETCH(QStringList, steps);
        const Read_through read =
            read_through({{QStringLiteral("night.jsonl"), scripted_record(script)}});
        QVERIFY(read.one_timeline);
        QStringList expected;
        int line = 0;
        for (const QString &step : script.split(QLatin1Char(' '))) {
            ++line;
            for (const QString &told : steps) {
                if (told.section(QLatin1Char(':'), 0, 0).toInt() == line)
                    expected << "step@" + told;
            }
            QString event = step.section(QLatin1Char('@'), 0, 0);
            event = event == QLatin1String("crc")    ? QStringLiteral("crc_mismatch")
                    : event == QLatin1String("lost") ? QStringLiteral("port_lost")
                                                     : event;
            expected << "night.jsonl:" + event + '@' + step.section(QLatin1Char('@'), 1);
        }
        QCOMPARE(read.handed, expected);
        if (steps.isEmpty()) {
            QCOMPARE(read.problems, QStringList());
            return;
        }
        QCOMPARE(read.problems.size(), 1);
        const QString first = steps.first();
        const qint64 size = first.section(QLatin1Char(':'), 1).toLongLong();
        QVERIFY2(read.problems[0].startsWith(
                     QStringLiteral("night.jsonl:%1: the clock steps %2 by %3.000 s, from ")
                         .arg(first.section(QLatin1Char(':'), 0, 0),
                              size < 0 ? QStringLiteral("back") : QStringLiteral("forward"))
                         .arg(std::abs(size))),
                 qPrintable(read.problems[0]));
    }

    void records_that_overlap_data()
    {
        QTest::addColumn<QByteArray>("first");
        QTest::addColumn<QByteArray>("second");
        QTest::addColumn<QString>("told"); // empty: one timeline
        QTest::newRow("one record given twice")
            << scripted_record("start@0 status@10") << scripted_record("start@0 status@10")
            << "b.jsonl: overlaps a.jsonl in time (a.jsonl from 2026-12-06T12:00:00.000Z to "
               "2026-12-06T12:00:10.000Z, b.jsonl from 2026-12-06T12:00:00.000Z to "
               "2026-12-06T12:00:10.000Z): records that overlap cannot be one unit's; report "
               "each on its own";
        QTest::newRow("one ends as the other begins")
            << scripted_record("start@0 status@10") << scripted_record("start@10 status@20")
            << QString();
        // Its clock ran a month ahead at its end: its time does not cover the other's.
        QTest::newRow("a record whose clock stepped ahead")
            << scripted_record("start@0 status@10 status@2592000 status@2592010")
            << scripted_record("start@20 status@30") << QString();
    }

    void records_that_overlap()
    {
        QFETCH(QByteArray, first);
        QFETCH(QByteArray, second);
        QFETCH(QString, told);
        const Read_through read =
            read_through({{QStringLiteral("a.jsonl"), first}, {QStringLiteral("b.jsonl"), second}});
        QCOMPARE(read.one_timeline, told.isEmpty());
        QCOMPARE(read.problems.filter(QStringLiteral("overlaps")),
                 told.isEmpty() ? QStringList() : QStringList{told});
    }
};

QTEST_GUILESS_MAIN(Record_timeline_test)
#include "tst_record_timeline.moc"
