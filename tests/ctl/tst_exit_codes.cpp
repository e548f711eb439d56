// velmar-ctl as a production line meets it: its exit code and its one line on
// stderr say what happened, and nothing that failed passes for success.
#include "console/exit_code.h"
#include "protocol/status_layout.h"
#include "simulator/pty_device.h"
#include "support/child_process.h"
#include "support/process_descriptors.h"
#include "support/status_payload.h"

#include <QtCore/QJsonDocument>
#include <QtCore/QTemporaryDir>
#include <QtSerialPort/QSerialPort>
#include <QtTest/QtTest>

#include <csignal>

namespace {

constexpr int tick_ms = 20; // a status whenever the last one was read, 50 a second at most
constexpr int control_frame_size = 9;
constexpr int gain_0_byte = 4, gain_1_byte = 5, threshold_byte = 6;
constexpr int stale_statuses = 20;

const QString ctl = QStringLiteral(VELMAR_CTL_PATH);

// The unit, played by hand. Its script answers the control frames, a letter each:
//   a  takes the values and acknowledges    A  the same, the acknowledgement in a frame
//   k  acknowledges, keeps its own values      whose CRC fails
//   t  takes the values without a word      i  ignores the frame (also when the script ends)
struct Unit_play
{
    Status_payload status;
    int statuses = -1; // how many it sends; -1: no end
    QString script;
    QByteArray waiting; // on the line before the program opens it
    bool held = false;  // by another program
};

struct Outcome
{
    int exit_code = exit_done;
    QString output; // a pattern for standard output
    QString error;  // a pattern for the one line on stderr; none when done
    int frames = 0; // control frames the unit got
};

Unit_play unit_at(uint8_t version, const QString &script = QString())
{
    Unit_play play;
    play.status.version = version;
    play.script = script;
    return play;
}

Unit_play silent()
{
    Unit_play play;
    play.statuses = 0;
    return play;
}

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
        QTest::addColumn<int>("signal_number"); // sent once the port is open and, from a
                                                // talking unit, the first line printed
        QTest::addColumn<Outcome>("outcome");
        const auto row = [](const char *name, const char *arguments, const Unit_play &unit,
                            int signal_number, const Outcome &outcome) {
            QTest::newRow(name) << QString(arguments) << unit << signal_number << outcome;
        };
        const QString sent = QStringLiteral("^gain1_db=50.75\\ngain2_db=47.00\\nthreshold_dbm=-28");
        // Link events may be printed; no status record is.
        const QString no_status = QStringLiteral("^(?![\\s\\S]*\"event\":\"status\")");
        const Outcome reported{exit_done, sent + "\\nreported$", {}, 1};
        const char *set = "set --port PORT --gain1 50.75";
        row("set, acknowledgement lost, values reported", set, unit_at(0x20, "A"), 0, reported);
        row("set, acknowledged, values kept", set, unit_at(0x20, "k"), 0,
            {exit_unit_disagrees, sent + "$", "reports gain1_db=47.00 instead of 50.75$", 1});
        row("set, taken the third time", set, unit_at(0x20, "iit"), 0,
            {exit_done, "reported$", {}, 3});
        row("set, never taken", set, unit_at(0x20, "iii"), 0,
            {exit_no_acknowledgement, sent + "$", "no acknowledgement", 3});
        Unit_play no_dante = unit_at(0x20, "a");
        no_dante.status.dante = 0;
        row("set, no Dante, acknowledged", set, no_dante, 0, {exit_done, "acknowledged$", {}, 1});
        no_dante.script = QStringLiteral("t");
        row("set, no Dante, gains taken unseen", "set --port PORT --gain1 50.75 --retries 0",
            no_dante, 0, {exit_no_acknowledgement, sent + "$", "no acknowledgement", 1});
        row("set, silent unit, Ctrl-C", set, silent(), SIGINT,
            {exit_interrupted, "^$", "stopped before anything was sent", 0});
        row("set, awaiting the acknowledgement, SIGTERM", set, unit_at(0x20, "i"), SIGTERM,
            {exit_terminated, sent + "$", "stopped before the unit took the values", 1});

        // What the line held before the program opened it is not the unit's now.
        Unit_play late_ack = unit_at(0x20, "i");
        Status_payload acknowledging;
        acknowledging.links |= 1 << status::ack_bit;
        late_ack.waiting = Status_payload().frame() + acknowledging.frame();
        row("set, a late acknowledgement waiting", "set --port PORT --gain1 50.75 --retries 0",
            late_ack, 0, {exit_no_acknowledgement, sent + "$", "no acknowledgement", 1});
        Unit_play now_older = unit_at(0x11);
        now_older.waiting = Status_payload().frame();
        row("set, a 2.0 status waiting, the unit now at 1.1", set, now_older, 0,
            {exit_protocol_too_old, "^$", "protocol 1.1", 0});
        Unit_play burst = unit_at(0x20);
        Status_payload unlocked;
        unlocked.flags = 0;
        burst.waiting = unlocked.frame().repeated(stale_statuses);
        row("watch, old statuses waiting", "watch --port PORT --format text --count 1", burst, 0,
            {exit_done, "^\\S+ status .* locks\\.1=true ", {}, 0});

        row("watch --count, silent unit", "watch --port PORT --count 1", silent(), 0,
            {exit_no_status, no_status, "no status from the unit within 3 s$", 0});
        Unit_play falls_silent = unit_at(0x20);
        falls_silent.statuses = 1;
        row("watch --count, the unit falls silent", "watch --port PORT --count 2", falls_silent, 0,
            {exit_no_status, "\"event\":\"status\"", "no status from the unit within 3 s$", 0});
        row("watch --duration, silent unit", "watch --port PORT --duration 1", silent(), 0,
            {exit_no_status, no_status, "no status from the unit$", 0});
        row("watch, Ctrl-C after a status", "watch --port PORT", unit_at(0x20), SIGINT,
            {exit_done, "\"event\":\"status\"", {}, 0});
        row("watch, silent unit, SIGTERM", "watch --port PORT", silent(), SIGTERM,
            {exit_no_status, no_status, "no status from the unit$", 0});

        row("/dev/null", "watch --port /dev/null", silent(), 0,
            {exit_port_unavailable, "^$", "cannot open /dev/null: not a serial device$", 0});
        Unit_play held = silent();
        held.held = true;
        row("a port in use", "watch --port PORT", held, 0,
            {exit_port_unavailable, "^$", "cannot open \\S+: in use by another program$", 0});
        row("a decimal comma", "set --port PORT --gain1 50,75", silent(), 0,
            {exit_bad_arguments, "^$", "^velmar-ctl set: --gain1: '50,75' is not a number", 0});
    }

    void ends()
    {
        QFETCH(QString, arguments);
        QFETCH(Unit_play, unit);
        QFETCH(int, signal_number);
        QFETCH(Outcome, outcome);
        Pty_device line;
        QVERIFY2(line.open(), qPrintable(line.error_string()));
        QVERIFY(line.write_all(unit.waiting));
        QSerialPort holder(line.slave_path());
        QVERIFY(!unit.held || holder.open(QIODevice::ReadWrite));
        QByteArray received;
        int frames = 0;
        bool bad_crc_next = false;
        const auto answer = [&](const QByteArray &frame) {
            const QChar how = frames < unit.script.size() ? unit.script.at(frames) : QChar('i');
            ++frames;
            if (QStringLiteral("aAt").contains(how)) {
                unit.status.gain[0] = uint8_t(frame[gain_0_byte]);
                unit.status.gain[1] = uint8_t(frame[gain_1_byte]);
                unit.status.threshold = int8_t(frame[threshold_byte]);
            }
            if (QStringLiteral("aAk").contains(how))
                unit.status.links |= 1 << status::ack_bit;
            bad_crc_next = how == QLatin1Char('A');
        };
        QTimer talk;
        connect(&talk, &QTimer::timeout, this, [&] {
            for (received += line.read_available(0); received.size() >= control_frame_size;
                 received.remove(0, control_frame_size))
                answer(received.left(control_frame_size));
            if (unit.statuses == 0 || line.unread_by_slave() > 0)
                return;
            const QByteArray frame = unit.status.frame();
            line.write_all(bad_crc_next ? with_bad_crc(frame) : frame);
            unit.status.links &= ~(1 << status::ack_bit);
            bad_crc_next = false;
            unit.statuses -= unit.statuses > 0 ? 1 : 0;
        });
        talk.start(tick_ms);

        Child_process run(ctl);
        run.start(arguments.replace(QStringLiteral("PORT"), line.slave_path()).split(' '));
        if (signal_number != 0) {
            QTRY_VERIFY(process_holds_open(run.processId(), ctl, line.slave_path()));
            if (unit.statuses != 0)
                QTRY_VERIFY(!run.output_lines().isEmpty());
            ::kill(pid_t(run.processId()), signal_number);
        }
        QVERIFY(run.wait_for_exit());
        QTest::qWait(tick_ms * 2); // for the last control frame to be answered
        QCOMPARE(run.exit_code(), outcome.exit_code);
        const QString output = run.output_lines().join('\n');
        QVERIFY2(QRegularExpression(outcome.output).match(output).hasMatch(), qPrintable(output));
        const QStringList errors = run.error_lines();
        QCOMPARE(errors.size(), outcome.error.isEmpty() ? 0 : 1);
        QVERIFY2(QRegularExpression(outcome.error).match(errors.join('\n')).hasMatch(),
                 qPrintable(errors.join('\n')));
        QCOMPARE(frames, outcome.frames);
    }

    // Ended by what it writes into, and never by SIGPIPE or SIGXFSZ; a file ends
    // with its last whole line.
    void output_that_cannot_be_written_data()
    {
        QTest::addColumn<bool>("into_file"); // of 4 KB at most; else a pipe into head -n 2
        QTest::addColumn<QString>("reason");
        QTest::newRow("head -n 2") << false << "Broken pipe";
        QTest::newRow("file of 4 KB at most") << true << "File too large";
    }

    void output_that_cannot_be_written()
    {
        QFETCH(bool, into_file);
        QFETCH(QString, reason);
        Pty_device line;
        QVERIFY(line.open());
        QTimer talk;
        connect(&talk, &QTimer::timeout, this, [&line] {
            if (line.unread_by_slave() == 0)
                line.write_all(Status_payload().frame());
        });
        talk.start(tick_ms);
        const QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("record"));
        Child_process run(QStringLiteral("/bin/sh")), head(QStringLiteral("head"));
        const QStringList watch{
            "-c", "ulimit -f 8 && exec \"$0\" \"$@\"", ctl, "watch", "--port", line.slave_path()};
        if (into_file) {
            run.setStandardOutputFile(file);
        } else {
            run.setStandardOutputProcess(&head);
            head.start({QStringLiteral("-n"), QStringLiteral("2")});
        }
        run.start(watch);
        QVERIFY(run.wait_for_exit());
        QCOMPARE(run.exit_code(), exit_output_failed);
        QCOMPARE(run.error_lines(),
                 QStringList{"velmar-ctl watch: cannot write the output: " + reason});
        if (!into_file)
            return;
        QFile written(file);
        QVERIFY(written.open(QIODevice::ReadOnly));
        const QByteArray text = written.readAll();
        QVERIFY(text.endsWith('\n'));
        for (const QByteArray &record : text.trimmed().split('\n'))
            QVERIFY2(QJsonDocument::fromJson(record).isObject(), record.constData());
    }
};

QTEST_GUILESS_MAIN(Exit_codes_test)
#include "tst_exit_codes.moc"
