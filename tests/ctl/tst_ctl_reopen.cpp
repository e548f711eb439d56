#include "simulator/unit_simulator.h"
#include "support/child_process.h"

#include <QtCore/QTemporaryDir>
#include <QtTest/QtTest>

namespace {

constexpr int line_timeout_ms = 10000;
// The test plugs the line back itself.
constexpr int until_plugged_ms = 3600 * 1000;

// Whether the record tells these events in this order, others between them.
bool tells(const QStringList &record, const QStringList &story)
{
    int told = 0;
    for (const QString &line : record)
        told += told < story.size() && line.contains("\"event\":\"" + story[told] + '"');
    return told == story.size();
}

} // namespace

// velmar-ctl watch on a line that is lost and comes back, as an adapter on a
// /dev/serial/by-id link is pulled and plugged in again: it says so in its
// record and keeps watching. Losing the port awaiting an acknowledgement ends
// velmar-ctl set (tst_ctl).
class Tst_ctl_reopen : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void watch_records_the_loss_and_keeps_running()
    {
        const QTemporaryDir dir;
        const QString link = dir.filePath(QStringLiteral("unit"));
        Unit_simulator unit;
        unit.set_link_path(link);
        QVERIFY2(unit.start_on_pty(), qPrintable(unit.error_string()));
        Child_process watch(QStringLiteral(VELMAR_CTL_PATH));
        watch.start({"watch", "--port", link});
        QTRY_VERIFY_WITH_TIMEOUT(tells(watch.output_lines(), {"status"}), line_timeout_ms);
        QVERIFY(unit.unplug(until_plugged_ms));
        QTRY_VERIFY_WITH_TIMEOUT(tells(watch.output_lines(), {"status", "port_lost"}),
                                 line_timeout_ms);
        QVERIFY2(unit.start_on_pty(), qPrintable(unit.error_string()));
        const QStringList story{"status", "port_lost", "reopened", "status"};
        QTRY_VERIFY_WITH_TIMEOUT(tells(watch.output_lines(), story), line_timeout_ms);
        QCOMPARE(watch.state(), QProcess::Running);
        watch.terminate(); // Ctrl-C, for a watch without end
        QVERIFY(watch.wait_for_exit());
        QCOMPARE(watch.exit_code(), 0);
        const QStringList record = watch.output_lines();
        QCOMPARE(record.filter("\"event\":\"port_lost\"").size(), 1);
        QCOMPARE(record.filter("\"event\":\"reopened\"").size(), 1);
    }
};

QTEST_GUILESS_MAIN(Tst_ctl_reopen)
#include "tst_ctl_reopen.moc"
