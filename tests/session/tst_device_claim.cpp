// One reader per device: a claim on a pseudo-terminal taken under one name
// refuses every other name of it, in this process and in another, names its
// holder, and goes with the holder however it ends.

#include "session/device_claim.h"
#include "session/session.h"
#include "simulator/pty_device.h"
#include "support/property.h"
#include "support/quick_timing.h"

#include <QtCore/QFile>
#include <QtCore/QScopeGuard>
#include <QtCore/QTemporaryDir>
#include <QtTest/QtTest>

#include <array>
#include <csignal>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

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

class Tst_device_claim : public QObject
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
};

QTEST_GUILESS_MAIN(Tst_device_claim)
#include "tst_device_claim.moc"
