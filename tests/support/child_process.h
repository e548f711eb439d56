#ifndef VELMAR_TESTS_CHILD_PROCESS_H
#define VELMAR_TESTS_CHILD_PROCESS_H

#include <QtCore/QByteArray>
#include <QtCore/QProcess>
#include <QtCore/QRegularExpression>
#include <QtCore/QStringList>
#include <QtTest/QTest>

// Sends a signal to a child while it runs, and only then. A child that has
// exited has no process id: processId() is 0, and kill(0, ...) would signal
// this test's whole process group (ctest, and the script running ctest),
// which dies without naming any failed test. False, with *why saying what
// became of the child, when it does not run.
bool signal_child(QProcess &child, int signal_number, QString *why);

// Fails the test, saying what became of the child, unless it ran to take
// the signal.
#define SIGNAL_CHILD(child, signal_number)                                                         \
    do {                                                                                           \
        QString why_not_signalled;                                                                 \
        QVERIFY2(signal_child((child), (signal_number), &why_not_signalled),                       \
                 qPrintable(why_not_signalled));                                                   \
    } while (false)

// The complete lines of a text, a line still being written left out.
inline QStringList complete_lines(const QByteArray &text)
{
    QStringList lines = QString::fromUtf8(text).split(QLatin1Char('\n'));
    lines.removeLast();
    return lines;
}

// Record lines with every time written as TIME, to compare records made at
// different moments.
inline QStringList at_any_time(QStringList lines)
{
    static const QRegularExpression time(QStringLiteral("\\d{4}-\\d\\d-\\d\\dT[\\d:.]+Z"));
    return lines.replaceInStrings(time, QStringLiteral("TIME"));
}

// This process's environment for a program of the project with stores and a
// runtime directory of its own under home, and an offscreen display or none.
inline QProcessEnvironment program_environment(const QString &home, bool display = true)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        environment.remove(QString::fromLatin1(name));
    if (display)
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), home);
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), home);
    return environment;
}

// One of the project's programs run as a child. It is waited for with this
// process's event loop running, so that a simulated unit living on that loop
// keeps talking to it.
class Child_process : public QProcess
{
public:
    static constexpr int default_timeout_ms = 30000;

    explicit Child_process(const QString &program) { setProgram(program); }
    ~Child_process() override
    {
        kill();
        waitForFinished(kill_timeout_ms);
    }

    void start(const QStringList &arguments)
    {
        setArguments(arguments);
        QProcess::start();
    }
    // As start(), with every file it writes held to 4 KB, as on a full disk:
    // /bin/sh counts 512-byte blocks.
    void start_with_small_files(const QStringList &arguments)
    {
        const QString program = QProcess::program();
        setProgram(QStringLiteral("/bin/sh"));
        start(QStringList{QStringLiteral("-c"), QStringLiteral("ulimit -f 8 && exec \"$0\" \"$@\""),
                          program} +
              arguments);
    }
    // False when it is still running after timeout_ms.
    bool wait_for_exit(int timeout_ms = default_timeout_ms)
    {
        return QTest::qWaitFor([this] { return state() == NotRunning; }, timeout_ms);
    }
    // -1 unless it ran and exited normally.
    int exit_code() const
    {
        const bool exited =
            state() == NotRunning && exitStatus() == NormalExit && error() != FailedToStart;
        return exited ? exitCode() : -1;
    }

    // Standard output and standard error so far, as complete lines.
    QStringList output_lines() { return complete_lines(output += readAllStandardOutput()); }
    QStringList error_lines() { return complete_lines(errors += readAllStandardError()); }

private:
    static constexpr int kill_timeout_ms = 5000;

    QByteArray output;
    QByteArray errors;
};

#endif
