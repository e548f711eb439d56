// velmar-ctl as a production line meets it: its exit code and its one line on
// stderr say what happened, and nothing that failed passes for success.
#include "console/exit_code.h"
#include "protocol/status_layout.h"
#include "simulator/pty_device.h"
#include "support/child_process.h"
#include "support/status_payload.h"

#include <QtCore/QJsonDocument>
#include <QtCore/QTemporaryDir>
#include <QtSerialPort/QSerialPort>
#include <QtTest/QtTest>

#include <csignal>
#include <tuple>

namespace {

constexpr int tick_ms = 20; // a status whenever the last one was read
constexpr int control_frame_size = 9;
constexpr uint8_t ack = 1 << status::ack_bit;

const QString ctl = QStringLiteral(VELMAR_CTL_PATH);

// The unit, played by hand. Its script answers control frames, a letter each:
// a takes the values and acknowledges, A the same in a frame whose CRC fails,
// k acknowledges and keeps its values, t takes them without a word, i ignores.
struct Unit_play
{
    Unit_play(const QString &script = {}, uint8_t version = 0x20, int statuses = -1,
              const QByteArray &waiting = {}, bool held = false, bool dante = true)
        : script(script), version(version), statuses(statuses), waiting(waiting), held(held),
          dante(dante)
    {
    }

    QString script;
    uint8_t version;
    int statuses;       // how many it sends; -1: no end
    QByteArray waiting; // on the line before the program opens it
    bool held;          // by another program
    bool dante;
};

struct Outcome
{
    int exit_code;
    QString output; // a pattern for standard output
    QString error;  // a pattern for the one line on stderr; none when empty
    int frames;     // control frames the unit got
};

} // namespace

Q_DECLARE_METATYPE(Unit_play)
Q_DECLARE_METATYPE(Outcome)

class Exit_codes_test : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void ends_data()
    {
        QTest::addColumn<QString>("arguments"); // PORT is the unit's line
        QTest::addColumn<Unit_play>("unit");
        // Sent once the port is open and, from a talking unit, a line was printed.
        QTest::addColumn<int>("signal_number");
        QTest::addColumn<QString>("into"); // stdout: "" read here, "head" -n 2, "file" of 4 KB
        QTest::addColumn<Outcome>("outcome");
        const auto row = [](const char *name, const char *arguments, const Unit_play &unit,
                            const Outcome &outcome, int signal_number = 0, const char *into = "") {
            QTest::newRow(name) << QString(arguments) << unit << signal_number << QString(into)
                                << outcome;
        };
        const QString sent = "^gain1_db=50.75\\ngain2_db=47.00\\nthreshold_dbm=-28";
        const QString no_status = R"(^(?![\s\S]*"event":"status"))"; // link events may come
        const QString silence = "no status from the unit within 3 s$";
        const char *set = "set --port PORT --gain1 50.75";
        const Unit_play silent{{}, 0x20, 0};
        row("set, acknowledgement lost, values reported", set, {"A"},
            {exit_done, sent + "\\nreported$", {}, 1});
        row("set, acknowledged, values kept", set, {"k"},
            {exit_unit_disagrees, sent + "$", "reports gain1_db=47.00 instead of 50.75$", 1});
        row("set, taken the third time", set, {"iit"}, {exit_done, "reported$", {}, 3});
        row("set, never taken", set, {"iii"}, {exit_no_acknowledgement, sent, "no ackn", 3});
        row("set, no Dante, gains unseen", set, {"ttt", 0x20, -1, {}, false, false},
            {exit_no_acknowledgement, sent, "no ackn", 3});
        row("set, silent unit, Ctrl-C", set, silent,
            {exit_interrupted, "^$", "before anything was sent$", 0}, SIGINT);
        row("set, awaiting the acknowledgement, SIGTERM", set, {"i"},
            {exit_terminated, sent, "before the unit took the values$", 1}, SIGTERM);
        Status_payload acked, unlocked;
        acked.links |= ack;
        unlocked.flags = 0;
        row("set, a late acknowledgement waiting", "set --port PORT --gain1 50.75 --retries 0",
            {"i", 0x20, -1, Status_payload().frame() + acked.frame()},
            {exit_no_acknowledgement, sent, "no ackn", 1});
        row("set, a 2.0 status waiting, the unit now at 1.1", set,
            {{}, 0x11, -1, Status_payload().frame()},
            {exit_protocol_too_old, "^$", "protocol 1.1", 0});
        row("watch, old statuses waiting", "watch --port PORT --format text --count 1",
            {{}, 0x20, -1, unlocked.frame().repeated(20)},
            {exit_done, "^(\\S+ start .*\\n)?\\S+ status .* locks\\.1=true ", {}, 0});
        row("watch --count, silent unit", "watch --port PORT --count 1", silent,
            {exit_no_status, no_status, silence, 0});
        row("watch --count, the unit falls silent", "watch --port PORT --count 99", {{}, 0x20, 5},
            {exit_no_status, "\"event\":\"status\"", silence, 0});
        row("watch --duration, silent unit", "watch --port PORT --duration 1", silent,
            {exit_no_status, no_status, "no status from the unit$", 0});
        row("watch, Ctrl-C after a status", "watch --port PORT", {}, {exit_done, "status", {}, 0},
            SIGINT);
        row("watch, silent unit, SIGTERM", "watch --port PORT", silent,
            {exit_no_status, no_status, "no status from the unit$", 0}, SIGTERM);
        row("watch | head -n 2", "watch --port PORT", {},
            {exit_output_failed, {}, "cannot write the output: Broken pipe$", 0}, 0, "head");
        row("watch > a full file", "watch --port PORT", {},
            {exit_output_failed, {}, "cannot write the output: File too large$", 0}, 0, "file");
        row("/dev/null", "watch --port /dev/null", silent,
            {exit_port_unavailable, "^$", "open /dev/null: not a serial device$", 0});
        row("a port in use", "watch --port PORT", {{}, 0x20, 0, {}, true},
            {exit_port_unavailable, "^$", "in use by another program$", 0});
        row("a decimal comma", "set --port PORT --gain1 50,75", silent,
            {exit_bad_arguments, "^$", "^velmar-ctl set: --gain1: '50,75' is not a number", 0});
    }

    void ends()
    {
        QFETCH(QString, arguments);
        QFETCH(Unit_play, unit);
        QFETCH(int, signal_number);
        QFETCH(QString, into);
        QFETCH(Outcome, outcome);
        Pty_device line; // a byte of noise first: gone once the program opened the port
        QVERIFY(line.open() && line.write_all('~' + unit.waiting));
        // Through the pseudo-terminal's own queue before the program starts.
        QTRY_COMPARE(line.unread_by_slave(), 1 + int(unit.waiting.size()));
        QSerialPort holder(line.slave_path());
        QVERIFY(!unit.held || holder.open(QIODevice::ReadWrite));
        Status_payload status;
        std::tie(status.version, status.dante) =
            std::make_tuple(unit.version, unit.dante ? 0x7F : 0);
        QByteArray received;
        int frames = 0;
        bool bad_crc = false;
        QTimer talk;
        connect(&talk, &QTimer::timeout, this, [&] {
            for (received += line.read_available(0); received.size() >= control_frame_size;
                 received.remove(0, control_frame_size)) {
                const QChar how = frames < unit.script.size() ? unit.script.at(frames) : QChar('i');
                ++frames;
                if (QStringLiteral("aAt").contains(how))
                    std::tie(status.gain[0], status.gain[1], status.threshold) = std::make_tuple(
                        uint8_t(received[4]), uint8_t(received[5]), int8_t(received[6]));
                status.links |= QStringLiteral("aAk").contains(how) ? ack : 0;
                bad_crc = how == QLatin1Char('A');
            }
            if (unit.statuses == 0 || line.unread_by_slave() > 0)
                return;
            line.write_all(bad_crc ? with_bad_crc(status.frame()) : status.frame());
            status.links &= ~ack;
            bad_crc = false;
            unit.statuses -= unit.statuses > 0 ? 1 : 0;
        });
        talk.start(tick_ms);

        const QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("record"));
        Child_process run(QStringLiteral("/bin/sh")), head(QStringLiteral("head"));
        if (into == QLatin1String("file"))
            run.setStandardOutputFile(file);
        if (into == QLatin1String("head")) {
            run.setStandardOutputProcess(&head);
            head.start({QStringLiteral("-n2")});
        }
        // A file of 4 KB at most, in the 512-byte blocks of Debian's /bin/sh.
        run.start(QStringList{"-c", "ulimit -f 8 && exec \"$0\" \"$@\"", ctl} +
                  arguments.replace(QStringLiteral("PORT"), line.slave_path()).split(' '));
        if (signal_number != 0) {
            QTRY_VERIFY(line.unread_by_slave() == 0);
            QTRY_VERIFY(unit.statuses == 0 || !run.output_lines().isEmpty());
            ::kill(pid_t(run.processId()), signal_number);
        }
        QVERIFY(run.wait_for_exit());
        QTest::qWait(tick_ms * 2); // for the last control frame to arrive
        QCOMPARE(run.exit_code(), outcome.exit_code);
        const QString output = run.output_lines().join('\n');
        QVERIFY2(QRegularExpression(outcome.output).match(output).hasMatch(), qPrintable(output));
        const QStringList errors = run.error_lines();
        QCOMPARE(int(errors.size()), outcome.error.isEmpty() ? 0 : 1);
        QVERIFY2(QRegularExpression(outcome.error).match(errors.value(0)).hasMatch(),
                 qPrintable(errors.join('\n')));
        QCOMPARE(frames, outcome.frames);
        QFile written(file);
        if (written.open(QIODevice::ReadOnly)) { // every line whole, the last one too
            QList<QByteArray> records = written.readAll().split('\n');
            QVERIFY(records.takeLast().isEmpty());
            for (const QByteArray &record : records)
                QVERIFY2(QJsonDocument::fromJson(record).isObject(), record.constData());
        }
    }
};

QTEST_GUILESS_MAIN(Exit_codes_test)
#include "tst_exit_codes.moc"
