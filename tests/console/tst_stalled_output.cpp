// Ctrl-C and SIGTERM end every program within a second, with the exit code
// it documents, however stuck its output is: a pipe whose reader stopped
// reading, a device that is full, a file at its size limit; a full output
// ends the report by itself. What reached a file or a pipe stays whole lines.
#include "record/json_record_format.h"
#include "simulator/healthy_unit.h"
#include "support/child_process.h"
#include "support/played_unit.h"
#include "support/record_text.h"

#include <QtCore/QElapsedTimer>
#include <QtCore/QTemporaryDir>
#include <QtNetwork/QTcpServer>
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

quint16 free_port()
{
    QTcpServer server;
    return server.listen(QHostAddress::LocalHost) ? server.serverPort() : 0;
}

QString record_file(const QTemporaryDir &dir)
{
    const QDateTime noon = QDateTime(QDate(2026, 12, 6), QTime(12, 0), Qt::UTC);
    QFile file(dir.filePath(QStringLiteral("night.jsonl")));
    const QByteArray text =
        (start_line(noon) + '\n' +
         Json_record_format().status_line(noon.addSecs(1), healthy_unit()) + '\n')
            .toUtf8();
    return file.open(QIODevice::WriteOnly) && file.write(text) == text.size() ? file.fileName()
                                                                              : QString();
}

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
        const QString ctl = QStringLiteral(VELMAR_CTL_PATH);
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
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), dir.path()); // the window's settings
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        run.setProcessEnvironment(environment);
        if (stream == QLatin1String("stdout"))
            run.setStandardOutputFile(file);
        if (stream == QLatin1String("stderr"))
            run.setStandardErrorFile(file);
        const QStringList words =
            arguments.replace(QStringLiteral("PORT"), unit.path())
                .replace(QStringLiteral("RECORD"), record_file(dir))
                .replace(QStringLiteral("FIFO"), fifo)
                .replace(QStringLiteral("LISTEN"), QStringLiteral("127.0.0.1:%1").arg(free_port()))
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
};

QTEST_GUILESS_MAIN(Stalled_output_test)
#include "tst_stalled_output.moc"
