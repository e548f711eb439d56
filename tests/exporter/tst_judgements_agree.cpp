// One status, or one stretch of frames, through every front end that judges
// it: the window's colour, the report's JSON and the exporter's scrape must
// tell the same thing, since a production line reads one and an operator
// the others.

#include "exporter/metrics_text.h"
#include "exporter/unit_watch.h"
#include "record/json_record_format.h"
#include "record/record_problems.h"
#include "record/record_timeline.h"
#include "record/recorder.h"
#include "report/json_report.h"
#include "report/report_maker.h"
#include "report/summary_builder.h"
#include "simulator/pty_device.h"
#include "support/status_payload.h"
#include "support/window_fixture.h"

#include <QtTest/QtTest>
#include <QtWidgets/QLabel>

#include <memory>

namespace {

constexpr qint64 noon = 1796558400000; // 2026-12-06T12:00:00Z

// The report's JSON of a record holding this status for a second.
QJsonObject report_of(const Unit_status &status)
{
    Summary_builder builder;
    builder.begin_input(QStringLiteral("memory"));
    Record_entry entry;
    entry.status = status;
    for (const qint64 at : {noon, noon + 1000}) {
        entry.time_ms = at;
        builder.add(entry);
    }
    builder.finish();
    Report report;
    report.summary = builder.summary();
    return QJsonDocument::fromJson(Json_report::write(report)).object();
}

// "1", "0", or "absent": SFP 1 channel 1 in a scrape.
QString scraped_below(const Unit_status &status)
{
    Unit_reading reading;
    reading.port = QStringLiteral("/dev/u");
    reading.port_open = true;
    reading.status = status;
    const QString sample = QStringLiteral(
        R"(velmar_rx_power_below_threshold{port="/dev/u",cage="sfp1",channel="1"} )");
    for (const QString &line : QString::fromUtf8(Metrics_text::render({reading})).split('\n')) {
        if (line.startsWith(sample))
            return line.mid(sample.size());
    }
    return QStringLiteral("absent");
}

} // namespace

class Tst_judgements_agree : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void below_the_threshold_data()
    {
        QTest::addColumn<QString>("commands"); // to the simulated unit, SFP 1 channel 1 Rx
        QTest::addColumn<QString>("judged");   // window colour, report episodes, scrape
        const auto row = [](const char *name, const char *commands, const char *judged) {
            QTest::newRow(name) << QString(commands) << QString(judged);
        };
        row("a tenth below", "sfp1.power1 -20.1; threshold -20", "red 1 1");
        row("at the threshold exactly", "sfp1.power1 -20.0; threshold -20", "black 0 0");
        row("a tenth above", "sfp1.power1 -19.9; threshold -20", "black 0 0");
        row("at -35 exactly", "sfp1.power1 -35.0; threshold -35", "black 0 0");
        // The unit cannot be set below -35 or above 0: such a threshold reads
        // as the nearest it can have, as the window's box shows it.
        row("a threshold below the range", "sfp1.power1 -35.1; threshold -128", "red 1 1");
        row("a threshold above the range", "sfp1.power1 -0.1; threshold 10", "red 1 1");
        row("at 0 with a threshold above the range", "sfp1.power1 0.0; threshold 10", "black 0 0");
        // The one difference: the window has no "not judged", and judges a
        // unit that reports no threshold against its box's 0 dBm.
        row("below 2.0: no threshold to judge by", "version 1.1; sfp1.power1 -30.5",
            "red not-judged absent");
    }

    void below_the_threshold()
    {
        QFETCH(QString, commands);
        QFETCH(QString, judged);
        const auto w = make_window_without_port();
        QSignalSpy decoded(&w->session, &Session::status_received);
        w->read(unit_frame(commands));
        QCOMPARE(decoded.count(), 1);
        const auto status = decoded.first().first().value<Unit_status>();
        const QString style = w->label(QStringLiteral("label_sfp1_rx_pwr_1"))->styleSheet();
        const QJsonValue below =
            report_of(status)["channels"].toArray()[0].toObject()["below_threshold"];
        QStringList told{style == QLatin1String("color: red") ? "red" : "black",
                         below.isNull() ? QStringLiteral("not-judged")
                                        : QString::number(below.toObject()["count"].toInt()),
                         scraped_below(status)};
        QCOMPARE(told.join(' '), judged);
    }

    // The same frames on two lines: the exporter on one, a session writing a
    // record on the other. A second of frames that decode nothing is no data
    // in both: velmar_up 0, and a gap in the report of the record.
    void damaged_frames_are_no_values()
    {
        Pty_device exported_line, recorded_line;
        QVERIFY(exported_line.open() && recorded_line.open());
        Unit_watch watch(exported_line.slave_path(), QString(), 115200, quick_timing);
        QStringList up_seen;
        connect(&watch, &Unit_watch::reading_changed, this, [&up_seen](const Unit_reading &read) {
            const QString up = read.up() ? QStringLiteral("up") : QStringLiteral("down");
            if (up_seen.isEmpty() || up_seen.last() != up)
                up_seen << up;
        });
        watch.open_if_closed();
        Session session(quick_timing);
        QBuffer record;
        record.open(QIODevice::WriteOnly);
        const Json_record_format format;
        Recorder recorder(session, format, record, Recorder::Policy::changes);
        QVERIFY(session.open_port({recorded_line.slave_path()}));

        const QByteArray good = Status_payload().frame();
        const auto play = [&](const QByteArray &frame, int ms) {
            QElapsedTimer clock;
            clock.start();
            while (clock.elapsed() < ms) {
                QVERIFY(exported_line.write_all(frame) && recorded_line.write_all(frame));
                QTest::qWait(quick_timing.watchdog_ms / 5);
            }
        };
        play(good, 3 * quick_timing.watchdog_ms);
        play(with_bad_crc(good), 5 * quick_timing.watchdog_ms);
        play(good, 3 * quick_timing.watchdog_ms);

        QCOMPARE(up_seen.join(' '), QStringLiteral("down up down up"));
        const QString scrape = QString::fromUtf8(Metrics_text::render({watch.reading()}));
        QVERIFY2(scrape.contains(QStringLiteral("velmar_silences_total{port=\"%1\"} 1")
                                     .arg(exported_line.slave_path())),
                 qPrintable(scrape));

        auto read_back = std::make_unique<QBuffer>();
        read_back->setData(record.data());
        read_back->open(QIODevice::ReadOnly);
        Record_problems problems;
        Record_timeline timeline(problems);
        timeline.add(QStringLiteral("memory"), std::move(read_back));
        const Report report = Report_maker::make(timeline, problems, {}, {});
        const QJsonObject events =
            QJsonDocument::fromJson(Json_report::write(report)).object()["events"].toObject();
        QCOMPARE(events["silences"].toObject()["count"].toInt(), 1);
        QCOMPARE(events["silences_with_damaged_frames"].toInt(), 1);
        QVERIFY(events["silences"].toObject()["total_s"].toDouble() >=
                4 * quick_timing.watchdog_ms / 1000.0);
    }
};

QTEST_MAIN(Tst_judgements_agree)
#include "tst_judgements_agree.moc"
