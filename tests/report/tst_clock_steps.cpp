// A clock step in a record is a gap in the report: the data ends at the line
// before it, nothing is held across it, and the step is shown with its size
// and line.
#include "record/record_timeline.h"
#include "report/json_report.h"
#include "report/report_maker.h"
#include "report/text_report.h"
#include "support/record_text.h"

#include <QtCore/QBuffer>
#include <QtCore/QJsonArray>
#include <QtCore/QJsonDocument>
#include <QtCore/QJsonObject>
#include <QtTest/QtTest>

#include <cmath>

namespace {

using S = Unit_status;

constexpr qint64 second_ms = 1000;
constexpr qint64 day_and_more_s = 25 * 3600;
const qint64 noon = record_noon_ms;
const int rx_slot = Report_summary::channel_slot(S::sfp_1, 0);

QDateTime at(qint64 seconds)
{
    return QDateTime::fromMSecsSinceEpoch(noon + seconds * second_ms, Qt::UTC);
}

// A run from a second before noon: "low@0 status@10 silent@12 lost@13".
QByteArray record(const QString &script)
{
    return scripted_record("start@-1 " + script);
}

Report report_of(const QByteArray &text)
{
    Record_problems problems;
    Record_timeline timeline(problems);
    auto buffer = std::make_unique<QBuffer>();
    buffer->setData(text);
    buffer->open(QIODevice::ReadOnly);
    timeline.add(QStringLiteral("night.jsonl"), std::move(buffer));
    return Report_maker::make(timeline, problems, {QStringLiteral("night.jsonl")}, {});
}

} // namespace

class Clock_steps_test : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void nothing_held_across_data()
    {
        QTest::addColumn<QString>("script");
        // Seconds with data, below the threshold and its episodes, silent, without a port.
        QTest::addColumn<QList<double>>("expected");
        QTest::newRow("set back an hour")
            << "low@0 low@10 status@-3600 status@-3590" << QList<double>{20, 10, 1, 0, 0};
        QTest::newRow("a day ahead while below") << QStringLiteral("low@0 low@10 low@%1 status@%2")
                                                        .arg(day_and_more_s + 10)
                                                        .arg(day_and_more_s + 20)
                                                 << QList<double>{20, 20, 2, 0, 0};
        QTest::newRow("a silence ends at the step")
            << "status@0 silent@5 status@-100 status@-90" << QList<double>{14, 0, 0, 1, 0};
        QTest::newRow("the status before a step is not taken up again after it")
            << "status@0 silent@5 connected@-100 status@-90 status@-80"
            << QList<double>{14, 0, 0, 1, 0};
        QTest::newRow("a lost port stays lost, without the step")
            << "status@0 lost@5 status@-100 lost@-99 status@-90" << QList<double>{6, 0, 0, 0, 9};
    }

    void nothing_held_across()
    {
        QFETCH(QString, script);
        QFETCH(QList<double>, expected);
        const Report report = report_of(record(script));
        const Report_summary &summary = report.summary;
        const Episodes &below = summary.channels[rx_slot].below_threshold;
        const double s = second_ms; // exact: a millisecond off is a failure
        QCOMPARE(summary.clock_steps.count, qint64(1));
        QCOMPARE((QList<double>{summary.with_data_ms / s, below.total_ms() / s,
                                double(below.count()), summary.events.silences.total_ms() / s,
                                summary.events.without_port_ms / s}),
                 expected);
        // The span reaches from the earliest line to the latest, steps or not.
        qint64 earliest = 0, latest = 0;
        for (const QString &step : script.split(QLatin1Char(' '))) {
            const qint64 second = step.section(QLatin1Char('@'), 1).toLongLong();
            earliest = std::min(earliest, second);
            latest = std::max(latest, second);
        }
        QCOMPARE(summary.first_ms, at(std::min<qint64>(earliest, -1)).toMSecsSinceEpoch());
        QCOMPARE(summary.last_ms, at(latest).toMSecsSinceEpoch());
        QCOMPARE(int(summary.runs.size()), 1); // a step is no new run
    }

    // No line is drawn across a step: SFP 1's Rx line breaks at the last
    // status before it, as it does at the end.
    void no_line_drawn_across()
    {
        const Report report =
            report_of(record(QStringLiteral("status@0 status@10 status@%1 status@%2")
                                 .arg(day_and_more_s + 10)
                                 .arg(day_and_more_s + 20)));
        QStringList breaks;
        for (const Reduced_chart::Row &row : report.charts.charts[S::sfp_1].data.rows()) {
            const Reduced_chart::Cell &rx = row.values[0];
            if (rx && std::isnan(*rx))
                breaks << QString::number((row.at_ms - noon) / second_ms);
        }
        QCOMPARE(breaks, QStringList({"10", QString::number(day_and_more_s + 20)}));
    }

    // Shown with its line and size in JSON, and as a table in text and page.
    void shown_in_the_report()
    {
        const Report report = report_of(record("status@0 status@10 status@-3590"));
        const QJsonObject steps =
            QJsonDocument::fromJson(Json_report::write(report)).object()["clock_steps"].toObject();
        QCOMPARE(steps["count"].toInt(), 1);
        const QJsonObject step = steps["steps"].toArray().at(0).toObject();
        QCOMPARE(step["record"].toString(), QStringLiteral("night.jsonl"));
        QCOMPARE(step["line"].toInt(), 4); // after the start line and two statuses
        QCOMPARE(step["before"].toString(), QStringLiteral("2026-12-06T12:00:10.000Z"));
        QCOMPARE(step["after"].toString(), QStringLiteral("2026-12-06T11:00:10.000Z"));
        QCOMPARE(step["size_s"].toDouble(), -3600.0);
        const QString text = QString::fromUtf8(Text_report::write(report));
        QVERIFY2(text.contains(QRegularExpression(
                     QStringLiteral("night.jsonl:4 +2026-12-06T12:00:10.000Z +"
                                    "2026-12-06T11:00:10.000Z +back 1 h 00 min 00.000 s"))),
                 qPrintable(text));
        QCOMPARE(report.problems.size(), 1);
    }
};

QTEST_GUILESS_MAIN(Clock_steps_test)
#include "tst_clock_steps.moc"
