// velmar-ctl report as a production line's script and an engineer meet it:
// the exit status, the verdict and what the report says of records told
// line by line (the moments that are easy to get wrong: a status that held
// for no time, a unit that reports no threshold, the mean of a long night),
// and what it makes of input that is bad, unreadable or no record at all.
#include "record/event_fields.h"
#include "record/json_record_format.h"
#include "simulator/healthy_unit.h"
#include "support/child_process.h"
#include "support/record_text.h"

#include <QtCore/QJsonDocument>
#include <QtCore/QJsonObject>
#include <QtCore/QTemporaryDir>
#include <QtTest/QtTest>

namespace {

using S = Unit_status;

const QString ctl = QStringLiteral(VELMAR_CTL_PATH);
const qint64 noon = record_noon_ms;

QDateTime at(qint64 ms)
{
    return QDateTime::fromMSecsSinceEpoch(noon + ms, Qt::UTC);
}

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
// times in ms from noon, silent and connected with their since; a run
// started at start_ms.
QByteArray record_of(const QString &told, qint64 start_ms = 0)
{
    const Json_record_format format;
    QStringList lines{start_line(at(start_ms))};
    for (const QString &line : told.split(';')) {
        const QStringList words = line.split(' ', Qt::SkipEmptyParts);
        const QDateTime time = at(words.at(0).toLongLong());
        Record_event event = Record_event::status;
        if (!record_event_from_name(words.at(1), &event))
            qFatal("unknown event %s", qPrintable(words.at(1)));
        if (event == Record_event::status) {
            S status = healthy_unit();
            for (const QString &word : words.mid(2))
                change(status, word);
            lines << format.status_line(time, status);
        } else if (event == Record_event::silent || event == Record_event::connected) {
            lines << format.event_fields_line(time, event,
                                              Event_fields::since(noon + words.at(2).toLongLong()));
        } else {
            lines << format.event_line(time, event, words.value(2));
        }
    }
    return lines.join('\n').toUtf8() + '\n';
}

// Ten seconds from first_second, one status a second, with what the night
// held in its middle: silence, port_lost, crc, or words of a status.
QByteArray night_of(int first_second = 0, const QString &night = QString())
{
    QStringList told;
    for (int second = first_second + 1; second <= first_second + 10; ++second) {
        const qint64 ms = second * 1000LL;
        QStringList status{QString::number(ms + 600), QStringLiteral("status")};
        if (second == first_second + 5)
            status += night.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        if (status.removeAll(QStringLiteral("crc")) > 0)
            told << QStringLiteral("%1 crc_mismatch").arg(ms);
        if (status.removeAll(QStringLiteral("silence")) > 0)
            told << QStringLiteral("%1 silent %2").arg(ms).arg(ms - 900);
        if (status.removeAll(QStringLiteral("port_lost")) > 0)
            told << QStringLiteral("%1 port_lost gone").arg(ms)
                 << QStringLiteral("%1 reopened").arg(ms + 500);
        told << status.join(QLatin1Char(' '));
    }
    return record_of(told.join(QLatin1Char(';')), first_second * 1000LL);
}

QString write_file(const QTemporaryDir &dir, const QString &name, const QByteArray &text)
{
    const QString path = dir.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size())
        return QString();
    return path;
}

struct Run
{
    int exit_code;
    QByteArray output;
    QStringList errors;
};

Run report(const QStringList &arguments, const QByteArray &input = QByteArray())
{
    Child_process child(ctl);
    child.start(QStringList{QStringLiteral("report")} + arguments);
    if (!input.isNull()) {
        child.write(input);
        child.closeWriteChannel();
    }
    child.wait_for_exit();
    return {child.exit_code(), child.readAllStandardOutput(), child.error_lines()};
}

} // namespace

class Report_command_test : public QObject
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
        const QString path = write_file(dir, QStringLiteral("night.jsonl"), record_of(record));
        const Run run = report(options + QStringList{path});
        const QString lines =
            exit_code == 2 ? run.errors.join('\n') : QString::fromUtf8(run.output);
        QVERIFY2(lines.contains(said), qPrintable(lines));
        QCOMPARE(run.exit_code, exit_code);
    }

    void fail_on_data()
    {
        QTest::addColumn<QString>("night");
        QTest::addColumn<QString>("checks");
        QTest::addColumn<int>("exit_code");
        QTest::addColumn<QString>("failed"); // the checks the JSON verdict names failed
        const auto row = [](const char *name, const char *night, const QString &checks,
                            int exit_code, const QString &failed) {
            QTest::newRow(name) << QString(night) << checks << exit_code << failed;
        };
        const QString every_check =
            QStringLiteral("crc,port-lost,silence,lock,fault,below-threshold");
        row("a quiet night passes every check", "", every_check, 0, "");
        row("a dip fails below-threshold", "power=-305", "below-threshold,crc", 9,
            "below-threshold");
        row("a dip not asked about passes", "power=-305", "fault", 0, "");
        row("everything, every check", "power=-305 tx_fault unlocked silence port_lost crc",
            every_check, 9, every_check);
    }

    void fail_on()
    {
        QFETCH(QString, night);
        QFETCH(QString, checks);
        QFETCH(int, exit_code);
        QFETCH(QString, failed);
        QTemporaryDir dir;
        const QString path = write_file(dir, QStringLiteral("night.jsonl"), night_of(0, night));
        const Run run = report({"--format", "json", "--fail-on", checks, path});
        QVERIFY2(run.errors.isEmpty(), qPrintable(run.errors.join('\n')));
        QCOMPARE(run.exit_code, exit_code);
        const QJsonObject verdict =
            QJsonDocument::fromJson(run.output).object().value("verdict").toObject();
        QStringList named;
        for (const QJsonValue check : verdict.value("checks").toArray()) {
            if (check["failed"].toBool())
                named << check["check"].toString();
        }
        QCOMPARE(named.join(','), failed);
        QCOMPARE(verdict.value("passed").toBool(), exit_code == 0);
    }

    // docs/report.md's table of bad input, row by row: what is told on
    // standard error (once, naming the file and line) and the exit status;
    // the report of the other record is written whenever it can be one.
    void bad_input_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QString>("told"); // the one line on stderr, after "FILE"
        QTest::addColumn<int>("exit_code");
        const QByteArray night = night_of();
        const QList<QByteArray> lines = night.split('\n');
        const QByteArray dip_night = night_of(0, QStringLiteral("power=-305"));
        QTest::newRow("a truncated last line")
            << night + lines[3].left(40) << ":12: the last line is cut off" << 0;
        QTest::newRow("a cut line with the next run on it")
            << night + lines[3].left(40) + night_of(20)
            << ":12: a line cut off (the writer stopped in the middle of it), the next run "
               "written on after it"
            << 0;
        QTest::newRow("a line that is not JSON")
            << QByteArray(night).replace(lines[2], "not json\n" + lines[2]) << ":3: not JSON" << 10;
        QTest::newRow("a value of the wrong type")
            << QByteArray(night).replace("\"rx_fault\":false", "\"rx_fault\":0")
            << ":2: cannot be read: \"rx_fault\" is of the wrong type" << 10;
        QTest::newRow("a failing verdict beside a line left out")
            << QByteArray(dip_night).replace(lines[2], "not json\n" + lines[2]) << ":3: not JSON"
            << 10;
        QTest::newRow("an unknown field")
            << QByteArray(night).replace("\"overheat\":", "\"humidity\":3,\"overheat\":")
            << ":2: unknown field \"humidity\"" << 0;
        QTest::newRow("an unknown event")
            << night + R"({"time":"2026-12-06T12:00:20.000Z","event":"reboot"})"
                       "\n"
            << ":12: unknown event \"reboot\"" << 0;
        QTest::newRow("an empty file") << QByteArray("") << ": not a record" << 10;
        QTest::newRow("a clock set back")
            << night + night_of(5) << ":12: the clock steps back by 5.600 s" << 0;
    }

    void bad_input()
    {
        QFETCH(QByteArray, text);
        QFETCH(QString, told);
        QFETCH(int, exit_code);
        QTemporaryDir dir;
        const QString good = write_file(dir, QStringLiteral("good.jsonl"), night_of(3600));
        const QString bad = write_file(dir, QStringLiteral("bad.jsonl"), text);
        // Checks that find nothing in the night: the exit status is the input's.
        const Run run = report({"--fail-on", "below-threshold,lock", bad, good});
        QCOMPARE(run.exit_code, exit_code);
        QCOMPARE(run.errors.size(), 1);
        QVERIFY2(run.errors[0].startsWith("velmar-ctl report: " + bad + told),
                 qPrintable(run.errors[0]));
        QVERIFY2(run.output.contains("Statuses: "), run.output.constData());
        QVERIFY(!run.output.contains("Statuses: 0"));
    }

    void unreadable_and_unusable_input()
    {
        QTemporaryDir dir;
        const QString good = write_file(dir, QStringLiteral("good.jsonl"), night_of());
        const QString missing = dir.filePath(QStringLiteral("missing.jsonl"));
        Run run = report({missing, good});
        QCOMPARE(run.exit_code, 10);
        QVERIFY(run.errors.value(0).contains(missing + ": cannot be read"));
        QVERIFY(run.output.contains("Statuses: 10"));
        // Nothing that is a record (text, a picture, JSON of another kind):
        // no report, and no verdict either way.
        const QByteArray not_records[] = {"# Night\n\nAll good.\n",
                                          QByteArray("\x89PNG\r\n\x1a\n\0\0\0\rIHDR\xff\xfe", 18),
                                          "{\"report_version\":1}\n[1,2]\n"};
        for (const QByteArray &text : not_records) {
            const QString path = write_file(dir, QStringLiteral("night.txt"), text);
            for (const QStringList &options : {QStringList(), QStringList{"--fail-on", "crc"}}) {
                run = report(options + QStringList{path});
                QCOMPARE(run.exit_code, 10);
                QCOMPARE(run.output, QByteArray());
                QVERIFY2(run.errors.value(0).startsWith(
                             "velmar-ctl report: " + path +
                             ": not a record: no line of it is a JSON record line.") &&
                             run.errors.value(0).contains("`velmar-ctl watch`"),
                         qPrintable(run.errors.join('\n')));
            }
        }
        // Records that overlap are two units', or one given twice: refused.
        const QString other = write_file(dir, QStringLiteral("other.jsonl"), night_of(5));
        run = report({"--fail-on", "crc", good, other});
        QCOMPARE(run.exit_code, 10);
        QCOMPARE(run.output, QByteArray());
        QVERIFY2(run.errors.value(0).contains(other + ": overlaps " + good + " in time"),
                 qPrintable(run.errors.join('\n')));
        // A record without a status passes no check.
        const QString start_only =
            write_file(dir, QStringLiteral("start.jsonl"), start_line(at(0)).toUtf8() + '\n');
        run = report({"--fail-on", "crc", start_only});
        QCOMPARE(run.exit_code, 9);
        run = report({"--format", "pdf", good});
        QCOMPARE(run.exit_code, 2);
    }

    // "-" is standard input, read into the same timeline as the files.
    void standard_input_joins_the_files()
    {
        QTemporaryDir dir;
        const QString later = write_file(dir, QStringLiteral("later.jsonl"), night_of(60));
        const Run run = report({"--format", "json", later, "-"}, night_of());
        QCOMPARE(run.exit_code, 0);
        const QJsonObject summary = QJsonDocument::fromJson(run.output).object();
        QCOMPARE(summary["statuses"].toInt(), 20);
        QCOMPARE(summary["runs"].toArray().at(0)["record"].toString(), QStringLiteral("-"));
    }
};

QTEST_GUILESS_MAIN(Report_command_test)
#include "tst_report_command.moc"
