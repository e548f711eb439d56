#include "simulator/pty_device.h"
#include "simulator/unit_simulator.h"
#include "support/pty_line.h"

#include <QtCore/QDeadlineTimer>
#include <QtCore/QElapsedTimer>
#include <QtCore/QFileInfo>
#include <QtCore/QTemporaryDir>
#include <QtTest/QtTest>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace {

constexpr int line_timeout_ms = 5000;
constexpr int refused = -1;
constexpr int quiet_ms = 500;
// A coarse timer may fire up to 5 % early.
constexpr double earliest_share = 0.9;

// The tool's end of a line, as a plain descriptor.
class Line_end
{
public:
    explicit Line_end(const QString &path)
        : fd(::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK))
    {
    }
    ~Line_end()
    {
        if (fd >= 0)
            ::close(fd);
    }
    Line_end(const Line_end &) = delete;
    Line_end &operator=(const Line_end &) = delete;

    // What the other end did within the time, the event loop running (the
    // simulated unit lives on it): 'h' hung up, 'f' sent a frame's first
    // bytes, '-' nothing.
    char heard(int timeout_ms = line_timeout_ms) const
    {
        pollfd waiter{fd, POLLIN, 0};
        QDeadlineTimer deadline(timeout_ms);
        while (fd >= 0 && ::poll(&waiter, 1, 0) == 0 && !deadline.hasExpired())
            QTest::qWait(5);
        if (waiter.revents & POLLHUP)
            return 'h';
        char bytes[2] = {};
        const bool frame = (waiter.revents & POLLIN) && ::read(fd, bytes, sizeof bytes) == 2 &&
                           bytes[0] == 'P' && bytes[1] == 'R';
        return frame ? 'f' : '-';
    }

private:
    const int fd;
};

QString link_target(const QString &link)
{
    return QFileInfo(link).symLinkTarget();
}

} // namespace

class Tst_unplug : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void unplug_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<bool>("on_device");
        QTest::addColumn<int>("replug_ms"); // or refused
        QTest::newRow("a pseudo-terminal, 300 ms") << "unplug 300" << false << 300;
        QTest::newRow("a pseudo-terminal, at once") << "unplug 0" << false << 0;
        QTest::newRow("a real device") << "unplug 300" << true << refused;
        QTest::newRow("no time") << "unplug" << false << refused;
        QTest::newRow("a negative time") << "unplug -5" << false << refused;
        QTest::newRow("not a number") << "unplug soon" << false << refused;
    }

    void unplug()
    {
        QFETCH(QString, command);
        QFETCH(bool, on_device);
        QFETCH(int, replug_ms);
        const QTemporaryDir dir;
        const QString link = dir.filePath(QStringLiteral("unit"));
        Pty_device device; // its slave stands in for a real serial device
        Unit_simulator unit;
        unit.settings().rate = 50;
        if (on_device) {
            QVERIFY(device.open());
            QVERIFY2(unit.start_on_device(device.slave_path(), 115200),
                     qPrintable(unit.error_string()));
        } else {
            unit.set_link_path(link);
            QVERIFY2(unit.start_on_pty(), qPrintable(unit.error_string()));
            QCOMPARE(link_target(link), unit.slave_path());
        }
        const QString before = unit.slave_path();
        const Line_end tool(on_device ? QString() : before); // a device is heard on its master
        QSignalSpy replugged(&unit, &Unit_simulator::line_replugged);
        QElapsedTimer clock;
        clock.start();
        QString reply;
        QCOMPARE(unit.execute(command, &reply), replug_ms != refused);

        if (replug_ms == refused) {
            QVERIFY(!reply.isEmpty() && !reply.contains(QLatin1Char('\n')));
            QCOMPARE(unit.slave_path(), before);
            if (on_device)
                QVERIFY(collect(device, 1).startsWith("PR"));
            else
                QCOMPARE(QString(QChar(tool.heard())) + link_target(link), 'f' + before);
            QVERIFY(replugged.isEmpty());
            return;
        }
        QCOMPARE(tool.heard(), 'h');
        QVERIFY(!unit.is_running());
        QVERIFY(!QFileInfo::exists(link) && !QFileInfo(link).isSymLink()); // the link went too
        QVERIFY(replugged.wait(line_timeout_ms));
        QVERIFY(clock.elapsed() >= earliest_share * replug_ms);
        QCOMPARE(replugged.first().first().toString(), unit.slave_path());
        QCOMPARE(link_target(link), unit.slave_path());
        QCOMPARE(Line_end(link).heard(), 'f');
    }

    // A silence holds the unit back however its line is opened meanwhile.
    void silence_outlasts_a_stop_data()
    {
        QTest::addColumn<QString>("before");
        QTest::addColumn<QString>("after");
        QTest::newRow("commanded before the start") << "silence 600000"
                                                    << "";
        QTest::newRow("running at an unplug") << ""
                                              << "silence 600000;unplug 0";
    }

    void silence_outlasts_a_stop()
    {
        QFETCH(QString, before);
        QFETCH(QString, after);
        const QTemporaryDir dir;
        const QString link = dir.filePath(QStringLiteral("unit"));
        Unit_simulator unit;
        unit.set_link_path(link);
        for (const QString &command : before.split(';', Qt::SkipEmptyParts))
            QVERIFY(unit.execute(command));
        QVERIFY2(unit.start_on_pty(), qPrintable(unit.error_string()));
        QSignalSpy replugged(&unit, &Unit_simulator::line_replugged);
        for (const QString &command : after.split(';', Qt::SkipEmptyParts))
            QVERIFY(unit.execute(command));
        if (!after.isEmpty())
            QVERIFY(replugged.wait(line_timeout_ms));
        const Line_end tool(link);
        QCOMPARE(tool.heard(quiet_ms), '-');
        QVERIFY(unit.execute(QStringLiteral("silence 0")));
        QCOMPARE(tool.heard(), 'f');
    }
};

QTEST_GUILESS_MAIN(Tst_unplug)
#include "tst_unplug.moc"
