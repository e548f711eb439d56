// velmar-ctl as a script or a production line meets it: for a command line
// and a unit played byte by byte, the exit code, the one line on stderr
// that says why, what reached standard output and what reached the unit.
// Nothing that failed passes for success.
#include "console/exit_code.h"
#include "protocol/status_layout.h"
#include "support/child_process.h"
#include "support/played_unit.h"
#include "support/record_text.h"

#include <QtCore/QTemporaryDir>
#include <QtSerialPort/QSerialPort>
#include <QtTest/QtTest>

#include <csignal>
#include <tuple>

namespace {

const QString ctl = QStringLiteral(VELMAR_CTL_PATH);

struct Unit_play
{
    QString script{};        // how it answers control frames (Played_unit)
    Status_payload status{}; // what it reports
    int statuses = -1;       // how many it sends; -1: no end
    QByteArray waiting{};    // on the line before the program opens it
    bool held = false;       // by another program
};

struct Outcome
{
    int exit_code = 0;
    QString output{};  // a pattern for standard output, its lines joined by \n
    QString error{};   // a pattern for the one line on stderr; none when empty
    int frames = 0;    // control frames the unit got
    QByteArray sent{}; // the first of them in hex, when given
};

Status_payload reporting(uint8_t gain_1, uint8_t gain_2, int8_t threshold)
{
    Status_payload unit;
    std::tie(unit.gain[0], unit.gain[1], unit.threshold) =
        std::make_tuple(gain_1, gain_2, threshold);
    return unit;
}

// What set prints of the values it sends, a line each.
QString values(const char *gain_1, const char *gain_2, int threshold)
{
    return QStringLiteral("^gain1_db=%1\\ngain2_db=%2\\nthreshold_dbm=%3")
        .arg(QLatin1String(gain_1), QLatin1String(gain_2))
        .arg(threshold);
}

} // namespace

Q_DECLARE_METATYPE(Unit_play)
Q_DECLARE_METATYPE(Outcome)

class Ctl_command_line_test : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void ends_data()
    {
        QTest::addColumn<QString>("arguments"); // PORT is the unit's line
        QTest::addColumn<Unit_play>("unit");
        // Sent once the port is open and, from a talking unit, a line was printed.
        QTest::addColumn<int>("signal_number");
        // Standard output: "" read here, "head" -n 2, "file" of 4 KB, "full" /dev/full.
        QTest::addColumn<QString>("into");
        QTest::addColumn<Outcome>("outcome");
        const auto row = [](const QString &name, const QString &arguments, const Unit_play &unit,
                            const Outcome &outcome, int signal_number = 0, const char *into = "") {
            QTest::newRow(qPrintable(name))
                << arguments << unit << signal_number << QString(into) << outcome;
        };
        // Named by its line: whatever the unit, velmar-ctl says this and sends nothing.
        const auto line = [&row](const QString &arguments, int exit_code, const QString &said) {
            const bool refused = exit_code != exit_done;
            row("velmar-ctl " + arguments, arguments, {},
                {exit_code, refused ? QStringLiteral("^$") : said, refused ? said : QString()});
        };
        // Then the exit codes the command can give, each explained, in order, and no other.
        const auto codes = [](std::initializer_list<int> given) {
            QString pattern = QStringLiteral("[\\s\\S]*\\nExit codes:");
            for (const int code : given)
                pattern += QStringLiteral("\\n  %1  \\S.*").arg(code);
            return pattern + QStringLiteral("\\n\\nOptions:");
        };
        const QString version = QStringLiteral("^velmar-ctl \\d+\\.\\d+\\.\\d+$");
        line("--help", exit_done,
             "^Usage: velmar-ctl COMMAND " +
                 codes({0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 12, 130, 143}));
        const std::pair<QString, QString> commands[] = {
            {"ports", codes({0, 1, 2})},
            {"watch", codes({0, 1, 2, 3, 5})},
            {"set", codes({0, 1, 2, 3, 4, 5, 6, 7, 8, 130, 143})},
            {"report", codes({0, 1, 2, 9, 10, 12, 130, 143})}};
        for (const auto &command : commands) {
            line(command.first + " --help", exit_done,
                 "^Usage: velmar-ctl " + command.first + ' ' + command.second);
            line(command.first + " --version", exit_done, version);
        }
        line("set --port PORT --gain1 80", exit_bad_arguments, "--gain1");
        line("set --port PORT --gain1 50,75", exit_bad_arguments,
             "^velmar-ctl set: --gain1: '50,75' is not a number");
        line("set --port PORT --threshold +5", exit_bad_arguments, "--threshold");
        line("set --port PORT", exit_bad_arguments, "nothing to set");
        line("set --port PORT --defaults --baud fast", exit_bad_arguments, "--baud");
        line("set --port PORT --gain3 40", exit_bad_arguments, "gain3");
        line("set --gain1 47", exit_bad_arguments, "--port");
        line("watch --port PORT --format xml", exit_bad_arguments, "--format");
        line("watch --port PORT --count 0", exit_bad_arguments, "--count");
        line("reset --port PORT", exit_bad_arguments, "reset");
        line("", exit_bad_arguments, "no command");
        line("set --defaults --port /nonexistent/velmar-line", exit_port_unavailable,
             "/nonexistent/velmar-line");
        line("watch --port /dev/null", exit_port_unavailable,
             "open /dev/null: not a serial device$");
        line("watch --port rfc2217://ts1", exit_bad_arguments,
             "^velmar-ctl watch: --port: rfc2217://ts1: no port");
        // Known only after the open returned: a terminal server nobody runs.
        line("watch --port socket://127.0.0.1:1", exit_port_unavailable,
             "^velmar-ctl watch: cannot open socket://127.0.0.1:1: Connection refused$");
        line("set --defaults --port rfc2217://127.0.0.1:1", exit_port_unavailable,
             "^velmar-ctl set: cannot open rfc2217://127.0.0.1:1: Connection refused$");
        row("a port in use", "watch --port PORT", {{}, {}, 0, {}, true},
            {exit_port_unavailable, "^$", "in use by another program$"});

        // What set sends and prints, acknowledged, for a unit at these values.
        const auto taken = [&row](const char *name, const QString &arguments,
                                  const Status_payload &unit, const QString &printed,
                                  const char *sent) {
            row(name, "set --port PORT " + arguments, {"a", unit},
                {exit_done, printed + "\\nacknowledged$", {}, 1, sent});
        };
        // Not at the defaults already: a status sent before the frame got in
        // would report the values too, and "reported" would be as right.
        taken("set, defaults", "--defaults", reporting(40, 20, -10), values("47.00", "47.00", -28),
              "52 50 04 20 20 20 e4 d4 86");
        taken("set, a gain snapped", "--gain1 47.5", {}, values("47.75", "47.00", -28),
              "52 50 04 20 21 20 e4 14 d7");
        taken("set, a threshold with the unit's gains", "--threshold -20", reporting(32, 40, -28),
              values("47.00", "53.00", -20), "52 50 04 20 20 28 ec d2 80");
        taken("set, defaults and a gain", "--defaults --gain2 30", reporting(10, 32, -5),
              values("47.00", "29.75", -28), "52 50 04 20 20 09 e4 44 99");
        taken("set, a gain reported above the editors", "--threshold -10", reporting(70, 32, -28),
              values("70.25", "47.00", -10), "52 50 04 20 3f 20 f6 1f 37");
        // And what it makes of other answers.
        const char *set = "set --port PORT --gain1 50.75";
        const QString sent = values("50.75", "47.00", -28);
        row("set, acknowledgement lost, values reported", set, {"A"},
            {exit_done, sent + "\\nreported$", {}, 1});
        row("set, acknowledged, values kept", set, {"k"},
            {exit_unit_disagrees, sent + "$", "reports gain1_db=47.00 instead of 50.75$", 1});
        row("set, acknowledged, threshold kept", "set --port PORT --threshold -20", {"k"},
            {exit_unit_disagrees, values("47.00", "47.00", -20) + "$",
             "reports threshold_dbm=-28 instead of -20$", 1});
        row("set, taken the third time", set, {"iit"}, {exit_done, "reported$", {}, 3});
        row("set, never taken", set, {"iii"}, {exit_no_acknowledgement, sent, "no ackn", 3});
        Status_payload without_dante;
        without_dante.dante = 0;
        row("set, no Dante, gains unseen", "set --port PORT --gain1 50.75 --retries 0",
            {"t", without_dante}, {exit_no_acknowledgement, sent, "no ackn", 1});
        Status_payload acked, old;
        acked.links |= 1 << status::ack_bit;
        old.version = 0x11;
        row("set, a late acknowledgement waiting", "set --port PORT --gain1 50.75 --retries 0",
            {"i", {}, -1, Status_payload().frame() + acked.frame()},
            {exit_no_acknowledgement, sent, "no ackn", 1});
        row("set, a 2.0 status waiting, the unit now at 1.1", set,
            {{}, old, -1, Status_payload().frame()},
            {exit_protocol_too_old, "^$", "protocol 1.1", 0});
        row("set, port lost awaiting the acknowledgement", "set --port PORT --gain2 23", {"u"},
            {exit_port_lost, values("47.00", "23.00", -28) + "$", "lost", 1,
             "52 50 04 20 20 00 e4 14 9f"});
        const Unit_play silent{{}, {}, 0};
        row("set, silent unit", set, silent,
            {exit_no_status, "^$", "no status from the unit within 3 s$"});
        row("set, silent unit, Ctrl-C", set, silent,
            {exit_interrupted, "^$", "before anything was sent$"}, SIGINT);
        row("set, awaiting the acknowledgement, SIGTERM", set, {"i"},
            {exit_terminated, sent, "before the unit took the values$", 1}, SIGTERM);

        // How a watch ends. However short, it prints statuses and nothing else.
        const QString no_status = R"(^(?![\s\S]*"event":"status"))"; // link events may come
        row("watch, half a second", "watch --format text --port PORT --duration 0.5", {},
            {exit_done,
             R"(^\S+Z start .*(\n\S+Z status version=2\.0 .*)*\n\S+Z end reason=done$)",
             {}});
        // Below a millisecond still ends. The unit is silent: a talking one
        // may get a status in before so short a time is up, and whether it
        // does is the scheduler's choice.
        row("watch, shorter than a millisecond",
            "watch --format text --port PORT --duration 0.0001", silent,
            {exit_no_status, R"(^(\S+Z start .*\n\S+Z end reason=done)?$)", "no status"});
        Status_payload unlocked;
        unlocked.flags = 0;
        row("watch, old statuses waiting", "watch --port PORT --format text --count 1",
            {{}, {}, -1, unlocked.frame().repeated(20)},
            {exit_done, "^(\\S+ start .*\\n)?\\S+ status .* locks\\.1=true ", {}});
        const QString silence = "no status from the unit within 3 s$";
        row("watch --count, silent unit", "watch --port PORT --count 1", silent,
            {exit_no_status, no_status, silence});
        row("watch --count, the unit falls silent", "watch --port PORT --count 99", {{}, {}, 5},
            {exit_no_status, R"("event":"status"[\s\S]*"event":"end","reason":"no_status"\}$)",
             silence});
        row("watch --duration, silent unit", "watch --port PORT --duration 1", silent,
            {exit_no_status, no_status, "no status from the unit$"});
        // Its end line is looked at in tst_ctl: the output here is also what
        // the signal waits for.
        row("watch, Ctrl-C after a status", "watch --port PORT", {}, {exit_done, "status", {}},
            SIGINT);
        row("watch, silent unit, SIGTERM", "watch --port PORT", silent,
            {exit_no_status, no_status, "no status from the unit$"}, SIGTERM);

        // Output that cannot be written, the last record too.
        const QString full = QStringLiteral("cannot write the output: No space left on device$");
        row("--help > /dev/full", "--help", {}, {exit_output_failed, {}, full}, 0, "full");
        row("watch --count 1 > /dev/full", "watch --port PORT --count 1", {},
            {exit_output_failed, {}, full}, 0, "full");
        row("set > /dev/full", "set --port PORT --gain1 50.75", {"a"},
            {exit_output_failed, {}, full, 0}, 0, "full");
        row("watch | head -n 2", "watch --port PORT", {},
            {exit_output_failed, {}, "cannot write the output: Broken pipe$"}, 0, "head");
        row("watch > a full file", "watch --port PORT", {},
            {exit_output_failed, {}, "cannot write the output: File too large$"}, 0, "file");
    }

    void ends()
    {
        QFETCH(QString, arguments);
        QFETCH(Unit_play, unit);
        QFETCH(int, signal_number);
        QFETCH(QString, into);
        QFETCH(Outcome, outcome);
        Played_unit played(unit.status, unit.script);
        QVERIFY(played.open(unit.waiting));
        QSerialPort holder(played.path());
        QVERIFY(!unit.held || holder.open(QIODevice::ReadWrite));
        played.talk(unit.statuses);

        const QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("record"));
        Child_process run(ctl), head(QStringLiteral("head"));
        if (into == QLatin1String("file"))
            run.setStandardOutputFile(file);
        if (into == QLatin1String("full"))
            run.setStandardOutputFile(QStringLiteral("/dev/full"));
        if (into == QLatin1String("head")) {
            run.setStandardOutputProcess(&head);
            head.start({QStringLiteral("-n2")});
        }
        run.start_with_small_files(arguments.replace(QStringLiteral("PORT"), played.path())
                                       .split(' ', Qt::SkipEmptyParts));
        if (signal_number != 0) {
            // Only once the run has done all the row expects of it: the port
            // open, the frames at the unit, standard output as it is to end.
            // A signal any earlier (after the start line, before the first
            // status; after the values printed, before their frame left)
            // makes another ending, as it should, and the row fails at random.
            // (qWaitFor, not QTRY: the pseudo-terminal hands bytes over
            // later, so a talking unit's unread count is 0 only for moments,
            // and QTRY looks a second time.)
            const auto done = [&] {
                return played.frames().size() == outcome.frames &&
                       QRegularExpression(outcome.output)
                           .match(run.output_lines().join('\n'))
                           .hasMatch();
            };
            QVERIFY(QTest::qWaitFor([&] { return played.unread_by_tool() == 0; },
                                    Child_process::default_timeout_ms));
            QVERIFY(QTest::qWaitFor(done, Child_process::default_timeout_ms));
            SIGNAL_CHILD(run, signal_number);
        }
        QVERIFY(run.wait_for_exit());
        QCOMPARE(run.exit_code(), outcome.exit_code);
        const QString output = run.output_lines().join('\n');
        QVERIFY2(QRegularExpression(outcome.output).match(output).hasMatch(), qPrintable(output));
        const QStringList errors = run.error_lines();
        QCOMPARE(int(errors.size()), outcome.error.isEmpty() ? 0 : 1);
        QVERIFY2(QRegularExpression(outcome.error).match(errors.value(0)).hasMatch(),
                 qPrintable(errors.join('\n')));
        QCOMPARE(int(played.frames().size()), outcome.frames);
        if (!outcome.sent.isEmpty())
            QCOMPARE(played.frames().value(0), outcome.sent);
        QFile written(file);
        if (written.open(QIODevice::ReadOnly))
            QCOMPARE(first_broken_line(written.readAll()), QByteArray());
    }
};

QTEST_GUILESS_MAIN(Ctl_command_line_test)
#include "tst_ctl_command_line.moc"
