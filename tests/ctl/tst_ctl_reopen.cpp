#include "simulator/unit_simulator.h"

#include <QtCore/QProcess>
#include <QtCore/QTemporaryDir>
#include <QtTest/QtTest>

#include <algorithm>

namespace {

constexpr int line_timeout_ms = 5000;
// Long enough for the whole loss and return, however slow the machine.
constexpr int watch_seconds = 10;
constexpr int exit_port_lost = 4;
// The test plugs the line back itself.
constexpr int until_plugged_ms = 3600 * 1000;

QString ctl()
{
    return QStringLiteral(VELMAR_CTL_PATH);
}

bool is_event(const QByteArray &line, const char *event)
{
    return line.contains(QByteArray("\"event\":\"") + event + '"');
}

// The record holds these events in this order, others between them.
bool in_order(const QList<QByteArray> &lines, std::initializer_list<const char *> events)
{
    auto next = events.begin();
    for (const QByteArray &line : lines) {
        if (next != events.end() && is_event(line, *next))
            ++next;
    }
    return next == events.end();
}

int count_of(const QList<QByteArray> &lines, const char *event)
{
    return int(std::count_if(lines.begin(), lines.end(),
                             [event](const QByteArray &line) { return is_event(line, event); }));
}

} // namespace

class Tst_ctl_reopen : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { qRegisterMetaType<QProcess::ExitStatus>(); }

    void watch_records_the_loss_and_keeps_running()
    {
        const QTemporaryDir dir;
        const QString link = dir.filePath(QStringLiteral("unit"));
        Unit_simulator unit;
        unit.set_link_path(link);
        QVERIFY2(unit.start_on_pty(), qPrintable(unit.error_string()));
        QProcess watch;
        watch.start(ctl(), {"watch", "--port", link, "--duration", QString::number(watch_seconds)});
        QByteArray out;
        const auto record = [&] { return (out += watch.readAllStandardOutput()).split('\n'); };
        QTRY_VERIFY_WITH_TIMEOUT(in_order(record(), {"status"}), line_timeout_ms);

        QVERIFY(unit.unplug(until_plugged_ms));
        QTRY_VERIFY_WITH_TIMEOUT(in_order(record(), {"port_lost"}), line_timeout_ms);
        QVERIFY2(unit.start_on_pty(), qPrintable(unit.error_string()));
        const std::initializer_list<const char *> story{"status", "port_lost", "reopened",
                                                        "status"};
        QTRY_VERIFY_WITH_TIMEOUT(in_order(record(), story), line_timeout_ms);
        QCOMPARE(watch.state(), QProcess::Running);

        // The simulated unit lives on this event loop: no blocking wait.
        QSignalSpy finished(&watch, QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished));
        QVERIFY(finished.wait(watch_seconds * 1000 + line_timeout_ms));
        QCOMPARE(watch.exitStatus(), QProcess::NormalExit);
        QCOMPARE(watch.exitCode(), 0);
        const QList<QByteArray> lines = record();
        QVERIFY2(in_order(lines, story), out.constData());
        QCOMPARE(count_of(lines, "port_lost"), 1);
        QCOMPARE(count_of(lines, "reopened"), 1);
    }

    void set_exits_when_the_port_is_lost_awaiting_the_acknowledgement()
    {
        const QTemporaryDir dir;
        const QString link = dir.filePath(QStringLiteral("unit"));
        Unit_simulator unit;
        unit.settings().acknowledge = false;
        unit.set_link_path(link);
        QVERIFY2(unit.start_on_pty(), qPrintable(unit.error_string()));
        // Pulled as soon as the frame is in, well inside its 1000 ms.
        connect(
            &unit, &Unit_simulator::control_frame_received, &unit,
            [&unit] { unit.unplug(until_plugged_ms); }, Qt::QueuedConnection);
        QProcess set;
        QSignalSpy finished(&set, QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished));
        set.start(ctl(), {"set", "--port", link, "--gain1", "30"});
        QVERIFY(finished.wait(line_timeout_ms * 2));
        QCOMPARE(unit.control_frames_received(), 1);
        QCOMPARE(set.exitStatus(), QProcess::NormalExit);
        QCOMPARE(set.exitCode(), exit_port_lost);
        QVERIFY(set.readAllStandardOutput().contains("threshold_dbm="));
        QVERIFY(set.readAllStandardError().contains("lost"));
    }
};

QTEST_GUILESS_MAIN(Tst_ctl_reopen)
#include "tst_ctl_reopen.moc"
