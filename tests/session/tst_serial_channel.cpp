// The line under the session: every byte as it came; one reader per device,
// a claim on a pseudo-terminal taken under one name refusing every other name
// of it, in this process and in another, naming its holder, and going with the
// holder however it ends; and a port lost and found again behind its link.

#include "session/device_claim.h"
#include "session/serial_channel.h"
#include "session/session.h"
#include "simulator/pty_device.h"
#include "support/debug_lines.h"
#include "support/property.h"
#include "support/pty_line.h"
#include "support/quick_timing.h"
#include "support/status_payload.h"

#include <QtCore/QElapsedTimer>
#include <QtCore/QFile>
#include <QtCore/QScopeGuard>
#include <QtCore/QTemporaryDir>
#include <QtTest/QtTest>

#include <array>
#include <csignal>
#include <memory>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr int arrival_ms = 5000;
// Long enough for two more attempts to reopen and for a repeated time-out.
constexpr int reopen_settle_ms = 5 * qMax(quick_timing.reopen_ms, quick_timing.ack_timeout_ms) / 2;
// A coarse timer may fire up to 5 % early.
constexpr qint64 ack_lower_bound_ms = quick_timing.ack_timeout_ms * 9 / 10;

// Names of two devices, and of a file and a device that are no serial line.
enum Name
{
    node_a,
    link_a,
    link_to_link_a,
    node_b,
    link_b,
    plain_file,
    null_device,
    name_count
};

int device_of(int name)
{
    return name >= plain_file ? -1 : name >= node_b ? 1 : 0;
}

// A refusal naming a process of this program as the holder.
QString held_by(qint64 pid = QCoreApplication::applicationPid())
{
    return QStringLiteral("held by %1 (pid %2)").arg(QCoreApplication::applicationName()).arg(pid);
}

} // namespace

class Tst_serial_channel : public QObject
{
    Q_OBJECT

    Pty_device device_a;
    Pty_device device_b;
    QTemporaryDir dir;
    std::array<QString, name_count> names;

    QString path(int name) const { return names[static_cast<std::size_t>(name)]; }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(device_a.open() && device_b.open());
        const QString folder = dir.path() + QLatin1Char('/');
        names = {device_a.slave_path(),      folder + "a", folder + "a-again",
                 device_b.slave_path(),      folder + "b", folder + "plain",
                 QStringLiteral("/dev/null")};
        QVERIFY(QFile::link(path(node_a), path(link_a)));
        QVERIFY(QFile::link(path(link_a), path(link_to_link_a)));
        QVERIFY(QFile::link(path(node_b), path(link_b)));
        QFile plain(path(plain_file));
        QVERIFY(plain.open(QIODevice::WriteOnly));
    }

    // Whatever claims take and release which names, in whatever order, a take
    // succeeds exactly when no other claim holds the device, and a refusal
    // names this test as the holder. What is no serial line is never held.
    void every_name_of_a_device_is_one_claim()
    {
        QVERIFY(holds("a take succeeds iff no other claim holds the device", [this] {
            using Step = std::tuple<int, int, bool>; // claim, name, take (else release)
            const auto steps = *rc::gen::container<std::vector<Step>>(
                rc::gen::tuple(rc::gen::inRange(0, 3), rc::gen::inRange(0, int(name_count)),
                               rc::gen::arbitrary<bool>()));
            std::array<Device_claim, 3> claims;
            std::array<int, 3> held{-1, -1, -1}; // the device each claim holds
            for (const Step &step : steps) {
                const int claim = std::get<0>(step);
                const int name = std::get<1>(step);
                if (!std::get<2>(step)) {
                    claims[claim].release();
                    held[claim] = -1;
                    continue;
                }
                const int device = device_of(name);
                held[claim] = -1; // take() lets go first
                const bool other_holds =
                    device >= 0 && std::count(held.begin(), held.end(), device) > 0;
                RC_ASSERT(claims[claim].take(path(name)) == !other_holds);
                RC_ASSERT(claims[claim].refusal() == (other_holds ? held_by() : QString()));
                RC_ASSERT(claims[claim].is_held() == (device >= 0 && !other_holds));
                held[claim] = claims[claim].is_held() ? device : -1;
            }
        }));
    }

    // Under another name the device is refused; closed, it is anyone's again.
    void a_closed_session_lets_the_device_go()
    {
        Session holder(hand_timing);
        QVERIFY(holder.open_port({path(link_to_link_a), Port_settings::default_baud_rate}));
        Session other(hand_timing);
        QVERIFY(!other.open_port({path(node_a), Port_settings::default_baud_rate}));
        QCOMPARE(other.port_error(), held_by());
        holder.close_port();
        QVERIFY(other.open_port({path(node_a), Port_settings::default_baud_rate}));
    }

    void a_killed_holder_leaves_no_claim()
    {
        int ready[2];
        QVERIFY(::pipe(ready) == 0);
        const pid_t child = ::fork();
        QVERIFY(child >= 0);
        if (child == 0) {
            // Gone with the test, whatever becomes of it.
            ::prctl(PR_SET_PDEATHSIG, SIGKILL);
            Device_claim claim;
            const char taken = claim.take(path(link_b)) ? 'y' : 'n';
            (void)!::write(ready[1], &taken, 1);
            ::pause();
            ::_exit(0);
        }
        ::close(ready[1]);
        // Killed however the test ends; a child, never 0 or -1, and not yet
        // reaped, so that its number cannot be another process's.
        bool reaped = false;
        const auto reap = qScopeGuard([child, &reaped] {
            if (!reaped) {
                ::kill(child, SIGKILL);
                ::waitpid(child, nullptr, 0);
            }
        });
        char taken = 0;
        QCOMPARE(::read(ready[0], &taken, 1), ssize_t(1));
        ::close(ready[0]);
        QCOMPARE(taken, 'y');
        Device_claim claim;
        QVERIFY(!claim.take(path(node_b)));
        QCOMPARE(claim.refusal(), held_by(child));
        QVERIFY(::kill(child, SIGKILL) == 0);
        reaped = ::waitpid(child, nullptr, 0) == child;
        QVERIFY(reaped);
        QVERIFY(claim.take(path(node_b)));
    }

    void forwards_every_byte_value_in_order()
    {
        Pty_device pty;
        QVERIFY2(pty.open(), qPrintable(pty.error_string()));
        QByteArray got;
        Serial_channel channel(quick_timing.ack_timeout_ms, quick_timing.reopen_ms);
        QVERIFY(channel.open({pty.slave_path(), Port_settings::default_baud_rate}));
        connect(&channel, &Serial_channel::bytes_read, this,
                [&got](const QByteArray &chunk) { got += chunk; });
        // Line-discipline bytes (XON, XOFF, CR, NUL, DEL, interrupt) must pass untouched.
        QByteArray sent;
        for (int i = 0; i < 4 * 256; ++i)
            sent.append(char(i));
        QVERIFY(pty.write_all(sent));
        QTRY_VERIFY_WITH_TIMEOUT(got.size() >= sent.size(), arrival_ms);
        QCOMPARE(got, sent);
    }

    // The session on a by-id link whose pseudo-terminal is closed (the port
    // is lost) and replaced by a new one behind the same link.
    void lost_line_comes_back_data()
    {
        QTest::addColumn<bool>("send");         // a control frame is in flight at the loss
        QTest::addColumn<QByteArray>("before"); // written after a good frame, before the loss
        QTest::addColumn<QByteArray>("after");  // written after the reopen
        QTest::addColumn<QString>("heard");     // after the reopen: 's' status, 'x' bad CRC
        const QByteArray frame = Status_payload().frame();
        const int cut = frame.size() / 2;
        QTest::newRow("the receiver keeps its place")
            << false << frame.left(cut) << frame.mid(cut) << "s";
        QTest::newRow("a frame cut by the loss fails its CRC")
            << false << frame.left(cut) << frame + frame << "xs";
        QTest::newRow("the frame in flight times out once") << true << QByteArray() << frame << "s";
    }

    void lost_line_comes_back()
    {
        QFETCH(bool, send);
        QFETCH(QByteArray, before);
        QFETCH(QByteArray, after);
        QFETCH(QString, heard);
        const QTemporaryDir dir;
        const QString link = dir.filePath(QStringLiteral("unit"));
        auto line = std::make_unique<Pty_device>();
        QVERIFY(line->open() && point_link(link, line->slave_path()));
        const Debug_lines debug;
        Session session(quick_timing);
        session.set_listen_only(true);
        QVERIFY(session.open_port({link}));
        QSignalSpy lost(&session, &Session::port_lost);
        QSignalSpy reopened(&session, &Session::port_reopened);
        QSignalSpy timed_out(&session, &Session::ack_timed_out);
        QString seen;
        connect(&session, &Session::status_received, this, [&seen] { seen += 's'; });
        connect(&session, &Session::crc_mismatch, this, [&seen] { seen += 'x'; });
        QElapsedTimer in_flight;
        qint64 timed_out_after_ms = -1;
        connect(&session, &Session::ack_timed_out, this,
                [&] { timed_out_after_ms = in_flight.elapsed(); });
        if (send) {
            session.apply(Control_payload());
            in_flight.start();
            QCOMPARE(collect(*line, Control_payload().frame().size()), Control_payload().frame());
        }

        // In one write, so that the session reads the cut frame with the good one.
        QVERIFY(line->write_all(Status_payload().frame() + before));
        QTRY_COMPARE_WITH_TIMEOUT(seen, QString("s"), arrival_ms);
        QCOMPARE(line->unread_by_slave(), 0);
        line.reset(); // the adapter is pulled out, and udev takes its link away
        QFile::remove(link);
        QTRY_COMPARE_WITH_TIMEOUT(lost.count(), 1, arrival_ms);
        seen.clear();
        line = std::make_unique<Pty_device>();
        QVERIFY(line->open() && point_link(link, line->slave_path()));
        QTRY_COMPARE_WITH_TIMEOUT(reopened.count(), 1, arrival_ms);
        const QString error_when_reopened = session.port_error();
        QVERIFY(line->write_all(after));
        QTRY_COMPARE_WITH_TIMEOUT(seen, heard, arrival_ms);

        QTest::qWait(reopen_settle_ms);
        QCOMPARE(seen, heard);
        QCOMPARE(lost.count(), 1);
        QCOMPARE(reopened.count(), 1);
        QCOMPARE(debug.count(QRegularExpression(QStringLiteral("^\"") +
                                                QRegularExpression::escape(link) +
                                                "\" Serial port reopened$")),
                 1);
        // The retries end with the reopen: no attempt to open a port that works fails.
        QCOMPARE(session.port_error(), error_when_reopened);
        QCOMPARE(timed_out.count(), send ? 1 : 0);
        QCOMPARE(debug.count(QRegularExpression("^Velmar UART timeout$")), send ? 1 : 0);
        if (send)
            QVERIFY2(timed_out_after_ms >= ack_lower_bound_ms,
                     qPrintable(QString::number(timed_out_after_ms)));
        QCOMPARE(line->read_available(0), QByteArray()); // nothing is sent again
    }
};

QTEST_GUILESS_MAIN(Tst_serial_channel)
#include "tst_serial_channel.moc"
