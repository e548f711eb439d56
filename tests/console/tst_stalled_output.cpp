// Ctrl-C and SIGTERM end every program within a second, with the exit code
// it documents, however stuck its output is: a pipe whose reader stopped
// reading, a device that is full, a file at its size limit; a full output
// ends the report by itself. What reached a file or a pipe stays whole lines.
// And nothing from a record, a device or a path reaches a terminal raw: the
// escaping itself over generated text, and each program's words on stdout
// and stderr where such text shows.
#include "console/terminal_text.h"
#include "support/child_process.h"
#include "support/played_unit.h"
#include "support/property.h"
#include "support/record_text.h"
#include "support/ser2net_server.h"

#include <QtTest/QtTest>

#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr int signal_to_exit_ms = 5000; // the sanitizers' checks at exit take their time
#else
constexpr int signal_to_exit_ms = 1000;
#endif
constexpr qint64 file_limit = 8 * 512; // Child_process::start_with_small_files

// A FIFO whose reader never reads: the test fills it until it takes nothing,
// then reads back `room` pages, which is all the program can write before
// it stalls. Each write of the test is whole lines, less than a page, so
// that no later write shares one of its pages.
struct Stalled_pipe
{
    ~Stalled_pipe()
    {
        ::close(read_end);
        ::close(write_end);
    }

    bool open(const QString &path, int room)
    {
        const QByteArray name = QFile::encodeName(path);
        const QByteArray page = QByteArrayLiteral("{}\n").repeated(1365);
        if (::mkfifo(name.constData(), 0600) != 0)
            return false;
        read_end = ::open(name.constData(), O_RDONLY | O_NONBLOCK);
        write_end = ::open(name.constData(), O_WRONLY | O_NONBLOCK);
        while (::write(write_end, page.constData(), std::size_t(page.size())) == page.size())
            continue;
        QByteArray back(page.size(), '\0');
        for (int i = 0; i < room; ++i) {
            if (::read(read_end, back.data(), std::size_t(back.size())) != back.size())
                return false;
        }
        return read_end >= 0 && write_end >= 0;
    }

    QByteArray drain() const
    {
        QByteArray all;
        char buffer[4096];
        for (ssize_t got; (got = ::read(read_end, buffer, sizeof buffer)) > 0;)
            all.append(buffer, int(got));
        return all;
    }

    int read_end = -1;
    int write_end = -1;
};

// Whether the program runs in that process and has a handler for the
// signal: before it has, the signal's default ends it, which is not what is
// tested. (Forked but not yet running the program, the process has this
// test's handlers.)
bool catches(qint64 pid, const QString &program, int signal_number)
{
    const QString proc = QStringLiteral("/proc/%1/").arg(pid);
    if (QFileInfo(proc + QStringLiteral("exe")).canonicalFilePath() !=
        QFileInfo(program).canonicalFilePath())
        return false;
    QFile status(proc + QStringLiteral("status"));
    if (!status.open(QIODevice::ReadOnly))
        return false;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("SigCgt:"))
            return (line.mid(7).trimmed().toULongLong(nullptr, 16) >> (signal_number - 1)) & 1;
    }
    return false;
}

// Whether the process waits in a poll() of one descriptor: its wait for
// room in a stalled output. Its event loop polls several, and a process
// merely idle there would take the signal as an ordinary one.
bool waits_for_room(qint64 pid)
{
    QFile call(QStringLiteral("/proc/%1/syscall").arg(pid));
    const QList<QByteArray> fields =
        call.open(QIODevice::ReadOnly) ? call.readAll().split(' ') : QList<QByteArray>();
#ifdef SYS_poll
    const QByteArray poll_call = QByteArray::number(SYS_poll);
#else
    const QByteArray poll_call = QByteArray::number(SYS_ppoll);
#endif
    return fields.size() > 2 && fields[0] == poll_call && fields[2] == "0x1";
}

QString record_file(const QTemporaryDir &dir)
{
    QFile file(dir.filePath(QStringLiteral("night.jsonl")));
    const QByteArray text = scripted_record(QStringLiteral("start@0 status@1"));
    return file.open(QIODevice::WriteOnly) && file.write(text) == text.size() ? file.fileName()
                                                                              : QString();
}

// What a terminal acts on: a C0 or C1 control, or DEL; or a code unit that
// no encoding can carry (a lone surrogate does not survive UTF-8).
bool acts_on_a_terminal(const QString &text)
{
    static const QRegularExpression controls(QStringLiteral("[\\x{0}-\\x{1f}\\x{7f}-\\x{9f}]"));
    return QString::fromUtf8(text.toUtf8()) != text || text.contains(controls);
}

// Text as records and device names hold it, in pieces that must be kept
// (printable ASCII but the backslash, so that what escaping adds can be
// told apart; other scripts; emoji, two code units each) or escaped (C0,
// DEL, C1, a lone high surrogate).
void check_escaping_of_any_text()
{
    const auto pieces = *rc::gen::container<std::vector<std::pair<bool, char32_t>>>(
        rc::gen::weightedOneOf<std::pair<bool, char32_t>>({
            {8, rc::gen::pair(rc::gen::just(true), rc::gen::inRange<char32_t>(0x20, 0x5c))},
            {2, rc::gen::pair(rc::gen::just(true), rc::gen::inRange<char32_t>(0x5d, 0x7f))},
            {1, rc::gen::pair(rc::gen::just(true), rc::gen::inRange<char32_t>(0xa0, 0xd800))},
            {1, rc::gen::pair(rc::gen::just(true), rc::gen::inRange<char32_t>(0x1f300, 0x1f650))},
            {2, rc::gen::pair(rc::gen::just(false), rc::gen::inRange<char32_t>(0, 0x20))},
            {1, rc::gen::pair(rc::gen::just(false), rc::gen::inRange<char32_t>(0x7f, 0xa0))},
            {1, rc::gen::pair(rc::gen::just(false), rc::gen::inRange<char32_t>(0xd800, 0xdc00))},
        }));
    QString text, kept;
    for (const auto &piece : pieces) {
        const QString unit = piece.second > 0xffff ? QString::fromUcs4(&piece.second, 1)
                                                   : QString(QChar(char16_t(piece.second)));
        text += unit;
        kept += piece.first ? unit : QString();
    }
    const QString shown = Terminal_text::escaped(text);
    RC_ASSERT(!acts_on_a_terminal(shown));
    RC_ASSERT(shown == text || kept != text);
    RC_ASSERT(QString(shown).remove(
                  QRegularExpression(QStringLiteral(R"(\\x[0-9a-f]{2}|\\u[0-9a-f]{4})"))) == kept);
}

// Records and a file whose names, fields or events a terminal would act on.
bool write_hostile_files(const QTemporaryDir &dir)
{
    const auto write = [&dir](const QString &name, const QString &text) {
        QFile file(dir.filePath(name));
        return file.open(QIODevice::WriteOnly) && file.write(text.toUtf8()) >= 0;
    };
    const QString record = QString::fromUtf8(scripted_record(QStringLiteral("start@0 status@1")));
    const QString escapes = QStringLiteral(R"(\u001b]0;PWNED\u0007\u001b[2J)");
    const QString event =
        QStringLiteral(R"({"time":"2026-12-06T12:00:00.500Z","event":"%1"})").arg(escapes);
    return write(QStringLiteral("event.jsonl"),
                 record.section('\n', 0, 0) + '\n' + event + '\n' + record.section('\n', 1)) &&
           write(QStringLiteral("port.jsonl"),
                 QString(record).replace(QStringLiteral("/dev/ttyUSB0"), escapes)) &&
           write(QStringLiteral("a\nb"), QString());
}

const QString ctl = QStringLiteral(VELMAR_CTL_PATH);

} // namespace

class Stalled_output_test : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void ends_as_documented_data()
    {
        QTest::addColumn<QString>("program");
        // PORT: the unit's line; RECORD: a record; FIFO: the stalled pipe; LISTEN: a free address.
        QTest::addColumn<QString>("arguments");
        // stdout, stderr, or "named": the program opens the target by the name in its arguments.
        QTest::addColumn<QString>("stream");
        // "stalled N": a pipe with N pages of room; "full": /dev/full; "small": a file of 4 KB at
        // most.
        QTest::addColumn<QString>("target");
        QTest::addColumn<int>("signal_number"); // 0: none, it ends by itself
        QTest::addColumn<int>("exit_code");
        QTest::addColumn<QString>("error"); // a pattern for standard error, unless it is the target
        QTest::addColumn<bool>("record");   // what the target got are record lines, to be whole
        const QString window = QStringLiteral(VELMAR_WINDOW_PATH);
        const auto row = [](const char *name, const QString &program, const QString &arguments,
                            const char *stream, const char *target, int signal_number,
                            int exit_code, const char *error = "^$", bool record = false) {
            QTest::newRow(name) << program << arguments << stream << target << signal_number
                                << exit_code << error << record;
        };
        for (const int signal_number : {SIGTERM, SIGINT})
            row(signal_number == SIGINT ? "watch, stalled pipe, Ctrl-C"
                                        : "watch, stalled pipe, SIGTERM",
                ctl, "watch --port PORT", "stdout", "stalled 4", signal_number, 0, "^$", true);
        row("set, stalled pipe, SIGTERM", ctl, "set --port PORT --gain1 50.75", "stdout",
            "stalled 0", SIGTERM, 143, "set: stopped before anything was sent$");
        row("report, stalled pipe, SIGTERM", ctl, "report --format html RECORD", "stdout",
            "stalled 1", SIGTERM, 143, "stopped before the report was written whole$");
        row("report -o FIFO, stalled, Ctrl-C", ctl, "report --format html -o FIFO RECORD", "named",
            "stalled 1", SIGINT, 130, "stopped before the report was written whole$");
        // A full output ends these by itself, whole or not at all.
        row("report > /dev/full", ctl, "report RECORD", "stdout", "full", 0, 1,
            "cannot write the report: No space left on device$");
        row("report -o /dev/full", ctl, "report -o /dev/full RECORD", "named", "full", 0, 1,
            "cannot write /dev/full: No space left on device$");
        row("report > a full file", ctl, "report --format html RECORD", "stdout", "small", 0, 1,
            "cannot write the report: File too large$");
        row("window --record FIFO, stalled, SIGTERM", window, "--port PORT --record FIFO", "named",
            "stalled 0", SIGTERM, 0, "recording to \\S+ stopped: Interrupted system call$", true);
#ifdef VELMAR_EXPORTER_PATH
        const QString exporter = QStringLiteral(VELMAR_EXPORTER_PATH);
        QString many_ports = "--listen LISTEN";
        for (int i = 0; i < 40; ++i)
            many_ports +=
                QStringLiteral(" --port /nonexistent/%1").arg(i, 40, 10, QLatin1Char('0'));
        row("exporter, stalled log, SIGTERM", exporter, "--listen LISTEN --port PORT", "stderr",
            "stalled 0", SIGTERM, 0);
        row("exporter, log on /dev/full, SIGTERM", exporter, many_ports, "stderr", "full", SIGTERM,
            0);
        row("exporter, log at its size limit, Ctrl-C", exporter, many_ports, "stderr", "small",
            SIGINT, 0);
#endif
    }

    void ends_as_documented()
    {
        QFETCH(QString, program);
        QFETCH(QString, arguments);
        QFETCH(QString, stream);
        QFETCH(QString, target);
        QFETCH(int, signal_number);
        QFETCH(int, exit_code);
        QFETCH(QString, error);
        QFETCH(bool, record);
        const QTemporaryDir dir;
        Played_unit unit;
        QVERIFY(unit.open());
        unit.talk();
        Stalled_pipe pipe;
        const bool stalled = target.startsWith(QLatin1String("stalled"));
        const QString fifo = dir.filePath(QStringLiteral("fifo"));
        QVERIFY(!stalled || pipe.open(fifo, target.section(' ', 1).toInt()));
        const QString file = target == QLatin1String("full") ? QStringLiteral("/dev/full")
                             : stalled                       ? fifo
                                                             : dir.filePath(QStringLiteral("log"));
        Child_process run(program);
        run.setProcessEnvironment(program_environment(dir.path())); // the window's settings
        if (stream == QLatin1String("stdout"))
            run.setStandardOutputFile(file);
        if (stream == QLatin1String("stderr"))
            run.setStandardErrorFile(file);
        const QStringList words =
            arguments.replace(QStringLiteral("PORT"), unit.path())
                .replace(QStringLiteral("RECORD"), record_file(dir))
                .replace(QStringLiteral("FIFO"), fifo)
                .replace(QStringLiteral("LISTEN"),
                         QStringLiteral("127.0.0.1:%1").arg(unused_loopback_port()))
                .split(' ');
        if (target == QLatin1String("small"))
            run.start_with_small_files(words);
        else
            run.start(words);

        if (signal_number == 0) {
            QVERIFY(run.wait_for_exit());
        } else {
            // Signalled once it has a handler, and the output has stopped it.
            const auto stopped_by_its_output = [&] {
                return catches(run.processId(), program, signal_number) &&
                       (!stalled || waits_for_room(run.processId())) &&
                       (target != QLatin1String("small") ||
                        QFileInfo(file).size() > file_limit - 512);
            };
            QVERIFY(QTest::qWaitFor(stopped_by_its_output, Child_process::default_timeout_ms));
            QElapsedTimer clock;
            clock.start();
            SIGNAL_CHILD(run, signal_number);
            QVERIFY(run.waitForFinished(signal_to_exit_ms));
            qInfo("ended %lld ms after the signal", clock.elapsed());
        }
        QCOMPARE(run.exit_code(), exit_code);
        if (stream != QLatin1String("stderr")) {
            const QString errors = run.error_lines().join('\n');
            const QRegularExpression said(error, QRegularExpression::MultilineOption);
            QVERIFY2(said.match(errors).hasMatch(), qPrintable(errors));
        }
        if (record)
            QCOMPARE(first_broken_line(pipe.drain()), QByteArray());
        if (target == QLatin1String("small")) {
            QFile written(file);
            QVERIFY(written.open(QIODevice::ReadOnly));
            const QByteArray text = written.readAll();
            QVERIFY2((text.isEmpty() || text.endsWith('\n')) && text.size() <= file_limit,
                     text.right(200).constData());
        }
    }

    // Whatever the text: nothing left to act on a terminal, text with nothing
    // to escape left alone, and every character that is not escaped kept,
    // in its order.
    void escaping_holds_for_any_text()
    {
        QVERIFY(holds("any text comes out printable and reads back", &check_escaping_of_any_text,
                      property_seed, 300));
    }

    void programs_escape_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QStringList>("arguments"); // DIR: a folder of this test's
        QTest::addColumn<int>("exit_code");
        QTest::addColumn<QString>("shown"); // in stdout or stderr, as shown
        const QString escapes = QStringLiteral("\x1b]0;PWNED\x07\x1b[2J");
        const QString shown = QStringLiteral("\\x1b]0;PWNED\\x07\\x1b[2J");
        QTest::newRow("report: an event's name")
            << ctl << QStringList{"report", "DIR/event.jsonl"} << 0 << shown;
        QTest::newRow("report: a port's name")
            << ctl << QStringList{"report", "DIR/port.jsonl"} << 0 << shown;
        QTest::newRow("report: a file's name")
            << ctl << QStringList{"report", "DIR/" + escapes} << 10 << shown;
        QTest::newRow("window: a record's path")
            << QStringLiteral(VELMAR_WINDOW_PATH) << QStringList{"--record", "DIR/no/" + escapes}
            << 1 << shown;
#ifdef VELMAR_EXPORTER_PATH
        // It says what the pattern matched, then cannot listen on an address
        // that is not this machine's, and ends.
        QTest::newRow("exporter: a path with a line feed")
            << QStringLiteral(VELMAR_EXPORTER_PATH)
            << QStringList{"--listen", "192.0.2.1:9367", "--port", "DIR/a*"} << 11
            << "DIR/a\\x0ab matches";
#endif
    }

    void programs_escape()
    {
        QFETCH(QString, program);
        QFETCH(QStringList, arguments);
        QFETCH(int, exit_code);
        QFETCH(QString, shown);
        const QTemporaryDir dir;
        QVERIFY(write_hostile_files(dir));
        Child_process child(program);
        child.start(arguments.replaceInStrings(QStringLiteral("DIR"), dir.path()));
        QVERIFY(child.wait_for_exit());
        QCOMPARE(child.exit_code(), exit_code);
        const QString everything =
            child.output_lines().join('\n') + '\n' + child.error_lines().join('\n');
        QVERIFY2(everything.contains(shown.replace(QStringLiteral("DIR"), dir.path())),
                 qPrintable(everything));
        QVERIFY2(!acts_on_a_terminal(QString(everything).remove('\n')), qPrintable(everything));
    }
};

QTEST_GUILESS_MAIN(Stalled_output_test)
#include "tst_stalled_output.moc"
