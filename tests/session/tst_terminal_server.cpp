#include "protocol/control_payload.h"
#include "session/serial_channel.h"
#include "session/session.h"
#include "session/tcp_line_port.h"
#include "simulator/unit_simulator.h"
#include "support/quick_timing.h"
#include "support/ser2net_server.h"
#include "support/steady_unit.h"

#include <QtCore/QFile>
#include <QtTest/QtTest>

#include <unistd.h>

namespace {

constexpr int wait_ms = 5000;
constexpr qint32 asked_rate = 57600;
constexpr qint32 changed_rate = 9600;
constexpr int frames_checked = 20;

// A status with 0xFF wherever the unit can put one: powers of -0.1 dBm,
// wavelengths of 65535 nm, gain codes 255, a threshold of -1 dBm.
const QStringList full_of_ff{QStringLiteral("sfp1.power1 -0.1"), QStringLiteral("sfp1.power2 -0.1"),
                             QStringLiteral("sfp2.power1 -0.1"), QStringLiteral("sfp2.power2 -0.1"),
                             QStringLiteral("sfp1.wl1 65535"),   QStringLiteral("sfp1.wl2 65535"),
                             QStringLiteral("sfp2.wl1 65535"),   QStringLiteral("sfp2.wl2 65535"),
                             QStringLiteral("dante.gain1 255"),  QStringLiteral("dante.gain2 255"),
                             QStringLiteral("threshold -1")};

// Seconds until the keepalive timer of this process's connection to the
// port fires, from the kernel's table; -1 when no keepalive timer runs on it.
double keepalive_due_s(quint16 server_port)
{
    QFile table(QStringLiteral("/proc/net/tcp"));
    if (!table.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray remote =
        ":" + QByteArray::number(server_port, 16).toUpper().rightJustified(4, '0');
    for (const QByteArray &line : table.readAll().split('\n')) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        // sl local remote state queues timer:when ...; 01 established, timer 2 keepalive
        if (fields.size() < 6 || !fields[2].endsWith(remote) || fields[3] != "01")
            continue;
        const QList<QByteArray> timer = fields[5].split(':');
        if (timer.size() == 2 && timer[0] == "02")
            return timer[1].toLongLong(nullptr, 16) / double(::sysconf(_SC_CLK_TCK));
    }
    return -1;
}

} // namespace

Q_DECLARE_METATYPE(Ser2net_server::Mode)

class Tst_terminal_server : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void frames_and_rate_cross_the_server_data()
    {
        QTest::addColumn<Ser2net_server::Mode>("mode");
        QTest::addColumn<qint32>("rate_at_open"); // as the unit's line has it
        QTest::addColumn<qint32>("rate_changed");
        QTest::newRow("telnet(rfc2217)")
            << Ser2net_server::Mode::rfc2217 << asked_rate << changed_rate;
        QTest::newRow("raw") << Ser2net_server::Mode::raw
                             << qint32(Ser2net_server::configured_baud_rate)
                             << qint32(Ser2net_server::configured_baud_rate);
    }

    void frames_and_rate_cross_the_server()
    {
        QFETCH(Ser2net_server::Mode, mode);
        QFETCH(qint32, rate_at_open);
        QFETCH(qint32, rate_changed);
        const auto unit = steady_unit(full_of_ff);
        QVERIFY(unit);
        QByteArray frame;
        connect(unit.get(), &Unit_simulator::status_frame_sent, this,
                [&frame](const QByteArray &sent) { frame = sent; });
        QTRY_VERIFY(!frame.isEmpty());
        QVERIFY2(frame.count('\xFF') >= 12, frame.toHex().constData());
        Ser2net_server server(mode, unit->slave_path());
        QVERIFY(server.start());

        Serial_channel channel(quick_timing);
        QByteArray received;
        connect(&channel, &Serial_channel::bytes_read, this,
                [&received](const QByteArray &bytes) { received += bytes; });
        QSignalSpy opened(&channel, &Serial_channel::port_opened);
        QVERIFY(channel.open({server.url(), asked_rate}));
        QTRY_COMPARE_WITH_TIMEOUT(opened.count(), 1, wait_ms);
        // A raw server sets the line as it takes the connection, maybe just after.
        QString line;
        QTRY_COMPARE_WITH_TIMEOUT((unit->execute(QStringLiteral("line"), &line), line),
                                  QStringLiteral("%1 8N1, no flow control").arg(rate_at_open),
                                  wait_ms);

        // Byte for byte: after the first whole frame, the unit's frames back to back.
        QTRY_VERIFY_WITH_TIMEOUT(received.size() > (frames_checked + 1) * frame.size(), wait_ms);
        const int first = received.indexOf(frame);
        QVERIFY(first >= 0 && first < frame.size());
        const QByteArray whole = received.mid(first, frames_checked * frame.size());
        QCOMPARE(whole.toHex(), frame.repeated(frames_checked).toHex());

        Control_payload values;
        values.gain_codes = {{255, 255}};
        values.threshold_dbm = -1;
        QSignalSpy controls(unit.get(), &Unit_simulator::control_frame_received);
        channel.send(values.frame());
        QTRY_COMPARE_WITH_TIMEOUT(controls.count(), 1, wait_ms);
        QCOMPARE(controls.at(0), (QVariantList{255, 255, -1, true}));

        channel.set_baud_rate(changed_rate);
        QTRY_COMPARE_WITH_TIMEOUT(unit->line_settings().baud_rate, rate_changed, wait_ms);
        QVERIFY(channel.is_open());
    }

    void a_stopped_server_falls_silent_and_comes_back()
    {
        const auto unit = steady_unit();
        QVERIFY(unit);
        Ser2net_server server(Ser2net_server::Mode::rfc2217, unit->slave_path());
        QVERIFY(server.start());
        Session session(quick_timing);
        session.set_listen_only(true);
        QSignalSpy lost(&session, &Session::port_lost);
        std::vector<Link_watchdog::State> states;
        connect(&session, &Session::link_changed, this,
                [&states](Link_watchdog::Verdict verdict) { states.push_back(verdict.state); });
        QVERIFY(session.open_port({server.url(), asked_rate}));
        QTRY_VERIFY_WITH_TIMEOUT(
            !states.empty() && states.back() == Link_watchdog::State::connected, wait_ms);
        // A server gone quiet without a word is probed within seconds, not hours.
        const double probe_s = keepalive_due_s(server.port());
        QVERIFY2(probe_s >= 0 && probe_s <= Tcp_line_port::keepalive_idle_s,
                 qPrintable(QString::number(probe_s)));

        QElapsedTimer stopped;
        stopped.start();
        QVERIFY(server.pause());
        QTRY_VERIFY_WITH_TIMEOUT(states.back() == Link_watchdog::State::silent, wait_ms);
        // Within the watchdog's period and the one it began in, give or take
        // a busy machine: long before keepalive would end the connection.
        QVERIFY2(stopped.elapsed() <= 2 * quick_timing.watchdog_ms + 1000,
                 qPrintable(QString::number(stopped.elapsed())));
        QVERIFY(server.resume());
        QTRY_VERIFY_WITH_TIMEOUT(states.back() == Link_watchdog::State::connected, wait_ms);
        QCOMPARE(lost.count(), 0); // the connection itself was never broken
    }
};

QTEST_GUILESS_MAIN(Tst_terminal_server)
#include "tst_terminal_server.moc"
