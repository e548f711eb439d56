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
const qint64 noon =
    QDateTime::fromString(QStringLiteral("2026-12-06T12:00:00.000Z"), Qt::ISODateWithMs)
        .toMSecsSinceEpoch();

QDateTime at(int second)
{
    return QDateTime::fromMSecsSinceEpoch(noon + second * 1000LL, Qt::UTC);
}

// A record of ten seconds, one status a second, with what the night held
// in its middle: any of dip, fault, unlocked, silence, port_lost and crc.
QByteArray record_of(int first_second = 0, const QString &night = QString())
{
    const Json_record_format format;
    QStringList lines{start_line(at(first_second))};
    for (int second = 1; second <= 10; ++second) {
        S status = healthy_unit();
        const bool middle = second == 5;
        const auto held = [&](const char *what) { return middle && night.contains(what); };
        if (held("dip"))
            status.cages[S::sfp_1].channels[0].power_tenths = -305;
        status.rx_fault = held("fault");
        status.locks[2] = !held("unlocked");
        const QDateTime time = at(first_second + second);
        if (held("crc"))
            lines << format.event_line(time, Record_event::crc_mismatch, {});
        if (held("silence"))
            lines << format.event_fields_line(time, Record_event::silent,
                                              Event_fields::since(time.toMSecsSinceEpoch() - 900));
        if (held("port_lost"))
            lines << format.event_line(time, Record_event::port_lost, QStringLiteral("gone"))
                  << format.event_line(time.addMSecs(500), Record_event::reopened, {});
        lines << format.status_line(time.addMSecs(600), status);
    }
    return lines.join('\n').toUtf8() + '\n';
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
        row("a dip fails below-threshold", "dip", "below-threshold,crc", 9, "below-threshold");
        row("a dip not asked about passes", "dip", "fault", 0, "");
        row("everything, every check", "dip fault unlocked silence port_lost crc", every_check, 9,
            every_check);
    }

    void fail_on()
    {
        QFETCH(QString, night);
        QFETCH(QString, checks);
        QFETCH(int, exit_code);
        QFETCH(QString, failed);
        QTemporaryDir dir;
        const QString path = write_file(dir, QStringLiteral("night.jsonl"), record_of(0, night));
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
        const QByteArray night = record_of();
        const QList<QByteArray> lines = night.split('\n');
        const QByteArray dip_night = record_of(0, QStringLiteral("dip"));
        QTest::newRow("a truncated last line")
            << night + lines[3].left(40) << ":12: the last line is cut off" << 0;
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
            << night + record_of(5) << ":12: the clock steps back by 5.600 s" << 0;
    }

    void bad_input()
    {
        QFETCH(QByteArray, text);
        QFETCH(QString, told);
        QFETCH(int, exit_code);
        QTemporaryDir dir;
        const QString good = write_file(dir, QStringLiteral("good.jsonl"), record_of(3600));
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
        const QString good = write_file(dir, QStringLiteral("good.jsonl"), record_of());
        const QString missing = dir.filePath(QStringLiteral("missing.jsonl"));
        Run run = report({missing, good});
        QCOMPARE(run.exit_code, 10);
        QVERIFY(run.errors.value(0).contains(missing + ": cannot be read"));
        QVERIFY(run.output.contains("Statuses: 10"));
        // Nothing that is a record: no report, and no verdict either way.
        const QString readme =
            write_file(dir, QStringLiteral("README.md"), QByteArray("# Night\n\nAll good.\n"));
        for (const QStringList &arguments : {QStringList{readme}, {"--fail-on", "crc", readme}}) {
            run = report(arguments);
            QCOMPARE(run.exit_code, 10);
            QCOMPARE(run.output, QByteArray());
            QVERIFY2(run.errors.value(0).contains(readme + ": not a record") &&
                         run.errors.value(0).contains("`velmar-ctl watch`"),
                     qPrintable(run.errors.join('\n')));
        }
        // Records that overlap are two units', or one given twice: refused.
        const QString other = write_file(dir, QStringLiteral("other.jsonl"), record_of(5));
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
        run = report({"--fail-on", "crc,humidity", good});
        QCOMPARE(run.exit_code, 2);
        QVERIFY(run.errors.value(0).contains("humidity"));
        run = report({"--format", "pdf", good});
        QCOMPARE(run.exit_code, 2);
    }

    // "-" is standard input, read into the same timeline as the files.
    void standard_input_joins_the_files()
    {
        QTemporaryDir dir;
        const QString later = write_file(dir, QStringLiteral("later.jsonl"), record_of(60));
        const Run run = report({"--format", "json", later, "-"}, record_of());
        QCOMPARE(run.exit_code, 0);
        const QJsonObject summary = QJsonDocument::fromJson(run.output).object();
        QCOMPARE(summary["statuses"].toInt(), 20);
        QCOMPARE(summary["runs"].toArray().at(0)["record"].toString(), QStringLiteral("-"));
    }
};

QTEST_GUILESS_MAIN(Report_command_test)
#include "tst_report_command.moc"
