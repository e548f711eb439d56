// velmar-ctl report's verdict as a production line's script sees it, the
// exit status and what the report says, on records told line by line: the
// moments that are easy to get wrong (a status that held for no time, a
// unit that reports no threshold) and the mean of a long night.

#include "record/event_fields.h"
#include "record/json_record_format.h"
#include "simulator/healthy_unit.h"
#include "support/child_process.h"
#include "support/record_text.h"

#include <QtCore/QTemporaryDir>
#include <QtTest/QtTest>

namespace {

using S = Unit_status;

const QString ctl = QStringLiteral(VELMAR_CTL_PATH);
constexpr qint64 noon = 1796558400000; // 2026-12-06T12:00:00Z

// One change to the healthy unit of a status line.
void change(S &status, const QString &word)
{
    const int value = word.section('=', 1).toInt();
    if (word == QLatin1String("tx_fault"))
        status.tx_fault = true;
    else if (word == QLatin1String("overheat"))
        status.overheat = true;
    else if (word == QLatin1String("unlocked"))
        status.locks[2] = false;
    else if (word == QLatin1String("p1_down"))
        status.link_p1 = false;
    else if (word == QLatin1String("links_invalid"))
        status.links_valid = false;
    else if (word == QLatin1String("sync_fault"))
        status.dante.sync = S::Dante_state::fault;
    else if (word == QLatin1String("no_dante"))
        status.dante = S::Dante();
    else if (word == QLatin1String("v1.1"))
        status.version = Protocol_version::v1_1;
    else if (word.startsWith(QLatin1String("power=")))
        status.cages[S::sfp_1].channels[0].power_tenths = static_cast<int16_t>(value);
    else
        qFatal("unknown word %s", qPrintable(word));
}

// "100 status tx_fault power=-305; 1900 silent 100; 2000 crc_mismatch; ...":
// times in ms from noon, silent and connected with their since.
QByteArray record_of(const QString &told)
{
    const Json_record_format format;
    QStringList lines{start_line(QDateTime::fromMSecsSinceEpoch(noon, Qt::UTC))};
    for (const QString &line : told.split(';')) {
        const QStringList words = line.split(' ', Qt::SkipEmptyParts);
        const auto at = QDateTime::fromMSecsSinceEpoch(noon + words.at(0).toLongLong(), Qt::UTC);
        Record_event event = Record_event::status;
        if (!record_event_from_name(words.at(1), &event))
            qFatal("unknown event %s", qPrintable(words.at(1)));
        if (event == Record_event::status) {
            S status = healthy_unit();
            for (const QString &word : words.mid(2))
                change(status, word);
            lines << format.status_line(at, status);
        } else if (event == Record_event::silent || event == Record_event::connected) {
            lines << format.event_fields_line(at, event,
                                              Event_fields::since(noon + words.at(2).toLongLong()));
        } else {
            lines << format.event_line(at, event, words.value(2));
        }
    }
    return lines.join('\n').toUtf8() + '\n';
}

} // namespace

class Tst_report_verdict : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void exit_status_data()
    {
        QTest::addColumn<QString>("record");
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<int>("exit_code");
        QTest::addColumn<QString>("said"); // in a line of stdout, or of stderr when refused
        const auto row = [](const char *name, const char *record, const QStringList &options,
                            int exit_code, const char *said) {
            QTest::newRow(name) << QString(record) << options << exit_code << QString(said);
        };
        const char *const no_time = "1 episode, 0.000 s in all, held for no time";
        // Whatever a status shows fails its check, however briefly it held.
        row("the last status before a silence", "100 status overheat; 1900 silent 100",
            {"--fail-on", "fault"}, 9, no_time);
        row("the last status of a run", "100 status; 1100 status tx_fault", {"--fail-on", "fault"},
            9, "0.000 s (one status)");
        row("statuses sharing a millisecond",
            "100 status; 200 status unlocked; 200 status unlocked; 200 status; 900 status",
            {"--fail-on", "lock"}, 9, "0.000 s (2 statuses)");
        row("the last status before a lost port",
            "100 status power=-305; 100 port_lost gone; 900 reopened; 1000 status",
            {"--fail-on", "below-threshold"}, 9, no_time);
        row("a link down in a shared millisecond", "100 status p1_down; 100 status; 300 status",
            {"--fail-on", "link"}, 9, no_time);
        // The damaged frame comes before the silent line that begins at the status before it.
        row("the Dante sync before damaged frames",
            "100 status sync_fault; 900 crc_mismatch; 1100 silent 100; 5000 status",
            {"--fail-on", "dante,silence"}, 9, "1 with damaged frames only");
        row("one that held and one that did not",
            "100 status tx_fault; 1100 status; 1200 status tx_fault; 1200 status",
            {"--fail-on", "fault"}, 9, "2 episodes, 1.000 s in all, 1 of them held for no time");
        row("a healthy night", "100 status; 1100 status",
            {"--fail-on", "below-threshold,fault,lock,link,dante,silence,port-lost,crc"}, 0,
            "Verdict: PASS");
        // What cannot be judged is no pass; a failure outweighs it.
        row("below 2.0 there is no threshold", "100 status v1.1 power=-305; 1100 status v1.1",
            {"--fail-on", "below-threshold"}, 12, "Verdict: NOT JUDGED");
        row("--threshold judges it", "100 status v1.1 power=-305; 1100 status v1.1",
            {"--fail-on", "below-threshold", "--threshold", "-28"}, 9,
            "below-threshold  FAIL    1 episode, 1.000 s in all");
        row("at the threshold given", "100 status v1.1 power=-300; 1100 status v1.1",
            {"--fail-on", "below-threshold", "--threshold=-30"}, 0, "Verdict: PASS");
        row("a unit's own threshold goes first", "100 status power=-250; 1100 status",
            {"--fail-on", "below-threshold", "--threshold", "-20"}, 0, "Verdict: PASS");
        row("a fault outweighs what is not judged", "100 status v1.1; 1100 status v1.1 tx_fault",
            {"--fail-on", "below-threshold,fault"}, 9,
            "not judged: 2 statuses, 1.000 s (Rx powers of a unit that reports no threshold, "
            "below protocol 2.0; --threshold gives one)");
        row("links not valid", "100 status links_invalid p1_down; 1100 status",
            {"--fail-on", "link"}, 12,
            "not judged: 1 status, 1.000 s (the link states were not valid)");
        row("no Dante submodule", "100 status no_dante; 1100 status", {"--fail-on", "dante"}, 12,
            "not judged: 1 status, 1.000 s (no Dante submodule reported)");
        // Three hours at -10.0 dBm, a ten-second burst at -30.0 dBm, then
        // -10.0 again for ten seconds: by time held, not by status.
        row("the mean weighs time",
            "0 status power=-100; 10800000 status power=-300; 10805000 status power=-300; "
            "10810000 status power=-100; 10820000 status power=-100",
            {"--format", "json"}, 0, "\"mean\": -10.02,");
        row("an unknown check", "100 status", {"--fail-on", "fault", "--fail-on", "faults"}, 2,
            "velmar-ctl report: --fail-on: unknown check 'faults': expected any of "
            "below-threshold,fault,lock,link,dante,silence,port-lost,crc");
        row("a threshold no unit takes", "100 status", {"--threshold", "-36"}, 2,
            "--threshold: expected a whole number of dBm from -35 to 0, got '-36'");
    }

    void exit_status()
    {
        QFETCH(QString, record);
        QFETCH(QStringList, options);
        QFETCH(int, exit_code);
        QFETCH(QString, said);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("night.jsonl"));
        QFile file(path);
        const QByteArray text = record_of(record);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(text) == text.size());
        file.close();
        Child_process child(ctl);
        child.start(QStringList{"report"} + options + QStringList{path});
        QVERIFY(child.wait_for_exit());
        const QString lines =
            (exit_code == 2 ? child.error_lines() : child.output_lines()).join('\n');
        QVERIFY2(lines.contains(said), qPrintable(lines));
        QCOMPARE(child.exit_code(), exit_code);
    }
};

QTEST_GUILESS_MAIN(Tst_report_verdict)
#include "tst_report_verdict.moc"
