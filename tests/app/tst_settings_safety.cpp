#include "support/child_process.h"

#include <QtCore/QDir>
#include <QtCore/QPoint>
#include <QtCore/QProcess>
#include <QtCore/QRandomGenerator>
#include <QtCore/QSettings>
#include <QtCore/QTemporaryDir>
#include <QtTest/QtTest>

#include <csignal>

namespace {

constexpr int kills = 200;
constexpr int longest_delay_ms = 40; // after the saver says it is saving
constexpr int process_timeout_ms = 10000;
constexpr int runs_apart = 1000000; // the first value of each run
const QString file_name = QStringLiteral("velmar_serial_port.conf");

// What a settings file holds: "" when nothing was ever saved, "n" when all
// three values are one save's n, otherwise what is wrong.
QString saved_state(const QString &path)
{
    QSettings file(path, QSettings::IniFormat);
    if (file.status() != QSettings::NoError)
        return QStringLiteral("unreadable");
    if (file.allKeys().isEmpty())
        return QString();
    const int port = file.value(QStringLiteral("SerialPort/SerialPort"), -1).toInt();
    const int baud = file.value(QStringLiteral("SerialPort/BaudRate"), -2).toInt();
    const QPoint pos = file.value(QStringLiteral("MainWindow/pos")).toPoint();
    if (port != baud || QPoint(port, port) != pos)
        return QString::asprintf("mixed: %d %d (%d, %d)", port, baud, pos.x(), pos.y());
    return QString::number(port);
}

} // namespace

// A tool killed while it saves its settings (the nearest a test comes to a
// crash or a power cut) leaves the last complete save, never a part of one.
class Tst_settings_safety : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void killed_while_saving()
    {
        const QTemporaryDir dir;
        const QString path = dir.filePath(file_name);
        QRandomGenerator delays(kills);
        bool ever_saved = false;
        const QString lock = path + QStringLiteral(".lock");
        const QString lock_files = file_name + QStringLiteral(".lock*"); // and its .rmlock
        int empty_locks = 0;
        int runs_that_saved = 0;
        int inside_save = 0;
        for (int run = 1; run <= kills; ++run) {
            QProcess saver;
            saver.start(QStringLiteral(VELMAR_SETTINGS_SAVER_PATH),
                        {dir.path(), QString::number(run * runs_apart)});
            QVERIFY(saver.waitForReadyRead(process_timeout_ms));
            QTest::qSleep(int(delays.bounded(1, longest_delay_ms + 1)));
            SIGNAL_CHILD(saver, SIGKILL); // it saves until killed
            QVERIFY(saver.waitForFinished(process_timeout_ms));
            const QString state = saved_state(path);
            QVERIFY2(!state.isEmpty() || !ever_saved,
                     qPrintable(QStringLiteral("run %1: the saved settings are gone").arg(run)));
            QVERIFY2(state.isEmpty() || state.toInt() >= runs_apart,
                     qPrintable(QStringLiteral("run %1: %2").arg(run).arg(state)));
            ever_saved = ever_saved || !state.isEmpty();
            runs_that_saved += state.toInt() >= run * runs_apart ? 1 : 0;
            // A lock left behind means the kill came inside a save. One killed
            // between creating a lock and writing its id into it leaves it
            // empty, and QSettings takes that for stale only after 30 s: the
            // next save would wait that long.
            inside_save += QFile::exists(lock) ? 1 : 0;
            for (const QFileInfo &left : QDir(dir.path(), lock_files).entryInfoList()) {
                if (left.size() == 0 && QFile::remove(left.filePath()))
                    ++empty_locks;
            }
        }
        // A kill between linking a complete temporary copy and renaming it
        // over the settings leaves the copy behind.
        const QDir copies(dir.path(), file_name + QStringLiteral(".??????"));
        qInfo("%d kills, %d inside a save, %d after a save of their run; empty locks removed: "
              "%d, temporary copies left: %d",
              kills, inside_save, runs_that_saved, empty_locks, int(copies.count()));
        QVERIFY(inside_save > 0 && runs_that_saved > 0);
    }
};

QTEST_GUILESS_MAIN(Tst_settings_safety)
#include "tst_settings_safety.moc"
